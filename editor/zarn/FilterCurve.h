#pragma once

// The drawn shape of one filter in the filter display: an idealised
// response of three cubic segments through four anchors, made from the
// filter's cutoff, peak, response and slope. It does not compute the
// filter's real response; it only has to look like one and follow the
// handles.
//
// Coordinates are display pixels, y growing downwards. The segments are
// built relative to the cutoff (the anchors' x are distances from it) and
// only the drawing rectangles are shifted by the cutoff, so a cutoff change
// moves the drawing without touching the shape, and a peak change only
// refits the segments that meet the peak. The far anchors of the flat pass
// band lie five display heights beyond the cutoff, so the band runs past
// both edges.
//
//   low pass    P0 ---- P1 _/P2\_ P3 (below the bottom edge)
//   high pass   the mirror image: P0 below the edge, peak P1, band P2-P3
//   band pass   P0 below, peak P1, P2 below; two segments
//
// The slope narrows the knee (the falling side) and steepens the tangent at
// the peak. A slope outside 0 to 3 collapses the knee onto the peak with an
// infinite tangent there; a segment that comes out with coefficients that
// are not finite is left out of the drawing instead of drawing garbage.

#include "base/Property.h"
#include "gui/Canvas.h"
#include "gui/Color.h"
#include "gui/Cubic.h"
#include "gui/Geometry.h"

class FilterCurve : public PropertyOwner {
public:
  // Fraction of the width, 0 to 1.
  Property<float> cutoff{this, 0.0f};
  // Fraction of the pass band's height above the bottom, 0 to 1.
  Property<float> peak{this, 1.0f};
  // 0 low pass, 1 high pass, 2 band pass; any other value keeps the shape.
  Property<int> response{this, 0};
  // 0 to 3, the knee narrowing with each step.
  Property<int> slope{this, 0};

  // baseLevel: height of the pass band as a fraction of the height from the
  // top; passWidth: distance of the inner pass-band anchor from the cutoff;
  // kneeWidth: the knee's width at slope 0; both fractions of the width.
  FilterCurve(int width, int height, float baseLevel, float passWidth, float kneeWidth);
  virtual ~FilterCurve() = default;
  FilterCurve(const FilterCurve&) = delete;
  FilterCurve& operator=(const FilterCurve&) = delete;

  void propertyChange(const AbstractProperty* property) override;

  // The peak anchor in display coordinates.
  gui::Point getPeakPosition() const;
  // The outline in `line`, `fill` below it and `third` above it; when not
  // enabled every colour's alpha is halved. Band pass draws two segments.
  void draw(const gui::Canvas& canvas, float lineWidth, bool enabled, gui::Color line, gui::Color fill,
            gui::Color third) const;

  int getBase() const { return base; }
  int getPassX() const { return passX; }
  int getKneeExtent() const { return kneeExtent; }
  float getKneeTangent() const { return kneeTangent; }
  float getPeakTangent() const { return peakTangent; }
  // Anchor 0 to 3, relative to the cutoff.
  const gui::Point& getAnchor(int i) const { return anchors[i]; }
  const gui::Cubic& getSegment(int i) const { return segments[i]; }
  // Where segment i is drawn, in display coordinates.
  const gui::Rect& getRect(int i) const { return rects[i]; }

private:
  void rebuild();
  void updatePeak();
  void updateRects();
  int peakY() const;

  float peakTangent = 0.0f;
  float kneeTangent = 0.0f;
  gui::Cubic segments[3];
  int height;
  gui::Point anchors[4];
  int base;
  int passX;
  gui::Rect rects[3];
  int kneeExtent;
  float kneeWidth;
  int width;
};
