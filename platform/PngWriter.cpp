#include "platform/PngWriter.h"

#include "platform/ReplacingFile.h"

#include <png.h>

#include <cstring>

namespace {

bool describe(png_image& image, int width, int height, const uint8_t* rgba, bool withAlpha,
              std::vector<uint8_t>& rgb) {
  if (!rgba || width < 1 || height < 1 || width > 0x7fffffff / 4) return false;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  if (!withAlpha) {
    // The simplified writer takes rows in the file's own format.
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    rgb.resize(count * 3);
    for (std::size_t i = 0; i < count; ++i) std::memcpy(&rgb[i * 3], rgba + i * 4, 3);
  }
  return true;
}

} // namespace

std::vector<unsigned char> encodePng(int width, int height, const uint8_t* rgba, bool withAlpha) {
  png_image image;
  std::vector<uint8_t> rgb;
  if (!describe(image, width, height, rgba, withAlpha, rgb)) return {};
  const void* rows = withAlpha ? static_cast<const void*>(rgba) : rgb.data();
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rows, 0, nullptr) || size == 0) {
    png_image_free(&image);
    return {};
  }
  std::vector<unsigned char> file(size);
  if (!png_image_write_to_memory(&image, file.data(), &size, 0, rows, 0, nullptr)) {
    png_image_free(&image);
    return {};
  }
  file.resize(size);
  return file;
}

bool writePngFile(const std::string& path, int width, int height, const uint8_t* rgba, bool withAlpha,
                  std::string* error) {
  const std::vector<unsigned char> png = encodePng(width, height, rgba, withAlpha);
  if (png.empty()) {
    if (error)
      *error = "cannot write " + path + ": a picture of " + std::to_string(width) + " x " + std::to_string(height) +
               (rgba ? "" : " without pixels") + " cannot be made a PNG file";
    return false;
  }
  platform::ReplacingFile file;
  if (file.create(path) && file.writeAll(png.data(), png.size()) && file.commit()) return true;
  if (error) *error = file.error();
  return false;
}
