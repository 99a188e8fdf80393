// The oscillator as a unit of the signal graph: its inputs, the choice of
// kernel, phase reset and the crossfaded restart, the noise register and
// floor, rate changes, and a render path that allocates nothing.

#include "tests/support/AllocationCounter.h"
#include "tests/support/LargestStep.h"
#include "tests/wave/OscillatorFft.h"
#include "tests/wave/OscillatorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

using namespace osctest;

using zarn::test::largestStep;

namespace {

// Pulls a 64-sample block of the oscillator (between the caller's
// beginBlock and endBlock) and writes what the bare kernel makes of the
// same state and inputs into bare; returns the oscillator's block.
const float* pullBesideKernel(Oscillator& osc, const float (*tables)[Oscillator::cTableStride], float* bare) {
  VectorProduceParams reference = osc.kernelState;
  const float* out = osc.pull(64)->data;
  // The inputs the oscillator pulled this block (producers render once per
  // block, so these are the same samples).
  const float* pitch = osc.frequency.output->pull(64)->data;
  const float* widths = osc.pulseWidth.output->pull(64)->data;
  if (osc.waveForm.get() == Oscillator::Square)
    vectorProduceSquareFast(&reference, tables[0], pitch, widths, bare, 64);
  else
    vectorProduceWaveFast(&reference, tables[0], pitch, bare, 64);
  return out;
}

TEST(OscillatorTest, StartsWithinTheFirstTableAndTheSynthesizersPulseShares) {
  auto style = makeStyle();
  wave::Environment env(64);
  Oscillator osc(style.get(), &env);
  EXPECT_EQ(osc.waveForm.get(), Oscillator::Sawtooth);
  EXPECT_EQ(osc.sync.getParameter().getMaxValue(), 2.0f);
  EXPECT_GE(osc.kernelState.phase, 0.0f);
  EXPECT_LT(osc.kernelState.phase, 64.0f);
  EXPECT_GE(osc.noiseState, 1u);
  EXPECT_LE(osc.noiseState, 16777215u);
  // Square level 0.6 split evenly, over the sawtooth level 0.5.
  EXPECT_FLOAT_EQ(osc.kernelState.pulseGain, 0.6f);
  EXPECT_FLOAT_EQ(osc.kernelState.sawGain, 0.6f);
  ASSERT_NE(osc.frequencyTable, nullptr);
  EXPECT_EQ(osc.frequencyTable->rate, 44100);
}

TEST(OscillatorTest, AnUnknownWaveFormLeavesTheBlockAsItWas) {
  BuiltStyle built;
  wave::Environment env(64);
  Oscillator osc(built.style.get(), &env);
  osc.waveForm = static_cast<Oscillator::WaveForm>(5);
  for (int i = 0; i < 64; ++i) osc.ownBlock->data[i] = 7.0f;
  for (float v : render(env, osc, 128)) ASSERT_EQ(v, 7.0f);
}

// A mute call pulls nothing, writes nothing and leaves phase and noise.
TEST(OscillatorTest, AMuteCallChangesNothing) {
  BuiltStyle built;
  wave::Environment env(64);
  for (int form = 0; form < 5; ++form) {
    Oscillator osc(built.style.get(), &env);
    osc.waveForm = static_cast<Oscillator::WaveForm>(form);
    ControlSignal pitch(&env, {9.0f});
    osc.frequency.setController(&pitch);
    for (int i = 0; i < 64; ++i) osc.ownBlock->data[i] = 3.0f;
    const float phase = osc.kernelState.phase;
    const uint32_t noise = osc.noiseState;
    osc.produce(osc.ownBlock, 64, wave::cMuteCall);
    EXPECT_EQ(osc.kernelState.phase, phase);
    EXPECT_EQ(osc.noiseState, noise);
    EXPECT_EQ(pitch.position, 0u) << form;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(osc.ownBlock->data[i], 3.0f);
  }
}

TEST(OscillatorTest, ResetPhaseGoesThreeQuartersIntoTheTableLastPlayed) {
  auto style = makeStyle();
  wave::Environment env(64);
  Oscillator osc(style.get(), &env);
  // 440 Hz at 44.1 kHz fits 50 harmonics: a table of 2048 points; higher
  // notes fit fewer. Find a pitch that plays a 512-point table.
  const Oscillator::FrequencyTable* table = style->getFrequencyTable(44100);
  float pitch = noteToPitch(69);
  while (style->tableSizes[table->tableIndex[static_cast<int>(pitch * 409.6f + 4096.0f)]] != 512 && pitch < 14.0f)
    pitch += 0.05f;
  setNow(osc.frequency, pitch);
  render(env, osc, 64);
  ASSERT_EQ(style->tableSizes[osc.kernelState.tableIndex], 512);
  osc.resetPhase();
  EXPECT_EQ(osc.kernelState.phase, 384.0f);
  EXPECT_EQ(osc.kernelState.syncPhase, 384.0f);
}

// A sounding oscillator restarted by fadeToPhase runs on from where it was
// and crossfades into the restarted wave: a raised cosine over L samples
// moves at most pi / 2L of the way per sample, so no step may exceed the
// larger of the two waves' own steps plus that share of their largest
// difference. From the end of the crossfade on it plays what an oscillator
// that jumped to the same phase plays (synced, once the decimator's taps
// have passed the crossfade), to the bit.
TEST(OscillatorTest, ARestartFadesFromTheRunningWaveIntoTheRestartedOne) {
  BuiltStyle built;
  wave::Environment env(64);
  const int fade = static_cast<int>(Oscillator::cRestartSeconds * 44100.0f);
  ASSERT_GT(fade, 100); // a few milliseconds
  struct Case {
    Oscillator::WaveForm form;
    float sync;
  };
  for (const Case c : {Case{Oscillator::Triangle, 0.0f}, Case{Oscillator::Square, 0.0f},
                       Case{Oscillator::Sawtooth, 0.5f}, Case{Oscillator::Square, 0.5f}}) {
    SCOPED_TRACE(testing::Message() << "wave form " << c.form << ", sync " << c.sync);
    Oscillator faded(built.style.get(), &env), jumped(built.style.get(), &env), running(built.style.get(), &env);
    std::vector<float> before;
    for (Oscillator* o : {&faded, &jumped, &running}) {
      o->waveForm = c.form;
      setNow(o->frequency, noteToPitch(57));
      setNow(o->sync, c.sync);
      setNow(o->pulseWidth, 0.3f);
      o->jumpToPhase(0.1f);
      before = render(env, *o, 1000);
    }
    faded.fadeToPhase(0.6f);
    jumped.jumpToPhase(0.6f);
    EXPECT_TRUE(faded.isFadingToPhase());
    EXPECT_FALSE(jumped.isFadingToPhase());
    const int n = fade + 512;
    const std::vector<float> x = render(env, faded, n), y = render(env, jumped, n), z = render(env, running, n);
    EXPECT_FALSE(faded.isFadingToPhase());

    double apart = 0.0;
    for (int i = 0; i < fade; ++i) apart = std::max(apart, std::fabs(static_cast<double>(y[i]) - z[i]));
    ASSERT_GT(apart, 0.3); // the restart moves the wave a long way
    const size_t end = static_cast<size_t>(fade) + 64;
    const double own = std::max(largestStep(y, 1, end), largestStep(z, 0, end, 1, before.back()));
    const double bound = own + apart * 3.14159265358979 / (2.0 * fade);
    EXPECT_LE(largestStep(x, 0, end, 1, before.back()), c.sync > 0.0f ? 1.1 * bound : bound + 1e-6);
    // The jump itself is what is avoided (the edges of a sawtooth or a
    // pulse step as far as a restart, so there only the bound tells).
    if (c.form == Oscillator::Triangle) {
      EXPECT_GT(std::fabs(y[0] - before.back()), 4.0 * bound);
    }

    const size_t same = static_cast<size_t>(fade) + (c.sync > 0.0f ? SyncDecimator::cDelay * 2 + 2 : 0);
    for (size_t i = same; i < x.size(); ++i) ASSERT_EQ(x[i], y[i]) << "sample " << i;
  }
}

// A jump during a restart's crossfade drops the crossfade: the oscillator
// plays exactly what one that only jumped plays (a voice that falls silent
// in the middle of a restart starts its next note clean).
TEST(OscillatorTest, AJumpDropsARestartsCrossfade) {
  BuiltStyle built;
  wave::Environment env(64);
  for (float sync : {0.0f, 0.5f}) {
    Oscillator a(built.style.get(), &env), b(built.style.get(), &env);
    for (Oscillator* o : {&a, &b}) {
      o->waveForm = Oscillator::Triangle;
      setNow(o->frequency, noteToPitch(64));
      setNow(o->sync, sync);
      o->jumpToPhase(0.2f);
      render(env, *o, 640);
    }
    a.fadeToPhase(0.7f);
    render(env, a, 64);
    a.jumpToPhase(0.4f);
    b.jumpToPhase(0.4f);
    // Synced, the decimator's history differs: compared after its taps.
    const std::vector<float> x = render(env, a, 1024), y = render(env, b, 1024);
    for (size_t i = sync > 0.0f ? 128 : 0; i < x.size(); ++i) ASSERT_EQ(x[i], y[i]) << "sync " << sync << ", sample " << i;
  }
}

// Two oscillators on the same phase. Phases stepped once per sample and four
// samples at a time round differently: over 1500 samples they drift apart
// by some thousandths of a table point, which a steep stretch of the wave
// turns into differences of up to about 0.002.
struct Pair {
  Pair(Oscillator::Style* style, wave::Environment* env, Oscillator::WaveForm form) : a(style, env), b(style, env) {
    a.waveForm = form;
    b.waveForm = form;
  }
  void align(wave::Environment& env) {
    render(env, a, 4);
    render(env, b, 4);
    a.resetPhase();
    b.resetPhase();
  }
  Oscillator a;
  Oscillator b;
};

namespace {

// The same tone: harmonics 1 to 4 of f0 within 0.2 dB of each other. The
// synced path renders at four times the rate and is filtered down, so it is
// later by the filter's delay and its top octave is tapered differently:
// the waves are compared by their spectra, not sample by sample.
void expectSameTone(const std::vector<float>& x, const std::vector<float>& y, double f0, const char* what) {
  const int n = 8192;
  const double f0Bins = f0 * n / 44100.0;
  const osctest::HarmonicSplit a = osctest::splitHarmonics(osctest::analyse(x, 512, n).power, f0Bins);
  const osctest::HarmonicSplit b = osctest::splitHarmonics(osctest::analyse(y, 512, n).power, f0Bins);
  for (size_t h = 0; h < 4; ++h) EXPECT_NEAR(osctest::dB(a.harmonics[h] / b.harmonics[h]), 0.0, 0.2) << what << " " << h + 1;
  EXPECT_LT(osctest::dB(b.offHarmonicPeak / b.fundamentalPeak), -60.0) << what;
}

} // namespace

// Sync held at 0 by a constant producer runs the free-running kernel; a
// producer of zeros that does not say it is constant runs the sync kernel,
// whose tone agrees.
TEST(OscillatorTest, SyncZeroSoundsLikeNoSync) {
  BuiltStyle built;
  wave::Environment env(64);
  for (Oscillator::WaveForm form : {Oscillator::Sawtooth, Oscillator::Square, Oscillator::Triangle}) {
    Pair p(built.style.get(), &env, form);
    ControlSignal zeros(&env, {0.0f}, false);
    p.b.sync.setController(&zeros);
    setNow(p.a.frequency, noteToPitch(60));
    setNow(p.b.frequency, noteToPitch(60));
    setNow(p.a.pulseWidth, 0.3f);
    setNow(p.b.pulseWidth, 0.3f);
    p.align(env);
    std::vector<float> x = render(env, p.a, 8704);
    std::vector<float> y = render(env, p.b, 8704);
    // The sync kernel marks its state so: no crossfade is pending.
    EXPECT_GT(p.b.kernelState.crossfadeStart, static_cast<float>(built.style->tableSizes[p.b.kernelState.tableIndex]));
    expectSameTone(x, y, 440.0 * std::pow(2.0, (60 - 69) / 12.0), form == Oscillator::Sawtooth ? "saw" : "other");
  }
}

// Sync by exactly one octave: the oscillator sounds an octave up, like a
// free-running one there.
TEST(OscillatorTest, SyncOfOneOctaveMatchesTheOctaveAbove) {
  BuiltStyle built;
  wave::Environment env(64);
  Pair p(built.style.get(), &env, Oscillator::Sawtooth);
  setNow(p.a.frequency, noteToPitch(62));
  setNow(p.a.sync, 1.0f);
  setNow(p.b.frequency, noteToPitch(74));
  p.align(env);
  std::vector<float> x = render(env, p.a, 8704);
  std::vector<float> y = render(env, p.b, 8704);
  expectSameTone(y, x, 440.0 * std::pow(2.0, (74 - 69) / 12.0), "octave");
}

TEST(OscillatorTest, NoiseRegisterShiftsEightTimesPerSample) {
  auto style = makeStyle();
  wave::Environment env(64);
  Oscillator osc(style.get(), &env);
  std::mt19937 rng(5);
  for (int trial = 0; trial < 2000; ++trial) {
    uint32_t s = 1u + rng() % 16777215u;
    osc.noiseState = s;
    const float w = osc.nextNoise();
    for (int k = 0; k < 8; ++k) {
      s *= 2;
      if (s & 0x1000000u) s ^= 0x11d872bu;
    }
    ASSERT_EQ(osc.noiseState, s);
    ASSERT_EQ(w, static_cast<float>(static_cast<int32_t>(s) - 0x800000) * 1.1920929e-7f);
  }
}

// Every non-zero 24-bit state comes round once before the sequence repeats.
TEST(OscillatorTest, NoiseRegisterRunsThroughAllStatesAndNeverZero) {
  auto style = makeStyle();
  wave::Environment env(64);
  Oscillator osc(style.get(), &env);
  const uint32_t start = osc.noiseState;
  uint32_t period = 0;
  do {
    osc.nextNoise();
    ++period;
    ASSERT_NE(osc.noiseState, 0u);
    ASSERT_LT(osc.noiseState, 1u << 24);
  } while (osc.noiseState != start && period <= (1u << 24));
  EXPECT_EQ(period, (1u << 24) - 1u);
}

// The white noise wave is the register's sequence, one value per sample
// (eight single shifts apart), whatever lengths the blocks have.
TEST(OscillatorTest, WhiteNoiseIsTheRegistersSequenceInBlocksOfAnyLength) {
  auto style = makeStyle();
  for (int block : {1, 3, 7, 8, 12, 64, 200}) {
    wave::Environment env(256);
    Oscillator osc(style.get(), &env);
    osc.waveForm = Oscillator::WhiteNoise;
    osc.seedNoise(4242u + static_cast<uint32_t>(block));
    uint32_t s = osc.noiseState;
    const std::vector<float> x = render(env, osc, 1000, block);
    for (size_t i = 0; i < x.size(); ++i) {
      for (int k = 0; k < 8; ++k) {
        s *= 2;
        if (s & 0x1000000u) s ^= 0x11d872bu;
      }
      const float want = static_cast<float>(static_cast<int32_t>(s) - 0x800000) * 1.1920929e-7f * cSynthNoise;
      ASSERT_EQ(x[i], want) << "blocks of " << block << ", sample " << i;
    }
    EXPECT_EQ(osc.noiseState, s) << block;
  }
}

// Both ways of making white noise (the wide one where this processor has
// it, and the table steps) give the one-shift register's sequence bit for bit
// over many blocks of odd and even lengths, leave the state where the last
// value left it and write nothing past the block.
TEST(OscillatorTest, WhiteNoiseBothWaysIsTheOneShiftSequenceOverManyBlocks) {
  RecordProperty("wideNoise", Oscillator::wideNoiseAvailable() ? "yes" : "no");
  const int lengths[] = {1, 2, 3, 5, 8, 15, 16, 17, 31, 32, 33, 47, 48, 63, 64, 65, 95, 96, 97, 129, 255, 256, 300};
  const uint32_t seeds[] = {1u, 0xffffffu, 0x800000u, 0x000100u, 0x7fffffu, 0x123456u, 0xabcdefu, 0x010203u};
  const float levels[] = {0.2f, 1.0f, 0.37f};
  std::vector<float> out(400);
  for (bool wide : {true, false}) {
    for (size_t seed = 0; seed < std::size(seeds); ++seed) {
      uint32_t state = seeds[seed];
      uint32_t want = seeds[seed];
      const float level = levels[seed % std::size(levels)];
      for (int block = 0; block < 400; ++block) {
        const int n = lengths[(block * 7 + static_cast<int>(seed)) % std::size(lengths)];
        std::fill(out.begin(), out.end(), 12345.0f);
        Oscillator::produceWhiteNoise(state, level, out.data(), n, wide);
        for (int i = 0; i < n; ++i) {
          for (int k = 0; k < 8; ++k) {
            want *= 2;
            if (want & 0x1000000u) want ^= 0x11d872bu;
          }
          const float v = static_cast<float>(static_cast<int32_t>(want) - 0x800000) * 1.1920929e-7f * level;
          uint32_t got, expected;
          std::memcpy(&got, &out[static_cast<size_t>(i)], sizeof got);
          std::memcpy(&expected, &v, sizeof expected);
          ASSERT_EQ(got, expected) << (wide ? "wide" : "table") << ", seed " << seeds[seed] << ", block " << block
                                   << " of " << n << ", sample " << i;
        }
        ASSERT_EQ(state, want) << (wide ? "wide" : "table") << ", block " << block << " of " << n;
        for (size_t i = static_cast<size_t>(n); i < out.size(); ++i)
          ASSERT_EQ(out[i], 12345.0f) << "written past a block of " << n;
      }
    }
  }
}

TEST(OscillatorTest, WhiteNoiseStaysWithinItsLevelAndDiffersPerOscillator) {
  auto style = makeStyle();
  wave::Environment env(64);
  Oscillator a(style.get(), &env);
  Oscillator b(style.get(), &env);
  a.waveForm = Oscillator::WhiteNoise;
  b.waveForm = Oscillator::WhiteNoise;
  std::vector<float> x = render(env, a, 20000);
  std::vector<float> y = render(env, b, 20000);
  float lo = 1.0f;
  float hi = -1.0f;
  int same = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    ASSERT_GE(x[i], -cSynthNoise);
    ASSERT_LT(x[i], cSynthNoise);
    lo = std::min(lo, x[i]);
    hi = std::max(hi, x[i]);
    if (x[i] == y[i]) ++same;
  }
  EXPECT_LT(lo, -0.99f * cSynthNoise);
  EXPECT_GT(hi, 0.99f * cSynthNoise);
  EXPECT_LT(same, 10);
}

