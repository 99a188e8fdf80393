#include "gui/Bitmap.h"

#include "gui/BlendTables.h"
#include "tests/gui/Pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <new>

using gui::Color;
using gui::multiplyTable;
using gui::Point;
using gui::Rect;
using zarn::test::makeBitmap;
using zarn::test::makePattern;
using zarn::test::pixelsOf;

namespace {

struct ChangeCounter {
  int count = 0;
  void changed(void*) { ++count; }
};

} // namespace

TEST(BitmapTest, ResizeClearsNewPixelsAndRefusesSizesItCannotHold) {
  gui::MacCompatibleBitmap b;
  ChangeCounter counter;
  b.onChange = NotifyEvent::bind(&counter, &ChangeCounter::changed);
  b.resize(4, 3);
  b.fillRect(b.getBounds(), Color(9, 8, 7, 255));
  b.resize(4, 3);
  EXPECT_EQ(Color(9, 8, 7, 255), b.getPixel(Point(3, 2)));
  b.resize(5, 3);
  EXPECT_EQ(2, counter.count);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(Color(), b.getPixel(Point(x, 2)));
  b.resize(0, 5);
  EXPECT_EQ(nullptr, b.getPixels());
  EXPECT_TRUE(b.getBounds().isEmpty());

  // 65536 x 65536 x 4 bytes wraps to 0 in 32 bits; the bitmap must not end
  // up with a small allocation behind a large size.
  for (const auto& size : {Point(65536, 65536), Point(100000, 30000), Point(40000, 40000)}) {
    b.resize(3, 3);
    EXPECT_THROW(b.resize(size.x, size.y), std::bad_alloc);
    EXPECT_EQ(Rect(), b.getBounds());
    EXPECT_EQ(nullptr, b.getPixels());
    b.fillRect(Rect(0, 0, 100, 100), Color(1));
    b.setPixel(Point(1, 1), Color(1));
    EXPECT_EQ(Color(), b.getPixel(Point(1, 1)));
  }
}

namespace {

// The blend rule: colour bytes M[a][new] + M[255 - a][old], alpha kept.
Color over(Color old, Color p, int a) {
  auto m = [a](int n, int o) { return static_cast<unsigned char>(multiplyTable[a][n] + multiplyTable[255 - a][o]); };
  return Color(m(p.r, old.r), m(p.g, old.g), m(p.b, old.b), old.a);
}

} // namespace

TEST(BitmapTest, BlendRuleFillsBlitsAndTheTransparentFlag) {
  const Color under(10, 20, 30, 77);
  auto b = makeBitmap(4, 4, under);
  b->setPixel(Point(0, 0), Color(7, 7, 7, 0));
  b->fillRect(Rect(-3, -3, 2, 1), Color(255, 0, 10, 128));
  EXPECT_EQ(under, b->getPixel(Point(0, 1)));
  EXPECT_EQ(over(under, Color(255, 0, 10, 0), 128), b->getPixel(Point(0, 0)));
  EXPECT_EQ(Color(), b->getPixel(Point(4, 0)));
  // Alpha 254 is still a blend, never an opaque write.
  b->fillRect(Rect(3, 3, 4, 4), Color(255, 0, 10, 254));
  EXPECT_EQ(over(under, Color(255, 0, 10, 0), 254), b->getPixel(Point(3, 3)));

  auto source = makePattern(6, 5);
  auto copy = makeBitmap(8, 8, under);
  copy->drawBitmap(source.get(), Rect(-1, 4, 20, 20), Point(2, 1), 255);
  auto faded = makeBitmap(8, 8, under);
  faded->drawBitmap(source.get(), Rect(-1, 4, 20, 20), Point(2, 1), 254);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const Point p(x, y), s(x + 3, y - 3);
      const bool inside = y >= 4 && s.x < 6 && s.y < 5;
      // Opacity 255 copies the source's alpha too; below it the
      // destination's stays.
      EXPECT_EQ(inside ? source->getPixel(s) : under, copy->getPixel(p));
      EXPECT_EQ(inside ? over(under, source->getPixel(s), 254) : under, faded->getPixel(p));
    }

  // A source with alpha: its alpha times the opacity weighs each pixel.
  // A bitmap with alpha takes only opaque paint and no blits at all.
  auto glyph = makeBitmap(2, 1, Color(0));
  std::vector<Color> row{Color(200, 0, 0, 255), Color(200, 0, 0, 100)};
  glyph->writeLine(0, row.data());
  glyph->writeLine(1, row.data());
  glyph->transparent = true;
  auto target = makeBitmap(2, 1, under);
  target->drawBitmap(glyph.get(), Rect(2, 1), Point(0, 0), 128);
  EXPECT_EQ(over(under, row[0], multiplyTable[255][128]), target->getPixel(Point(0, 0)));
  EXPECT_EQ(over(under, row[1], multiplyTable[100][128]), target->getPixel(Point(1, 0)));
  glyph->drawBitmap(source.get(), glyph->getBounds(), Point(0, 0), 255);
  glyph->fillRect(glyph->getBounds(), Color(9, 9, 9, 254));
  EXPECT_EQ(row[1], glyph->getPixel(Point(1, 0)));
  glyph->fillRect(Rect(1, 0, 2, 1), Color(9, 9, 9, 255));
  EXPECT_EQ(Color(9, 9, 9, 255), glyph->getPixel(Point(1, 0)));
  EXPECT_EQ(row[0], glyph->getPixel(Point(0, 0)));

  // Onto itself, overlapping: as if from a copy.
  auto self = makePattern(7, 6);
  self->drawBitmap(self.get(), Rect(1, 1, 7, 6), Point(0, 0), 255);
  for (int y = 1; y < 6; ++y)
    for (int x = 1; x < 7; ++x) EXPECT_EQ(source->getPixel(Point(x - 1, y - 1)).g, self->getPixel(Point(x, y)).g);
}

