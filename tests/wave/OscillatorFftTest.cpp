// Spectral checks of the oscillator: aliasing and pitch across the keyboard,
// the pulse's harmonics against its pulse width, hard sync, and the noise
// colours.

#include "tests/wave/OscillatorFft.h"
#include "tests/wave/OscillatorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace osctest;

namespace {

struct Play {
  Oscillator::WaveForm form = Oscillator::Sawtooth;
  float rate = 44100.0f;
  float pitch = 8.0f;
  float pulseWidth = 0.0f;
  float sync = 0.0f;
  // The noise forms' seed, so that a result does not hang on how many
  // oscillators the process made before.
  uint32_t seed = 1;
};

std::vector<float> play(Oscillator::Style* style, const Play& p, int samples) {
  wave::Environment env(256);
  env.setSampleRate(p.rate);
  Oscillator osc(style, &env);
  osc.seedNoise(p.seed);
  osc.waveForm = p.form;
  setNow(osc.frequency, p.pitch);
  setNow(osc.pulseWidth, p.pulseWidth);
  setNow(osc.sync, p.sync);
  return render(env, osc, samples, 256);
}

// What is not on a harmonic, relative to the fundamental. No table holds a
// harmonic above half the rate, so this is what the linear interpolation
// between table points folds back; with at least 32 points per cycle of a
// table's highest harmonic it stays about 66 dB down for the sawtooth, the
// worst of the three.
constexpr double cAliasLimit = -60.0;

class OscillatorKeyboardTest : public ::testing::TestWithParam<int> {};

// Every note from 21 to 120, for each tonal wave form: aliasing below the
// limit, the fundamental within half a cent.
TEST_P(OscillatorKeyboardTest, HarmonicOnlyAndInTuneFromNote21To120) {
  BuiltStyle built;
  const int rate = GetParam();
  const int n = rate > 50000 ? 65536 : 32768;
  for (Oscillator::WaveForm form : {Oscillator::Triangle, Oscillator::Sawtooth, Oscillator::Square}) {
    double worst = -1000.0;
    int worstNote = 0;
    for (int note = 21; note <= 120; ++note) {
      Play p;
      p.form = form;
      p.rate = static_cast<float>(rate);
      p.pitch = noteToPitch(note);
      std::vector<float> x = play(built.style.get(), p, n + n / 2);
      const double f0 = noteToHz(note);
      Frame first = analyse(x, 0, n);
      HarmonicSplit s = splitHarmonics(first.power, f0 * n / rate);
      const double alias = dB(s.offHarmonic / s.harmonics[0]);
      if (alias > worst) {
        worst = alias;
        worstNote = note;
      }
      const double cents = 1200.0 * std::log2(measureFrequency(x, first, n, rate, f0) / f0);
      EXPECT_LT(std::fabs(cents), 0.5) << "form " << form << " note " << note;
    }
    EXPECT_LT(worst, cAliasLimit) << "form " << form << " note " << worstNote;
  }
}

INSTANTIATE_TEST_SUITE_P(ThreeRates, OscillatorKeyboardTest, ::testing::Values(44100, 48000, 96000),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Rate" + std::to_string(info.param);
                         });

// The taper of the sawtooth table that a pitch plays, for harmonic k.
double taper(Oscillator::Style* style, float rate, float pitch, int k) {
  const Oscillator::FrequencyTable* t = style->getFrequencyTable(static_cast<int>(rate));
  const int entry = static_cast<int>(pitch * Oscillator::Style::cFrequencyTableFactor + 4096.0f);
  const int h = Oscillator::Style::getTableHarmonics(t->tableIndex[entry]);
  const double c = std::cos((k - 1) * 3.14159265358979323846 / (2.0 * h));
  return c * c;
}

