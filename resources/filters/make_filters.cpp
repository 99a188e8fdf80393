// Writes the six filter characteristics of the bundle ("Ulk.fil",
// "Gentle.fil", "Raw.fil", "Tube.fil", "Metal.fil", "EasyGoing.fil") into a
// folder. The designs themselves, and what each is meant to sound like, are
// in wave/FilterCharacteristicPresets.cpp, which the tests share.
//
//   zarn-make-filters FOLDER

#include "base/Folders.h"
#include "tools/CommandHelp.h"
#include "wave/FilterCharacteristicPresets.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const int status = zarn::tools::checkOneName(
      argc, argv, "usage: zarn-make-filters FOLDER\n",
      "Writes the filter characteristic files the bundle ships into FOLDER (made if missing).\n"
      "  --help               this text\n");
  if (status >= 0) return status;
  const std::string folder = argv[1];
  if (!createFolder(folder)) {
    std::fprintf(stderr, "zarn-make-filters: cannot create the folder %s\n", folder.c_str());
    return 1;
  }
  const int written = FilterCharacteristicPresets::writeAll(folder);
  if (written != FilterCharacteristicPresets::cCount) {
    std::fprintf(stderr, "zarn-make-filters: wrote %d of %d filter files into %s\n", written,
                 FilterCharacteristicPresets::cCount, folder.c_str());
    return 1;
  }
  return 0;
}
