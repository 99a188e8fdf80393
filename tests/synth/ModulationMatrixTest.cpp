// Evaluation of the modulation matrix in voices and globally, and the
// modulated inputs that add its sums to units' values.

#include "synth/ModulationMatrix.h"
#include "synth/ModulationMatrixInput.h"
#include "tests/support/AllocationCounter.h"
#include "tests/synth/ModulationMatrixTestSupport.h"
#include "wave/EnvelopeGenerator.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/ModulationGenerator.h"
#include "wave/StereoSpread.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using M = ModulationMatrix;
using modmatrixtest::LineSource;

constexpr int cBlock = 64;

class ModulationMatrixTest : public ::testing::Test {
protected:
  ModulationMatrixTest()
      : env(cBlock), matrix(&env), lfo(&env, 0.0f, 1.0f / 64.0f), wheel(&env, 0.0f), voiceA(&matrix),
        voiceB(&matrix), egA(&env, 0.5f, 0.0f, true), egB(&env, 0.25f, 0.0f, true), velocityA(&env, 1.0f),
        velocityB(&env, 0.5f) {
    env.setSampleRate(1000.0f);
    matrix.setGlobalSource(M::cSourceLFO1, &lfo);
    matrix.setGlobalSource(M::cSourceModWheel, &wheel);
    voiceA.setSource(M::cSourceEG1, &egA);
    voiceB.setSource(M::cSourceEG1, &egB);
    voiceA.setSource(M::cSourceVelocity, &velocityA);
    voiceB.setSource(M::cSourceVelocity, &velocityB);
  }

  void connect(int slot, int source, int target, float level, bool inverted = false) {
    matrix.setSlotSource(slot, source);
    matrix.setSlotTarget(slot, target);
    matrix.setSlotLevel(slot, level, false);
    matrix.setSlotInverted(slot, inverted);
  }

  // Renders one block and returns the sum of target in scope.
  const float* sum(M::Scope& scope, int target) {
    env.beginBlock();
    const float* data = scope.getTargetSum(target)->pull(cBlock, 0)->data;
    env.endBlock(cBlock);
    return data;
  }

  static float ramp(int i) { return static_cast<float>(i) / 64.0f; }

  wave::Environment env;
  M matrix;
  LineSource lfo;
  M::ValueSource wheel;
  M::Voice voiceA, voiceB;
  LineSource egA, egB;
  M::ValueSource velocityA, velocityB;
};

TEST_F(ModulationMatrixTest, APerVoiceSlotScalesEachVoicesOwnSource) {
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 1.0f);
  const float* a = sum(voiceA, M::cTargetFilter1Freq);
  EXPECT_TRUE(voiceA.getTargetSum(M::cTargetFilter1Freq)->constantBlock);
  for (int i = 0; i < cBlock; ++i) ASSERT_FLOAT_EQ(a[i], 0.5f * 5.0f) << i; // 5 octaves full scale
  const float* b = sum(voiceB, M::cTargetFilter1Freq);
  EXPECT_FLOAT_EQ(b[cBlock - 1], 0.25f * 5.0f);
  // Nothing of it reaches the global scope or other targets.
  EXPECT_FALSE(matrix.getGlobalScope().isModulated(M::cTargetFilter1Freq));
  EXPECT_FALSE(voiceA.isModulated(M::cTargetFilter2Freq));
  EXPECT_EQ(sum(voiceA, M::cTargetFilter2Freq), env.silentBlock->data);

  // Level and invert scale the contribution.
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 0.5f, true);
  EXPECT_FLOAT_EQ(sum(voiceA, M::cTargetFilter1Freq)[3], -0.5f * 0.5f * 5.0f);
}

TEST_F(ModulationMatrixTest, AGlobalSourceInAPerVoiceSlotIsRenderedOncePerBlock) {
  connect(0, M::cSourceLFO1, M::cTargetOsc1Pan, 0.5f);
  env.beginBlock();
  const float* a = voiceA.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
  const float* b = voiceB.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  EXPECT_EQ(lfo.renders, 1);
  EXPECT_FALSE(voiceA.getTargetSum(M::cTargetOsc1Pan)->constantBlock);
  for (int i = 0; i < cBlock; ++i) {
    ASSERT_FLOAT_EQ(a[i], ramp(i) * 0.5f) << i;
    ASSERT_FLOAT_EQ(b[i], ramp(i) * 0.5f) << i;
  }
}

// A moving source through a slot turned down to 0 adds nothing: the sum
// stays a constant block (the chain behind the target keeps its constant
// path), with another slot's value as it is; turned up, the sum moves.
TEST_F(ModulationMatrixTest, ASlotAtLevelZeroLeavesTheSumConstant) {
  connect(0, M::cSourceLFO1, M::cTargetOsc1Pan, 0.0f);
  const float* a = sum(voiceA, M::cTargetOsc1Pan);
  EXPECT_TRUE(voiceA.getTargetSum(M::cTargetOsc1Pan)->constantBlock);
  for (int i = 0; i < cBlock; ++i) ASSERT_EQ(a[i], 0.0f) << i;
  connect(1, M::cSourceVelocity, M::cTargetOsc1Pan, 0.5f);
  a = sum(voiceA, M::cTargetOsc1Pan);
  EXPECT_TRUE(voiceA.getTargetSum(M::cTargetOsc1Pan)->constantBlock);
  for (int i = 0; i < cBlock; ++i) ASSERT_FLOAT_EQ(a[i], 0.5f) << i; // velocity 1 at half level, full scale 1
  connect(0, M::cSourceLFO1, M::cTargetOsc1Pan, 0.25f);
  a = sum(voiceA, M::cTargetOsc1Pan);
  EXPECT_FALSE(voiceA.getTargetSum(M::cTargetOsc1Pan)->constantBlock);
  EXPECT_NE(a[0], a[cBlock - 1]);
}

