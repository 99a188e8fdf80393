#include "tests/support/AllocationCounter.h"
#include "tests/wave/CountingProducers.h"
#include "wave/Environment.h"
#include "wave/MidSideConverter.h"
#include "wave/StereoSpread.h"

#include <gtest/gtest.h>

#include <utility>

using zarn::test::AllocationCounter;
using zarn::test::CountingSource;

namespace {

constexpr int cBlock = 16;

std::pair<wave::Block*, wave::Block*> render(wave::Environment& env, wave::MultiProducer& p, int n = cBlock) {
  env.beginBlock();
  wave::Block* a = p.getOutput(0)->pull(n, 0);
  wave::Block* b = p.getOutput(1)->pull(n, 0);
  env.endBlock(n);
  return {a, b};
}

struct SpreadRig {
  SpreadRig() : env(cBlock), left(&env), right(&env), spread(&env) {
    left.values = {1.0f, 0.3f, -0.7f, 0.0f};
    right.values = {0.0f, 0.5f, 0.2f, -1.0f};
    spread.setInputs(&left, &right);
  }
  // Renders with a constant spread and checks every sample against the
  // expected pair for each input pair.
  template <class F>
  void check(float s, F expected) {
    spread.spread.getParameter().setInterpolated(s, 0.0f);
    auto [o0, o1] = render(env, spread);
    for (int i = 0; i < cBlock; ++i) {
      float l = left.values[static_cast<size_t>(i) % 4], r = right.values[static_cast<size_t>(i) % 4];
      auto [e0, e1] = expected(l, r);
      EXPECT_NEAR(o0->data[i], e0, 1e-6f) << "spread " << s << " sample " << i;
      EXPECT_NEAR(o1->data[i], e1, 1e-6f) << "spread " << s << " sample " << i;
    }
  }
  wave::Environment env;
  CountingSource left, right;
  StereoSpread spread;
};

} // namespace

TEST(StereoSpreadTest, UnitSpreadKeepsTheImage) {
  SpreadRig rig;
  rig.spread.spread.getParameter().setLimits(0.0f, 2.0f);
  rig.check(1.0f, [](float l, float r) { return std::pair{l, r}; });
}

TEST(StereoSpreadTest, ZeroSpreadIsMono) {
  SpreadRig rig;
  rig.check(0.0f, [](float l, float r) { return std::pair{(l + r) / 2, (l + r) / 2}; });
}

TEST(StereoSpreadTest, WideSpreadTradesMidForSide) {
  SpreadRig rig;
  rig.spread.spread.getParameter().setLimits(0.0f, 2.0f);
  rig.check(1.5f, [](float l, float r) {
    float m = (l + r) / 2, s = (l - r) / 2;
    return std::pair{1.5f * s + 0.5f * m, 0.5f * m - 1.5f * s};
  });
  rig.check(2.0f, [](float l, float r) { return std::pair{l - r, r - l}; });
}

TEST(StereoSpreadTest, HalfSpreadNarrowsTheSide) {
  SpreadRig rig;
  rig.left.values = {1.0f};
  rig.right.values = {0.0f};
  rig.check(0.5f, [](float, float) { return std::pair{0.75f, 0.25f}; });
}

TEST(StereoSpreadTest, FollowsASpreadSignalPerSample) {
  SpreadRig rig;
  CountingSource control(&rig.env);
  control.values = {0.0f, 1.0f};
  rig.spread.spread.setController(&control);
  rig.left.values = {1.0f};
  rig.right.values = {0.0f};
  auto [o0, o1] = render(rig.env, rig.spread);
  EXPECT_FLOAT_EQ(o0->data[0], 0.5f);
  EXPECT_FLOAT_EQ(o1->data[0], 0.5f);
  EXPECT_FLOAT_EQ(o0->data[1], 1.0f);
  EXPECT_FLOAT_EQ(o1->data[1], 0.0f);
}

TEST(StereoSpreadTest, MissingInputsAreSilenceAndAMuteCallPullsNothing) {
  wave::Environment env(cBlock);
  StereoSpread spread(&env);
  auto [o0, o1] = render(env, spread);
  EXPECT_EQ(o0->data[0], 0.0f);
  EXPECT_EQ(o1->data[0], 0.0f);

  CountingSource l(&env, 1.0f), r(&env, 1.0f);
  spread.setInputs(&l, &r);
  env.beginBlock();
  spread.produceAll(cBlock, wave::cMuteCall);
  env.endBlock(cBlock);
  EXPECT_EQ(l.calls + r.calls, 0);
  EXPECT_FALSE(spread.spread.output->isProduced());
}

// A source that sounds only while on is true, and otherwise hands on the
// environment's silent block as the voice manager does.
class SwitchedSource : public wave::Source {
public:
  SwitchedSource(wave::Environment* env, float value) : wave::Source(env), value(value) {}
  void produce(wave::Block* block, int n, int) override {
    if (!on) {
      current = env->silentBlock;
      return;
    }
    for (int i = 0; i < n; ++i) block->data[i] = value;
  }
  float value;
  bool on = false;
};

