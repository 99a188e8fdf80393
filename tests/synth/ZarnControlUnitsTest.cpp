// The small control units of the voices: an offset keeps constant inputs on
// the constant path and moving ones per sample, and the block a reader gets
// holds what the mark says, whatever the blocks before held.

#include "synth/ZarnControlUnits.h"
#include "tests/synth/ModulationMatrixTestSupport.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

namespace {

using modmatrixtest::LineSource;

constexpr int kBlock = 32;

// s writes a + b x i, announced as constant or not.
void line(LineSource& s, float a, float b, bool constant) {
  s.a = a;
  s.b = b;
  s.constant = constant;
}

struct OffsetRig {
  OffsetRig() : env(64), input(&env, 0.0f), addend(&env, 0.0f), offset(&env) {
    offset.setInput(&input);
    offset.setAddend(&addend, 0.5f);
    offset.offset = 0.25f;
  }
  // One block; the output and its mark.
  const float* render(bool& constant) {
    env.beginBlock();
    const float* out = offset.pull(kBlock, 0)->data;
    env.endBlock(kBlock);
    constant = offset.constantBlock;
    return out;
  }
  wave::Environment env;
  LineSource input;
  LineSource addend;
  ControlOffset offset;
};

} // namespace

TEST(ZarnControlUnitsTest, AnOffsetOfConstantInputsIsAConstantBlockOfTheirSum) {
  OffsetRig r;
  // Constant inputs: one value, input + offset + 0.5 x addend.
  line(r.input, 3.0f, 0.0f, true);
  line(r.addend, 1.0f, 0.0f, true);
  bool constant = false;
  const float* out = r.render(constant);
  EXPECT_TRUE(constant);
  for (int i = 0; i < kBlock; ++i) ASSERT_EQ(out[i], 3.75f) << i;

  // The addend moves: so does the output, sample by sample.
  line(r.addend, 1.0f, 0.125f, false);
  out = r.render(constant);
  EXPECT_FALSE(constant);
  for (int i = 0; i < kBlock; ++i) ASSERT_EQ(out[i], 3.25f + 0.5f * (1.0f + 0.125f * static_cast<float>(i))) << i;

  // Constant again at the value of the first block: the block that held
  // the ramp holds that value throughout again.
  line(r.addend, 1.0f, 0.0f, true);
  out = r.render(constant);
  EXPECT_TRUE(constant);
  for (int i = 0; i < kBlock; ++i) ASSERT_EQ(out[i], 3.75f) << i;

  // A new value, and the same again in the next block.
  r.input.a = -1.0f;
  for (int k = 0; k < 2; ++k) {
    out = r.render(constant);
    EXPECT_TRUE(constant);
    for (int i = 0; i < kBlock; ++i) ASSERT_EQ(out[i], -0.25f) << k << " " << i;
  }

  // An input announced as varying that happens to hold one value is taken
  // per sample and not marked constant.
  r.input.constant = false;
  out = r.render(constant);
  EXPECT_FALSE(constant);
  for (int i = 0; i < kBlock; ++i) ASSERT_EQ(out[i], -0.25f) << i;
}

// Gains from a level and a pan, and cut-offs from a base and a pan: each
// channel follows its formula sample by sample while an input moves, and
// holds one value in every sample while both are constant, also after a
// moving block.
TEST(ZarnControlUnitsTest, GainsAndCutOffsHoldTheirValueWhileTheirInputsAreConstant) {
  wave::Environment env(64);
  LineSource first(&env, 0.0f), second(&env, 0.0f);
  BalanceGains gains(&env);
  gains.setInputs(&first, &second);
  gains.scale = 0.5f;
  StereoCutoff cutoff(&env);
  cutoff.setInputs(&first, &second);
  cutoff.span = 2.0f;
  auto check = [&](bool constant, const char* what) {
    env.beginBlock();
    const float* gl = gains.getOutput(0)->pull(kBlock, 0)->data;
    const float* gr = gains.getOutput(1)->pull(kBlock, 0)->data;
    const float* cl = cutoff.getOutput(0)->pull(kBlock, 0)->data;
    const float* cr = cutoff.getOutput(1)->pull(kBlock, 0)->data;
    env.endBlock(kBlock);
    EXPECT_EQ(gains.getOutput(0)->constantBlock, constant) << what;
    EXPECT_EQ(cutoff.getOutput(1)->constantBlock, constant) << what;
    for (int i = 0; i < kBlock; ++i) {
      const float x = first.a + first.b * static_cast<float>(i);
      const float p = second.a + second.b * static_cast<float>(i);
      // Pan right lowers the left gain, pan left the right one.
      ASSERT_EQ(gl[i], p > 0.0f ? x * 0.5f * (1.0f - p) : x * 0.5f) << what << " " << i;
      ASSERT_EQ(gr[i], p < 0.0f ? x * 0.5f * (1.0f + p) : x * 0.5f) << what << " " << i;
      ASSERT_EQ(cl[i], x + p * 2.0f) << what << " " << i;
      ASSERT_EQ(cr[i], x - p * 2.0f) << what << " " << i;
    }
  };
  line(first, 0.75f, 0.0f, true);
  line(second, 0.25f, 0.0f, true);
  check(true, "constant");
  line(second, -0.5f, 1.0f / 32.0f, false); // the pan sweeps through the centre
  check(false, "moving pan");
  line(second, 0.25f, 0.0f, true);
  check(true, "constant again");
  line(first, 0.5f, 0.0f, true);
  check(true, "a new level");
  // A centred pan: both cut-offs are the base, moving or not, and the
  // channels part again when the pan leaves the centre.
  line(second, 0.0f, 0.0f, true);
  line(first, 0.5f, 1.0f / 64.0f, false);
  check(false, "centred pan, moving base");
  line(first, 0.5f, 0.0f, true);
  check(true, "centred pan, constant base");
  line(second, 0.25f, 0.0f, true);
  check(true, "off the centre again");
}

