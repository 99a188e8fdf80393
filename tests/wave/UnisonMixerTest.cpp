#include "tests/support/AllocationCounter.h"
#include "tests/wave/CountingProducers.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/UnisonMixer.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

using zarn::test::AllocationCounter;
using zarn::test::CountingSource;

namespace {

constexpr int cBlock = 32;

struct Rig {
  Rig() : env(cBlock), mixer(&env, 32) {}
  // Renders one block; returns the left and right blocks.
  std::pair<wave::Block*, wave::Block*> render(int n = cBlock) {
    env.beginBlock();
    wave::Block* l = mixer.getOutput(0)->pull(n, 0);
    wave::Block* r = mixer.getOutput(1)->pull(n, 0);
    env.endBlock(n);
    return {l, r};
  }
  wave::Environment env;
  UnisonMixer mixer;
};

// A signal or gain of random values for the order-of-sums tests: one value
// (a constant block) or n values, kept in units.
CountingSource* randomUnit(Rig& rig, std::vector<std::unique_ptr<CountingSource>>& units, std::mt19937& rng,
                           bool constant, int n) {
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  units.push_back(std::make_unique<CountingSource>(&rig.env, value(rng)));
  CountingSource* u = units.back().get();
  u->constantBlock = constant;
  if (!constant)
    for (int i = 0; i < n; ++i) u->values.push_back(value(rng));
  return u;
}

} // namespace

TEST(UnisonMixerTest, NoSourceOutputsTheSilentBlock) {
  Rig rig;
  auto [l, r] = rig.render();
  EXPECT_EQ(l, rig.env.silentBlock);
  EXPECT_EQ(r, rig.env.silentBlock);
}

TEST(UnisonMixerTest, PanAttenuatesTheOppositeSide) {
  Rig rig;
  CountingSource signal(&rig.env, 2.0f);
  wave::FloatParameterSource lg(&rig.env, 0.5f), rg(&rig.env, 0.25f);
  struct Case {
    float pan, left, right;
  } cases[] = {{0.0f, 1.0f, 0.5f}, {1.0f, 0.0f, 0.5f}, {-1.0f, 1.0f, 0.0f}, {0.5f, 0.5f, 0.5f}, {-0.5f, 1.0f, 0.25f}};
  for (const Case& c : cases) {
    rig.mixer.clearAll();
    rig.mixer.addSource(&signal, &lg, &rg, c.pan);
    auto [l, r] = rig.render();
    for (int i = 0; i < cBlock; ++i) {
      EXPECT_FLOAT_EQ(l->data[i], c.left) << "pan " << c.pan;
      EXPECT_FLOAT_EQ(r->data[i], c.right) << "pan " << c.pan;
    }
  }
}

TEST(UnisonMixerTest, CopiesAreSummedWithTheirOwnGains) {
  Rig rig;
  CountingSource a(&rig.env, 1.0f), b(&rig.env, 3.0f);
  wave::FloatParameterSource one(&rig.env, 1.0f), half(&rig.env, 0.5f);
  rig.mixer.addSource(&a, &one, &half, -1.0f); // left 1 x 1, right 1 x 0.5 x 0
  rig.mixer.addSource(&b, &half, &one, 1.0f);  // left 3 x 0.5 x 0, right 3 x 1
  auto [l, r] = rig.render(7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_FLOAT_EQ(l->data[i], 1.0f);
    EXPECT_FLOAT_EQ(r->data[i], 3.0f);
  }
  EXPECT_NE(l, rig.env.silentBlock);
}

