#include "gui/Canvas.h"

#include "gui/Bitmap.h"
#include "gui/Text.h"
#include "tests/gui/Pixels.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

using gui::Canvas;
using gui::Color;
using gui::Cubic;
using gui::Point;
using gui::Rect;
using zarn::test::makeBitmap;
using zarn::test::makePattern;
using zarn::test::pixelsOf;

namespace {

std::string text(const Rect& r) { return r.toString(); }
std::string text(const Point& p) { return std::to_string(p.x) + "," + std::to_string(p.y); }
std::string text(const Color& c) { return "a" + std::to_string(c.a); }

// An owner that writes down what reaches it.
class RecordingOwner : public Canvas::Owner {
public:
  mutable std::string log;

  void drawBitmap(gui::Bitmap*, const Rect& d, const Point& s, int opacity) override {
    add("blit " + text(d) + " from " + text(s) + " o" + std::to_string(opacity));
  }
  void drawLine(const Rect& limit, const Point& from, const Point& to, Color c, float) override {
    add("line " + text(limit) + " " + text(from) + " " + text(to) + " " + text(c));
  }
  void drawSpline(const Cubic&, const Rect& d, const Point& s, Color line, Color f1, Color f2, float,
                  gui::Orientation) override {
    add("spline " + text(d) + " from " + text(s) + " " + text(line) + text(f1) + text(f2));
  }
  void fillRect(const Rect& r, Color c) override { add("fill " + text(r) + " " + text(c)); }
  Color getPixel(const Point& p) const override {
    add("get " + text(p));
    return Color(1);
  }
  void setPixel(const Point& p, Color c) override { add("set " + text(p) + " " + text(c)); }
  void add(const std::string& call) const { log += (log.empty() ? "" : "; ") + call; }
  std::string take() { return std::exchange(log, std::string()); }
};

class PropertyCounter : public PropertyOwner {
public:
  int count = 0;
  void propertyChange(const AbstractProperty*) override { ++count; }
};

class BitmapText : public gui::Text {
public:
  std::unique_ptr<gui::MacCompatibleBitmap> bitmap = makePattern(5, 3);
  gui::Bitmap* getBitmap() override { return bitmap.get(); }
  int getHeight() override { return bitmap->getHeight(); }
  int getWidth() override { return bitmap->getWidth(); }
};

} // namespace

TEST(CanvasTest, ForwardsThroughClipOriginAndOpacity) {
  RecordingOwner owner;
  Canvas canvas(&owner);
  auto b = makePattern(20, 10);
  const Cubic flat(0.0f, 0.0f, 0.0f, 5.0f);
  canvas.fillRect(Rect(0, 0, 10, 10), Color(1));
  canvas.setPixel(Point(1, 1), Color(1));
  canvas.drawBitmap(b.get(), Point(0, 0), 255);
  canvas.drawSpline(flat, Rect(0, 0, 10, 10), Point(0, 0), Color(1), 1.0f, gui::cHorizontal);
  EXPECT_EQ("", owner.take());
  EXPECT_EQ(Color(1), canvas.getPixel(Point(2, 3)));
  EXPECT_EQ("get 2,3", owner.take());

  canvas.clip = Rect(0, 0, 100, 100);
  canvas.origin = Point(3, 4);
  canvas.opacity = 128;
  canvas.fillRect(Rect(-10, -10, 5, 5), Color(1, 2, 3, 255));
  canvas.drawBitmap(b.get(), Rect(-5, 0, 10, 10), Point(0, 0), 255);
  canvas.setPixel(Point(100, 0), Color(1));
  canvas.setPixel(Point(99, 0), Color(1, 1, 1, 200));
  canvas.drawLine(Point(-5, 0), Point(200, 7), Color(1), 2.0f);
  canvas.drawSpline(flat, 10, 20, Color(1), 1.0f, gui::cHorizontal);
  canvas.drawSpline(flat, Rect(-7, 50, 10, 300), Point(2, 2), Color(9), Color(1), Color(2, 2, 2, 10), 1.0f,
                    gui::cVertical);
  BitmapText t;
  canvas.drawText(&t, Point(-1, 2), 200);
  EXPECT_EQ("fill 3, 4, 8, 9 a128; "
            "blit 3, 4, 13, 14 from 5,0 o128; "
            "set 102,4 a100; "
            "line 3, 4, 103, 104 -2,4 203,11 a128; "
            "spline 13, 4, 23, 104 from 10,0 a128a0a0; "
            "spline 3, 54, 13, 104 from 9,2 a128a128a5; "
            "blit 3, 6, 7, 9 from 1,0 o100",
            owner.take());

  // A saved state comes back; equal values notify nobody.
  PropertyCounter counter;
  canvas.clip.setOwner(&counter);
  canvas.opacity.setOwner(&counter);
  canvas.origin.setOwner(&counter);
  Canvas::State* saved = canvas.saveState();
  saved->restore();
  EXPECT_EQ(0, counter.count);
  canvas.clip = Rect(5, 5, 6, 6);
  canvas.origin = Point(0, 0);
  canvas.opacity = 7;
  delete saved;
  EXPECT_EQ(6, counter.count);
  EXPECT_EQ(Rect(0, 0, 100, 100), canvas.clip.get());
  EXPECT_EQ(Point(3, 4), canvas.origin.get());
  EXPECT_EQ(128, canvas.opacity.get());
}

