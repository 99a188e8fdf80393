#pragma once

// The synced oscillator's crossfade: at u (0 to 1) of the way through it,
// o moves towards alt by the raised cosine g = 0.5 + 0.5 cos(pi (u - 1)),
// o + g (alt - o) worked out in double and rounded to float.
//
// The library's cosine is a call of some forty cycles, at every sample of
// every fade. Here g comes from a polynomial (g = 0.5 + 0.5 sin(pi t), t = u
// - 1/2, sin(pi t) / t fitted in t^2 to within 4e-16 over |t| <= 1/2), so
// that it is within 2^-49 of the g of the cosine. The float the sum rounds
// to is the one the cosine's sum rounds to unless the sum lies next to a
// point halfway between two floats: where every value within far more than
// that difference of it (2^-44 of alt - o, 2^-50 of the sum) rounds to the
// same float, that float is taken; elsewhere, and for u outside [0, 1],
// the cosine is asked after all (rarely: mostly where the sum is near 0).

#include <cmath>

inline float crossfadeBlend(float o, float alt, double u) {
  const double d = static_cast<double>(alt - o);
  if (u >= 0.0 && u <= 1.0) {
    const double t = u - 0.5, z = t * t;
    double s = -2.113362735205297e-05;
    s = s * z + 0.0004659870158043378;
    s = s * z - 0.0073703643265304155;
    s = s * z + 0.08214587881631043;
    s = s * z - 0.599264528825224;
    s = s * z + 2.5501640398618677;
    s = s * z - 5.1677127800497855;
    s = s * z + 3.1415926535897927;
    const double v = static_cast<double>(o) + (0.5 + 0.5 * (t * s)) * d;
    const double w = 0x1p-44 * std::fabs(d) + 0x1p-50 * std::fabs(v);
    const float below = static_cast<float>(v - w), above = static_cast<float>(v + w);
    if (below == above) return below;
  }
  const double g = 0.5 + 0.5 * std::cos(3.14159265358979323846 * (u - 1.0));
  return static_cast<float>(static_cast<double>(o) + g * d);
}
