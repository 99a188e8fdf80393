#include "platform/RunLoop.h"

#include "platform/Clock.h"
#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct VirtualClock {
  VirtualClock() { platform::useVirtualClock(true); }
  ~VirtualClock() { platform::useVirtualClock(false); }
};

} // namespace

// Interval timers fire at their exact times on the virtual clock, in due
// order, and a timer removed from inside its own callback (or by another's)
// never fires again while the others go on.
TEST(RunLoopTest, TimersFireOnScheduleAndSurviveRemovalInCallbacks) {
  VirtualClock clock;
  platform::RunLoop loop;
  std::vector<std::pair<char, int64_t>> fired;
  platform::RunLoop::TimerId a = 0, b = 0;
  int aCount = 0;
  a = loop.addTimer(50000, 50000, [&] {
    fired.emplace_back('a', platform::microseconds());
    if (++aCount == 3) loop.removeTimer(a); // removes itself mid-callback
  });
  b = loop.addTimer(120000, 0, [&] { fired.emplace_back('b', platform::microseconds()); });
  loop.addTimer(30000, 30000, [&] {
    fired.emplace_back('c', platform::microseconds());
    loop.removeTimer(b); // b never fires
  });
  loop.runFor(260000);
  const std::vector<std::pair<char, int64_t>> expected = {
      {'c', 30000}, {'a', 50000}, {'c', 60000}, {'c', 90000}, {'a', 100000}, {'c', 120000}, {'a', 150000}, {'c', 150000},
      {'c', 180000}, {'c', 210000}, {'c', 240000}};
  EXPECT_EQ(fired, expected);
  EXPECT_FALSE(loop.hasTimer(a));
  EXPECT_FALSE(loop.hasTimer(b));
  EXPECT_EQ(platform::microseconds(), 260000);

  // A pass that comes late by more than a period (the program was busy)
  // fires what is overdue once each, in the order it fell due, and an
  // interval timer keeps its phase: it is next due at the next multiple of
  // its period from its start.
  platform::RunLoop late;
  const int64_t t0 = platform::microseconds();
  std::vector<std::pair<char, int64_t>> overdue;
  late.addTimer(40000, 0, [&] { overdue.emplace_back('x', platform::microseconds() - t0); });
  late.addTimer(10000, 10000, [&] { overdue.emplace_back('p', platform::microseconds() - t0); });
  platform::advanceVirtualClock(42000);
  EXPECT_EQ(late.runDue(), 2);
  platform::advanceVirtualClock(7000);
  EXPECT_EQ(late.runDue(), 0);
  platform::advanceVirtualClock(1000);
  EXPECT_EQ(late.runDue(), 1);
  EXPECT_EQ(overdue, (std::vector<std::pair<char, int64_t>>{{'p', 42000}, {'x', 42000}, {'p', 50000}}));
}

// A timer with a leeway rides on the passes another timer makes, as soon as
// it is within its leeway of being due, and from then on keeps that timer's
// pace; alone, it wakes the loop only when it is due, never before.
TEST(RunLoopTest, ATimerWithLeewaySharesTheWakesOfOthers) {
  VirtualClock clock;
  platform::RunLoop loop;
  std::vector<int64_t> lenientAt, strictAt;
  // Due at 60, 110, ... ms on its own; it may run up to 30 ms early.
  const platform::RunLoop::TimerId lenient =
      loop.addTimer(60000, 50000, [&] { lenientAt.push_back(platform::microseconds()); }, 30000);
  const platform::RunLoop::TimerId strict =
      loop.addTimer(40000, 50000, [&] { strictAt.push_back(platform::microseconds()); });
  loop.runFor(200000);
  // At 40 ms the lenient one is 20 ms from due: it goes along, and is next
  // due 50 ms later, with the strict one again.
  const std::vector<int64_t> shared = {40000, 90000, 140000, 190000};
  EXPECT_EQ(strictAt, shared);
  EXPECT_EQ(lenientAt, shared);

  // Too far from due on the other's pass (40 ms early): it waits for its own
  // time, and the loop sleeps until then.
  loop.removeTimer(lenient);
  loop.removeTimer(strict);
  lenientAt.clear();
  strictAt.clear();
  loop.addTimer(90000, 100000, [&] { lenientAt.push_back(platform::microseconds()); }, 30000);
  loop.addTimer(50000, 0, [&] { strictAt.push_back(platform::microseconds()); });
  int passes = 0;
  loop.addIdle([&] { ++passes; });
  loop.runFor(300000);
  EXPECT_EQ(strictAt, std::vector<int64_t>{250000});
  EXPECT_EQ(lenientAt, (std::vector<int64_t>{290000, 390000, 490000}));
  // One at the start, one at each of the four due times, one at the end.
  EXPECT_EQ(passes, 6);

  // Its own period counts from the pass it went along with: with a period
  // of 70 ms it is due at 110 after firing at 40, at 160 after 90 and at
  // 210 after 140, each time within its leeway of the 50 ms timer's pass.
  platform::RunLoop other;
  lenientAt.clear();
  strictAt.clear();
  const int64_t t0 = platform::microseconds();
  other.addTimer(60000, 70000, [&] { lenientAt.push_back(platform::microseconds() - t0); }, 30000);
  other.addTimer(40000, 50000, [&] { strictAt.push_back(platform::microseconds() - t0); });
  other.runFor(220000);
  EXPECT_EQ(strictAt, (std::vector<int64_t>{40000, 90000, 140000, 190000}));
  EXPECT_EQ(lenientAt, (std::vector<int64_t>{40000, 90000, 140000, 190000}));
}

