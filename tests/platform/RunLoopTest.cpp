#include "platform/RunLoop.h"

#include "platform/Clock.h"

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
}

// On the real clock the loop sleeps until a watched descriptor has data.
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
