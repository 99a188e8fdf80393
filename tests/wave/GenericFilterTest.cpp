#include "tests/support/AllocationCounter.h"
#include "tests/wave/FilterFft.h"
#include "wave/Environment.h"
#include "wave/GenericFilter.h"
#include "wave/StateVariableFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

using zarn::test::SignalSource;

namespace {

constexpr int kMaxBlock = 256;

// Doubles its input and remembers how it was called; tells when the
// filter copies a response or slope into it.
class DoublingUnit : public GenericFilter::FilterUnit, public PropertyOwner {
public:
  explicit DoublingUnit(wave::Environment* env) : FilterUnit(env) {
    response.setOwner(this);
    slope.setOwner(this);
  }
  void filter(const float* in, float* out, const float*, const float*, const float* peakScale, int count,
              bool constant) override {
    ++calls;
    lastPeakScale = peakScale;
    lastConstant = constant;
    for (int i = 0; i < count; ++i) out[i] = 2.0f * in[i];
  }
  bool isResponseSupported(GenericFilter::Response) override { return true; }
  bool isSlopeSupported(GenericFilter::Slope) override { return true; }
  void resetState() override { ++resets; }
  void propertyChange(const AbstractProperty*) override { ++settingChanges; }

  int calls = 0;
  int resets = 0;
  int settingChanges = 0;
  const float* lastPeakScale = nullptr;
  bool lastConstant = false;
};

// Counts the four-lane passes and the coefficient updates.
class CountingUnit : public StateVariableFilter {
public:
  using StateVariableFilter::StateVariableFilter;
  void filterParallel(int count) override {
    ++passes;
    StateVariableFilter::filterParallel(count);
  }
  void customize(float frequency, float peak, float& dampInput, float& cubicDamping, float& clipScale) override {
    ++updates;
    StateVariableFilter::customize(frequency, peak, dampInput, cubicDamping, clipScale);
  }
  int passes = 0;
  int updates = 0;
};

// Negative damping: rings on for ever once excited.
class RingingUnit : public StateVariableFilter {
public:
  using StateVariableFilter::StateVariableFilter;
  void customize(float, float, float& dampInput, float& cubicDamping, float& clipScale) override {
    dampInput = 1.5f;
    cubicDamping = 0.0f;
    clipScale = 0.1f;
  }
};

class MuteSwitch : public wave::MuteController {
public:
  bool isMute() override { return mute; }
  bool mute = false;
};

// A mute switch that, while not muted, stays so when its voice is pulled
// unless told that it may not.
class SteadySwitch : public MuteSwitch {
public:
  bool mayMuteWhenPulled() override { return mayMute; }
  bool mayMute = false;
};

struct Graph {
  Graph() : env(kMaxBlock) { env.setSampleRate(48000.0f); }
  // Pulls each producer in one block.
  template <class... P>
  void render(int n, P*... producers) {
    env.beginBlock();
    (producers->pull(n, 0), ...);
    env.endBlock(n);
  }
  wave::Environment env;
};

std::vector<float> noise(int n, unsigned seed, float amplitude) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-amplitude, amplitude);
  std::vector<float> x(static_cast<size_t>(n));
  for (float& v : x) v = d(rng);
  return x;
}

// Filters on one shared unit beside the same filters each on a unit of its
// own, lane l of both fed the same noise (seed + l).
template <class Unit>
struct LanesBesideOwnUnits {
  LanesBesideOwnUnits(wave::Environment* env, int lanes, int samples, unsigned seed) : shared(env) {
    for (int l = 0; l < lanes; ++l) {
      src.push_back(std::make_unique<SignalSource>(env));
      src[l]->signal = noise(samples, seed + static_cast<unsigned>(l), 0.5f);
      own.push_back(std::make_unique<Unit>(env));
      lane.push_back(std::make_unique<GenericFilter>(env));
      single.push_back(std::make_unique<GenericFilter>(env));
      lane[l]->setParallelFilter(&shared);
      single[l]->setFilter(own[l].get());
      for (GenericFilter* f : {lane[l].get(), single[l].get()}) f->setInput(src[l].get());
    }
  }
  Unit shared;
  std::vector<std::unique_ptr<SignalSource>> src;
  std::vector<std::unique_ptr<Unit>> own;
  std::vector<std::unique_ptr<GenericFilter>> lane, single;
};

} // namespace

