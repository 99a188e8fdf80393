// Antialiased lines and cubic curves of Bitmap.

#include "gui/Bitmap.h"

#include "base/PlatformUtils.h"
#include "gui/PixelBlend.h"
#include "gui/StrokeBand.h"

#include <cmath>
#include <cstdlib>

namespace gui {

void Bitmap::drawLine(const Rect& limit, const Point& from, const Point& to, Color colour, float lineWidth) {
  if (from == to || !pixels || !(lineWidth > 0.0f) || !std::isfinite(lineWidth)) return;
  Rect area(bounds);
  area.intersect(limit);
  if (area.isEmpty()) return;

  const int64_t dx = int64_t(to.x) - from.x, dy = int64_t(to.y) - from.y;
  // Walked along the major axis; ties count as not steep. A pixel
  // (major, minor) lies at pixels + major * majorStep + minor * minorStep.
  const bool steep = std::llabs(dx) < std::llabs(dy);
  Point start = steep ? Point(from.y, from.x) : from;
  Point end = steep ? Point(to.y, to.x) : to;
  if (end.x < start.x) std::swap(start, end);
  const int majorStart = steep ? area.top : area.left, majorEnd = steep ? area.bottom : area.right;
  const int minorStart = steep ? area.left : area.top, minorEnd = steep ? area.right : area.bottom;
  const std::ptrdiff_t majorStep = steep ? width : 1, minorStep = steep ? 1 : width;

  const double slope = double(int64_t(end.y) - start.y) / double(int64_t(end.x) - start.x);
  const double halfThickness = 0.5 * lineWidth;
  const Pixel p = colorToPixel(colour);
  const float full = static_cast<float>(pixel::alpha(p));
  const bool skipTranslucent = transparent;

  const int token = initFloor();
  const int x0 = std::max(start.x, majorStart), x1 = std::min(end.x, majorEnd);
  StrokeBand band;
  for (int x = x0; x < x1; ++x) {
    const double centre = start.y + (double(x) - start.x) * slope + 0.5;
    if (!band.set(centre, slope, halfThickness, minorStart, minorEnd)) continue;
    Pixel* column = pixels + x * majorStep;
    const int last = std::min(band.iHi, minorEnd - 1);
    for (int y = std::max(band.iLo, minorStart); y <= last; ++y) {
      const double l = band.lower(y);
      const double coverage = l - l * band.upper(y);
      const int a = pixel::clampByte(static_cast<int>(std::floor(full * static_cast<float>(coverage))));
      pixel::put(column + y * minorStep, p, a, skipTranslucent);
    }
  }
  doneFloor(token);
}

void Bitmap::drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                        Color fill1, Color fill2, float lineWidth, Orientation orientation) {
  if (!pixels) return;
  Rect area(bounds);
  area.intersect(destination);
  if (area.isEmpty()) return;
  const bool vertical = orientation == cVertical;
  const int majorStart = vertical ? area.top : area.left, majorEnd = vertical ? area.bottom : area.right;
  const int minorStart = vertical ? area.left : area.top, minorEnd = vertical ? area.right : area.bottom;
  const std::ptrdiff_t majorStep = vertical ? width : 1, minorStep = vertical ? 1 : width;
  // From curve to bitmap coordinates.
  const double dMajor = vertical ? double(destination.top) - sourcePosition.y
                                 : double(destination.left) - sourcePosition.x;
  const double dMinor = vertical ? double(destination.left) - sourcePosition.x
                                 : double(destination.top) - sourcePosition.y;

  const Pixel pLine = colorToPixel(line), p1 = colorToPixel(fill1), p2 = colorToPixel(fill2);
  const int alpha1 = pixel::alpha(p1), alphaL = pixel::alpha(pLine), alpha2 = pixel::alpha(p2);
  const double halfThickness = std::isfinite(lineWidth) && lineWidth > 0.0f ? 0.5 * lineWidth : 0.0;
  const bool skipTranslucent = transparent;

  const int token = initFloor();
  StrokeBand band;
  for (int x = majorStart; x < majorEnd; ++x) {
    const double t = double(x) - dMajor;
    const double value = curve(t) + (dMinor + 0.5);
    const double slope = -curve.derivative(t);
    if (!std::isfinite(slope) || !band.set(value, slope, halfThickness, minorStart, minorEnd)) continue;
    Pixel* column = pixels + x * majorStep;

    if (alpha1 > 0) {
      const int stop = std::min(band.iLo, minorEnd);
      for (int y = minorStart; y < stop; ++y) pixel::put(column + y * minorStep, p1, alpha1, skipTranslucent);
    }

    const int last = std::min(band.iHi, minorEnd - 1);
    for (int y = std::max(band.iLo, minorStart); y <= last; ++y) {
      const double l = band.lower(y), u = band.upper(y);
      const double wL = l - l * u;
      const double w1 = StrokeBand::unit(1.0 - u - wL), w2 = u;
      const int a1 = pixel::clampByte(static_cast<int>(std::floor(static_cast<float>(w1) * alpha1)));
      const int aL = pixel::clampByte(static_cast<int>(std::floor(static_cast<float>(wL) * alphaL)));
      const int a2 = pixel::clampByte(static_cast<int>(std::floor(static_cast<float>(w2) * alpha2)));
      const int total = pixel::clampByte(a1 + aL + a2);
      if (total == 0) continue;
      const unsigned char *m1 = multiplyTable[a1], *mL = multiplyTable[aL], *m2 = multiplyTable[a2];
      Pixel mixed = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const int sum = m1[(p1 >> shift) & 255] + mL[(pLine >> shift) & 255] + m2[(p2 >> shift) & 255];
        mixed |= static_cast<Pixel>(dvd(pixel::clampByte(sum), total)) << shift;
      }
      pixel::put(column + y * minorStep, mixed, total, skipTranslucent);
    }

    if (alpha2 > 0) {
      for (int y = std::max(minorStart, band.iHi + 1); y < minorEnd; ++y)
        pixel::put(column + y * minorStep, p2, alpha2, skipTranslucent);
    }
  }
  doneFloor(token);
}

} // namespace gui
