// zarn-make-skin OUT_DIR
//
// Draws every picture of the synthesizer's editor and writes them as PNG
// files (8-bit RGBA, no gamma chunk) into OUT_DIR. Shapes are sampled 4 x 4
// per pixel, so every edge is antialiased and an image's alpha is its
// shape; text is rendered with the toolkit's own text engine. The plates,
// titles and legends of the background come from the editor's layout
// table, so they line up with the controls the editor places.
//
// The look: a warm charcoal panel; each section on a raised plate with a
// highlight on top and a soft shadow; one accent per family of sections
// (amber sources, teal filters, violet modulators, green envelopes) for
// titles, lit states and knob marks; graphite knobs with a bright pointer
// and a tick scale; buttons that light up and sink in when pressed.

#include "editor/zarn/ZarnLayout.h"
#include "gui/Bitmap.h"
#include "gui/MacText.h"
#include "hints/ZarnHints.h"
#include "platform/PngWriter.h"
#include "tools/CommandHelp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace zarnlayout;

namespace {

constexpr double cPi = 3.14159265358979;

struct Rgba {
  double r, g, b, a = 1.0;
};

Rgba mix(Rgba a, Rgba b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}
Rgba alpha(Rgba c, double a) { return {c.r, c.g, c.b, a}; }
Rgba lighter(Rgba c, double d) { return {std::min(255.0, c.r + d), std::min(255.0, c.g + d), std::min(255.0, c.b + d), c.a}; }

// ---- palette
const Rgba cCase{30, 29, 28};
const Rgba cPlateTop{62, 59, 55}, cPlateBottom{48, 46, 43};
const Rgba cHighlight{96, 92, 86}, cShadow{12, 11, 10};
const Rgba cLegend{196, 192, 184};
const Rgba cDimLegend{150, 146, 138};
const Rgba cAccents[7] = {{240, 166, 64}, {72, 200, 188}, {232, 160, 80}, {120, 206, 112}, {232, 196, 120},
                          {170, 136, 236}, {206, 190, 160}};
const Rgba cAmber = cAccents[0], cTeal = cAccents[1], cViolet = cAccents[5], cGreen = cAccents[3];
const Rgba cPointer{250, 246, 236};

typedef std::function<bool(double, double)> Shape;
typedef std::function<Rgba(double, double)> Paint;

Paint solid(Rgba c) {
  return [c](double, double) { return c; };
}
Paint vertical(Rgba top, Rgba bottom, double y0, double y1) {
  return [=](double, double y) { return mix(top, bottom, std::clamp((y - y0) / (y1 - y0), 0.0, 1.0)); };
}

Shape roundRect(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return std::hypot(x - cx, y - cy) <= r;
  };
}
Shape disc(double cx, double cy, double r) {
  return [=](double x, double y) { return std::hypot(x - cx, y - cy) <= r; };
}
Shape ring(double cx, double cy, double r0, double r1) {
  return [=](double x, double y) {
    const double d = std::hypot(x - cx, y - cy);
    return d >= r0 && d <= r1;
  };
}
double segmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}
Shape segment(double ax, double ay, double bx, double by, double width) {
  return [=](double x, double y) { return segmentDistance(x, y, ax, ay, bx, by) <= width / 2; };
}
Shape triangle(double ax, double ay, double bx, double by, double cx, double cy) {
  return [=](double x, double y) {
    auto side = [](double px, double py, double qx, double qy, double rx, double ry) {
      return (qx - px) * (ry - py) - (qy - py) * (rx - px);
    };
    const double d1 = side(ax, ay, bx, by, x, y), d2 = side(bx, by, cx, cy, x, y), d3 = side(cx, cy, ax, ay, x, y);
    return (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
  };
}

// An image with straight (not premultiplied) colours.
struct Image {
  int w, h;
  std::vector<Rgba> px;
  Image(int w, int h, Rgba fill = {0, 0, 0, 0}) : w(w), h(h), px(size_t(w) * size_t(h), fill) {}

  void over(int x, int y, Rgba c, double coverage) {
    if (x < 0 || y < 0 || x >= w || y >= h || coverage <= 0) return;
    Rgba& d = px[size_t(y) * size_t(w) + size_t(x)];
    const double a = c.a * coverage, out = a + d.a * (1 - a);
    if (out <= 0) return;
    d = {(c.r * a + d.r * d.a * (1 - a)) / out, (c.g * a + d.g * d.a * (1 - a)) / out,
         (c.b * a + d.b * d.a * (1 - a)) / out, out};
  }
  void fill(const Shape& s, const Paint& p, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
    if (x1 < 0) x1 = w;
    if (y1 < 0) y1 = h;
    for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w, x1); ++x) {
        int n = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) n += s(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
        if (n) over(x, y, p(x + 0.5, y + 0.5), n / 16.0);
      }
  }
  void fill(const Shape& s, Rgba c, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
    fill(s, solid(c), x0, y0, x1, y1);
  }
  // Copies src onto this with its top-left at (x, y).
  void draw(const Image& src, int x, int y) {
    for (int sy = 0; sy < src.h; ++sy)
      for (int sx = 0; sx < src.w; ++sx) over(x + sx, y + sy, src.px[size_t(sy) * size_t(src.w) + size_t(sx)], 1);
  }
  bool write(const std::string& path) const {
    std::vector<uint8_t> bytes(px.size() * 4);
    for (size_t i = 0; i < px.size(); ++i) {
      auto b = [](double v) { return uint8_t(std::clamp(v, 0.0, 255.0) + 0.5); };
      bytes[i * 4] = b(px[i].r);
      bytes[i * 4 + 1] = b(px[i].g);
      bytes[i * 4 + 2] = b(px[i].b);
      bytes[i * 4 + 3] = b(px[i].a * 255);
    }
    return writePngFile(path, w, h, bytes.data(), true);
  }
};

