// The counters that render-path tests hold at 0 (allocations, files opened,
// locks and yields on the counting thread) do count: else those zeros would
// prove nothing.

#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

TEST(RealTimeHooksTest, ACounterCountsItsThreadsLocksAllocationsAndOpensAndNoOtherThreads) {
  std::mutex mutex;
  zarn::test::AllocationCounter counter;
  {
    std::lock_guard<std::mutex> lock(mutex);
  }
  if (mutex.try_lock()) mutex.unlock();
  auto block = std::make_unique<int>(7);
  if (std::FILE* f = std::fopen("/dev/null", "r")) std::fclose(f);
  // Another thread's lock, allocation and file are its own.
  std::thread other([&] {
    std::lock_guard<std::mutex> lock(mutex);
    if (std::FILE* f = std::fopen("/dev/null", "r")) std::fclose(f);
  });
  other.join();
  EXPECT_EQ(counter.locks(), 2);
  EXPECT_EQ(counter.opens(), 1);
  // The thread's start allocates its state here; the block above is one.
  EXPECT_GE(counter.count(), 1);
  EXPECT_EQ(*block, 7);
}

// The library's observer list and the snapshot publisher's subscribers sit
// behind std::shared_mutex; a spinning wait yields. Each way counts as a
// lock: shared or exclusive, taken or tried, and a yield.
TEST(RealTimeHooksTest, ReadWriteLocksAndYieldsCountAsLocks) {
  std::shared_mutex mutex;
  zarn::test::AllocationCounter counter;
  {
    std::shared_lock<std::shared_mutex> lock(mutex);
  }
  {
    std::unique_lock<std::shared_mutex> lock(mutex);
  }
  if (mutex.try_lock_shared()) mutex.unlock_shared();
  if (mutex.try_lock()) mutex.unlock();
  EXPECT_EQ(counter.locks(), 4);
  std::this_thread::yield();
  EXPECT_EQ(counter.locks(), 5);
  std::thread other([&] {
    std::shared_lock<std::shared_mutex> lock(mutex);
    std::this_thread::yield();
  });
  other.join();
  EXPECT_EQ(counter.locks(), 5);
}
