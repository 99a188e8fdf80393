// The modulation matrix inside a plug-in: slot parameters reach the matrix
// through the parameter hand-off, the editor's view of validity matches the
// engine's, and rendering allocates nothing.

#include "synth/ModMatrixParamController.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "tests/support/AllocationCounter.h"
#include "tests/synth/ModulationMatrixTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using M = ModulationMatrix;
using modmatrixtest::MatrixProduct;

TEST(ModulationMatrixPluginTest, ConnectionsReachTheMatrixThroughTheParameterHandOff) {
  MatrixProduct product;
  product.voices[0]->eg1.a = 0.4f;
  M::Controller* controller = product.getModMatrixController();
  product.render(32);
  EXPECT_FLOAT_EQ(product.output[31], 10.0f);

  controller->makeConnection(0, M::cSourceEG1, M::cTargetFilter1Freq);
  // Nothing reaches the engine before the render thread takes it.
  EXPECT_EQ(product.matrix->getSlot(0).source, -1);
  product.render(64);
  EXPECT_EQ(product.matrix->getSlot(0).source, M::cSourceEG1);
  EXPECT_TRUE(product.matrix->isSlotValid(0));
  for (int i = 0; i < 64; ++i) ASSERT_FLOAT_EQ(product.output[i], 10.0f + 0.4f * 0.5f * 5.0f) << i;

  // A refused slot next to it changes nothing.
  controller->makeConnection(1, M::cSourceEG1, M::cTargetEG1Attack);
  controller->makeConnection(2, M::cSourceEG1, M::cTargetFilter1Freq);
  product.slots->at(2).bypassed.setValue(1.0f, 0);
  product.render(64);
  EXPECT_FALSE(controller->isSlotValid(1));
  EXPECT_FALSE(product.matrix->isSlotValid(1));
  EXPECT_FALSE(product.matrix->isSlotValid(2));
  EXPECT_FLOAT_EQ(product.output[63], 11.0f);

  // Inverting goes through too; clearing takes the slot out.
  product.slots->at(0).inverted.setValue(1.0f, 0);
  product.render(64);
  EXPECT_FLOAT_EQ(product.output[63], 9.0f);
  controller->clearSlot(0);
  product.render(64);
  EXPECT_FLOAT_EQ(product.output[63], 10.0f);
}

TEST(ModulationMatrixPluginTest, BindingWritesTheCurrentSlotsAtOnce) {
  MatrixProduct product;
  product.slots->bind(nullptr);
  product.getModMatrixController()->makeConnection(4, M::cSourceModWheel, M::cTargetStereo);
  product.slots->at(4).level.setValue(0.25f, 0);
  product.render(16);
  EXPECT_EQ(product.matrix->getSlot(4).target, -1);
  product.slots->bind(product.matrix.get());
  EXPECT_EQ(product.matrix->getSlot(4).source, M::cSourceModWheel);
  EXPECT_EQ(product.matrix->getSlot(4).target, M::cTargetStereo);
  // The level is taken without a glide.
  product.wheel->setValue(1.0f);
  product.getEnvironment()->beginBlock();
  const float* stereo = product.stereo->pull(16, 0)->data;
  product.getEnvironment()->endBlock(16);
  EXPECT_FLOAT_EQ(stereo[0], 1.25f);
}

TEST(ModulationMatrixPluginTest, TheEditorsVerdictMatchesTheEngines) {
  MatrixProduct product;
  M::Controller* controller = product.getModMatrixController();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> slotOf(0, M::cNumSlots - 1), sourceOf(-1, M::cNumSources - 1),
      targetOf(-1, M::cNumTargets - 1), coin(0, 9);
  int valid = 0, invalid = 0;
  for (int round = 0; round < 300; ++round) {
    const int s = slotOf(random);
    controller->makeConnection(s, sourceOf(random), targetOf(random));
    if (coin(random) == 0) product.slots->at(slotOf(random)).bypassed.setValue(1.0f, 0);
    if (coin(random) == 0) controller->moveSlot(slotOf(random), slotOf(random));
    product.render(8);
    for (int k = 0; k < M::cNumSlots; ++k) {
      const bool v = controller->isSlotValid(k);
      ASSERT_EQ(v, product.matrix->isSlotValid(k)) << "round " << round << " slot " << k;
      (v ? valid : invalid) += 1;
    }
  }
  // Both verdicts occurred often.
  EXPECT_GT(valid, 1000);
  EXPECT_GT(invalid, 1000);
}

TEST(ModulationMatrixPluginTest, RenderingAllocatesNothing) {
  MatrixProduct product;
  M::Controller* controller = product.getModMatrixController();
  product.render(256);
  long allocations = 0;
  for (int round = 0; round < 24; ++round) {
    // Main-thread edits, then the render thread applies and renders them.
    controller->makeConnection(round, round % 2 ? M::cSourceLFO1 : M::cSourceEG1, M::cTargetFilter1Freq);
    controller->makeConnection((round + 3) % 24, M::cSourceModWheel, M::cTargetSlotLevel + round);
    product.slots->at((round + 9) % 24).bypassed.setValue(round % 2 ? 1.0f : 0.0f, 0);
    zarn::test::AllocationCounter counter;
    product.render(MatrixProduct::cMaxFrames);
    allocations += counter.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(product.matrix->isSlotValid(23));
}

} // namespace
