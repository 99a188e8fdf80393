#pragma once

// How a wrapper calls an engine entry: find the library's access object and
// the entry's table slot, call the entry through the exact type it has, and
// turn a missing library or entry into a code. 16-bit statuses come back
// sign-extended, 8-bit flags zero-extended; short arguments reach the entry
// sign-extended to 32 bits, byte arguments zero-extended.

#include "host/services/CDAEError.h"
#include "host/services/UDigiLibAccess.h"

#include <atomic>
#include <cstdint>

namespace EngineCall {

// The entry with id as a function of type Signature, or null with error set
// to -2812 (no library) or -2802 (no entry).
template <class Signature, class Access>
Signature* Find(const std::atomic<Access*>& holder, int32_t id, int32_t& error) {
  Access* access = holder.load(std::memory_order_acquire);
  if (!access) {
    error = HostStatus::kEngineLibraryMissing;
    return nullptr;
  }
  auto* entry = reinterpret_cast<Signature*>(access->GetFunction(id));
  if (!entry) error = HostStatus::kEngineEntryMissing;
  return entry;
}

// Entries with a 16-bit status or an 8-bit flag: the result widened to 32
// bits, else the code.
template <class Signature, class Access, class... Args>
int32_t Status(const std::atomic<Access*>& holder, int32_t id, Args... args) {
  int32_t error = 0;
  Signature* entry = Find<Signature>(holder, id, error);
  return entry ? static_cast<int32_t>(entry(args...)) : error;
}

// A code as a pointer-wide word, sign-extended, so that the low 32 bits read
// back as the code.
inline uintptr_t CodeAsWord(int32_t code) { return static_cast<uintptr_t>(static_cast<intptr_t>(code)); }

// Entries whose result is a word (a handle): the word, else the code.
template <class Signature, class Access, class... Args>
uintptr_t Word(const std::atomic<Access*>& holder, int32_t id, Args... args) {
  int32_t error = 0;
  Signature* entry = Find<Signature>(holder, id, error);
  return entry ? static_cast<uintptr_t>(entry(args...)) : CodeAsWord(error);
}

} // namespace EngineCall