// Any number of sounding copies, with gains that move every sample or hold
// one value (a constant block) in any mixture: each side is the sum, in the
// order the copies were added, of signal x gain x pan factor, rounded as
// single-precision arithmetic rounds it one copy after the other.
TEST(UnisonMixerTest, ManyCopiesSumInOrderWithPerSampleOrConstantGains) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (int copies = 1; copies <= 5; ++copies) {
    for (int constantMask = 0; constantMask < (1 << copies); ++constantMask) {
      for (int n : {7, 32}) {
        Rig rig;
        std::vector<std::unique_ptr<CountingSource>> units;
        auto make = [&](bool constant) { return randomUnit(rig, units, rng, constant, n); };
        auto at = [&](size_t unit, int i) {
          const CountingSource& u = *units[unit];
          return u.values.empty() ? u.value : u.values[static_cast<size_t>(i)];
        };
        std::vector<float> pans;
        for (int k = 0; k < copies; ++k) {
          const bool constant = (constantMask >> k) & 1;
          CountingSource* x = make(false);
          CountingSource* lg = make(constant);
          CountingSource* rg = make(constant);
          // Centred copies too: their factors are exactly 1.
          pans.push_back(k == 1 ? 0.0f : value(rng));
          rig.mixer.addSource(x, lg, rg, pans.back());
        }
        auto [l, r] = rig.render(n);
        for (int i = 0; i < n; ++i) {
          float left = 0.0f, right = 0.0f;
          for (int k = 0; k < copies; ++k) {
            const size_t u = static_cast<size_t>(3 * k);
            const float x = at(u, i), lg = at(u + 1, i), rg = at(u + 2, i);
            const float pan = pans[static_cast<size_t>(k)];
            const float lp = x * lg * (pan >= 0.0f ? 1.0f - pan : 1.0f);
            const float rp = x * rg * (pan >= 0.0f ? 1.0f : 1.0f + pan);
            left = k == 0 ? lp : lp + left;
            right = k == 0 ? rp : rp + right;
          }
          ASSERT_EQ(l->data[i], left) << copies << " copies, constant " << constantMask << ", sample " << i
                                      << " of " << n;
          ASSERT_EQ(r->data[i], right) << copies << " copies, constant " << constantMask << ", sample " << i
                                       << " of " << n;
        }
      }
    }
  }
}

// Centred copies with one constant gain for both sides make both sides the
// same samples, and a block after that, where a side differs, has both
// sides right again: each side is the in-order sum of signal x gain x pan
// factor.
TEST(UnisonMixerTest, CentredCopiesWithEqualConstantGainsGiveEqualSides) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (int copies = 1; copies <= 4; ++copies) {
    Rig rig;
    std::vector<std::unique_ptr<CountingSource>> signals;
    std::vector<std::unique_ptr<CountingSource>> gains;
    for (int k = 0; k < copies; ++k) {
      signals.push_back(std::make_unique<CountingSource>(&rig.env));
      for (int i = 0; i < cBlock; ++i) signals.back()->values.push_back(value(rng));
      gains.push_back(std::make_unique<CountingSource>(&rig.env, value(rng)));
      gains.back()->constantBlock = true;
      gains.push_back(std::make_unique<CountingSource>(&rig.env, gains.back()->value));
      gains.back()->constantBlock = true;
      rig.mixer.addSource(signals.back().get(), gains[gains.size() - 2].get(), gains.back().get(), 0.0f);
    }
    auto expected = [&](int side, int i) {
      float sum = 0.0f;
      for (int k = 0; k < copies; ++k) {
        const float p = signals[static_cast<size_t>(k)]->values[static_cast<size_t>(i)] *
                        gains[static_cast<size_t>(2 * k + side)]->value * 1.0f;
        sum = k == 0 ? p : p + sum;
      }
      return sum;
    };
    auto [l, r] = rig.render();
    for (int i = 0; i < cBlock; ++i) {
      ASSERT_EQ(l->data[i], expected(0, i)) << copies << " copies, sample " << i;
      ASSERT_EQ(r->data[i], expected(0, i)) << copies << " copies, sample " << i;
    }
    // The last copy's right gain moves away: the sides part.
    gains.back()->value *= 0.5f;
    auto [l2, r2] = rig.render();
    EXPECT_NE(l2, r2);
    for (int i = 0; i < cBlock; ++i) {
      ASSERT_EQ(l2->data[i], expected(0, i)) << copies << " copies, sample " << i;
      ASSERT_EQ(r2->data[i], expected(1, i)) << copies << " copies, sample " << i;
    }
  }
}