// A sum and the input reading it go from a constant block to a moving one
// and back: the constant blocks hold their one value in every sample, also
// in the block that held the moving values before.
TEST_F(ModulationMatrixTest, ConstantSumsAndInputsHoldTheirValueAfterMovingBlocks) {
  LineSource base(&env, 0.5f, 0.0f, true);
  ModulationMatrixInput input(&env, &voiceA, M::cTargetOsc1Pan, &base, -4.0f, 4.0f);
  connect(0, M::cSourceVelocity, M::cTargetOsc1Pan, 0.5f); // + 0.5
  connect(1, M::cSourceLFO1, M::cTargetOsc1Pan, 0.0f);
  auto render = [&](const float*& sumData, const float*& inputData) {
    env.beginBlock();
    inputData = input.pull(cBlock, 0)->data;
    sumData = voiceA.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
    env.endBlock(cBlock);
  };
  const float* s = nullptr;
  const float* in = nullptr;
  for (int round = 0; round < 2; ++round) {
    render(s, in);
    EXPECT_TRUE(voiceA.getTargetSum(M::cTargetOsc1Pan)->constantBlock);
    EXPECT_TRUE(input.constantBlock);
    for (int i = 0; i < cBlock; ++i) {
      ASSERT_EQ(s[i], 0.5f) << round << " " << i;
      ASSERT_EQ(in[i], 1.0f) << round << " " << i;
    }
    // The LFO turned up: a ramp on top.
    matrix.setSlotLevel(1, 1.0f, false);
    render(s, in);
    EXPECT_FALSE(voiceA.getTargetSum(M::cTargetOsc1Pan)->constantBlock);
    EXPECT_FALSE(input.constantBlock);
    for (int i = 0; i < cBlock; ++i) {
      ASSERT_FLOAT_EQ(s[i], 0.5f + ramp(i)) << round << " " << i;
      ASSERT_FLOAT_EQ(in[i], 1.0f + ramp(i)) << round << " " << i;
    }
    matrix.setSlotLevel(1, 0.0f, false);
  }
}

// A voice's velocity as a smoothed parameter and its envelope as the
// generator itself: through a new touch, a glide, a sustain level moved, a
// new note, slot levels edited and the release, each sum is the source's
// own samples times level and full scale, also where the source holds one
// value (read from the producer, not its block).
TEST_F(ModulationMatrixTest, ParameterAndEnvelopeSourcesAreFollowedInEveryBlock) {
  M::Voice voice(&matrix);
  wave::FloatParameterSource velocity(&env, 0.25f);
  EnvelopeGenerator eg(&env);
  for (auto* bus : {&eg.attackTime, &eg.decayTime, &eg.releaseTime}) bus->getParameter().setInterpolated(0.05f, 0.0f);
  eg.sustainLevel.getParameter().setInterpolated(0.6f, 0.0f);
  voice.setSource(M::cSourceVelocity, &velocity);
  voice.setSource(M::cSourceEG1, &eg);
  connect(0, M::cSourceVelocity, M::cTargetFilter2Freq, 0.3f);
  connect(1, M::cSourceEG1, M::cTargetFilter1Freq, 0.5f);
  const int targets[2] = {M::cTargetFilter2Freq, M::cTargetFilter1Freq};
  wave::Producer* sources[2] = {&velocity, &eg};
  float levels[2] = {0.3f, 0.5f};
  int constants[2] = {};
  auto check = [&](int blocks) {
    for (int k = 0; k < blocks; ++k) {
      env.beginBlock();
      for (int s = 0; s < 2; ++s) {
        wave::Producer* sum = voice.getTargetSum(targets[s]);
        const float* out = sum->pull(cBlock, 0)->data;
        const float* in = sources[s]->pull(cBlock, 0)->data;
        constants[s] += sum->constantBlock ? 1 : 0;
        for (int i = 0; i < cBlock; ++i) ASSERT_FLOAT_EQ(out[i], in[i] * levels[s] * 5.0f) << s << " " << i;
      }
      env.endBlock(cBlock);
    }
  };
  eg.start();
  check(4);
  velocity.parameter.setInterpolated(0.8f, 0.0f); // another key's touch, at once
  check(2);
  velocity.parameter.setInterpolated(0.4f, 20.0f);
  eg.sustainLevel.getParameter().setInterpolated(0.3f, 0.0f);
  check(4);
  eg.start(); // a new note
  velocity.parameter.setInterpolated(1.0f, 0.0f);
  check(3);
  levels[0] = 0.7f;
  levels[1] = 0.2f;
  matrix.setSlotLevel(0, levels[0], false);
  matrix.setSlotLevel(1, levels[1], false);
  check(2);
  eg.finish();
  check(4);
  EXPECT_GE(constants[0], 10); // the constant paths were taken
  EXPECT_GE(constants[1], 3);
}