TEST(BitmapTest, GreyImageBecomesAMaskOfTheColour) {
  auto grey = makeBitmap(3, 1, Color(0));
  grey->fillRect(Rect(1, 0, 2, 1), Color(255));
  grey->fillRect(Rect(2, 0, 3, 1), Color(100));
  grey->convertGrayscaleToTransparency(Color(255, 0, 0, 128));
  EXPECT_TRUE(grey->transparent);
  EXPECT_EQ(Color(255, 0, 0, 128), grey->getPixel(Point(0, 0)));
  EXPECT_EQ(Color(255, 0, 0, 0), grey->getPixel(Point(1, 0)));
  EXPECT_EQ(Color(255, 0, 0, multiplyTable[128][155]), grey->getPixel(Point(2, 0)));
}

// Rotation against a floating-point bilinear reference: each destination
// pixel samples the source at its rotated position, the four neighbours
// weighted by area and those outside the source counting as transparent.
TEST(BitmapTest, RotationMatchesAFloatingPointBilinearReference) {
  // Odd sizes too: a knob's pointer image has a middle pixel to turn about.
  const int sw = 41, sh = 31, w = 53, h = 47;
  auto source = makeBitmap(sw, sh, Color(0));
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x)
      source->setPixel(Point(x, y), Color(static_cast<unsigned char>(5 * x + 20), static_cast<unsigned char>(7 * y + 10),
                                          static_cast<unsigned char>(2 * (x + y) + 30), 255));
  for (const int less : {0, 1}) {
    auto cut = makeBitmap(sw - less, sh - less, Color(0));
    cut->drawBitmap(source.get(), cut->getBounds(), Point(0, 0), 255);
    gui::MacCompatibleBitmap unrotated;
    unrotated.resize(sw - less, sh - less);
    unrotated.copyRotated(cut.get(), 0.0f);
    EXPECT_EQ(pixelsOf(*cut), pixelsOf(unrotated)) << less;
    EXPECT_TRUE(unrotated.transparent);
  }

  // A source with alpha (a pointer drawn on nothing) keeps its shape: each
  // pixel's alpha, and its colour within the rounding of the premultiplied
  // sums.
  auto shape = makeBitmap(sw, sh, Color(0));
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x)
      shape->getPixels()[y * sw + x] = (source->getPixels()[y * sw + x] & 0x00ffffffu) | uint32_t(6 * x) << 24;
  shape->transparent = true;
  gui::MacCompatibleBitmap turned;
  turned.resize(sw, sh);
  turned.copyRotated(shape.get(), 0.0f);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      const Color want = shape->getPixel(Point(x, y)), got = turned.getPixel(Point(x, y));
      ASSERT_EQ(want.a, got.a) << x << "," << y;
      if (want.a >= 128) {
        EXPECT_NEAR(want.r, got.r, 2) << x << "," << y;
        EXPECT_NEAR(want.b, got.b, 2) << x << "," << y;
      }
    }

  for (const float angle : {0.3f, 1.5707964f, 2.4f, -0.8f}) {
    gui::MacCompatibleBitmap rotated;
    rotated.resize(w, h);
    rotated.copyRotated(source.get(), angle);
    const double c = std::cos(angle), s = std::sin(angle);
    int compared = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double dx = x - w / 2, dy = y - h / 2;
        const double u = sw / 2 + c * dx + s * dy, v = sh / 2 + c * dy - s * dx;
        const double fu = std::floor(u), fv = std::floor(v);
        double weight = 0, red = 0, green = 0;
        for (int k = 0; k < 4; ++k) {
          const int sx = static_cast<int>(fu) + (k & 1), sy = static_cast<int>(fv) + (k >> 1);
          if (sx < 0 || sy < 0 || sx >= sw || sy >= sh) continue;
          const double wk = ((k & 1) ? u - fu : 1 - (u - fu)) * ((k >> 1) ? v - fv : 1 - (v - fv));
          const Color p = source->getPixel(Point(sx, sy));
          weight += wk;
          red += wk * p.r;
          green += wk * p.g;
        }
        const Color got = rotated.getPixel(Point(x, y));
        SCOPED_TRACE(testing::Message() << "angle " << angle << " at " << x << "," << y);
        // Positions are in 1/1024 steps and fractions in 1/32: an edge's
        // alpha, which changes by 255 per pixel, may differ by a few tens.
        ASSERT_NEAR(255 * weight, got.a, 40.0);
        if (weight > 0.999) {
          ASSERT_NEAR(red / weight, got.r, 5.0);
          ASSERT_NEAR(green / weight, got.g, 5.0);
          ++compared;
        }
      }
    EXPECT_GT(compared, 500);
  }
}
