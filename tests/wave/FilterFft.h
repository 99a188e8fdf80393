#pragma once

// Frequency-response measurement for the filter tests: the magnitude
// spectrum of an impulse response (FFTW), read at any frequency, and the
// small producers the graph-level filter tests feed their filters from.

#include "wave/Environment.h"
#include "wave/Producer.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace zarn::test {

// |FFT(x)| for bins 0 .. N/2, N = x.size() (a power of two).
inline std::vector<double> magnitudeSpectrum(const std::vector<double>& x) {
  const int n = static_cast<int>(x.size());
  std::vector<double> in(x);
  fftw_complex* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n / 2 + 1)));
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in.data(), out, FFTW_ESTIMATE);
  fftw_execute(plan);
  std::vector<double> m(static_cast<size_t>(n / 2 + 1));
  for (int i = 0; i <= n / 2; ++i) m[static_cast<size_t>(i)] = std::hypot(out[i][0], out[i][1]);
  fftw_destroy_plan(plan);
  fftw_free(out);
  return m;
}

// A magnitude response sampled at N/2 + 1 bins of sampleRate / N hertz.
struct Response {
  std::vector<double> magnitude;
  double sampleRate = 48000.0;
  int size = 0;

  double binWidth() const { return sampleRate / size; }

  // Linear interpolation between bins.
  double at(double hz) const {
    const double b = hz / binWidth();
    const size_t i = static_cast<size_t>(b);
    if (i + 1 >= magnitude.size()) return magnitude.back();
    const double t = b - static_cast<double>(i);
    return magnitude[i] + (magnitude[i + 1] - magnitude[i]) * t;
  }
  double dBAt(double hz) const { return 20.0 * std::log10(at(hz)); }

  // The largest magnitude above DC and where it lies (parabolic
  // interpolation around the largest bin).
  double peak() const {
    double m = 0.0;
    for (size_t i = 1; i < magnitude.size(); ++i) m = std::max(m, magnitude[i]);
    return m;
  }
  double peakFrequency() const {
    size_t k = 2;
    for (size_t i = 2; i + 1 < magnitude.size(); ++i)
      if (magnitude[i] > magnitude[k]) k = i;
    const double a = magnitude[k - 1], b = magnitude[k], c = magnitude[k + 1];
    const double d = 0.5 * (a - c) / (a - 2.0 * b + c);
    return (static_cast<double>(k) + d) * binWidth();
  }
  // The first frequency above DC where the magnitude falls below (or, with
  // rising, climbs to) level; -1 if it never does.
  double crossing(double level, bool rising = false) const {
    for (size_t i = 2; i < magnitude.size(); ++i) {
      const double a = magnitude[i - 1], b = magnitude[i];
      const bool hit = rising ? (a < level && b >= level) : (a >= level && b < level);
      if (hit) return (static_cast<double>(i - 1) + (level - a) / (b - a)) * binWidth();
    }
    return -1.0;
  }
};

// The response of an impulse response that was scaled by amplitude.
inline Response responseOf(const std::vector<float>& impulseResponse, double amplitude, double sampleRate) {
  std::vector<double> x(impulseResponse.size());
  for (size_t i = 0; i < x.size(); ++i) x[i] = impulseResponse[i] / amplitude;
  Response r;
  r.magnitude = magnitudeSpectrum(x);
  r.sampleRate = sampleRate;
  r.size = static_cast<int>(x.size());
  return r;
}

// Plays a signal block by block; past its end it plays silence.
class SignalSource : public wave::Source {
public:
  explicit SignalSource(wave::Environment* env) : wave::Source(env) {}
  void produce(wave::Block* block, int n, int flags) override {
    ++calls;
    if (flags & wave::cMuteCall) {
      position += static_cast<size_t>(n);
      return;
    }
    for (int i = 0; i < n; ++i) {
      block->data[i] = position < signal.size() ? signal[position] : 0.0f;
      ++position;
    }
  }
  std::vector<float> signal;
  size_t position = 0;
  int calls = 0;
};

} // namespace zarn::test
