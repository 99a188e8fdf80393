#pragma once

// PNG files for the decoder's tests: written by libpng (the oracle), or
// built chunk by chunk for what libpng will not write.

#include <cstdint>
#include <string>
#include <vector>

namespace zarn::test {

struct PngImage {
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<uint8_t> bytes; // rows of RGB or RGBA
};

// libpng's file of image with the given row filters (PNG_FILTER_* flags)
// and compression buffer size (the largest IDAT chunk).
std::string libpngFile(const PngImage& image, int filters, int idatSize, int level = 6);

std::string be32(uint32_t v);
std::string pngChunk(const std::string& type, const std::string& data, bool rightCrc = true);
std::string ihdrChunk(uint32_t width, uint32_t height, int depth = 8, int colourType = 2, int compression = 0,
                      int filter = 0, int interlace = 0);
std::string zlibBytes(const std::string& raw);
extern const std::string cSignature;

} // namespace zarn::test
