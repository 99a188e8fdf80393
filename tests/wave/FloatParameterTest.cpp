#include "tests/support/AllocationCounter.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/Producer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace wave;

namespace {

// Renders one block of a parameter as the graph would.
struct Clock {
  explicit Clock(Environment& env) : env(env) {}
  // Reads n values of p inside one block and ends the block.
  std::vector<float> render(FloatParameter& p, int n, bool* constant = nullptr) {
    env.beginBlock();
    bool c = false;
    Block* b = p.getInterpolatedBlock(n, 0, c);
    env.endBlock(n);
    if (constant) *constant = c;
    return std::vector<float>(b->data, b->data + n);
  }
  // The sample index at which p first reads as its target, rendering in
  // blocks of n.
  int samplesUntilSettled(FloatParameter& p, int n, int limit = 100000) {
    for (int t = 0; t < limit; t += n) {
      std::vector<float> v = render(p, n);
      for (int i = 0; i < n; ++i)
        if (v[i] == p.getTarget()) return t + i;
    }
    return -1;
  }
  Environment& env;
};

} // namespace

TEST(FloatParameterTest, LimitsIncludeTheInitialValueAndTheUnitRange) {
  Environment env(64);
  FloatParameter five(&env, 5.0f), negative(&env, -2.0f), half(&env, 0.5f);
  EXPECT_EQ(five.getMinValue(), 0.0f);
  EXPECT_EQ(five.getMaxValue(), 5.0f);
  EXPECT_EQ(five.getRange(), 5.0f);
  EXPECT_EQ(negative.getMinValue(), -2.0f);
  EXPECT_EQ(negative.getMaxValue(), 1.0f);
  EXPECT_EQ(negative.getRange(), 3.0f);
  EXPECT_EQ(half.getMinValue(), 0.0f);
  EXPECT_EQ(half.getMaxValue(), 1.0f);
  EXPECT_EQ(half.getTarget(), 0.5f);
  EXPECT_EQ(half.getShortTime(), 20.0f);
  EXPECT_EQ(half.getLongTime(), 150.0f);
}

TEST(FloatParameterTest, ValuesAreClampedIntoTheLimits) {
  Environment env(64);
  FloatParameter p(&env, 0.0f);
  p.setInterpolated(3.0f, 0.0f);
  EXPECT_EQ(p.getTarget(), 1.0f);
  p.setInterpolated(-3.0f, 0.0f);
  EXPECT_EQ(p.getTarget(), 0.0f);
  p.setInterpolated(NAN, 0.0f); // refused, not stored
  EXPECT_EQ(p.getTarget(), 0.0f);
  p.setLimits(-10.0f, 10.0f);
  EXPECT_EQ(p.getRange(), 20.0f);
  p.setInterpolated(8.0f, 0.0f);
  p.setLimits(0.0f, 2.0f, 4.0f);
  EXPECT_EQ(p.getRange(), 4.0f);
  EXPECT_EQ(p.getTarget(), 2.0f);
  p.setLimits(5.0f, 6.0f);
  EXPECT_EQ(p.getTarget(), 5.0f);
}

TEST(FloatParameterTest, AutomaticGlideLengthsAt44100) {
  // One environment each, so that measuring one glide does not advance
  // the other.
  Environment env(64), env2(64);
  Clock clock(env), clock2(env2);
  FloatParameter big(&env, 0.0f), jump(&env, 0.0f), small(&env2, 0.0f);
  clock.render(big, 64); // settle the construction values
  clock2.render(small, 64);

  big.setInterpolated(1.0f, -1.0f);
  EXPECT_EQ(big.getGlideLength(), 882); // 20 ms
  small.setInterpolated(0.1f, -1.0f);
  EXPECT_EQ(small.getGlideLength(), 3430); // 77.78 ms
  jump.setInterpolated(0.7f, 0.0f);
  EXPECT_EQ(jump.getGlideLength(), 0);

  // The length is what the rendered values show: sample 881 is still below
  // the target, sample 882 reaches it.
  EXPECT_EQ(clock.samplesUntilSettled(big, 64), 882);
  EXPECT_EQ(clock2.samplesUntilSettled(small, 64), 3430);
  bool constant = false;
  std::vector<float> v = clock.render(jump, 64, &constant);
  EXPECT_TRUE(constant);
  EXPECT_EQ(v[0], 0.7f);
}

