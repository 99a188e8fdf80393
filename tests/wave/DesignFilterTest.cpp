#include "wave/DesignFilter.h"

#include "wave/Environment.h"
#include "wave/MultiDesignFilter.h"
#include "tests/support/AllocationCounter.h"
#include "tests/wave/FilterFft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

using zarn::test::SignalSource;

namespace {

constexpr int cBlock = 64;

// A characteristic whose three tables hold one value each everywhere.
FilterCharacteristic* flatStyle(float damp, float cubic, float clip, float level, float balance = 0.3f) {
  auto* s = new FilterCharacteristic("", level);
  s->clipBalance = balance;
  for (int r = 0; r < 11; ++r) {
    s->getDampInputTable().setValueForAllCutOff(r, damp);
    s->getCubicDampingTable().setValueForAllCutOff(r, cubic);
    s->getClipScaleTable().setValueForAllCutOff(r, clip);
  }
  return s;
}

// Runs count samples of x through a filter unit at a constant cut-off
// (log2 Hz) and peak.
std::vector<float> run(StateVariableFilter& f, const std::vector<float>& x, float cutOff, float peak) {
  std::vector<float> out(x.size());
  std::vector<float> frequency(cBlock, cutOff), peaks(cBlock, peak);
  for (size_t i = 0; i < x.size(); i += cBlock) {
    const int n = static_cast<int>(std::min<size_t>(cBlock, x.size() - i));
    f.filter(x.data() + i, out.data() + i, frequency.data(), peaks.data(), nullptr, n, true);
  }
  return out;
}

std::vector<float> sine(double hz, double amplitude, int samples, double rate = 44100.0) {
  std::vector<float> x(static_cast<size_t>(samples));
  for (int i = 0; i < samples; ++i) x[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * i / rate));
  return x;
}

double rms(const std::vector<float>& x, size_t from = 0) {
  double s = 0.0;
  for (size_t i = from; i < x.size(); ++i) s += double(x[i]) * x[i];
  return std::sqrt(s / double(x.size() - from));
}

bool statesAreZero(const StateVariableFilter& f) {
  for (int i = 0; i < 16; ++i)
    if (f.getBandState(i) != 0.0f || f.getLowState(i) != 0.0f) return false;
  return true;
}

class DesignFilterTest : public ::testing::Test {
protected:
  DesignFilterTest() : env(cBlock) { env.setSampleRate(44100.0f); }
  wave::Environment env;
};

} // namespace

TEST_F(DesignFilterTest, TakesItsValuesAndLevelFromTheStyle) {
  std::unique_ptr<FilterCharacteristic> style(flatStyle(0.6f, 0.02f, 1.5f, 0.4f));
  style->getDampInputTable().setValueForAllCutOff(10, 0.9f);
  DesignFilter f(&env, style.get());
  EXPECT_EQ(style.get(), f.getStyle());
  EXPECT_EQ(0.4f, f.getInputScale());
  EXPECT_EQ(&style->getClipTable(), &f.getClipTable());
  EXPECT_TRUE(f.useStyle.get());

  float damp = -1.0f, cubic = -1.0f, clip = -1.0f;
  f.customize(9.5f, 1.0f, damp, cubic, clip);
  EXPECT_FLOAT_EQ(0.9f, damp);
  EXPECT_FLOAT_EQ(0.02f, cubic);
  EXPECT_FLOAT_EQ(1.5f, clip);
  EXPECT_EQ(9.5f, f.getLastFrequency());
  EXPECT_EQ(1.0f, f.getLastPeak());
  // A peak modulated beyond 1 reads the top row.
  f.customize(9.5f, 1.7f, damp, cubic, clip);
  EXPECT_FLOAT_EQ(0.9f, damp);
  EXPECT_EQ(1.7f, f.getLastPeak());
}