// Centred copies (pan factors of 1) in every mixture with panned ones,
// their two sides reading one gain producer (moving or constant) or two
// producers of their own: each side is still the in-order sum of signal x
// gain x factor.
TEST(UnisonMixerTest, CentredCopiesWithOneGainForBothSidesSumAsAnyOther) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  enum Kind { cOneMoving, cOneConstant, cTwoMoving, cPanned, cKinds };
  for (int copies = 1; copies <= 4; ++copies) {
    int mixtures = 1;
    for (int k = 0; k < copies; ++k) mixtures *= cKinds;
    for (int mixture = 0; mixture < mixtures; ++mixture) {
      Rig rig;
      std::vector<std::unique_ptr<CountingSource>> units;
      auto make = [&](bool constant) { return randomUnit(rig, units, rng, constant, cBlock); };
      struct Copy {
        CountingSource *x, *lg, *rg;
        float pan;
      };
      std::vector<Copy> list;
      for (int k = 0, m = mixture; k < copies; ++k, m /= cKinds) {
        const int kind = m % cKinds;
        CountingSource* x = make(false);
        CountingSource* lg = make(kind == cOneConstant);
        CountingSource* rg = kind == cOneMoving || kind == cOneConstant ? lg : make(false);
        list.push_back({x, lg, rg, kind == cPanned ? value(rng) : 0.0f});
        rig.mixer.addSource(x, lg, rg, list.back().pan);
      }
      auto at = [](const CountingSource* u, int i) {
        return u->values.empty() ? u->value : u->values[static_cast<size_t>(i)];
      };
      auto [l, r] = rig.render();
      for (int i = 0; i < cBlock; ++i) {
        float left = 0.0f, right = 0.0f;
        for (size_t k = 0; k < list.size(); ++k) {
          const Copy& c = list[k];
          const float lp = at(c.x, i) * at(c.lg, i) * (c.pan >= 0.0f ? 1.0f - c.pan : 1.0f);
          const float rp = at(c.x, i) * at(c.rg, i) * (c.pan >= 0.0f ? 1.0f : 1.0f + c.pan);
          left = k == 0 ? lp : lp + left;
          right = k == 0 ? rp : rp + right;
        }
        ASSERT_EQ(l->data[i], left) << copies << " copies, mixture " << mixture << ", sample " << i;
        ASSERT_EQ(r->data[i], right) << copies << " copies, mixture " << mixture << ", sample " << i;
      }
    }
  }
}

TEST(UnisonMixerTest, SilentCopiesAreNeverPulled) {
  Rig rig;
  CountingSource loud(&rig.env, 1.0f), quiet(&rig.env, 5.0f), halfQuiet(&rig.env, 7.0f);
  wave::FloatParameterSource on(&rig.env, 1.0f), off(&rig.env, 0.0f), tiny(&rig.env, 1e-8f);
  rig.mixer.addSource(&quiet, &off, &tiny, 0.0f);
  rig.mixer.addSource(&loud, &on, &on, 0.0f);
  rig.mixer.addSource(&halfQuiet, &off, &on, 0.0f); // one side sounds: pulled
  auto [l, r] = rig.render();
  EXPECT_EQ(quiet.calls, 0);
  EXPECT_EQ(loud.calls, 1);
  EXPECT_EQ(halfQuiet.calls, 1);
  EXPECT_FLOAT_EQ(l->data[0], 1.0f);
  EXPECT_FLOAT_EQ(r->data[0], 8.0f);

  // A gain on its way to zero is not constant: the copy still sounds.
  on.parameter.setInterpolated(0.0f, 10.0f);
  rig.render();
  EXPECT_EQ(loud.calls, 2);
  // Once settled at zero it is skipped, and with every copy silent the
  // outputs are the silent block.
  for (int k = 0; k < 40; ++k) rig.render();
  int calls = loud.calls;
  auto [l2, r2] = rig.render();
  EXPECT_EQ(loud.calls, calls);
  EXPECT_EQ(l2, rig.env.silentBlock);
  EXPECT_EQ(r2, rig.env.silentBlock);
}

TEST(UnisonMixerTest, AMuteCallTouchesNothing) {
  Rig rig;
  CountingSource signal(&rig.env, 1.0f);
  wave::FloatParameterSource one(&rig.env, 1.0f);
  rig.mixer.addSource(&signal, &one, &one, 0.0f);
  rig.mixer.ownBlocks[0]->data[0] = 42.0f;
  rig.env.beginBlock();
  rig.mixer.produceAll(cBlock, wave::cMuteCall);
  rig.env.endBlock(cBlock);
  EXPECT_EQ(signal.calls, 0);
  EXPECT_FALSE(one.isProduced());
  EXPECT_EQ(rig.mixer.getOutput(0)->current->data[0], 42.0f);
}

TEST(UnisonMixerTest, RenderingAndClearingNeverAllocate) {
  Rig rig;
  CountingSource signal(&rig.env, 1.0f);
  wave::FloatParameterSource one(&rig.env, 1.0f);
  rig.render();
  AllocationCounter counter;
  for (int k = 0; k < 32; ++k) rig.mixer.addSource(&signal, &one, &one, k / 31.0f * 2.0f - 1.0f);
  rig.render();
  rig.mixer.clearAll();
  for (int k = 0; k < 32; ++k) rig.mixer.addSource(&signal, &one, &one, 0.0f);
  rig.render();
  EXPECT_EQ(counter.count(), 0);
}
