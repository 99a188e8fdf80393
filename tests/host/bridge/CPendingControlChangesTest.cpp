// The marks of parameter changes waiting for the main thread.

#include "host/bridge/CPendingControlChanges.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::vector<int32_t> Take(CPendingControlChanges& pending) {
  std::vector<int32_t> taken;
  pending.TakeAll([&](int32_t i) { taken.push_back(i); });
  return taken;
}

} // namespace

TEST(CPendingControlChangesTest, MarksCoalesceAndComeOutInIndexOrder) {
  CPendingControlChanges pending(8);
  EXPECT_FALSE(pending.IsPending());
  EXPECT_TRUE(Take(pending).empty());
  pending.Mark(5);
  pending.Mark(2);
  pending.Mark(5);
  pending.Mark(7);
  EXPECT_TRUE(pending.IsPending());
  EXPECT_EQ(Take(pending), (std::vector<int32_t>{2, 5, 7}));
  EXPECT_FALSE(pending.IsPending());
  EXPECT_TRUE(Take(pending).empty());
}

TEST(CPendingControlChangesTest, AllParametersCoverEveryMark) {
  CPendingControlChanges pending(4);
  pending.Mark(1);
  pending.Mark(-1);
  pending.Mark(3);
  EXPECT_EQ(Take(pending), (std::vector<int32_t>{-1}));
  // The single marks went with it.
  EXPECT_TRUE(Take(pending).empty());
}

TEST(CPendingControlChangesTest, IndicesWithoutParameterAreIgnored) {
  CPendingControlChanges pending(3);
  pending.Mark(3);
  pending.Mark(-2);
  pending.Mark(1000000);
  EXPECT_FALSE(pending.IsPending());
  CPendingControlChanges none(0);
  none.Mark(0);
  none.Mark(-1);
  EXPECT_EQ(Take(none), (std::vector<int32_t>{-1}));
}

// Whatever the interleaving, the last value written before a mark is seen
// by a take that follows the mark: no change is lost.
TEST(CPendingControlChangesThreadTest, NoChangeIsLost) {
  constexpr int32_t kCount = 16;
  constexpr int kRounds = 20000;
  CPendingControlChanges pending(kCount);
  std::atomic<int> values[kCount];
  int seen[kCount];
  for (int32_t i = 0; i < kCount; ++i) {
    values[i].store(-1);
    seen[i] = -1;
  }
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int n = 0; n < kRounds; ++n) {
      const int32_t i = (n * 7) % kCount;
      values[i].store(n, std::memory_order_relaxed);
      pending.Mark(n % 97 == 0 ? -1 : i);
    }
    done.store(true);
  });
  auto take = [&] {
    pending.TakeAll([&](int32_t i) {
      if (i == -1)
        for (int32_t j = 0; j < kCount; ++j) seen[j] = values[j].load(std::memory_order_relaxed);
      else
        seen[i] = values[i].load(std::memory_order_relaxed);
    });
  };
  while (!done.load()) take();
  producer.join();
  take();
  for (int32_t i = 0; i < kCount; ++i) EXPECT_EQ(seen[i], values[i].load()) << i;
  EXPECT_FALSE(pending.IsPending());
}
