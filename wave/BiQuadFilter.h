#pragma once

// A two-pole filter unit with a cut-off and a peak: the bilinear transform
// of the analogue two-pole low pass (or high pass), damped from the square
// root of 2 (Butterworth) at peak 0 down to 0.02 at peak 1. Coefficients are
// worked out once per block from the block's first cut-off and peak.

#include "wave/GenericFilter.h"

class BiQuadFilter : public GenericFilter::FilterUnit {
public:
  struct Coefficients {
    float b0 = 1.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
  };

  explicit BiQuadFilter(wave::Environment* env) : GenericFilter::FilterUnit(env) {}

  // frequency in log2 Hz, held to [16, 10000] Hz; peak 0..1. A high pass
  // when the unit's response is High Pass, a low pass otherwise.
  void calculateCoefficients(float frequency, float peak, Coefficients& c);

  void filter(const float* in, float* out, const float* frequency, const float* peak, const float* peakScale,
              int count, bool constant) override;
  // Low Pass only.
  bool isResponseSupported(GenericFilter::Response r) override { return r == GenericFilter::cLowPass; }
  // 12 dB only.
  bool isSlopeSupported(GenericFilter::Slope s) override { return s == GenericFilter::c12dB; }

  // Last two inputs and outputs; they carry from block to block.
  float x1 = 0.0f;
  float x2 = 0.0f;
  float y1 = 0.0f;
  float y2 = 0.0f;
};
