#pragma once

// Names the calling thread for the tools that list threads (top -H, perf,
// debuggers, /proc/PID/task/TID/comm). The kernel keeps 15 bytes of a
// thread's name; a longer name is cut to them rather than refused. The
// main thread is left alone by its callers: its name is the process's.
//
// Any thread, for itself; it allocates nothing.

namespace platform {

// The kernel's limit on a thread's name, without the terminating zero.
constexpr int cMaxThreadNameLength = 15;

void nameThisThread(const char* name);

} // namespace platform