// The tonal wave forms get the noise floor added: at most its level away
// from the clean wave, with the RMS of uniform noise of that level.
TEST(OscillatorTest, BackgroundNoiseIsAddedAtItsLevel) {
  BuiltStyle clean;
  auto noisy = makeStyle(cSynthSquare[1], 0.0006f);
  std::memcpy(noisy->sawtoothTables, clean.style->sawtoothTables, sizeof(noisy->sawtoothTables));
  std::memcpy(noisy->triangleTables, clean.style->triangleTables, sizeof(noisy->triangleTables));
  wave::Environment env(64);
  for (Oscillator::WaveForm form : {Oscillator::Triangle, Oscillator::Sawtooth, Oscillator::Square}) {
    Oscillator a(clean.style.get(), &env);
    Oscillator b(noisy.get(), &env);
    a.waveForm = form;
    b.waveForm = form;
    render(env, a, 4);
    render(env, b, 4);
    a.resetPhase();
    b.resetPhase();
    std::vector<float> x = render(env, a, 20000);
    std::vector<float> y = render(env, b, 20000);
    double sum = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double d = static_cast<double>(y[i]) - x[i];
      ASSERT_LE(std::fabs(d), 0.0006 * 1.001);
      sum += d * d;
    }
    EXPECT_NEAR(std::sqrt(sum / x.size()), 0.0006 / std::sqrt(3.0), 0.00003);
  }
}

