// The host's render thread and its main thread meeting in the plug-in:
// control changes, automation echoes and MIDI while a real second thread
// renders.

#include "tests/host/ProbePlugIn.h"

#include "tools/host/RenderThread.h"

#include <gtest/gtest.h>

using hosttest::Probe;
using hosttest::ProbeControl;

TEST(HostRenderThreadTest, BundleFollowsMainThreadChangesWhileRendering) {
  simhost::SimHost host;
  ASSERT_EQ(host.load(hosttest::TestGainBundlePath()), 0);
  simhost::Instance* in = host.createInstance();
  simhost::RenderThread render(host, *in, 64, 1.0f);
  render.start();
  host.queueMidi(*in, 0, 0x90, 60, 100);
  ASSERT_TRUE(render.waitForBlocks(3));
  EXPECT_EQ(render.lastBlock(0)[63], 1.0f);
  // Gain 0.5, then bypass, set from the main thread while rendering.
  host.touchControl(*in, 2);
  host.setControl(*in, 2, -1073741824);
  host.releaseControl(*in, 2);
  ASSERT_TRUE(render.waitForBlocks(3));
  EXPECT_FLOAT_EQ(render.lastBlock(1)[10], 0.5f);
  host.queueMidi(*in, 0, 0x80, 60, 0);
  ASSERT_TRUE(render.waitForBlocks(3));
  EXPECT_EQ(render.lastBlock(0)[10], 0.0f);
  for (int i = 0; i < 50; ++i) {
    host.setControl(*in, 2, i * 1000);
    host.idle();
  }
  render.stop();
  EXPECT_GT(render.blocks(), 9);
}

TEST(HostRenderThreadTest, ValuesSentFromTheRenderThreadAreEchoedOnIdle) {
  hosttest::ProbeHost host;
  simhost::Instance* in = host->createInstance();
  hosttest::ProbeProcess* p = Probe(*in);
  simhost::RenderThread render(host.host(), *in, 32, 0.0f);
  render.start();
  const int32_t v = ProbeControl::ToControl(7, 10);
  p->fSendFromRender = v;
  ASSERT_TRUE(render.waitForBlocks(3));
  render.stop();
  // The value reached the host on the render thread; the echo waits for the
  // main thread.
  EXPECT_NE(host->controlValue(*in, 2), v);
  host->idle();
  EXPECT_EQ(host->controlValue(*in, 2), v);
  auto events = host->automation();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].value, v);
}
