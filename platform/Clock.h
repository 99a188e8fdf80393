#pragma once

// The one clock every timer of the system reads: monotonic microseconds, and
// ticks of 1/60 s, and the calendar time in seconds (what time() gives,
// which seeds the random numbers). Tests switch to a virtual clock that only
// moves when they advance it.
//
// A process can also start virtual: when the variable cVirtualClockVariable
// is set while this code is loaded (a program's start, a plug-in bundle's
// loading), the clock is virtual from the start, its calendar time standing
// at the variable's number of seconds (or at cVirtualCalendarStart when the
// variable holds no number). An offline render runs so, and renders the
// same on every run; a live host leaves the variable unset and keeps the
// wall clock.

#include <cstdint>

namespace platform {

constexpr const char* cVirtualClockVariable = "ZARN_VIRTUAL_CLOCK";
// 2001-09-09 01:46:40 UTC.
constexpr int64_t cVirtualCalendarStart = 1000000000;

int64_t microseconds();
uint32_t ticks();
// Seconds since 1970-01-01 UTC; under the virtual clock its calendar start
// plus the whole seconds it was advanced. On, the virtual clock starts at 0
// microseconds and its calendar start.
int64_t calendarSeconds();

// Waits that many ticks: under the virtual clock the clock moves on at
// once, else the thread sleeps.
void delayTicks(uint32_t ticks);

// The machine's monotonic clock in microseconds, whatever the clock above
// does. Only for limits that guard against the machine itself (a scan of
// the disk that must end): a virtual clock standing still would lift them.
int64_t realMicroseconds();

void useVirtualClock(bool on);
bool isVirtualClock();
void advanceVirtualClock(int64_t microseconds);

} // namespace platform