// Without a noise floor a tonal wave form is the bare kernel's output, bit
// for bit, and no noise is drawn for it: the register stands still. The
// floor does not draw from the register either; two oscillators seeded apart
// get floors that do not follow each other (voices' floors add up as noise,
// not as one louder copy).
TEST(OscillatorTest, NoNoiseFloorLeavesTheKernelOutputAsItIs) {
  BuiltStyle clean;
  auto noisy = makeStyle(cSynthSquare[1], 0.0006f);
  std::memcpy(noisy->sawtoothTables, clean.style->sawtoothTables, sizeof(noisy->sawtoothTables));
  std::memcpy(noisy->triangleTables, clean.style->triangleTables, sizeof(noisy->triangleTables));
  wave::Environment env(64);
  ControlSignal vibrato(&env, std::vector<float>(1024, 0.0f));
  for (size_t i = 0; i < vibrato.values.size(); ++i)
    vibrato.values[i] = noteToPitch(57) + 0.2f * std::sin(static_cast<float>(i) * 0.02f);
  for (Oscillator::WaveForm form : {Oscillator::Triangle, Oscillator::Sawtooth, Oscillator::Square}) {
    Oscillator osc(clean.style.get(), &env);
    osc.waveForm = form;
    vibrato.position = 0;
    osc.frequency.setController(&vibrato);
    setNow(osc.pulseWidth, 0.3f);
    const float(*tables)[Oscillator::cTableStride] =
        form == Oscillator::Triangle ? clean.style->triangleTables : clean.style->sawtoothTables;
    const uint32_t noise = osc.noiseState;
    alignas(16) float expected[64];
    for (int block = 0; block < 12; ++block) {
      env.beginBlock();
      const float* out = pullBesideKernel(osc, tables, expected);
      ASSERT_EQ(0, std::memcmp(expected, out, sizeof(expected))) << form << " block " << block;
      env.endBlock(64);
    }
    EXPECT_EQ(osc.noiseState, noise) << form;

    Oscillator bare(clean.style.get(), &env);
    Oscillator withFloor(noisy.get(), &env);
    Oscillator other(noisy.get(), &env);
    for (Oscillator* o : {&bare, &withFloor, &other}) {
      o->waveForm = form;
      o->kernelState.phase = 0.0f;
    }
    withFloor.seedNoise(1);
    other.seedNoise(2);
    const uint32_t before = withFloor.noiseState;
    const std::vector<float> x = render(env, bare, 8192);
    const std::vector<float> a = render(env, withFloor, 8192);
    const std::vector<float> b = render(env, other, 8192);
    EXPECT_EQ(withFloor.noiseState, before) << form;
    double aa = 0.0, bb = 0.0, ab = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double da = static_cast<double>(a[i]) - x[i];
      const double db = static_cast<double>(b[i]) - x[i];
      aa += da * da;
      bb += db * db;
      ab += da * db;
    }
    // Independent floors: a correlation of about 1/sqrt(8192) at most.
    EXPECT_LT(std::fabs(ab) / std::sqrt(aa * bb), 0.05) << form;
  }
}