// ---------------------------------------------------------------------------
// One filter on its own unit

TEST(GenericFilterTest, MixDecidesBetweenDryFilteredAndTheirBlend) {
  Graph g;
  SignalSource src(&g.env);
  src.signal = noise(1024, 1, 0.5f);
  DoublingUnit unit(&g.env);
  GenericFilter f(&g.env);
  f.setInput(&src);
  f.setFilter(&unit);

  // Mix 1: the unit's output, as it stands.
  g.render(64, &f);
  EXPECT_EQ(f.current, f.ownBlock);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(f.current->data[i], 2.0f * src.signal[i]);

  // Mix 0.5: the mean of dry and filtered.
  f.mix.setInterpolated(0.5f, 0.0f);
  g.render(64, &f);
  for (int i = 0; i < 64; ++i) ASSERT_FLOAT_EQ(f.current->data[i], 1.5f * src.signal[64 + i]);

  // Mix 0: the input itself, with no filtering work.
  f.mix.setInterpolated(0.0f, 0.0f);
  const int calls = unit.calls;
  g.render(64, &f);
  EXPECT_EQ(f.current, src.current);
  EXPECT_FALSE(f.isActive());
  EXPECT_EQ(unit.calls, calls);

  // A glide of the mix blends sample by sample.
  f.mix.setInterpolated(1.0f, 1.0f); // 48 samples
  g.render(64, &f);
  EXPECT_TRUE(f.isActive());
  EXPECT_EQ(unit.calls, calls + 1);
  const float* y = f.current->data;
  const float* x = src.signal.data() + 192;
  EXPECT_NEAR(y[0], x[0], 1e-6);
  EXPECT_NEAR(y[24], 1.5f * x[24], 0.05f * std::fabs(x[24]) + 1e-6);
  EXPECT_FLOAT_EQ(y[63], 2.0f * x[63]);
}

TEST(GenericFilterTest, SettingsReachTheUnitOncePerChange) {
  Graph g;
  SignalSource src(&g.env);
  DoublingUnit unit(&g.env);
  GenericFilter f(&g.env);
  f.setInput(&src);
  f.setFilter(&unit);
  g.render(32, &f);
  EXPECT_EQ(unit.settingChanges, 0); // the defaults agree
  EXPECT_TRUE(unit.lastConstant);
  f.response = GenericFilter::cBandPass;
  f.slope = GenericFilter::c24dB;
  g.render(32, &f);
  EXPECT_EQ(unit.response.get(), GenericFilter::cBandPass);
  EXPECT_EQ(unit.slope.get(), GenericFilter::c24dB);
  EXPECT_EQ(unit.settingChanges, 2);
  g.render(32, &f);
  EXPECT_EQ(unit.settingChanges, 2);

  // A cut-off glide makes the block not constant.
  f.frequency.getParameter().setInterpolated(10.0f, 20.0f);
  g.render(32, &f);
  EXPECT_FALSE(unit.lastConstant);
}

TEST(GenericFilterTest, PeakModulationScalesOnlyWhileEnabled) {
  Graph g;
  SignalSource src(&g.env), modulator(&g.env);
  modulator.signal.assign(256, 0.5f);
  DoublingUnit unit(&g.env);
  GenericFilter f(&g.env);
  f.setInput(&src);
  f.setFilter(&unit);
  f.setPeakMuteController(&modulator);
  g.render(32, &f);
  EXPECT_EQ(unit.lastPeakScale, nullptr);
  f.setPeakModulationEnabled(true);
  g.render(32, &f);
  ASSERT_NE(unit.lastPeakScale, nullptr);
  EXPECT_EQ(unit.lastPeakScale, modulator.current->data);
}

