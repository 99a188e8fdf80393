#pragma once

// What every fuzz target shares.
//
// A target defines two functions:
//
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
//   void writeSeeds(const std::string& folder);
// Optional: see above.
void prepare() __attribute__((weak));
//
// The first reads one input the way the program reads outside data and
// must never crash, hang, leak or trip a sanitizer, whatever the bytes. The
// second writes the target's seed corpus into folder with the project's own
// writers; the build calls it once (FuzzMain.cpp).
//
// A target with a costly set-up (a plug-in instance, wave tables) also
// defines
//
//   void prepare();
//
// which runs once before the first input, so that its time is not taken
// for a hang and a bundle it loads is instrumented from the start.
//
// Before either runs, the process has a scratch folder of its own, and HOME
// and the XDG folders point into it, so nothing a target does touches the
// user's files; alerts are counted, not printed.

#include <cstddef>
#include <cstdint>
#include <string>

void writeSeeds(const std::string& folder);
// Optional: see above.
void prepare() __attribute__((weak));

namespace fuzz {

// The process's scratch folder (no trailing '/'), made on first use and
// removed at exit.
const std::string& scratchFolder();
// Writes bytes to a file in the scratch folder and returns its path.
std::string writeScratchFile(const std::string& name, const uint8_t* data, size_t size);
// Writes bytes to path; false when that failed.
bool writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
// Copies a file into folder under name; false when that failed.
bool copyFile(const std::string& from, const std::string& folder, const std::string& name);
// Alerts shown since the start.
int alertCount();

} // namespace fuzz
