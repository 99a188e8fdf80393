#pragma once

// The stage curves of the synthesizer's envelopes: an attack that rises
// fast and eases into its peak, as a charging capacitor does, and decays and
// releases that fall exponentially, so that a long release fades evenly to
// the ear instead of hanging loud and then dropping.

#include "base/FunctionTableFunction.h"
#include "wave/EnvelopeGenerator.h"

// (1 - e^(-k x)) / (1 - e^(-k)): rises from 0 to 1.
class ZarnRisingCurve : public FunctionTableFunction {
public:
  explicit ZarnRisingCurve(double k) : k(k) {}
  double operator()(double x) const override;
  double k;
};

// (e^(-k x) - e^(-k)) / (1 - e^(-k)): falls from 1 to 0.
class ZarnFallingCurve : public FunctionTableFunction {
public:
  explicit ZarnFallingCurve(double k) : k(k) {}
  double operator()(double x) const override;
  double k;
};

// A new style with the synthesizer's four curves; the caller owns it.
EnvelopeGenerator::Style* createZarnEnvelopeStyle();
