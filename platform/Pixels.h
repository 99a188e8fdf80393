#pragma once

// A view of 32-bit pixels that someone else owns: rows from the top, each
// pixel four bytes in the order red, green, blue, alpha (the toolkit's own
// order), rowPixels pixels from the start of one row to the next. The
// drawing context and the text engine draw into such a view; neither owns
// nor frees the memory.

#include <bit>
#include <cstdint>
#include <cstring>

namespace platform {

// Copies n RGBA pixels and makes them opaque (alpha 0xFF, the colour bytes
// as they are), a pixel a word.
inline void copyOpaque(uint8_t* d, const uint8_t* s, int n) {
  constexpr uint32_t alpha = std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;
  for (int i = 0; i < n; ++i, s += 4, d += 4) {
    uint32_t p;
    std::memcpy(&p, s, 4);
    p |= alpha;
    std::memcpy(d, &p, 4);
  }
}

struct Pixels {
  uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int rowPixels = 0;

  Pixels() = default;
  Pixels(void* data, int width, int height, int rowPixels)
      : data(static_cast<uint8_t*>(data)), width(width), height(height), rowPixels(rowPixels) {}

  bool isEmpty() const { return !data || width < 1 || height < 1; }
  // The four bytes of pixel (x, y); no bounds test.
  uint8_t* at(int x, int y) const { return data + (static_cast<int64_t>(y) * rowPixels + x) * 4; }
};

} // namespace platform
