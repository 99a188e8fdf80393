#include "wave/EQFilter.h"

#include <cmath>

EQFilter::EQFilter(wave::Environment* env)
    : wave::Filter(env), frequency(env, 1000.0f), width(env, 1.0f), gain(env, 10.0f) {
  frequency.getParameter().setLimits(5.0f, 20000.0f);
  width.getParameter().setLimits(0.01f, 20.0f);
  gain.getParameter().setLimits(-36.0f, 36.0f);
}

void EQFilter::calculateCoefficients(float f, float wdt, float g) {
  if (!(f >= 16.0f)) f = 16.0f;
  if (f > 10000.0f) f = 10000.0f;
  w0 = 2.0f * 3.14159265f * f / env->sampleRate;
  alpha = std::sin(w0 * wdt / 2.0f);
  const float c = std::cos(w0);
  A = type <= cNotch ? std::pow(10.0f, g / 40.0f) : std::sqrt(std::pow(10.0f, g / 20.0f));
  switch (type) {
  case cLowPass:
    b0 = (1.0f - c) / 2.0f;
    b1 = 1.0f - c;
    b2 = (1.0f - c) / 2.0f;
    a0 = 1.0f + alpha;
    a1 = -2.0f * c;
    a2 = 1.0f - alpha;
    break;
  case cHighPass:
    b0 = (1.0f + c) / 2.0f;
    b1 = -(1.0f + c);
    b2 = (1.0f + c) / 2.0f;
    a0 = 1.0f + alpha;
    a1 = -2.0f * c;
    a2 = 1.0f - alpha;
    break;
  case cBandPass:
    b0 = wdt * alpha;
    b1 = 0.0f;
    b2 = -wdt * alpha;
    a0 = 1.0f + alpha;
    a1 = -2.0f * c;
    a2 = 1.0f - alpha;
    break;
  case cNotch:
    b0 = 1.0f;
    b1 = -2.0f * c;
    b2 = 1.0f;
    a0 = 1.0f + alpha;
    a1 = -2.0f * c;
    a2 = 1.0f - alpha;
    break;
  case cPeaking:
    b0 = 1.0f + alpha * A;
    b1 = -2.0f * c;
    b2 = 1.0f - alpha * A;
    a0 = 1.0f + alpha / A;
    a1 = -2.0f * c;
    a2 = 1.0f - alpha / A;
    break;
  case cLowShelf: {
    const float s = 2.0f * std::sqrt(A) * alpha;
    b0 = A * ((A + 1.0f) - (A - 1.0f) * c + s);
    b1 = 2.0f * A * ((A - 1.0f) - (A + 1.0f) * c);
    b2 = A * ((A + 1.0f) - (A - 1.0f) * c - s);
    a0 = (A + 1.0f) + (A - 1.0f) * c + s;
    a1 = -2.0f * ((A - 1.0f) + (A + 1.0f) * c);
    a2 = (A + 1.0f) + (A - 1.0f) * c - s;
    break;
  }
  case cHighShelf: {
    const float s = 2.0f * std::sqrt(A) * alpha;
    b0 = A * ((A + 1.0f) + (A - 1.0f) * c + s);
    b1 = -2.0f * A * ((A - 1.0f) + (A + 1.0f) * c);
    b2 = A * ((A + 1.0f) + (A - 1.0f) * c - s);
    a0 = (A + 1.0f) - (A - 1.0f) * c + s;
    a1 = 2.0f * ((A - 1.0f) - (A + 1.0f) * c);
    a2 = (A + 1.0f) - (A - 1.0f) * c - s;
    break;
  }
  default:
    // Not a band shape: the coefficients stay as they were.
    break;
  }
}

void EQFilter::filter(const wave::Block* in, wave::Block* out, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  const float* silence = env->silentBlock->data;
  const wave::Block* fb = frequency.output->pull(count, flags);
  const wave::Block* wb = width.output->pull(count, flags);
  const wave::Block* gb = gain.output->pull(count, flags);
  const float* fr = fb ? fb->data : silence;
  const float* wd = wb ? wb->data : silence;
  const float* gn = gb ? gb->data : silence;
  const float* x = in ? in->data : silence;
  float* y = out->data;
  for (int i = 0; i < count; ++i) {
    // The coefficients are a pure function of the controls and the type:
    // unchanged controls (the usual case) need no new sine and cosine.
    if (fr[i] != lastFrequency || wd[i] != lastWidth || gn[i] != lastGain || type != lastType) {
      calculateCoefficients(fr[i], wd[i], gn[i]);
      lastFrequency = fr[i];
      lastWidth = wd[i];
      lastGain = gn[i];
      lastType = type;
    }
    const float xi = x[i];
    float v = (b0 * xi + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
    // Held the vector unit's way: a NaN goes to -1, so it never reaches the
    // feedback states.
    v = v > -1.0f ? v : -1.0f;
    v = v < 1.0f ? v : 1.0f;
    y[i] = v;
    x2 = x1;
    x1 = xi;
    y2 = y1;
    y1 = v;
  }
}
