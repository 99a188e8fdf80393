#pragma once

// A cubic polynomial y(x) = c0 + c1 x + c2 x^2 + c3 x^3 in double precision,
// the shape from which curves such as a filter's response are drawn. It is
// made from its coefficients, from two points with slopes (a Hermite fit),
// or as the piece between the middle two of four points of a shape-
// preserving interpolation.
//
// Slopes given to the constructors and initialize() are in screen sense: a
// positive slope rises on the screen, which is decreasing y since y grows
// downwards. calculateCoefficients takes plain derivatives.

#include "gui/Geometry.h"

namespace gui {

class Cubic {
public:
  double c0 = 0.0;
  double c1 = 0.0;
  double c2 = 0.0;
  double c3 = 0.0;

  Cubic() = default;
  // From the highest power down.
  Cubic(float a3, float a2, float a1, float a0) { initialize(a3, a2, a1, a0); }
  Cubic(float x1, float y1, float s1, float x2, float y2, float s2) { initialize(x1, y1, s1, x2, y2, s2); }
  Cubic(const Point& p1, float s1, const Point& p2, float s2) { initialize(p1, s1, p2, s2); }
  Cubic(const Point& p0, const Point& p1, const Point& p2, const Point& p3) { initialize(p0, p1, p2, p3); }

  void initialize(float a3, float a2, float a1, float a0);
  void initialize(float x1, float y1, float s1, float x2, float y2, float s2);
  void initialize(const Point& p1, float s1, const Point& p2, float s2);
  // The piece from p1 to p2, with tangents that keep it monotone between
  // monotone neighbours and flat at extrema, so it never overshoots.
  void initialize(const Point& p0, const Point& p1, const Point& p2, const Point& p3);

  // y(x1) = y1, y(x2) = y2, y'(x1) = s1, y'(x2) = s2. With x1 = x2 no such
  // curve exists and the result is the constant y1.
  void calculateCoefficients(float x1, float y1, float s1, float x2, float y2, float s2);

  double operator()(double x) const { return c0 + x * (c1 + x * (c2 + x * c3)); }
  double derivative(double x) const { return c1 + x * (2.0 * c2 + x * 3.0 * c3); }
};

} // namespace gui