// Text through the toolkit: align 0 left of x, 1 centred on x, 2 right of x.
int text(Image& img, const std::string& s, int x, int y, int size, Rgba c, int align = 0, bool bold = false) {
  gui::MacText t;
  t.size = size;
  t.bold = bold;
  t.color = gui::Color(255, 255, 255, 255);
  t.text = s;
  gui::Bitmap* mask = t.getBitmap();
  const int width = t.getWidth();
  const int left = align == 1 ? x - width / 2 : align == 2 ? x - width : x;
  for (int yy = 0; yy < mask->getHeight(); ++yy)
    for (int xx = 0; xx < mask->getWidth(); ++xx) {
      const gui::Color m = mask->getPixel(gui::Point(xx, yy));
      if (m.a) img.over(left + xx, y + yy, c, m.a / 255.0);
    }
  return width;
}

// A rounded rectangle filled with p, sampling only the pixels it can touch.
template <typename P>
void box(Image& img, double x0, double y0, double x1, double y1, double r, const P& p) {
  img.fill(roundRect(x0, y0, x1, y1, r), p, int(std::floor(x0)), int(std::floor(y0)), int(std::ceil(x1)) + 1,
           int(std::ceil(y1)) + 1);
}

// A segment filled with p, sampling only the pixels it can touch.
template <typename P>
void line(Image& img, double ax, double ay, double bx, double by, double width, const P& p) {
  const double h = width / 2;
  img.fill(segment(ax, ay, bx, by, width), p, int(std::floor(std::min(ax, bx) - h)),
           int(std::floor(std::min(ay, by) - h)), int(std::ceil(std::max(ax, bx) + h)) + 1,
           int(std::ceil(std::max(ay, by) + h)) + 1);
}

// ---- pieces

// A raised plate: shadow, body with a vertical gradient, a top highlight.
void plate(Image& img, double x0, double y0, double x1, double y1, double r = 5) {
  // Only the pixels that the plate and its shadow can touch are sampled.
  const int bx0 = int(std::floor(x0)) - 1, by0 = int(std::floor(y0)) - 1;
  const int bx1 = int(std::ceil(x1)) + 3, by1 = int(std::ceil(y1)) + 4;
  const Shape body = roundRect(x0, y0, x1, y1, r), lowered = roundRect(x0, y0 + 1, x1, y1 + 1, r);
  img.fill(roundRect(x0 + 1, y0 + 2, x1 + 1, y1 + 2, r), alpha(cShadow, 0.55), bx0, by0, bx1, by1);
  img.fill(body, vertical(cPlateTop, cPlateBottom, y0, y1), bx0, by0, bx1, by1);
  img.fill([&](double x, double y) { return body(x, y) && !lowered(x, y); }, alpha(cHighlight, 0.9), bx0, by0, bx1,
           by1);
}

// A recessed well (displays, slot rows).
void well(Image& img, double x0, double y0, double x1, double y1, Rgba body, double r = 3) {
  // Only the pixels that the well can touch are sampled.
  const int bx0 = int(std::floor(x0)) - 1, by0 = int(std::floor(y0)) - 1;
  const int bx1 = int(std::ceil(x1)) + 2, by1 = int(std::ceil(y1)) + 2;
  const Shape rim = roundRect(x0, y0, x1, y1, r), raised = roundRect(x0, y0, x1, y1 - 1, r);
  img.fill(rim, alpha(cShadow, 0.9), bx0, by0, bx1, by1);
  img.fill(roundRect(x0 + 0.5, y0 + 1, x1 - 0.5, y1 - 0.5, r), body, bx0, by0, bx1, by1);
  img.fill([&](double x, double y) { return rim(x, y) && !raised(x, y); }, alpha(cHighlight, 0.5), bx0, by0, bx1, by1);
}

