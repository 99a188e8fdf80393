#include "base/MemoryUtils.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// The block is over-allocated by 16 bytes plus room for one whole pointer; the
// start of the allocation is kept in the pointer-sized slot just below the
// returned address (a 32-bit slot would truncate it on 64 bits).
namespace {
constexpr size_t cSlack = 15 + sizeof(void*);
}

void* allocAlignedMem(int size) {
  if (size < 0) return nullptr;
  size_t total = static_cast<size_t>(size) + cSlack;
  void* start = std::calloc(1, total);
  if (!start) return nullptr;
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(start) + cSlack) & ~static_cast<uintptr_t>(15);
  void* result = reinterpret_cast<void*>(aligned);
  std::memcpy(static_cast<char*>(result) - sizeof(void*), &start, sizeof(void*));
  return result;
}

void freeAlignedMem(void* p) {
  if (!p) return;
  void* start;
  std::memcpy(&start, static_cast<char*>(p) - sizeof(void*), sizeof(void*));
  std::free(start);
}

int swapByteOrder(int v) { return static_cast<int>(__builtin_bswap32(static_cast<uint32_t>(v))); }
int convertNetworkByteOrder(int v) { return swapByteOrder(v); }
int convertIntelByteOrder(int v) { return v; }

bool atomicCompareAndSwap(volatile int* p, int expected, int desired) {
  return __atomic_compare_exchange_n(const_cast<int*>(p), &expected, desired, false, __ATOMIC_SEQ_CST,
                                     __ATOMIC_SEQ_CST);
}
int atomicIncrement(volatile int* p) { return __atomic_add_fetch(const_cast<int*>(p), 1, __ATOMIC_SEQ_CST); }
int atomicDecrement(volatile int* p) { return __atomic_sub_fetch(const_cast<int*>(p), 1, __ATOMIC_SEQ_CST); }
