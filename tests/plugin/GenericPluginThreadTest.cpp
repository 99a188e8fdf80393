// The main thread and the render thread meeting in one plug-in instance:
// parameter hand-off, batches, and the listener hand-over; and instances
// made and ended on two main threads at once (two hosts in one process)
// beside one that lives on.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/PresetManager.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadLook.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace genericplugintest;

namespace {

std::atomic<int> gLateCalls{0};

// A listener that knows whether it is still meant to be in use; a call that
// arrives after it was retired (and is about to be deleted) is counted.
class CheckedListener final : public GenericPlugin::Listener {
public:
  static constexpr uint32_t cInUse = 0x600DF00D;
  static constexpr uint32_t cRetired = 0xDEADBEEF;

  ~CheckedListener() { state.store(cRetired); }

  void postEvent(int code, int /*value*/) override {
    if (state.load() != cInUse) gLateCalls.fetch_add(1);
    const int n = calls.fetch_add(1);
    if (code == cMidiReceivedEvent) midiEvents.fetch_add(1);
    // Now and then a slow call, so that hand-overs meet calls in progress.
    if ((n & 31) == 0) {
      volatile int spin = 0;
      for (int i = 0; i < 20000; ++i) spin = spin + 1;
    }
    if (state.load() != cInUse) gLateCalls.fetch_add(1);
  }

  std::atomic<uint32_t> state{cInUse};
  std::atomic<int> calls{0};
  std::atomic<int> midiEvents{0};
};

// Blocks inside postEvent until released.
class BlockingListener : public GenericPlugin::Listener {
public:
  void postEvent(int, int) override {
    entered.store(true);
    release.wait(false);
  }
  void letGo() {
    release.store(true);
    release.notify_all();
  }
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
};

} // namespace

TEST(GenericPluginThreadTest, ChangesFromTheMainThreadAllReachTheRenderThread) {
  TestProduct plugin;
  RecordingAdapter adapter;
  plugin.registerPluginAdapter(&adapter);
  auto* listener = new CheckedListener();
  plugin.setListener(listener);
  gLateCalls.store(0);

  std::atomic<bool> done{false};
  std::atomic<int> renders{0};
  std::thread render([&] {
    std::minstd_rand random(7);
    auto once = [&] {
      plugin.send(0x90, static_cast<unsigned char>(random() % 128), 100, static_cast<int>(random() % 300));
      plugin.send(0x80, static_cast<unsigned char>(random() % 128), 0, static_cast<int>(random() % 300));
      plugin.render(256);
      renders.fetch_add(1);
    };
    while (!done.load(std::memory_order_acquire)) once();
    // Everything the main thread queued before it said done is applied by
    // this last buffer.
    once();
  });

  DriverParameter* parameters[4] = {&plugin.gain, &plugin.cutoff, &plugin.shape, &plugin.drive};
  std::minstd_rand random(11);
  int batches = 0;
  // The two threads meet for real only once the render thread is running.
  const bool rendering = zarn::test::eventually([&] { return renders.load() > 0; });
  EXPECT_TRUE(rendering) << "the render thread never rendered";
  for (int round = 0; round < 1200; ++round) {
    const bool batch = round % 3 == 0;
    const bool nested = round % 6 == 0;
    if (batch) plugin.beginParameterUpdate();
    for (int j = 0; j < 20; ++j) {
      if (nested && j == 5) plugin.beginParameterUpdate();
      if (nested && j == 15) plugin.endParameterUpdate();
      DriverParameter* p = parameters[random() % 4];
      const float value = p->getMin() + (p->getMax() - p->getMin()) * static_cast<float>(random() % 1000) / 999.0f;
      p->setValue(value, static_cast<int>(random() % 2));
    }
    if (batch) {
      plugin.endParameterUpdate();
      ++batches;
    }
    if (round % 60 == 59) {
      // Hand over to a new listener; the old one goes at once.
      auto* next = new CheckedListener();
      plugin.setListener(next);
      delete listener;
      listener = next;
    }
    if (round % 8 == 0) std::this_thread::yield();
  }
  done.store(true, std::memory_order_release);
  render.join();

  plugin.setListener(nullptr);
  EXPECT_EQ(listener->state.load(), CheckedListener::cInUse);
  delete listener;

  EXPECT_EQ(gLateCalls.load(), 0);
  EXPECT_EQ(plugin.getUpdateDepth(), 0);
  EXPECT_GT(renders.load(), 1);
  for (DriverParameter* p : parameters) {
    EXPECT_EQ(p->engineValue.load(), p->getValue()) << p->getName();
    EXPECT_GT(p->engineUpdates.load(), 0) << p->getName();
  }
  // Every batch had changes; each outermost end told the host once.
  EXPECT_EQ(adapter.allParameters.load(), batches);
  // Every message was decoded.
  EXPECT_EQ(plugin.receiver->total.load(), 2 * renders.load());
}