// runUntil stops as soon as its condition holds and reports a timeout.
TEST(RunLoopTest, RunUntilStopsAtConditionOrTimeout) {
  VirtualClock clock;
  platform::RunLoop loop;
  int ticks = 0;
  loop.addTimer(10000, 10000, [&] { ++ticks; });
  EXPECT_TRUE(loop.runUntil([&] { return ticks == 4; }, 1000000));
  EXPECT_EQ(platform::microseconds(), 40000);
  EXPECT_FALSE(loop.runUntil([] { return false; }, 25000));
  EXPECT_EQ(ticks, 6);
}

// A callback may run the loop nested (a menu's loop): timers fire there at
// their times, and a timer that fired in the nested loop does not fire a
// second time when the outer pass goes on.
TEST(RunLoopTest, ANestedLoopFiresTimersOnceAtTheirTimes) {
  VirtualClock clock;
  platform::RunLoop loop;
  std::vector<int64_t> ticks;
  loop.addTimer(10000, 0, [&] { loop.runFor(35000); });
  loop.addTimer(10000, 10000, [&] { ticks.push_back(platform::microseconds()); });
  loop.runFor(60000);
  EXPECT_EQ(ticks, (std::vector<int64_t>{10000, 20000, 30000, 40000, 50000, 60000}));

  // A callback that waits (a menu pausing as it scrolls) moves the clock on
  // by two ticks, 33333 us; the loop never takes it back: what fell due
  // meanwhile fires at once, late, and then on its own phase.
  platform::RunLoop busy;
  const int64_t t0 = platform::microseconds();
  ticks.clear();
  busy.addTimer(10000, 10000, [&] { ticks.push_back(platform::microseconds() - t0); });
  busy.addTimer(5000, 0, [] { platform::delayTicks(2); });
  busy.runFor(60000);
  EXPECT_EQ(ticks, (std::vector<int64_t>{38333, 40000, 50000, 60000}));
  EXPECT_EQ(platform::microseconds() - t0, 60000);
}

// On the real clock the loop sleeps until a watched descriptor has data.
// An idle window's passes (timers due, the idle hooks, a timer that runs a
// nested loop as a menu does, a descriptor that wakes the wait) allocate
// nothing once the loop has run them once; what they call still runs.
TEST(RunLoopTest, PassesAllocateNothingOnceRun) {
  int ticks = 0, nested = 0, hooks = 0, reads = 0;
  {
    VirtualClock clock;
    platform::RunLoop loop;
    loop.addTimer(50'000, 50'000, [&] { ++ticks; }, 30'000);
    loop.addTimer(50'000, 50'000, [&] {
      ++nested;
      loop.runFor(5'000); // a menu's loop inside the callback
    });
    loop.addTimer(1'000, 1'000, [] {});
    loop.addIdle([&] { ++hooks; });
    loop.runFor(200'000);
    const int before = ticks;
    zarn::test::AllocationCounter counter;
    loop.runFor(1'000'000);
    EXPECT_EQ(counter.count(), 0);
    EXPECT_GE(ticks - before, 19);
    EXPECT_GE(nested, 20);
    EXPECT_GT(hooks, 1000);
  }
  platform::RunLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  loop.watch(fds[0], [&] {
    char byte;
    if (read(fds[0], &byte, 1) == 1) ++reads;
  });
  const auto wroteAndRead = [&](int n) {
    const char byte = 1;
    if (write(fds[1], &byte, 1) != 1) return false;
    return loop.runUntil([&] { return reads == n; }, 10'000'000);
  };
  ASSERT_TRUE(wroteAndRead(1));
  zarn::test::AllocationCounter counter;
  for (int n = 2; n <= 5; ++n) ASSERT_TRUE(wroteAndRead(n));
  EXPECT_EQ(counter.count(), 0);
  loop.unwatch(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

TEST(RunLoopThreadTest, WakesForADescriptorAnotherThreadWrites) {
  platform::RunLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string got;
  loop.watch(fds[0], [&] {
    char c;
    if (read(fds[0], &c, 1) == 1) got += c;
  });
  std::thread writer([&] { EXPECT_EQ(write(fds[1], "x", 1), 1); });
  EXPECT_TRUE(loop.runUntil([&] { return got == "x"; }, 5000000));
  writer.join();
  loop.unwatch(fds[0]);
  close(fds[0]);
  close(fds[1]);
}
