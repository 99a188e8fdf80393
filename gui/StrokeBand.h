#pragma once

// The cross-section of an antialiased stroke in one column, shared by lines
// and curves. Along the column's minor axis the band's lower edge crosses
// the column between lo and lo2 = lo + k and its upper edge between
// hi2 = hi - k and hi, k being the absolute slope; each edge is taken as
// straight inside the column, so a partial pixel gets the exact area of the
// edge's triangle or trapezoid:
//
//   L(y)  the part of row y on the inner side of the lower edge
//   U(y)  the part of row y beyond the upper edge
//
// and the stroke covers L - L * U of the pixel (exact unless both edges
// cross the same pixel, where it is the product of the two fractions).
//
// Every row's terms are computed from the edges directly, never accumulated
// from the rows above, so a clipped drawing gives exactly the values of an
// unclipped one. Coefficients far out of range (a cubic far from its fit
// points, a huge width) only reach integer conversions after clamping to a
// few rows beyond the visible range, which keeps the classification of the
// visible rows unchanged.

#include <algorithm>
#include <cmath>

namespace gui {

struct StrokeBand {
  double lo, lo2, hi2, hi;
  double inv, halfInv, k;
  int iLo, iLo2, iHi2, iHi;

  // centre: the band's middle on the minor axis at the column's centre;
  // halfThickness: half the width measured across the stroke. False when
  // the column cannot be drawn (a value that is not finite).
  bool set(double centre, double slope, double halfThickness, int minorStart, int minorEnd) {
    k = std::fabs(slope);
    const double e = 0.5 * k + halfThickness * std::sqrt(k * k + 1.0);
    lo = centre - e;
    hi = centre + e;
    lo2 = lo + k;
    hi2 = hi - k;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(lo2) || !std::isfinite(hi2)) return false;
    inv = k > 0.0 ? 1.0 / k : 0.0;
    halfInv = 0.5 * inv;
    const double first = minorStart - 2.0, last = minorEnd + 2.0;
    iLo = row(lo, first, last);
    iLo2 = row(lo2, first, last);
    iHi2 = row(hi2, first, last);
    iHi = row(hi, first, last);
    return true;
  }

  static int row(double v, double first, double last) {
    return static_cast<int>(std::floor(std::clamp(v, first, last)));
  }
  static double unit(double v) { return std::clamp(v, 0.0, 1.0); }

  // Inner coverage of the lower edge, for rows y >= iLo.
  double lower(int y) const {
    if (y > iLo2) return 1.0;
    if (y == iLo) {
      if (iLo == iLo2) return unit((iLo + 1.0) - (lo + 0.5 * k));
      return unit((iLo + 1.0 - lo) * (iLo + 1.0 - lo) * halfInv);
    }
    if (y == iLo2) return unit(1.0 - (lo2 - iLo2) * (lo2 - iLo2) * halfInv);
    return unit((y - lo) * inv + halfInv);
  }

  // Outside fraction of the upper edge, for rows y <= iHi.
  double upper(int y) const {
    if (y < iHi2) return 0.0;
    if (y == iHi2) {
      if (iHi2 == iHi) return unit((iHi + 1.0) - (hi - 0.5 * k));
      return unit((iHi2 + 1.0 - hi2) * (iHi2 + 1.0 - hi2) * halfInv);
    }
    if (y == iHi) return unit(1.0 - (hi - iHi) * (hi - iHi) * halfInv);
    return unit((y - hi2) * inv + halfInv);
  }
};

} // namespace gui