TEST_F(DesignFilterTest, ManualValuesWhenTheStyleIsOff) {
  std::unique_ptr<FilterCharacteristic> style(flatStyle(0.6f, 0.02f, 1.5f, 1.0f));
  DesignFilter f(&env, style.get());
  f.useStyle = false;
  f.manualClipScale = 3.0f;
  f.manualCubicDamping = 0.05f;
  f.manualDampInput = 0.5f;
  float damp = 0.0f, cubic = 0.0f, clip = 0.0f;
  f.customize(8.0f, 0.3f, damp, cubic, clip);
  EXPECT_EQ(0.5f, damp);
  EXPECT_EQ(0.05f, cubic);
  EXPECT_EQ(3.0f, clip);
  EXPECT_EQ(8.0f, f.getLastFrequency());
  // No cubic damping on a fully damped filter.
  f.manualDampInput = 0.05f;
  f.customize(8.0f, 0.3f, damp, cubic, clip);
  EXPECT_EQ(0.05f, damp);
  EXPECT_EQ(0.0f, cubic);
  // The manual values keep to their ranges.
  f.manualClipScale = 0.0f;
  f.manualCubicDamping = 1.0f;
  f.manualDampInput = 9.0f;
  f.customize(8.0f, 0.3f, damp, cubic, clip);
  EXPECT_EQ(0.1f, clip);
  EXPECT_EQ(0.1f, cubic);
  EXPECT_EQ(5.0f, damp);
}

TEST_F(DesignFilterTest, OwnPropertyChangesResetTheStatesAStyleChangeDoesNot) {
  std::unique_ptr<FilterCharacteristic> a(flatStyle(0.8f, 0.0f, 0.5f, 1.0f));
  std::unique_ptr<FilterCharacteristic> b(flatStyle(0.2f, 0.0f, 0.5f, 0.5f));
  DesignFilter f(&env, a.get());
  EXPECT_TRUE(statesAreZero(f));
  run(f, sine(300.0, 0.5, 200), 9.0f, 0.5f);
  ASSERT_FALSE(statesAreZero(f));
  const float band = f.getBandState(0), low = f.getLowState(0);

  f.setStyle(b.get());
  EXPECT_EQ(b.get(), f.getStyle());
  EXPECT_EQ(band, f.getBandState(0));
  EXPECT_EQ(low, f.getLowState(0));
  EXPECT_EQ(0.5f, f.getInputScale());
  // The clip table is the characteristic's in force.
  EXPECT_EQ(&b->getClipTable(), &f.getClipTable());
  f.setStyle(nullptr);
  EXPECT_EQ(&StateVariableFilter::sDefaultClipTable, &f.getClipTable());
  f.setStyle(b.get());

  f.useStyle = false;
  EXPECT_TRUE(statesAreZero(f));
  run(f, sine(300.0, 0.5, 200), 9.0f, 0.5f);
  ASSERT_FALSE(statesAreZero(f));
  f.useStyle = true;
  EXPECT_TRUE(statesAreZero(f));
}

TEST_F(DesignFilterTest, WithoutAStyleItIsThePlainFilter) {
  DesignFilter f(&env, nullptr);
  StateVariableFilter plain(&env);
  EXPECT_EQ(&StateVariableFilter::sDefaultClipTable, &f.getClipTable());
  EXPECT_EQ(1.0f, f.getInputScale());
  const std::vector<float> x = sine(440.0, 0.7, 2000);
  EXPECT_EQ(run(plain, x, 10.0f, 0.7f), run(f, x, 10.0f, 0.7f));
}

// What each of the three values does to the sound, through the whole filter.
TEST_F(DesignFilterTest, TheCharacteristicShapesTheSound) {
  const float cutOff = std::log2(800.0f);
  const std::vector<float> atResonance = sine(800.0, 0.02, 8820);

  // More damping input: more resonance at the cut-off.
  std::unique_ptr<FilterCharacteristic> dull(flatStyle(0.0f, 0.0f, 0.1f, 1.0f));
  std::unique_ptr<FilterCharacteristic> sharp(flatStyle(0.9f, 0.0f, 0.1f, 1.0f));
  DesignFilter fd(&env, dull.get()), fs(&env, sharp.get());
  const double dullLevel = rms(run(fd, atResonance, cutOff, 0.0f), 4410);
  const double sharpLevel = rms(run(fs, atResonance, cutOff, 0.0f), 4410);
  EXPECT_GT(sharpLevel, 8.0 * dullLevel);

  // Cubic damping holds a loud resonance back.
  std::unique_ptr<FilterCharacteristic> tamed(flatStyle(0.9f, 0.1f, 0.1f, 1.0f));
  DesignFilter ft(&env, tamed.get());
  const std::vector<float> loud = sine(800.0, 0.5, 8820);
  EXPECT_LT(rms(run(ft, loud, cutOff, 0.0f), 4410), 0.7 * rms(run(fs, loud, cutOff, 0.0f), 4410));

  // A larger clip scale saturates: the output no longer grows with the input.
  std::unique_ptr<FilterCharacteristic> driven(flatStyle(0.0f, 0.0f, 8.0f, 1.0f, 1.0f));
  DesignFilter fc(&env, driven.get());
  const float open = 14.0f;
  const double small = rms(run(fc, sine(200.0, 0.05, 4410), open, 0.0f), 441);
  const double big = rms(run(fc, sine(200.0, 0.5, 4410), open, 0.0f), 441);
  EXPECT_LT(big / small, 5.0); // ten times the input
  EXPECT_GT(small, 0.03);

  // The level drives the same table harder at the same output loudness.
  std::unique_ptr<FilterCharacteristic> quiet(flatStyle(0.0f, 0.0f, 1.0f, 0.25f, 1.0f));
  std::unique_ptr<FilterCharacteristic> hot(flatStyle(0.0f, 0.0f, 1.0f, 8.0f, 1.0f));
  DesignFilter fq(&env, quiet.get()), fh(&env, hot.get());
  const std::vector<float> x = sine(200.0, 0.5, 4410);
  const double q = rms(run(fq, x, open, 0.0f), 441), h = rms(run(fh, x, open, 0.0f), 441);
  EXPECT_NEAR(rms(x, 441), q, 0.03);
  EXPECT_LT(h, 0.5 * q);
}

