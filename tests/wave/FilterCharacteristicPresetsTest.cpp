#include "wave/FilterCharacteristicPresets.h"

#include "wave/DesignFilter.h"
#include "wave/Environment.h"
#include "wave/MultiDesignFilter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

using zarn::test::TempDir;
using zarn::test::TestBundle;

namespace {

const char* const cNames[] = {"Ulk.fil", "Gentle.fil", "Raw.fil", "Tube.fil", "Metal.fil", "EasyGoing.fil"};
const float cLevels[] = {1.0f, 0.56f, 0.35f, 0.4f, 0.8f, 0.7f};

std::string fileBytes(const FilterCharacteristic& s) {
  TempDir dir("zarn-fil");
  EXPECT_TRUE(s.saveToFile(dir.file("x.fil")));
  return dir.read("x.fil");
}

// A characteristic made from design i.
struct Designed {
  explicit Designed(int i) : style("", FilterCharacteristicPresets::get(i).level) {
    EXPECT_TRUE(FilterCharacteristicPresets::apply(i, style));
  }
  FilterCharacteristic style;
};

// The RMS of a design filter's output from sample `from` on, for an input
// played at a constant cut-off (Hz) and peak.
double rmsOf(DesignFilter& f, const std::vector<float>& in, float hz, float peak, size_t from) {
  constexpr int cBlock = 256;
  std::vector<float> frequency(cBlock, std::log2(hz)), peaks(cBlock, peak), out(cBlock);
  f.resetState();
  double sum = 0.0;
  size_t n = 0;
  for (size_t i = 0; i < in.size(); i += cBlock) {
    const int count = static_cast<int>(std::min<size_t>(cBlock, in.size() - i));
    f.filter(in.data() + i, out.data(), frequency.data(), peaks.data(), nullptr, count, true);
    for (int k = 0; k < count; ++k) {
      EXPECT_TRUE(std::isfinite(out[k]));
      if (i + k >= from) {
        sum += double(out[k]) * out[k];
        ++n;
      }
    }
  }
  return n ? std::sqrt(sum / n) : 0.0;
}

std::vector<float> impulse(int samples) {
  std::vector<float> x(static_cast<size_t>(samples), 0.0f);
  x[0] = 0.5f;
  return x;
}

std::vector<float> sawtooth(double hz, double amplitude, int samples, int rate) {
  std::vector<float> x(static_cast<size_t>(samples));
  for (int i = 0; i < samples; ++i) {
    const double phase = std::fmod(i * hz / rate, 1.0);
    x[static_cast<size_t>(i)] = static_cast<float>(amplitude * (2.0 * phase - 1.0));
  }
  return x;
}

} // namespace

TEST(FilterCharacteristicPresetsTest, TheSixInTheSynthesizersOrder) {
  for (int i = 0; i < FilterCharacteristicPresets::cCount; ++i) {
    EXPECT_STREQ(cNames[i], FilterCharacteristicPresets::get(i).fileName);
    EXPECT_EQ(cLevels[i], FilterCharacteristicPresets::get(i).level);
    EXPECT_EQ(i, FilterCharacteristicPresets::find(cNames[i]));
  }
  EXPECT_EQ(-1, FilterCharacteristicPresets::find("ulk.fil"));
  EXPECT_EQ(-1, FilterCharacteristicPresets::find(""));
  FilterCharacteristic s("", 1.0f);
  const std::string before = fileBytes(s);
  EXPECT_FALSE(FilterCharacteristicPresets::apply(6, s));
  EXPECT_FALSE(FilterCharacteristicPresets::apply(-1, s));
  EXPECT_EQ(before, fileBytes(s));
}

TEST(FilterCharacteristicPresetsTest, WritesSixFilesThatLoadBack) {
  TempDir dir("zarn-fil");
  ASSERT_EQ(6, FilterCharacteristicPresets::writeAll(dir.path()));
  std::set<std::string> contents;
  for (int i = 0; i < 6; ++i) {
    const std::string bytes = dir.read(cNames[i]);
    ASSERT_EQ(1484u, bytes.size()) << cNames[i];
    EXPECT_EQ("QVil", bytes.substr(0, 4));
    contents.insert(bytes);

    FilterCharacteristic loaded("", 1.0f);
    EXPECT_TRUE(loaded.loadFromFile(dir.file(cNames[i]))) << cNames[i];
    Designed designed(i);
    EXPECT_EQ(fileBytes(designed.style), fileBytes(loaded)) << cNames[i];
    EXPECT_EQ(designed.style.clipBalance.get(), loaded.getClipTable().getClipBalance());
  }
  EXPECT_EQ(6u, contents.size()); // six different designs
}

TEST(FilterCharacteristicPresetsTest, WritingIntoAMissingFolderWritesNothing) {
  TempDir dir("zarn-fil");
  EXPECT_EQ(0, FilterCharacteristicPresets::writeAll(dir.file("missing")));
}

