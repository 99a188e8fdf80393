#include "wave/Profiler.h"

#include <atomic>

namespace wave {

namespace {
// Registered on one thread and read on the render thread.
std::atomic<Profiler*> gProfiler{nullptr};
} // namespace

void registerWaveProfiler(Profiler* profiler) { gProfiler.store(profiler, std::memory_order_release); }

Profiler* getWaveProfiler() { return gProfiler.load(std::memory_order_acquire); }

} // namespace wave
