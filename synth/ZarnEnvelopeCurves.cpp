#include "synth/ZarnEnvelopeCurves.h"

#include <algorithm>
#include <cmath>

double ZarnRisingCurve::operator()(double x) const {
  x = std::clamp(x, 0.0, 1.0);
  return (1.0 - std::exp(-k * x)) / (1.0 - std::exp(-k));
}

double ZarnFallingCurve::operator()(double x) const {
  x = std::clamp(x, 0.0, 1.0);
  return (std::exp(-k * x) - std::exp(-k)) / (1.0 - std::exp(-k));
}

EnvelopeGenerator::Style* createZarnEnvelopeStyle() {
  // The attack is only gently bent: a strongly bent one sounds like a
  // click followed by a plateau.
  const ZarnRisingCurve attack(2.0);
  const ZarnFallingCurve decayDown(5.0);
  const ZarnRisingCurve decayUp(5.0);
  const ZarnFallingCurve release(5.0);
  return new EnvelopeGenerator::Style(attack, decayDown, decayUp, release);
}