TEST(FilterCharacteristicPresetsTest, TheSynthesizersListLoadsThemFromTheBundle) {
  TestBundle bundle("com.quorvane.test.fil-presets");
  ASSERT_EQ(6, FilterCharacteristicPresets::writeAll(bundle.resourcesPath()));
  MultiDesignFilter::Style list;
  for (int i = 0; i < 6; ++i) list.add(cNames[i], cLevels[i]);
  ASSERT_EQ(6, list.getCount());
  for (int i = 0; i < 6; ++i) {
    Designed designed(i);
    EXPECT_EQ(fileBytes(designed.style), fileBytes(*list.get(i))) << cNames[i];
    EXPECT_EQ(cLevels[i], list.get(i)->getLevel());
  }

  // Chosen on the synthesizer's shared unit, each design clips with its own
  // balance, not with the first one's.
  wave::Environment env(64);
  MultiDesignFilter::ParallelUnit unit(&env, &list);
  MultiDesignFilter filter(&unit);
  std::set<float> balances;
  for (int i : {3, 1, 5, 0, 2, 4}) {
    filter.characteristic = i;
    const Designed designed(i);
    const StateVariableFilter::ClipTable& clipper = unit.getDesignFilter()->getClipTable();
    EXPECT_EQ(&list.get(i)->getClipTable(), &clipper) << cNames[i];
    EXPECT_EQ(designed.style.clipBalance.get(), clipper.getClipBalance()) << cNames[i];
    balances.insert(clipper.getClipBalance());
  }
  EXPECT_GT(balances.size(), 1u);
}

TEST(FilterCharacteristicPresetsTest, TablesStayInTheirUsableRanges) {
  for (int i = 0; i < 6; ++i) {
    Designed d(i);
    const FilterCharacteristic& s = d.style;
    EXPECT_GT(s.clipBalance.get(), 0.0f) << cNames[i];
    EXPECT_LE(s.clipBalance.get(), 1.0f) << cNames[i];
    for (int r = 0; r < 11; ++r)
      for (int c = 0; c < 11; ++c) {
        const float damp = s.getDampInputTable().getPoint(c, r);
        const float cubic = s.getCubicDampingTable().getPoint(c, r);
        const float clip = s.getClipScaleTable().getPoint(c, r);
        // Within the damping curve's table and the editor's ranges.
        EXPECT_GE(damp, 0.0f) << cNames[i];
        EXPECT_LE(damp, 5.0f) << cNames[i];
        EXPECT_GE(cubic, 0.0f) << cNames[i];
        EXPECT_LE(cubic, 0.1f) << cNames[i];
        EXPECT_GE(clip, 0.1f) << cNames[i];
        EXPECT_LE(clip, 10.0f) << cNames[i];
        // Resonance never falls as the peak rises.
        if (r > 0) {
          EXPECT_GE(damp, s.getDampInputTable().getPoint(c, r - 1)) << cNames[i];
        }
      }
  }
}

// Excites each design with an impulse and listens to what remains after a
// second: the clean designs must fall silent at any peak; the others must go
// on ringing at the top of the peak range, and only there.
TEST(FilterCharacteristicPresetsTest, OnlyTheIntendedDesignsSelfOscillate) {
  constexpr int cRate = 44100;
  wave::Environment env(256);
  env.setSampleRate(cRate);
  const std::vector<float> x = impulse(cRate * 3 / 2);
  const bool oscillates[] = {true, false, true, true, true, false};
  for (int i = 0; i < 6; ++i) {
    Designed d(i);
    DesignFilter f(&env, &d.style);
    for (float hz : {110.0f, 440.0f}) {
      EXPECT_LT(rmsOf(f, x, hz, 0.5f, cRate), 1e-4) << cNames[i] << " at " << hz << " Hz, peak 0.5";
      const double top = rmsOf(f, x, hz, 1.0f, cRate);
      if (oscillates[i]) {
        EXPECT_GT(top, 0.05) << cNames[i] << " at " << hz << " Hz";
        // Loud but not beyond a full-scale signal.
        EXPECT_LT(top, 1.0) << cNames[i] << " at " << hz << " Hz";
      } else {
        EXPECT_LT(top, 1e-4) << cNames[i] << " at " << hz << " Hz";
      }
    }
    // Clean ones stay quiet at 96 kHz as well, whatever the coefficient.
    if (!oscillates[i]) {
      wave::Environment fast(256);
      fast.setSampleRate(96000.0f);
      DesignFilter g(&fast, &d.style);
      EXPECT_LT(rmsOf(g, impulse(96000 * 3 / 2), 3000.0f, 1.0f, 96000), 1e-4) << cNames[i];
    }
  }
}

// The output is scaled back by the level and the clip drive, so every design
// passes a signal well below its cut-off at about the input's loudness, and
// none runs away at the top of the peak range with a loud input.
TEST(FilterCharacteristicPresetsTest, LoudnessStaysNearTheInputs) {
  constexpr int cRate = 44100;
  wave::Environment env(256);
  env.setSampleRate(cRate);
  const std::vector<float> saw = sawtooth(110.0, 0.8, cRate / 2, cRate);
  double inputSum = 0.0;
  for (float v : saw) inputSum += double(v) * v;
  const double input = std::sqrt(inputSum / saw.size());
  for (int i = 0; i < 6; ++i) {
    Designed d(i);
    DesignFilter f(&env, &d.style);
    const double open = rmsOf(f, saw, 8000.0f, 0.0f, cRate / 4);
    EXPECT_GT(open, 0.6 * input) << cNames[i];
    EXPECT_LT(open, 1.2 * input) << cNames[i];
    for (float hz : {60.0f, 110.0f, 700.0f, 3000.0f, 12000.0f}) {
      const double resonant = rmsOf(f, saw, hz, 1.0f, cRate / 4);
      EXPECT_LT(resonant, 2.5 * input) << cNames[i] << " at " << hz << " Hz";
    }
  }
}
