#pragma once

// The one clock every timer of the system reads: monotonic microseconds, and
// ticks of 1/60 s. Tests switch to a virtual clock that only moves when
// they advance it.

#include <cstdint>

namespace platform {

int64_t microseconds();
uint32_t ticks();

void useVirtualClock(bool on);
bool isVirtualClock();
void advanceVirtualClock(int64_t microseconds);

} // namespace platform