// A held note's input on envelopes in their sustain gives one value block
// after block, yet follows every move of theirs that no parameter edit
// announces: a sustain level driven by another unit, a new note, the
// release of one of two envelopes on the target, and the last release.
TEST_F(ModulationMatrixTest, AnInputOnHeldEnvelopesFollowsEveryMoveOfTheirs) {
  M::Voice voice(&matrix);
  wave::FloatParameterSource base(&env, 4.0f);
  base.parameter.setLimits(0.0f, 20.0f);
  EnvelopeGenerator eg1(&env), eg2(&env);
  for (EnvelopeGenerator* eg : {&eg1, &eg2})
    for (auto* bus : {&eg->attackTime, &eg->decayTime, &eg->releaseTime})
      bus->getParameter().setInterpolated(0.1f, 0.0f);
  eg1.sustainLevel.getParameter().setInterpolated(0.6f, 0.0f);
  eg2.sustainLevel.getParameter().setInterpolated(0.2f, 0.0f);
  voice.setSource(M::cSourceEG1, &eg1);
  voice.setSource(M::cSourceEG2, &eg2);
  ModulationMatrixInput input(&env, &voice, M::cTargetFilter1Freq, &base, 0.0f, 30.0f);
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 0.5f);
  connect(1, M::cSourceEG2, M::cTargetFilter1Freq, 0.25f, true);
  int constant = 0;
  auto check = [&](int blocks, const char* step) {
    for (int k = 0; k < blocks; ++k) {
      env.beginBlock();
      const float* out = input.pull(cBlock, 0)->data;
      constant += input.constantBlock ? 1 : 0;
      const float* a = eg1.pull(cBlock, 0)->data;
      const float* b = eg2.pull(cBlock, 0)->data;
      // The cut-off moves 5 octaves for a full-scale slot; EG 2's is inverted.
      for (int i = 0; i < cBlock; ++i)
        ASSERT_NEAR(out[i], 4.0f + a[i] * 0.5f * 5.0f - b[i] * 0.25f * 5.0f, 1e-5f)
            << step << " block " << k << " at " << i;
      env.endBlock(cBlock);
    }
  };
  eg1.start();
  eg2.start();
  check(8, "attack, decay and sustain");
  EXPECT_GE(constant, 3);
  LineSource sustain(&env, 0.3f, 0.0f, true);
  eg1.sustainLevel.setController(&sustain);
  check(4, "the sustain level driven by another unit");
  sustain.a = 0.45f; // no edit of a parameter or of the wiring
  check(4, "the driving unit moved on");
  eg1.start();
  check(6, "a new note");
  eg2.finish();
  check(4, "EG 2 released, EG 1 held");
  eg1.finish();
  check(4, "both released");
}

TEST_F(ModulationMatrixTest, SlotsOnOneTargetAddUp) {
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 1.0f);
  connect(1, M::cSourceLFO1, M::cTargetFilter1Freq, 0.5f, true);
  connect(2, M::cSourceVelocity, M::cTargetFilter1Freq, 0.2f);
  const float* a = sum(voiceA, M::cTargetFilter1Freq);
  for (int i = 0; i < cBlock; ++i)
    ASSERT_NEAR(a[i], (0.5f - 0.5f * ramp(i) + 0.2f) * 5.0f, 1e-5f) << i;
  const float* b = sum(voiceB, M::cTargetFilter1Freq);
  for (int i = 0; i < cBlock; ++i)
    ASSERT_NEAR(b[i], (0.25f - 0.5f * ramp(i) + 0.2f * 0.5f) * 5.0f, 1e-5f) << i;

  // Slots whose levels move (other slots drive them) add in after a moving
  // one as well: velocity at level LFO x 0.5, the LFO at level LFO x 0.25.
  connect(3, M::cSourceLFO1, M::cTargetSlotLevel + 4, 0.5f);
  connect(4, M::cSourceVelocity, M::cTargetFilter1Freq, 0.0f);
  connect(5, M::cSourceLFO1, M::cTargetFilter1Freq, 0.0f);
  connect(6, M::cSourceLFO1, M::cTargetSlotLevel + 5, 0.25f);
  a = sum(voiceA, M::cTargetFilter1Freq);
  for (int i = 0; i < cBlock; ++i) {
    const float r = ramp(i);
    ASSERT_NEAR(a[i], (0.5f - 0.5f * r + 0.2f + 1.0f * 0.5f * r + r * 0.25f * r) * 5.0f, 1e-5f) << i;
  }
  b = sum(voiceB, M::cTargetFilter1Freq);
  for (int i = 0; i < cBlock; ++i) {
    const float r = ramp(i);
    ASSERT_NEAR(b[i], (0.25f - 0.5f * r + 0.1f + 0.5f * 0.5f * r + r * 0.25f * r) * 5.0f, 1e-5f) << i;
  }
}

