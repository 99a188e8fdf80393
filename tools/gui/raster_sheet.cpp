// Draws the toolkit's software rasteriser on one sheet and writes it as a
// PNG file, for a person to look at: fills at several opacities, clipped
// blits, three-part tiling, a fan of antialiased lines, filled curves in
// both orientations and a knob pointer rotated at eight angles.
//
//   zarn-raster-sheet OUT.png [--crop X Y W H] [--zoom N]
//
// --crop keeps a part of the sheet and --zoom enlarges it N times with
// square pixels, to look at antialiased edges pixel by pixel.

#include "gui/Canvas.h"
#include "gui/MacCompatibleBitmap.h"
#include "platform/PngWriter.h"
#include "platform/SignalCleanup.h"
#include "tools/CommandHelp.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using gui::Bitmap;
using gui::Canvas;
using gui::Color;
using gui::Cubic;
using gui::Point;
using gui::Rect;

namespace {

const int kPanel = 300;
const int kGap = 16;
const Color kSheet(34, 32, 30, 255);
const Color kPlate(52, 50, 47, 255);
const Color kAmber(240, 170, 60, 255);
const Color kTeal(60, 190, 180, 255);
const Color kViolet(160, 120, 230, 255);
const Color kGreen(120, 200, 90, 255);
const Color kLegend(200, 200, 195, 255);
const double kPi = 3.14159265358979323846;

std::unique_ptr<Bitmap> newBitmap(int width, int height, Color fill) {
  auto b = std::make_unique<gui::MacCompatibleBitmap>();
  b->resize(width, height);
  b->fillRect(b->getBounds(), fill);
  return b;
}

// A disc of radius r about (cx, cy), its rim antialiased by 4 x 4
// supersampling, blended into the canvas.
void fillDisc(const Canvas& c, double cx, double cy, double r, Color colour) {
  for (int y = int(std::floor(cy - r)); y <= int(std::ceil(cy + r)); ++y)
    for (int x = int(std::floor(cx - r)); x <= int(std::ceil(cx + r)); ++x) {
      int inside = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          const double dx = x + (sx + 0.5) / 4 - cx, dy = y + (sy + 0.5) / 4 - cy;
          inside += dx * dx + dy * dy <= r * r;
        }
      if (inside) c.setPixel(Point(x, y), colour.dilute(inside * 255 / 16));
    }
}

// Panel 1: opaque and translucent fills over a checkerboard, through the
// canvas opacity, and a bitmap with alpha that keeps only opaque paint.
void drawFills(const Canvas& c) {
  for (int y = 0; y < 120; y += 10)
    for (int x = 0; x < 280; x += 10) c.fillRect(Rect(x, y, x + 10, y + 10), Color(((x + y) / 10) % 2 ? 200 : 90));
  const Color colours[] = {kAmber, kTeal, kViolet, kGreen};
  const int opacities[] = {255, 192, 128, 64, 16};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 5; ++j) {
      Canvas::State saved(const_cast<Canvas*>(&c));
      const_cast<Canvas&>(c).opacity = opacities[j];
      c.fillRect(Rect(Point(10 + j * 54, 8 + i * 27), 48, 22), colours[i]);
    }
  // Colour alpha and canvas opacity multiply.
  for (int j = 0; j < 8; ++j) c.fillRect(Rect(Point(10 + j * 34, 130), 30, 30), Color(255, 255, 255, 32 * j + 31));
  for (int j = 0; j < 8; ++j) c.fillRect(Rect(Point(10 + j * 34, 165), 30, 30), Color(0, 0, 0, 32 * j + 31));
  // A mask: translucent paint is ignored, opaque paint lands.
  auto mask = newBitmap(260, 60, Color(255));
  for (int x = 0; x < 260; ++x)
    for (int y = 0; y < 60; ++y) {
      const int v = std::abs(x - 130) + 2 * std::abs(y - 30);
      mask->setPixel(Point(x, y), Color(static_cast<unsigned char>(std::min(255, std::max(0, v * 2 - 60)))));
    }
  mask->convertGrayscaleToTransparency(kAmber);
  mask->fillRect(Rect(0, 0, 130, 60), Color(255, 0, 0, 128));
  mask->fillRect(Rect(100, 20, 160, 40), kTeal);
  c.drawBitmap(mask.get(), Point(10, 210), 255);
}

