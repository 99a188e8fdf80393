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

// Output m is the filter over the taps' length of line from 2m on: its
// centre sample is new input 2m minus the filter's delay. Each output sums
// its products in four lanes, tap k into lane k mod 4 in the order of k,
// and adds the lanes as (0 + 2) + (1 + 3).
inline float reduce(__m128 acc) {
  acc = _mm_add_ps(acc, _mm_movehl_ps(acc, acc));
  acc = _mm_add_ss(acc, _mm_shuffle_ps(acc, acc, 1));
  return _mm_cvtss_f32(acc);
}

// Every second output of the low pass over line (history first): n outputs
// from 2n new inputs. One output's sum is a chain of dependent additions;
// four outputs at a time keep four chains in flight, each summed exactly as
// alone. The last group of taps is read only as far as it has taps: the
// padding's products are zeros that change no sum.
inline void halve(const LowPass& h, const float* line, float* out, int n) {
  constexpr int whole = (SyncDecimator::cTaps / 4) * 4; // groups of four real taps
  constexpr int rest = SyncDecimator::cTaps - whole;   // real taps in the last group
  static_assert(rest == 1, "the last group holds one real tap");
  int m = 0;
  for (; m + 4 <= n; m += 4) {
    const float* x = line + 2 * m;
    __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(), a3 = _mm_setzero_ps();
    for (int k = 0; k < whole; k += 4) {
      const __m128 t = _mm_load_ps(h.taps + k);
      a0 = _mm_add_ps(a0, _mm_mul_ps(t, _mm_loadu_ps(x + k)));
      a1 = _mm_add_ps(a1, _mm_mul_ps(t, _mm_loadu_ps(x + k + 2)));
      a2 = _mm_add_ps(a2, _mm_mul_ps(t, _mm_loadu_ps(x + k + 4)));
      a3 = _mm_add_ps(a3, _mm_mul_ps(t, _mm_loadu_ps(x + k + 6)));
    }
    const __m128 t = _mm_load_ss(h.taps + whole);
    a0 = _mm_add_ss(a0, _mm_mul_ss(t, _mm_load_ss(x + whole)));
    a1 = _mm_add_ss(a1, _mm_mul_ss(t, _mm_load_ss(x + whole + 2)));
    a2 = _mm_add_ss(a2, _mm_mul_ss(t, _mm_load_ss(x + whole + 4)));
    a3 = _mm_add_ss(a3, _mm_mul_ss(t, _mm_load_ss(x + whole + 6)));
    out[m] = reduce(a0);
    out[m + 1] = reduce(a1);
    out[m + 2] = reduce(a2);
    out[m + 3] = reduce(a3);
  }
  for (; m < n; ++m) {
    const float* x = line + 2 * m;
    __m128 acc = _mm_setzero_ps();
    for (int k = 0; k < whole; k += 4) acc = _mm_add_ps(acc, _mm_mul_ps(_mm_load_ps(h.taps + k), _mm_loadu_ps(x + k)));
    acc = _mm_add_ss(acc, _mm_mul_ss(_mm_load_ss(h.taps + whole), _mm_load_ss(x + whole)));
    out[m] = reduce(acc);
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
