#pragma once

// zarn-host edit [--bundle B] [--preset NAME | --load-state F] [--save-state F] [--midi FILE]
//                [--buffer-size N]
//
// Opens an instance of the bundle's first process type in a window on the
// display and runs until the window is closed (the window manager's close
// included). Meanwhile the instance renders on its own thread, paced to the
// wall clock one host buffer (N frames, 512 unless given) at a time, into a
// buffer nobody hears, playing the --midi song in a loop when one is given.
// On close the instance's state is written to a temporary file renamed over
// the --save-state file, so the same file may be loaded and saved; a broken
// connection to the display, Ctrl-C, SIGTERM and SIGHUP (its terminal
// closed) save it too. When that file
// cannot be written then, the state is kept under a free name beside it
// (F.unsaved, F.unsaved-2, ...) or else in the home folder, never over a
// state an earlier session kept.
// Without a display the command says so in one line and fails.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace simhost {

struct EditOptions {
  std::string bundle; // "" for the bundle the build made
  std::string preset;
  std::string loadState, saveState;
  std::string midi;
  int32_t bufferFrames = 512; // per host buffer, a multiple of 32
};

// args: what follows "edit". False with a reason (help is true, and the
// result false, for --help).
bool parseEditOptions(const std::vector<std::string>& args, EditOptions& options, bool& help, std::string& error);
// The exit status: 0 after a clean close and save, 1 when the display, the
// plug-in or a file fails, 2 for a command line it cannot use.
int runEditCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace simhost
