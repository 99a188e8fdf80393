// Linked into every fuzz target: prepares the scratch folder before the
// first input and, when the build asks for it (ZARN_FUZZ_WRITE_SEEDS names a
// folder), writes the target's seed corpus instead of fuzzing.

#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::scratchFolder();
  if (const char* seeds = std::getenv("ZARN_FUZZ_WRITE_SEEDS"); seeds && *seeds) {
    writeSeeds(seeds);
    std::exit(0);
  }
  if (prepare) prepare();
  return 0;
}
