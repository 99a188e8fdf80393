// The synced oscillator's way down from twice the rate: the audio band
// passes unchanged but for a fixed delay, what lies above half the base
// rate is gone before it can fold back.

#include "wave/SyncDecimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A sine of hz at twice 44.1 kHz through the decimator, in chunks of 37
// base samples (a size that divides nothing here).
std::vector<float> decimate(double hz, int baseSamples) {
  SyncDecimator d;
  const double fine = SyncDecimator::cFactor * 44100.0;
  std::vector<float> in(SyncDecimator::cFactor * static_cast<size_t>(baseSamples));
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>(std::sin(2.0 * kPi * hz * static_cast<double>(i) / fine));
  std::vector<float> out(static_cast<size_t>(baseSamples));
  for (int done = 0; done < baseSamples; done += 37) {
    const int n = std::min(37, baseSamples - done);
    d.process(in.data() + SyncDecimator::cFactor * done, out.data() + done, n);
  }
  return out;
}

double rmsFrom(const std::vector<float>& x, size_t from) {
  double s = 0.0;
  for (size_t i = from; i < x.size(); ++i) s += static_cast<double>(x[i]) * x[i];
  return std::sqrt(s / static_cast<double>(x.size() - from));
}

// The filter written down on its own: 81 taps of a windowed sinc, -6 dB
// at 0.225 of the finer rate, Kaiser window with beta 6.2, in double.
std::vector<double> kaiserTaps() {
  constexpr int taps = SyncDecimator::cTaps;
  constexpr int c = (taps - 1) / 2;
  auto i0 = [](double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 60; ++k) sum += (term *= (x / (2.0 * k)) * (x / (2.0 * k)));
    return sum;
  };
  std::vector<double> h(taps);
  for (int i = 0; i < taps; ++i) {
    const double k = i - c, r = k / c;
    const double sinc = k == 0 ? 2.0 * 0.225 : std::sin(2.0 * kPi * 0.225 * k) / (kPi * k);
    h[static_cast<size_t>(i)] = sinc * i0(6.2 * std::sqrt(1.0 - r * r)) / i0(6.2);
  }
  return h;
}

// The filter's output m straight from its definition: the taps over inputs
// 2m - 80 .. 2m, silence before the first.
double directOutput(const std::vector<double>& h, const std::vector<float>& in, size_t m) {
  double y = 0.0;
  for (int k = 0; k < SyncDecimator::cTaps; ++k) {
    const long at = 2 * static_cast<long>(m) - (SyncDecimator::cTaps - 1) + k;
    if (at >= 0) y += h[static_cast<size_t>(k)] * in[static_cast<size_t>(at)];
  }
  return y;
}

} // namespace

TEST(SyncDecimatorTest, PassesTheAudioBandLateByItsDelayAndStopsWhatWouldFold) {
  // 1 kHz and 15 kHz come out as the same sine, cDelay samples later.
  for (double hz : {1000.0, 15000.0}) {
    const std::vector<float> y = decimate(hz, 4000);
    double worst = 0.0;
    for (size_t i = 200; i < y.size(); ++i) {
      const double expected = std::sin(2.0 * kPi * hz * (static_cast<double>(i) - SyncDecimator::cDelay) / 44100.0);
      worst = std::max(worst, std::fabs(y[i] - expected));
    }
    EXPECT_LT(worst, 2e-3) << hz;
  }
  // From half the base rate up to the finer rate's half, at least 55 dB
  // down: 23 kHz would fold to 21.1 kHz, 30 kHz to 14.1, 40 kHz to 4.1.
  for (double hz : {22600.0, 23000.0, 30000.0, 40000.0, 44000.0})
    EXPECT_LT(20.0 * std::log10(rmsFrom(decimate(hz, 4000), 200) * std::sqrt(2.0)), -55.0) << hz;
}

TEST(SyncDecimatorTest, IsTheKaiserLowPassConvolvedDirectlyWhateverTheChunks) {
  constexpr int taps = SyncDecimator::cTaps;
  constexpr int c = (taps - 1) / 2;
  const std::vector<double> h = kaiserTaps();
  // Noise in chunks of every length up to the largest, then a second pass
  // of lengths 1-4 that take the four-at-a-time path and the remainder.
  uint32_t seed = 12345;
  auto noise = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
  };
  std::vector<int> chunks;
  for (int n = 1; n <= SyncDecimator::cMaxChunk; ++n) chunks.push_back(n);
  for (int n = 0; n < 40; ++n) chunks.push_back(1 + n % 4 + (n % 3) * 4);
  std::vector<float> in, out;
  SyncDecimator d;
  d.reset();
  for (int n : chunks) {
    std::vector<float> x(SyncDecimator::cFactor * static_cast<size_t>(n)), y(static_cast<size_t>(n));
    for (float& v : x) v = noise();
    d.process(x.data(), y.data(), n);
    in.insert(in.end(), x.begin(), x.end());
    out.insert(out.end(), y.begin(), y.end());
  }
  double worst = 0.0;
  for (size_t m = 0; m < out.size(); ++m) worst = std::max(worst, std::fabs(directOutput(h, in, m) - out[m]));
  EXPECT_LT(worst, 2e-6);
  // An impulse at an odd input gives the odd taps back, one per output.
  SyncDecimator e;
  e.reset();
  std::vector<float> x(2 * 48, 0.0f), y(48);
  x[1] = 1.0f;
  e.process(x.data(), y.data(), 48);
  for (int m = 1; m <= c; ++m) EXPECT_NEAR(y[static_cast<size_t>(m)], h[static_cast<size_t>(taps - 2 * m)], 1e-7) << m;
}

TEST(SyncDecimatorTest, EightLanesAndFourGiveTheSameBitsAsTheDirectSum) {
  // Noise in chunks of every length, so that the eight-lane way's groups of
  // sixteen, of eight and its last part group all come up at every offset.
  const std::vector<double> h = kaiserTaps();
  SyncDecimator four(false), eight(true);
  uint32_t seed = 777;
  std::vector<float> in, outFour, outEight;
  for (int pass = 0; pass < 3; ++pass) {
    for (int n = 1; n <= SyncDecimator::cMaxChunk; ++n) {
      std::vector<float> x(SyncDecimator::cFactor * static_cast<size_t>(n)), a(static_cast<size_t>(n)), b(a);
      for (float& v : x) v = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f;
      four.process(x.data(), a.data(), n);
      eight.process(x.data(), b.data(), n);
      in.insert(in.end(), x.begin(), x.end());
      outFour.insert(outFour.end(), a.begin(), a.end());
      outEight.insert(outEight.end(), b.begin(), b.end());
    }
  }
  // Against the sum in double: the taps and products rounded to float and
  // about 24 float additions per partial sum (the taps' magnitudes add up
  // to 2) err by about 2e-7 on noise, whose roundings fall either way.
  double worst = 0.0;
  for (size_t m = 0; m < outFour.size(); ++m)
    worst = std::max(worst, std::fabs(directOutput(h, in, m) - outFour[m]));
  EXPECT_LT(worst, 1e-6);
  if (!SyncDecimator::wideAvailable()) GTEST_SKIP() << "no 256-bit registers here: the four-lane way alone";
  for (size_t m = 0; m < outFour.size(); ++m) ASSERT_EQ(std::bit_cast<uint32_t>(outEight[m]), std::bit_cast<uint32_t>(outFour[m])) << m;
}
