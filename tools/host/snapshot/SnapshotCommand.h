#pragma once

// zarn-host snapshot [--bundle B] [--preset NAME] [--set "NAME=VALUE"]...
//                    [--script FILE] OUT.png
//
// Loads the bundle as a host does, opens its editor the host's way (the
// plug-in's view in a window of the headless window server, the window's
// port handed over, updates drawn), optionally plays a mouse script on it
// (real time passes) and writes the whole window as an 8-bit RGB PNG. The
// editor's gestures reach the host's automation, which echoes them to the
// plug-in. The preset and the settings go through the host as well (see
// PresetByName and ControlByName); the plug-in runs in a home of its own
// in the temporary folder, and where none can be made there the snapshot is
// refused rather than run in the user's home. The picture replaces OUT.png
// whole or not at all.
//
// The script is a regular text file of at most 1 MiB, read before the
// editor opens; it has one step per line ('#' starts a comment),
// coordinates in the editor window's pixels:
//   move X Y     the pointer moves there (no button)
//   down X Y     the button goes down there
//   drag X Y     the pointer moves there with the button down
//   up X Y       the button goes up there
//   click X Y    down and up at one place
//   wait MS      the clock runs on (timers, hints, pulses)
//   menu A > B   the next menu that pops up chooses item A, then B in its
//                sub-menu
//
// Returns 0, 1 when the bundle, preset, script, private home or file
// fails, 2 for a command line it cannot use; the reason is one line on err.

#include <iosfwd>
#include <string>
#include <vector>

namespace simhost {

struct SnapshotOptions {
  std::string bundle;
  std::string preset;
  std::vector<std::string> settings;
  std::string loadState;
  std::string script;
  std::string output;
};

bool parseSnapshotOptions(const std::vector<std::string>& args, SnapshotOptions& options, bool& help,
                          std::string& error);
int snapshot(const SnapshotOptions& options, std::ostream& out, std::ostream& err);
// args: what follows "snapshot".
int runSnapshotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace simhost
