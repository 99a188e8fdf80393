#include "tests/gui/PngFiles.h"

#include <png.h>
#include <zlib.h>

#include <stdexcept>

namespace zarn::test {

namespace {

void appendToString(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void noFlush(png_structp) {}

} // namespace

const std::string cSignature("\x89PNG\r\n\x1a\n", 8);

std::string libpngFile(const PngImage& image, int filters, int idatSize, int level) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng failed");
  }
  png_set_write_fn(png, &out, appendToString, noFlush);
  png_set_IHDR(png, info, image.width, image.height, 8, image.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, 0, filters);
  png_set_compression_buffer_size(png, idatSize);
  png_set_compression_level(png, level);
  png_write_info(png, info);
  const size_t rowBytes = static_cast<size_t>(image.width) * (image.alpha ? 4 : 3);
  for (int y = 0; y < image.height; ++y) png_write_row(png, image.bytes.data() + y * rowBytes);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string pngChunk(const std::string& type, const std::string& data, bool rightCrc) {
  const std::string body = type + data;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return be32(static_cast<uint32_t>(data.size())) + body + be32(static_cast<uint32_t>(rightCrc ? crc : ~crc));
}

std::string ihdrChunk(uint32_t width, uint32_t height, int depth, int colourType, int compression, int filter,
                      int interlace) {
  return pngChunk("IHDR", be32(width) + be32(height) +
                              std::string{static_cast<char>(depth), static_cast<char>(colourType),
                                          static_cast<char>(compression), static_cast<char>(filter),
                                          static_cast<char>(interlace)});
}

std::string zlibBytes(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 9);
  out.resize(size);
  return out;
}

} // namespace zarn::test