std::unique_ptr<Bitmap> gradientPicture(int w, int h) {
  auto b = newBitmap(w, h, Color(0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool ring = std::abs(std::hypot(x - w / 2.0, y - h / 2.0) - h / 3.0) < 3.0;
      b->setPixel(Point(x, y), ring ? Color(255) : Color(static_cast<unsigned char>(x * 255 / w), 90,
                                                          static_cast<unsigned char>(y * 255 / h), 255));
    }
  return b;
}

// Panel 2: one picture blitted whole, clipped by the canvas on each side
// (the visible part stays where the whole picture would put it), faded, and
// a mask drawn over it.
void drawBlits(Canvas& c) {
  auto picture = gradientPicture(80, 60);
  c.drawBitmap(picture.get(), Point(10, 10), 255);
  const Rect clips[] = {Rect(110, 10, 150, 70), Rect(200, 30, 290, 55), Rect(10, 100, 90, 130), Rect(130, 110, 160, 200)};
  const Point at[] = {Point(100, 10), Point(200, 10), Point(10, 90), Point(105, 100)};
  for (int i = 0; i < 4; ++i) {
    c.fillRect(Rect(at[i], 80, 60), Color(70));
    Canvas::State saved(&c);
    c.clip = clips[i];
    c.drawBitmap(picture.get(), at[i], 255);
  }
  for (int j = 0; j < 4; ++j) c.drawBitmap(picture.get(), Rect(Point(190 + j * 22, 90), 20, 60), Point(j * 20, 0), 255 - 60 * j);
  auto mask = newBitmap(100, 100, Color(255));
  for (int k = 0; k < 5; ++k)
    mask->getCanvas()->drawLine(Point(5 + 20 * k, 95), Point(95 - 20 * k, 5), Color(0), 4.0f);
  mask->convertGrayscaleToTransparency(kGreen);
  c.drawBitmap(picture.get(), Rect(Point(10, 180), 160, 110), Point(0, 0), 255);
  c.drawBitmap(picture.get(), Rect(Point(90, 180), 80, 60), Point(0, 0), 255);
  c.drawBitmap(mask.get(), Point(30, 185), 255);
  c.drawBitmap(mask.get(), Point(180, 185), 128);
}

// A three-part skin image: rounded caps and a ridged middle that repeats.
std::unique_ptr<Bitmap> slotImage(int length, int thickness, bool vertical) {
  auto b = newBitmap(vertical ? thickness : length, vertical ? length : thickness, kPlate);
  const int cap = length / 3;
  for (int i = 0; i < length; ++i)
    for (int j = 0; j < thickness; ++j) {
      Color colour(70, 66, 60, 255);
      if (i < cap || i >= length - cap) colour = kTeal.blend(Color(20), 255 * j / thickness);
      else if ((i - cap) % 4 == 0) colour = Color(110);
      b->setPixel(vertical ? Point(j, i) : Point(i, j), colour);
    }
  return b;
}

// Panel 3: the same image stretched to several lengths without scaling.
void drawTiling(const Canvas& c) {
  auto across = slotImage(30, 16, false);
  for (int i = 0; i < 6; ++i) c.drawTiledBitmap(across.get(), Rect(Point(10, 10 + i * 24), 40 + 45 * i, 16), 255);
  auto down = slotImage(30, 16, true);
  for (int i = 0; i < 6; ++i) c.drawTiledBitmap(down.get(), Rect(Point(10 + i * 24, 160), 16, 30 + 22 * i), 255 - 30 * i);
  c.drawTiledBitmap(across.get(), Rect(Point(160, 170), 120, 16), 255);
  c.drawTiledBitmap(across.get(), Rect(Point(160, 200), 30, 16), 255);
}

// Panel 4: a fan of lines of widths 0.5 to 8 from one point, and a grid of
// thin lines at shallow angles.
void drawFan(const Canvas& c) {
  const Point centre(20, 280);
  for (int i = 0; i < 16; ++i) {
    const double angle = (kPi / 2) * i / 15.0;
    const float width = 0.5f + 7.5f * i / 15.0f;
    const Point end(centre.x + int(std::lround(270 * std::cos(angle))), centre.y - int(std::lround(270 * std::sin(angle))));
    c.drawLine(centre, end, i % 2 ? kAmber : kLegend, width);
  }
  for (int i = 0; i < 6; ++i) c.drawLine(Point(150, 10 + 8 * i), Point(290, 14 + 12 * i), kTeal, 1.0f);
  c.drawLine(Point(180, 120), Point(290, 120), kViolet.dilute(128), 12.0f);
}

// Panel 5: a response-like curve with fills on both sides, across and
// down.
void drawCurves(const Canvas& c) {
  const Point points[] = {Point(-60, 60), Point(0, 60), Point(70, 58), Point(110, 20), Point(150, 90), Point(280, 110),
                          Point(340, 112)};
  for (int i = 1; i + 2 < 7; ++i) {
    const Cubic piece(points[i - 1], points[i], points[i + 1], points[i + 2]);
    c.drawSpline(piece, Rect(points[i].x + 10, 10, points[i + 1].x + 10, 140), Point(points[i].x, 0), kAmber,
                 Color(60, 110, 160, 90), Color(120, 80, 40, 200), 2.0f, gui::cHorizontal);
  }
  // The same shape down the panel, a sharper curve, a fine line.
  const Cubic bend(Point(0, 10), 0.0f, Point(130, 100), 3.0f);
  c.drawSpline(bend, Rect(10, 150, 150, 290), Point(0, 0), kGreen, Color(40, 80, 40, 160), Color(), 3.0f,
               gui::cVertical);
  const Cubic wave(-0.00008f, 0.014f, -0.5f, 40.0f);
  c.drawSpline(wave, Rect(160, 150, 290, 290), Point(0, 0), kViolet, Color(), Color(90, 70, 140, 255), 1.0f,
               gui::cHorizontal);
}

// Panel 6: a knob pointer drawn once upright and rotated at eight angles
// onto knob faces.
void drawPointers(const Canvas& c) {
  auto ink = newBitmap(41, 41, Color(255));
  ink->getCanvas()->drawLine(Point(20, 4), Point(20, 18), Color(0), 4.0f);
  ink->convertGrayscaleToTransparency(Color(255, 235, 200, 255));
  for (int i = 0; i < 8; ++i) {
    const int cx = 40 + (i % 4) * 70, cy = 60 + (i / 4) * 110;
    fillDisc(c, cx + 0.5, cy + 0.5, 28.0, Color(20));
    fillDisc(c, cx + 0.5, cy + 0.5, 24.0, kPlate.blend(Color(90), 60));
    auto turned = std::make_unique<gui::MacCompatibleBitmap>();
    turned->resize(41, 41);
    // Clockwise from 12 o'clock in eighths of a turn.
    turned->copyRotated(ink.get(), float(2.0 * kPi * i / 8.0));
    c.drawBitmap(turned.get(), Point(cx - 20, cy - 20), 255);
    for (int t = 0; t < 11; ++t) {
      const double a = 2 * kPi * (t / 10.0 * 0.8 - 0.4);
      c.drawLine(Point(cx + int(std::lround(31 * std::sin(a))), cy - int(std::lround(31 * std::cos(a)))),
                 Point(cx + int(std::lround(35 * std::sin(a))), cy - int(std::lround(35 * std::cos(a)))), kLegend, 1.0f);
    }
  }
}

} // namespace

