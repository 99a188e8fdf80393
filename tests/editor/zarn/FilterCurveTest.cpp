#include "editor/zarn/FilterCurve.h"

#include "tests/gui/Pixels.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The display's curve.
std::unique_ptr<FilterCurve> displayCurve(int response, int slope, float peak, float cutoff = 0.5f) {
  auto c = std::make_unique<FilterCurve>(213, 186, 0.6f, 0.2f, 1.0f);
  c->response = response;
  c->slope = slope;
  c->peak = peak;
  c->cutoff = cutoff;
  return c;
}

} // namespace

// The display's numbers: pass band, knee and tangents per slope, the peak
// anchor, and the collapse of an out-of-range slope.
TEST(FilterCurveTest, DisplayGeometry) {
  auto c = displayCurve(0, 1, 0.5f, 0.3f);
  EXPECT_EQ(c->getBase(), 111);
  EXPECT_EQ(c->getPassX(), 42);
  EXPECT_EQ(c->getAnchor(3), gui::Point(106, 204));
  EXPECT_EQ(c->getKneeTangent(), 1.0f);
  EXPECT_EQ(c->getPeakTangent(), 4.0f);
  EXPECT_EQ(c->getPeakPosition(), gui::Point(63, 55));

  const int knees[4] = {213, 106, 70, 42};
  for (int s = 0; s < 4; ++s) {
    c->slope = s;
    EXPECT_EQ(c->getKneeExtent(), knees[s]) << s;
    EXPECT_FLOAT_EQ(c->getPeakTangent() * c->getKneeTangent(), 4.0f) << s;
  }
  c->slope = 7;
  EXPECT_EQ(c->getKneeExtent(), 0);
  EXPECT_TRUE(std::isinf(c->getPeakTangent()));

  c->slope = 1;
  c->peak = 0.0f;
  EXPECT_EQ(c->getPeakPosition().y, 111);
  EXPECT_EQ(c->getSegment(2).derivative(0.0), 0.0); // flat at the peak
  c->peak = 1.0f;
  EXPECT_EQ(c->getPeakPosition().y, 0);
  c->response = 1;
  EXPECT_EQ(c->getPeakPosition(), gui::Point(63, 0)); // the high pass peaks at the cutoff

  // The high pass is the low pass mirrored about the cutoff.
  for (int s = 0; s < 4; ++s) {
    auto low = displayCurve(0, s, 0.4f), high = displayCurve(1, s, 0.4f);
    for (int i = 0; i < 4; ++i) {
      const gui::Point l = low->getAnchor(3 - i), h = high->getAnchor(i);
      EXPECT_EQ(h, gui::Point(-l.x, l.y)) << s << " anchor " << i;
    }
  }
}

// Every segment joins its two anchors, and the cheap updates (peak: only the
// segments at the peak; cutoff: only the rectangles) give exactly what a
// curve built from scratch with the same values gives.
TEST(FilterCurveTest, UpdatesMatchARebuildAndSegmentsJoinAnchors) {
  for (int response = 0; response < 3; ++response)
    for (int slope = 0; slope < 4; ++slope)
      for (float peak : {0.0f, 0.3f, 1.0f}) {
        auto edited = displayCurve(response, slope, 0.9f, 0.1f);
        edited->peak = peak;
        edited->cutoff = 0.8f;
        auto fresh = displayCurve(response, slope, peak, 0.8f);
        fresh->slope = slope + 1; // two full rebuilds with the peak in place
        fresh->slope = slope;
        const int segments = response == 2 ? 2 : 3;
        for (int i = 0; i < segments; ++i) {
          SCOPED_TRACE(testing::Message() << response << "/" << slope << "/" << peak << " segment " << i);
          EXPECT_EQ(edited->getAnchor(i), fresh->getAnchor(i));
          EXPECT_EQ(edited->getRect(i), fresh->getRect(i));
          const gui::Cubic& s = edited->getSegment(i);
          const gui::Cubic& f = fresh->getSegment(i);
          EXPECT_TRUE(s.c0 == f.c0 && s.c1 == f.c1 && s.c2 == f.c2 && s.c3 == f.c3);
          const gui::Point a = edited->getAnchor(i), b = edited->getAnchor(i + 1);
          EXPECT_NEAR(s(a.x), a.y, 1e-6 * std::abs(a.x) + 1e-6);
          EXPECT_NEAR(s(b.x), b.y, 1e-6 * std::abs(b.x) + 1e-6);
          EXPECT_EQ(edited->getRect(i).left, 170 + a.x);
        }
      }
}

// What is drawn (over opaque black, blue shows the fill): the fill under
// the pass band, nothing above it, nothing past a collapsed knee, the peak
// in the line colour, half alpha when disabled; band pass has no flat band.
TEST(FilterCurveTest, Drawing) {
  const gui::Color line(255, 255, 255, 255), fill(0, 0, 255, 200);
  auto drawn = [&](int response, int slope, bool enabled) {
    auto b = zarn::test::makeBitmap(213, 186, gui::Color(0));
    displayCurve(response, slope, 0.5f)->draw(*b->getCanvas(), 2.0f, enabled, line, fill, gui::Color());
    return b;
  };
  for (int slope : {1, 9}) {
    SCOPED_TRACE(slope);
    auto b = drawn(0, slope, true);
    EXPECT_EQ(b->getPixel({20, 150}), gui::Color(0, 0, 200, 255));
    EXPECT_EQ(b->getPixel({20, 100}), gui::Color(0));
    EXPECT_GT(b->getPixel({105, 56}).r, 200);
    // Right of the cutoff only the knee fills.
    EXPECT_EQ(b->getPixel({120, 180}).b, slope == 9 ? 0 : 200);
  }
  EXPECT_EQ(drawn(0, 1, false)->getPixel({20, 150}).b, 100);
  // The peak is drawn at the cutoff's column: there the line's middle (its
  // coverage-weighted row) is the peak anchor's height, plus half a pixel
  // for the pixel centres.
  for (float cutoff : {0.5f, 0.3f}) {
    auto c = displayCurve(0, 1, 0.5f, cutoff);
    auto b = zarn::test::makeBitmap(213, 186, gui::Color(0));
    c->draw(*b->getCanvas(), 2.0f, true, line, gui::Color(), gui::Color());
    const gui::Point peak = c->getPeakPosition();
    ASSERT_EQ(peak.x, static_cast<int>(213 * cutoff));
    double sum = 0.0, weighted = 0.0;
    for (int y = 0; y < 186; ++y) {
      const int r = b->getPixel({peak.x, y}).r;
      sum += r;
      weighted += r * (y + 0.5);
    }
    ASSERT_GT(sum, 0.0);
    EXPECT_NEAR(weighted / sum, peak.y + 0.5, 0.3) << cutoff;
  }
  auto band = drawn(2, 1, true);
  EXPECT_EQ(band->getPixel({5, 150}), gui::Color(0));
  EXPECT_EQ(band->getPixel({106, 150}).b, 200);
  // Switched to band pass from high pass, whose pass band ran off to the
  // right: only the two band-pass segments show, nothing right of the knee.
  auto switched = displayCurve(1, 3, 0.5f);
  switched->response = 2;
  auto b = zarn::test::makeBitmap(213, 186, gui::Color(0));
  switched->draw(*b->getCanvas(), 2.0f, true, line, fill, gui::Color());
  EXPECT_EQ(b->getPixel({106, 150}).b, 200);
  for (int x = 106 + 42 + 2; x < 213; x += 5) EXPECT_EQ(b->getPixel({x, 150}), gui::Color(0)) << x;
}
