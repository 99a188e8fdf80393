#include "platform/PortPicture.h"

#include <cstring>

namespace platform {

PortPicture::PortPicture(int width, int height, std::vector<uint8_t> rgba)
    : mWidth(width), mHeight(height), mPixels(std::move(rgba)) {
  mPixels.resize(static_cast<size_t>(width) * height * 4);
}

std::optional<PortPicture> PortPicture::decode(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 8 || std::memcmp(bytes.data(), "ZPIC", 4) != 0) return std::nullopt;
  int width = bytes[4] << 8 | bytes[5];
  int height = bytes[6] << 8 | bytes[7];
  size_t size = static_cast<size_t>(width) * height * 4;
  if (width == 0 || height == 0 || bytes.size() - 8 != size) return std::nullopt;
  return PortPicture(width, height, std::vector<uint8_t>(bytes.begin() + 8, bytes.end()));
}

std::vector<uint8_t> PortPicture::encode() const {
  std::vector<uint8_t> out(8 + mPixels.size());
  const uint8_t header[8] = {'Z', 'P', 'I', 'C', static_cast<uint8_t>(mWidth >> 8), static_cast<uint8_t>(mWidth),
                             static_cast<uint8_t>(mHeight >> 8), static_cast<uint8_t>(mHeight)};
  std::memcpy(out.data(), header, 8);
  std::memcpy(out.data() + 8, mPixels.data(), mPixels.size());
  return out;
}

} // namespace platform
