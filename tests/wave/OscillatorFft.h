#pragma once

// Spectral measurements for the oscillator tests, on FFTW: windowed power
// spectra, the split of a periodic signal's energy into harmonics and the
// rest, and a precise fundamental frequency from the phase advance between
// two frames.

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace osctest {

struct Frame {
  std::vector<double> power;                 // |X_k|^2, k = 0..n/2
  std::vector<std::complex<double>> values;  // X_k
};

// The 4-term Blackman-Harris window of n points (side lobes near -92 dB,
// main lobe +-4 bins), made once per size.
inline const std::vector<double>& window(int n) {
  static std::vector<double> w;
  if (static_cast<int>(w.size()) != n) {
    w.resize(static_cast<size_t>(n));
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < n; ++i) {
      const double t = 2.0 * pi * i / n;
      w[static_cast<size_t>(i)] =
          0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
    }
  }
  return w;
}

// x[offset .. offset + n) under the window.
inline Frame analyse(const std::vector<float>& x, size_t offset, int n) {
  const std::vector<double>& w = window(n);
  std::vector<double> in(static_cast<size_t>(n));
  for (size_t i = 0; i < in.size(); ++i) in[i] = w[i] * x[offset + i];
  const int bins = n / 2 + 1;
  fftw_complex* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(bins)));
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in.data(), out, FFTW_ESTIMATE);
  fftw_execute(plan);
  Frame f;
  f.power.resize(static_cast<size_t>(bins));
  f.values.resize(static_cast<size_t>(bins));
  for (int k = 0; k < bins; ++k) {
    f.values[static_cast<size_t>(k)] = {out[k][0], out[k][1]};
    f.power[static_cast<size_t>(k)] = out[k][0] * out[k][0] + out[k][1] * out[k][1];
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  return f;
}

struct HarmonicSplit {
  std::vector<double> harmonics; // power of harmonic h at index h - 1
  double offHarmonic = 0.0;      // everything else but the DC region
  double fundamentalPeak = 0.0;  // the strongest bin of harmonic 1
  double offHarmonicPeak = 0.0;  // the strongest bin of the rest
};

// Sorts the bins of a power spectrum: those within halfWidth bins of a
// harmonic of f0 (given in bins) count for that harmonic, those near DC for
// nothing, the rest as off-harmonic energy.
inline HarmonicSplit splitHarmonics(const std::vector<double>& power, double f0Bins, int halfWidth = 5) {
  HarmonicSplit s;
  const int top = static_cast<int>(static_cast<double>(power.size() - 1) / f0Bins) + 1;
  s.harmonics.assign(static_cast<size_t>(top), 0.0);
  for (size_t k = 0; k < power.size(); ++k) {
    const double h = std::round(static_cast<double>(k) / f0Bins);
    const bool near = std::fabs(static_cast<double>(k) - h * f0Bins) <= halfWidth;
    if (near && h == 0.0) continue;
    if (near && h <= top) {
      s.harmonics[static_cast<size_t>(h) - 1] += power[k];
      if (h == 1.0) s.fundamentalPeak = std::max(s.fundamentalPeak, power[k]);
    } else {
      s.offHarmonic += power[k];
      s.offHarmonicPeak = std::max(s.offHarmonicPeak, power[k]);
    }
  }
  return s;
}

inline double dB(double powerRatio) { return 10.0 * std::log10(powerRatio); }

// The frequency of the strongest component within 3 % of roughHz, from the
// phase it gains between the frame at 0 (first) and one half a frame later.
// x must hold 1.5 n samples.
inline double measureFrequency(const std::vector<float>& x, const Frame& first, int n, double rate, double roughHz) {
  const double pi = 3.14159265358979323846;
  const int hop = n / 2;
  Frame second = analyse(x, static_cast<size_t>(hop), n);
  const double binHz = rate / n;
  int lo = static_cast<int>(roughHz * 0.97 / binHz);
  int hi = static_cast<int>(roughHz * 1.03 / binHz) + 1;
  if (lo < 1) lo = 1;
  if (hi > n / 2 - 1) hi = n / 2 - 1;
  int peak = lo;
  for (int k = lo; k <= hi; ++k)
    if (first.power[static_cast<size_t>(k)] > first.power[static_cast<size_t>(peak)]) peak = k;
  const double expected = 2.0 * pi * peak * hop / n;
  double d = std::arg(second.values[static_cast<size_t>(peak)]) - std::arg(first.values[static_cast<size_t>(peak)]) -
             expected;
  d = std::remainder(d, 2.0 * pi);
  return (expected + d) * rate / (2.0 * pi * hop);
}

// Mean power per bin of the bins [from, to).
inline double bandPower(const std::vector<double>& power, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t k = from; k < to; ++k) sum += power[k];
  return sum / static_cast<double>(to - from);
}

} // namespace osctest
