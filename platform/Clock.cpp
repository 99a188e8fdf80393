#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <time.h>

namespace platform {

namespace {
std::atomic<bool> sVirtual{false};
std::atomic<int64_t> sVirtualNow{0};
std::atomic<int64_t> sVirtualCalendarStart{cVirtualCalendarStart};

// Reads cVirtualClockVariable once, when the program or the bundle that
// holds this code is loaded.
struct StartFromEnvironment {
  StartFromEnvironment() {
    const char* value = std::getenv(cVirtualClockVariable);
    if (!value) return;
    char* end = nullptr;
    const long long seconds = std::strtoll(value, &end, 10);
    if (end != value && *end == '\0' && seconds >= 0) sVirtualCalendarStart.store(seconds);
    useVirtualClock(true);
  }
};
const StartFromEnvironment sStartFromEnvironment;
} // namespace

int64_t microseconds() {
  if (sVirtual.load(std::memory_order_acquire)) return sVirtualNow.load(std::memory_order_acquire);
  return realMicroseconds();
}

int64_t realMicroseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

uint32_t ticks() { return static_cast<uint32_t>(microseconds() * 60 / 1000000); }

int64_t calendarSeconds() {
  if (sVirtual.load(std::memory_order_acquire))
    return sVirtualCalendarStart.load() + sVirtualNow.load(std::memory_order_acquire) / 1000000;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec);
}

void useVirtualClock(bool on) {
  if (on) sVirtualNow.store(0);
  sVirtual.store(on, std::memory_order_release);
}

bool isVirtualClock() { return sVirtual.load(std::memory_order_acquire); }

void advanceVirtualClock(int64_t us) { sVirtualNow.fetch_add(us, std::memory_order_acq_rel); }

void delayTicks(uint32_t ticks) {
  const int64_t us = static_cast<int64_t>(ticks) * 1000000 / 60;
  if (isVirtualClock())
    advanceVirtualClock(us);
  else
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace platform