// Two characteristics alike but for the clip balance, with a clip scale that
// drives a loud input deep into the clipper: the linear part (and so the
// states) runs the same on both, and only the output clipper tells them
// apart. Balance 1 clips symmetrically; balance 0.3 lets the positive swing
// through much later than the negative one.
struct ClipPair {
  ClipPair()
      : symmetric(flatStyle(0.0f, 0.0f, 8.0f, 1.0f, 1.0f)), lopsided(flatStyle(0.0f, 0.0f, 8.0f, 1.0f, 0.3f)),
        loud(sine(200.0, 0.8, 40 * cBlock)) {}
  std::unique_ptr<FilterCharacteristic> symmetric;
  std::unique_ptr<FilterCharacteristic> lopsided;
  std::vector<float> loud;
  static constexpr float cOpen = 14.0f;
};

// Positive peak over negative peak, from sample from on.
double asymmetry(const std::vector<float>& y, size_t from) {
  const auto [lo, hi] = std::minmax_element(y.begin() + static_cast<std::ptrdiff_t>(from), y.end());
  return double(*hi) / -double(*lo);
}

// A characteristic switched in brings its own clip table: after the switch
// the filter sounds exactly like one built on the new characteristic, and
// rendering after the switch allocates nothing.
TEST_F(DesignFilterTest, SwitchingTheCharacteristicSwitchesTheClipper) {
  ClipPair pair;
  DesignFilter onSymmetric(&env, pair.symmetric.get()), onLopsided(&env, pair.lopsided.get());
  const std::vector<float> a = run(onSymmetric, pair.loud, ClipPair::cOpen, 0.0f);
  const std::vector<float> b = run(onLopsided, pair.loud, ClipPair::cOpen, 0.0f);
  EXPECT_NEAR(1.0, asymmetry(a, 10 * cBlock), 0.05);
  EXPECT_GT(asymmetry(b, 10 * cBlock), 2.0);

  DesignFilter f(&env, pair.symmetric.get());
  std::vector<float> y(pair.loud.size());
  const std::vector<float> frequency(cBlock, ClipPair::cOpen), peaks(cBlock, 0.0f);
  const size_t half = pair.loud.size() / 2;
  auto render = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; i += cBlock)
      f.filter(pair.loud.data() + i, y.data() + i, frequency.data(), peaks.data(), nullptr, cBlock, true);
  };
  render(0, half);
  f.setStyle(pair.lopsided.get());
  {
    zarn::test::AllocationCounter counter;
    render(half, y.size());
    EXPECT_EQ(0, counter.count());
  }
  for (size_t i = 0; i < half; ++i) ASSERT_EQ(a[i], y[i]) << i;
  for (size_t i = half; i < y.size(); ++i) ASSERT_EQ(b[i], y[i]) << i;
  EXPECT_GT(asymmetry(y, half), 2.0);

  // And back.
  f.setStyle(pair.symmetric.get());
  render(0, half);
  EXPECT_NEAR(1.0, asymmetry(std::vector<float>(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(half)), cBlock),
              0.05);
}

// ---------------------------------------------------------------------------
// MultiDesignFilter

