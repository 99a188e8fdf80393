#include "host/services/HostCallback.h"

#include <atomic>

namespace {
std::atomic<HostCallbackProc> sCallback{nullptr};
}

void SetHostCallback(HostCallbackProc callback) { sCallback.store(callback, std::memory_order_release); }
HostCallbackProc GetHostCallback() { return sCallback.load(std::memory_order_acquire); }
