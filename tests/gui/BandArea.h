#pragma once

// Independent reference for antialiased strokes: the exact area of a pixel
// inside a straight band, in double precision.

#include <algorithm>
#include <cmath>
#include <vector>

namespace zarn::test {

// The band's centre line passes through (u0, m0) with slope s (u the major
// axis, m the minor one); its thickness across the line is `width`. Returns
// the area of pixel (x, y) inside the band within the column [x, x + 1).
// The integrand is piecewise linear in u, so splitting it at its kinks and
// using the trapezoid rule is exact.
inline double bandArea(double u0, double m0, double s, double width, int x, int y) {
  const double h = 0.5 * width * std::sqrt(1.0 + s * s);
  auto inside = [&](double u) {
    const double m = m0 + s * (u - u0);
    return std::max(0.0, std::min(y + 1.0, m + h) - std::max(double(y), m - h));
  };
  std::vector<double> cuts{double(x), x + 1.0};
  if (s != 0.0)
    for (double edge : {y - h, y + h, y + 1 - h, y + 1 + h}) {
      const double u = u0 + (edge - m0) / s;
      if (u > x && u < x + 1) cuts.push_back(u);
    }
  std::sort(cuts.begin(), cuts.end());
  double area = 0.0;
  for (std::size_t i = 1; i < cuts.size(); ++i)
    area += 0.5 * (inside(cuts[i - 1]) + inside(cuts[i])) * (cuts[i] - cuts[i - 1]);
  return area;
}

// Whether both long edges of that band cross pixel (x, y) inside its
// column; there the rasteriser's coverage is the product of the two edge
// fractions rather than the area.
inline bool bothEdgesCross(double u0, double m0, double s, double width, int x, int y) {
  const double k = std::fabs(s);
  const double c = m0 + s * (x + 0.5 - u0), e = 0.5 * k + 0.5 * width * std::sqrt(1.0 + k * k);
  auto crosses = [&](double from, double to) { return from < y + 1 && to > y; };
  return crosses(c - e, c - e + k) && crosses(c + e - k, c + e);
}

} // namespace zarn::test
