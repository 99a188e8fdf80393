#include "base/LockFreeMemoryManager.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

struct Record {
  int32_t index;
  float value;
};

// Takes every node the pool can give without growing.
std::vector<uint32_t> drainFreeList(lockfree::MemoryManager<Record>& pool) {
  std::vector<uint32_t> taken;
  while (lockfree::indexOf(pool.getFreeListHead()) != 0) taken.push_back(pool.allocateNode());
  return taken;
}

} // namespace

TEST(LockFreeMemoryManagerTest, NewPoolHandsOutEveryNodeButTheHolderOnce) {
  lockfree::MemoryManager<Record> pool(16);
  EXPECT_EQ(pool.getSize(), 16);
  const std::vector<uint32_t> taken = drainFreeList(pool);
  ASSERT_EQ(taken.size(), 15u);
  const std::set<uint32_t> distinct(taken.begin(), taken.end());
  EXPECT_EQ(distinct.size(), 15u);
  EXPECT_EQ(*distinct.begin(), 1u);
  EXPECT_EQ(*distinct.rbegin(), 15u);
  // Nodes come out with an empty queue link.
  for (uint32_t node : taken) EXPECT_EQ(lockfree::indexOf(pool.getNode(node).next.load()), 0u);
}

TEST(LockFreeMemoryManagerTest, GrowthDoublesAndReturnsTheFirstNewNode) {
  lockfree::MemoryManager<Record> pool(4);
  drainFreeList(pool);
  // The empty free list makes allocateNode grow the pool to twice its size.
  const uint32_t node = pool.allocateNode();
  EXPECT_EQ(node, 4u);
  EXPECT_EQ(pool.getSize(), 8);
  EXPECT_EQ(drainFreeList(pool).size(), 3u); // nodes 5..7

  // An explicit size is taken as it stands.
  EXPECT_EQ(pool.allocateNewNodes(300), lockfree::makeTaggedIndex(8, 0));
  EXPECT_EQ(pool.getSize(), 300);
}

TEST(LockFreeMemoryManagerTest, GrowthPrefersANodeFreedMeanwhile) {
  lockfree::MemoryManager<Record> pool(4);
  std::vector<uint32_t> taken = drainFreeList(pool);
  pool.freeNode(taken.back());
  EXPECT_EQ(lockfree::indexOf(pool.allocateNewNodes(0)), taken.back());
  EXPECT_EQ(pool.getSize(), 4);
}

TEST(LockFreeMemoryManagerTest, GrowthNeverMovesNodes) {
  lockfree::MemoryManager<Record> pool(3);
  std::vector<std::pair<uint32_t, const void*>> seen;
  for (int i = 0; i < 2000; ++i) {
    const uint32_t node = pool.allocateNode();
    ASSERT_NE(node, 0u);
    pool.getNode(node).storePayload(Record{i, 0.5f * static_cast<float>(i)});
    seen.emplace_back(node, &pool.getNode(node));
  }
  EXPECT_EQ(pool.getSize(), 3072); // 3, 6, ... 3072
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(&pool.getNode(seen[i].first), seen[i].second);
    Record r{};
    pool.getNode(seen[i].first).loadPayload(&r);
    EXPECT_EQ(r.index, static_cast<int32_t>(i));
  }
}

TEST(LockFreeMemoryManagerTest, PoolStopsAt65536Nodes) {
  lockfree::MemoryManager<Record> pool(40000);
  EXPECT_EQ(drainFreeList(pool).size(), 39999u);
  // Doubling is capped at the limit.
  EXPECT_EQ(pool.allocateNewNodes(0), lockfree::makeTaggedIndex(40000, 0));
  EXPECT_EQ(pool.getSize(), lockfree::kMaxNodes);
  EXPECT_EQ(drainFreeList(pool).size(), 65536u - 40001u);
  EXPECT_EQ(pool.allocateNode(), 0u);
  EXPECT_EQ(pool.allocateNewNodes(0), 0u);
  EXPECT_EQ(pool.getSize(), lockfree::kMaxNodes);
  // A freed node is handed out again.
  pool.freeNode(123);
  EXPECT_EQ(pool.allocateNode(), 123u);
}

TEST(LockFreeMemoryManagerTest, FreeListCounterKeepsCountingWhenTheListEmpties) {
  lockfree::MemoryManager<Record> pool(2);
  // Node 1 is the only free node: a pop empties the list.
  const lockfree::TaggedIndex before = pool.getFreeListHead();
  ASSERT_EQ(lockfree::indexOf(before), 1u);
  EXPECT_EQ(pool.allocateNode(), 1u);
  const lockfree::TaggedIndex empty = pool.getFreeListHead();
  EXPECT_EQ(lockfree::indexOf(empty), 0u);
  EXPECT_EQ(lockfree::counterOf(empty), lockfree::counterOf(before) + 1);
  pool.freeNode(1);
  // Had the empty list reset the counter, this word could repeat one that a
  // stalled thread read before the list emptied.
  EXPECT_NE(pool.getFreeListHead(), before);
  EXPECT_EQ(lockfree::counterOf(pool.getFreeListHead()), lockfree::counterOf(before) + 2);
}

TEST(LockFreeMemoryManagerTest, PayloadsOfAnySizeRoundTrip) {
  struct Odd {
    char c[7];
  };
  lockfree::MemoryManager<Odd> pool(4);
  const uint32_t node = pool.allocateNode();
  const Odd in{{'a', 'b', 'c', 'd', 'e', 'f', 'g'}};
  pool.getNode(node).storePayload(in);
  Odd out{};
  pool.getNode(node).loadPayload(&out);
  EXPECT_EQ(std::string(out.c, 7), "abcdefg");

  lockfree::MemoryManager<double> wide(2);
  const uint32_t w = wide.allocateNode();
  wide.getNode(w).storePayload(-1.0e300);
  double d = 0;
  wide.getNode(w).loadPayload(&d);
  EXPECT_EQ(d, -1.0e300);
}
