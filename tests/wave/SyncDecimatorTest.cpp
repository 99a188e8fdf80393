// The synced oscillator's way down from twice the rate: the audio band
// passes unchanged but for a fixed delay, what lies above half the base
// rate is gone before it can fold back.

#include "wave/SyncDecimator.h"

#include <gtest/gtest.h>

#include <cmath>
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
