#pragma once

// Drives a ZarnPlugin the way the host does (MIDI queued with sample
// offsets, 32-sample buffers through process) and measures what comes out:
// levels, spectra (FFTW) and the pitch of a signal over time.

#include "plugin/MidiMessage.h"
#include "synth/ZarnPlugin.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <vector>

namespace zarntest {

constexpr double kRate = 44100.0;
constexpr int kQuantum = 32;

inline double noteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

class Synth {
public:
  Synth() : plugin(new ZarnPlugin()) {}
  // Drives the given instance (of a class derived for a test), owned.
  explicit Synth(ZarnPlugin* instance) : plugin(instance) {}
  ZarnPlugin& operator*() { return *plugin; }
  ZarnPlugin* operator->() { return plugin.get(); }

  static void set(AbstractPluginParameter& p, float natural) { p.setValue(natural, 0); }

  void midi(unsigned char status, unsigned char d1, unsigned char d2) {
    MidiMessage m;
    m.status = status;
    m.data1 = d1;
    m.data2 = d2;
    m.sampleOffset = 0;
    plugin->receiveMidiMessage(m);
  }
  void noteOn(int note, int velocity = 127) { midi(0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)); }
  void noteOff(int note) { midi(0x80, static_cast<unsigned char>(note), 64); }
  void controller(int number, int value) { midi(0xB0, static_cast<unsigned char>(number), static_cast<unsigned char>(value)); }

  // Renders n samples in 32-sample buffers, appended to left and right.
  void renderSamples(size_t n) {
    float* outs[2] = {bufL, bufR};
    size_t done = 0;
    while (done < n) {
      const int k = static_cast<int>(std::min<size_t>(kQuantum, n - done));
      plugin->process(nullptr, 0, outs, 2, k);
      left.insert(left.end(), bufL, bufL + k);
      right.insert(right.end(), bufR, bufR + k);
      done += static_cast<size_t>(k);
    }
  }
  void render(double seconds) { renderSamples(static_cast<size_t>(seconds * kRate)); }
  // Lets parameter glides finish and forgets what was rendered.
  void settle() {
    render(0.25);
    clear();
  }
  void clear() {
    left.clear();
    right.clear();
  }
  size_t size() const { return left.size(); }

  std::unique_ptr<ZarnPlugin> plugin;
  std::vector<float> left, right;

private:
  alignas(16) float bufL[kQuantum];
  alignas(16) float bufR[kQuantum];
};

inline double rms(const std::vector<float>& x, size_t from, size_t to) {
  to = std::min(to, x.size());
  double s = 0.0;
  for (size_t i = from; i < to; ++i) s += static_cast<double>(x[i]) * x[i];
  return to > from ? std::sqrt(s / static_cast<double>(to - from)) : 0.0;
}

inline double peak(const std::vector<float>& x) {
  double p = 0.0;
  for (float v : x) p = std::max(p, static_cast<double>(std::fabs(v)));
  return p;
}

inline double toDB(double ratio) { return 20.0 * std::log10(std::max(ratio, 1e-20)); }

// The power spectrum of x[offset .. offset + n) under a Blackman-Harris
// window; bin k is k * rate / n Hz.
struct Spectrum {
  std::vector<double> power;
  double binHz = 0.0;

  int bin(double hz) const { return static_cast<int>(std::lround(hz / binHz)); }
  // The largest bin within +-width bins of hz.
  double at(double hz, int width = 3) const {
    const int b = bin(hz);
    double m = 0.0;
    for (int k = std::max(0, b - width); k <= b + width && k < static_cast<int>(power.size()); ++k)
      m = std::max(m, power[static_cast<size_t>(k)]);
    return m;
  }
  // Total power between lo and hi Hz.
  double band(double lo, double hi) const {
    double s = 0.0;
    for (int k = std::max(1, bin(lo)); k <= bin(hi) && k < static_cast<int>(power.size()); ++k)
      s += power[static_cast<size_t>(k)];
    return s;
  }
  // Frequency of the largest bin between lo and hi, refined by a parabola
  // through the log powers around it.
  double peakHz(double lo, double hi) const {
    int best = std::max(1, bin(lo));
    for (int k = best; k <= bin(hi) && k + 1 < static_cast<int>(power.size()); ++k)
      if (power[static_cast<size_t>(k)] > power[static_cast<size_t>(best)]) best = k;
    const double a = std::log(power[static_cast<size_t>(best - 1)] + 1e-30);
    const double b = std::log(power[static_cast<size_t>(best)] + 1e-30);
    const double c = std::log(power[static_cast<size_t>(best + 1)] + 1e-30);
    const double d = a - 2 * b + c;
    const double shift = d != 0.0 ? 0.5 * (a - c) / d : 0.0;
    return (best + shift) * binHz;
  }
};

inline Spectrum spectrum(const std::vector<float>& x, size_t offset, int n) {
  if (offset + static_cast<size_t>(n) > x.size()) throw std::out_of_range("spectrum past the rendered samples");
  std::vector<double> in(static_cast<size_t>(n));
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * pi * i / n;
    const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
    in[static_cast<size_t>(i)] = w * x[offset + static_cast<size_t>(i)];
  }
  const int bins = n / 2 + 1;
  fftw_complex* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(bins)));
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in.data(), out, FFTW_ESTIMATE);
  fftw_execute(plan);
  Spectrum s;
  s.binHz = kRate / n;
  s.power.resize(static_cast<size_t>(bins));
  for (int k = 0; k < bins; ++k) s.power[static_cast<size_t>(k)] = out[k][0] * out[k][0] + out[k][1] * out[k][1];
  fftw_destroy_plan(plan);
  fftw_free(out);
  return s;
}

// Program `program` by MIDI, 0.1 s, then keys 48 and 55 held for 0.2 s;
// what was rendered is forgotten.
inline void chordOnProgram(Synth& s, int program) {
  s.midi(0xC0, static_cast<unsigned char>(program), 0);
  s.render(0.1);
  s.noteOn(48, 100);
  s.noteOn(55, 100);
  s.render(0.2);
  s.clear();
}

// A plain test patch: Osc 1 alone (the given wave form), both filters off,
// no unison, EG Main an organ gate (instant attack, full sustain, short
// release), everything else at its default.
inline void plainPatch(Synth& s, Oscillator::WaveForm wave = Oscillator::Sawtooth) {
  ZarnPlugin& p = *s;
  Synth::set(p.osc1.waveForm, static_cast<float>(wave));
  Synth::set(p.osc1.level, 1.0f);
  Synth::set(p.osc2.level, 0.0f);
  Synth::set(p.noiseLevel, 0.0f);
  Synth::set(p.filter1.enabled, 0.0f);
  Synth::set(p.filter2.enabled, 0.0f);
  Synth::set(p.unisonVoices, 1.0f);
  Synth::set(p.totalVoices, 32.0f);
  Synth::set(p.egMain.attack, 0.0f);
  Synth::set(p.egMain.decay, 0.0f);
  Synth::set(p.egMain.sustain, 1.0f);
  Synth::set(p.egMain.release, 0.05f);
  Synth::set(p.egMain.hold, 0.0f);
  Synth::set(p.portamento, 0.0f);
  s.settle();
}

} // namespace zarntest