TEST(CanvasTest, TilesAThreePartImageWithoutScaling) {
  RecordingOwner owner;
  Canvas canvas(&owner);
  canvas.clip = Rect(0, 0, 200, 200);
  auto wide = makePattern(30, 10);
  canvas.drawTiledBitmap(wide.get(), Rect(0, 0, 100, 10), 255);
  std::string expected = "blit 0, 0, 10, 10 from 0,0 o255; blit 90, 0, 100, 10 from 20,0 o255";
  for (int x = 10; x <= 80; x += 10)
    expected += "; blit " + std::to_string(x) + ", 0, " + std::to_string(x + 10) + ", 10 from 10,0 o255";
  EXPECT_EQ(expected, owner.take());

  auto tall = makePattern(4, 9);
  canvas.drawTiledBitmap(tall.get(), Rect(1, 2, 5, 12), 255);
  EXPECT_EQ("blit 1, 2, 5, 5 from 0,0 o255; blit 1, 9, 5, 12 from 0,6 o255; "
            "blit 1, 5, 5, 8 from 0,3 o255; blit 1, 8, 5, 9 from 0,3 o255",
            owner.take());

  // The caps are at most as long as the image is thick: a flat 60 x 10
  // image has 10-pixel caps and a 40-pixel middle.
  auto flat = makePattern(60, 10);
  canvas.drawTiledBitmap(flat.get(), Rect(0, 20, 100, 30), 255);
  EXPECT_EQ("blit 0, 20, 10, 30 from 0,0 o255; blit 90, 20, 100, 30 from 50,0 o255; "
            "blit 10, 20, 50, 30 from 10,0 o255; blit 50, 20, 90, 30 from 10,0 o255",
            owner.take());

  // A tile with no length along its axis would never advance.
  gui::MacCompatibleBitmap empty;
  empty.resize(0, 10);
  canvas.drawTiledBitmap(&empty, Rect(0, 0, 100, 10), 255);
  empty.resize(10, 0);
  canvas.drawTiledBitmap(&empty, Rect(0, 0, 10, 100), 255);
  EXPECT_EQ("", owner.take());
}

