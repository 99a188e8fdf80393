#include "gui/Bitmap.h"

#include "gui/BlendTables.h"
#include "tests/gui/BandArea.h"
#include "tests/gui/Pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>

using gui::Color;
using gui::multiplyTable;
using gui::Point;
using gui::Rect;
using zarn::test::makeBitmap;
using zarn::test::pixelsOf;

namespace {

const Color kWhite(255, 255, 255, 255);

// The area of pixel (x, y) inside the band of a line that is not steep: the
// band runs between the pixel centres of a and b and is cut square across x
// at both ends, the end column excluded.
double exactArea(Point a, Point b, double width, int x, int y) {
  if (b.x < a.x) std::swap(a, b);
  if (x < a.x || x >= b.x) return 0.0;
  return zarn::test::bandArea(a.x + 0.5, a.y + 0.5, double(b.y - a.y) / (b.x - a.x), width, x, y);
}

bool bothEdgesCross(Point a, Point b, double width, int x, int y) {
  return zarn::test::bothEdgesCross(a.x + 0.5, a.y + 0.5, double(b.y - a.y) / (b.x - a.x), width, x, y);
}

std::unique_ptr<gui::MacCompatibleBitmap> transposed(const gui::Bitmap& b) {
  auto t = makeBitmap(b.getHeight(), b.getWidth(), Color());
  for (int y = 0; y < b.getHeight(); ++y)
    for (int x = 0; x < b.getWidth(); ++x) t->getPixels()[x * b.getHeight() + y] = b.getPixels()[y * b.getWidth() + x];
  return t;
}

} // namespace

TEST(LineTest, RowsOfHorizontalLinesOfWidthOneAndTwo) {
  const Color ground(40, 60, 80, 200), ink(250, 10, 120, 255);
  auto thin = makeBitmap(16, 12, ground);
  thin->drawLine(thin->getBounds(), Point(0, 5), Point(10, 5), ink, 1.0f);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x)
      EXPECT_EQ(y == 5 && x < 10 ? Color(250, 10, 120, 255) : ground, thin->getPixel(Point(x, y))) << x << "," << y;

  auto thick = makeBitmap(16, 12, ground);
  thick->drawLine(thick->getBounds(), Point(10, 5), Point(0, 5), ink, 2.0f);
  const Color half(multiplyTable[127][250] + multiplyTable[128][40], multiplyTable[127][10] + multiplyTable[128][60],
                   multiplyTable[127][120] + multiplyTable[128][80], 200);
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(half, thick->getPixel(Point(x, 4)));
    EXPECT_EQ(Color(250, 10, 120, 255), thick->getPixel(Point(x, 5)));
    EXPECT_EQ(half, thick->getPixel(Point(x, 6)));
    EXPECT_EQ(ground, thick->getPixel(Point(x, 3)));
    EXPECT_EQ(ground, thick->getPixel(Point(x, 7)));
  }
  EXPECT_EQ(ground, thick->getPixel(Point(10, 5)));

  // A bitmap with alpha takes only the fully covered pixels.
  auto mask = makeBitmap(16, 12, ground);
  mask->transparent = true;
  mask->drawLine(mask->getBounds(), Point(0, 5), Point(10, 5), ink, 2.0f);
  EXPECT_EQ(ground, mask->getPixel(Point(3, 4)));
  EXPECT_EQ(Color(250, 10, 120, 255), mask->getPixel(Point(3, 5)));
  mask->drawLine(mask->getBounds(), Point(0, 8), Point(10, 8), Color(250, 10, 120, 254), 3.0f);
  EXPECT_EQ(ground, mask->getPixel(Point(3, 8)));
}