// Asked for (--help): on standard output, success; otherwise an error.
int usage(bool asked = false) {
  return zarn::tools::usage(asked, "usage: zarn-raster-sheet OUT.png [--crop X Y W H] [--zoom N]\n");
}

int main(int argc, char** argv) {
  // A signal that ends the tool while a picture is written removes the
  // temporary file; the picture at the name stays as it was.
  const platform::SignalCleanup cleanup;
  if (zarn::tools::helpAsked(argc, argv)) return usage(true);
  // An option where the picture's name belongs is no name to write to.
  if (argc < 2 || argv[1][0] == '-') return usage();
  const int width = 3 * kPanel + 4 * kGap, height = 2 * kPanel + 3 * kGap;
  Rect crop(width, height);
  int zoom = 1;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--crop") && i + 4 < argc) {
      crop = Rect(Point(std::atoi(argv[i + 1]), std::atoi(argv[i + 2])), std::atoi(argv[i + 3]), std::atoi(argv[i + 4]));
      crop.intersect(Rect(width, height));
      i += 4;
    } else if (!std::strcmp(argv[i], "--zoom") && i + 1 < argc) {
      if (!zarn::tools::wholeNumberOption("zarn-raster-sheet", "--zoom", argv[++i], 1, 32, zoom)) return usage();
    } else {
      return usage();
    }
  }
  if (crop.isEmpty()) return usage();

  gui::MacCompatibleBitmap sheet;
  sheet.resize(width, height);
  Canvas* canvas = sheet.getCanvas();
  canvas->fillRect(sheet.getBounds(), kSheet);
  void (*panels[])(Canvas&) = {
      [](Canvas& c) { drawFills(c); }, [](Canvas& c) { drawBlits(c); },   [](Canvas& c) { drawTiling(c); },
      [](Canvas& c) { drawFan(c); },   [](Canvas& c) { drawCurves(c); }, [](Canvas& c) { drawPointers(c); }};
  for (int i = 0; i < 6; ++i) {
    const Point corner(kGap + (i % 3) * (kPanel + kGap), kGap + (i / 3) * (kPanel + kGap));
    Canvas::State saved(canvas);
    canvas->fillRect(Rect(corner, kPanel, kPanel), kPlate);
    canvas->fillRect(Rect(corner, kPanel, 1), Color(80, 77, 72, 255));
    canvas->origin = corner;
    canvas->clip = Rect(kPanel);
    panels[i](*canvas);
  }
  const int outWidth = crop.width() * zoom, outHeight = crop.height() * zoom;
  std::vector<unsigned char> rgba(static_cast<std::size_t>(outWidth) * outHeight * 4);
  for (int y = 0; y < outHeight; ++y)
    for (int x = 0; x < outWidth; ++x) {
      const Color c = sheet.getPixel(Point(crop.left + x / zoom, crop.top + y / zoom));
      unsigned char* p = &rgba[(static_cast<std::size_t>(y) * outWidth + x) * 4];
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
      p[3] = 255;
    }
  if (std::string error; !writePngFile(argv[1], outWidth, outHeight, rgba.data(), false, &error)) {
    std::fprintf(stderr, "zarn-raster-sheet: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