// A voice keeps a block per slot, not per target: targets driven at once
// never share one, and a slot moved to another target and back leaves
// neither sum with the other's values.
TEST_F(ModulationMatrixTest, ASlotMovedToAnotherTargetAndBackGivesEachItsOwnSum) {
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 1.0f);
  connect(1, M::cSourceVelocity, M::cTargetOsc1Pan, 0.5f);
  env.beginBlock();
  const float* freq = voiceA.getTargetSum(M::cTargetFilter1Freq)->pull(cBlock, 0)->data;
  const float* pan = voiceA.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  for (int i = 0; i < cBlock; ++i) {
    ASSERT_FLOAT_EQ(freq[i], 0.5f * 5.0f) << i;
    ASSERT_FLOAT_EQ(pan[i], 0.5f) << i;
  }

  matrix.setSlotBypassed(1, true);
  connect(0, M::cSourceEG1, M::cTargetOsc1Pan, 0.4f);
  EXPECT_FLOAT_EQ(sum(voiceA, M::cTargetOsc1Pan)[cBlock - 1], 0.5f * 0.4f);
  EXPECT_EQ(sum(voiceA, M::cTargetFilter1Freq), env.silentBlock->data);
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 1.0f);
  const float* back = sum(voiceA, M::cTargetFilter1Freq);
  for (int i = 0; i < cBlock; ++i) ASSERT_FLOAT_EQ(back[i], 0.5f * 5.0f) << i;
}

TEST_F(ModulationMatrixTest, GlobalTargetsAreSummedOnceInTheGlobalScope) {
  wheel.setValue(0.5f);
  connect(4, M::cSourceModWheel, M::cTargetLFO2Frequency, 1.0f);
  connect(5, M::cSourceLFO1, M::cTargetStereo, 1.0f);
  EXPECT_FALSE(voiceA.isModulated(M::cTargetLFO2Frequency));
  EXPECT_FLOAT_EQ(sum(matrix.getGlobalScope(), M::cTargetLFO2Frequency)[0], 2.0f); // 4 octaves full scale
  const float* stereo = sum(matrix.getGlobalScope(), M::cTargetStereo);
  EXPECT_FLOAT_EQ(stereo[32], ramp(32));
}

TEST_F(ModulationMatrixTest, SlotLevelsAreModulatedInTheirSlotsScope) {
  // Globally: the wheel opens slot 0's level; base and wheel sum clamped.
  connect(0, M::cSourceLFO1, M::cTargetStereo, 0.0f);
  connect(1, M::cSourceModWheel, M::cTargetSlotLevel + 0, 1.0f);
  wheel.setValue(0.6f);
  const float* s = sum(matrix.getGlobalScope(), M::cTargetStereo);
  for (int i = 0; i < cBlock; ++i) ASSERT_NEAR(s[i], ramp(i) * 0.6f, 1e-6f) << i;
  matrix.setSlotLevel(0, 0.8f, false);
  s = sum(matrix.getGlobalScope(), M::cTargetStereo);
  EXPECT_NEAR(s[40], ramp(40) * 1.0f, 1e-6f);

  // Per voice: velocity scales how much LFO 1 moves the volume, with a
  // varying level (the LFO modulates the level too).
  connect(2, M::cSourceVelocity, M::cTargetSlotLevel + 3, 1.0f);
  connect(3, M::cSourceLFO1, M::cTargetVolume, 0.0f);
  connect(4, M::cSourceLFO1, M::cTargetSlotLevel + 3, 0.5f, true);
  const float* a = sum(voiceA, M::cTargetVolume);
  for (int i = 0; i < cBlock; ++i) ASSERT_NEAR(a[i], ramp(i) * (1.0f - 0.5f * ramp(i)), 1e-6f) << i;
  const float* b = sum(voiceB, M::cTargetVolume);
  for (int i = 0; i < cBlock; ++i)
    ASSERT_NEAR(b[i], ramp(i) * std::fmax(0.0f, 0.5f - 0.5f * ramp(i)), 1e-6f) << i;
  // The LFO raising the level instead: voice A's passes 1 and stays there.
  matrix.setSlotInverted(4, false);
  a = sum(voiceA, M::cTargetVolume);
  for (int i = 0; i < cBlock; ++i) ASSERT_NEAR(a[i], ramp(i) * 1.0f, 1e-6f) << i;
  b = sum(voiceB, M::cTargetVolume);
  for (int i = 0; i < cBlock; ++i) ASSERT_NEAR(b[i], ramp(i) * (0.5f + 0.5f * ramp(i)), 1e-6f) << i;
}

