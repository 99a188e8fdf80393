#pragma once
// Reads the pictures the host's commands write.

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hosttest {

// An 8-bit RGB PNG file's pixels, rows from the top; empty when unreadable.
inline std::vector<uint8_t> readRgbPng(const std::string& path, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return pixels;
}

} // namespace hosttest