// The floor is the noise bed read on from the oscillator's place, aligned
// to four, wrapping from the bed's end to its start inside a block: each
// sample is the bare wave plus bed value x level.
TEST(OscillatorTest, TheNoiseFloorReadsTheBedOnAcrossItsEnd) {
  auto noisy = makeStyle(cSynthSquare[1], 0.0006f);
  BuiltStyle clean;
  std::memcpy(noisy->sawtoothTables, clean.style->sawtoothTables, sizeof(noisy->sawtoothTables));
  wave::Environment env(64);
  const uint32_t size = Oscillator::Style::cNoiseBedSize;
  const float* bed = noisy->getNoiseBed();
  for (Oscillator::WaveForm form : {Oscillator::Sawtooth, Oscillator::Square}) {
    Oscillator osc(noisy.get(), &env);
    osc.waveForm = form;
    setNow(osc.pulseWidth, 0.3f);
    // 90 values before the end, rounded down to a multiple of four: 92. The
    // second block crosses the end.
    osc.bedPosition = size - 90;
    uint32_t place = size - 92;
    alignas(16) float bare[64];
    for (int block = 0; block < 4; ++block) {
      env.beginBlock();
      const float* out = pullBesideKernel(osc, noisy->sawtoothTables, bare);
      for (int i = 0; i < 64; ++i) {
        const float want = bed[(place + static_cast<uint32_t>(i)) % size] * 0.0006f + bare[i];
        ASSERT_EQ(out[i], want) << form << " block " << block << " sample " << i;
      }
      place = (place + 64) % size;
      env.endBlock(64);
    }
  }
}

