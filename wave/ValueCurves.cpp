#include "wave/ValueCurves.h"

#include "base/TextUtils.h"

#include <cmath>
#include <cstddef>

namespace {

const float kPotX[] = {0.0f, 0.1f, 0.25f, 0.5f, 0.7f, 0.9f, 1.0f};
const float kPotY[] = {0.0f, 0.002f, 0.05f, 0.16f, 0.36f, 0.91f, 1.0f};

const float kDetuneX[] = {-1.0f, -0.4f, -0.2f, 0.2f, 0.4f, 1.0f};
const float kDetuneY[] = {-1.0f, -1.0f / 12.0f, -1.0f / 60.0f, 1.0f / 60.0f, 1.0f / 12.0f, 1.0f};

const float kEGTimeX[] = {0.0f, 0.15f, 0.2f, 0.33f, 0.4f, 0.5f, 0.6f, 0.68f, 0.75f, 0.85f, 0.9f, 0.95f, 0.98f, 1.0f};
const float kEGTimeY[] = {0.0f,  0.02f, 0.03f, 0.05f, 0.07f, 0.1f,  0.13f,
                          0.17f, 0.22f, 0.35f, 0.46f, 0.66f, 0.82f, 1.0f};

const float kVeryExpX[] = {0.0f,  0.05f, 0.12f, 0.3f, 0.4f,  0.5f,  0.6f, 0.65f,
                           0.7f, 0.78f, 0.85f, 0.9f, 0.95f, 0.98f, 1.0f};
const float kVeryExpY[] = {0.0f,    0.001f, 0.003f,  0.01f,   0.0167f, 0.0269f, 0.0429f, 0.0543f,
                           0.0691f, 0.1015f, 0.156f, 0.2193f, 0.3421f, 0.4772f, 1.0f};

const float kExtremeX[] = {0.0f, 0.2f, 0.5f, 0.7f, 0.8f, 0.9f, 0.95f, 0.98f};
const float kExtremeY[] = {0.0f, 0.001f, 0.007f, 0.03f, 0.1f, 0.3f, 0.5f, 1.0f};

// The ratio values are k/99, the quotient taken in double and rounded once.
constexpr float ratio(double k) { return static_cast<float>(k / 99.0); }
const float kRatioX[] = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
const float kRatioY[] = {0.0f,       ratio(0.1), ratio(0.25), ratio(0.5), ratio(1.0), ratio(1.75),
                         ratio(3.0), ratio(5.0), ratio(7.0),  ratio(9.0), 1.0f};
const float kRatioKnee = ratio(9.0);

template <size_t N>
float tableCurve(float x, const float (&xs)[N], const float (&ys)[N]) {
  return translateRange(x, xs, ys, static_cast<int>(N));
}

template <size_t N>
float oddTableCurve(float x, const float (&xs)[N], const float (&ys)[N]) {
  const float sign = x >= 0.0f ? 1.0f : -1.0f;
  return sign * tableCurve(std::fabs(x), xs, ys);
}

} // namespace

float translateRange(float x, const float* xs, const float* ys, int n) {
  if (n < 1) return 0.0f;
  if (!(x > xs[0])) return ys[0];
  if (n < 2) return ys[n - 1];
  for (int k = 1; k < n; ++k) {
    if (!(x > xs[k])) return ys[k - 1] + (x - xs[k - 1]) / (xs[k] - xs[k - 1]) * (ys[k] - ys[k - 1]);
  }
  return ys[n - 1];
}

float potMeterCurve(float x) { return oddTableCurve(x, kPotX, kPotY); }
float potMeterCurveInverse(float x) { return oddTableCurve(x, kPotY, kPotX); }
float detuneCurve(float x) { return tableCurve(x, kDetuneX, kDetuneY); }
float detuneCurveInverse(float x) { return tableCurve(x, kDetuneY, kDetuneX); }
float EGTimeCurve(float x) { return tableCurve(x, kEGTimeX, kEGTimeY); }
float veryExponentialCurve(float x) { return tableCurve(x, kVeryExpX, kVeryExpY); }
float extremeExponentialCurve(float x) { return tableCurve(x, kExtremeX, kExtremeY); }
float extremeExponentialCurveInverse(float x) { return tableCurve(x, kExtremeY, kExtremeX); }

float ratioCurve(float x) {
  const float y = tableCurve(x, kRatioX, kRatioY);
  if (!(y > kRatioKnee)) return y;
  const float r = 1.0f - kRatioKnee;
  const float t = (y - kRatioKnee) / r;
  return potMeterCurve(t) * r + kRatioKnee;
}

float freqToExpFreq(float f) { return static_cast<float>(static_cast<double>(std::log(f)) / std::log(2.0)); }

float expFreqToFreq(float e) { return static_cast<float>(std::exp(static_cast<double>(e) * std::log(2.0))); }

float noteNumberToExpFreq(float n) {
  const float a4 = static_cast<float>(std::log(440.0f) / std::log(2.0));
  return static_cast<float>(static_cast<double>(a4) + (static_cast<double>(n) - 69.0) * 0.08333333333333333);
}

float dBToAmplitude(float dB) { return std::pow(10.0f, 0.05f * dB); }

float amplitudeToDB(float a) {
  if (a > 1e-10f) {
    const float dB = 20.0f * std::log10(a);
    if (dB > -180.0f) return dB;
  }
  return -180.0f;
}

float amplitudeToDisplayDB(float a) { return a > 0.0f ? amplitudeToDB(a) + 10.802f : amplitudeToDB(a); }

std::string dBToStr(float dB) { return dB > -180.0f ? floatToStr(dB, "%.2f") : std::string("-INF"); }

float convertGain(float v) {
  if (v > 0.1f) return std::pow(10.0f, (v - 1.0f) * 1.8f);
  return 10.0f * (v * std::pow(10.0f, -1.62f));
}

float stereoSpreadCurve(float x) {
  if (x <= 1.0f) return x;
  return static_cast<float>((static_cast<double>(x) - 1.0) * 0.5 + 1.0);
}

float calculateSpreadingFactor(int k, int n) {
  if (n == 1) return 0.0f;
  return static_cast<float>(2.0 * k / (n - 1) - 1.0);
}
