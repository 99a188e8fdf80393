#pragma once

// The millisecond stopwatch behind IntervalTimer. It reads the system's one
// monotonic clock (platform/Clock.h), so tests that switch that clock to
// virtual time drive the stopwatch too.

#include "base/PlatformServices.h"

#include <cstdint>

class PosixIntervalTimer : public IntervalTimer {
public:
  // Started now.
  PosixIntervalTimer();

  // (now - start) in microseconds / 1000, truncated.
  int64_t getElapsed() override;
  void reset() override;

private:
  int64_t mStart; // microseconds of the monotonic clock
};
