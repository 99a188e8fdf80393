#include "wave/BiQuadFilter.h"

#include "wave/Environment.h"
#include "wave/ValueCurves.h"

#include <cmath>

void BiQuadFilter::calculateCoefficients(float frequency, float peak, Coefficients& c) {
  float fc = expFreqToFreq(frequency);
  if (!(fc >= 16.0f)) fc = 16.0f;
  if (fc > 10000.0f) fc = 10000.0f;
  const float k = std::tan(3.14159265f * fc / env->sampleRate);
  const bool highPass = response.get() == GenericFilter::cHighPass;
  const float w = highPass ? k : 1.0f / k;
  const float r = 1.4142135f - 1.3942136f * peak;
  const float w2 = w * w;
  const float b0 = 1.0f / (1.0f + r * w + w2);
  c.b0 = b0;
  c.b2 = b0;
  c.a2 = (1.0f - r * w + w2) * b0;
  if (highPass) {
    c.b1 = -2.0f * b0;
    c.a1 = 2.0f * (w2 - 1.0f) * b0;
  } else {
    c.b1 = 2.0f * b0;
    c.a1 = 2.0f * (1.0f - w2) * b0;
  }
}

void BiQuadFilter::filter(const float* in, float* out, const float* frequency, const float* peak,
                          const float* peakScale, int count, bool) {
  if (count < 1) return;
  Coefficients c;
  calculateCoefficients(frequency[0], peakScale ? peak[0] * peakScale[0] : peak[0], c);
  float s1 = x1, s2 = x2, t1 = y1, t2 = y2;
  for (int i = 0; i < count; ++i) {
    const float x = in[i];
    const float y = c.b0 * x + c.b1 * s1 + c.b2 * s2 - c.a1 * t1 - c.a2 * t2;
    s2 = s1;
    s1 = x;
    t2 = t1;
    t1 = y;
    out[i] = y;
  }
  x1 = s1;
  x2 = s2;
  y1 = t1;
  y2 = t2;
}
