#pragma once

// An 8-bit RGBA colour, red first in memory, not premultiplied; alpha 255 is
// opaque. Mixing goes through the multiply table, so every term is floored
// on its own exactly as the drawing code floors it.

#include "gui/BlendTables.h"

namespace gui {

struct Color {
  unsigned char r;
  unsigned char g;
  unsigned char b;
  unsigned char a;

  // Transparent black.
  Color() : r(0), g(0), b(0), a(0) {}
  // Opaque grey.
  Color(unsigned char grey) : r(grey), g(grey), b(grey), a(255) {}
  Color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) : r(r), g(g), b(b), a(a) {}

  bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  bool operator!=(const Color& o) const { return !(*this == o); }

  // amount 0-255 of other mixed into this colour, every channel (alpha too)
  // M[this][255 - amount] + M[other][amount]: 0 gives this colour, 255 other.
  // amount outside 0-255 is taken as the nearer end.
  Color blend(const Color& other, int amount) const {
    amount = clampByte(amount);
    const int keep = 255 - amount;
    return Color(static_cast<unsigned char>(mul(r, keep) + mul(other.r, amount)),
                 static_cast<unsigned char>(mul(g, keep) + mul(other.g, amount)),
                 static_cast<unsigned char>(mul(b, keep) + mul(other.b, amount)),
                 static_cast<unsigned char>(mul(a, keep) + mul(other.a, amount)));
  }
  // The same colour with its alpha scaled by amount / 255.
  Color dilute(int amount) const { return Color(r, g, b, mul(a, clampByte(amount))); }

  static int clampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
};

} // namespace gui
