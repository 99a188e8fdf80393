#include "tests/support/AllocationCounter.h"
#include "wave/Environment.h"
#include "wave/PortamentoController.h"
#include "wave/ValueCurves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace wave;

namespace {

struct Rig {
  Rig() : env(1024), pc(&env) {}

  void render(int n, int block = 256) {
    while (n > 0) {
      const int k = std::min(n, block);
      env.beginBlock();
      Block* b = pc.pull(k);
      out.insert(out.end(), b->data, b->data + k);
      env.endBlock(k);
      n -= k;
    }
  }

  Environment env;
  PortamentoController pc;
  std::vector<float> out;
};

const float kC4 = noteNumberToExpFreq(60.0f);
const float kC5 = noteNumberToExpFreq(72.0f);

} // namespace

TEST(PortamentoTest, GlideCurvesRiseSteeplyThenFlatten) {
  Rig r;
  for (const FunctionTable<float>* c : {&r.pc.getUpwardCurve(), &r.pc.getDownwardCurve()}) {
    EXPECT_EQ(c->getPoints(), 4096);
    EXPECT_NEAR(c->getValues()[0], 0.0f, 1e-6f);
    EXPECT_NEAR(c->getValues()[4095], 1.0f, 1e-6f);
    for (int i = 1; i < 4096; ++i) ASSERT_GE(c->getValues()[i], c->getValues()[i - 1]);
  }
  // Steep at first, almost flat towards the end; the upward one steeper.
  const float* up = r.pc.getUpwardCurve().getValues();
  const float* down = r.pc.getDownwardCurve().getValues();
  EXPECT_GT(up[1024], 0.75f);
  EXPECT_GT(up[410], down[410]);
}

TEST(PortamentoTest, WithoutGlideTimeEveryNoteOnJumps) {
  Rig r;
  r.pc.noteOn(kC4);
  r.render(256);
  EXPECT_EQ(r.out[0], kC4);
  r.pc.noteOn(kC5, kC4);
  EXPECT_FALSE(r.pc.isGliding());
  r.render(256);
  for (int i = 256; i < 512; ++i) ASSERT_EQ(r.out[i], kC5);
}

TEST(PortamentoTest, OneSecondOctaveGlideCoversMostOfItEarlyAndHoldsTheTarget) {
  Rig r;
  r.pc.noteOn(kC4);
  r.pc.glideTime = 1.0f;
  r.pc.noteOn(kC5, kC4);
  r.render(2 * 44100);
  EXPECT_NEAR(r.out[0], kC4, 1e-5f);
  for (int i = 1; i < 44100; ++i) ASSERT_GE(r.out[i], r.out[i - 1]) << i;
  EXPECT_GT(r.out[11025] - kC4, 0.75f * (kC5 - kC4)); // a quarter of the time
  EXPECT_LT(r.out[44100 - 441], kC5);
  const int reached = static_cast<int>(std::find(r.out.begin(), r.out.end(), kC5) - r.out.begin());
  EXPECT_NEAR(reached, 44100, 2);
  for (int i = reached; i < 2 * 44100; ++i) ASSERT_EQ(r.out[i], kC5);
  EXPECT_FALSE(r.pc.isGliding());
  EXPECT_EQ(r.pc.getCurrentPitch(), kC5);
}

TEST(PortamentoTest, DownwardGlideFollowsTheDownwardCurve) {
  Rig r;
  r.pc.glideTime = 0.1f;
  r.pc.noteOn(kC4, kC5);
  r.render(8192);
  for (int i = 1; i < 4410; ++i) ASSERT_LE(r.out[i], r.out[i - 1]) << i;
  const float share = r.pc.getDownwardCurve().getValues()[1024];
  EXPECT_NEAR(r.out[4410 / 4], kC5 + (kC4 - kC5) * share, 2e-3f);
  EXPECT_NEAR(r.out.back(), kC4, 1e-5f);
}

TEST(PortamentoTest, NoteOnDuringAGlideStartsFromThePitchReached) {
  Rig r;
  r.pc.noteOn(kC4);
  r.pc.glideTime = 0.5f;
  r.pc.noteOn(kC5);
  r.render(1024);
  const float reached = r.out.back();
  ASSERT_GT(reached, kC4 + 0.1f);
  ASSERT_LT(reached, kC5);
  EXPECT_EQ(r.pc.getCurrentPitch(), reached);
  r.pc.noteOn(kC4);
  r.render(256);
  EXPECT_NEAR(r.out[1024], reached, 1e-6f);
  EXPECT_LT(r.out[1025], reached);
}

TEST(PortamentoTest, EqualStartAndTargetStaysAtTheTarget) {
  Rig r;
  r.pc.glideTime = 0.2f;
  r.pc.noteOn(kC5, kC5);
  EXPECT_TRUE(r.pc.isGliding());
  r.render(10000);
  for (float v : r.out) ASSERT_EQ(v, kC5);
}

TEST(PortamentoTest, GlideTimeSetToZeroMidGlideJumpsToTheTarget) {
  Rig r;
  r.pc.glideTime = 2.0f;
  r.pc.noteOn(kC5, kC4);
  r.render(512);
  ASSERT_LT(r.out.back(), kC5 - 0.1f);
  r.pc.glideTime = 0.0f;
  EXPECT_FALSE(r.pc.isGliding());
  r.render(256);
  EXPECT_EQ(r.out[512], kC5);
}