namespace {

// A characteristic that counts its destructions.
struct CountedStyle : FilterCharacteristic {
  CountedStyle(float level, int* deaths) : FilterCharacteristic("", level), deaths(deaths) {}
  ~CountedStyle() override { ++*deaths; }
  int* deaths;
};

struct StyleList {
  explicit StyleList(int n) {
    for (int i = 0; i < n; ++i) list.add(new CountedStyle(0.1f * (i + 1), &deaths));
  }
  int deaths = 0;
  MultiDesignFilter::Style list;
};

} // namespace

TEST(MultiDesignFilterTest, TheListOwnsItsCharacteristics) {
  int deaths = 0;
  {
    MultiDesignFilter::Style list;
    list.add(new CountedStyle(1.0f, &deaths));
    list.add(new CountedStyle(0.5f, &deaths));
    list.add(nullptr);
    EXPECT_EQ(2, list.getCount());
    EXPECT_EQ(0.5f, list.get(1)->getLevel());
    EXPECT_EQ(nullptr, list.get(2));
    EXPECT_EQ(nullptr, list.get(-1));
  }
  EXPECT_EQ(2, deaths);
}

TEST(MultiDesignFilterTest, AFilterOfItsOwnStartsOnTheFirstCharacteristic) {
  wave::Environment env(cBlock);
  StyleList styles(3);
  {
    MultiDesignFilter f(&env, &styles.list);
    EXPECT_FALSE(f.isShared());
    ASSERT_NE(nullptr, f.getDesignFilter());
    EXPECT_EQ(f.getDesignFilter(), f.getFilterUnit());
    EXPECT_EQ(nullptr, f.getParallelFilter());
    EXPECT_EQ(styles.list.get(0), f.getDesignFilter()->getStyle());
    EXPECT_EQ(0, f.characteristic.get());
    EXPECT_EQ(GenericFilter::cLowPass, f.response.get());
    EXPECT_EQ(GenericFilter::c12dB, f.slope.get());
    EXPECT_EQ(1.0f, f.mix.getTarget());
    EXPECT_EQ(20.0f, f.frequency.getParameter().getTarget());
    EXPECT_EQ(0.0f, f.peak.getParameter().getTarget());

    f.characteristic = 2;
    EXPECT_EQ(styles.list.get(2), f.getDesignFilter()->getStyle());
    EXPECT_FLOAT_EQ(0.3f, f.getDesignFilter()->getInputScale());
  }
  EXPECT_EQ(0, styles.deaths); // the list is not the filter's
}

TEST(MultiDesignFilterTest, ACharacteristicChosenOnOneSharedFilterHoldsForAll) {
  wave::Environment env(cBlock);
  StyleList styles(6);
  MultiDesignFilter::ParallelUnit unit(&env, &styles.list);
  EXPECT_EQ(styles.list.get(0), unit.getDesignFilter()->getStyle());
  EXPECT_EQ(&styles.list, unit.getStyles());
  {
    MultiDesignFilter a(&unit), b(&unit), c(&unit);
    EXPECT_TRUE(a.isShared());
    EXPECT_EQ(unit.getDesignFilter(), b.getDesignFilter());
    EXPECT_EQ(unit.getDesignFilter(), c.getParallelFilter());
    EXPECT_EQ(3, unit.getDesignFilter()->getFilterCount());
    EXPECT_EQ(&b, unit.getDesignFilter()->getFilter(1));

    b.characteristic = 3;
    for (MultiDesignFilter* f : {&a, &b, &c}) EXPECT_EQ(styles.list.get(3), f->getDesignFilter()->getStyle());
    // An index outside the list changes nothing.
    a.characteristic = 6;
    EXPECT_EQ(styles.list.get(3), unit.getDesignFilter()->getStyle());
    a.characteristic = -1;
    EXPECT_EQ(styles.list.get(3), unit.getDesignFilter()->getStyle());
  }
  // The filters left the unit; its design filter lives on.
  EXPECT_EQ(0, unit.getDesignFilter()->getFilterCount());
  EXPECT_EQ(styles.list.get(3), unit.getDesignFilter()->getStyle());
}

TEST(MultiDesignFilterTest, AnEmptyListGivesThePlainFilter) {
  wave::Environment env(cBlock);
  MultiDesignFilter::Style empty;
  MultiDesignFilter f(&env, &empty);
  EXPECT_EQ(nullptr, f.getDesignFilter()->getStyle());
  EXPECT_EQ(1.0f, f.getDesignFilter()->getInputScale());
  f.characteristic = 1;
  EXPECT_EQ(nullptr, f.getDesignFilter()->getStyle());
}

