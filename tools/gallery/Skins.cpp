#include "tools/gallery/Skins.h"

#include "gui/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace gallery {

namespace {

using gui::Bitmap;
using gui::Color;

constexpr double cPi = 3.14159265358979;

struct Rgba {
  double r, g, b, a;
};

// What covers the point (x, y) (pixel units, pixel centres at .5).
typedef std::function<Rgba(double x, double y)> Shader;

// Averages 16 samples per pixel, premultiplied, and stores the rows as they
// are, alpha included.
void render(Bitmap* b, int width, int height, const Shader& shade) {
  b->resize(width, height);
  std::vector<Color> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double r = 0, g = 0, bl = 0, a = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          const Rgba c = shade(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
          r += c.r * c.a;
          g += c.g * c.a;
          bl += c.b * c.a;
          a += c.a;
        }
      auto byte = [](double v) { return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0) + 0.5); };
      row[static_cast<size_t>(x)] = a > 0 ? Color(byte(r / a), byte(g / a), byte(bl / a), byte(a / 16 * 255))
                                          : Color(0, 0, 0, 0);
    }
    b->writeLine(y, row.data());
  }
  b->transparent = true;
}

// Distance from p to the segment a-b.
double segmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// A rounded rectangle with a vertical gradient and a one-pixel rim.
Shader buttonFace(int width, int height, Rgba top, Rgba bottom, Rgba rim) {
  return [=](double x, double y) -> Rgba {
    const double radius = 4;
    const double cx = std::clamp(x, radius, width - radius), cy = std::clamp(y, radius, height - radius);
    const double d = std::hypot(x - cx, y - cy);
    if (d > radius) return {0, 0, 0, 0};
    const double t = y / height;
    Rgba c{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t, top.b + (bottom.b - top.b) * t, 1};
    const double edge = std::min({x, y, width - x, height - y});
    if (d > radius - 1 || edge < 1) c = rim;
    return c;
  };
}

Shader lamp(double size, Rgba body) {
  return [=](double x, double y) -> Rgba {
    const double c = size / 2, r = std::hypot(x - c, y - c);
    const double inner = size / 2 - 1.5;
    if (r <= inner) {
      // A highlight up and left.
      const double h = std::max(0.0, 1 - std::hypot(x - c * 0.7, y - c * 0.6) / (inner * 0.9));
      return {body.r + (255 - body.r) * h * 0.6, body.g + (255 - body.g) * h * 0.6,
              body.b + (255 - body.b) * h * 0.6, 1};
    }
    if (r <= size / 2) return {20, 18, 16, 1};
    return {body.r, body.g, body.b, 0};
  };
}

} // namespace

void makeKnobSkin(gui::Knob::Style& style, int size) {
  const double c = size / 2.0, body = size / 2.0 - 5;
  auto face = [=](Rgba rim) {
    return [=](double x, double y) -> Rgba {
      const double dx = x - c, dy = y - c, r = std::hypot(dx, dy);
      Rgba out{0, 0, 0, 0};
      // The scale: 11 ticks over the sweep from 7 to 5 o'clock.
      if (r > body + 1 && r < c - 0.5) {
        const double turn = std::fmod(std::atan2(dy, dx) / (2 * cPi) + 0.25 + 1.0, 1.0);
        for (int t = 0; t <= 10; ++t) {
          const double a = std::fmod(210.0 / 360 + t * 30.0 / 360, 1.0);
          double diff = std::fabs(turn - a);
          diff = std::min(diff, 1 - diff);
          const double width = (t == 0 || t == 5 || t == 10) ? 1.4 : 0.9;
          if (diff * 2 * cPi * r < width / 2) out = {200, 196, 186, 1};
        }
      }
      if (r <= body) {
        // Brushed graphite lit from the top left, with a bevelled rim.
        const double light = 0.5 - 0.5 * (dx + dy) / (2 * body);
        const double g = 52 + 40 * light;
        out = {g, g * 0.98, g * 0.95, 1};
        if (r > body - 2) out = rim;
        else if (r > body - 3.5) out = {g + 30, g + 30, g + 28, 1};
      }
      return out;
    };
  };
  render(style.background, size, size, face({28, 27, 26, 1}));
  render(style.activeBackground, size, size, face({235, 140, 40, 1}));
  auto pointer = [=](Rgba colour, double width) {
    return [=](double x, double y) -> Rgba {
      const double d = segmentDistance(x, y, c, c - body + 4, c, c - body * 0.35);
      return d < width / 2 ? colour : Rgba{colour.r, colour.g, colour.b, 0};
    };
  };
  render(style.pointer, size, size, pointer({236, 230, 214, 1}, 3));
  render(style.activePointer, size, size, pointer({255, 255, 250, 1}, 3));
  render(style.grabPointer, size, size, pointer({255, 160, 50, 1}, 4));
  render(style.dragPointer, size, size, pointer({255, 205, 70, 1}, 4.5));
  style.outerRadius = 0;
  style.deriveRadius();
}

