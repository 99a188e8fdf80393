// zarn-scene [SCRIPT]: runs a mouse scene on a small toolkit surface without
// a display and prints its timeline. Reads the script from standard input
// when no file is given. See tools/scene/Scene.h for the commands. Errors
// go to standard error, the timeline alone to standard output.

#include "platform/SignalCleanup.h"
#include "tools/CommandHelp.h"
#include "tools/scene/Scene.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

const char* const kUsage = "usage: zarn-scene [SCRIPT]\n";
const char* const kHelp =
    "Runs a mouse scene on a small toolkit surface (a knob, a preset menu button, a save button)\n"
    "without a display and prints its timeline: entering, leaving, presses, releases, clicks,\n"
    "hints, menu choices and dialog answers. The script is read from SCRIPT, or from standard\n"
    "input when no file is given; one command a line:\n"
    "  move X Y, down X Y, drag X Y, up X Y, click X Y, wait MS, and the others that\n"
    "  tools/scene/Scene.h lists (snapshot F.png writes the window)\n"
    "  --help               this text\n"
    "A line that cannot be run ends the run: it is said on standard error (exit status 1).\n";

} // namespace

int main(int argc, char** argv) {
  // A signal that ends the tool while a picture is written removes the
  // temporary file; the picture at the name stays as it was.
  const platform::SignalCleanup cleanup;
  if (zarn::tools::helpAsked(argc, argv)) return zarn::tools::usage(true, kUsage, kHelp);
  if (argc > 2) return zarn::tools::usage(false, kUsage);
  std::ifstream file;
  if (argc == 2) {
    file.open(argv[1]);
    if (!file) {
      std::fprintf(stderr, "zarn-scene: cannot read %s\n", argv[1]);
      return 1;
    }
  }
  const auto lines = scene::runScene(argc == 2 ? static_cast<std::istream&>(file) : std::cin);
  // The timeline is the result, on standard output, as far as it got; a
  // line the script could not run ends it, and is said on standard error,
  // so that a timeline kept in a file holds no error among its events.
  const std::string cError = "error: ";
  const bool failed = !lines.empty() && lines.back().rfind(cError, 0) == 0;
  for (size_t i = 0; i + (failed ? 1 : 0) < lines.size(); ++i) std::printf("%s\n", lines[i].c_str());
  if (!failed) return 0;
  std::fflush(stdout);
  std::fprintf(stderr, "zarn-scene: %s\n", lines.back().c_str() + cError.size());
  return 1;
}