TEST(GenericFilterTest, WithoutUnitOrInputTheFilterPasses) {
  Graph g;
  SignalSource src(&g.env);
  src.signal.assign(64, 0.25f);
  GenericFilter bare(&g.env);
  bare.setInput(&src);
  g.render(32, &bare);
  EXPECT_EQ(bare.current, src.current);

  DoublingUnit unit(&g.env);
  GenericFilter unfed(&g.env);
  unfed.setFilter(&unit);
  g.render(32, &unfed);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(unfed.current->data[i], 0.0f);
}

TEST(GenericFilterTest, ResetReachesTheUnitInUse) {
  Graph g;
  DoublingUnit own(&g.env);
  CountingUnit shared(&g.env);
  GenericFilter f(&g.env);
  f.setFilter(&own);
  g.env.reset();
  EXPECT_EQ(own.resets, 1);

  // On a shared unit the reset clears the shared states.
  SignalSource src(&g.env);
  src.signal.assign(256, 0.5f);
  f.setInput(&src);
  f.setParallelFilter(&shared);
  g.render(64, &f);
  EXPECT_NE(shared.getLowState(0), 0.0f);
  g.env.reset();
  EXPECT_EQ(own.resets, 1);
  EXPECT_EQ(shared.getLowState(0), 0.0f);
}

// ---------------------------------------------------------------------------
// Filters sharing one unit

TEST(GenericFilterTest, LanesFollowTheOrderOfJoining) {
  Graph g;
  StateVariableFilter unit(&g.env);
  GenericFilter a(&g.env), b(&g.env), c(&g.env);
  a.setParallelFilter(&unit);
  b.setParallelFilter(&unit);
  c.setParallelFilter(&unit);
  ASSERT_EQ(unit.getFilterCount(), 3);
  EXPECT_EQ(unit.getFilter(1), &b);

  unit.removeFilter(&b);
  EXPECT_EQ(unit.getFilterCount(), 2);
  EXPECT_EQ(unit.getFilter(1), &c);

  // Taking an own unit leaves the shared one; so does going away.
  DoublingUnit own(&g.env);
  a.setFilter(&own);
  EXPECT_EQ(unit.getFilter(0), &c);
  EXPECT_EQ(a.getParallelFilter(), nullptr);
  {
    GenericFilter d(&g.env);
    d.setParallelFilter(&unit);
    EXPECT_EQ(unit.getFilterCount(), 2);
  }
  EXPECT_EQ(unit.getFilterCount(), 1);
  // Moving to another unit leaves the first.
  StateVariableFilter other(&g.env);
  c.setParallelFilter(&other);
  EXPECT_EQ(unit.getFilterCount(), 0);
  EXPECT_EQ(other.getFilter(0), &c);
  // A unit that goes first is forgotten by its filters.
  {
    StateVariableFilter brief(&g.env);
    b.setParallelFilter(&brief);
  }
  EXPECT_EQ(b.getParallelFilter(), nullptr);
  c.setParallelFilter(nullptr);
}

TEST(GenericFilterTest, OnePassServesEveryFilterOfTheUnit) {
  Graph g;
  CountingUnit unit(&g.env);
  SignalSource src[3] = {SignalSource(&g.env), SignalSource(&g.env), SignalSource(&g.env)};
  std::unique_ptr<GenericFilter> f[3];
  for (int l = 0; l < 3; ++l) {
    src[l].signal = noise(512, 10 + l, 0.5f);
    f[l] = std::make_unique<GenericFilter>(&g.env);
    f[l]->setInput(&src[l]);
    f[l]->setParallelFilter(&unit);
    f[l]->frequency.getParameter().setInterpolated(10.0f, 0.0f);
  }
  g.render(64, f[1].get(), f[0].get(), f[2].get());
  EXPECT_EQ(unit.passes, 1);
  EXPECT_EQ(unit.updates, 3); // one run, three active lanes
  for (int l = 0; l < 3; ++l) EXPECT_EQ(f[l]->current, unit.getLaneOutput(l));
  g.render(64, f[2].get(), f[0].get());
  EXPECT_EQ(unit.passes, 2);
}

