#pragma once

// The host callback procedure that the host hands to the process group. The
// group stores it here for the whole process; it is called as (selector, 0,
// argument) and returns a 16-bit status. Without a callback its uses do
// nothing.

#include <cstdint>

using HostCallbackProc = int16_t (*)(int32_t selector, uintptr_t reserved, uintptr_t argument);

constexpr int32_t kHostCallbackDebugText = 8;    // argument: a length-prefixed string
constexpr int32_t kHostCallbackDebugNumber = 9;  // argument: the number
constexpr int32_t kHostCallbackHostObject = 18;  // argument: where to put the host object interface

void SetHostCallback(HostCallbackProc callback); // null removes it
HostCallbackProc GetHostCallback();