void makeButtonSkin(gui::Button::Style& style, int height) {
  const int width = 3 * height;
  const Rgba rim{70, 68, 64, 1}, deepRim{40, 38, 36, 1};
  render(style.normal, width, height, buttonFace(width, height, {214, 210, 202, 1}, {168, 163, 155, 1}, rim));
  render(style.hover, width, height, buttonFace(width, height, {232, 228, 220, 1}, {186, 181, 172, 1}, rim));
  // Pressed: darker and lit from below, as if pushed in.
  render(style.pressed, width, height, buttonFace(width, height, {150, 146, 140, 1}, {186, 181, 173, 1}, deepRim));
  const int lampSize = height / 2;
  render(style.overlayOff, lampSize, lampSize, lamp(lampSize, {70, 40, 30, 1}));
  render(style.overlayOn, lampSize, lampSize, lamp(lampSize, {255, 90, 30, 1}));
  style.margin = 6;
  style.textColor = Color(30, 28, 26, 255);
}

void makeMenuButtonSkin(gui::Button::Style& style, int height) {
  makeButtonSkin(style, height);
  auto arrow = [](double x, double y) -> Rgba {
    // A small triangle pointing down.
    const bool in = y >= 2 && y <= 6 && std::fabs(x - 4.5) <= (6 - y) * 0.9 + 0.2;
    return {40, 38, 36, in ? 1.0 : 0.0};
  };
  render(style.overlayOff, 9, 8, arrow);
  render(style.overlayOn, 9, 8, arrow);
  style.alignment = 2;
  style.margin = 7;
  style.textOffset = -6;
}

void makeSwitchSkin(gui::Switch::Style& style, int length, int thickness, bool vertical) {
  const int w = vertical ? thickness : length, h = vertical ? length : thickness;
  const int hw = vertical ? thickness : length / 2, hh = vertical ? length / 2 : thickness;
  auto track = [=](double x, double y) -> Rgba {
    const double edge = std::min({x, y, w - x, h - y});
    if (edge < 1) return {30, 29, 28, 1};
    // A groove along the middle.
    const double across = vertical ? std::fabs(x - w / 2.0) : std::fabs(y - h / 2.0);
    if (across < 1.5) return {15, 14, 13, 1};
    return {78, 75, 70, 1};
  };
  render(style.background, w, h, track);
  render(style.handle, hw, hh, buttonFace(hw, hh, {228, 224, 216, 1}, {170, 165, 156, 1}, {40, 38, 36, 1}));
  render(style.handleRollover, hw, hh, buttonFace(hw, hh, {250, 236, 210, 1}, {225, 170, 100, 1}, {40, 38, 36, 1}));
}

void makeLightSkin(gui::Light::Style& style, int size) {
  render(style.offBitmap, size, size, lamp(size, {60, 45, 20, 1}));
  render(style.onBitmap, size, size, lamp(size, {120, 255, 90, 1}));
}

void makeHintImage(gui::Bitmap* bitmap, int width, int height) {
  render(bitmap, width, height, buttonFace(width, height, {252, 246, 222, 1}, {240, 230, 196, 1}, {150, 140, 110, 1}));
}

} // namespace gallery