TEST(FloatParameterTest, GlideTimeFollowsTheSizeOfTheChange) {
  Environment env(64);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(0.3f, -1.0f); // 30% of the range: the short time
  EXPECT_EQ(p.getGlideLength(), 882);
  p.initialize();
  p.setLimits(0.0f, 10.0f, 1.0f); // changes judged against a range of 1
  p.setInterpolated(5.0f, -1.0f);
  EXPECT_EQ(p.getGlideLength(), 882);
  p.initialize();
  // Small changes take up to the long time.
  p.setInterpolated(5.001f, -1.0f);
  EXPECT_GT(p.getGlideLength(), 6500);
  EXPECT_LE(p.getGlideLength(), 6615);
  p.setGlideTimes(10.0f, 10.0f); // equal times: always the short one
  p.setInterpolated(5.0f, -1.0f);
  EXPECT_EQ(p.getGlideLength(), 441);
  p.setInterpolated(6.0f, 50.0f); // an explicit time
  EXPECT_EQ(p.getGlideLength(), 2205);
  env.setSampleRate(96000.0f);
  p.setInterpolated(7.0f, 50.0f);
  EXPECT_EQ(p.getGlideLength(), 4800);
}

TEST(FloatParameterTest, ChangesWithinEpsilonAreNoChanges) {
  Environment env(32);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 32);
  p.setInterpolated(1.0f, -1.0f);
  std::vector<float> first = clock.render(p, 32);
  float stepSize = first[1] - first[0];
  p.setInterpolated(1.0f - 1e-7f, -1.0f); // ignored: the glide goes on
  EXPECT_EQ(p.getGlideLength(), 882);
  std::vector<float> next = clock.render(p, 32);
  EXPECT_NEAR(next[0], 32 * stepSize, 1e-6f);
  EXPECT_EQ(p.getTarget(), 1.0f);
  p.setInterpolated(1.0f - 1e-6f, -1.0f); // beyond epsilon: a new glide
  EXPECT_NE(p.getTarget(), 1.0f);
}

TEST(FloatParameterTest, ABlockInsideAGlideContinuesTheRampThenHoldsTheTarget) {
  Environment env(64);
  env.setSampleRate(1000.0f); // 1 ms per sample
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 100.0f);
  ASSERT_EQ(p.getGlideLength(), 100);
  bool constant = true;
  std::vector<float> a = clock.render(p, 50, &constant);
  EXPECT_FALSE(constant);
  EXPECT_EQ(a[0], 0.0f);
  EXPECT_NEAR(a[49], 0.49f, 1e-6f);
  std::vector<float> b = clock.render(p, 64, &constant);
  EXPECT_FALSE(constant);
  for (int i = 0; i < 50; ++i) EXPECT_NEAR(b[i], (50 + i) * 0.01f, 1e-5f) << i;
  for (int i = 50; i < 64; ++i) EXPECT_EQ(b[i], 1.0f) << i;
  clock.render(p, 64, &constant);
  EXPECT_TRUE(constant);
}

TEST(FloatParameterTest, ASettledValueIsWrittenOnlyWhereTheBlockGrows) {
  Environment env(64);
  Clock clock(env);
  FloatParameter p(&env, 0.25f);
  env.beginBlock();
  bool constant = false;
  Block* b = p.getInterpolatedBlock(32, 0, constant);
  env.endBlock(32);
  EXPECT_TRUE(constant);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(b->data[i], 0.25f);
  EXPECT_EQ(b->data[32], 0.0f);
  // Marks where the parameter must not write again.
  b->data[5] = -1.0f;
  env.beginBlock();
  p.getInterpolatedBlock(64, 0, constant);
  env.endBlock(64);
  EXPECT_EQ(b->data[5], -1.0f);
  for (int i = 32; i < 64; ++i) ASSERT_EQ(b->data[i], 0.25f);
  b->data[40] = -1.0f;
  clock.render(p, 64);
  EXPECT_EQ(b->data[40], -1.0f);
  // A change makes it write everything again.
  p.setInterpolated(0.5f, 0.0f);
  clock.render(p, 64);
  EXPECT_EQ(b->data[5], 0.5f);
  EXPECT_EQ(b->data[40], 0.5f);
}

TEST(FloatParameterTest, AMuteCallAdvancesTheGlideWithoutWriting) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 100.0f);
  env.beginBlock();
  bool constant = false;
  Block* b = p.getInterpolatedBlock(40, cMuteCall, constant);
  env.endBlock(40);
  EXPECT_TRUE(constant);
  EXPECT_EQ(b->data[0], 0.0f); // still what the construction wrote
  std::vector<float> v = clock.render(p, 10);
  EXPECT_NEAR(v[0], 0.4f, 1e-6f);
}

TEST(FloatParameterTest, AGlideAdvancesWithTheClockEvenWhenNobodyReads) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  FloatParameter p(&env, 0.0f);
  Clock clock(env);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 100.0f);
  for (int i = 0; i < 3; ++i) {
    env.beginBlock();
    env.endBlock(20);
  }
  std::vector<float> v = clock.render(p, 4);
  EXPECT_NEAR(v[0], 0.6f, 1e-6f);
}