TEST(LineTest, CoverageIsTheAreaOfEachPixelInsideTheBand) {
  std::mt19937 random(105);
  std::uniform_int_distribution<int> coordinate(0, 39);
  std::uniform_real_distribution<float> widths(0.5f, 8.0f);
  int tight = 0, loose = 0;
  for (int i = 0; i < 150; ++i) {
    Point a(coordinate(random), coordinate(random)), b(coordinate(random), coordinate(random));
    if (std::abs(b.x - a.x) < std::abs(b.y - a.y)) std::swap(a.x, a.y), std::swap(b.x, b.y);
    if (a == b) continue;
    const float width = i % 10 == 0 ? 1.0f : widths(random);
    auto target = makeBitmap(40, 40, Color(0));
    target->drawLine(target->getBounds(), a, b, kWhite, width);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const double want = 255.0 * std::min(1.0, exactArea(a, b, width, x, y));
        const int got = target->getPixel(Point(x, y)).r;
        SCOPED_TRACE(testing::Message() << a.x << "," << a.y << " to " << b.x << "," << b.y << " width " << width
                                        << " at " << x << "," << y);
        // Where both edges cross one pixel the coverage is the product of
        // the two edge fractions, not the area.
        if (bothEdgesCross(a, b, width, x, y)) {
          ASSERT_NEAR(want, got, 0.2 * 255);
          ++loose;
        } else {
          ASSERT_NEAR(want - 0.5, got, 0.5 + 1e-3);
          tight += want > 0.0 && want < 255.0;
        }
      }
  }
  EXPECT_GT(tight, 5000);
  EXPECT_GT(loose, 50);
}

TEST(LineTest, ReversedLineIsTheSameImageAndTransposedLineTheTransposedImage) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> coordinate(-10, 50), byte(0, 255);
  for (int i = 0; i < 200; ++i) {
    const Point a(coordinate(random), coordinate(random)), b(coordinate(random), coordinate(random));
    const float width = 0.5f + byte(random) / 32.0f;
    const Color ink(byte(random), byte(random), byte(random), i % 3 ? 255 : byte(random));
    const Rect limit(coordinate(random) / 2, coordinate(random) / 2, 40 + coordinate(random) / 2, 35 + coordinate(random));
    auto forward = makeBitmap(40, 30, Color(30, 60, 90, 255));
    auto backward = makeBitmap(40, 30, Color(30, 60, 90, 255));
    forward->drawLine(limit, a, b, ink, width);
    backward->drawLine(limit, b, a, ink, width);
    ASSERT_EQ(pixelsOf(*forward), pixelsOf(*backward)) << i;
    // Ties count as not steep either way, so only they transpose apart.
    if (std::abs(b.x - a.x) == std::abs(b.y - a.y)) continue;
    auto flipped = makeBitmap(30, 40, Color(30, 60, 90, 255));
    flipped->drawLine(Rect(limit.top, limit.left, limit.bottom, limit.right), Point(a.y, a.x), Point(b.y, b.x), ink,
                      width);
    ASSERT_EQ(pixelsOf(*forward), pixelsOf(*transposed(*flipped))) << i;
  }
}

TEST(LineTest, HostileCoordinatesAndWidthsStayInsideTheLimit) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const Point far[] = {Point(INT_MIN, INT_MIN), Point(INT_MAX, INT_MIN), Point(INT_MAX, INT_MAX), Point(-5, INT_MAX),
                       Point(3, 4), Point(2000000000, 7)};
  const Rect limit(5, 6, 25, 20);
  for (const Point& a : far)
    for (const Point& b : far)
      for (const float width : {1.0f, 1e30f, inf, nan, 0.0f, -2.0f, 3e9f}) {
        auto target = makeBitmap(30, 30, Color(100));
        target->drawLine(limit, a, b, kWhite, width);
        for (int y = 0; y < 30; ++y)
          for (int x = 0; x < 30; ++x)
            if (!limit.contains(Point(x, y))) {
              ASSERT_EQ(Color(100), target->getPixel(Point(x, y)));
            }
      }
  // An enormous width covers every column it crosses.
  auto wide = makeBitmap(30, 30, Color(100));
  wide->drawLine(limit, Point(0, 10), Point(40, 12), kWhite, 1e30f);
  for (int y = limit.top; y < limit.bottom; ++y) EXPECT_EQ(kWhite, wide->getPixel(Point(7, y)));
}
