#include "wave/SyncDecimator.h"

#include "wave/OscillatorKernels.h"
#include "wave/TransposeEight.h"

#include <cmath>
#include <cstring>
#include <immintrin.h>

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

// The same sums eight outputs at a time, from the line split into its even
// and odd samples: input 2m + 2i of output m is even[m + i], input 2m + 2i
// + 1 is odd[m + i]. A lane sums its products as a lane of the four-lane
// way does (tap k into partial sum k mod 4 in the order of k, then (0 +
// 2) + (1 + 3)), each partial sum in a register of its own; two registers
// of outputs side by side keep eight chains of additions in flight.
#define ZARN_AVX2 __attribute__((target("avx2")))
#define ZARN_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

// a + t x the eight inputs from x.
ZARN_AVX2_INLINE __m256 addTap(__m256 a, float t, const float* x) {
  return _mm256_add_ps(a, _mm256_mul_ps(_mm256_set1_ps(t), _mm256_loadu_ps(x)));
}

template <int rows>
ZARN_AVX2_INLINE void halveEight(const float* h, const float* even, const float* odd, float* out) {
  constexpr int groups = (SyncDecimator::cTaps - 1) / 4;
  static_assert(SyncDecimator::cTaps == 4 * groups + 1, "the taps come in groups of four and one more");
  __m256 a0[rows], a1[rows], a2[rows], a3[rows];
  for (int r = 0; r < rows; ++r) a0[r] = a1[r] = a2[r] = a3[r] = _mm256_setzero_ps();
  for (int g = 0; g < groups; ++g) {
    for (int r = 0; r < rows; ++r) {
      a0[r] = addTap(a0[r], h[4 * g], even + 2 * g + 8 * r);
      a1[r] = addTap(a1[r], h[4 * g + 1], odd + 2 * g + 8 * r);
      a2[r] = addTap(a2[r], h[4 * g + 2], even + 2 * g + 1 + 8 * r);
      a3[r] = addTap(a3[r], h[4 * g + 3], odd + 2 * g + 1 + 8 * r);
    }
  }
  for (int r = 0; r < rows; ++r) {
    a0[r] = addTap(a0[r], h[4 * groups], even + 2 * groups + 8 * r);
    _mm256_storeu_ps(out + 8 * r, _mm256_add_ps(_mm256_add_ps(a0[r], a2[r]), _mm256_add_ps(a1[r], a3[r])));
  }
}

// n outputs: sixteen at a time, then eight; the last group's surplus lanes
// go to a scratch place.
ZARN_AVX2 void halveWide(const LowPass& h, const float* even, const float* odd, float* out, int n) {
  int m = 0;
  for (; m + 16 <= n; m += 16) halveEight<2>(h.taps, even + m, odd + m, out + m);
  for (; m + 8 <= n; m += 8) halveEight<1>(h.taps, even + m, odd + m, out + m);
  if (m < n) {
    float rest[8];
    halveEight<1>(h.taps, even + m, odd + m, rest);
    std::memcpy(out + m, rest, sizeof(float) * static_cast<size_t>(n - m));
  }
}

} // namespace

bool SyncDecimator::wideAvailable() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

SyncDecimator::SyncDecimator(bool wide) : wide(wide && wideAvailable()) {}

void SyncDecimator::reset() { std::memset(line, 0, sizeof line); }

void SyncDecimator::process(const float* in, float* out, int count) {
  if (count < 1) return;
  if (wide) {
    float* even = line;
    float* odd = line + cOdd;
    for (int i = 0; i < count; ++i) {
      even[cHistory + i] = in[2 * i];
      odd[cHistory + i] = in[2 * i + 1];
    }
    halveWide(cLowPass, even, odd, out, count);
    std::memmove(even, even + count, sizeof(float) * cHistory);
    std::memmove(odd, odd + count, sizeof(float) * cHistory);
    return;
  }
  constexpr int history = cTaps - 1;
  std::memcpy(line + history, in, sizeof(float) * static_cast<size_t>(cFactor * count));
  halve(cLowPass, line, out, count);
  std::memmove(line, line + cFactor * count, sizeof(float) * history);
}

void SyncDecimator::saveHistory(float* at, int stride) const {
  if (wide) {
    for (int j = 0; j < cHistory; ++j) {
      at[2 * j * stride] = line[j];
      at[(2 * j + 1) * stride] = line[cOdd + j];
    }
  } else {
    for (int j = 0; j < cTaps - 1; ++j) at[j * stride] = line[j];
  }
}

void SyncDecimator::loadHistory(const float* at, int stride) {
  if (wide) {
    for (int j = 0; j < cHistory; ++j) {
      line[j] = at[2 * j * stride];
      line[cOdd + j] = at[(2 * j + 1) * stride];
    }
  } else {
    for (int j = 0; j < cTaps - 1; ++j) line[j] = at[j * stride];
  }
}

