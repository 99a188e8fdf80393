#pragma once

// What every simulated engine library keeps: its settings, the set of entry
// points it pretends not to export, result overrides and the call log.

#include "tools/engine/SimEngineControl.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

// Each library provides these four.
const char* environmentVariable();
void resetLibrary();                                                // under the state lock
bool configureLibrary(const std::string& key, const std::string& value); // under the state lock
int64_t libraryState(const std::string& name);                      // under the state lock

bool entryMissing(const char* name);
// The override of result.<name>, or fallback.
bool resultOverride(const char* name, int64_t& value);
template <class T> T result(const char* name, T fallback) {
  int64_t v;
  return resultOverride(name, v) ? static_cast<T>(v) : fallback;
}

void log(const std::string& line);

bool parseNumber(const std::string& text, int64_t& value);
std::string word(uintptr_t w);
inline std::string num(int64_t v) { return std::to_string(v); }

// The lock that guards every library's own state as well.
void lockState();
void unlockState();
struct StateLock {
  StateLock() { lockState(); }
  ~StateLock() { unlockState(); }
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
};

} // namespace sim

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

// Exports entry point `name` with the type and body of `impl`. The symbol is
// resolved when it is looked up, so a library configured to lack the entry
// answers a look-up by name with nothing, as a library that never had it.
// The resolver has external (hidden) linkage: clang resolves an ifunc only
// to a function it emits under its plain name.
#define SIM_ENTRY(name, impl)                                                                    \
  extern "C" {                                                                                   \
  __attribute__((visibility("hidden"))) decltype(&impl) sim_resolve_##name() {                   \
    return ::sim::entryMissing(#name) ? nullptr : &impl;                                         \
  }                                                                                              \
  __attribute__((visibility("default"))) decltype(impl) name __attribute__((ifunc("sim_resolve_" #name))); \
  }