TEST(GenericPluginThreadTest, SetListenerWaitsForTheCallInProgress) {
  TestProduct plugin;
  BlockingListener blocking;
  plugin.setListener(&blocking);

  std::thread caller([&] { plugin.notifyGeneralChange(1); });
  EXPECT_TRUE(zarn::test::eventually([&] { return blocking.entered.load(); })) << "the call never reached the listener";

  std::atomic<bool> returned{false};
  std::atomic<pid_t> detacherId{0};
  std::thread detacher([&] {
    detacherId = ::gettid();
    plugin.setListener(nullptr);
    returned.store(true);
  });
  // Seen pausing in its wait (however long a busy machine takes it to get
  // there), it has not returned.
  EXPECT_TRUE(zarn::test::eventually([&] {
    const auto look = detacherId.load() ? zarn::test::lookAt(::getpid(), detacherId.load()) : std::nullopt;
    return returned.load() || (look && zarn::test::inPause(*look));
  }));
  EXPECT_FALSE(returned.load());
  blocking.letGo();
  detacher.join();
  caller.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(plugin.getListener(), nullptr);

  // With no call in progress the hand-over does not wait for one.
  RecordingListener recording;
  plugin.setListener(&recording);
  plugin.setListener(nullptr);
  plugin.notifyGeneralChange(2);
  EXPECT_EQ(recording.calls(), 0);
}

// Two hosts in one process: while one instance lives on (a render thread
// plays it, with program changes that read the shared library, and its
// main thread rescans that library), two other main threads each make and
// end 300 instances, each rendering a little. Every instance finds the
// objects the living one shares, none is made again or released, and the
// count comes back to the one instance: a count lost between two threads
// would release the library and the controller map under the instance
// that still uses them.
TEST(GenericPluginThreadTest, InstancesMadeAndEndedOnTwoThreadsLeaveTheSharedObjectsToTheOneThatLives) {
  constexpr int cInstancesPerThread = 300;
  zarn::test::TempDir dir("zarn-instances");
  const std::string root = dir.path() + "/";
  for (int i = 0; i < 8; ++i)
    dir.write("P" + std::to_string(i) + ".qvp",
              presettest::presetBytes("QTst", 1, {0.5f, 200.0f + static_cast<float>(i), 0.0f, 0.25f}));

  auto living = std::make_unique<TestProduct>();
  GenericPlugin::sPresetManager->initialize(root);
  GenericPlugin::Settings* const settings = GenericPlugin::sSettings;
  PresetManager* const library = GenericPlugin::sPresetManager;
  ControllerMapping* const mapping = GenericPlugin::sControllerMapping;
  gCounts = LifeCycleCounts();

  std::atomic<bool> done{false};
  std::atomic<int> renders{0};
  std::thread render([&] {
    for (int k = 0; !done.load(); ++k) {
      living->send(0xC0, static_cast<unsigned char>(k % 8), 0, 0);
      living->send(0x90, 60, 100, 0);
      living->render(64);
      renders.fetch_add(1);
    }
  });
  // The makers start once the living instance plays, so that they meet it.
  if (!zarn::test::eventually([&] { return renders.load() > 0; })) {
    done.store(true);
    render.join();
    FAIL() << "the render thread never rendered";
  }
  std::atomic<int> strangers{0};
  std::atomic<int> makersDone{0};
  auto makeAndEnd = [&] {
    for (int i = 0; i < cInstancesPerThread; ++i) {
      TestProduct passing;
      if (GenericPlugin::sSettings != settings || GenericPlugin::sPresetManager != library ||
          GenericPlugin::sControllerMapping != mapping)
        strangers.fetch_add(1);
      passing.send(0x90, 64, 100, 0);
      passing.render(32);
    }
    makersDone.fetch_add(1);
  };
  std::thread first(makeAndEnd);
  std::thread second(makeAndEnd);
  int rescans = 0;
  while (makersDone.load() < 2 || rescans == 0) {
    library->initialize(root);
    ++rescans;
  }
  first.join();
  second.join();
  done.store(true);
  render.join();

  EXPECT_EQ(strangers.load(), 0);
  EXPECT_EQ(GenericPlugin::instanceCount(), 1);
  EXPECT_EQ(gCounts.creates, 0);
  EXPECT_EQ(gCounts.releases, 0);
  EXPECT_EQ(GenericPlugin::sPresetManager, library);
  EXPECT_GT(renders.load(), 0);
  EXPECT_GT(rescans, 0);
  // The instance that lived on still plays from the library, and is the
  // last one out.
  living->send(0xC0, 3, 0, 0);
  living->render(64);
  living->render(64); // a change that met the last rescan comes through now
  EXPECT_EQ(living->cutoff.getValue(), 203.0f);
  library->initialize("");
  living.reset();
  EXPECT_EQ(GenericPlugin::instanceCount(), 0);
  EXPECT_EQ(gCounts.releases, 1);
  EXPECT_EQ(GenericPlugin::sPresetManager, nullptr);
}
