#include "gui/Timer.h"
#include "tests/gui/GuiScene.h"

#include <gtest/gtest.h>

using zarn::test::GuiScene;

namespace {

struct Recorder : gui::UserInterface::Listener {
  Recorder(std::string name, std::vector<std::string>* log) : name(std::move(name)), log(log) {}
  void receiveEvent(int event, int value) override {
    log->push_back(name + " " + std::to_string(event) + ":" + std::to_string(value));
    if (onEvent) onEvent(event);
  }
  void showHint(const std::string& text) override { log->push_back(name + " hint " + text); }
  std::string name;
  std::vector<std::string>* log;
  std::function<void(int)> onEvent;
};

} // namespace

// Events sent reach the last registered listener first; posted ones wait for
// the next 50 ms drain (also those posted before anyone listened) and keep
// their order; hints go first-registered first, 1500 ms after the last one
// was set, are hidden at once by an empty one and not at all while hints are
// disabled.
TEST(UserInterfaceTest, DeliversEventsAndHintsInOrderAndOnTime) {
  GuiScene s;
  Recorder one("one", &s.log), two("two", &s.log);
  s.ui->postEvent(-1024, 1);
  s.ui->registerListener(&one);
  s.ui->registerListener(&two);
  s.ui->postEvent(-2, 7);
  s.ui->sendEvent(5, 6);
  EXPECT_EQ(s.log, (std::vector<std::string>{"two 5:6", "one 5:6"}));
  s.runMs(49);
  EXPECT_EQ(s.log.size(), 2u);
  s.runMs(1);
  EXPECT_EQ(s.log, (std::vector<std::string>{"two 5:6", "one 5:6", "two -1024:1", "one -1024:1", "two -2:7",
                                             "one -2:7"}));

  s.log.clear();
  s.ui->setCurrentHint("first");
  s.runMs(1000);
  s.ui->setCurrentHint("second");
  s.runMs(1499);
  EXPECT_TRUE(s.log.empty());
  s.runMs(1);
  EXPECT_EQ(s.log, (std::vector<std::string>{"one hint second", "two hint second"}));
  s.runMs(3000);
  EXPECT_EQ(s.log.size(), 2u); // shown once

  s.log.clear();
  s.ui->setCurrentHint("third");
  s.runMs(500);
  s.ui->setCurrentHint("");
  s.runMs(3000);
  EXPECT_EQ(s.log, (std::vector<std::string>{"one hint ", "two hint "}));

  s.log.clear();
  s.ui->hintsEnabled = false;
  s.ui->setCurrentHint("fourth");
  s.ui->setCurrentHint("");
  s.runMs(3000);
  EXPECT_TRUE(s.log.empty());

  s.ui->registerListener(&one);
  s.ui->unregisterListener(&one); // both entries go
  s.ui->sendEvent(1, 1);
  EXPECT_EQ(s.log, std::vector<std::string>{"two 1:1"});
}

// A listener that removes others while an event is delivered does not make
// the delivery run past the list; one that deletes the user interface during
// a drain ends it, and nothing of the deleted interface is touched.
TEST(UserInterfaceTest, SurvivesListenersThatRemoveOthersOrDeleteTheInterface) {
  GuiScene s;
  Recorder a("a", &s.log), b("b", &s.log), c("c", &s.log);
  for (Recorder* r : {&a, &b, &c}) s.ui->registerListener(r);
  c.onEvent = [&](int) {
    s.ui->unregisterListener(&b);
    s.ui->unregisterListener(&a);
  };
  s.ui->sendEvent(1, 0);
  EXPECT_EQ(s.log, std::vector<std::string>{"c 1:0"});

  s.log.clear();
  c.onEvent = [&](int event) {
    if (event == 2) {
      delete s.ui;
      s.ui = nullptr;
    }
  };
  for (int e = 1; e <= 3; ++e) s.ui->postEvent(e, 0);
  s.runMs(200);
  EXPECT_EQ(s.log, (std::vector<std::string>{"c 1:0", "c 2:0"}));
}

namespace {

// Deletes another component in its destructor, as some composite widgets do.
struct Owning : gui::Component {
  Owning(gui::UserInterface* ui, gui::Component* other) : gui::Component(ui), other(other) {}
  ~Owning() override { delete other; }
  gui::Component* other;
};

} // namespace

// Timers restart with a full interval after a change and stop at interval 0;
// a component deleting another during the interface's destruction causes no
// second deletion (ASan checks).
TEST(UserInterfaceTest, TimersRestartAndComponentsDieOnce) {
  GuiScene s;
  gui::Timer* t = s.ui->createTimer();
  std::vector<int64_t> ticks;
  struct Sink {
    std::vector<int64_t>* ticks;
    void tick(void*) { ticks->push_back(platform::microseconds() / 1000); }
  } sink{&ticks};
  t->onTimer = NotifyEvent::bind(&sink, &Sink::tick);
  t->interval = 100;
  t->enabled = true;
  s.runMs(250);
  t->interval = 0;
  s.runMs(300);
  t->interval = 100;
  s.runMs(150);
  EXPECT_EQ(ticks, (std::vector<int64_t>{100, 200, 650}));

  // The owned component comes later in the list: the owner deletes it
  // first, and the user interface must skip its entry.
  auto* owner = new Owning(s.ui, nullptr);
  owner->other = s.ui->createTimer();
}

// A drain delivers what was posted before it began: a listener (or another
// thread) that keeps posting cannot hold the GUI thread in the drain, and
// what it posts arrives at the following drains, in order.
TEST(UserInterfaceTest, ADrainDeliversOnlyWhatWasPostedBeforeIt) {
  GuiScene s;
  Recorder r("r", &s.log);
  s.ui->registerListener(&r);
  r.onEvent = [&](int event) {
    if (event < 1000) s.ui->postEvent(event + 1, 0);
  };
  s.ui->postEvent(1, 0);
  s.runMs(50);
  EXPECT_EQ(s.log, (std::vector<std::string>{"r 1:0"}));
  s.runMs(100);
  EXPECT_EQ(s.log, (std::vector<std::string>{"r 1:0", "r 2:0", "r 3:0"}));
  s.ui->unregisterListener(&r);
}