// A knob face: a tick scale over the default 300 degrees, a graphite body
// lit from the top left and a rim (in the accent colour when active).
Image knobFace(int size, bool active, bool ticks) {
  Image img(size, size);
  const double c = size / 2.0, body = ticks ? size / 2.0 - 5.5 : size / 2.0 - 1;
  if (ticks)
    for (int t = 0; t <= 10; ++t) {
      const double a = (-150.0 + t * 30.0) * cPi / 180;
      const double r0 = body + 1.5, r1 = size / 2.0 - 0.5;
      const bool major = t == 0 || t == 5 || t == 10;
      line(img, c + r0 * std::sin(a), c - r0 * std::cos(a), c + r1 * std::sin(a), c - r1 * std::cos(a),
           major ? 1.4 : 0.9, major ? cLegend : cDimLegend);
    }
  img.fill(disc(c + 0.6, c + 1.2, body), alpha(cShadow, 0.7));
  img.fill(disc(c, c, body), active ? cAmber : Rgba{22, 21, 20});
  img.fill(disc(c, c, body - 1.2), [=](double x, double y) {
    const double l = 0.5 - 0.5 * ((x - c) + (y - c)) / (2 * body);
    return mix(Rgba{40, 39, 37}, Rgba{104, 100, 94}, l);
  });
  img.fill(disc(c, c, body - 3.2), [=](double x, double y) {
    const double l = 0.5 - 0.5 * ((x - c) + (y - c)) / (2 * body);
    return mix(Rgba{58, 56, 53}, Rgba{78, 75, 70}, l);
  });
  return img;
}

// The pointer, upright: a bright bar from near the rim towards the centre.
Image knobPointer(int size, Rgba colour, double width, bool ticks) {
  Image img(size, size);
  const double c = size / 2.0, body = ticks ? size / 2.0 - 5.5 : size / 2.0 - 1;
  line(img, c, c - body + 2.5, c, c - body * 0.38, width, colour);
  return img;
}

// The ring around a main knob: a dark groove with a marker.
Image ringFace(bool active) {
  Image img(cRing, cRing);
  const double c = cRing / 2.0;
  img.fill(disc(c, c, c - 0.5), Rgba{20, 19, 18});
  img.fill(ring(c, c, cKnob / 2.0 + 1, c - 1.5), [=](double x, double y) {
    const double l = 0.5 - 0.5 * ((x - c) + (y - c)) / (2 * c);
    return mix(Rgba{44, 42, 40}, Rgba{84, 80, 75}, l);
  });
  if (active) img.fill(ring(c, c, c - 1.5, c - 0.5), cAmber);
  return img;
}
Image ringPointer(Rgba colour) {
  Image img(cRing, cRing);
  const double c = cRing / 2.0;
  img.fill(triangle(c - 3.5, 1.5, c + 3.5, 1.5, c, 7.5), colour);
  return img;
}

// A button face in three parts (caps as wide as min(height, width / 3)).
Image face(int w, int h, Rgba top, Rgba bottom, Rgba rim, double r = 3) {
  Image img(w, h);
  box(img, 0, 0, w, h, r, rim);
  box(img, 1, 1, w - 1, h - 1, r - 1, vertical(top, bottom, 1, h - 1));
  const Shape inner = roundRect(1, 1, w - 1, h - 1, r - 1);
  img.fill([&](double x, double y) { return inner(x, y) && y < 2; }, alpha(lighter(top, 40), 0.6));
  return img;
}
Image raised(int w, int h, int state) { // 0 normal, 1 hover, 2 pressed
  if (state == 2) return face(w, h, {40, 38, 36}, {58, 56, 52}, {12, 11, 10});
  if (state == 1) return face(w, h, {100, 96, 90}, {72, 69, 64}, {16, 15, 14});
  return face(w, h, {84, 80, 75}, {60, 58, 54}, {16, 15, 14});
}
// A light face, for buttons whose captions are dark (the slot banks).
Image light(int w, int h, int state) {
  if (state == 2) return face(w, h, {150, 145, 136}, {178, 172, 162}, {12, 11, 10});
  if (state == 1) return face(w, h, {232, 228, 218}, {196, 190, 180}, {16, 15, 14});
  return face(w, h, {214, 208, 196}, {172, 166, 156}, {16, 15, 14});
}

