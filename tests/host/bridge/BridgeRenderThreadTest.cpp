// The bridge with a real render thread: host automation, bypass switches,
// idle hand-overs and chunk saves on the main thread while the render
// thread renders and MIDI moves a learned parameter there.

#include "tests/host/bridge/BridgeTestSupport.h"
#include "tools/host/RenderThread.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace bridgetest;

namespace {

constexpr int32_t kOn = 2147483647;
constexpr int32_t kOff = -2147483647 - 1;

} // namespace

TEST(BridgeRenderThreadTest, MainThreadAndRenderThreadMeetOnlyThroughTheHandOvers) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  DigiRTASPluginAdapter* a = Adapter(*in);
  p->learnMidi(0);
  h->queueMidi(*in, 0, 0xB0, 7, 64); // learns controller 7 for Level
  h->queueMidi(*in, 1, 0x90, 60, 100);
  Render(h.host(), *in, 32);
  h->idle();
  const int resetsBefore = p->resets.load();

  simhost::RenderThread render(h.host(), *in, 64, 0.0f);
  render.start();
  for (int round = 0; round < 60; ++round) {
    // The render thread moves Level through the learned controller ...
    h->queueMidi(*in, round % 64, 0xB0, 7, static_cast<uint8_t>((round * 37) % 128));
    // ... while the host automates Mode and switches the bypass.
    ASSERT_EQ(h->setControl(*in, kMode, ListControl(round % 4, 4)), 0);
    if (round % 10 == 3) {
      ASSERT_EQ(h->setControl(*in, kBypass, kOn), 0);
    }
    if (round % 10 == 6) {
      ASSERT_EQ(h->setControl(*in, kBypass, kOff), 0);
    }
    ASSERT_TRUE(render.waitForBlocks(1));
    h->idle();
    if (round % 15 == 0) SaveState(h.host(), *in);
  }
  ASSERT_TRUE(render.waitForBlocks(2));
  render.stop();

  // Every reset ran on the render thread.
  EXPECT_GE(p->resets.load(), resetsBefore + 1);
  EXPECT_NE(p->resetThread.load(), std::hash<std::thread::id>()(std::this_thread::get_id()));
  // After a last hand-over the host's controls hold the plug-in's values.
  h->idle();
  EXPECT_FALSE(a->HasPendingControlChanges());
  EXPECT_EQ(h->controlValue(*in, kLevel), ContinuousControl(p->level.getValue(), 0, 1));
  EXPECT_EQ(p->level.getValue(), static_cast<float>((59 * 37) % 128) / 127.0f);
  EXPECT_EQ(p->mode.getValue(), 3.0f);
}