namespace {

// Eight outputs of eight lanes, rows[j][l] the output j of lane l, into
// out[l][j] (null entries and lanes from lanes on left out): the rows
// transposed in registers.
ZARN_AVX2_INLINE void storeColumns(const float (*rows)[SyncDecimatorLanes::cLanes], float* const* out, int lanes,
                                   int at) {
  __m256 r[8];
  for (int j = 0; j < 8; ++j) r[j] = _mm256_load_ps(rows[j]);
  transposeEight(r);
  for (int l = 0; l < lanes; ++l)
    if (out[l]) _mm256_storeu_ps(out[l] + at, r[l]);
}

// Output m of every lane: the taps over the line from sample 2m on, tap k
// into partial sum k mod 4 in the order of k, the partial sums added as
// (0 + 2) + (1 + 3); rows outputs at a time keep 4 x rows chains in
// flight and share each tap's broadcast: two in 16 registers, four in 32.
// The last group reads past the new inputs into the line's older values
// (never past its end: cMaxChunk is a whole number of rows); its surplus
// outputs are dropped. The outputs gather as rows and go out eight of each
// lane at a time.
template <int rows>
ZARN_AVX2_INLINE void halveLanes(const LowPass& h, const float* line, float* const* out, int lanes, int n) {
  constexpr int L = SyncDecimatorLanes::cLanes;
  constexpr int groups = (SyncDecimator::cTaps - 1) / 4;
  static_assert(SyncDecimatorLanes::cMaxChunk % rows == 0, "a chunk is a whole number of rows");
  alignas(32) float sums[SyncDecimatorLanes::cMaxChunk][L];
  for (int m = 0; m < n; m += rows) {
    __m256 a0[rows], a1[rows], a2[rows], a3[rows];
    for (int r = 0; r < rows; ++r) a0[r] = a1[r] = a2[r] = a3[r] = _mm256_setzero_ps();
    const float* x = line + 2 * m * L;
    for (int g = 0; g < groups; ++g) {
      for (int r = 0; r < rows; ++r) {
        const float* y = x + (4 * g + 2 * r) * L;
        a0[r] = addTap(a0[r], h.taps[4 * g], y);
        a1[r] = addTap(a1[r], h.taps[4 * g + 1], y + L);
        a2[r] = addTap(a2[r], h.taps[4 * g + 2], y + 2 * L);
        a3[r] = addTap(a3[r], h.taps[4 * g + 3], y + 3 * L);
      }
    }
    for (int r = 0; r < rows; ++r) {
      a0[r] = addTap(a0[r], h.taps[4 * groups], x + (4 * groups + 2 * r) * L);
      _mm256_store_ps(sums[m + r], _mm256_add_ps(_mm256_add_ps(a0[r], a2[r]), _mm256_add_ps(a1[r], a3[r])));
    }
  }
  int m = 0;
  for (; m + 8 <= n; m += 8) storeColumns(sums + m, out, lanes, m);
  for (; m < n; ++m)
    for (int l = 0; l < lanes; ++l)
      if (out[l]) out[l][m] = sums[m][l];
}

ZARN_AVX2 void halveLanes256(const LowPass& h, const float* line, float* const* out, int lanes, int n) {
  halveLanes<2>(h, line, out, lanes, n);
}

__attribute__((target("avx2,avx512f,avx512vl"))) void halveLanes512(const LowPass& h, const float* line,
                                                                  float* const* out, int lanes, int n) {
  halveLanes<4>(h, line, out, lanes, n);
}

} // namespace

SyncDecimatorLanes::SyncDecimatorLanes(bool allowAvx512) : avx512(allowAvx512 && syncLanesAvx512Available()) {}

void SyncDecimatorLanes::reset() {
  std::memset(lines, 0, sizeof lines);
  keptAt = lines[cur];
}

void SyncDecimatorLanes::silenceLane(int lane) {
  for (int j = 0; j < cHistory; ++j) lines[cur][j * cLanes + lane] = 0.0f;
}

void SyncDecimatorLanes::restoreLane(int lane) {
  float* line = lines[cur];
  for (int j = 0; j < cHistory; ++j) line[j * cLanes + lane] = keptAt[j * cLanes + lane];
}

void SyncDecimatorLanes::process(float* const* out, int lanes, int count) {
  if (count < 1) return;
  const float* line = lines[cur];
  if (avx512)
    halveLanes512(cLowPass, line, out, lanes, count);
  else
    halveLanes256(cLowPass, line, out, lanes, count);
  float* next = lines[cur ^ 1];
  if (keptAt == next) {
    std::memcpy(kept, next, sizeof kept);
    keptAt = kept;
  }
  std::memcpy(next, line + SyncDecimator::cFactor * count * cLanes, sizeof(float) * cHistory * cLanes);
  cur ^= 1;
}