// Through the graph: a characteristic change takes effect without a state
// reset, and the filters of a unit are computed in one pass.
TEST(MultiDesignFilterTest, FiltersThroughTheGraphWithTheChosenCharacteristic) {
  wave::Environment env(cBlock);
  env.setSampleRate(44100.0f);
  MultiDesignFilter::Style list;
  list.add(flatStyle(0.0f, 0.0f, 0.1f, 1.0f));
  list.add(flatStyle(0.95f, 0.0f, 0.1f, 1.0f));
  MultiDesignFilter::ParallelUnit unit(&env, &list);
  SignalSource source(&env), other(&env);
  source.signal = sine(1000.0, 0.05, 44100);
  other.signal = sine(1000.0, 0.05, 44100);
  MultiDesignFilter a(&unit), b(&unit);
  a.setInput(&source);
  b.setInput(&other);
  for (MultiDesignFilter* f : {&a, &b}) {
    f->frequency.getParameter() = std::log2(1000.0f);
    f->peak.getParameter() = 0.5f;
  }
  auto level = [&](int blocks) {
    double sum = 0.0;
    for (int k = 0; k < blocks; ++k) {
      env.beginBlock();
      const wave::Block* out = a.pull(cBlock, 0);
      const wave::Block* outB = b.pull(cBlock, 0);
      for (int i = 0; i < cBlock; ++i) {
        sum += double(out->data[i]) * out->data[i];
        EXPECT_EQ(out->data[i], outB->data[i]);
      }
      env.endBlock(cBlock);
    }
    return std::sqrt(sum / (blocks * cBlock));
  };
  level(100); // settle
  const double dull = level(100);
  const float band = unit.getDesignFilter()->getBandState(0);
  ASSERT_NE(0.0f, band);
  b.characteristic = 1;
  EXPECT_EQ(band, unit.getDesignFilter()->getBandState(0)); // no reset
  level(200);
  const double sharp = level(100);
  EXPECT_GT(sharp, 8.0 * dull);
}

// The synthesizer's path: the characteristic chosen by index on a shared
// unit, filtered in the four-lane pass. Its clip table comes with it, at
// once and without an allocation on the render side.
TEST(MultiDesignFilterTest, AChosenCharacteristicBringsItsClipTable) {
  wave::Environment env(cBlock);
  env.setSampleRate(44100.0f);
  ClipPair pair;
  MultiDesignFilter::Style list;
  list.add(pair.symmetric.release());
  list.add(pair.lopsided.release());
  // One unit switched half-way, and one on each characteristic throughout.
  MultiDesignFilter::ParallelUnit switched(&env, &list), first(&env, &list), second(&env, &list);
  SignalSource in(&env);
  in.signal = pair.loud;
  MultiDesignFilter x(&switched), a(&first), b(&second);
  b.characteristic = 1;
  for (MultiDesignFilter* f : {&x, &a, &b}) {
    f->setInput(&in);
    f->frequency.getParameter() = ClipPair::cOpen;
    f->peak.getParameter() = 0.0f;
  }
  const int blocks = static_cast<int>(pair.loud.size()) / cBlock;
  std::vector<float> ys, as, bs;
  ys.reserve(pair.loud.size());
  as.reserve(pair.loud.size());
  bs.reserve(pair.loud.size());
  long allocations = 0;
  for (int k = 0; k < blocks; ++k) {
    if (k == blocks / 2) x.characteristic = 1;
    zarn::test::AllocationCounter counter;
    env.beginBlock();
    const wave::Block* outX = x.pull(cBlock, 0);
    const wave::Block* outA = a.pull(cBlock, 0);
    const wave::Block* outB = b.pull(cBlock, 0);
    env.endBlock(cBlock);
    allocations += counter.count();
    ys.insert(ys.end(), outX->data, outX->data + cBlock);
    as.insert(as.end(), outA->data, outA->data + cBlock);
    bs.insert(bs.end(), outB->data, outB->data + cBlock);
  }
  EXPECT_EQ(0, allocations);
  const size_t half = static_cast<size_t>(blocks / 2 * cBlock);
  for (size_t i = 0; i < half; ++i) ASSERT_EQ(as[i], ys[i]) << i;
  for (size_t i = half; i < ys.size(); ++i) ASSERT_EQ(bs[i], ys[i]) << i;
  EXPECT_NEAR(1.0, asymmetry(as, 10 * cBlock), 0.05);
  EXPECT_GT(asymmetry(ys, half), 2.0);
}