TEST(GenericFilterTest, MutedFilterOnASharedUnitCostsNothingAndIsSilent) {
  Graph g;
  CountingUnit unit(&g.env);
  SignalSource a(&g.env), b(&g.env);
  a.signal = noise(512, 3, 0.5f);
  b.signal = noise(512, 4, 0.5f);
  GenericFilter fa(&g.env), fb(&g.env);
  fa.setInput(&a);
  fb.setInput(&b);
  fa.setParallelFilter(&unit);
  fb.setParallelFilter(&unit);
  MuteSwitch mute;
  fb.setMuteController(&mute);

  g.render(64, &fa, &fb);
  EXPECT_EQ(unit.updates, 2);
  mute.mute = true;
  const int pulls = b.calls;
  g.render(64, &fa, &fb);
  EXPECT_EQ(unit.updates, 3); // lane 0 only
  EXPECT_EQ(b.calls, pulls);  // its input was not pulled
  for (int i = 0; i < 64; ++i) EXPECT_EQ(fb.current->data[i], 0.0f);

  // Both muted: no pass of the kernels, both silent.
  MuteSwitch muteA;
  muteA.mute = true;
  fa.setMuteController(&muteA);
  g.render(64, &fa, &fb);
  EXPECT_EQ(unit.updates, 3);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(fa.current->data[i], 0.0f);
    EXPECT_EQ(fb.current->data[i], 0.0f);
  }
}

TEST(GenericFilterTest, SilencedLaneDoesNotRingIntoTheNextNote) {
  // A self-oscillating characteristic rings on after its input stops. A
  // lane that goes quiet (muted voice, or mix 0) must not carry that
  // ringing, on stale coefficients, into the next note.
  for (int way = 0; way < 2; ++way) {
    Graph g;
    RingingUnit unit(&g.env);
    SignalSource a(&g.env), b(&g.env);
    a.signal = noise(4096, 5, 0.3f);
    b.signal.assign(1, 0.5f); // one impulse, then silence
    GenericFilter fa(&g.env), fb(&g.env);
    fa.setInput(&a);
    fb.setInput(&b);
    fa.setParallelFilter(&unit);
    fb.setParallelFilter(&unit);
    MuteSwitch mute;
    fb.setMuteController(&mute);
    for (GenericFilter* f : {&fa, &fb}) f->frequency.getParameter().setInterpolated(11.0f, 0.0f);

    g.render(128, &fa, &fb);
    double energy = 0.0;
    for (int i = 0; i < 128; ++i) energy += std::fabs(fb.current->data[i]);
    ASSERT_GT(energy, 1.0) << "the lane rings";

    if (way == 0)
      mute.mute = true;
    else
      fb.mix.setInterpolated(0.0f, 0.0f);
    g.render(128, &fa, &fb);
    if (way == 0)
      mute.mute = false;
    else
      fb.mix.setInterpolated(1.0f, 0.0f);

    g.render(128, &fa, &fb);
    // Silence in, silence out (up to the soft clipper's own offset at 0,
    // some -100 dB).
    for (int i = 0; i < 128; ++i)
      ASSERT_LT(std::fabs(fb.current->data[i]), 1e-4f) << (way == 0 ? "mute " : "mix ") << i;
    // The other lane went on all the while.
    double other = 0.0;
    for (int i = 0; i < 128; ++i) other += std::fabs(fa.current->data[i]);
    EXPECT_GT(other, 1.0);
  }
}