// A voice's sum that reads only global sources, also through the slots
// that modulate its slots' levels, is the same in every voice: a voice
// scope without sources of its own gives it exactly as each voice does.
// One per-voice source anywhere in the chain makes it the voice's own.
TEST_F(ModulationMatrixTest, ASumOfGlobalSourcesIsTheSameInEveryVoice) {
  M::Voice common(&matrix);
  wheel.setValue(0.5f);
  connect(0, M::cSourceLFO1, M::cTargetOsc1Pan, 0.25f);
  connect(1, M::cSourceModWheel, M::cTargetSlotLevel + 0, 0.5f);
  EXPECT_FALSE(matrix.dependsOnVoice(M::cTargetOsc1Pan));
  EXPECT_FALSE(matrix.dependsOnVoice(M::cTargetSlotLevel + 0));
  env.beginBlock();
  const float* c = common.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
  const float* a = voiceA.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
  const float* b = voiceB.getTargetSum(M::cTargetOsc1Pan)->pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  for (int i = 0; i < cBlock; ++i) {
    // The LFO at level 0.25 + 0.5 x 0.5 (full scale 1).
    ASSERT_FLOAT_EQ(c[i], ramp(i) * 0.5f) << i;
    ASSERT_EQ(a[i], c[i]) << i;
    ASSERT_EQ(b[i], c[i]) << i;
  }

  // Velocity on the level of slot 1, which drives slot 0's level: the pan
  // now depends on the voice, two levels down.
  connect(2, M::cSourceVelocity, M::cTargetSlotLevel + 1, 0.5f);
  EXPECT_TRUE(matrix.dependsOnVoice(M::cTargetOsc1Pan));
  EXPECT_TRUE(matrix.dependsOnVoice(M::cTargetSlotLevel + 0));
  EXPECT_TRUE(matrix.dependsOnVoice(M::cTargetSlotLevel + 1));
  EXPECT_FLOAT_EQ(sum(voiceA, M::cTargetOsc1Pan)[32], ramp(32) * (0.25f + 0.5f * 1.0f));
  EXPECT_FLOAT_EQ(sum(voiceB, M::cTargetOsc1Pan)[32], ramp(32) * (0.25f + 0.5f * 0.75f));
  // Bypassed, the chain is global again; an envelope on another target
  // leaves it so.
  matrix.setSlotBypassed(2, true);
  connect(3, M::cSourceEG1, M::cTargetFilter1Freq, 1.0f);
  EXPECT_FALSE(matrix.dependsOnVoice(M::cTargetOsc1Pan));
  EXPECT_TRUE(matrix.dependsOnVoice(M::cTargetFilter1Freq));
  EXPECT_FALSE(matrix.dependsOnVoice(M::cTargetFilter2Freq));
  EXPECT_FALSE(matrix.dependsOnVoice(M::cNumTargets));
}

TEST_F(ModulationMatrixTest, AnInvalidSlotIsSilentWhileTheOthersWork) {
  connect(0, M::cSourceEG1, M::cTargetEG1Attack, 1.0f); // its own parameter
  connect(1, M::cSourceEG1, M::cTargetStereo, 1.0f);    // per voice to global
  connect(2, M::cSourceEG1, M::cTargetFilter1Freq, 1.0f);
  connect(3, M::cSourceAftertouch, M::cTargetFilter1Freq, 1.0f); // no producer registered
  EXPECT_FALSE(matrix.isSlotValid(0));
  EXPECT_FALSE(matrix.isSlotValid(1));
  EXPECT_TRUE(matrix.isSlotValid(2));
  EXPECT_TRUE(matrix.isSlotValid(3));
  EXPECT_FALSE(voiceA.isModulated(M::cTargetEG1Attack));
  EXPECT_FALSE(matrix.getGlobalScope().isModulated(M::cTargetStereo));
  EXPECT_EQ(sum(voiceA, M::cTargetEG1Attack), env.silentBlock->data);
  EXPECT_FLOAT_EQ(sum(voiceA, M::cTargetFilter1Freq)[7], 2.5f);

  // Bypassing takes a slot out and back in.
  matrix.setSlotBypassed(2, true);
  EXPECT_FLOAT_EQ(sum(voiceA, M::cTargetFilter1Freq)[7], 0.0f);
  matrix.setSlotBypassed(2, false);
  EXPECT_FLOAT_EQ(sum(voiceA, M::cTargetFilter1Freq)[7], 2.5f);
}

TEST_F(ModulationMatrixTest, SourcesRegisterOnlyInTheirOwnScope) {
  EXPECT_FALSE(matrix.setGlobalSource(M::cSourceEG1, &egA));
  EXPECT_FALSE(voiceA.setSource(M::cSourceLFO2, &lfo));
  EXPECT_FALSE(voiceA.setSource(11, &lfo));
  EXPECT_EQ(voiceA.getSource(M::cSourceLFO1), &lfo); // read from the global scope
  EXPECT_EQ(voiceB.getSource(M::cSourceEG1), &egB);
  EXPECT_EQ(matrix.getGlobalScope().getSource(M::cSourceEG1), nullptr);
  EXPECT_EQ(voiceA.getTargetSum(62), nullptr);
}

