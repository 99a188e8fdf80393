#include "gui/Cubic.h"

#include <algorithm>
#include <cmath>

namespace gui {

void Cubic::initialize(float a3, float a2, float a1, float a0) {
  c3 = a3;
  c2 = a2;
  c1 = a1;
  c0 = a0;
}

void Cubic::initialize(float x1, float y1, float s1, float x2, float y2, float s2) {
  calculateCoefficients(x1, y1, -s1, x2, y2, -s2);
}

void Cubic::initialize(const Point& p1, float s1, const Point& p2, float s2) {
  calculateCoefficients(static_cast<float>(p1.x), static_cast<float>(p1.y), -s1, static_cast<float>(p2.x),
                        static_cast<float>(p2.y), -s2);
}

void Cubic::calculateCoefficients(float fx1, float fy1, float fs1, float fx2, float fy2, float fs2) {
  const double x1 = fx1, y1 = fy1, s1 = fs1, x2 = fx2, y2 = fy2, s2 = fs2;
  const double d = x2 - x1;
  if (d == 0.0 || !std::isfinite(d)) {
    c0 = y1;
    c1 = c2 = c3 = 0.0;
    return;
  }
  // The direct solution in powers of x. A = d^2 (x2 + 2 x1) vanishes when
  // x2 = -2 x1 although the fit is well posed there, and loses precision
  // near it; those fits take the form below instead.
  if (std::fabs(x2 + 2.0 * x1) > 1e-6 * std::fabs(d)) {
    const double A = x2 * x2 * x2 - x1 * x1 * x1 - 3.0 * x1 * x1 * d;
    const double B = x1 * x1 - x2 * x2 + 2.0 * x1 * d;
    const double E = (y2 - y1) - s1 * d;
    const double F = 3.0 * x2 * x2 - 3.0 * x1 * x1;
    c2 = ((s2 - s1) * A - E * F) / (F * B + 2.0 * d * A);
    c3 = (B * c2 + E) / A;
    c1 = s1 - 2.0 * x1 * c2 - 3.0 * x1 * x1 * c3;
    c0 = y1 - x1 * x1 * x1 * c3 - x1 * x1 * c2 - x1 * c1;
    if (std::isfinite(c0) && std::isfinite(c1) && std::isfinite(c2) && std::isfinite(c3)) return;
  }
  // Hermite form in u = x - x1, y = y1 + s1 u + a u^2 + b u^3, expanded.
  const double m = (y2 - y1) / d;
  const double a = (3.0 * m - 2.0 * s1 - s2) / d;
  const double b = (s1 + s2 - 2.0 * m) / (d * d);
  c3 = b;
  c2 = a - 3.0 * b * x1;
  c1 = s1 - 2.0 * a * x1 + 3.0 * b * x1 * x1;
  c0 = y1 - s1 * x1 + a * x1 * x1 - b * x1 * x1 * x1;
}

void Cubic::initialize(const Point& p0, const Point& p1, const Point& p2, const Point& p3) {
  const int w = p2.x - p1.x;
  const double q0 = p1.y;
  const double q3 = p2.y;
  double q1 = p1.y;
  double q2 = p2.y;
  if (w > 0) {
    const double d1 = p2.y - p1.y;
    const bool extremum = (p1.y >= p0.y && p1.y >= p2.y) || (p1.y <= p0.y && p1.y <= p2.y);
    if (!extremum) {
      // The left neighbour's rise, rescaled to this piece's width; the
      // harmonic mean of the two rises gives the tangent.
      const float d0 = static_cast<float>(p1.y - p0.y) *
                       (static_cast<float>(w) / static_cast<float>(std::max(1, p1.x - p0.x)));
      q1 = p1.y + d0 * d1 / (d0 + d1);
    }
    const bool rising = p1.y < p2.y && p2.y < p3.y;
    const bool falling = p1.y > p2.y && p2.y > p3.y;
    if (rising || falling) {
      const float d2 = static_cast<float>(p3.y - p2.y) *
                       (static_cast<float>(w) / static_cast<float>(std::max(1, p3.x - p2.x)));
      q2 = p2.y - d1 * d2 / (d1 + d2);
    }
  }
  // Bezier to powers of t, then t = k x + m to powers of x.
  const double a3 = -q0 + 3.0 * q1 - 3.0 * q2 + q3;
  const double a2 = 3.0 * q0 - 6.0 * q1 + 3.0 * q2;
  const double a1 = 3.0 * (q1 - q0);
  const double a0 = q0;
  const double k = 1.0 / std::max(1, w);
  const double m = -p1.x * k;
  c3 = a3 * k * k * k;
  c2 = 3.0 * a3 * k * k * m + a2 * k * k;
  c1 = 3.0 * a3 * k * m * m + 2.0 * a2 * k * m + a1 * k;
  c0 = a3 * m * m * m + a2 * m * m + a1 * m + a0;
}

} // namespace gui