// A new rate swaps the frequency table at the next block; the phase goes on
// where it was.
TEST(OscillatorTest, ARateChangeSwapsTheTableAndKeepsThePhase) {
  BuiltStyle built;
  wave::Environment env(64);
  Oscillator osc(built.style.get(), &env);
  render(env, osc, 64);
  const float phase = osc.kernelState.phase;
  env.setSampleRate(48000.0f);
  osc.updateFrequencyTable();
  EXPECT_EQ(osc.frequencyTable->rate, 48000);
  EXPECT_EQ(osc.kernelState.frequencyTable, osc.frequencyTable->frequency);
  EXPECT_EQ(osc.kernelState.tableIndexTable, osc.frequencyTable->tableIndex);
  EXPECT_EQ(osc.kernelState.phase, phase);
  EXPECT_EQ(osc.currentRate, 48000.0f);
}

// Once the style has the rate's table, rendering allocates nothing: every
// wave form, with and without sync, through a rate change to a rate the
// plug-in announced.
TEST(OscillatorTest, RenderingAllocatesNothing) {
  BuiltStyle built;
  wave::Environment env(256);
  built.style->prepareSampleRate(96000.0f);
  Oscillator osc(built.style.get(), &env);
  ControlSignal vibrato(&env, std::vector<float>(4096, 0.0f));
  for (size_t i = 0; i < vibrato.values.size(); ++i)
    vibrato.values[i] = 7.0f + 0.1f * std::sin(static_cast<float>(i) * 0.01f);
  osc.frequency.setController(&vibrato);
  std::vector<float> sink(256);
  zarn::test::AllocationCounter counter;
  for (int form = 0; form < 5; ++form) {
    osc.waveForm = static_cast<Oscillator::WaveForm>(form);
    for (float s : {0.0f, 0.7f}) {
      osc.sync.getParameter().setInterpolated(s, 0.0f);
      for (int block = 0; block < 4; ++block) {
        if (block == 1) osc.fadeToPhase(0.5f); // a restart's crossfade
        if (block == 2) env.setSampleRate(96000.0f);
        env.beginBlock();
        wave::Block* b = osc.pull(256);
        sink[static_cast<size_t>(block)] += b->data[block];
        env.endBlock(256);
      }
      env.setSampleRate(44100.0f);
    }
  }
  EXPECT_EQ(counter.count(), 0);
  for (float v : sink) EXPECT_TRUE(std::isfinite(v));
}

