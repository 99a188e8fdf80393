// zarn-host: the command-line face of the simulated host.
//   zarn-host render [options] INPUT.mid OUTPUT.wav
//                           plays a MIDI file through the plug-in into a
//                           WAV file
//   zarn-host edit [options]
//                           opens the plug-in's editor in a window and
//                           saves the state when it closes
//   zarn-host info [--bundle PATH]
//                           prints the bundle's identity, process types,
//                           controls and chunks
//   zarn-host snapshot [options] OUT.png
//                           opens the editor, plays a mouse script and
//                           writes the window as a PNG image
// Each takes --help.
//
// A command ended by a signal (SIGTERM, SIGINT from Ctrl-C, SIGHUP, SIGQUIT
// from Ctrl-\, SIGPIPE when the reader of its messages goes away, and every
// other whose default action ends a process) removes the temporary files
// it was writing (a render's WAV file, a state, a picture) and the
// snapshot's private home before it ends as the signal says; the file it
// was to replace stays as it was. edit takes SIGTERM, SIGINT and SIGHUP as
// a close of its window instead, and saves the state.

#include "platform/SignalCleanup.h"
#include "tools/host/RenderCommand.h"
#include "tools/host/snapshot/SnapshotCommand.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const platform::SignalCleanup cleanup;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "snapshot")
    return simhost::runSnapshotCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  return simhost::runHostCommand(args, std::cout, std::cerr);
}
