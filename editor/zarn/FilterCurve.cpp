#include "editor/zarn/FilterCurve.h"

#include <cmath>
#include <limits>

using gui::Cubic;
using gui::Point;

namespace {

bool isFinite(const Cubic& c) {
  return std::isfinite(c.c0) && std::isfinite(c.c1) && std::isfinite(c.c2) && std::isfinite(c.c3);
}

gui::Color halfAlpha(gui::Color c) {
  c.a = static_cast<unsigned char>(c.a >> 1);
  return c;
}

} // namespace

FilterCurve::FilterCurve(int width, int height, float baseLevel, float passWidth, float kneeWidth)
    : height(height), base(static_cast<int>(height * baseLevel)), passX(static_cast<int>(passWidth * width)),
      kneeExtent(static_cast<int>(width * kneeWidth)), kneeWidth(kneeWidth), width(width) {
  rebuild();
}

void FilterCurve::propertyChange(const AbstractProperty* property) {
  if (property == &response || property == &slope)
    rebuild();
  else if (property == &peak)
    updatePeak();
  else if (property == &cutoff)
    updateRects();
}

int FilterCurve::peakY() const { return static_cast<int>(double(base) * (1.0 - double(peak.get()))); }

void FilterCurve::rebuild() {
  static const double cKneeFactors[4] = {1.0, 0.5, 0.33, 0.2};
  const int s = slope.get();
  if (s >= 0 && s <= 3) {
    const float k = static_cast<float>(kneeWidth * cKneeFactors[s]);
    kneeExtent = static_cast<int>(double(width) * k);
    kneeTangent = 2.0f * k;
    peakTangent = 2.0f / k;
  } else {
    kneeExtent = 0;
    kneeTangent = 0.0f;
    peakTangent = std::numeric_limits<float>::infinity();
  }

  const int top = static_cast<int>(height * 1.1);
  const int py = peakY();
  const float pk = peak.get();
  Point* P = anchors;
  switch (response.get()) {
  case 0:
    P[0] = Point(-5 * height, base);
    P[1] = Point(-passX, base);
    P[2] = Point(0, py);
    P[3] = Point(kneeExtent, top);
    segments[0] = Cubic(P[0], 0.0f, P[1], 0.0f);
    segments[1] = Cubic(P[1], 0.0f, P[2], 2.5f * pk);
    segments[2] = Cubic(P[2], -peakTangent * pk, P[3], kneeTangent);
    break;
  case 1:
    P[0] = Point(-kneeExtent, top);
    P[1] = Point(0, py);
    P[2] = Point(passX, base);
    P[3] = Point(5 * height, base);
    segments[0] = Cubic(P[0], -kneeTangent, P[1], peakTangent * pk);
    segments[1] = Cubic(P[1], -2.5f * pk, P[2], 0.0f);
    segments[2] = Cubic(P[2], 0.0f, P[3], 0.0f);
    break;
  case 2:
    P[0] = Point(-kneeExtent, top);
    P[1] = Point(0, py);
    P[2] = Point(kneeExtent, top);
    segments[0] = Cubic(P[0], -kneeTangent, P[1], 2.5f * pk);
    segments[1] = Cubic(P[1], -2.5f * pk, P[2], kneeTangent);
    break;
  default:
    break;
  }
  updateRects();
}

void FilterCurve::updatePeak() {
  const int py = peakY();
  const float pk = peak.get();
  Point* P = anchors;
  switch (response.get()) {
  case 0:
    P[2].y = py;
    segments[1] = Cubic(P[1], 0.0f, P[2], 2.5f * pk);
    segments[2] = Cubic(P[2], -peakTangent * pk, P[3], kneeTangent);
    break;
  case 1:
    P[1].y = py;
    segments[0] = Cubic(P[0], -kneeTangent, P[1], peakTangent * pk);
    segments[1] = Cubic(P[1], -2.5f * pk, P[2], 0.0f);
    break;
  case 2:
    P[1] = Point(0, py);
    segments[0] = Cubic(P[0], -kneeTangent, P[1], 2.5f * pk);
    segments[1] = Cubic(P[1], -2.5f * pk, P[2], kneeTangent);
    break;
  default:
    break;
  }
}

void FilterCurve::updateRects() {
  const int cx = static_cast<int>(width * cutoff.get());
  for (int i = 0; i < 3; ++i) rects[i] = gui::Rect(cx + anchors[i].x, 0, cx + anchors[i + 1].x, height);
}

Point FilterCurve::getPeakPosition() const {
  const Point& P = response.get() == 0 ? anchors[2] : anchors[1];
  return Point(static_cast<int>(width * cutoff.get()) + P.x, P.y);
}

void FilterCurve::draw(const gui::Canvas& canvas, float lineWidth, bool enabled, gui::Color line, gui::Color fill,
                       gui::Color third) const {
  if (!enabled) {
    line = halfAlpha(line);
    fill = halfAlpha(fill);
    third = halfAlpha(third);
  }
  const int count = response.get() == 2 ? 2 : 3;
  for (int i = 0; i < count; ++i) {
    if (!isFinite(segments[i])) continue;
    canvas.drawSpline(segments[i], rects[i], Point(anchors[i].x, 0), line, third, fill, lineWidth, gui::cHorizontal);
  }
}
