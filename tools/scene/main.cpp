// zarn-scene [SCRIPT]: runs a mouse scene on a small toolkit surface without
// a display and prints its timeline. Reads the script from standard input
// when no file is given. See tools/scene/Scene.h for the commands.

#include "tools/scene/Scene.h"

#include <cstdio>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h"))) {
    std::fprintf(stderr, "usage: zarn-scene [SCRIPT]\n");
    return 2;
  }
  std::ifstream file;
  if (argc == 2) {
    file.open(argv[1]);
    if (!file) {
      std::fprintf(stderr, "zarn-scene: cannot read %s\n", argv[1]);
      return 1;
    }
  }
  const auto lines = scene::runScene(argc == 2 ? static_cast<std::istream&>(file) : std::cin);
  for (const auto& l : lines) std::printf("%s\n", l.c_str());
  return !lines.empty() && lines.back().rfind("error:", 0) == 0 ? 1 : 0;
}
