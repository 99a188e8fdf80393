#include "platform/Clock.h"

#include <atomic>
#include <time.h>

namespace platform {

namespace {
std::atomic<bool> sVirtual{false};
std::atomic<int64_t> sVirtualNow{0};
} // namespace

int64_t microseconds() {
  if (sVirtual.load(std::memory_order_acquire)) return sVirtualNow.load(std::memory_order_acquire);
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

uint32_t ticks() { return static_cast<uint32_t>(microseconds() * 60 / 1000000); }

void useVirtualClock(bool on) {
  if (on) sVirtualNow.store(0);
  sVirtual.store(on, std::memory_order_release);
}

bool isVirtualClock() { return sVirtual.load(std::memory_order_acquire); }

void advanceVirtualClock(int64_t us) { sVirtualNow.fetch_add(us, std::memory_order_acq_rel); }

} // namespace platform