// A dark inset face (select buttons, preset name).
Image inset(int w, int h, int state) {
  if (state == 2) return face(w, h, {14, 14, 13}, {26, 25, 24}, {8, 8, 8});
  if (state == 1) return face(w, h, {34, 33, 31}, {42, 41, 38}, {90, 86, 80});
  return face(w, h, {24, 23, 22}, {34, 33, 31}, {10, 10, 9});
}

Image lamp(int size, Rgba on, bool lit) {
  Image img(size, size);
  const double c = size / 2.0, r = size / 2.0 - 0.5;
  if (lit) img.fill(disc(c, c, r), alpha(on, 0.35));
  img.fill(disc(c, c, r - 1), Rgba{10, 10, 9});
  img.fill(disc(c, c, r - 1.8), [=](double x, double y) {
    const double h = std::max(0.0, 1 - std::hypot(x - c * 0.8, y - c * 0.7) / r);
    const Rgba base = lit ? on : mix(on, Rgba{30, 29, 28}, 0.82);
    return mix(base, Rgba{255, 255, 250}, h * (lit ? 0.6 : 0.25));
  });
  return img;
}

// Glyphs drawn as overlays or into faces.
void arrowDown(Image& img, double cx, double cy, double s, Rgba c) {
  img.fill(triangle(cx - s, cy - s / 2, cx + s, cy - s / 2, cx, cy + s / 2 + 0.5), c);
}
void arrowSide(Image& img, double cx, double cy, double s, int dir, Rgba c) {
  img.fill(triangle(cx - dir * s / 2, cy - s, cx - dir * s / 2, cy + s, cx + dir * s / 2 + dir * 0.5, cy), c);
}

// A small wave form picture in the box (x, y, w, h): 0 triangle, 1 saw, 2 square.
void waveGlyph(Image& img, int kind, double x, double y, double w, double h, Rgba c) {
  std::vector<std::pair<double, double>> p;
  if (kind == 1) p = {{0, 1}, {0.5, 0}, {0.5, 1}, {1, 0}, {1, 1}};
  if (kind == 2) p = {{0, 1}, {0, 0}, {0.5, 0}, {0.5, 1}, {1, 1}, {1, 0}};
  if (kind == 0) p = {{0, 0.5}, {0.25, 0}, {0.75, 1}, {1, 0.5}};
  for (size_t i = 1; i < p.size(); ++i)
    line(img, x + p[i - 1].first * w, y + p[i - 1].second * h, x + p[i].first * w, y + p[i].second * h, 1.1, c);
}

struct Writer {
  std::string dir;
  int count = 0;
  bool ok = true;
  void operator()(const std::string& name, const Image& img) {
    ok = img.write(dir + "/" + name) && ok;
    ++count;
  }
};

void knobSet(Writer& out, const std::string& prefix, int size, bool ticks) {
  out(prefix + "NormalBack.png", knobFace(size, false, ticks));
  out(prefix + "ActiveBack.png", knobFace(size, true, ticks));
  const double w = size > 40 ? 3.2 : 2.6;
  out(prefix + "NormalOverlay.png", knobPointer(size, cPointer, w, ticks));
  out(prefix + "ActiveOverlay.png", knobPointer(size, {255, 255, 255}, w, ticks));
  out(prefix + "RotateOverlay.png", knobPointer(size, cAmber, w + 0.6, ticks));
  out(prefix + "DownOverlay.png", knobPointer(size, lighter(cAmber, 30), w + 1, ticks));
}

// look: 0 raised, 1 dark inset, 2 light.
void buttonSet(Writer& out, const std::string& name, int w, int h, int look,
               const std::function<void(Image&, int)>& glyph = nullptr) {
  static const char* const cStates[3] = {"Normal", "Active", "Down"};
  for (int s = 0; s < 3; ++s) {
    Image img = look == 1 ? inset(w, h, s) : look == 2 ? light(w, h, s) : raised(w, h, s);
    if (glyph) glyph(img, s);
    out("Button" + name + cStates[s] + ".png", img);
  }
}

// ---- the background