// The pulse is the sawtooth plus its mirror image shifted by half a cycle x
// (1 - pulse width), plus a share of the sawtooth that fades with the width:
// harmonic k has the amplitude (taper / k) x |pulseGain (1 - e^(i k pi v)) +
// sawGain v|, v = 1 - pulse width.
TEST(OscillatorPulseTest, HarmonicsFollowThePulseWidth) {
  for (float share : {0.5f, 1.0f}) {
    BuiltStyle built(share);
    const float pulseGain = cSynthSquare[0] * share / cSynthSawtooth;
    const float sawGain = cSynthSquare[0] * (1.0f - share) / cSynthSawtooth;
    for (float width : {0.0f, 0.25f, 0.5f, 0.8f}) {
      Play p;
      p.form = Oscillator::Square;
      p.pitch = noteToPitch(45);
      p.pulseWidth = width;
      const int n = 32768;
      std::vector<float> x = play(built.style.get(), p, n);
      HarmonicSplit s = splitHarmonics(analyse(x, 0, n).power, noteToHz(45) * n / 44100.0);
      const double v = 1.0 - width;
      auto expected = [&](int k) {
        const double a = pulseGain * (1.0 - std::cos(k * 3.14159265358979323846 * v)) + sawGain * v;
        const double b = pulseGain * std::sin(k * 3.14159265358979323846 * v);
        return taper(built.style.get(), p.rate, p.pitch, k) / k * std::sqrt(a * a + b * b);
      };
      for (int k = 2; k <= 8; ++k) {
        const double measured = std::sqrt(s.harmonics[static_cast<size_t>(k - 1)] / s.harmonics[0]);
        EXPECT_NEAR(measured, expected(k) / expected(1), 0.01)
            << "share " << share << " width " << width << " harmonic " << k;
      }
    }
  }
}

// The mean under a window that removes every periodic component.
double windowedMean(const std::vector<float>& x) {
  const std::vector<double>& w = window(static_cast<int>(x.size()));
  double sum = 0.0;
  double weights = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    sum += w[i] * x[i];
    weights += w[i];
  }
  return sum / weights;
}

// The pulse carries no DC at any width, so an enveloped square does not
// thump and width modulation does not wobble; width 1 is silence.
TEST(OscillatorPulseTest, ZeroMeanAtEveryWidthAndSilentAtWidthOne) {
  BuiltStyle built;
  for (float width : {0.0f, 0.3f, 0.7f, 0.95f}) {
    Play p;
    p.form = Oscillator::Square;
    p.pitch = noteToPitch(50);
    p.pulseWidth = width;
    std::vector<float> x = play(built.style.get(), p, 32768);
    float peak = 0.0f;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.05f) << width;
    EXPECT_LT(std::fabs(windowedMean(x)), 1e-4) << width;
  }
  Play p;
  p.form = Oscillator::Square;
  p.pitch = noteToPitch(50);
  p.pulseWidth = 1.0f;
  for (float v : play(built.style.get(), p, 4096)) ASSERT_LT(std::fabs(v), 1e-5f);
}

// Sync by a whole octave: the slave's cycles fit the master's exactly, so
// the result is the wave an octave up, odd harmonics of the master absent.
TEST(OscillatorSyncTest, WholeOctaveSyncGivesTheOctaveAbove) {
  BuiltStyle built;
  Play p;
  p.pitch = noteToPitch(45);
  p.sync = 1.0f;
  const int n = 32768;
  std::vector<float> x = play(built.style.get(), p, n + n / 2);
  Frame first = analyse(x, 0, n);
  HarmonicSplit s = splitHarmonics(first.power, noteToHz(45) * n / 44100.0);
  double odd = 0.0;
  for (size_t h = 0; h < s.harmonics.size(); h += 2) odd += s.harmonics[h];
  EXPECT_LT(dB(odd / s.harmonics[1]), -60.0);
  EXPECT_LT(dB(s.offHarmonic / s.harmonics[1]), -60.0);
  const double cents = 1200.0 * std::log2(measureFrequency(x, first, n, 44100.0, noteToHz(57)) / noteToHz(57));
  EXPECT_LT(std::fabs(cents), 0.5);
}

