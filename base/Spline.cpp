#include "base/Spline.h"

#include "base/TextUtils.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

void Spline::Extrapolator::initialize(double x0, double y0, double x1, double y1) {
  // Whether the points differ is judged in single precision, the precision
  // of the values the curves finally produce.
  constant[0] = y0;
  defined[0] = std::fabs(static_cast<float>(x0) - static_cast<float>(x1)) > FLT_EPSILON;
  slope[0] = offset[0] = 0.0;
  if (defined[0]) {
    slope[0] = (y1 - y0) / (x1 - x0);
    offset[0] = y0 - slope[0] * x0;
  }
  constant[1] = x0;
  defined[1] = std::fabs(static_cast<float>(y0) - static_cast<float>(y1)) > FLT_EPSILON;
  slope[1] = offset[1] = 0.0;
  if (defined[1]) {
    slope[1] = (x1 - x0) / (y1 - y0);
    offset[1] = x0 - y0 * slope[1];
  }
}

double Spline::Extrapolator::transform(double v, int in) const {
  return defined[in] ? v * slope[in] + offset[in] : constant[in];
}

Spline::Spline() { initialize(0.0, 0.0, 1.0 / 3.0, 1.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1.0, 1.0, 0.0001); }

Spline::Spline(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3,
               double precision) {
  initialize(x0, y0, x1, y1, x2, y2, x3, y3, precision);
}

void Spline::initialize(double x0, double y0, double x1, double y1, double x2, double y2, double x3,
                        double y3, double precision) {
  p[0][0] = x0;
  p[0][1] = y0;
  p[1][0] = x1;
  p[1][1] = y1;
  p[2][0] = x2;
  p[2][1] = y2;
  p[3][0] = x3;
  p[3][1] = y3;
  for (int k = 0; k < 2; ++k) {
    d[k] = p[0][k];
    c[k] = 3.0 * (p[1][k] - p[0][k]);
    b[k] = 3.0 * (p[2][k] - p[1][k]) - c[k];
    a[k] = p[3][k] - p[0][k] - c[k] - b[k];
  }
  this->precision = precision;
  startExtrapolator.initialize(x0, y0, x1, y1);
  endExtrapolator.initialize(x3, y3, x2, y2);
}

double Spline::transform(double v, int in, int out) const {
  const double lo = std::min(p[0][in], p[3][in]);
  const double hi = std::max(p[0][in], p[3][in]);
  const bool forward = p[3][in] >= p[0][in];
  const Extrapolator& below = forward ? startExtrapolator : endExtrapolator;
  const Extrapolator& above = forward ? endExtrapolator : startExtrapolator;
  if (v < lo) return below.transform(v, in);
  if (v > hi) return above.transform(v, in);

  const double inStart = getCoordinate(0.0, in);
  const double inEnd = getCoordinate(1.0, in);
  const int s = inStart < inEnd ? 1 : -1;
  if (compareDouble(v, inStart, DBL_EPSILON) * s <= 0) return getCoordinate(0.0, out);
  if (compareDouble(v, inEnd, DBL_EPSILON) * s >= 0) return getCoordinate(1.0, out);

  // Bisection on t until the output values at the two ends of the bracket
  // lie within the precision of each other.
  double tLo = 0.0;
  double tHi = 1.0;
  double t = 0.5;
  for (;;) {
    if (compareDouble(getCoordinate(tLo, out), getCoordinate(tHi, out), precision) == 0)
      return getCoordinate(t, out);
    const int r = compareDouble(v, getCoordinate(t, in), 0.0) * s;
    if (r == 0) return getCoordinate(t, out);
    if (r > 0)
      tLo = t;
    else
      tHi = t;
    const double next = (tLo + tHi) / 2.0;
    // A bracket that can no longer be split ends the search: with a precision
    // of zero or below (or finer than the curve's rounding) the stop test
    // above would never be met.
    if (next == tLo || next == tHi) return getCoordinate(next, out);
    t = next;
  }
}