// A characteristic edited in place while a voice holds a note at a constant
// cut-off and peak: the filter must sound the edited characteristic from
// then on, whichever way the edit is made, however many blocks it has run
// on the old values. Each edit turns a dull filter resonant; the level
// after it must match that of a filter that had the edited characteristic
// from the start.
TEST(MultiDesignFilterTest, InPlaceEditsOfTheCharacteristicAreHeardAtOnce) {
  using Edit = std::function<void(FilterCharacteristic&)>;
  const std::vector<std::pair<const char*, Edit>> edits = {
      {"rows through the grid getter",
       [](FilterCharacteristic& s) {
         for (int r = 0; r < 11; ++r) s.getDampInputTable().setValueForAllCutOff(r, 0.95f);
       }},
      {"points through the grid getter",
       [](FilterCharacteristic& s) {
         for (int r = 0; r < 11; ++r)
           for (int c = 0; c < 11; ++c) s.getDampInputTable().setValue(c, r, 0.95f);
       }},
      {"an area", [](FilterCharacteristic& s) { s.getDampInputTable().setValueArea(0, 0.95f, 10, 0.95f); }},
      {"interpolation between edited edge rows",
       [](FilterCharacteristic& s) {
         s.getDampInputTable().setValueForAllCutOff(0, 0.95f);
         s.getDampInputTable().setValueForAllCutOff(10, 0.95f);
         s.getDampInputTable().interpolateValues(0, 10);
       }},
      {"the editor's row store",
       [](FilterCharacteristic& s) {
         for (int r = 0; r < 11; ++r) s.storeForAllCutOff(static_cast<float>(r) / 10.0f, 0.1f, 0.0f, 0.95f);
       }},
      {"a copied grid",
       [](FilterCharacteristic& s) {
         FilterSettingTable other;
         for (int r = 0; r < 11; ++r) other.setValueForAllCutOff(r, 0.95f);
         s.getDampInputTable().copyFrom(other);
       }},
      // A new range resets to the neutral characteristic: 0.999 on the top
      // row, which the peak of 1 reads.
      {"a new cut-off range", [](FilterCharacteristic& s) { s.minFrequency = 2.0f; }},
  };

  struct Rig {
    explicit Rig(const Edit* before) : env(cBlock) {
      env.setSampleRate(44100.0f);
      FilterCharacteristic* s = flatStyle(0.0f, 0.0f, 0.1f, 1.0f);
      if (before) (*before)(*s);
      list.add(s);
      unit = std::make_unique<MultiDesignFilter::ParallelUnit>(&env, &list);
      filter = std::make_unique<MultiDesignFilter>(unit.get());
      source = std::make_unique<SignalSource>(&env);
      source->signal = sine(1000.0, 0.05, 44100 * 4);
      filter->setInput(source.get());
      filter->frequency.getParameter() = std::log2(1000.0f);
      filter->peak.getParameter() = 1.0f;
    }
    double level(int blocks) {
      double sum = 0.0;
      for (int k = 0; k < blocks; ++k) {
        env.beginBlock();
        const wave::Block* out = filter->pull(cBlock, 0);
        for (int i = 0; i < cBlock; ++i) sum += double(out->data[i]) * out->data[i];
        env.endBlock(cBlock);
      }
      return std::sqrt(sum / (blocks * cBlock));
    }
    wave::Environment env;
    MultiDesignFilter::Style list;
    std::unique_ptr<MultiDesignFilter::ParallelUnit> unit;
    std::unique_ptr<MultiDesignFilter> filter;
    std::unique_ptr<SignalSource> source;
  };

  for (const auto& [name, edit] : edits) {
    SCOPED_TRACE(name);
    Rig edited(nullptr), fromStart(&edit);
    edited.level(200);
    const double dull = edited.level(100);
    edit(*edited.list.get(0));
    edited.level(400);
    const double after = edited.level(100);
    fromStart.level(700);
    const double expected = fromStart.level(100);
    EXPECT_GT(expected, 8.0 * dull);
    EXPECT_NEAR(after, expected, 0.01 * expected);
  }
}