// Pitch, pulse width and sync driven by producers beyond the buses' limits
// (and NaN) never leave the tables and never produce a NaN.
TEST(OscillatorTest, ModulationBeyondTheLimitsStaysFinite) {
  BuiltStyle built;
  wave::Environment env(64);
  const std::vector<float> wild = {30.0f, 45.0f, -30.0f, std::nanf(""), 1e20f, -1e20f, 2.0f, 0.5f};
  for (int form = 0; form < 3; ++form) {
    Oscillator osc(built.style.get(), &env);
    osc.waveForm = static_cast<Oscillator::WaveForm>(form);
    ControlSignal pitch(&env, std::vector<float>());
    ControlSignal width(&env, std::vector<float>());
    ControlSignal sync(&env, std::vector<float>());
    for (int i = 0; i < 4096; ++i) {
      pitch.values.push_back(wild[static_cast<size_t>(i) % wild.size()]);
      width.values.push_back(wild[static_cast<size_t>(i / 3) % wild.size()]);
      sync.values.push_back(wild[static_cast<size_t>(i / 5) % wild.size()]);
    }
    osc.frequency.setController(&pitch);
    osc.pulseWidth.setController(&width);
    osc.sync.setController(&sync);
    for (float v : render(env, osc, 4096)) ASSERT_TRUE(std::isfinite(v)) << form;
  }
}

} // namespace