TEST(GenericFilterTest, FourLanePassEqualsOneFilterPerLane) {
  const int n = 203; // runs and groups of four that do not fit the block
  for (int slope : {1, 2})
    for (int r : {0, 1, 2}) {
      Graph g;
      LanesBesideOwnUnits<StateVariableFilter> rig(&g.env, 4, 16 * n, 20);
      auto& lane = rig.lane;
      auto& single = rig.single;
      const float cutoffs[4] = {8.0f, 9.5f, 11.0f, 12.5f};
      const float peaks[4] = {0.1f, 0.5f, 0.8f, 0.97f};
      for (int l = 0; l < 4; ++l) {
        for (GenericFilter* f : {lane[l].get(), single[l].get()}) {
          f->response = GenericFilter::Response(r);
          f->slope = GenericFilter::Slope(slope);
          f->frequency.getParameter().setInterpolated(cutoffs[l], 0.0f);
          f->peak.getParameter().setInterpolated(peaks[l], 0.0f);
        }
      }
      for (int b = 0; b < 16; ++b) {
        if (b == 4)
          for (int l : {1, 3})
            for (GenericFilter* f : {lane[l].get(), single[l].get()})
              f->frequency.getParameter().setInterpolated(cutoffs[l] + 1.5f, 6.0f);
        g.env.beginBlock();
        for (int l = 0; l < 4; ++l) {
          const wave::Block* x = lane[l]->pull(n, 0);
          const wave::Block* y = single[l]->pull(n, 0);
          for (int i = 0; i < n; ++i)
            ASSERT_NEAR(x->data[i], y->data[i], 2e-5) << "slope " << slope << " response " << r << " lane " << l
                                                      << " block " << b << " sample " << i;
        }
        g.env.endBlock(n);
      }
    }
}

namespace {

// A characteristic whose values depend on nothing but cut-off, peak and a
// setting counted in its stamp: the eight-lane pass may take a group's
// values of the last block again.
class StampedUnit : public StateVariableFilter {
public:
  using StateVariableFilter::StateVariableFilter;
  void customize(float, float peak, float& dampInput, float& cubicDamping, float& clipScale) override {
    dampInput = peak * 0.9f;
    cubicDamping = 0.0f;
    clipScale = clip;
  }
  uint64_t customizeStamp() const override { return edits; }
  // Changing clip counts an edit.
  void setClip(float c) {
    clip = c;
    ++edits;
  }

private:
  float clip = 0.1f;
  uint64_t edits = 1;
};

} // namespace

TEST(GenericFilterTest, HeldLanesHearEveryChangeInTheBlockItIsMade) {
  // Eight lanes held at constant settings, then one thing changed at a
  // time: each lane must give what a filter of its own gives in every
  // block, the block of the change first.
  const int n = 64;
  Graph g;
  LanesBesideOwnUnits<StampedUnit> rig(&g.env, 8, 40 * n, 40);
  StampedUnit& shared = rig.shared;
  auto& own = rig.own;
  auto& lane = rig.lane;
  auto& single = rig.single;
  for (int l = 0; l < 8; ++l) {
    for (GenericFilter* f : {lane[l].get(), single[l].get()}) {
      f->slope = GenericFilter::c24dB;
      f->frequency.getParameter().setInterpolated(9.0f + 0.4f * static_cast<float>(l), 0.0f);
      f->peak.getParameter().setInterpolated(0.6f, 0.0f);
    }
  }
  SignalSource halfPeak(&g.env);
  halfPeak.signal.assign(80 * n, 0.5f);
  for (GenericFilter* f : {lane[5].get(), single[5].get()}) f->setPeakMuteController(&halfPeak);
  auto both = [&](int l, auto change) {
    change(*lane[l]);
    change(*single[l]);
  };
  for (int b = 0; b < 40; ++b) {
    const char* what = "held";
    switch (b) {
    case 4: // one lane's cut-off jumps
      both(6, [](GenericFilter& f) { f.frequency.getParameter().setInterpolated(12.0f, 0.0f); });
      what = "cut-off";
      break;
    case 8: // one lane's peak
      both(1, [](GenericFilter& f) { f.peak.getParameter().setInterpolated(0.95f, 0.0f); });
      what = "peak";
      break;
    case 12: // a lane falls silent (mix 0) ...
      both(3, [](GenericFilter& f) { f.mix.setInterpolated(0.0f, 0.0f); });
      what = "mix 0";
      break;
    case 16: // ... and sounds again with another cut-off
      both(3, [](GenericFilter& f) {
        f.mix.setInterpolated(1.0f, 0.0f);
        f.frequency.getParameter().setInterpolated(8.0f, 0.0f);
      });
      own[3]->resetState(); // a silenced lane starts from rest
      what = "mix 1";
      break;
    case 20: // the slope of every lane, down and (after a change made
             // with one stage) up again
      for (int l = 0; l < 8; ++l) both(l, [](GenericFilter& f) { f.slope = GenericFilter::c12dB; });
      what = "slope";
      break;
    case 21:
      both(2, [](GenericFilter& f) { f.peak.getParameter().setInterpolated(0.3f, 0.0f); });
      what = "peak with one stage";
      break;
    case 22:
      for (int l = 0; l < 8; ++l) both(l, [](GenericFilter& f) { f.slope = GenericFilter::c24dB; });
      what = "slope";
      break;
    case 24: // the characteristic is edited
      shared.setClip(0.3f);
      for (auto& u : own) u->setClip(0.3f);
      what = "characteristic";
      break;
    case 28: // a lane's peak modulated for a block (runs of their own),
             // then held as before
      both(5, [](GenericFilter& f) { f.setPeakModulationEnabled(true); });
      what = "peak modulation";
      break;
    case 29:
      both(5, [](GenericFilter& f) { f.setPeakModulationEnabled(false); });
      what = "peak modulation off";
      break;
    case 36: // the sample rate
      g.env.setSampleRate(44100.0f);
      what = "rate";
      break;
    }
    g.env.beginBlock();
    for (int l = 0; l < 8; ++l) {
      const wave::Block* x = lane[l]->pull(n, 0);
      const wave::Block* y = single[l]->pull(n, 0);
      for (int i = 0; i < n; ++i)
        ASSERT_NEAR(x->data[i], y->data[i], 2e-5) << what << ": lane " << l << " block " << b << " sample " << i;
    }
    g.env.endBlock(n);
  }
}

