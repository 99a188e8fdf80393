#pragma once

// Pictures in a format of our own, as the bundle's resources hold them (the
// picture and pixel-pattern resources): the four bytes "ZPIC", then the
// width and the height as big-endian 16-bit numbers, then width x height
// pixels of four bytes each (red, green, blue, alpha), rows from the top. A
// pixel whose alpha is below 128 is a hole: drawing leaves what is beneath.

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

class PortPicture {
public:
  PortPicture(int width, int height, std::vector<uint8_t> rgba);

  // Nothing when the bytes are no well-formed picture.
  static std::optional<PortPicture> decode(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> encode() const;

  int width() const { return mWidth; }
  int height() const { return mHeight; }
  // The four bytes of pixel (x, y); no bounds test.
  const uint8_t* at(int x, int y) const { return &mPixels[(static_cast<size_t>(y) * mWidth + x) * 4]; }

private:
  int mWidth, mHeight;
  std::vector<uint8_t> mPixels;
};

} // namespace platform
