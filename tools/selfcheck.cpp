// A short, readable self-check of what stands so far: it exercises the
// foundation's utilities and prints what it found, so a newcomer can see
// the project build and run before the simulated host renders.

#include "base/MemoryUtils.h"
#include "base/PathUtils.h"
#include "base/TextUtils.h"
#include "tools/CommandHelp.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

int gFailures = 0;

void check(bool ok, const char* what) {
  std::printf("  [%s] %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++gFailures;
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 1)
    return zarn::tools::usage(zarn::tools::helpAsked(argc, argv), "usage: zarn-selfcheck\n",
                              "Checks the foundation this machine gives the plug-in (text, numbers, memory, paths)\n"
                              "and says which checks passed; exits 1 when one failed.\n"
                              "  --help               this text\n");
  std::printf("Zarn self-check\n");

  std::printf("text and numbers:\n");
  check(compareText("Bass", "bass") == 0, "names compare without regard to letter case");
  check(floatToStr(0.25, "%.2f") == "0.25", "numbers format in the \"C\" locale");
  check(floatToEnum(1.0f, 5, nullptr) == 4, "a normalised 1.0 selects the last of five entries");

  std::printf("memory:\n");
  void* block = allocAlignedMem(1024);
  check(block && reinterpret_cast<uintptr_t>(block) % 16 == 0, "sample blocks are 16-byte aligned");
  freeAlignedMem(block);

  std::printf("paths:\n");
  check(getFileNameNoExt("/presets/Lead/Bright Saw.qvp") == "Bright Saw", "preset names come from file names");
  check(folderExists("/") && !fileExists("/"), "the file system answers");

  std::printf("%s\n", gFailures ? "self-check FAILED" : "self-check passed");
  return gFailures ? 1 : 0;
}
