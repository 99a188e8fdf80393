#include "wave/SyncDecimator.h"

#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace {

// A symmetric low pass by the window method (Kaiser, about 60 dB down from
// 0.5 of the base rate on).
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

// cutoff: the -6 dB point as a fraction of the filter's own rate.
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

const LowPass cLowPass = design(SyncDecimator::cTaps, 0.225, 6.2);

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

void SyncDecimator::reset() { std::memset(line, 0, sizeof line); }

void SyncDecimator::process(const float* in, float* out, int count) {
  if (count < 1) return;
  constexpr int history = cTaps - 1;
  std::memcpy(line + history, in, sizeof(float) * static_cast<size_t>(cFactor * count));
  halve(cLowPass, line, out, count);
  std::memmove(line, line + cFactor * count, sizeof(float) * history);
}