// Two units as a pair (two sets of four voices): every filter gives, to the
// bit, what it gives on a unit of its own, whichever unit is asked first; a
// filter on one unit that is muted, or may be muted by its voice's pull,
// keeps that unit out of the other's pass, and a pair filters once per
// block where it goes along.
TEST(GenericFilterTest, PairedUnitsGiveWhatEachGivesAlone) {
  const int n = 61; // runs and groups of four that do not fit the block
  const int lanes = 2 * GenericFilter::ParallelFilterUnit::cLanes;
  for (int slope : {1, 2}) {
    Graph g;
    CountingUnit a(&g.env), b(&g.env), soloA(&g.env), soloB(&g.env);
    a.pairWith(&b);
    EXPECT_EQ(b.getPartner(), &a);
    std::vector<std::unique_ptr<SignalSource>> src;
    std::vector<std::unique_ptr<GenericFilter>> paired, solo;
    std::vector<SteadySwitch> mutes(lanes);
    for (int l = 0; l < lanes; ++l) {
      src.push_back(std::make_unique<SignalSource>(&g.env));
      src[l]->signal = noise(16 * n, 40 + l, 0.8f);
      paired.push_back(std::make_unique<GenericFilter>(&g.env));
      solo.push_back(std::make_unique<GenericFilter>(&g.env));
      const bool first = l < lanes / 2;
      paired[l]->setParallelFilter(first ? &a : &b);
      solo[l]->setParallelFilter(first ? &soloA : &soloB);
      for (GenericFilter* f : {paired[l].get(), solo[l].get()}) {
        f->setInput(src[l].get());
        f->setMuteController(&mutes[l]);
        f->slope = GenericFilter::Slope(slope);
        f->frequency.getParameter().setInterpolated(7.5f + 0.4f * static_cast<float>(l), 0.0f);
        f->peak.getParameter().setInterpolated(0.05f * static_cast<float>(l % 10) + 0.5f, 0.0f);
      }
    }
    for (int block = 0; block < 16; ++block) {
      if (block == 4)
        for (int l : {1, 6, 9, 14})
          for (GenericFilter* f : {paired[l].get(), solo[l].get()})
            f->frequency.getParameter().setInterpolated(9.0f, 5.0f);
      // Blocks 6 to 8 lane 9 (on b) is muted, blocks 10 and 11 lane 2 (on
      // a); in blocks 12 and 13 lane 12 (on b) may be muted by its pull.
      mutes[9].mute = block >= 6 && block <= 8;
      mutes[2].mute = block >= 10 && block <= 11;
      mutes[12].mayMute = block >= 12 && block <= 13;
      const int before = a.passes + b.passes;
      g.env.beginBlock();
      std::vector<const wave::Block*> x(lanes), y(lanes);
      for (int k = 0; k < lanes; ++k) {
        // Odd blocks ask b first.
        const int l = block % 2 ? (k + lanes / 2) % lanes : k;
        x[l] = mutes[l].mute ? nullptr : paired[l]->pull(n, 0);
      }
      for (int l = 0; l < lanes; ++l) y[l] = mutes[l].mute ? nullptr : solo[l]->pull(n, 0);
      for (int l = 0; l < lanes; ++l) {
        if (!x[l]) continue;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(x[l]->data[i], y[l]->data[i]) << "slope " << slope << " block " << block << " lane " << l
                                                  << " sample " << i;
        // Filtered: not the input.
        EXPECT_NE(x[l]->data[n / 2], src[l]->signal[static_cast<size_t>(block * n + n / 2)]);
      }
      g.env.endBlock(n);
      const int now = a.passes + b.passes - before;
      // The unit asked first takes the other along unless one of the
      // other's filters is muted or may be.
      const bool otherMuted = block % 2 ? (block >= 10 && block <= 11) : (block >= 6 && block <= 8) || block == 12;
      // Without the 256-bit unit each unit runs alone.
      EXPECT_EQ(now, otherMuted || !vectorFilterWideAvailable() ? 2 : 1) << "block " << block;
    }
  }
  // Unpairing reaches both.
  Graph g;
  StateVariableFilter c(&g.env), d(&g.env);
  c.pairWith(&d);
  d.pairWith(nullptr);
  EXPECT_EQ(c.getPartner(), nullptr);
}