// A held note's input made of settled parameters alone (its base, the
// touch, the wheel, the slot levels) keeps its value from block to block
// without reading them; every edit still shows in the next block: a new
// touch, a wheel moved, a slot inverted, turned down, bypassed or given a
// source without a producer, a new base, new limits; a held value that is
// no parameter is read in every block.
TEST_F(ModulationMatrixTest, AnInputOfSettledParametersFollowsEveryEditInTheNextBlock) {
  M::Voice voice(&matrix);
  wave::FloatParameterSource velocity(&env, 0.5f);
  wave::FloatParameterSource wheelParameter(&env, 0.5f);
  wave::FloatParameterSource base(&env, 10.0f), otherBase(&env, 3.0f);
  for (auto* p : {&base, &otherBase}) p->parameter.setLimits(0.0f, 20.0f);
  voice.setSource(M::cSourceVelocity, &velocity);
  matrix.setGlobalSource(M::cSourceModWheel, &wheelParameter);
  ModulationMatrixInput input(&env, &voice, M::cTargetFilter2Freq, &base, 0.0f, 30.0f);
  connect(0, M::cSourceVelocity, M::cTargetFilter2Freq, 0.4f);
  auto expect = [&](float value, const char* step) {
    for (int k = 0; k < 3; ++k) {
      env.beginBlock();
      const float* out = input.pull(cBlock, 0)->data;
      EXPECT_TRUE(input.constantBlock) << step;
      for (int i = 0; i < cBlock; ++i) ASSERT_FLOAT_EQ(out[i], value) << step << " block " << k << " at " << i;
      env.endBlock(cBlock);
    }
  };
  // The filter's cut-off moves 5 octaves for a full-scale slot.
  expect(10.0f + 0.5f * 0.4f * 5.0f, "the first touch");
  velocity.parameter.setInterpolated(1.0f, 0.0f);
  expect(12.0f, "a new touch");
  matrix.setSlotInverted(0, true);
  expect(8.0f, "inverted");
  matrix.setSlotLevel(0, 0.2f, false);
  expect(9.0f, "turned down");
  base.parameter.setInterpolated(11.0f, 0.0f);
  expect(10.0f, "the knob");
  connect(1, M::cSourceModWheel, M::cTargetFilter2Freq, 1.0f);
  expect(12.5f, "the wheel added");
  wheelParameter.parameter.setInterpolated(1.0f, 0.0f);
  expect(15.0f, "the wheel moved");
  matrix.setSlotBypassed(0, true);
  expect(16.0f, "the touch bypassed");
  matrix.setSlotSource(1, M::cSourceAftertouch); // no producer: adds nothing
  expect(11.0f, "a source without a producer");
  matrix.setSlotSource(1, M::cSourceModWheel);
  input.setBase(&otherBase);
  expect(8.0f, "another base");
  input.setLimits(0.0f, 7.5f);
  expect(7.5f, "new limits");
  // A held value that is no parameter is read in every block.
  input.setLimits(0.0f, 30.0f);
  M::ValueSource bend(&env, 0.2f);
  matrix.setGlobalSource(M::cSourcePitchBend, &bend);
  connect(2, M::cSourcePitchBend, M::cTargetFilter2Freq, 1.0f);
  expect(3.0f + 5.0f + 1.0f, "the bend added");
  bend.setValue(0.6f);
  expect(11.0f, "the bend moved");
}

TEST_F(ModulationMatrixTest, AModulatedInputAddsTheSumWithinItsLimits) {
  wave::FloatParameterSource base(&env, 10.0f);
  base.parameter.setLimits(0.0f, 20.0f);
  ModulationMatrixInput input(&env, &voiceA, M::cTargetFilter1Freq, &base, 0.0f, 12.0f);

  // Unmodulated: the base's own block, untouched.
  env.beginBlock();
  wave::Block* out = input.pull(cBlock, 0);
  env.endBlock(cBlock);
  EXPECT_EQ(out, base.current);
  EXPECT_TRUE(input.constantBlock);

  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 0.2f); // + 0.5 octaves
  connect(1, M::cSourceLFO1, M::cTargetFilter1Freq, 0.4f); // + ramp * 2 octaves
  env.beginBlock();
  out = input.pull(cBlock, 0);
  env.endBlock(cBlock);
  EXPECT_FALSE(input.constantBlock);
  for (int i = 0; i < cBlock; ++i) ASSERT_NEAR(out->data[i], std::fmin(10.5f + 2.0f * ramp(i), 12.0f), 1e-5f) << i;
  EXPECT_FLOAT_EQ(out->data[cBlock - 1], 12.0f);
}

TEST_F(ModulationMatrixTest, AModulatedInputWrapsAUnitsOwnBusValue) {
  wave::FloatParameterBus decay(&env, 0.5f);
  decay.getParameter().setLimits(0.0f, 100.0f);
  ModulationMatrixInput input(&env, &voiceB, M::cTargetEG1Decay, &decay.source, 0.0f, 100.0f);
  decay.setController(&input);
  connect(0, M::cSourceVelocity, M::cTargetEG1Decay, 0.5f); // voice B: 0.5 * 0.5 * 4 = 1 octave
  env.beginBlock();
  EXPECT_NEAR(decay.output->pull(cBlock, 0)->data[9], (0.5f + 0.01f) * 2.0f - 0.01f, 1e-5f);
  env.endBlock(cBlock);
  // The own value is still written through the bus and read as the base.
  decay.getParameter().setInterpolated(1.99f, 0.0f);
  env.beginBlock();
  EXPECT_NEAR(decay.output->pull(cBlock, 0)->data[9], (1.99f + 0.01f) * 2.0f - 0.01f, 1e-5f);
  env.endBlock(cBlock);
}

TEST_F(ModulationMatrixTest, ExponentialTargetsScaleTimesAndFrequencies) {
  wave::FloatParameterSource attack(&env, 0.1f);
  ModulationMatrixInput attackInput(&env, &voiceA, M::cTargetEG1Attack, &attack, 0.0f, 100.0f);
  wave::FloatParameterSource rate(&env, 2.0f);
  rate.parameter.setLimits(0.0f, 50.0f);
  ModulationMatrixInput rateInput(&env, &matrix.getGlobalScope(), M::cTargetLFO2Frequency, &rate, 0.0f, 50.0f);

  // Velocity 1 at level 0.25 is one octave: (0.1 + 0.01) * 2 - 0.01.
  connect(0, M::cSourceVelocity, M::cTargetEG1Attack, 0.25f);
  // The wheel at 1 and level 0.5 inverted is two octaves down.
  wheel.setValue(1.0f);
  connect(1, M::cSourceModWheel, M::cTargetLFO2Frequency, 0.5f, true);
  env.beginBlock();
  const float* a = attackInput.pull(cBlock, 0)->data;
  const float* r = rateInput.pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  EXPECT_TRUE(attackInput.constantBlock);
  EXPECT_NEAR(a[0], 0.21f, 1e-6f);
  EXPECT_NEAR(a[cBlock - 1], 0.21f, 1e-6f);
  EXPECT_NEAR(r[5], 0.5f, 1e-6f);

  // A zero time can still be lengthened, and shortening stops at 0.
  attack.parameter.setInterpolated(0.0f, 0.0f);
  env.beginBlock();
  a = attackInput.pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  EXPECT_NEAR(a[0], 0.01f, 1e-6f);
  connect(0, M::cSourceVelocity, M::cTargetEG1Attack, 0.25f, true);
  env.beginBlock();
  a = attackInput.pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  EXPECT_FLOAT_EQ(a[0], 0.0f);
}

