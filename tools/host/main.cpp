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
// Each takes --help.

#include "tools/host/RenderCommand.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return simhost::runHostCommand(args, std::cout, std::cerr);
}