TEST(PortamentoTest, NoteOffStopsWhereTheGlideStood) {
  Rig r;
  r.pc.glideTime = 1.0f;
  r.pc.noteOn(kC5, kC4);
  r.render(2048);
  r.pc.noteOff();
  r.render(2048);
  for (int i = 2048; i < 4096; ++i) ASSERT_EQ(r.out[i], r.out[2047]);
}

TEST(PortamentoTest, ResetEndsAGlideAtItsTargetAndKeepsAJumpedPitch) {
  Rig r;
  r.pc.glideTime = 1.0f;
  r.pc.noteOn(kC5, kC4);
  r.render(512);
  r.env.reset();
  EXPECT_FALSE(r.pc.isGliding());
  EXPECT_EQ(r.pc.getCurrentPitch(), kC5);
  // After a jump the pitch is that of the jump, not that of an old glide.
  r.pc.glideTime = 0.0f;
  r.pc.noteOn(kC4);
  r.env.reset();
  EXPECT_EQ(r.pc.getCurrentPitch(), kC4);
}

TEST(PortamentoTest, PitchModulationIsAddedToTheOutput) {
  Rig r;
  r.pc.noteOn(kC4);
  r.pc.pitchModulation.getParameter().setInterpolated(0.5f, 0.0f);
  r.render(256);
  EXPECT_FLOAT_EQ(r.out[0], kC4 + 0.5f);
  r.pc.glideTime = 1.0f;
  r.pc.noteOn(kC5);
  r.render(256);
  EXPECT_NEAR(r.out[256], kC4 + 0.5f, 1e-5f);
  EXPECT_GT(r.out[511], kC4 + 0.5f);
  EXPECT_LT(r.pc.getCurrentPitch(), r.out[511]); // the glide's pitch has no modulation in it
}

TEST(PortamentoTest, MuteCallWritesNothingAndHoldsTheGlide) {
  Rig r;
  r.pc.glideTime = 1.0f;
  r.pc.noteOn(kC5, kC4);
  r.render(256);
  const float before = r.pc.getCurrentPitch();
  r.env.beginBlock();
  r.pc.ownBlock->data[0] = -99.0f;
  r.pc.produce(r.pc.ownBlock, 256, cMuteCall);
  r.env.endBlock(256);
  EXPECT_EQ(r.pc.ownBlock->data[0], -99.0f);
  EXPECT_EQ(r.pc.getCurrentPitch(), before);
}

TEST(PortamentoTest, RenderingAllocatesNothing) {
  Rig r;
  r.out.reserve(1 << 16);
  zarn::test::AllocationCounter counter;
  r.pc.glideTime = 0.05f;
  for (int n = 40; n < 80; ++n) {
    r.pc.noteOn(noteNumberToExpFreq(static_cast<float>(n)));
    r.render(512, 100);
  }
  EXPECT_EQ(counter.count(), 0);
}

// A held note without moving modulation is a constant block, so that the
// pitch chain after it takes its constant paths; a glide or a moving
// modulation is not.
TEST(PortamentoTest, AHeldNoteIsAConstantBlockAndAGlideIsNot) {
  Rig r;
  r.pc.noteOn(kC4);
  r.render(64, 64);
  EXPECT_TRUE(r.pc.constantBlock);
  EXPECT_EQ(r.out[63], kC4);
  r.pc.glideTime = 0.1f;
  r.pc.noteOn(kC5, kC4);
  r.render(64, 64);
  EXPECT_FALSE(r.pc.constantBlock);
  EXPECT_LT(r.out[127], kC5);
  r.render(8192, 64); // past the glide
  EXPECT_TRUE(r.pc.constantBlock);
  EXPECT_EQ(r.out.back(), kC5);
  r.pc.pitchModulation.getParameter().setInterpolated(0.5f, 10.0f);
  r.render(64, 64);
  EXPECT_FALSE(r.pc.constantBlock);
  r.render(4096, 64); // the modulation has settled
  EXPECT_TRUE(r.pc.constantBlock);
  EXPECT_FLOAT_EQ(r.out.back(), kC5 + 0.5f);
}

// A held note is a constant block of its pitch plus the modulation; after a
// block of moving modulation, the same pitch is one value throughout again.
TEST(PortamentoTest, AHeldPitchIsAConstantBlockAgainAfterMovingModulation) {
  Rig r;
  FloatParameterSource modulation(&r.env, 0.0f);
  modulation.parameter.setLimits(-1.0f, 1.0f);
  r.pc.pitchModulation.setController(&modulation);
  r.pc.noteOn(kC4);
  r.render(64, 32);
  EXPECT_TRUE(r.pc.constantBlock);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(r.out[static_cast<size_t>(i)], kC4) << i;
  // The modulation glides up by half an octave in 0.5 ms (22 samples).
  modulation.parameter.setInterpolated(0.5f, 0.5f);
  r.out.clear();
  r.render(32, 32);
  EXPECT_FALSE(r.pc.constantBlock);
  EXPECT_EQ(r.out[0], kC4);
  EXPECT_EQ(r.out[31], kC4 + 0.5f);
  modulation.parameter.setInterpolated(0.0f, 0.0f);
  r.out.clear();
  r.render(64, 32);
  EXPECT_TRUE(r.pc.constantBlock);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(r.out[static_cast<size_t>(i)], kC4) << i;
}
