// Throughput of the lock-free queue: records carried per second.

#include "base/LockFreeQueue.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

struct Change {
  int32_t index;
  float value;
};

// One thread adds a batch and retrieves it again (the render thread's
// pattern: a burst of changes, then all of them taken in one block).
void BM_LockFreeQueueAddRetrieveSingleThread(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  lockfree::Queue<Change> queue(8192);
  Change c{};
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) queue.add(Change{i, 0.5f});
    for (int i = 0; i < batch; ++i) queue.retrieve(c);
    benchmark::DoNotOptimize(c);
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_LockFreeQueueAddRetrieveSingleThread)->Arg(1)->Arg(64)->Arg(4096);

// Two producer threads add as fast as they can while the benchmark thread
// retrieves; items are records that went all the way through.
void BM_LockFreeQueueTwoProducers(benchmark::State& state) {
  lockfree::Queue<Change> queue(8192);
  std::atomic<bool> running{true};
  std::vector<std::thread> producers;
  for (int p = 0; p < 2; ++p) {
    producers.emplace_back([&queue, &running, p] {
      int32_t i = 0;
      while (running.load(std::memory_order_relaxed)) {
        // Bounded backlog: a full pool only refuses, so back off instead.
        if (!queue.add(Change{p, static_cast<float>(i++)})) std::this_thread::yield();
      }
    });
  }
  Change c{};
  int64_t carried = 0;
  for (auto _ : state) {
    for (int i = 0; i < 256; ++i) {
      while (!queue.retrieve(c)) {
      }
      benchmark::DoNotOptimize(c);
    }
    carried += 256;
  }
  running.store(false);
  for (std::thread& t : producers) t.join();
  state.SetItemsProcessed(carried);
}
BENCHMARK(BM_LockFreeQueueTwoProducers)->UseRealTime();

// Two threads each add and retrieve on one shared queue.
void BM_LockFreeQueueTwoThreadsAddRetrieve(benchmark::State& state) {
  static lockfree::Queue<Change>* queue = nullptr;
  if (state.thread_index() == 0) queue = new lockfree::Queue<Change>(8192);
  Change c{};
  for (auto _ : state) {
    queue->add(Change{state.thread_index(), 1.0f});
    queue->retrieve(c);
    benchmark::DoNotOptimize(c);
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    delete queue;
    queue = nullptr;
  }
}
BENCHMARK(BM_LockFreeQueueTwoThreadsAddRetrieve)->Threads(2)->UseRealTime();

} // namespace
