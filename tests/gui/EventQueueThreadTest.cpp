#include "tests/gui/GuiScene.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Collector : gui::UserInterface::Listener {
  std::vector<std::pair<int, int>> got;
  void receiveEvent(int event, int value) override { got.emplace_back(event, value); }
};

} // namespace

// Two threads post while the GUI thread drains every 50 ms: every event
// arrives, on the GUI thread, and each thread's events in its posting order.
TEST(EventQueueThreadTest, EventsPostedFromOtherThreadsArriveInOrder) {
  zarn::test::GuiScene s;
  Collector c;
  s.ui->registerListener(&c);
  constexpr int cPerThread = 3000;
  std::atomic<int> done{0};
  auto poster = [&](int id) {
    for (int i = 0; i < cPerThread; ++i) s.ui->postEvent(id, i);
    done.fetch_add(1);
  };
  std::thread t1(poster, 1), t2(poster, 2);
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((done.load() < 2 || c.got.size() < 2u * cPerThread) && std::chrono::steady_clock::now() < giveUp)
    s.runMs(50);
  t1.join();
  t2.join();
  s.runMs(50);
  ASSERT_EQ(c.got.size(), 2u * cPerThread);
  int next[3] = {0, 0, 0};
  for (auto [id, value] : c.got) EXPECT_EQ(value, next[id]++);
}
