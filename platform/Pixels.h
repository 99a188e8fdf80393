#pragma once

// A view of 32-bit pixels that someone else owns: rows from the top, each
// pixel four bytes in the order red, green, blue, alpha (the toolkit's own
// order), rowPixels pixels from the start of one row to the next. The
// drawing context and the text engine draw into such a view; neither owns
// nor frees the memory.

#include <cstdint>

namespace platform {

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
