#include "gui/Bitmap.h"

#include "gui/BlendTables.h"
#include "tests/gui/BandArea.h"
#include "tests/gui/Pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using gui::Color;
using gui::Cubic;
using gui::multiplyTable;
using gui::Point;
using gui::Rect;
using zarn::test::makeBitmap;
using zarn::test::pixelsOf;

namespace {

const Color kGround(60, 70, 80, 255);
const Color kLine(250, 250, 0, 255), kAbove(0, 0, 200, 255), kBelow(200, 0, 0, 255);

} // namespace

TEST(CubicCurveTest, ConstantCurveRows) {
  const Cubic flat(0.0f, 0.0f, 0.0f, 10.0f);
  auto stroke = makeBitmap(20, 40, kGround);
  stroke->drawSpline(flat, Rect(20, 40), Point(0, 0), kLine, Color(), Color(), 1.0f, gui::cHorizontal);
  auto filled = makeBitmap(20, 40, kGround);
  filled->drawSpline(flat, Rect(20, 40), Point(0, 0), kLine, kAbove, kBelow, 1.0f, gui::cHorizontal);
  auto thick = makeBitmap(20, 40, kGround);
  thick->drawSpline(flat, Rect(20, 40), Point(0, 0), kLine, kAbove, kBelow, 2.0f, gui::cHorizontal);
  // Half line colour and half fill, each weight floored from 127.5.
  auto mix = [](Color fill) {
    auto byte = [](int f, int l) { return gui::dvd(multiplyTable[127][f] + multiplyTable[127][l], 254); };
    return Color(byte(fill.r, kLine.r), byte(fill.g, kLine.g), byte(fill.b, kLine.b), 255);
  };
  for (int x = 0; x < 20; ++x)
    for (int y = 0; y < 40; ++y) {
      const Point p(x, y);
      EXPECT_EQ(y == 10 ? kLine : kGround, stroke->getPixel(p)) << x << "," << y;
      EXPECT_EQ(y < 10 ? kAbove : (y == 10 ? kLine : kBelow), filled->getPixel(p)) << x << "," << y;
      const Color t = thick->getPixel(p);
      if (y == 9 || y == 11) {
        // Alpha 254 over the ground: M[254][mix] + M[1][ground].
        const Color m = mix(y == 9 ? kAbove : kBelow);
        EXPECT_EQ(Color(multiplyTable[254][m.r] + multiplyTable[1][kGround.r],
                        multiplyTable[254][m.g] + multiplyTable[1][kGround.g],
                        multiplyTable[254][m.b] + multiplyTable[1][kGround.b], 255),
                  t);
      } else {
        EXPECT_EQ(y < 9 ? kAbove : (y == 10 ? kLine : kBelow), t) << x << "," << y;
      }
    }

  // Translucent fills: rows 9 and 11 are half line, half fill at half
  // strength, over the ground; each fill shows only on its own side.
  const Color above(0, 0, 200, 128), below(200, 0, 0, 128);
  auto glazed = makeBitmap(20, 40, kGround);
  glazed->drawSpline(flat, Rect(20, 40), Point(0, 0), kLine, above, below, 2.0f, gui::cHorizontal);
  auto coverage = [](Color fill, int ground, int f, int l) {
    const double a = 0.5 * fill.a / 255.0;
    return ground * (1.0 - 0.5 - a) + f * a + l * 0.5;
  };
  for (int x = 0; x < 20; x += 7) {
    const Color upper = glazed->getPixel(Point(x, 9)), lower = glazed->getPixel(Point(x, 11));
    EXPECT_NEAR(coverage(above, kGround.r, above.r, kLine.r), upper.r, 3.0);
    EXPECT_NEAR(coverage(above, kGround.b, above.b, kLine.b), upper.b, 3.0);
    EXPECT_NEAR(coverage(below, kGround.r, below.r, kLine.r), lower.r, 3.0);
    EXPECT_NEAR(coverage(below, kGround.b, below.b, kLine.b), lower.b, 3.0);
    EXPECT_NEAR(0.5 * kGround.b + 0.5 * above.b, glazed->getPixel(Point(x, 8)).b, 1.0);
    EXPECT_NEAR(0.5 * kGround.r + 0.5 * below.r, glazed->getPixel(Point(x, 12)).r, 1.0);
    EXPECT_EQ(kLine, glazed->getPixel(Point(x, 10)));
  }
}

