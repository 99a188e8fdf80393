#pragma once

// The commands of zarn-host:
//
//   zarn-host render [options] INPUT.mid OUTPUT.wav
//   zarn-host info [--bundle PATH]
//
// render plays a MIDI file through an instance of the bundle's first
// process type in 32-sample quanta, every event at its sample offset (notes,
// controllers, pitch bend, pressure, program changes), with the song's
// tempo and meter in the host's transport, and writes the output as a
// 32-bit float stereo WAV file, the release tail after the song's end
// included. Before the song starts, the instance takes a saved state, then
// a preset, then single parameter values, in that order; --save-state
// keeps the state it starts the song with, so rendering again from that
// state gives the same samples. A program change in the song loads its
// preset over all of these, as a host plays a song; the first one that
// changes the preset is said on err as a warning, with its time. Before any work, the files it writes are
// checked against those it reads and each other (CommandFiles), and a
// render longer than a WAV file can hold is refused.
//
// Each command returns the process's exit status: 0 on success, 1 when the
// input or the plug-in fails, 2 for a command line it cannot use; the
// reason is one line on err.

#include <iosfwd>
#include <string>
#include <vector>

namespace simhost {

struct RenderOptions {
  std::string bundle; // "" for the bundle the build made
  std::string preset;
  std::vector<std::string> settings; // "NAME=VALUE"
  int sampleRate = 44100;
  double tailSeconds = 2.0;
  std::string loadState, saveState;
  bool quiet = false;
  std::string input, output;
};

// args: what follows the program's name ("render", "info", "--help", ...).
int runHostCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// args: what follows the command's name.
int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Reads render's command line; false with a reason (help is true, and the
// result false, for --help).
bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& options, bool& help,
                        std::string& error);
// Renders with options already read; the exit status.
int render(const RenderOptions& options, std::ostream& out, std::ostream& err);

// The synthesizer's bundle beside the program in the build tree
// (../../Zarn.bundle from the program's folder), else where the build made it.
std::string defaultBundlePath();

} // namespace simhost
