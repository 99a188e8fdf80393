// A bundle's program as it is looked at before the loader maps it: its
// header and program headers, whatever the bytes. Only the look is fuzzed;
// nothing is loaded.

#include "fuzz/FuzzSupport.h"
#include "platform/ExecutableFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reason;
  platform::checkSharedObjectWhole(fuzz::writeScratchFile("Zarn.so", data, size), reason);
  return 0;
}

void writeSeeds(const std::string& folder) {
  // The head of a program of this system: this one's, whose headers the
  // fuzzer then cuts and bends.
  const std::string self = fuzz::readFile("/proc/self/exe");
  fuzz::writeFile(folder + "/head.so", self.substr(0, 4096));
  fuzz::writeFile(folder + "/headers.so", self.substr(0, 1024));
}
