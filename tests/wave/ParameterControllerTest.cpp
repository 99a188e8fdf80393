#include "tests/support/AllocationCounter.h"
#include "tests/wave/CountingProducers.h"
#include "wave/Environment.h"
#include "wave/ParameterController.h"

#include <gtest/gtest.h>

using zarn::test::AllocationCounter;
using zarn::test::CountingSource;

namespace {

constexpr int cBlock = 16;

wave::Block* render(wave::Environment& env, wave::Producer& p, int n = cBlock) {
  return zarn::test::renderOne(env, p, n);
}

} // namespace

TEST(ParameterControllerTest, WithoutSourcesTheOutputIsTheSmoothedValue) {
  wave::Environment env(cBlock);
  env.setSampleRate(1000.0f);
  ParameterController controller(&env);
  controller.value.setLimits(-5.0f, 5.0f);
  render(env, controller);
  controller.value.setInterpolated(2.0f, 4.0f); // 4 samples at 1 kHz
  wave::Block* out = render(env, controller);
  float expected[] = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.0f};
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(out->data[i], expected[i]) << i;
  EXPECT_FALSE(controller.constantBlock);
  EXPECT_FLOAT_EQ(render(env, controller)->data[cBlock - 1], 2.0f);
  EXPECT_TRUE(controller.constantBlock);
}

TEST(ParameterControllerTest, SourcesAddInputPlusOffsetTimesDepth) {
  wave::Environment env(cBlock);
  CountingSource lfo(&env), env2(&env, 0.5f);
  lfo.values = {-1.0f, 0.0f, 1.0f, 0.5f};
  ParameterController controller(&env);
  controller.value.setLimits(-10.0f, 10.0f);
  controller.value.setInterpolated(1.0f, 0.0f);
  auto* a = controller.addModulationSource(&lfo, -2.0f, 2.0f, -1.0f, 1.0f);
  auto* b = controller.addModulationSource(&env2, 0.0f, 4.0f, 0.0f, 1.0f);
  EXPECT_EQ(controller.getModulationSource(&lfo), a);
  EXPECT_EQ(controller.getModulationSource(&env2), b);
  EXPECT_EQ(controller.getModulationSource(&controller), nullptr);

  // Depth 0 adds nothing.
  wave::Block* out = render(env, controller);
  for (int i = 0; i < cBlock; ++i) EXPECT_FLOAT_EQ(out->data[i], 1.0f);

  a->depth.setInterpolated(2.0f, 0.0f);
  out = render(env, controller);
  for (int i = 0; i < cBlock; ++i)
    EXPECT_FLOAT_EQ(out->data[i], 1.0f + lfo.values[static_cast<size_t>(i) % 4] * 2.0f) << i;

  a->offset.setInterpolated(0.5f, 0.0f);
  b->depth.setInterpolated(3.0f, 0.0f);
  b->offset.setInterpolated(0.25f, 0.0f);
  out = render(env, controller);
  for (int i = 0; i < cBlock; ++i)
    EXPECT_FLOAT_EQ(out->data[i], 1.0f + (lfo.values[static_cast<size_t>(i) % 4] + 0.5f) * 2.0f + 0.75f * 3.0f)
        << i;
}

TEST(ParameterControllerTest, TheSumIsClampedToTheValueLimits) {
  wave::Environment env(cBlock);
  CountingSource big(&env, 3.0f);
  ParameterController controller(&env);
  controller.value.setLimits(-1.0f, 2.0f);
  controller.value.setInterpolated(1.5f, 0.0f);
  auto* s = controller.addModulationSource(&big, -1.0f, 1.0f, 0.0f, 0.0f);
  s->depth.setInterpolated(1.0f, 0.0f);
  EXPECT_FLOAT_EQ(render(env, controller)->data[0], 2.0f);
  s->depth.setInterpolated(-1.0f, 0.0f);
  EXPECT_FLOAT_EQ(render(env, controller)->data[0], -1.0f);
  // Limits given at creation bound the depth itself.
  s->depth.setInterpolated(5.0f, 0.0f);
  EXPECT_EQ(s->depth.getTarget(), 1.0f);
}

TEST(ParameterControllerTest, AnInputAlreadyRenderedIsNotRenderedAgain) {
  wave::Environment env(cBlock);
  CountingSource lfo(&env, 1.0f);
  ParameterController controller(&env);
  controller.value.setLimits(-4.0f, 4.0f);
  controller.addModulationSource(&lfo, 0.0f, 1.0f, 0.0f, 1.0f)->depth.setInterpolated(1.0f, 0.0f);
  env.beginBlock();
  lfo.pull(cBlock, 0);
  EXPECT_FLOAT_EQ(controller.pull(cBlock, 0)->data[0], 1.0f);
  env.endBlock(cBlock);
  EXPECT_EQ(lfo.calls, 1);
}

TEST(ParameterControllerTest, AMuteCallAdvancesTheGlidesButPullsNothing) {
  wave::Environment env(cBlock);
  env.setSampleRate(1000.0f);
  CountingSource lfo(&env, 1.0f);
  ParameterController controller(&env);
  auto* s = controller.addModulationSource(&lfo, 0.0f, 1.0f, 0.0f, 1.0f);
  render(env, controller);
  s->depth.setInterpolated(1.0f, 8.0f);
  env.beginBlock();
  controller.produce(controller.ownBlock, cBlock, wave::cMuteCall);
  env.endBlock(cBlock);
  int calls = lfo.calls;
  // The 8-sample glide ran during the mute call: full depth at once.
  EXPECT_FLOAT_EQ(render(env, controller)->data[0], 1.0f);
  EXPECT_EQ(lfo.calls, calls + 1);
  EXPECT_EQ(calls, 1);
}

TEST(ParameterControllerTest, RenderingNeverAllocates) {
  wave::Environment env(cBlock);
  CountingSource lfo(&env, 0.5f);
  ParameterController controller(&env);
  auto* s = controller.addModulationSource(&lfo, 0.0f, 1.0f, 0.0f, 1.0f);
  render(env, controller);
  AllocationCounter counter;
  for (int k = 0; k < 10; ++k) {
    s->depth.setInterpolated(0.1f * static_cast<float>(k), 2.0f);
    s->offset.setInterpolated(0.05f * static_cast<float>(k), 2.0f);
    render(env, controller);
  }
  EXPECT_EQ(counter.count(), 0);
}
