#include "base/PosixIntervalTimer.h"

#include "platform/Clock.h"

PosixIntervalTimer::PosixIntervalTimer() : mStart(platform::microseconds()) {}

int64_t PosixIntervalTimer::getElapsed() { return (platform::microseconds() - mStart) / 1000; }

void PosixIntervalTimer::reset() { mStart = platform::microseconds(); }

IntervalTimer* createIntervalTimer() { return new PosixIntervalTimer(); }
