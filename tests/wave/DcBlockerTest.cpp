// The voice's DC blocker as a meter sees it: an offset gone within a tenth
// of a second, a 16 Hz fundamental down by less than half a decibel, the
// corner at 4 Hz, whatever the block size.

#include "wave/DcBlocker.h"

#include "tests/wave/OscillatorTestSupport.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace osctest;

namespace {

constexpr double kPi = 3.14159265358979323846;

// offset + a sine of hz at 44.1 kHz, through a blocker in blocks of block.
std::vector<float> block(double hz, float offset, int seconds, int blockSize) {
  wave::Environment env(256);
  env.setSampleRate(44100.0f);
  std::vector<float> x(static_cast<size_t>(seconds) * 44100);
  for (size_t i = 0; i < x.size(); ++i) x[i] = offset + static_cast<float>(std::sin(2.0 * kPi * hz * i / 44100.0));
  ControlSignal in(&env, x);
  DcBlocker dc(&env);
  dc.setInput(&in);
  return render(env, dc, static_cast<int>(x.size()), blockSize);
}

double level(const std::vector<float>& y, size_t from) {
  double s = 0.0;
  for (size_t i = from; i < y.size(); ++i) s += static_cast<double>(y[i]) * y[i];
  return 20.0 * std::log10(std::sqrt(s / static_cast<double>(y.size() - from)) * std::sqrt(2.0));
}

} // namespace

TEST(DcBlockerTest, TakesTheOffsetAndKeepsTheLowestNotes) {
  for (int size : {32, 100, 256}) {
    // An offset of 0.5 under silence: below 1 % of it after 0.2 s.
    const std::vector<float> offset = block(0.0, 0.5f, 1, size);
    EXPECT_LT(std::fabs(offset[static_cast<size_t>(0.2 * 44100)]), 0.005f) << size;
    // A first-order high pass at 4 Hz: 16.35 Hz (C0) loses 0.26 dB, 4 Hz 3 dB.
    EXPECT_NEAR(level(block(16.35, 0.3f, 3, size), 44100), -10.0 * std::log10(1.0 + (4.0 / 16.35) * (4.0 / 16.35)), 0.1)
        << size;
    EXPECT_NEAR(level(block(4.0, 0.0f, 4, size), 2 * 44100), -3.0, 0.4) << size;
  }
}
