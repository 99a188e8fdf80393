#include "platform/PngWriter.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <vector>

namespace {

// Decoded by libpng's own reader into RGBA.
std::vector<uint8_t> decode(const std::vector<unsigned char>& file, int& width, int& height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
  image.format = PNG_FORMAT_RGBA;
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

} // namespace

TEST(PngWriterTest, ImagesComeBackFromAnIndependentDecoder) {
  const int w = 7, h = 3;
  std::vector<uint8_t> rgba(w * h * 4);
  for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37 + 5);

  int width = 0, height = 0;
  EXPECT_EQ(rgba, decode(encodePng(w, h, rgba.data()), width, height));
  EXPECT_EQ(w * 100 + h, width * 100 + height);

  std::vector<uint8_t> opaque = rgba;
  for (std::size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  EXPECT_EQ(opaque, decode(encodePng(w, h, rgba.data(), false), width, height));

  zarn::test::TempDir dir;
  ASSERT_TRUE(writePngFile(dir.file("sheet.png"), w, h, rgba.data()));
  const std::string file = dir.read("sheet.png");
  EXPECT_EQ(rgba, decode(std::vector<unsigned char>(file.begin(), file.end()), width, height));

  EXPECT_TRUE(encodePng(0, 3, rgba.data()).empty());
  EXPECT_TRUE(encodePng(3, 3, nullptr).empty());
  EXPECT_FALSE(writePngFile(dir.file("missing/sheet.png"), w, h, rgba.data()));
}
