#pragma once

// Curves that map one float to another: unit conversions between frequency,
// pitch, note number, amplitude and decibels, and knob curves that bend a
// control's position into the value it sets. All are pure and may be called
// from any thread.
//
// Pitch inside the engine is an exp-frequency: log2 of the frequency in Hz
// (MIDI note 69 = log2 440).

#include "base/FunctionTableFunction.h"

#include <string>

// Piecewise-linear mapping through the breakpoints xs[0] < ... < xs[n-1] with
// values ys: ys[0] at or below the first breakpoint (and for a NaN), ys[n-1]
// above the last; a value on a breakpoint lands on the segment that ends
// there. n < 1 gives 0.
float translateRange(float x, const float* xs, const float* ys, int n);

// Odd-symmetric knob curve over [-1, 1] and its inverse.
float potMeterCurve(float x);
float potMeterCurveInverse(float x);
// Fine detune near the centre, coarse at the ends, over [-1, 1].
float detuneCurve(float x);
float detuneCurveInverse(float x);
// Curves over [0, 1].
float EGTimeCurve(float x);
float veryExponentialCurve(float x);
// Reaches 1.0 already at 0.98; its inverse never returns more than 0.98.
float extremeExponentialCurve(float x);
float extremeExponentialCurveInverse(float x);
// Gentle over [0, 0.9] (up to 9/99), the top tenth bent by the knob curve.
float ratioCurve(float x);

// Hz to exp-frequency and back.
float freqToExpFreq(float f);
float expFreqToFreq(float e);
float noteNumberToExpFreq(float n);

float dBToAmplitude(float dB);
// -180 for amplitudes at or below 1e-10 (and for NaN).
float amplitudeToDB(float a);
// The "Volume" display: amplitudeToDB + 10.802 for a > 0.
float amplitudeToDisplayDB(float a);
// "-INF" at or below -180 dB, else two decimals.
std::string dBToStr(float dB);

// Velocity and pressure to gain: 1 at 1, 0 at 0.
float convertGain(float v);
// Identity up to 1, half as steep above.
float stereoSpreadCurve(float x);
// The pan position -1..1 of copy k of n (0 for a single copy).
float calculateSpreadingFactor(int k, int n);

// The envelope's default curves: rising (x) and falling (1 - x) over [0, 1].
// EnvelopeGenerator exposes them as DefaultUpCurve and DefaultDownCurve.
class EnvelopeDefaultUpCurve : public FunctionTableFunction {
public:
  double operator()(double x) const override { return x; }
};

class EnvelopeDefaultDownCurve : public FunctionTableFunction {
public:
  double operator()(double x) const override { return 1.0 - x; }
};
