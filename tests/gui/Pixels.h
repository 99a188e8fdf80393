#pragma once

// Small helpers of the toolkit's drawing tests: bitmaps filled with a known
// pattern and whole-image comparisons.

#include "gui/MacCompatibleBitmap.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace gui {
inline void PrintTo(const Color& c, std::ostream* os) {
  *os << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
}
} // namespace gui

namespace zarn::test {

// Every pixel exactly fill, alpha included.
inline std::unique_ptr<gui::MacCompatibleBitmap> makeBitmap(int width, int height, gui::Color fill) {
  auto b = std::make_unique<gui::MacCompatibleBitmap>();
  b->resize(width, height);
  std::vector<gui::Color> row(static_cast<std::size_t>(width), fill);
  for (int y = 0; y < height; ++y) b->writeLine(y, row.data());
  return b;
}

// A bitmap whose every pixel differs from its neighbours, opaque.
inline std::unique_ptr<gui::MacCompatibleBitmap> makePattern(int width, int height) {
  auto b = makeBitmap(width, height, gui::Color(0));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      b->setPixel(gui::Point(x, y), gui::Color(static_cast<unsigned char>(x * 7 + y), static_cast<unsigned char>(y * 5),
                                               static_cast<unsigned char>(x ^ y), 255));
  return b;
}

inline std::vector<uint32_t> pixelsOf(const gui::Bitmap& b) {
  const uint32_t* p = b.getPixels();
  return std::vector<uint32_t>(p, p + static_cast<std::size_t>(b.getWidth()) * b.getHeight());
}

} // namespace zarn::test
