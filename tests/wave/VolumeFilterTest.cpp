#include "wave/Environment.h"
#include "wave/MuteController.h"
#include "wave/Producer.h"
#include "wave/VolumeFilter.h"

#include <gtest/gtest.h>

using namespace wave;

namespace {

// A constant signal that counts how often it rendered.
class Constant : public Source {
public:
  Constant(Environment* env, float v) : Source(env), value(v) {}
  void produce(Block* block, int n, int) override {
    ++renders;
    for (int i = 0; i < n; ++i) block->data[i] = value;
  }
  float value;
  int renders = 0;
};

struct Switch : MuteController {
  bool isMute() override { return mute; }
  bool mute = false;
};

} // namespace

TEST(VolumeFilterTest, ScalesByTheVolumeAndTheEnvelope) {
  Environment env(256);
  Constant in(&env, 0.5f), shape(&env, 0.25f);
  VolumeFilter vf(&env);
  vf.setInput(&in);
  vf.volume.getParameter().setInterpolated(0.8f, 0.0f);
  env.beginBlock();
  Block* b = vf.pull(64);
  for (int i = 0; i < 64; ++i) ASSERT_FLOAT_EQ(b->data[i], 0.4f);
  env.endBlock(64);
  vf.setEnvelopeModulator(&shape);
  env.beginBlock();
  b = vf.pull(64);
  for (int i = 0; i < 64; ++i) ASSERT_FLOAT_EQ(b->data[i], 0.1f);
  env.endBlock(64);
}

TEST(VolumeFilterTest, MuteWritesSilenceWithoutPullingInputOrEnvelope) {
  Environment env(256);
  Constant in(&env, 0.5f), shape(&env, 0.25f);
  VolumeFilter vf(&env);
  Switch sw;
  vf.setInput(&in);
  vf.setEnvelopeModulator(&shape);
  vf.setMuteController(&sw);
  sw.mute = true;
  env.beginBlock();
  Block* b = vf.pull(32);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(b->data[i], 0.0f);
  env.endBlock(32);
  EXPECT_EQ(in.renders, 0);
  EXPECT_EQ(shape.renders, 0);
  sw.mute = false;
  env.beginBlock();
  b = vf.pull(32);
  EXPECT_FLOAT_EQ(b->data[31], 0.125f);
  env.endBlock(32);
  EXPECT_EQ(in.renders, 1);
  EXPECT_EQ(shape.renders, 1);
}

TEST(VolumeFilterTest, WithoutInputTheOutputIsSilent) {
  Environment env(64);
  VolumeFilter vf(&env);
  env.beginBlock();
  Block* b = vf.pull(64);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(b->data[i], 0.0f);
  env.endBlock(64);
}
