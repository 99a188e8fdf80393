// A new sample rate set on the main thread while the render thread renders:
// the product prepares for it on the main thread, and the environment takes
// it at the start of the next process call, so that no slice ever sees the
// rate change under it or a rate the product has not prepared for.

#include "tests/plugin/GenericPluginTestDriver.h"

#include "tests/support/AllocationCounter.h"
#include "tests/support/Waiting.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

using namespace genericplugintest;

namespace {

constexpr float cRates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f};
constexpr int cRateCount = 4;

int rateIndex(float rate) {
  for (int i = 0; i < cRateCount; ++i)
    if (cRates[i] == rate) return i;
  return -1;
}

TestProduct::Options smallBlocks() {
  TestProduct::Options o;
  o.maxBlockSize = 16; // a 64-sample call renders four slices
  return o;
}

// Builds a table per rate on the main thread, as an oscillator builds its
// frequency table, and checks in every slice that the environment's rate is
// one it was prepared for and the same as in the call's first slice.
class RateProduct : public TestProduct {
public:
  RateProduct() : TestProduct(smallBlocks()) { prepareSampleRate(getEnvironment()->sampleRate); }

  void prepareSampleRate(float rate) override {
    ++prepareCalls;
    if (std::this_thread::get_id() != mainThread) ++preparedOffMain;
    const int i = rateIndex(rate);
    // Built once and never changed after: the render thread may be reading
    // the table of the rate it renders at.
    if (i >= 0 && tables[i].empty()) tables[i].assign(64, rate);
  }

  void processSlice(const float** outputs, int outputCount, int sampleCount) override {
    const float rate = getEnvironment()->sampleRate;
    if (newCall) {
      callRate = rate;
      newCall = false;
    } else if (rate != callRate) {
      ++changedWithinCall;
    }
    const int i = rateIndex(rate);
    if (i < 0 || tables[i].empty() || tables[i][0] != rate) ++unprepared;
    ++slices;
    TestProduct::processSlice(outputs, outputCount, sampleCount);
  }

  // Render thread: one host call.
  void renderCall(int frames) {
    newCall = true;
    render(frames);
  }

  std::thread::id mainThread = std::this_thread::get_id();
  int prepareCalls = 0;   // main thread
  int preparedOffMain = 0; // main thread
  std::vector<float> tables[cRateCount];
  // Render thread.
  bool newCall = false;
  float callRate = 0.0f;
  int changedWithinCall = 0;
  int unprepared = 0;
  int slices = 0;
};

TEST(SampleRateTest, ARateReachesTheEnvironmentAtTheStartOfTheNextCall) {
  RateProduct p;
  wave::Environment& env = *p.getEnvironment();
  ASSERT_EQ(env.sampleRate, 44100.0f);
  const int preparedBefore = p.prepareCalls;

  p.changeSampleRate(96000.0f);
  // Prepared at once, on this thread; the environment waits for rendering.
  EXPECT_EQ(p.prepareCalls, preparedBefore + 1);
  EXPECT_EQ(p.tables[3].size(), 64u);
  EXPECT_EQ(env.sampleRate, 44100.0f);

  p.renderCall(64);
  EXPECT_EQ(env.sampleRate, 96000.0f);
  EXPECT_EQ(p.slices, 4);
  EXPECT_EQ(p.callRate, 96000.0f); // the call's first slice saw it already
  EXPECT_EQ(p.changedWithinCall, 0);
  EXPECT_EQ(p.unprepared, 0);

  // Only the latest of several rates counts.
  p.changeSampleRate(22050.0f);
  p.changeSampleRate(48000.0f);
  p.renderCall(0); // a call without samples still takes it
  EXPECT_EQ(env.sampleRate, 48000.0f);

  // Rates that are no rates are neither prepared nor handed on.
  const int prepared = p.prepareCalls;
  p.changeSampleRate(0.0f);
  p.changeSampleRate(-44100.0f);
  p.changeSampleRate(std::numeric_limits<float>::quiet_NaN());
  p.changeSampleRate(std::numeric_limits<float>::infinity());
  p.renderCall(32);
  EXPECT_EQ(p.prepareCalls, prepared);
  EXPECT_EQ(env.sampleRate, 48000.0f);
}

TEST(SampleRateTest, TakingANewRateAllocatesNothingOnTheRenderThread) {
  RateProduct p;
  p.renderCall(64);
  p.changeSampleRate(48000.0f);
  long allocations;
  {
    zarn::test::AllocationCounter counter;
    p.renderCall(64);
    allocations = counter.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(p.getEnvironment()->sampleRate, 48000.0f);
}

TEST(SampleRateThreadTest, TheMainThreadChangesTheRateWhileTheRenderThreadRenders) {
  RateProduct p;
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::thread render([&] {
    while (!stop.load()) {
      p.renderCall(64);
      calls.fetch_add(1);
    }
  });

  for (int round = 0; round < 400; ++round) {
    p.changeSampleRate(cRates[(round * 3) % cRateCount]);
    // Let some calls run at this rate now and then.
    if (round % 8 == 0) {
      const int seen = calls.load();
      EXPECT_TRUE(zarn::test::eventually([&] { return calls.load() >= seen + 2; }));
    }
  }
  p.changeSampleRate(48000.0f);
  const int seen = calls.load();
  EXPECT_TRUE(zarn::test::eventually([&] { return calls.load() >= seen + 2; }));
  stop = true;
  render.join();

  EXPECT_GT(p.slices, 0);
  EXPECT_EQ(p.changedWithinCall, 0);
  EXPECT_EQ(p.unprepared, 0);
  EXPECT_EQ(p.preparedOffMain, 0);
  EXPECT_EQ(p.getEnvironment()->sampleRate, 48000.0f);
}

} // namespace
