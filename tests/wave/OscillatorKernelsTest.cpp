// The oscillator kernels: the four-lane kernels against a scalar model of
// the same steps, and the sync kernels' reset, crossfade and bounds.
//
// The kernels run on random tables and on copies of a real frequency table
// in arrays of exactly the table's size, so that the sanitizer build sees
// any read past an end.

#include "tests/wave/OscillatorTestSupport.h"
#include "wave/OscillatorKernels.h"
#include "wave/SyncDecimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace osctest;

namespace {

constexpr float cNaN = std::numeric_limits<float>::quiet_NaN();

// 16-byte-aligned float storage with room for the count rounded up to four.
struct Aligned {
  explicit Aligned(int n) : n(n), data(static_cast<float*>(std::aligned_alloc(16, ((n + 3) / 4 * 4 + 4) * 4))) {
    std::memset(data, 0, ((n + 3) / 4 * 4 + 4) * 4);
  }
  ~Aligned() { std::free(data); }
  Aligned(const Aligned&) = delete;
  Aligned& operator=(const Aligned&) = delete;
  int n;
  float* data;
};

struct Fixture {
  explicit Fixture(int rate = 44100) {
    Oscillator::Style style;
    const Oscillator::FrequencyTable* t = style.getFrequencyTable(rate);
    frequencies.assign(t->frequency, t->frequency + cFrequencyTableEntries + 1);
    tableNumbers.assign(t->tableIndex, t->tableIndex + cFrequencyTableEntries);
    sizes.assign(style.tableSizes, style.tableSizes + Oscillator::cTableCount);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    tables.resize(static_cast<size_t>(Oscillator::cTableCount) * Oscillator::cTableStride);
    for (float& v : tables) v = d(rng);
  }
  VectorProduceParams params(float phase = 10.0f, int32_t table = 0) const {
    VectorProduceParams p{};
    p.frequencyTable = frequencies.data();
    p.tableIndexTable = tableNumbers.data();
    p.tableSizes = sizes.data();
    p.tableStride = Oscillator::cTableStride;
    p.phase = phase;
    p.syncPhase = phase;
    p.crossfadeStart = 1000.0f;
    p.tableIndex = table;
    p.indexOffset = 4096.0f;
    p.indexScale = 409.6f;
    p.pulseGain = 0.6f;
    p.sawGain = 0.6f;
    p.sawLevel = 0.5f;
    return p;
  }
  std::vector<float> frequencies;
  std::vector<int32_t> tableNumbers;
  std::vector<int32_t> sizes;
  std::vector<float> tables;
};

// The four-lane kernels' steps one lane at a time: look up the group's
// first pitch, wrap the lanes twice, read, step by four increments, and on
// a new pitch restart the lanes from lane 0 (carried to the new table size
// and brought into it) with the new increment.
struct Reference {
  static float wrap(float x, float size) {
    if (x >= 0.0f && x < size) return x;
    float r = std::fmod(x, size);
    if (r < 0.0f) r += size;
    return r >= 0.0f && r < size ? r : 0.0f;
  }
  static void lookUp(const VectorProduceParams& p, float pitch, float& f, int32_t& t) {
    float x = pitch * p.indexScale + p.indexOffset;
    if (!(x >= 0.0f)) x = 0.0f;
    if (x > 16383.0f) x = 16383.0f;
    int32_t k = static_cast<int32_t>(x);
    f = p.frequencyTable[k] + (x - static_cast<float>(k)) * (p.frequencyTable[k + 1] - p.frequencyTable[k]);
    t = p.tableIndexTable[k];
  }
  static void run(VectorProduceParams& p, const float* tables, const float* pitch, const float* width, float* out,
                  int count, bool square) {
    if (count < 1) return;
    float f;
    int32_t t;
    lookUp(p, pitch[0], f, t);
    int32_t size = p.tableSizes[t];
    float fs = static_cast<float>(size);
    float start = wrap(p.phase * fs / static_cast<float>(p.tableSizes[p.tableIndex]), fs);
    float inc = f * fs;
    float lane[4];
    for (int j = 0; j < 4; ++j) lane[j] = start + static_cast<float>(j) * inc;
    float last = pitch[0];
    for (int s = 0; s < count; s += 4) {
      const float* table = tables + t * p.tableStride;
      for (int j = 0; j < 4; ++j) {
        if (lane[j] >= fs) lane[j] -= fs;
        if (lane[j] >= fs) lane[j] -= fs;
        int32_t n = static_cast<int32_t>(lane[j]);
        float frac = lane[j] - static_cast<float>(n);
        float a = table[n] + frac * (table[n + 1] - table[n]);
        if (square) {
          float w = width[s + j] > 0.0f ? width[s + j] : 0.0f;
          w = w < 1.0f ? w : 1.0f;
          float v = 1.0f - w;
          // The mirror at (size / 2) x v - x, between points: 1 - g on
          // from point whole - n - 1, g = frac - the width's part of a
          // point, or -g on from the point after it where g < 0.
          float c = static_cast<float>(size / 2) * v;
          int32_t whole = static_cast<int32_t>(c);
          float g = frac - (c - static_cast<float>(whole));
          bool past = g < 0.0f;
          float u = (past ? 0.0f : 1.0f) - g;
          int32_t m = (whole + 2 * size - n - 1 + (past ? 1 : 0)) & (size - 1);
          float b = table[m] + u * (table[m + 1] - table[m]);
          a = a * (p.sawGain * v + p.pulseGain) + b * p.pulseGain;
        }
        out[s + j] = a;
        lane[j] += 4.0f * inc;
      }
      if (pitch[s] != last) {
        lookUp(p, pitch[s], f, t);
        int32_t newSize = p.tableSizes[t];
        float first = lane[0];
        if (newSize != size) {
          first = first * static_cast<float>(newSize) / fs;
          size = newSize;
          fs = static_cast<float>(size);
        }
        first = wrap(first, fs);
        inc = f * fs;
        for (int j = 0; j < 4; ++j) lane[j] = first + static_cast<float>(j) * inc;
        last = pitch[s];
      }
    }
    p.phase = wrap(lane[(count + 3) & 3] - 3.0f * inc, fs);
    p.syncPhase = p.phase;
    p.tableIndex = t;
    p.crossfadeStart = fs + 1.0f;
  }
};

void expectSameState(const VectorProduceParams& a, const VectorProduceParams& b) {
  EXPECT_EQ(a.phase, b.phase);
  EXPECT_EQ(a.syncPhase, b.syncPhase);
  EXPECT_EQ(a.tableIndex, b.tableIndex);
  EXPECT_EQ(a.crossfadeStart, b.crossfadeStart);
}

// Pitch patterns: held, a sweep over the keyboard that crosses every table
// size, leaps between sample groups, values outside the table (and NaN),
// and a held NaN.
std::vector<float> pitchPattern(int kind, int n, std::mt19937& rng) {
  std::vector<float> v(static_cast<size_t>(n) + 4);
  std::uniform_real_distribution<float> any(-12.0f, 32.0f);
  for (int i = 0; i < n + 4; ++i) {
    switch (kind) {
    case 0: v[i] = noteToPitch(57); break;
    case 1: v[i] = 3.0f + 12.0f * static_cast<float>(i) / static_cast<float>(n); break;
    case 2: v[i] = (i / 4) % 2 ? noteToPitch(110) : noteToPitch(30); break;
    case 3: v[i] = i % 37 == 5 ? cNaN : any(rng); break;
    default: v[i] = cNaN; break;
    }
  }
  return v;
}

// The four-lane kernels run as two builds, SSE2 and (where the processor
// has it) AVX-512VL: each must give the model's bits.
class FastKernelBuilds : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    if (GetParam() && !fastKernelsAvx512Available()) GTEST_SKIP() << "no AVX-512VL";
  }
  bool avx512() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(OscillatorKernelsTest, FastKernelBuilds, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Avx512" : "Sse2"; });

TEST_P(FastKernelBuilds, FastKernelsMatchTheScalarModelBitForBit) {
  Fixture fx;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> widths(-0.5f, 1.5f);
  // Held widths: on whole table points (0, 1 and, for sizes to 64 points,
  // 0.5), between them, outside the range, not a number.
  const float heldWidths[] = {0.3f, 0.0f, 0.5f, -0.25f, 0.7183f, 1.0f, 1.5f, cNaN, 0.0001f, 0.9999f};
  for (int kind = 0; kind < 5; ++kind) {
    // The held patterns are handed in as held, as a constant block is.
    const bool held = kind == 0 || kind == 4;
    for (int form = 0; form < 3; ++form) {
      const bool square = form > 0;
      // A square's widths each sample's own, or one held through the block
      // and handed in as held.
      const bool heldWidth = form == 2;
      VectorProduceParams fast = fx.params(37.25f, 5);
      VectorProduceParams model = fast;
      // Successive calls of varied counts, the state carried between them.
      int call = 0;
      for (int count : {1, 2, 3, 4, 5, 7, 16, 61, 64, 3, 128}) {
        std::vector<float> pitch = pitchPattern(kind, count, rng);
        std::vector<float> width(static_cast<size_t>(count) + 4);
        for (float& w : width) w = heldWidth ? heldWidths[call % 10] : widths(rng);
        if (!heldWidth) width[0] = cNaN;
        ++call;
        Aligned out(count);
        std::vector<float> expected(static_cast<size_t>(count) + 4);
        if (square)
          vectorProduceSquareFast(&fast, fx.tables.data(), pitch.data(), width.data(), out.data, count, nullptr,
                                  0.0f, held, avx512(), heldWidth);
        else
          vectorProduceWaveFast(&fast, fx.tables.data(), pitch.data(), out.data, count, nullptr, 0.0f, held, avx512());
        Reference::run(model, fx.tables.data(), pitch.data(), width.data(), expected.data(), count, square);
        for (int i = 0; i < (count + 3) / 4 * 4; ++i)
          ASSERT_EQ(out.data[i], expected[static_cast<size_t>(i)])
              << "kind " << kind << " form " << form << " count " << count << " sample " << i;
        expectSameState(fast, model);
        ASSERT_GE(fast.phase, 0.0f);
        ASSERT_LT(fast.phase, static_cast<float>(fx.sizes[static_cast<size_t>(fast.tableIndex)]));
      }
    }
  }
}

// A moving pitch's look-ups are worked out some groups ahead of the
// samples, a stretch at a time: long blocks, whose groups span several
// stretches (with leaps, NaNs and table changes at their seams), still
// match the model bit for bit, and so does the state they leave.
TEST_P(FastKernelBuilds, LongBlocksOfAMovingPitchMatchTheModel) {
  Fixture fx;
  std::mt19937 rng(17);
  for (int kind : {1, 2, 3}) {
    for (bool square : {false, true}) {
      VectorProduceParams fast = fx.params(21.5f, 9);
      VectorProduceParams model = fast;
      for (int count : {257, 1021, 512, 259}) {
        std::vector<float> pitch = pitchPattern(kind, count, rng);
        std::vector<float> width(static_cast<size_t>(count) + 4, 0.4f);
        Aligned out(count);
        std::vector<float> expected(static_cast<size_t>(count) + 4);
        if (square)
          vectorProduceSquareFast(&fast, fx.tables.data(), pitch.data(), width.data(), out.data, count, nullptr, 0.0f,
                                  false, avx512());
        else
          vectorProduceWaveFast(&fast, fx.tables.data(), pitch.data(), out.data, count, nullptr, 0.0f, false, avx512());
        Reference::run(model, fx.tables.data(), pitch.data(), width.data(), expected.data(), count, square);
        for (int i = 0; i < (count + 3) / 4 * 4; ++i)
          ASSERT_EQ(out.data[i], expected[static_cast<size_t>(i)])
              << "kind " << kind << " square " << square << " count " << count << " sample " << i;
        expectSameState(fast, model);
      }
    }
  }
}

// A pitch that drifts slowly, as under a slow LFO, starts most blocks in
// the frequency table entry where the block before ended: those blocks,
// held ones in that entry, a leap away and back, and a change of rate
// during the drift all keep the model's bits.
TEST_P(FastKernelBuilds, ASlowlyDriftingPitchMatchesTheModel) {
  Fixture fx;
  Fixture other(48000);
  for (bool square : {false, true}) {
    VectorProduceParams fast = fx.params(7.0f, 12);
    VectorProduceParams model = fast;
    float at = noteToPitch(57);
    for (int block = 0; block < 60; ++block) {
      const int count = 32;
      const bool held = block % 7 == 3, leap = block % 11 == 5;
      std::vector<float> pitch(count + 4), width(count + 4, 0.2f);
      for (int i = 0; i < count + 4; ++i)
        pitch[static_cast<size_t>(i)] = leap ? noteToPitch(90) : held ? at : at + 3e-5f * static_cast<float>(i);
      if (!held && !leap) at += 3e-5f * count;
      if (block == 30) {
        fast.frequencyTable = model.frequencyTable = other.frequencies.data();
        fast.tableIndexTable = model.tableIndexTable = other.tableNumbers.data();
      }
      Aligned out(count);
      std::vector<float> expected(count + 4);
      if (square)
        vectorProduceSquareFast(&fast, fx.tables.data(), pitch.data(), width.data(), out.data, count, nullptr, 0.0f,
                                held, avx512());
      else
        vectorProduceWaveFast(&fast, fx.tables.data(), pitch.data(), out.data, count, nullptr, 0.0f, held, avx512());
      Reference::run(model, fx.tables.data(), pitch.data(), width.data(), expected.data(), count, square);
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(out.data[i], expected[static_cast<size_t>(i)])
            << "square " << square << " block " << block << " sample " << i;
      expectSameState(fast, model);
    }
  }
}

// With a noise floor handed in, each output is the plain kernel's sample
// plus noise x level, rounded as that sum; the state moves as without it.
TEST_P(FastKernelBuilds, TheNoiseFloorIsAddedInTheSamePass) {
  Fixture fx;
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> any(-1.0f, 1.0f);
  const float level = 0.0006f;
  for (bool square : {false, true}) {
    VectorProduceParams fast = fx.params(3.5f, 40);
    VectorProduceParams model = fast;
    for (int count : {1, 6, 32, 61}) {
      std::vector<float> pitch = pitchPattern(count % 2 ? 2 : 1, count, rng);
      std::vector<float> width(static_cast<size_t>(count) + 4, 0.3f);
      Aligned noise(count);
      for (int i = 0; i < (count + 3) / 4 * 4; ++i) noise.data[i] = any(rng);
      Aligned out(count);
      std::vector<float> expected(static_cast<size_t>(count) + 4);
      if (square)
        vectorProduceSquareFast(&fast, fx.tables.data(), pitch.data(), width.data(), out.data, count, noise.data,
                                level, false, avx512());
      else
        vectorProduceWaveFast(&fast, fx.tables.data(), pitch.data(), out.data, count, noise.data, level, false,
                              avx512());
      Reference::run(model, fx.tables.data(), pitch.data(), width.data(), expected.data(), count, square);
      for (int i = 0; i < (count + 3) / 4 * 4; ++i) {
        const float want = noise.data[i] * level + expected[static_cast<size_t>(i)];
        ASSERT_EQ(out.data[i], want) << "square " << square << " count " << count << " sample " << i;
      }
      expectSameState(fast, model);
    }
  }
}

// The kernels remember their last look-up; a block at the same pitch read
// through another rate's frequency table (after a rate change) looks up
// anew, as does one at another pitch.
TEST_P(FastKernelBuilds, ANewFrequencyTableOrPitchIsLookedUpAnew) {
  Fixture fx;
  Fixture other(48000);
  std::vector<float> held(36, noteToPitch(60));
  std::vector<float> higher(36, noteToPitch(61));
  std::vector<float> width(36, 0.3f);
  for (bool square : {false, true}) {
    VectorProduceParams fast = fx.params(3.0f, 40);
    VectorProduceParams model = fast;
    std::vector<float> expected(36);
    Aligned out(32);
    auto step = [&](const std::vector<float>& pitch, const char* what) {
      if (square)
        vectorProduceSquareFast(&fast, fx.tables.data(), pitch.data(), width.data(), out.data, 32, nullptr, 0.0f,
                                true, avx512());
      else
        vectorProduceWaveFast(&fast, fx.tables.data(), pitch.data(), out.data, 32, nullptr, 0.0f, true, avx512());
      Reference::run(model, fx.tables.data(), pitch.data(), width.data(), expected.data(), 32, square);
      for (int i = 0; i < 32; ++i) ASSERT_EQ(out.data[i], expected[static_cast<size_t>(i)]) << what << " " << i;
      expectSameState(fast, model);
    };
    step(held, "first");
    step(held, "again");
    fast.frequencyTable = other.frequencies.data();
    fast.tableIndexTable = other.tableNumbers.data();
    model.frequencyTable = fast.frequencyTable;
    model.tableIndexTable = fast.tableIndexTable;
    step(held, "other rate");
    step(higher, "other pitch");
  }
}

TEST_P(FastKernelBuilds, ACountBelowOneDoesNothing) {
  Fixture fx;
  VectorProduceParams p = fx.params(12.5f, 3);
  p.crossfadeSlope = 0.25f;
  p.crossfadeOffset = 3.0f;
  const VectorProduceParams before = p;
  float pitch[4] = {8, 8, 8, 8};
  float sync[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  Aligned out(4);
  out.data[0] = 42.0f;
  vectorProduceWaveFast(&p, fx.tables.data(), pitch, out.data, 0, nullptr, 0.0f, false, avx512());
  vectorProduceSquareFast(&p, fx.tables.data(), pitch, pitch, out.data, -3, nullptr, 0.0f, false, avx512());
  vectorProduceWaveSyncCpp(&p, fx.tables.data(), pitch, sync, out.data, 0);
  vectorProduceSquareSyncCpp(&p, fx.tables.data(), pitch, sync, pitch, out.data, 0);
  EXPECT_EQ(out.data[0], 42.0f);
  EXPECT_EQ(std::memcmp(&p, &before, sizeof(p)), 0);
}

// Pitch plus sync at the top of what the buses allow (30 + 2), below the
// table (-12) and NaN: the index stays inside the frequency table, whose
// arrays here end exactly where the table does.
TEST_P(FastKernelBuilds, PitchOutsideTheTableReadsItsEnds) {
  Fixture fx;
  const int n = 64;
  for (float top : {30.0f, -12.0f, cNaN, 1e30f}) {
    std::vector<float> pitch(n + 4, top);
    std::vector<float> sync(n + 4, 2.0f);
    std::vector<float> width(n + 4, 0.3f);
    Aligned out(n);
    VectorProduceParams p = fx.params();
    vectorProduceWaveSyncCpp(&p, fx.tables.data(), pitch.data(), sync.data(), out.data, n);
    vectorProduceSquareSyncCpp(&p, fx.tables.data(), pitch.data(), sync.data(), width.data(), out.data, n);
    vectorProduceWaveFast(&p, fx.tables.data(), pitch.data(), out.data, n, nullptr, 0.0f, false, avx512());
    vectorProduceSquareFast(&p, fx.tables.data(), pitch.data(), width.data(), out.data, n, nullptr, 0.0f, false,
                            avx512());
    for (int i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(out.data[i])) << top;
    const int32_t expectedTable = top > 0.0f ? fx.tableNumbers.back() : fx.tableNumbers.front();
    EXPECT_EQ(p.tableIndex, expectedTable) << top;
  }
}

// Sync 0.5: the slave resets every 2^0.5 of its cycles, and over the last
// 5 % of that period it fades towards the wave as it restarts.
// Sync 1: the reset falls on a cycle start; no crossfade.
TEST(OscillatorKernelsTest, SyncPeriodAndCrossfade) {
  Fixture fx;
  const float pitch = noteToPitch(40);
  for (float s : {0.5f, 1.0f}) {
    VectorProduceParams p = fx.params(0.0f, 0);
    float out = 0.0f;
    float one = 0.0f;
    // A sample to settle on the table, then one sample per call so that the
    // phases can be watched.
    vectorProduceWaveSyncCpp(&p, fx.tables.data(), &pitch, &s, &out, 1);
    const int32_t size = fx.sizes[static_cast<size_t>(p.tableIndex)];
    const float period = std::exp2(s) * static_cast<float>(size);
    if (s == 1.0f) {
      EXPECT_EQ(p.crossfadeStart, 2.0f * static_cast<float>(size) + 1.0f);
    } else {
      EXPECT_NEAR(p.crossfadeStart, 0.95f * period, 1e-2f);
      // The target runs behind by where the slave stands at the reset:
      // 2^0.5 cycles into its cycle, 0.414 of a table.
      EXPECT_NEAR(p.crossfadeOffset, (2.0f - std::sqrt(2.0f)) * static_cast<float>(size), 1e-2f);
      EXPECT_NEAR(p.crossfadeSlope, 1.0f / (0.05f * period), 1e-6f);
    }
    int faded = 0;
    int resets = 0;
    const int n = 40000;
    const float* table = fx.tables.data() + p.tableIndex * Oscillator::cTableStride;
    for (int i = 0; i < n; ++i) {
      const float phase = p.phase;
      const float syncPhase = p.syncPhase;
      vectorProduceWaveSyncCpp(&p, fx.tables.data(), &pitch, &s, &one, 1);
      int32_t k = static_cast<int32_t>(phase);
      const float plain = table[k] + (phase - static_cast<float>(k)) * (table[k + 1] - table[k]);
      if (syncPhase < p.crossfadeStart)
        ASSERT_EQ(one, plain) << i;
      else
        ++faded;
      if (p.syncPhase < syncPhase) ++resets;
      ASSERT_LT(p.phase, static_cast<float>(size));
      ASSERT_LT(p.syncPhase, period * 1.0001f);
    }
    if (s == 1.0f) {
      EXPECT_EQ(faded, 0);
    } else {
      EXPECT_NEAR(static_cast<double>(faded) / n, 0.05, 0.005);
    }
    // The master cycles at the pitch itself.
    const double expectedResets = n * std::exp2(static_cast<double>(pitch)) / 44100.0;
    EXPECT_NEAR(resets, expectedResets, 1.5);
  }
}

// Sync raised between calls leaves a sync phase of several periods of the
// new setting; the phase that the reset derives from it must stay inside
// the table. Negative and huge sync values are held to [0, 30].
TEST(OscillatorKernelsTest, SyncPhaseLeftFromAnotherSettingStaysInRange) {
  Fixture fx;
  const float pitch = noteToPitch(60);
  for (float s : {0.25f, -0.5f, -1.0f, 1e9f, cNaN}) {
    VectorProduceParams p = fx.params(0.0f, 0);
    float high = 2.0f;
    float out[64];
    float width[64];
    for (float& w : width) w = 0.5f;
    for (int i = 0; i < 500; ++i) vectorProduceWaveSyncCpp(&p, fx.tables.data(), &pitch, &high, out, 1);
    p.syncPhase = 3.9f * static_cast<float>(fx.sizes[static_cast<size_t>(p.tableIndex)]);
    std::vector<float> pitches(64, pitch);
    std::vector<float> syncs(64, s);
    vectorProduceSquareSyncCpp(&p, fx.tables.data(), pitches.data(), syncs.data(), width, out, 64);
    vectorProduceWaveSyncCpp(&p, fx.tables.data(), pitches.data(), syncs.data(), out, 64);
    const float size = static_cast<float>(fx.sizes[static_cast<size_t>(p.tableIndex)]);
    EXPECT_GE(p.phase, 0.0f) << s;
    EXPECT_LT(p.phase, size) << s;
    for (float v : out) ASSERT_TRUE(std::isfinite(v)) << s;
  }
}


// The synced kernels one output at a time, as plainly as they can be said:
// read (and inside the crossfade blend towards the reset's target), look
// pitch and sync up afresh whenever either changed (carrying the phases to
// a new table size), then step the master; at its cycle's end the slave
// restarts at the master's phase, brought into the table with fmod.
struct SyncReference {
  static float read(const VectorProduceParams& p, const float* table, int32_t size, float x, float v, bool square) {
    int32_t n = static_cast<int32_t>(x);
    float frac = x - static_cast<float>(n);
    float a = table[n] + frac * (table[n + 1] - table[n]);
    if (!square) return a;
    float c = static_cast<float>(size / 2) * v;
    int32_t whole = static_cast<int32_t>(c);
    double g = static_cast<double>(frac) - static_cast<double>(c - static_cast<float>(whole));
    bool past = g < 0.0;
    double u = (past ? 0.0 : 1.0) - g;
    int32_t j = (whole + 2 * size - n - 1 + (past ? 1 : 0)) & (size - 1);
    float m = static_cast<float>(table[j] + u * static_cast<double>(table[j + 1] - table[j]));
    return a * (p.sawGain * v + p.pulseGain) + m * p.pulseGain;
  }
  static void run(VectorProduceParams& p, const float* tables, const float* pitch, const float* sync,
                  const float* width, float* out, int count, int over) {
    int32_t t = p.tableIndex, size = p.tableSizes[t];
    float fs = static_cast<float>(size);
    float phase = Reference::wrap(p.phase, fs);
    float sp = p.syncPhase >= 0.0f ? p.syncPhase : 0.0f;
    float xs = p.crossfadeStart, xl = p.crossfadeSlope, xo = p.crossfadeOffset;
    float lastP = 1000.0f, lastS = 1000.0f, inc = 0.0f, period = fs;
    for (int j = 0; j < count * over; ++j) {
      const int i = j / over;
      const float* table = tables + t * p.tableStride;
      float v = 0.0f;
      if (width) v = 1.0f - std::min(std::max(width[i], 0.0f), 1.0f);
      float o = read(p, table, size, phase, v, width != nullptr);
      if (sp >= xs) {
        float p2 = phase + xo;
        if (p2 >= fs) p2 -= fs;
        float alt = read(p, table, size, p2, v, width != nullptr);
        double g = 0.5 + 0.5 * std::cos(3.14159265358979323846 * ((static_cast<double>(sp) - xs) * xl - 1.0));
        o = static_cast<float>(o + g * static_cast<double>(alt - o));
      }
      out[j] = o;
      if (pitch[i] != lastP || sync[i] != lastS) {
        float s = sync[i] >= 0.0f ? std::min(sync[i], 30.0f) : 0.0f;
        float f;
        Reference::lookUp(p, pitch[i] + s - (over == 2 ? 1.0f : 0.0f), f, t);
        if (p.tableSizes[t] != size) {
          float fn = static_cast<float>(p.tableSizes[t]);
          phase = phase * fn / fs;
          sp = sp * fn / fs;
          size = p.tableSizes[t];
          fs = fn;
        }
        inc = f * fs;
        if (std::fabs(s - std::trunc(s)) > 1.1920929e-7f) {
          period = std::exp(s * 0.6931472f) * fs;
          xs = period - std::min(std::max(0.05f * period, 3.0f * inc), 0.5f * period);
          xo = fs - std::fmod(period, fs);
          xl = 1.0f / (period - xs);
        } else {
          period = std::ldexp(fs, static_cast<int>(s));
          xs = period + 1.0f;
        }
        lastP = pitch[i];
        lastS = sync[i];
      }
      sp += inc;
      if (sp >= period) {
        sp -= period;
        if (sp >= period) sp = std::fmod(sp, period);
        phase = sp < fs ? sp : std::fmod(sp, fs);
      } else {
        phase += inc;
        if (phase >= fs) phase -= fs;
      }
    }
    p.phase = phase;
    p.tableIndex = t;
    p.syncPhase = sp;
    p.crossfadeOffset = xo;
    p.crossfadeStart = xs;
    p.crossfadeSlope = xl;
  }
};

// Sync held (whole and fractional octaves), swept every sample across whole
// octaves, stepped between blocks, and out of range, over pitches held,
// swept across table sizes and leaping; calls of 1 to 200 samples, so that
// the kernels' chunks of precomputed steps are crossed.
TEST(OscillatorKernelsTest, SyncKernelsMatchThePlainModelBitForBit) {
  Fixture fx;
  std::mt19937 rng(11);
  using Kernel = void (*)(VectorProduceParams*, const float*, const float*, const float*, const float*, float*, int);
  const Kernel kernels[4] = {
      [](VectorProduceParams* p, const float* t, const float* pi, const float* s, const float*, float* o, int n) {
        vectorProduceWaveSyncCpp(p, t, pi, s, o, n);
      },
      [](VectorProduceParams* p, const float* t, const float* pi, const float* s, const float*, float* o, int n) {
        vectorProduceWaveSyncOversampled(p, t, pi, s, o, n);
      },
      vectorProduceSquareSyncCpp, vectorProduceSquareSyncOversampled};
  for (int k = 0; k < 4; ++k) {
    const int over = k % 2 ? 2 : 1;
    const bool square = k >= 2;
    for (int pk = 0; pk < 3; ++pk) {
      for (int sk = 0; sk < 4; ++sk) {
        VectorProduceParams a = fx.params(5.0f, 0), b = a;
        for (int call = 0; call < 12; ++call) {
          const int n = std::vector<int>{1, 200, 64, 65, 3, 130, 32, 17, 128, 7, 64, 100}[static_cast<size_t>(call)];
          std::vector<float> pitch = pitchPattern(pk, n, rng), sync(static_cast<size_t>(n)), width(static_cast<size_t>(n));
          for (int i = 0; i < n; ++i) {
            const float x = static_cast<float>(call * 200 + i);
            sync[static_cast<size_t>(i)] = sk == 0   ? 1.37f
                                           : sk == 1 ? 1.5f + 1.2f * std::sin(x * 0.003f)
                                           : sk == 2 ? static_cast<float>(call % 3)
                                                     : (i % 50 == 3 ? cNaN : 3.0f * std::sin(x * 0.01f));
            width[static_cast<size_t>(i)] = 0.5f + 0.6f * std::sin(x * 0.002f);
          }
          std::vector<float> got(static_cast<size_t>(n * over)), want(got.size());
          kernels[k](&a, fx.tables.data(), pitch.data(), sync.data(), width.data(), got.data(), n);
          SyncReference::run(b, fx.tables.data(), pitch.data(), sync.data(), square ? width.data() : nullptr,
                             want.data(), n, over);
          for (size_t j = 0; j < got.size(); ++j)
            ASSERT_EQ(std::bit_cast<uint32_t>(got[j]), std::bit_cast<uint32_t>(want[j]))
                << "kernel " << k << " pitch " << pk << " sync " << sk << " call " << call << " at " << j;
          ASSERT_EQ(a.phase, b.phase);
          ASSERT_EQ(a.syncPhase, b.syncPhase);
          ASSERT_EQ(a.tableIndex, b.tableIndex);
          ASSERT_EQ(a.crossfadeStart, b.crossfadeStart);
          ASSERT_EQ(a.crossfadeOffset, b.crossfadeOffset);
          ASSERT_EQ(a.crossfadeSlope, b.crossfadeSlope);
        }
      }
    }
  }
}

// Eight (and five) synced oscillators in the lanes against each one alone
// in the one-oscillator kernel and its decimator: different pitches (held,
// swept across table sizes, leaping, random with NaNs), sync held
// fractional, swept, in whole octaves, jumping up between calls (several
// periods left over) and out of range, and phase resets between calls;
// all eight lanes on one set of frequency tables, then one of five on its
// own; in 16 registers and, where the processor has them, in AVX-512VL's
// 32. Every sample, both ways down, and the state left must be the same bits.
TEST(OscillatorKernelsTest, SyncLanesMatchTheOneOscillatorKernelBitForBit) {
  if (!syncLanesAvailable()) GTEST_SKIP() << "no 256-bit vector unit";
  Fixture fx;
  const Fixture otherRate(96000);
  std::mt19937 rng(23);
  for (int run = 0; run < 4; ++run) {
    const bool avx512 = run >= 2;
    const int lanes = run % 2 == 0 ? 8 : 5;
    std::vector<VectorProduceParams> alone, together;
    for (int l = 0; l < lanes; ++l) {
      alone.push_back(fx.params(static_cast<float>(3 * l), 0));
      if (lanes == 5 && l == 4) {
        // A lane with frequency tables of its own (the others share one).
        alone.back().frequencyTable = otherRate.frequencies.data();
        alone.back().tableIndexTable = otherRate.tableNumbers.data();
      }
      if (l % 3 == 1) {
        // Left inside a fade far past its end (u well above 1: the
        // cosine's way) and several periods into the master's cycle.
        alone.back().syncPhase = 100.0f + static_cast<float>(l);
        alone.back().crossfadeStart = 10.0f;
        alone.back().crossfadeSlope = 0.5f;
        alone.back().crossfadeOffset = 7.0f;
      }
    }
    together = alone;
    std::vector<SyncDecimator> decimators(static_cast<size_t>(lanes));
    SyncDecimatorLanes laneDecimator(avx512);
    laneDecimator.reset();
    const std::vector<int> counts{1, 64, 33, 64, 2, 64, 17, 64, 64, 5, 64, 48, 64, 64, 64, 64};
    int at = 0;
    for (size_t call = 0; call < counts.size(); ++call) {
      const int n = counts[call];
      std::vector<std::vector<float>> pitch(static_cast<size_t>(lanes)), sync(pitch.size());
      for (int l = 0; l < lanes; ++l) {
        // Lanes 0-3 play the patterns at different notes, the rest the
        // sweeps and leaps.
        pitch[l] = pitchPattern(l < 4 ? 0 : 1 + l % 3, n, rng);
        if (l < 4) for (float& p : pitch[l]) p += static_cast<float>(l) * 0.7f - 1.0f;
        sync[l].resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
          const float x = static_cast<float>(at + i);
          const int kind = (l + static_cast<int>(call) / 5) % 5;
          sync[l][i] = kind == 0   ? 1.37f + 0.1f * static_cast<float>(l)
                       : kind == 1 ? 1.5f + 1.2f * std::sin(x * 0.003f * static_cast<float>(l + 1))
                       : kind == 2 ? static_cast<float>((call + l) % 3)
                       : kind == 3 ? (call % 4 == 1 ? 14.2f : 0.4f)
                                   : (i % 50 == 3 ? cNaN : 3.0f * std::sin(x * 0.01f));
        }
        if (call % 6 == 3 && l % 2 == 0) {
          // A note-on's phase reset.
          const float phase = 0.75f * static_cast<float>(fx.sizes[static_cast<size_t>(alone[l].tableIndex)]);
          alone[l].phase = alone[l].syncPhase = together[l].phase = together[l].syncPhase = phase;
        }
      }
      std::vector<VectorProduceParams*> params;
      std::vector<const float*> pitches, syncs;
      std::vector<std::vector<float>> got(static_cast<size_t>(lanes), std::vector<float>(static_cast<size_t>(n)));
      std::vector<float*> outs;
      for (int l = 0; l < lanes; ++l) {
        params.push_back(&together[l]);
        pitches.push_back(pitch[l].data());
        syncs.push_back(sync[l].data());
        outs.push_back(got[l].data());
      }
      vectorProduceWaveSyncOversampledLanes(params.data(), fx.tables.data(), pitches.data(), syncs.data(), lanes,
                                            laneDecimator.input(), n, avx512);
      std::vector<float> fine(static_cast<size_t>(cSyncOversampling * n * cSyncLanes));
      std::memcpy(fine.data(), laneDecimator.input(), sizeof(float) * fine.size());
      laneDecimator.process(outs.data(), lanes, n);
      for (int l = 0; l < lanes; ++l) {
        std::vector<float> wantFine(static_cast<size_t>(cSyncOversampling * n)), want(static_cast<size_t>(n));
        vectorProduceWaveSyncOversampled(&alone[l], fx.tables.data(), pitch[l].data(), sync[l].data(),
                                         wantFine.data(), n);
        decimators[static_cast<size_t>(l)].process(wantFine.data(), want.data(), n);
        for (int j = 0; j < cSyncOversampling * n; ++j)
          ASSERT_EQ(std::bit_cast<uint32_t>(fine[static_cast<size_t>(j * cSyncLanes + l)]),
                    std::bit_cast<uint32_t>(wantFine[static_cast<size_t>(j)]))
              << "avx512 " << avx512 << " lanes " << lanes << " lane " << l << " call " << call << " fine sample "
              << j;
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(std::bit_cast<uint32_t>(got[l][i]), std::bit_cast<uint32_t>(want[i]))
              << "avx512 " << avx512 << " lanes " << lanes << " lane " << l << " call " << call << " sample " << i;
        ASSERT_EQ(together[l].phase, alone[l].phase);
        ASSERT_EQ(together[l].syncPhase, alone[l].syncPhase);
        ASSERT_EQ(together[l].tableIndex, alone[l].tableIndex);
        ASSERT_EQ(together[l].crossfadeStart, alone[l].crossfadeStart);
        ASSERT_EQ(together[l].crossfadeOffset, alone[l].crossfadeOffset);
        ASSERT_EQ(together[l].crossfadeSlope, alone[l].crossfadeSlope);
      }
      at += n;
    }
  }
}

// The lanes' exponential against std::exp over every argument a lane can
// pass it: s x 0.6931472f for every float s in [0, cMaxSyncOctaves], eight
// at a time (about 1.1e9 of them: a few seconds).
TEST(OscillatorKernelsTest, SyncLanesExponentialIsStdExpForEverySync) {
  if (!syncLanesAvailable()) GTEST_SKIP() << "no 256-bit vector unit";
  const uint32_t last = std::bit_cast<uint32_t>(cMaxSyncOctaves);
  float x[8], got[8];
  uint64_t mismatches = 0;
  uint32_t firstBad = 0;
  for (uint32_t bits = 0; bits <= last; bits += 8) {
    for (uint32_t j = 0; j < 8; ++j) x[j] = std::bit_cast<float>(std::min(bits + j, last)) * 0.6931472f;
    syncLanesExp(x, got);
    for (int j = 0; j < 8; ++j)
      if (std::bit_cast<uint32_t>(got[j]) != std::bit_cast<uint32_t>(std::exp(x[j])) && mismatches++ == 0)
        firstBad = std::bit_cast<uint32_t>(x[j]);
  }
  EXPECT_EQ(mismatches, 0u) << "first at the argument with bits " << std::hex << firstBad;
  // The ends and a whole number of octaves, against known values.
  x[0] = 0.0f;
  x[1] = cMaxSyncOctaves * 0.6931472f;
  x[2] = 10.0f * 0.6931472f;
  for (int j = 3; j < 8; ++j) x[j] = 0.0f;
  syncLanesExp(x, got);
  EXPECT_EQ(got[0], 1.0f);
  EXPECT_NEAR(got[1], 1073741824.0f, 1073741824.0f * 1e-6f);
  EXPECT_NEAR(got[2], 1024.0f, 1024.0f * 1e-6f);
}

// The lanes' crossfade, which works its polynomial out in another order
// than crossfadeBlend, against the library's cosine: random fades of every
// length and level (a little past both ends too), and blends next to the
// point halfway between 1 and the float above it, where a sum a few
// parts in 10^12 off rounds the other way.
TEST(OscillatorKernelsTest, SyncLanesCrossfadeRoundsAsTheLibraryCosineDoes) {
  if (!syncLanesAvailable()) GTEST_SKIP() << "no 256-bit vector unit";
  auto cosine = [](float o, float alt, float sp, float xs, float sl) {
    const double u = (static_cast<double>(sp) - static_cast<double>(xs)) * static_cast<double>(sl);
    const double g = 0.5 + 0.5 * std::cos(3.14159265358979323846 * (u - 1.0));
    return static_cast<float>(static_cast<double>(o) + g * static_cast<double>(alt - o));
  };
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> wave(-1.0f, 1.0f), where(-0.05f, 1.05f), start(0.0f, 8192.0f),
      span(2.0f, 4000.0f);
  std::uniform_int_distribution<int> octave(-20, 2);
  float o[4], alt[4], sp[4], xs[4], sl[4], got[4];
  for (int i = 0; i < 250000; ++i) {
    for (int l = 0; l < 4; ++l) {
      const float length = span(rng);
      xs[l] = start(rng);
      sl[l] = 1.0f / length;
      sp[l] = xs[l] + where(rng) * length;
      o[l] = std::ldexp(wave(rng), octave(rng));
      alt[l] = (i + l) % 7 ? wave(rng) : o[l];
    }
    syncLanesCrossfade(o, alt, sp, xs, sl, got);
    for (int l = 0; l < 4; ++l)
      ASSERT_EQ(std::bit_cast<uint32_t>(got[l]), std::bit_cast<uint32_t>(cosine(o[l], alt[l], sp[l], xs[l], sl[l])))
          << o[l] << " " << alt[l] << " " << sp[l] << " " << xs[l] << " " << sl[l];
  }
  for (int i = 0; i < 200000; i += 4) {
    for (int l = 0; l < 4; ++l) {
      xs[l] = 0.0f;
      sl[l] = 1.0f / 200000.0f;
      sp[l] = static_cast<float>(i + l + 1);
      const double u = static_cast<double>(sp[l]) * static_cast<double>(sl[l]);
      const double g = 0.5 + 0.5 * std::cos(3.14159265358979323846 * (u - 1.0));
      o[l] = 1.0f;
      alt[l] = 1.0f + static_cast<float>(0x1p-24 / g);
    }
    syncLanesCrossfade(o, alt, sp, xs, sl, got);
    for (int l = 0; l < 4; ++l)
      ASSERT_EQ(std::bit_cast<uint32_t>(got[l]), std::bit_cast<uint32_t>(cosine(o[l], alt[l], sp[l], xs[l], sl[l])))
          << alt[l] << " " << sp[l];
  }
}

} // namespace