namespace {

// One random drawing call, its coordinates moved by shift.
void drawSomething(std::mt19937& random, const Canvas& canvas, const Point& shift, gui::Bitmap* image,
                   gui::Bitmap* mask, gui::Text* label) {
  std::uniform_int_distribution<int> coordinate(-20, 80), byte(0, 255), op(0, 7);
  auto point = [&] { return Point(coordinate(random), coordinate(random)) + shift; };
  auto colour = [&] {
    const int a = byte(random);
    return Color(byte(random), byte(random), byte(random), a < 80 ? 255 : a);
  };
  switch (op(random)) {
  case 0: canvas.fillRect(Rect(point(), point()), colour()); break;
  case 1: canvas.setPixel(point(), colour()); break;
  case 2: canvas.drawLine(point(), point(), colour(), 0.5f + byte(random) / 32.0f); break;
  case 3: canvas.drawBitmap(image, Rect(point(), point()), Point(coordinate(random) / 4, 2), byte(random)); break;
  case 4: canvas.drawBitmap(mask, point(), byte(random)); break;
  case 5: canvas.drawTiledBitmap(image, Rect(point(), 70, image->getHeight()), byte(random)); break;
  case 6: {
    const Cubic curve(Point(0, byte(random) / 4), 0.01f * (byte(random) - 128), Point(60, byte(random) / 4), 0.3f);
    canvas.drawSpline(curve, Rect(point(), point()), Point(coordinate(random), coordinate(random)), colour(),
                      colour(), colour(), byte(random) / 40.0f, byte(random) & 1 ? gui::cVertical : gui::cHorizontal);
    break;
  }
  default: canvas.drawText(label, point(), byte(random)); break;
  }
}

struct Scene {
  std::unique_ptr<gui::MacCompatibleBitmap> image = makePattern(24, 9);
  std::unique_ptr<gui::MacCompatibleBitmap> mask = makePattern(13, 11);
  BitmapText label;
  Scene() {
    mask->convertGrayscaleToTransparency(Color(200, 100, 0, 255));
    label.bitmap->convertGrayscaleToTransparency(Color(0, 0, 255, 180));
  }
};

} // namespace

// The same random calls three ways: through a random clip and origin, with
// the whole bitmap as clip and the same origin, and with no origin at moved
// coordinates. The clip must neither leak nor move any pixel's value inside
// it (lines and curves included), and an origin is a plain translation.
TEST(CanvasTest, RandomDrawingKeepsToTheClipAndFollowsTheOrigin) {
  std::mt19937 random(2112);
  std::uniform_int_distribution<int> coordinate(-10, 70), byte(0, 255), seeds;
  Scene scene;
  const Color ground(17, 34, 51, 255);
  int changed = 0;
  for (int round = 0; round < 60; ++round) {
    const Point origin(coordinate(random) / 3, coordinate(random) / 3);
    const Rect clip(Point(coordinate(random) / 2, coordinate(random) / 2), 8 + byte(random) / 5, 8 + byte(random) / 5);
    const int opacity = byte(random);
    auto clipped = makeBitmap(64, 48, ground), whole = makeBitmap(64, 48, ground), moved = makeBitmap(64, 48, ground);
    Canvas* a = clipped->getCanvas();
    Canvas* b = whole->getCanvas();
    Canvas* c = moved->getCanvas();
    a->origin = b->origin = origin;
    a->clip = clip;
    b->clip = Rect(64, 48).moved(Point() - origin);
    a->opacity = b->opacity = c->opacity = opacity;
    const unsigned seed = seeds(random);
    std::mt19937 first(seed), second(seed), third(seed);
    for (int i = 0; i < 12; ++i) {
      drawSomething(first, *a, Point(), scene.image.get(), scene.mask.get(), &scene.label);
      drawSomething(second, *b, Point(), scene.image.get(), scene.mask.get(), &scene.label);
      drawSomething(third, *c, origin, scene.image.get(), scene.mask.get(), &scene.label);
    }
    ASSERT_EQ(pixelsOf(*whole), pixelsOf(*moved)) << "round " << round;
    const Rect inside = clip.moved(origin);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const Point p(x, y);
        ASSERT_EQ(inside.contains(p) ? whole->getPixel(p) : ground, clipped->getPixel(p)) << round << ": " << x << "," << y;
      }
    changed += pixelsOf(*clipped) != pixelsOf(*makeBitmap(64, 48, ground));
  }
  EXPECT_GT(changed, 35);
}
