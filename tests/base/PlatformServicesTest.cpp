#include "base/PlatformServices.h"
#include "base/PosixCriticalSection.h"
#include "platform/Clock.h"
#include "tests/support/ThreadLook.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Whether another thread gets the lock without waiting, leaving it again at
// once when it does.
bool otherThreadCanEnter(PosixCriticalSection& section) {
  bool entered = false;
  std::thread other([&] {
    entered = section.tryEnter();
    if (entered) section.leave();
  });
  other.join();
  return entered;
}

class Counter : public LockedObject {
public:
  void add() {
    lock();
    lock(); // re-entry must not deadlock
    ++value;
    unlock();
    unlock();
  }
  long value = 0;
};

} // namespace

TEST(CriticalSectionThreadTest, OwnerLeavesAsOftenAsItEntered) {
  PosixCriticalSection section;
  EXPECT_TRUE(otherThreadCanEnter(section));

  section.enter();
  section.enter();
  EXPECT_TRUE(section.tryEnter()); // the owner enters a third time at once
  section.leave();
  EXPECT_FALSE(otherThreadCanEnter(section));
  section.leave();
  EXPECT_FALSE(otherThreadCanEnter(section)) << "one level is still held";
  section.leave();
  EXPECT_TRUE(otherThreadCanEnter(section));
}

TEST(CriticalSectionThreadTest, WaitingThreadEntersOnlyAfterTheLastLeave) {
  std::unique_ptr<CriticalSection> section(createCriticalSection());
  std::atomic<int> stage{0};
  std::atomic<pid_t> otherId{0};
  section->enter();
  section->enter();
  std::thread other([&] {
    otherId = ::gettid();
    stage = 1;
    section->enter();
    stage = 2;
    section->leave();
  });
  while (stage.load() == 0) std::this_thread::yield();
  section->leave();
  // The waiting thread is seen asleep on the lock (however long a busy
  // machine takes it to get there): it must still wait.
  EXPECT_TRUE(zarn::test::eventually([&] {
    const auto look = zarn::test::lookAt(::getpid(), otherId.load());
    return stage.load() != 1 || (look && look->call == SYS_futex);
  }));
  EXPECT_EQ(1, stage.load());
  section->leave();
  other.join();
  EXPECT_EQ(2, stage.load());
}

TEST(CriticalSectionThreadTest, LockedObjectSerialisesNestedUpdates) {
  Counter counter;
  std::vector<std::thread> threads;
  const int perThread = 20000;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int k = 0; k < perThread; ++k) counter.add();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(4L * perThread, counter.value);
}

class IntervalTimerTest : public ::testing::Test {
protected:
  void SetUp() override { platform::useVirtualClock(true); }
  void TearDown() override { platform::useVirtualClock(false); }
};

TEST_F(IntervalTimerTest, CountsWholeMillisecondsSinceStartOrReset) {
  std::unique_ptr<IntervalTimer> timer(createIntervalTimer());
  EXPECT_EQ(0, timer->getElapsed());
  platform::advanceVirtualClock(999);
  EXPECT_EQ(0, timer->getElapsed());
  platform::advanceVirtualClock(1);
  EXPECT_EQ(1, timer->getElapsed());
  platform::advanceVirtualClock(5000000000LL); // beyond 32 bits of milliseconds * 1000
  EXPECT_EQ(5000001, timer->getElapsed());

  timer->reset();
  EXPECT_EQ(0, timer->getElapsed());
  platform::advanceVirtualClock(1999);
  EXPECT_EQ(1, timer->getElapsed());
  platform::advanceVirtualClock(1);
  EXPECT_EQ(2, timer->getElapsed());
}

TEST(IntervalTimerRealClockTest, FollowsTheMonotonicClock) {
  std::unique_ptr<IntervalTimer> timer(createIntervalTimer());
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(timer->getElapsed(), 5);
  timer->reset();
  EXPECT_LT(timer->getElapsed(), 5000);
}
