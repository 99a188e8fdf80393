#include "base/LockFreeQueue.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct Record {
  uint32_t producer;
  uint32_t sequence;
};

using Clock = std::chrono::steady_clock;

// Every loop below also stops at this deadline, so a lost record fails the
// test instead of hanging it. It is far beyond the run time.
Clock::time_point deadline() { return Clock::now() + std::chrono::seconds(60); }

struct Scenario {
  int producers;
  int consumers;
  int perProducer;
  int initialNodes;
};

struct Result {
  long long lost = 0;       // records never retrieved
  long long duplicated = 0; // records retrieved more than once
  long long foreign = 0;    // records that no producer made
  long long outOfOrder = 0; // a producer's records seen out of order by a consumer
  long long failedBelowLimit = 0;
  long long failedAdds = 0;
  uint32_t head = 0, tail = 0;
  int poolSize = 0;
};

Result run(const Scenario& s) {
  lockfree::Queue<Record> queue(s.initialNodes);
  const long long total = static_cast<long long>(s.producers) * s.perProducer;
  std::unique_ptr<std::atomic<uint8_t>[]> seen(new std::atomic<uint8_t>[total]());
  std::atomic<long long> retrieved{0}, failedAdds{0}, failedBelowLimit{0}, foreign{0}, outOfOrder{0};
  std::atomic<int> ready{0};
  const int threads = s.producers + s.consumers;
  const Clock::time_point stop = deadline();
  Result result;

  std::vector<std::thread> pool;
  for (int p = 0; p < s.producers; ++p) {
    pool.emplace_back([&, p] {
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();
      for (int i = 0; i < s.perProducer; ++i) {
        const Record r{static_cast<uint32_t>(p), static_cast<uint32_t>(i)};
        while (!queue.add(r)) {
          // A refused add must mean the pool is at its limit (it never
          // shrinks, so this check after the fact is exact).
          failedAdds.fetch_add(1);
          if (queue.getMemoryManager().getSize() != lockfree::kMaxNodes) failedBelowLimit.fetch_add(1);
          if (Clock::now() > stop) return;
          std::this_thread::yield();
        }
      }
    });
  }
  for (int c = 0; c < s.consumers; ++c) {
    pool.emplace_back([&, c] {
      std::vector<long long> last(s.producers, -1);
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();
      Record r{};
      while (retrieved.load(std::memory_order_relaxed) < total) {
        if (!queue.retrieve(r)) {
          if (Clock::now() > stop) return;
          std::this_thread::yield();
          continue;
        }
        retrieved.fetch_add(1, std::memory_order_relaxed);
        if (r.producer >= static_cast<uint32_t>(s.producers) || r.sequence >= static_cast<uint32_t>(s.perProducer)) {
          foreign.fetch_add(1);
          continue;
        }
        // One consumer sees all of a producer's records, each right after
        // the one before; several see each producer's records rising.
        const long long seq = r.sequence;
        const bool inOrder = s.consumers == 1 ? seq == last[r.producer] + 1 : seq > last[r.producer];
        if (!inOrder) outOfOrder.fetch_add(1);
        last[r.producer] = seq;
        seen[static_cast<long long>(r.producer) * s.perProducer + seq].fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  for (std::thread& t : pool) t.join();

  for (long long i = 0; i < total; ++i) {
    const int n = seen[i].load();
    if (n == 0) ++result.lost;
    if (n > 1) ++result.duplicated;
  }
  Record extra{};
  while (queue.retrieve(extra)) ++result.foreign;
  result.foreign += foreign.load();
  result.outOfOrder = outOfOrder.load();
  result.failedAdds = failedAdds.load();
  result.failedBelowLimit = failedBelowLimit.load();
  result.head = queue.getHead();
  result.tail = queue.getTail();
  result.poolSize = queue.getMemoryManager().getSize();
  return result;
}

void expectSound(const Scenario& s, const Result& r) {
  EXPECT_EQ(r.lost, 0);
  EXPECT_EQ(r.duplicated, 0);
  EXPECT_EQ(r.foreign, 0);
  EXPECT_EQ(r.outOfOrder, 0);
  EXPECT_EQ(r.failedBelowLimit, 0) << r.failedAdds << " refused adds";
  const uint32_t total = static_cast<uint32_t>(s.producers) * static_cast<uint32_t>(s.perProducer);
  // Each record moved the tail once and the head once, whoever swapped
  // them, so with more than 65536 records both tags wrapped while threads
  // were using them (and the free-list tag, which moves twice per record).
  EXPECT_EQ(lockfree::counterOf(r.head), total % 65536);
  EXPECT_EQ(lockfree::counterOf(r.tail), total % 65536);
  EXPECT_EQ(lockfree::indexOf(r.head), lockfree::indexOf(r.tail));
  EXPECT_GT(r.poolSize, s.initialNodes);
}

} // namespace

TEST(LockFreeQueueThreadTest, ManyProducersManyConsumersFromATinyPool) {
  constexpr Scenario s{4, 3, 50000, 2};
  static_assert(s.producers * s.perProducer > 2 * 65536, "the tags must wrap");
  expectSound(s, run(s));
}

TEST(LockFreeQueueThreadTest, ManyProducersOneConsumerKeepEachProducersOrder) {
  constexpr Scenario s{3, 1, 50000, 1};
  static_assert(s.producers * s.perProducer > 2 * 65536, "the tags must wrap");
  expectSound(s, run(s));
}

TEST(LockFreeQueueThreadTest, ConcurrentGrowthStopsExactlyAtTheLimit) {
  lockfree::Queue<Record> queue(2);
  const int producers = 4;
  const int attempts = 20000; // 80000 in all, more than the 65534 that fit
  std::vector<int> accepted(producers, 0);
  std::atomic<long long> failedBelowLimit{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([&, p] {
      ready.fetch_add(1);
      while (ready.load() < producers) std::this_thread::yield();
      int next = 0;
      for (int i = 0; i < attempts; ++i) {
        if (queue.add(Record{static_cast<uint32_t>(p), static_cast<uint32_t>(next)}))
          ++next;
        else if (queue.getMemoryManager().getSize() != lockfree::kMaxNodes)
          failedBelowLimit.fetch_add(1);
      }
      accepted[p] = next;
    });
  }
  for (std::thread& t : threads) t.join();

  EXPECT_EQ(failedBelowLimit.load(), 0);
  EXPECT_EQ(queue.getMemoryManager().getSize(), lockfree::kMaxNodes);
  int sum = 0;
  for (int n : accepted) sum += n;
  EXPECT_EQ(sum, 65534);

  // Everything accepted is there, each producer's records in its order.
  std::vector<int> expected(producers, 0);
  Record r{};
  int drained = 0;
  while (queue.retrieve(r)) {
    ASSERT_LT(r.producer, static_cast<uint32_t>(producers));
    ASSERT_EQ(r.sequence, static_cast<uint32_t>(expected[r.producer]));
    ++expected[r.producer];
    ++drained;
  }
  EXPECT_EQ(drained, sum);
  EXPECT_EQ(expected, accepted);
  EXPECT_TRUE(queue.add(Record{0, 0}));
}

// The render thread polls an empty queue far more often than anything
// arrives: each record here is added only once the consumer has found the
// queue empty since the last one, so every record is the first after an
// empty spell. None may be missed, delayed past the producer's return or
// seen twice. The producer sleeps until the consumer has found the queue
// empty, and the consumer, after a spell of empty polls, until the next
// add: two threads that spun (or yielded, which on a busy core gives the
// core away for a whole time slice) took a minute for a tenth of the
// records on a machine whose cores were all busy.
TEST(LockFreeQueueThreadTest, EachRecordAfterAnEmptySpellArrives) {
  lockfree::Queue<Record> queue(4);
  constexpr int count = 20000;
  constexpr int cGaveUp = -1;
  zarn::test::Baton foundEmptyAfter; // records taken when the consumer last found none
  zarn::test::Baton addedSoFar;
  std::atomic<int> added{0};
  const Clock::time_point stop = deadline();
  int taken = 0, wrong = 0, earlyEmpty = 0;
  std::thread consumer([&] {
    Record r{};
    int emptyPolls = 0, told = 0;
    while (taken < count && Clock::now() < stop) {
      // Read before the poll: a record whose add had returned by then must
      // be found.
      const int addedBefore = added.load();
      if (!queue.retrieve(r)) {
        if (addedBefore > taken) ++earlyEmpty;
        if (told != taken + 1) {
          told = taken + 1;
          foundEmptyAfter.pass(told);
          emptyPolls = 0;
        }
        // Polls on while the producer adds; an empty spell longer than
        // that (the producer waits for a core) sleeps until the next add,
        // unless a record that was added is missing: then the polls go on
        // to the deadline.
        if (++emptyPolls > 100 && addedBefore == taken) {
          addedSoFar.awaitValue(taken + 1);
          emptyPolls = 0;
        }
        continue;
      }
      if (r.sequence != static_cast<uint32_t>(taken)) ++wrong;
      ++taken;
    }
    // A producer still waiting gives up at once, not at the end of its own
    // patience.
    foundEmptyAfter.pass(cGaveUp);
  });
  for (int i = 0; i < count; ++i) {
    if (foundEmptyAfter.awaitEither(i + 1, cGaveUp) != i + 1) break;
    ASSERT_TRUE(queue.add(Record{0, static_cast<uint32_t>(i)}));
    added.store(i + 1);
    addedSoFar.pass(i + 1);
  }
  consumer.join();
  EXPECT_EQ(taken, count);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(earlyEmpty, 0);
  Record r{};
  EXPECT_FALSE(queue.retrieve(r));
}
