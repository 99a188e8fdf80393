#pragma once

// An equaliser band: one of seven second-order shapes (low pass, high pass,
// band pass, notch, peaking, low shelf, high shelf) with a smoothed centre
// frequency, width and gain. Coefficients follow the three controls sample
// by sample; the output is held in [-1, 1].

#include "wave/Filter.h"
#include "wave/FloatParameter.h"

#include <cstdint>

class EQFilter : public wave::Filter {
public:
  enum Type : int32_t {
    cLowPass = 0,
    cHighPass = 1,
    cBandPass = 2,
    cNotch = 3,
    cPeaking = 4,
    cLowShelf = 5,
    cHighShelf = 6
  };

  explicit EQFilter(wave::Environment* env);

  // frequency in Hz (held to [16, 10000]), width (> 0), gain in dB. A type
  // outside 0..6 leaves the filter coefficients as they were.
  void calculateCoefficients(float frequency, float width, float gain);
  void filter(const wave::Block* in, wave::Block* out, int count, int flags) override;
  // The band's memory carries on through a reset.
  void resetState() override {}

  // Hz, [5, 20000], 1000 at first.
  wave::FloatParameterBus frequency;
  // [0.01, 20], 1 at first.
  wave::FloatParameterBus width;
  // dB, [-36, 36], 10 at first.
  wave::FloatParameterBus gain;
  // The band shape, 0..6 (see Type); a low shelf at first.
  int32_t type = cLowShelf;

  // The last computed values. Until the first computation the band passes
  // its input.
  float A = 1.0f, w0 = 0.0f, alpha = 0.0f;
  float a0 = 1.0f, a1 = 0.0f, a2 = 0.0f, b0 = 1.0f, b1 = 0.0f, b2 = 0.0f;

private:
  float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
  // The controls and type the coefficients were last computed for.
  float lastFrequency = 0.0f, lastWidth = 0.0f, lastGain = 0.0f;
  int32_t lastType = -1;
};
