// The host changes the sample rate on its main thread while its render
// thread renders: the plug-in's environment takes the rate at the start of
// a render call, never under one.

#include "tests/host/bridge/BridgeTestSupport.h"
#include "tools/host/RenderThread.h"

#include "wave/Environment.h"

#include <gtest/gtest.h>

using namespace bridgetest;

namespace {

TEST(BridgeSampleRateThreadTest, ARateSetWhileRenderingReachesThePluginAtTheNextCall) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  constexpr int32_t kRates[] = {44100, 48000, 88200, 96000};

  simhost::RenderThread render(h.host(), *in, 64, 0.0f);
  render.start();
  for (int round = 0; round < 40; ++round) {
    ASSERT_EQ(h->callWith(kProcess_SetSampleRate, in->process(), kRates[round % 4]), 0);
    ASSERT_TRUE(render.waitForBlocks(1));
  }
  ASSERT_EQ(h->callWith(kProcess_SetSampleRate, in->process(), 22050), 0);
  ASSERT_TRUE(render.waitForBlocks(2));
  render.stop();

  int32_t rate = 0;
  ASSERT_EQ(h->callWith(kProcess_GetSampleRate, in->process(), &rate), 0);
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(p->getEnvironment()->sampleRate, 22050.0f);
}

} // namespace