// Sync by a fraction of an octave: the output repeats with the master (the
// played pitch), and its strongest harmonics lie around the slave's pitch.
TEST(OscillatorSyncTest, FractionalSyncRepeatsAtTheMasterWithTheSlavesHarmonics) {
  BuiltStyle built;
  for (float syncOctaves : {0.5f, 1.5f}) {
    for (Oscillator::WaveForm form : {Oscillator::Sawtooth, Oscillator::Square}) {
      Play p;
      p.form = form;
      p.pitch = noteToPitch(45);
      p.sync = syncOctaves;
      const int n = 32768;
      std::vector<float> x = play(built.style.get(), p, n + n / 2);
      const double f0 = noteToHz(45);
      Frame first = analyse(x, 0, n);
      HarmonicSplit s = splitHarmonics(first.power, f0 * n / 44100.0);
      double total = s.offHarmonic;
      for (double h : s.harmonics) total += h;
      EXPECT_LT(dB(s.offHarmonic / total), -30.0) << syncOctaves << " " << form;
      // The harmonic nearest the slave's pitch outweighs the master's
      // fundamental and the harmonics far above.
      const int slave = static_cast<int>(std::lround(std::exp2(syncOctaves)));
      EXPECT_GT(s.harmonics[static_cast<size_t>(slave - 1)], s.harmonics[0] * (slave > 1 ? 0.5 : 0.0));
      EXPECT_GT(s.harmonics[static_cast<size_t>(slave - 1)], 4.0 * s.harmonics[static_cast<size_t>(slave + 3)]);
      const double cents = 1200.0 * std::log2(measureFrequency(x, first, n, 44100.0, f0) / f0);
      EXPECT_LT(std::fabs(cents), 0.5) << syncOctaves << " " << form;
    }
  }
}

// Fractional sync up the keyboard: what is not on a harmonic of the master
// (the played pitch), relative to all that is. The crossfade target must
// meet the slave where the reset restarts it; one that misses leaves a step
// at every reset, which folds back as noise-like partials (20 to 35 dB
// down at these notes). Resets cost more the higher the note, as a hard
// reset does whatever hides it.
TEST(OscillatorSyncTest, FractionalSyncStaysHarmonicUpTheKeyboard) {
  // As clean as the plain waves up the keyboard: the strongest component
  // off the harmonics at most 50 dB under the strongest harmonic through
  // C7 and 40 dB at C8, at both common rates. (Rendered at the base rate,
  // the resets folded back to -24 dB at C7.)
  BuiltStyle built;
  const struct {
    int note;
    double limit;
  } notes[] = {{48, -50.0}, {60, -50.0}, {72, -50.0}, {84, -50.0}, {96, -50.0}, {108, -40.0}};
  for (float rate : {44100.0f, 48000.0f}) {
    for (float syncOctaves : {0.5f, 1.5f, 2.6f}) {
      for (Oscillator::WaveForm form : {Oscillator::Sawtooth, Oscillator::Square}) {
        for (const auto& [note, limit] : notes) {
          Play p;
          p.form = form;
          p.rate = rate;
          p.pitch = noteToPitch(note);
          p.sync = syncOctaves;
          const int n = 32768;
          std::vector<float> x = play(built.style.get(), p, n + 512);
          HarmonicSplit s = splitHarmonics(analyse(x, 512, n).power, noteToHz(note) * n / rate);
          double strongest = 0.0;
          for (double h : s.harmonics) strongest = std::max(strongest, h);
          // The strongest harmonic's peak bin: its power spread over the
          // window's main lobe, about a third of it in the centre bin.
          EXPECT_LT(dB(s.offHarmonicPeak / (strongest * 0.3)), limit)
              << "rate " << rate << " sync " << syncOctaves << " form " << form << " note " << note;
        }
      }
    }
  }
}

// Octave bands of an averaged noise spectrum at 44.1 kHz: bins [16, 32),
// [32, 64), ... [1024, 2048) of a 4096-point frame (172 Hz to 22 kHz).
std::vector<double> octaveBands(Oscillator::WaveForm form) {
  BuiltStyle built;
  Play p;
  p.form = form;
  const int n = 4096;
  const int frames = 48;
  std::vector<float> x = play(built.style.get(), p, n * frames);
  std::vector<double> sum(n / 2 + 1, 0.0);
  for (int f = 0; f < frames; ++f) {
    Frame fr = analyse(x, static_cast<size_t>(f) * n, n);
    for (size_t k = 0; k < sum.size(); ++k) sum[k] += fr.power[k];
  }
  std::vector<double> bands;
  for (size_t from = 16; from < 2048; from *= 2) bands.push_back(10.0 * std::log10(bandPower(sum, from, from * 2)));
  return bands;
}