// A moving sum on a moving base, added and as a power of two: the input
// writes the sum into its own block and combines it with the base there,
// sample by sample, as the formulas give it.
TEST_F(ModulationMatrixTest, AModulatedInputCombinesAMovingSumWithAMovingBase) {
  LineSource base(&env, 0.25f, 1.0f / 256.0f); // moving
  ModulationMatrixInput pan(&env, &voiceA, M::cTargetOsc1Pan, &base, -1.0f, 1.0f);
  ModulationMatrixInput attack(&env, &voiceA, M::cTargetEG2Attack, &base, 0.0f, 100.0f);
  connect(0, M::cSourceLFO1, M::cTargetOsc1Pan, 0.5f);        // + ramp / 2
  connect(1, M::cSourceLFO1, M::cTargetEG2Attack, 0.25f);     // 4 octaves x 0.25 x ramp
  connect(2, M::cSourceEG1, M::cTargetEG2Attack, 0.5f, true); // - 4 x 0.5 x 0.5 octaves
  env.beginBlock();
  const float* p = pan.pull(cBlock, 0)->data;
  const float* a = attack.pull(cBlock, 0)->data;
  env.endBlock(cBlock);
  EXPECT_FALSE(pan.constantBlock);
  EXPECT_FALSE(attack.constantBlock);
  for (int i = 0; i < cBlock; ++i) {
    const double b = 0.25 + i / 256.0;
    const double r = i / 64.0;
    ASSERT_NEAR(p[i], std::fmin(b + 0.5 * r, 1.0), 1e-6) << i;
    ASSERT_NEAR(a[i], (b + 0.01) * std::exp2(r - 1.0) - 0.01, 1e-6) << i;
  }
}

TEST_F(ModulationMatrixTest, LevelChangesGlide) {
  connect(0, M::cSourceEG1, M::cTargetFilter1Freq, 0.0f);
  sum(voiceA, M::cTargetFilter1Freq);
  matrix.setSlotLevel(0, 1.0f); // large change: 20 ms, 20 samples at 1 kHz
  const float* a = sum(voiceA, M::cTargetFilter1Freq);
  EXPECT_FALSE(voiceA.getTargetSum(M::cTargetFilter1Freq)->constantBlock);
  EXPECT_LT(a[5], a[10]);
  EXPECT_FLOAT_EQ(a[cBlock - 1], 2.5f);
}

TEST_F(ModulationMatrixTest, EvaluationAllocatesNothing) {
  wave::FloatParameterSource base(&env, 10.0f);
  base.parameter.setLimits(0.0f, 20.0f);
  ModulationMatrixInput filterA(&env, &voiceA, M::cTargetFilter1Freq, &base, 0.0f, 20.0f);
  ModulationMatrixInput filterB(&env, &voiceB, M::cTargetFilter1Freq, &base, 0.0f, 20.0f);
  ModulationMatrixInput volumeA(&env, &voiceA, M::cTargetVolume, &base, 0.0f, 20.0f);
  ModulationMatrixInput stereo(&env, &matrix.getGlobalScope(), M::cTargetStereo, &base, 0.0f, 20.0f);
  float total = 0.0f;
  zarn::test::AllocationCounter counter;
  for (int round = 0; round < 24; ++round) {
    // Slot changes between blocks, as the parameter hand-off makes them.
    connect(round, round % 2 ? M::cSourceLFO1 : M::cSourceEG1, round % 3 ? M::cTargetFilter1Freq : M::cTargetVolume,
            0.3f, round % 4 == 0);
    connect((round + 5) % 24, M::cSourceModWheel, M::cTargetSlotLevel + round, 0.5f);
    if (round % 5 == 0) connect((round + 7) % 24, M::cSourceLFO1, M::cTargetStereo, 0.5f);
    matrix.setSlotBypassed((round + 11) % 24, round % 2 == 0);
    for (int b = 0; b < 4; ++b) {
      env.beginBlock();
      total += filterA.pull(cBlock, 0)->data[cBlock - 1];
      total += filterB.pull(cBlock, 0)->data[cBlock - 1];
      total += volumeA.pull(cBlock, 0)->data[0];
      total += stereo.pull(cBlock, 0)->data[0];
      env.endBlock(cBlock);
    }
  }
  EXPECT_EQ(counter.count(), 0);
  EXPECT_TRUE(std::isfinite(total));
}