// A moving level (an envelope on it) under a held pan, at several pans and
// scales, with constant blocks in between: each side is level x scale x
// the pan's factor in every sample, and a constant block after a moving one
// holds its own value.
TEST(ZarnControlUnitsTest, GainsFollowAMovingLevelUnderAHeldPan) {
  wave::Environment env(64);
  LineSource level(&env, 0.0f), pan(&env, 0.0f);
  BalanceGains gains(&env);
  gains.setInputs(&level, &pan);
  for (float scale : {1.0f, 0.5f}) {
    gains.scale = scale;
    for (float p : {0.0f, 0.25f, -0.5f, 1.5f, -2.0f, 0.0f}) {
      for (bool moving : {true, false, true}) {
        line(level, moving ? 0.125f : 0.375f, moving ? 1.0f / 64.0f : 0.0f, !moving);
        line(pan, p, 0.0f, true);
        env.beginBlock();
        const float* l = gains.getOutput(0)->pull(kBlock, 0)->data;
        const float* r = gains.getOutput(1)->pull(kBlock, 0)->data;
        env.endBlock(kBlock);
        EXPECT_EQ(gains.getOutput(1)->constantBlock, !moving);
        const float q = p > 1.0f ? 1.0f : (p < -1.0f ? -1.0f : p);
        for (int i = 0; i < kBlock; ++i) {
          const float g = (level.a + level.b * static_cast<float>(i)) * scale;
          ASSERT_EQ(l[i], q > 0.0f ? g * (1.0f - q) : g) << scale << " " << p << " " << moving << " " << i;
          ASSERT_EQ(r[i], q < 0.0f ? g * (1.0f + q) : g) << scale << " " << p << " " << moving << " " << i;
        }
      }
    }
  }
}

// Held gains with a centred pan are one value on both sides: both outputs
// may then be one block. Off the centre again, each side holds its own
// value, also where the right side's value is the one it held before the
// centre (its block must not be taken as still holding it if anything
// wrote there in between).
TEST(ZarnControlUnitsTest, HeldGainsKeepTheirSidesApartAcrossACentredPan) {
  wave::Environment env(64);
  LineSource level(&env, 0.0f), pan(&env, 0.0f);
  BalanceGains gains(&env);
  gains.setInputs(&level, &pan);
  line(level, 0.5f, 0.0f, true);
  struct Step {
    float pan;
    float left, right;
  };
  // Expected sides for level 0.5: pan 0.5 right halves the left side,
  // -0.5 halves the right side, the centre leaves both at 0.5.
  const Step steps[] = {{0.5f, 0.25f, 0.5f}, {0.0f, 0.5f, 0.5f},   {-0.5f, 0.5f, 0.25f},
                        {0.0f, 0.5f, 0.5f},  {-0.5f, 0.5f, 0.25f}, {0.5f, 0.25f, 0.5f}};
  for (const Step& s : steps) {
    line(pan, s.pan, 0.0f, true);
    env.beginBlock();
    const wave::Block* l = gains.getOutput(0)->pull(kBlock, 0);
    const wave::Block* r = gains.getOutput(1)->pull(kBlock, 0);
    env.endBlock(kBlock);
    if (s.pan == 0.0f) {
      EXPECT_EQ(l, r) << "a centred pan reads one block for both sides";
    }
    for (int i = 0; i < kBlock; ++i) {
      ASSERT_EQ(l->data[i], s.left) << s.pan << " " << i;
      ASSERT_EQ(r->data[i], s.right) << s.pan << " " << i;
    }
  }
}
