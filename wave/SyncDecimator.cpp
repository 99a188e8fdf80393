#include "wave/SyncDecimator.h"

#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace {

// Symmetric low passes by the window method (Kaiser). The first stage, a
// half band (0 at every even distance from the centre), only has to keep
// the band below half the base rate clean of what would fold down from
// above one and a half times it: a short filter. The second passes up to
// 0.4 of the base rate and stops from 0.5 on, so that nothing above half
// the base rate folds back below it.
struct LowPass {
  // Every tap, padded with zeros to a whole number of four.
  alignas(16) float taps[96];
  int length; // taps in use, a multiple of four
};

double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
  }
  return sum;
}

// cutoff: the -6 dB point as a fraction of the filter's own rate. A cutoff
// of a quarter gives a half band: 0 at every even distance from the centre.
LowPass design(int taps, double cutoff, double beta) {
  LowPass h{};
  h.length = (taps + 3) / 4 * 4;
  const int c = (taps - 1) / 2;
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < taps; ++i) {
    const int k = i - c;
    const double r = static_cast<double>(k) / c;
    const double w = besselI0(beta * std::sqrt(1.0 - r * r)) / besselI0(beta);
    h.taps[i] = static_cast<float>(k == 0 ? 2.0 * cutoff : std::sin(2.0 * pi * cutoff * k) / (pi * k) * w);
  }
  return h;
}

const LowPass cStage1 = design(SyncDecimator::cTaps1, 0.25, 6.0);
const LowPass cStage2 = design(SyncDecimator::cTaps2, 0.225, 6.2);

// Every second output of the low pass over line (history first): n outputs
// from 2n new inputs. Output m is the filter over the taps' length of line
// from 2m on: its centre sample is new input 2m minus the filter's delay.
inline void halve(const LowPass& h, const float* line, float* out, int n) {
  for (int m = 0; m < n; ++m) {
    const float* x = line + 2 * m;
    __m128 acc = _mm_setzero_ps();
    for (int k = 0; k < h.length; k += 4)
      acc = _mm_add_ps(acc, _mm_mul_ps(_mm_load_ps(h.taps + k), _mm_loadu_ps(x + k)));
    acc = _mm_add_ps(acc, _mm_movehl_ps(acc, acc));
    acc = _mm_add_ss(acc, _mm_shuffle_ps(acc, acc, 1));
    out[m] = _mm_cvtss_f32(acc);
  }
}

} // namespace

void SyncDecimator::reset() {
  std::memset(line1, 0, sizeof line1);
  std::memset(line2, 0, sizeof line2);
}

void SyncDecimator::process(const float* in, float* out, int count) {
  if (count < 1) return;
  constexpr int h1 = cTaps1 - 1;
  constexpr int h2 = cTaps2 - 1;
  const int n4 = cFactor * count;
  std::memcpy(line1 + h1, in, sizeof(float) * static_cast<size_t>(n4));
  halve(cStage1, line1, line2 + h2, 2 * count);
  std::memmove(line1, line1 + n4, sizeof(float) * h1);
  halve(cStage2, line2, out, count);
  std::memmove(line2, line2 + 2 * count, sizeof(float) * h2);
}