// An LFO keeps the frequency of a settled input between edits: every edit
// of the knob, a slot, the input's limits or the LFO's controller must
// still reach its speed in the next block, pulled or moved on by its mute
// call alone (as while nobody listens).
TEST_F(ModulationMatrixTest, AnLfoOnASettledInputFollowsEveryEditInTheNextBlock) {
  ModulationGenerator generator(&env);
  wave::FloatParameterSource base(&env, 0.5f), wheelParameter(&env, 0.0f);
  base.parameter.setLimits(0.0f, 10.0f);
  matrix.setGlobalSource(M::cSourceModWheel, &wheelParameter);
  ModulationMatrixInput input(&env, &matrix.getGlobalScope(), M::cTargetLFO1Frequency, &base, 0.0f, 10.0f);
  generator.frequency.setController(&input);
  for (bool written : {true, false}) {
    generator.writeOnMuteCalls = written;
    auto expect = [&](double hertz, const char* step) {
      // Balance 0.5: both halves run at the frequency, half a cycle each.
      const double perBlock = hertz * cBlock / 1000.0;
      for (int k = 0; k < 4; ++k) {
        const double before = generator.getPhase();
        env.beginBlock();
        if (k % 2 == 0) generator.pull(cBlock, 0);
        env.endBlock(cBlock);
        double moved = generator.getPhase() - before;
        if (moved < 0.0) moved += 1.0;
        EXPECT_NEAR(moved, perBlock, 1e-6) << step << " block " << k << (written ? "" : ", unwritten");
      }
    };
    base.parameter.setInterpolated(0.5f, 0.0f);
    wheelParameter.parameter.setInterpolated(0.0f, 0.0f);
    matrix.setSlotTarget(0, -1);
    input.setLimits(0.0f, 10.0f);
    expect(0.5, "the knob");
    base.parameter.setInterpolated(1.0f, 0.0f);
    expect(1.0, "the knob turned");
    // Four octaves for a full-scale slot: a quarter of the wheel is one.
    connect(0, M::cSourceModWheel, M::cTargetLFO1Frequency, 0.25f);
    expect(1.0, "a slot with the wheel down");
    wheelParameter.parameter.setInterpolated(1.0f, 0.0f);
    expect(2.0, "the wheel up");
    matrix.setSlotInverted(0, true);
    expect(0.5, "inverted");
    matrix.setSlotLevel(0, 0.125f, false);
    expect(std::sqrt(0.5), "turned down");
    input.setLimits(0.0f, 0.625f);
    expect(0.625, "new limits");
    matrix.setSlotBypassed(0, true);
    expect(1.0, "bypassed");
    generator.frequency.setController(nullptr);
    expect(0.1, "the LFO's own value");
    generator.frequency.setController(&input);
    expect(1.0, "the input again");
    matrix.setSlotBypassed(0, false);
  }
}

// The stereo spread passes silence on without reading a settled spread:
// a spread edited while nothing sounds must still shape the first sound.
TEST_F(ModulationMatrixTest, AStereoSpreadEditedDuringSilenceShapesTheFirstSound) {
  wave::FloatParameterSource base(&env, 1.0f);
  base.parameter.setLimits(0.0f, 2.0f);
  ModulationMatrixInput input(&env, &matrix.getGlobalScope(), M::cTargetStereo, &base, 0.0f, 2.0f);
  StereoSpread spread(&env);
  spread.spread.setController(&input);
  M::ValueSource left(&env, 1.0f), right(&env, 0.0f);
  auto render = [&](bool sound, float expectLeft, float expectRight, const char* step) {
    spread.setInputs(sound ? &left : nullptr, sound ? &right : nullptr);
    for (int k = 0; k < 3; ++k) {
      env.beginBlock();
      const float* l = spread.getOutput(0)->pull(cBlock, 0)->data;
      const float* r = spread.getOutput(1)->pull(cBlock, 0)->data;
      for (int i = 0; i < cBlock; i += 21) {
        ASSERT_EQ(l[i], expectLeft) << step << " block " << k << " at " << i;
        ASSERT_EQ(r[i], expectRight) << step << " block " << k << " at " << i;
      }
      env.endBlock(cBlock);
    }
  };
  // Left alone: side and mid are half of it each; beyond spread 1 the mid
  // fades out.
  render(false, 0.0f, 0.0f, "silence at 1");
  base.parameter.setInterpolated(0.5f, 0.0f);
  render(false, 0.0f, 0.0f, "silence at 0.5");
  render(true, 0.75f, 0.25f, "sound at 0.5");
  render(false, 0.0f, 0.0f, "silence again");
  connect(0, M::cSourceModWheel, M::cTargetStereo, 1.0f);
  wheel.setValue(1.0f);
  // The matrix sum is a value source's: read in every block.
  render(false, 0.0f, 0.0f, "silence with the wheel");
  render(true, 1.0f, -0.5f, "sound with the wheel");
  matrix.setSlotBypassed(0, true);
  render(false, 0.0f, 0.0f, "silence, the wheel bypassed");
  render(true, 0.75f, 0.25f, "sound, the wheel bypassed");
}

TEST(ModulationMatrixValueSourceTest, HoldsItsValueAsAConstantBlock) {
  wave::Environment env(16);
  M::ValueSource source(&env, 0.25f);
  env.beginBlock();
  wave::Block* b = source.pull(8, 0);
  env.endBlock(8);
  EXPECT_TRUE(source.constantBlock);
  EXPECT_FLOAT_EQ(b->data[7], 0.25f);
  source.setValue(-1.0f);
  env.beginBlock();
  b = source.pull(16, 0);
  env.endBlock(16);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(b->data[i], -1.0f) << i;
}

} // namespace