TEST(FloatParameterTest, AChangeInsideABlockStartsFromTheValueAtTheBlocksStart) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 100.0f);
  clock.render(p, 32); // 0 .. 0.31
  env.beginBlock();
  bool constant = false;
  p.getInterpolatedBlock(32, 0, constant); // 0.32 .. 0.63
  p.setInterpolated(0.0f, 100.0f);         // while this block renders
  env.endBlock(32);
  std::vector<float> v = clock.render(p, 4);
  // The new glide started at 0.32 (the block's start) 32 samples ago.
  EXPECT_NEAR(v[0], 0.32f - 32 * 0.0032f, 1e-5f);
}

TEST(FloatParameterTest, AChangeInsideABlockWhereTheOldGlideEndedStartsFromTheValueThen) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 40.0f);
  clock.render(p, 32);
  // The glide ends 8 samples into this block; a change made while it
  // renders starts from the value at the block's start (0.8), not from
  // somewhere earlier in the old ramp.
  env.beginBlock();
  bool constant = false;
  p.getInterpolatedBlock(32, 0, constant);
  p.setInterpolated(0.0f, 0.0f);
  env.endBlock(32);
  env.beginBlock();
  p.setInterpolated(0.5f, 100.0f); // from the settled 0
  Block* b = p.getInterpolatedBlock(4, 0, constant);
  env.endBlock(4);
  EXPECT_EQ(b->data[0], 0.0f);

  // Settled long before the block: a change inside it starts at the target.
  clock.render(p, 64);
  clock.render(p, 64);
  env.beginBlock();
  p.getInterpolatedBlock(64, 0, constant);
  EXPECT_TRUE(constant);
  p.setInterpolated(0.0f, 100.0f);
  env.endBlock(64);
  std::vector<float> v = clock.render(p, 2);
  EXPECT_NEAR(v[0], 0.5f - 64 * 0.005f, 1e-5f);
}

TEST(FloatParameterTest, AResetSettlesEveryGlideAtItsTarget) {
  Environment env(64);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, -1.0f);
  clock.render(p, 64);
  env.reset();
  bool constant = false;
  std::vector<float> v = clock.render(p, 64, &constant);
  EXPECT_TRUE(constant);
  EXPECT_EQ(v[0], 1.0f);
  // initialize() ends a glide at once too.
  p.setInterpolated(0.0f, -1.0f);
  p.initialize();
  v = clock.render(p, 64, &constant);
  EXPECT_TRUE(constant);
  EXPECT_EQ(v[63], 0.0f);
}

TEST(FloatParameterTest, GlidesSurviveTheSampleClockWrappingAround) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  Clock clock(env);
  env.sampleTime = 0xFFFFFFFFu - 100u;
  env.reset();
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 100.0f);
  clock.render(p, 64); // crosses 2^32
  std::vector<float> v = clock.render(p, 8);
  EXPECT_NEAR(v[0], 0.64f, 1e-5f);
}

TEST(FloatParameterTest, ALongSettledValueStaysSettled) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  Clock clock(env);
  FloatParameter p(&env, 0.0f);
  clock.render(p, 64);
  p.setInterpolated(1.0f, 100.0f);
  clock.render(p, 64);
  // Rendered for hours, beyond what a 32-bit sample position can count.
  for (int i = 0; i < 40; ++i) {
    env.sampleTime += 0x10000000u;
    bool constant = false;
    std::vector<float> v = clock.render(p, 64, &constant);
    ASSERT_TRUE(constant) << i;
    ASSERT_EQ(v[0], 1.0f) << i;
  }
}

// A settled value read block after block (the graph's everyday case, with
// reads, mute calls and blocks of changing size) stays a constant block of
// its target, and a change inside a block still starts from the block's
// start, as with any other history.
TEST(FloatParameterTest, ASettledValueReadBlockAfterBlockGlidesOnAChange) {
  Environment env(64);
  env.setSampleRate(1000.0f);
  Clock clock(env);
  FloatParameter p(&env, 0.25f);
  for (int k = 0; k < 3000; ++k) {
    const int n = 1 + (k * 7) % 64;
    bool constant = false;
    env.beginBlock();
    Block* b = p.getInterpolatedBlock(n, k % 5 == 4 ? cMuteCall : 0, constant);
    env.endBlock(n);
    ASSERT_TRUE(constant) << k;
    if (k % 5 == 4) continue;
    for (int i = 0; i < n; ++i) ASSERT_EQ(b->data[i], 0.25f) << k << " " << i;
  }
  env.beginBlock();
  bool constant = false;
  p.getInterpolatedBlock(32, 0, constant);
  p.setInterpolated(0.75f, 100.0f); // 100 samples, from this block's start
  env.endBlock(32);
  std::vector<float> v = clock.render(p, 64, &constant);
  EXPECT_FALSE(constant);
  for (int i = 0; i < 64; ++i) ASSERT_NEAR(v[i], 0.25f + 0.5f * static_cast<float>(32 + i) / 100.0f, 1e-6f) << i;
  v = clock.render(p, 64, &constant);
  EXPECT_FALSE(constant);
  EXPECT_NEAR(v[3], 0.25f + 0.5f * 99.0f / 100.0f, 1e-6f);
  EXPECT_EQ(v[4], 0.75f);
  v = clock.render(p, 64, &constant);
  EXPECT_TRUE(constant);
  EXPECT_EQ(v[63], 0.75f);
}