// Silence in, silence out, passed on without computing it while the spread
// stays within [0, 2]; outside, the arithmetic runs (and still gives zeros);
// sound comes through again from the next block on.
TEST(StereoSpreadTest, SilenceInIsHandedOnAndSoundComesBack) {
  wave::Environment env(cBlock);
  SwitchedSource left(&env, 1.0f), right(&env, 0.5f);
  StereoSpread spread(&env);
  spread.setInputs(&left, &right);
  spread.spread.getParameter().setLimits(-1.0f, 3.0f);
  for (float s : {0.0f, 1.0f, 2.0f, 2.5f, -0.5f}) {
    spread.spread.getParameter().setInterpolated(s, 0.0f);
    render(env, spread); // the spread settles
    auto [o0, o1] = render(env, spread);
    EXPECT_EQ(o0 == env.silentBlock && o1 == env.silentBlock, s >= 0.0f && s <= 2.0f) << s;
    for (int i = 0; i < cBlock; ++i) {
      ASSERT_EQ(o0->data[i], 0.0f) << s << " " << i;
      ASSERT_EQ(o1->data[i], 0.0f) << s << " " << i;
    }
  }
  spread.spread.getParameter().setInterpolated(1.0f, 0.0f);
  render(env, spread);
  left.on = right.on = true;
  auto [o0, o1] = render(env, spread);
  // Spread 1 keeps the image.
  for (int i = 0; i < cBlock; ++i) {
    ASSERT_FLOAT_EQ(o0->data[i], 1.0f) << i;
    ASSERT_FLOAT_EQ(o1->data[i], 0.5f) << i;
  }
  for (int i = 0; i < cBlock; ++i) ASSERT_EQ(env.silentBlock->data[i], 0.0f) << i;
}

TEST(StereoSpreadTest, RenderingNeverAllocates) {
  SpreadRig rig;
  render(rig.env, rig.spread);
  AllocationCounter counter;
  for (int k = 0; k < 10; ++k) {
    rig.spread.spread.getParameter().setInterpolated(0.1f * static_cast<float>(k), 3.0f);
    render(rig.env, rig.spread);
  }
  EXPECT_EQ(counter.count(), 0);
}

TEST(MidSideConverterTest, PassThroughHandsOnTheInputBlocks) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f), b(&env, 2.0f);
  MidSideConverter converter(&env);
  converter.setInputs(&a, &b);
  auto [o0, o1] = render(env, converter);
  EXPECT_EQ(o0, a.ownBlock);
  EXPECT_EQ(o1, b.ownBlock);
  converter.setInputs(nullptr, &b);
  EXPECT_EQ(render(env, converter).first, env.silentBlock);
}

TEST(MidSideConverterTest, ToMidSideAndBackGivesThePairBack) {
  wave::Environment env(cBlock);
  CountingSource l(&env), r(&env);
  l.values = {1.0f, -0.25f, 0.5f, 0.0f};
  r.values = {0.0f, 0.75f, 0.5f, -1.0f};
  MidSideConverter toMidSide(&env), toLeftRight(&env);
  toMidSide.setInputs(&l, &r);
  toMidSide.setMode(MidSideConverter::cToMidSide);
  toLeftRight.setInputs(toMidSide.getOutput(0), toMidSide.getOutput(1));
  toLeftRight.setMode(MidSideConverter::cToLeftRight);

  env.beginBlock();
  wave::Block* mid = toMidSide.getOutput(0)->pull(cBlock, 0);
  wave::Block* side = toMidSide.getOutput(1)->pull(cBlock, 0);
  wave::Block* l2 = toLeftRight.getOutput(0)->pull(cBlock, 0);
  wave::Block* r2 = toLeftRight.getOutput(1)->pull(cBlock, 0);
  env.endBlock(cBlock);
  for (int i = 0; i < cBlock; ++i) {
    float lv = l.values[static_cast<size_t>(i) % 4], rv = r.values[static_cast<size_t>(i) % 4];
    EXPECT_FLOAT_EQ(mid->data[i], (lv + rv) / 2);
    EXPECT_FLOAT_EQ(side->data[i], (lv - rv) / 2);
    EXPECT_FLOAT_EQ(l2->data[i], lv);
    EXPECT_FLOAT_EQ(r2->data[i], rv);
  }
  EXPECT_EQ(l.calls, 1); // rendered once for both converters
  // Any mode but 0 and 1 converts back.
  toLeftRight.setMode(-3);
  auto [l3, r3] = render(env, toLeftRight);
  EXPECT_FLOAT_EQ(l3->data[1], -0.25f);
  EXPECT_FLOAT_EQ(r3->data[1], 0.75f);
}
