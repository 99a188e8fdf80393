#include "gui/Color.h"
#include "gui/Cubic.h"
#include "gui/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using gui::Color;
using gui::Cubic;
using gui::Point;
using gui::Rect;

TEST(GeometryTest, RectanglesKeepTheirCornersWhenTheyEmpty) {
  EXPECT_FALSE(Rect(0, 0, 10, 10).contains(Point(10, 5)));
  EXPECT_TRUE(Rect(0, 0, 10, 10).contains(Point(0, 9)));

  Rect r(5, 5, 20, 20);
  r.intersect(Rect());
  EXPECT_EQ(Rect(5, 5, 5, 5), r);
  Rect disjoint(0, 0, 10, 10);
  disjoint.intersect(Rect(20, 20, 30, 30));
  EXPECT_EQ(Rect(20, 20, 10, 10), disjoint);
  EXPECT_TRUE(disjoint.isEmpty());
  EXPECT_FALSE(Rect(0, 0, 10, 10).intersects(Rect(10, 0, 20, 10)));
  EXPECT_NE(Rect(1, 1, 1, 1), Rect(2, 2, 2, 2));

  Rect u;
  u.setUnion(Rect(1, 2, 3, 4));
  EXPECT_EQ(Rect(1, 2, 3, 4), u);
  u.setUnion(Rect(50, 50, 50, 60));
  EXPECT_EQ(Rect(1, 2, 3, 4), u);
  u.setUnion(Rect(-1, 3, 2, 8));
  EXPECT_EQ(Rect(-1, 2, 3, 8), u);

  EXPECT_EQ("-1, 2, 3, 4", Rect(-1, 2, 3, 4).toString());
}

TEST(GeometryTest, BlendMixesEveryChannelWithFlooredTerms) {
  EXPECT_EQ(Color(128, 128, 128, 255), Color(128));
  EXPECT_EQ(Color(0, 0, 0, 0), Color());
  const Color a(10, 200, 255, 0), b(250, 3, 0, 255);
  EXPECT_EQ(a, a.blend(b, 0));
  EXPECT_EQ(b, a.blend(b, 255));
  // 255 * 127 / 255 + 0 and 10 * 127 / 255 + 250 * 128 / 255, each floored.
  EXPECT_EQ(Color(4 + 125, 99 + 1, 127, 128), a.blend(b, 128));
  EXPECT_EQ(Color(10, 200, 255, 64), Color(10, 200, 255, 128).dilute(128));
  EXPECT_EQ(b, a.blend(b, 1000));
}

namespace {

void expectFit(const Cubic& c, double x1, double y1, double s1, double x2, double y2, double s2) {
  const double scale = 1e-6 * (1.0 + std::fabs(y1) + std::fabs(y2) + std::fabs(s1) + std::fabs(s2));
  EXPECT_NEAR(y1, c(x1), scale * (1.0 + std::fabs(x1)));
  EXPECT_NEAR(y2, c(x2), scale * (1.0 + std::fabs(x2)));
  EXPECT_NEAR(s1, c.derivative(x1), scale);
  EXPECT_NEAR(s2, c.derivative(x2), scale);
}

} // namespace

TEST(GeometryTest, HermiteFitMeetsPointsAndSlopesEvenWhereTheDirectFormulaDividesByZero) {
  std::mt19937 random(21);
  std::uniform_int_distribution<int> coordinate(-200, 200);
  std::uniform_real_distribution<float> slope(-3.0f, 3.0f);
  for (int i = 0; i < 200; ++i) {
    const float x1 = static_cast<float>(coordinate(random));
    float x2 = static_cast<float>(coordinate(random));
    if (x2 == x1) x2 += 1.0f;
    // Every fourth fit has x2 = -2 x1, where the direct solution's A is 0.
    if (i % 4 == 0 && x1 != 0.0f) x2 = -2.0f * x1;
    const float y1 = coordinate(random), y2 = coordinate(random), s1 = slope(random), s2 = slope(random);
    Cubic c;
    c.calculateCoefficients(x1, y1, s1, x2, y2, s2);
    SCOPED_TRACE(testing::Message() << x1 << " " << x2);
    expectFit(c, x1, y1, s1, x2, y2, s2);
  }
  // Screen slopes: positive rises, that is y falls.
  const Cubic screen(Point(0, 0), 1.0f, Point(10, 0), 1.0f);
  EXPECT_NEAR(-1.0, screen.derivative(0.0), 1e-12);
  EXPECT_NEAR(-1.0, screen.derivative(10.0), 1e-12);
  // No fit through one x: the constant first value, never NaN.
  Cubic same;
  same.calculateCoefficients(3.0f, 7.0f, 1.0f, 3.0f, 9.0f, -1.0f);
  EXPECT_EQ(7.0, same(3.0));
  EXPECT_EQ(7.0, same(100.0));
}

TEST(GeometryTest, FourPointPieceNeverOvershootsItsPoints) {
  const Cubic line(Point(0, 0), Point(10, 10), Point(20, 20), Point(30, 30));
  EXPECT_NEAR(15.0, line(15.0), 1e-9);
  EXPECT_NEAR(1.5, line.derivative(10.0), 1e-9);
  EXPECT_NEAR(1.5, line.derivative(20.0), 1e-9);
  const Cubic peak(Point(0, 0), Point(10, 30), Point(20, 5), Point(30, 0));
  EXPECT_NEAR(0.0, peak.derivative(10.0), 1e-9);
  // Three equal points in a row stay level: no 0/0 in the tangents.
  const Cubic level(Point(0, 8), Point(10, 8), Point(20, 8), Point(30, 3));
  EXPECT_NEAR(8.0, level(15.0), 1e-9);
  EXPECT_NEAR(0.0, level.derivative(15.0), 1e-9);

  std::mt19937 random(7);
  std::uniform_int_distribution<int> step(1, 40), value(-50, 50);
  for (int i = 0; i < 300; ++i) {
    Point p[4];
    int x = value(random);
    for (auto& q : p) {
      q = Point(x, value(random));
      x += step(random);
    }
    const Cubic c(p[0], p[1], p[2], p[3]);
    const double low = std::min(p[1].y, p[2].y), high = std::max(p[1].y, p[2].y);
    EXPECT_NEAR(p[1].y, c(p[1].x), 1e-6);
    EXPECT_NEAR(p[2].y, c(p[2].x), 1e-6);
    for (double t = p[1].x; t <= p[2].x; t += 0.25) ASSERT_TRUE(c(t) >= low - 1e-6 && c(t) <= high + 1e-6) << t;
  }
}