TEST(FloatParameterTest, CopiesAndAssignments) {
  Environment env(64);
  Clock clock(env);
  FloatParameter a(&env, 0.0f);
  a.setLimits(-4.0f, 4.0f);
  a.setGlideTimes(5.0f, 50.0f);
  clock.render(a, 64);
  a.setInterpolated(3.0f, -1.0f);
  FloatParameter copy(a);
  EXPECT_EQ(copy.getTarget(), 3.0f);
  EXPECT_EQ(copy.getMinValue(), -4.0f);
  EXPECT_EQ(copy.getShortTime(), 5.0f);
  EXPECT_EQ(copy.getGlideLength(), 0);
  bool constant = false;
  std::vector<float> v = clock.render(copy, 8, &constant);
  EXPECT_TRUE(constant); // no glide running in the copy
  EXPECT_EQ(v[0], 3.0f);

  FloatParameter b(&env, 0.0f);
  b.setLimits(-4.0f, 4.0f);
  clock.render(b, 64);
  b = a; // glides to a's target
  EXPECT_EQ(b.getTarget(), 3.0f);
  EXPECT_GT(b.getGlideLength(), 0);
  EXPECT_EQ((b = 2.0f), 2.0f);
  EXPECT_EQ(b.getTarget(), 2.0f);
}

TEST(FloatParameterTest, SourceAndForwarderHandOutTheParametersBlock) {
  Environment env(32);
  FloatParameterSource src(&env, 0.0f);
  FloatParameter owned(&env, 0.5f);
  FloatParameterForwarder fwd(&env, &owned);
  FloatParameterForwarder empty(&env);
  EXPECT_EQ(src.ownBlock, nullptr);
  env.beginBlock();
  bool dummy;
  EXPECT_EQ(src.pull(32), src.parameter.getInterpolatedBlock(32, 0, dummy));
  EXPECT_TRUE(src.constantBlock);
  EXPECT_EQ(fwd.pull(32)->data[0], 0.5f);
  EXPECT_EQ(empty.pull(32), env.silentBlock);
  env.endBlock(32);
  src.parameter.setInterpolated(1.0f, -1.0f);
  env.beginBlock();
  src.pull(32);
  EXPECT_FALSE(src.constantBlock);
  EXPECT_EQ(src.stamp, env.stamp);
}

TEST(FloatParameterTest, BusCarriesItsOwnValueOrTheController) {
  Environment env(32);
  FloatParameterBus bus(&env, 0.25f);
  FloatParameterSource lfo(&env, 0.75f);
  EXPECT_EQ(bus.output, &bus.source);
  bus.setController(&lfo);
  env.beginBlock();
  EXPECT_EQ(bus.output->pull(32)->data[0], 0.75f);
  env.endBlock(32);
  bus.getParameter().setInterpolated(1.0f, 1.0f); // keeps gliding meanwhile
  for (int i = 0; i < 4; ++i) {
    env.beginBlock();
    bus.output->pull(32);
    env.endBlock(32);
  }
  bus.setController(nullptr);
  EXPECT_EQ(bus.output, &bus.source);
  env.beginBlock();
  EXPECT_EQ(bus.output->pull(32)->data[0], 1.0f);
  env.endBlock(32);

  FloatParameterBus copy(bus);
  EXPECT_EQ(copy.output, &copy.source);
  bus.setController(&lfo);
  FloatParameterBus controlled(bus);
  EXPECT_EQ(controlled.output, &lfo);
  copy = controlled;
  EXPECT_EQ(copy.output, &lfo);
}

TEST(FloatParameterTest, ReadingAndChangingAllocateNothing) {
  Environment env(64);
  FloatParameterBus bus(&env, 0.0f);
  FloatParameter p(&env, 0.0f);
  zarn::test::AllocationCounter counter;
  for (int i = 0; i < 50; ++i) {
    env.beginBlock();
    bus.getParameter() = static_cast<float>(i % 7) / 7.0f;
    p.setInterpolated(static_cast<float>(i % 3) / 3.0f, -1.0f);
    bus.output->pull(64);
    bool constant;
    p.getInterpolatedBlock(64, i % 5 == 0 ? cMuteCall : 0, constant);
    env.endBlock(64);
  }
  env.reset();
  EXPECT_EQ(counter.count(), 0);
}