// Two pairs joined as neighbours (sixteen voices): every filter gives, to
// the bit, what it gives on a unit of its own, whichever unit is asked
// first, while the pairs share a pass, while a muted lane keeps one unit of
// the other pair out and while the pairs' slopes differ; one unit asked
// takes all four along where the processor allows it.
TEST(GenericFilterTest, NeighbouringPairsGiveWhatEachGivesAlone) {
  const int n = 45; // ends inside the kernel's chunks and groups of four
  constexpr int kUnits = 4;
  const int lanes = kUnits * GenericFilter::ParallelFilterUnit::cLanes;
  Graph g;
  std::vector<std::unique_ptr<CountingUnit>> joined, solo;
  for (int u = 0; u < kUnits; ++u) {
    joined.push_back(std::make_unique<CountingUnit>(&g.env));
    solo.push_back(std::make_unique<CountingUnit>(&g.env));
  }
  joined[0]->pairWith(joined[1].get());
  joined[2]->pairWith(joined[3].get());
  joined[0]->joinPairs(joined[2].get());
  joined[1]->joinPairs(joined[3].get());
  EXPECT_EQ(joined[2]->getNeighbour(), joined[0].get());
  std::vector<std::unique_ptr<SignalSource>> src;
  std::vector<std::unique_ptr<GenericFilter>> fj, fs;
  std::vector<SteadySwitch> mutes(lanes);
  for (int l = 0; l < lanes; ++l) {
    src.push_back(std::make_unique<SignalSource>(&g.env));
    src[l]->signal = noise(12 * n, 70 + l, 0.8f);
    fj.push_back(std::make_unique<GenericFilter>(&g.env));
    fs.push_back(std::make_unique<GenericFilter>(&g.env));
    fj[l]->setParallelFilter(joined[l / 8].get());
    fs[l]->setParallelFilter(solo[l / 8].get());
    for (GenericFilter* f : {fj[l].get(), fs[l].get()}) {
      f->setInput(src[l].get());
      f->setMuteController(&mutes[l]);
      f->slope = GenericFilter::c24dB;
      f->frequency.getParameter().setInterpolated(7.0f + 0.15f * static_cast<float>(l), 0.0f);
      f->peak.getParameter().setInterpolated(0.03f * static_cast<float>(l % 13) + 0.5f, 0.0f);
    }
  }
  for (int block = 0; block < 12; ++block) {
    if (block == 2) // cut-offs moving on some lanes: runs of their own
      for (int l : {3, 17, 26, 30})
        for (GenericFilter* f : {fj[l].get(), fs[l].get()}) f->frequency.getParameter().setInterpolated(9.5f, 4.0f);
    // Blocks 4 and 5 lane 20 (on the third unit) is muted; blocks 6 and 7
    // the second pair runs at 12 dB.
    mutes[20].mute = block == 4 || block == 5;
    const GenericFilter::Slope slope = block == 6 || block == 7 ? GenericFilter::c12dB : GenericFilter::c24dB;
    for (int l = 16; l < lanes; ++l)
      for (GenericFilter* f : {fj[l].get(), fs[l].get()}) f->slope = slope;
    int before = 0;
    for (auto& u : joined) before += u->passes;
    g.env.beginBlock();
    std::vector<const wave::Block*> x(lanes), y(lanes);
    for (int k = 0; k < lanes; ++k) {
      // Odd blocks ask the second pair first.
      const int l = block % 2 ? (k + lanes / 2) % lanes : k;
      x[l] = mutes[l].mute ? nullptr : fj[l]->pull(n, 0);
    }
    for (int l = 0; l < lanes; ++l) y[l] = mutes[l].mute ? nullptr : fs[l]->pull(n, 0);
    for (int l = 0; l < lanes; ++l) {
      if (!x[l]) continue;
      for (int i = 0; i < n; ++i)
        ASSERT_EQ(x[l]->data[i], y[l]->data[i]) << "block " << block << " lane " << l << " sample " << i;
    }
    g.env.endBlock(n);
    int now = -before;
    for (auto& u : joined) now += u->passes;
    // A muted lane on the third unit keeps it out of a pass begun on the
    // first pair (it then runs on its own when asked); a pass begun on it
    // takes the others along.
    const bool keptOut = mutes[20].mute && block % 2 == 0;
    const int expected = !vectorFilterWideAvailable() ? 4 : keptOut ? 2 : 1;
    EXPECT_EQ(now, expected) << "block " << block;
  }
  // A unit that goes leaves its neighbour unlinked.
  joined[3].reset();
  EXPECT_EQ(joined[1]->getNeighbour(), nullptr);
}