void background(Writer& out) {
  Image img(cWidth, cHeight, cCase);
  // Header: the name plate and the preset well.
  box(img, 0, 0, cWidth, 36, 0, vertical({40, 38, 36}, {28, 27, 26}, 0, 36));
  box(img, 0, 35, cWidth, 36, 0, alpha(cShadow, 1));
  text(img, "ZARN", 14, 6, 16, {236, 232, 222}, 0, true);
  text(img, "QUORVANE", 86, 8, 6, cDimLegend, 0, true);
  text(img, "POLYPHONIC SYNTHESIZER", 86, 18, 6, cAmber, 0, false);
  // A row of small vents between the name and the preset display.
  for (int x = 210; x < 350; x += 6) box(img, x, 13, x + 3, 24, 1.5, Rgba{16, 15, 14});

  auto titled = [&](const Panel& p, int x0, int y0, int x1, int y1, const char* title, Rgba accent) {
    plate(img, x0, y0, x1, y1);
    if (title && *title) text(img, title, p.x + 22, y0 + 2, 6, accent, 0, true);
  };
  // Top row.
  titled(cOscPanel, 2, 38, 357, 222, "", cAmber);
  text(img, "NOISE", 47, 40, 6, cAmber, 1, true);
  text(img, "OSC 1", 249, cOscWave[0].y + 2, 6, cAmber, 1, true);
  text(img, "OSC 2", 249, cOscWave[1].y + 2, 6, cAmber, 1, true);
  // The wave forms under (over) each oscillator's switch, one per stop.
  for (int o = 0; o < 2; ++o)
    for (int k = 0; k < 3; ++k) {
      const double cx = cOscWave[o].x + cHorThick / 2.0 + k * (cHorTrack - cHorThick), y0 = o == 0 ? cOscWave[0].y + cHorThick + 2.5 : cOscWave[1].y - 8.5;
      waveGlyph(img, k, cx - 4.5, y0, 9, 6, cLegend);
    }
  box(img, 102, 49, 103, 215, 0, alpha(cShadow, 0.6));
  box(img, 103, 49, 104, 215, 0, alpha(cHighlight, 0.4));
  box(img, 108, 134, 354, 135, 0, alpha(cShadow, 0.6));
  box(img, 108, 135, 354, 136, 0, alpha(cHighlight, 0.4));
  titled(cFilterPanel, 361, 38, 574, 222, "", cTeal);
  text(img, "FILTER 1", 521, 39, 6, cTeal, 1, true);
  text(img, "FILTER 2", 521, 212, 6, cTeal, 1, true);
  box(img, 364, 134, 572, 135, 0, alpha(cShadow, 0.6));
  box(img, 364, 135, 572, 136, 0, alpha(cHighlight, 0.4));
  titled(cOutputPanel, 576, 38, 638, 222, "", cAccents[4]);
  text(img, "OUTPUT", 607, 42, 6, cAccents[4], 1, true);
  // The modulation strip: eight slot units.
  box(img, 0, 223, cWidth, 319, 0, Rgba{24, 23, 22});
  for (int i = 0; i < 8; ++i) {
    const int x = cSlotW * i;
    plate(img, x + 1, 225, x + 79, 318, 4);
    well(img, x + 2, 229, x + 79, 247, {18, 17, 16}, 3);
    well(img, x + 2, 296, x + 79, 314, {18, 17, 16}, 3);
    text(img, "INV", x + 25, 286, 5, cDimLegend, 1);
  }
  // LFOs, envelopes, voices.
  for (int n = 0; n < 3; ++n) {
    const int x0 = cLfoX[n];
    plate(img, x0 + 2, 321, x0 + lfoWidth(n) - 1, 452);
  }
  plate(img, 345, 321, 638, 519);
  for (int r : {385, 451}) {
    box(img, 350, r, 634, r + 1, 0, alpha(cShadow, 0.6));
    box(img, 350, r + 1, 634, r + 2, 0, alpha(cHighlight, 0.4));
  }
  plate(img, 2, 455, 341, 519);

  for (const Legend& g : legends())
    text(img, g.text, g.x, g.y, g.size, g.accent ? (g.y > 320 && g.x < 343 ? cViolet : g.x > 343 && g.y > 320 ? cGreen : g.x > 360 ? cTeal : cAmber) : cLegend,
         g.align, g.accent);
  out("Background.png", img);
}

} // namespace