// A straight cubic in a column has the line rasteriser's geometry; where it
// is not steep the two agree, and everywhere each pixel gets the area of the
// band (or the edge product where both edges cross it).
TEST(CubicCurveTest, StraightCubicMatchesTheLineAndTheExactArea) {
  std::mt19937 random(106);
  std::uniform_int_distribution<int> coordinate(2, 37);
  std::uniform_real_distribution<float> widths(0.5f, 6.0f), slopes(-4.0f, 4.0f);
  int compared = 0;
  for (int i = 0; i < 120; ++i) {
    const float width = widths(random);
    const Point a(coordinate(random), coordinate(random));
    const int b = std::min(39, a.x + 1 + coordinate(random) / 2);
    const Rect area(a.x, 0, b, 40);
    if (i % 2 == 0) {
      // Against the line, |slope| <= 1.
      const Point end(b, std::clamp(a.y + (coordinate(random) - 20) * (b - a.x) / 20, 0, 39));
      auto curve = makeBitmap(40, 40, Color(0));
      const Cubic straight(0.0f, 0.0f, float(double(end.y - a.y) / (end.x - a.x)), float(a.y));
      curve->drawSpline(straight, area, Point(0, 0), Color(255), Color(), Color(), width, gui::cHorizontal);
      auto line = makeBitmap(40, 40, Color(0));
      line->drawLine(line->getBounds(), a, end, Color(255), width);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_NEAR(line->getPixel(Point(x, y)).r, curve->getPixel(Point(x, y)).r, 1) << i;
      ++compared;
      continue;
    }
    const float slope = slopes(random);
    auto curve = makeBitmap(40, 40, Color(0));
    curve->drawSpline(Cubic(0.0f, 0.0f, slope, float(a.y)), area, Point(0, 0), Color(255), Color(), Color(), width,
                      gui::cHorizontal);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const int got = curve->getPixel(Point(x, y)).r;
        if (x < a.x || x >= b) {
          ASSERT_EQ(0, got);
          continue;
        }
        // The curve's value at t = x - a.x is the band's centre at the
        // column's middle.
        const double want = 255.0 * std::min(1.0, zarn::test::bandArea(a.x + 0.5, a.y + 0.5, slope, width, x, y));
        SCOPED_TRACE(testing::Message() << "slope " << slope << " width " << width << " at " << x << "," << y);
        if (zarn::test::bothEdgesCross(a.x + 0.5, a.y + 0.5, slope, width, x, y))
          ASSERT_NEAR(want, got, 0.25 * 255);
        else
          ASSERT_NEAR(want - 0.5, got, 0.5 + 1e-3);
      }
  }
  EXPECT_GT(compared, 50);
}

TEST(CubicCurveTest, VerticalIsTheTransposeOfHorizontal) {
  std::mt19937 random(61);
  std::uniform_int_distribution<int> coordinate(-10, 50), byte(0, 255);
  for (int i = 0; i < 60; ++i) {
    const Cubic curve(Point(coordinate(random), coordinate(random)), 0.05f * (byte(random) - 128),
                      Point(coordinate(random) + 60, coordinate(random)), 0.05f * (byte(random) - 128));
    const Rect d(Point(coordinate(random) / 2, coordinate(random) / 2), 30 + coordinate(random), 30 + coordinate(random));
    const Point s(coordinate(random), coordinate(random));
    const Color line(byte(random), byte(random), 9, byte(random)), f1(1, 2, byte(random), byte(random)),
        f2(byte(random), 3, 4, i % 2 ? 255 : 0);
    const float width = byte(random) / 30.0f;
    auto across = makeBitmap(45, 35, kGround);
    across->drawSpline(curve, d, s, line, f1, f2, width, gui::cHorizontal);
    auto down = makeBitmap(35, 45, kGround);
    down->drawSpline(curve, Rect(d.top, d.left, d.bottom, d.right), Point(s.y, s.x), line, f1, f2, width,
                     gui::cVertical);
    for (int y = 0; y < 35; ++y)
      for (int x = 0; x < 45; ++x) ASSERT_EQ(across->getPixel(Point(x, y)), down->getPixel(Point(y, x))) << i;
  }
}

TEST(CubicCurveTest, FarAndBrokenCurvesStayInsideTheirDestination) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const Rect d(5, 6, 25, 20);
  // A curve far above the destination leaves it all to the lower fill.
  auto below = makeBitmap(30, 30, kGround);
  below->drawSpline(Cubic(0.0f, 0.0f, 0.0f, -1000.0f), d, Point(0, 0), kLine, kAbove, kBelow, 1.0f, gui::cHorizontal);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) EXPECT_EQ(d.contains(Point(x, y)) ? kBelow : kGround, below->getPixel(Point(x, y)));

  Cubic wild[6];
  wild[0].c3 = 1e12;
  wild[1].c0 = nan;
  wild[2].c2 = inf;
  wild[3].c1 = -1e300;
  wild[4].initialize(Point(0, 0), 0.0f, Point(1, 0), 50.0f);
  wild[5].c3 = 1e300;
  for (const Cubic& curve : wild)
    for (const float width : {1.0f, 1e30f, std::numeric_limits<float>::infinity(), -1.0f}) {
      auto target = makeBitmap(30, 30, kGround);
      target->drawSpline(curve, d, Point(-1000, 3), kLine, kAbove, kBelow, width, gui::cHorizontal);
      target->drawSpline(curve, d, Point(2000000000, 3), kLine, kAbove, kBelow, width, gui::cVertical);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
          if (!d.contains(Point(x, y))) {
            ASSERT_EQ(kGround, target->getPixel(Point(x, y)));
          }
        }
    }
}