TEST(GenericFilterTest, AFilterPastTheLastLanePassesItsInput) {
  Graph g;
  StateVariableFilter unit(&g.env);
  SignalSource src(&g.env);
  src.signal.assign(64, 0.5f);
  std::vector<std::unique_ptr<GenericFilter>> f;
  for (int l = 0; l <= GenericFilter::ParallelFilterUnit::cLanes; ++l) {
    f.push_back(std::make_unique<GenericFilter>(&g.env));
    f[l]->setInput(&src);
    f[l]->setParallelFilter(&unit);
  }
  GenericFilter* past = f.back().get();
  g.render(32, past);
  EXPECT_EQ(past->current, src.current);
  EXPECT_TRUE(f[0]->isProduced());
}

TEST(GenericFilterTest, RenderingAllocatesNothing) {
  Graph g;
  StateVariableFilter shared(&g.env), own(&g.env);
  SignalSource a(&g.env), b(&g.env);
  a.signal = noise(4096, 8, 0.5f);
  b.signal = noise(4096, 9, 0.5f);
  GenericFilter fa(&g.env), fb(&g.env), fc(&g.env);
  fa.setInput(&a);
  fb.setInput(&b);
  fc.setInput(&a);
  fa.setParallelFilter(&shared);
  fb.setParallelFilter(&shared);
  fc.setFilter(&own);
  fb.slope = GenericFilter::c24dB;
  fc.response = GenericFilter::cBandPass;
  fa.frequency.getParameter().setInterpolated(9.0f, 50.0f);
  fc.mix.setInterpolated(0.5f, 2.0f);

  zarn::test::AllocationCounter counter;
  for (int block = 0; block < 8; ++block) g.render(kMaxBlock, &fa, &fb, &fc);
  EXPECT_EQ(counter.count(), 0);
}