int main(int argc, char** argv) {
  const int status = zarn::tools::checkOneName(
      argc, argv, "usage: zarn-make-skin OUT_DIR\n",
      "Draws the editor's skin pictures (PNG) into OUT_DIR.\n"
      "  --help               this text\n");
  if (status >= 0) return status;
  Writer out{argv[1]};

  background(out);
  knobSet(out, "Knob", cKnob, true);
  knobSet(out, "SmallKnob", cSmallKnob, true);
  out("OuterKnobNormalBack.png", ringFace(false));
  out("OuterKnobActiveBack.png", ringFace(true));
  out("OuterKnobNormalOverlay.png", ringPointer(cPointer));
  out("OuterKnobActiveOverlay.png", ringPointer({255, 255, 255}));
  out("OuterKnobRotateOverlay.png", ringPointer(cAmber));
  out("OuterKnobDownOverlay.png", ringPointer(lighter(cAmber, 30)));

  // Switches: a dark slot and a ribbed handle.
  auto track = [](int w, int h) {
    Image img(w, h);
    box(img, 0, 0, w, h, 3, Rgba{10, 10, 9});
    box(img, 1, 1, w - 1, h - 1, 2.5, vertical({20, 19, 18}, {34, 33, 31}, 1, h - 1));
    return img;
  };
  out("SwitchHorBack.png", track(cHorTrack, cHorThick));
  out("SwitchVerBack.png", track(cVerThick, cVerTrack));
  for (int active = 0; active < 2; ++active) {
    Image h = face(cHorThick, cHorThick, active ? Rgba{232, 226, 214} : Rgba{200, 195, 186},
                   active ? Rgba{196, 188, 174} : Rgba{150, 145, 137}, {14, 13, 12}, 3);
    for (double y : {4.5, 6.5, 8.5}) box(h, 3, y - 0.5, cHorThick - 3, y, 0, alpha(cShadow, 0.45));
    out(active ? "SwitchActiveButton.png" : "SwitchNormalButton.png", h);
  }

  // Buttons.
  buttonSet(out, "Generic", 60, cGenericH, 0);
  buttonSet(out, "", 48, cSelectH, 1);
  buttonSet(out, "SlotBank", cBankW, cBankH, 2);
  {
    Image off(cBankW, cBankH), on(cBankW, cBankH);
    box(on, 1, 1, cBankW - 1, cBankH - 1, 2, alpha(lighter(cViolet, 20), 0.9));
    out("ButtonSlotBankOff.png", off);
    out("ButtonSlotBankOn.png", on);
  }
  buttonSet(out, "Bypass", cSmallButton, cSmallButton, 0);
  {
    Image off(cSmallButton, cSmallButton), on(cSmallButton, cSmallButton);
    off.fill(disc(6, 6, 2.2), Rgba{70, 66, 60});
    on.fill(disc(6, 6, 3), Rgba{255, 120, 60});
    on.fill(disc(6, 6, 4.5), alpha({255, 120, 60}, 0.3));
    out("ButtonBypassOff.png", off);
    out("ButtonBypassOn.png", on);
  }
  buttonSet(out, "Menu", cMenuSize, cMenuSize, 0,
            [](Image& img, int) { arrowDown(img, 6.5, 6.5, 3, cLegend); });
  buttonSet(out, "Clear", cSmallButton, cSmallButton, 0, [](Image& img, int) {
    line(img, 3.5, 3.5, 8.5, 8.5, 1.4, cLegend);
    line(img, 8.5, 3.5, 3.5, 8.5, 1.4, cLegend);
  });
  out("ButtonToggleBackground.png", raised(cToggleW, cToggleH, 0));
  out("ButtonToggleActive.png", raised(cToggleW, cToggleH, 1));
  out("ButtonToggleDown.png", raised(cToggleW, cToggleH, 2));
  auto toggleOverlay = [](Rgba c, bool on, int glyph) {
    Image img(cToggleW, cToggleH);
    const Rgba ink = on ? c : Rgba{110, 106, 98};
    if (on) box(img, 2, 2, cToggleW - 2, cToggleH - 2, 2, alpha(c, 0.22));
    if (glyph == 0) img.fill(disc(cToggleW / 2.0, cToggleH / 2.0, on ? 3.2 : 2.6), ink);
    if (glyph == 1) { // a note head and stem
      img.fill(disc(7.5, 10.5, 2.4), ink);
      line(img, 9.6, 10.5, 9.6, 3.5, 1.2, ink);
      line(img, 9.6, 3.5, 12.5, 5.5, 1.2, ink);
    }
    if (glyph == 2) { // bipolar (off) or unipolar (on) wave
      if (on)
        line(img, 4, 11.5, 14, 11.5, 1, alpha(ink, 0.5));
      for (int i = 0; i < 10; ++i) {
        const double x0 = 4 + i, x1 = 5 + i;
        auto y = [&](double x) {
          const double s = std::sin((x - 4) / 10 * 2 * cPi);
          return on ? 11.5 - 3.5 * (s + 1) : 8 - 3.5 * s;
        };
        img.fill(segment(x0, y(x0), x1, y(x1), 1.3), ink);
      }
    }
    return img;
  };
  out("ButtonToggleOff.png", toggleOverlay(cTeal, false, 0));
  out("ButtonToggleOn.png", toggleOverlay(cTeal, true, 0));
  out("ButtonToggleMidiOff.png", toggleOverlay(cAmber, false, 1));
  out("ButtonToggleMidiOn.png", toggleOverlay(cAmber, true, 1));
  out("ButtonToggleMonoOff.png", toggleOverlay(cViolet, false, 2));
  out("ButtonToggleMonoOn.png", toggleOverlay(cViolet, true, 2));

  // Header buttons.
  buttonSet(out, "Previous", cPreviousW, cGenericH, 0,
            [](Image& img, int) { arrowSide(img, 10, 10, 4, -1, cLegend); });
  buttonSet(out, "Presets", cPresetsW, cGenericH, 1);
  buttonSet(out, "Next", cNextW, cGenericH, 0, [](Image& img, int) { arrowSide(img, 7, 10, 4, 1, cLegend); });
  buttonSet(out, "Options", cOptionsW, cGenericH, 0, [](Image& img, int) {
    for (double x : {6.0, 10.0, 14.0}) img.fill(disc(x, 10, 1.4), cLegend);
  });
  buttonSet(out, "Display", cMenuSize, cMenuSize, 0, [](Image& img, int) {
    for (int i = 0; i < 8; ++i) {
      const double x0 = 3 + i, x1 = 4 + i;
      auto y = [](double x) { return 8.5 - 4.5 * std::exp(-(x - 6.5) * (x - 6.5) / 3) + (x > 8 ? (x - 8) * 0.6 : 0); };
      img.fill(segment(x0, y(x0), x1, y(x1), 1.2), cTeal);
    }
  });
  buttonSet(out, "NoDisplay", cMenuSize, cMenuSize, 0, [](Image& img, int) {
    for (double x : {4.5, 8.5})
      for (double y : {4.5, 8.5}) img.fill(disc(x, y, 1.5), cTeal);
  });
  // The Learn button's light is its overlay: dark while learning is off,
  // lit (with a glow) while it is on.
  buttonSet(out, "Learn", cLearnW, cToggleH, 0);
  for (int on = 0; on < 2; ++on) {
    Image img(cLearnW, cToggleH);
    if (on) img.fill(disc(8, 8, 5), alpha(cViolet, 0.3));
    img.fill(disc(8, 8, on ? 3 : 2.5), on ? lighter(cViolet, 40) : Rgba{62, 58, 72});
    out(on ? "ButtonLearnOn.png" : "ButtonLearnOff.png", img);
  }
  buttonSet(out, "LearnMenu", cMenuSize, cToggleH, 0, [](Image& img, int) { arrowDown(img, 6.5, 8, 3, cLegend); });
  for (int s = 0; s < 2; ++s) {
    Image img(cOrderW, cOrderH);
    box(img, 0, 0, cOrderW, cOrderH, 2, s ? cViolet : Rgba{96, 92, 86});
    for (double x = 4.5; x < cOrderW - 3; x += 3) img.fill(disc(x, 3, 0.8), alpha(cShadow, 0.8));
    out(s ? "ButtonSlotDragActive.png" : "ButtonSlotDragNormal.png", img);
  }

  // Source icons: a socket with a plug, lit when the source is in use.
  auto source = [](int state) {
    Image img(cSourceSize, cSourceSize);
    const double c = cSourceSize / 2.0;
    img.fill(disc(c, c, c - 0.5), Rgba{12, 11, 10});
    img.fill(disc(c, c, c - 1.5), state == 1 ? Rgba{90, 80, 120} : Rgba{62, 58, 72});
    img.fill(disc(c, c, c - 5), state == 2 ? Rgba{0, 0, 0, 0} : Rgba{20, 19, 22});
    if (state == 2) {
      img = Image(cSourceSize, cSourceSize);
      img.fill(ring(c, c, c - 3.5, c - 1.5), cViolet);
    } else {
      img.fill(disc(c, c, 2.2), cViolet);
    }
    return img;
  };
  out("SourceButtonNormal.png", source(0));
  out("SourceButtonActive.png", source(1));
  out("SourceButtonOn.png", source(2));
  out("LightOff.png", lamp(cLight, {120, 255, 110}, false));
  out("LightOn.png", lamp(cLight, {120, 255, 110}, true));
  {
    Image dot(9, 9);
    dot.fill(disc(4.5, 4.5, 4.3), Rgba{255, 255, 255, 0.35});
    dot.fill(disc(4.5, 4.5, 2.8), Rgba{255, 255, 255});
    out("DragDot.png", dot);
    Image warn(cWarning, cWarning);
    warn.fill(triangle(6, 0.5, 11.5, 11, 0.5, 11), Rgba{255, 196, 40});
    line(warn, 6, 4, 6, 7.2, 1.5, Rgba{30, 20, 0});
    warn.fill(disc(6, 9.2, 0.9), Rgba{30, 20, 0});
    out("SlotWarning.png", warn);
  }

  // The filter display and its dimmers.
  for (int i = 0; i < 2; ++i) {
    Image dim(cDisplayW, cDimmerH[i]);
    box(dim, 0, 0, cDisplayW, cDimmerH[i], 0, Rgba{20, 19, 18, 0.9});
    out(i == 0 ? "Filter1Dimmer.png" : "Filter2Dimmer.png", dim);
  }
  {
    Image d(cDisplayW, cDisplayH);
    box(d, 0, 0, cDisplayW, cDisplayH, 5, Rgba{8, 10, 10});
    box(d, 1.5, 1.5, cDisplayW - 1.5, cDisplayH - 1.5, 4, vertical({16, 26, 26}, {10, 16, 16}, 0, cDisplayH));
    for (int x = 20; x < cDisplayW; x += 24) box(d, x, 4, x + 1, cDisplayH - 4, 0, alpha(cTeal, 0.10));
    for (int y = 20; y < cDisplayH; y += 24) box(d, 4, y, cDisplayW - 4, y + 1, 0, alpha(cTeal, 0.10));
    out("DisplayBackground.png", d);
    auto handle = [](int size, Rgba c, bool active) {
      Image img(size, size);
      const double m = size / 2.0;
      if (active) img.fill(disc(m, m, m - 0.2), alpha(c, 0.35));
      img.fill(disc(m, m, m - 2), Rgba{12, 12, 12});
      img.fill(disc(m, m, m - 3), active ? lighter(c, 30) : c);
      return img;
    };
    out("DisplayMid.png", handle(11, {200, 200, 190}, false));
    out("DisplayMidActive.png", handle(11, {200, 200, 190}, true));
    out("DisplayPeak1.png", handle(13, cAmber, false));
    out("DisplayPeak1Active.png", handle(13, cAmber, true));
    out("DisplayPeak2.png", handle(13, cTeal, false));
    out("DisplayPeak2Active.png", handle(13, cTeal, true));
  }

  // The hint window (tiled along y: thirds) and the dialog.
  {
    Image fixed(cHintW, cHintH);
    box(fixed, 0, 0, cHintW, cHintH, 6, Rgba{70, 64, 40});
    box(fixed, 1, 1, cHintW - 1, cHintH - 1, 5, Rgba{252, 246, 222});
    box(fixed, 5, 8, 8, cHintH - 8, 1.5, cAmber);
    out("HelpHintBackground.png", fixed);
    Image d(cDialogW, cDialogH);
    box(d, 0, 0, cDialogW, cDialogH, 8, Rgba{10, 10, 9});
    box(d, 1, 1, cDialogW - 1, cDialogH - 1, 7, vertical({66, 63, 58}, {40, 38, 36}, 0, cDialogH));
    box(d, 16, 20, 76, 80, 10, vertical({84, 80, 75}, {52, 50, 46}, 20, 80));
    text(d, "Z", 46, 30, 24, cAmber, 1, true);
    out("DialogGeneric.png", d);
  }

  // Behind an LFO's synced rate knob: a violet arc over the knob's sweep
  // with a dot at each of the eleven note lengths.
  {
    Image s(cSyncBackW, cSyncBackH);
    const double cx = cSyncBackW / 2.0, cy = cSyncBackH / 2.0, r = cSmallKnob / 2.0 + 2.5;
    s.fill([=](double x, double y) {
      const double d = std::hypot(x - cx, y - cy);
      const double turn = std::fmod(std::atan2(x - cx, cy - y) / (2 * cPi) + 1.0, 1.0);
      return std::fabs(d - r) <= 0.6 && (turn <= 150.0 / 360 || turn >= 210.0 / 360);
    }, alpha(cViolet, 0.7));
    for (int t = 0; t <= 10; ++t) {
      const double a = (-150.0 + t * 30.0) * cPi / 180;
      s.fill(disc(cx + r * std::sin(a), cy - r * std::cos(a), t == 0 || t == 10 ? 1.6 : 1.3), cViolet);
    }
    out("BackgroundSyncKnob.png", s);
  }

  if (!out.ok) {
    std::fprintf(stderr, "zarn-make-skin: could not write the pictures into %s\n", argv[1]);
    return 1;
  }
  std::printf("zarn-make-skin: %d pictures\n", out.count);
  return 0;
}