TEST(OscillatorNoiseTest, WhiteNoiseIsFlatWithinOneAndAHalfDecibels) {
  std::vector<double> bands = octaveBands(Oscillator::WhiteNoise);
  double lo = bands[0];
  double hi = bands[0];
  for (double b : bands) {
    lo = std::min(lo, b);
    hi = std::max(hi, b);
  }
  EXPECT_LT(hi - lo, 1.5);
}

TEST(OscillatorNoiseTest, PinkNoiseFallsAboutThreeDecibelsPerOctave) {
  std::vector<double> bands = octaveBands(Oscillator::PinkNoise);
  for (size_t i = 1; i < bands.size(); ++i) {
    EXPECT_LT(bands[i] - bands[i - 1], -2.0) << "octave " << i;
    EXPECT_GT(bands[i] - bands[i - 1], -4.0) << "octave " << i;
  }
  const double slope = (bands.back() - bands.front()) / static_cast<double>(bands.size() - 1);
  EXPECT_NEAR(slope, -3.0, 0.4);
}

// Pink noise holds the same power in every octave (its density falls 3 dB
// per octave), up to 16 kHz. Each third of an octave from 62.5 Hz up is
// measured against the white noise the pink is filtered from (both forms
// seeded alike draw the same white values): the pink band's power over the
// white band's is the filter's mean gain there, free of the noise's own
// scatter, and a flat white band holds the power of its width. The three
// poles lie four octaves apart, and so does the design's ripple (about
// +-0.45 dB): a band holds the power of the band four octaves below within
// half a decibel, and every octave that of the others. A direct share of
// 0.2 instead of 0.11 lifts the top bands 0.8 dB over theirs.
TEST(OscillatorNoiseTest, PinkNoiseHoldsOnePowerInEveryOctaveUpTo16kHz) {
  BuiltStyle built;
  Play white;
  white.form = Oscillator::WhiteNoise;
  Play pink = white;
  pink.form = Oscillator::PinkNoise;
  const int n = 16384;
  const int frames = 16;
  const std::vector<float> x = play(built.style.get(), white, n * frames);
  const std::vector<float> y = play(built.style.get(), pink, n * frames);
  std::vector<double> sx(n / 2 + 1, 0.0), sy(n / 2 + 1, 0.0);
  for (int f = 0; f < frames; ++f) {
    const Frame a = analyse(x, static_cast<size_t>(f) * n, n);
    const Frame b = analyse(y, static_cast<size_t>(f) * n, n);
    for (size_t k = 0; k < sx.size(); ++k) {
      sx[k] += a.power[k];
      sy[k] += b.power[k];
    }
  }
  // The pink power in [lo, hi) for a white of one power per hertz, in dB.
  const double binHz = 44100.0 / n;
  auto level = [&](double lo, double hi) {
    const size_t from = static_cast<size_t>(std::lround(lo / binHz));
    const size_t to = static_cast<size_t>(std::lround(hi / binHz));
    return 10.0 * std::log10(bandPower(sy, from, to) / bandPower(sx, from, to) * (hi - lo));
  };
  const double third = std::pow(2.0, 1.0 / 3.0);
  std::vector<double> thirds;
  for (int j = 0; j < 24; ++j) {
    const double lo = 62.5 * std::pow(third, j);
    thirds.push_back(level(lo, lo * third));
  }
  for (int j = 12; j < 24; ++j)
    EXPECT_NEAR(thirds[j], thirds[j - 12], 0.5) << "the third of an octave from " << 62.5 * std::pow(third, j)
                                                 << " Hz against four octaves below";
  std::vector<double> octaves;
  for (double lo = 62.5; lo < 16000.0; lo *= 2.0) octaves.push_back(level(lo, 2.0 * lo));
  double mean = 0.0;
  for (double o : octaves) mean += o / static_cast<double>(octaves.size());
  for (size_t i = 0; i < octaves.size(); ++i)
    EXPECT_NEAR(octaves[i], mean, 0.5) << "the octave from " << 62.5 * std::pow(2.0, i) << " Hz";
}

} // namespace
