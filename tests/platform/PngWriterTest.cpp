#include "platform/PngWriter.h"
#include "platform/SignalCleanup.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

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
  std::string error;
  EXPECT_FALSE(writePngFile(dir.file("missing/sheet.png"), w, h, rgba.data(), true, &error));
  EXPECT_EQ(error, "cannot write " + dir.file("missing/sheet.png") + ": No such file or directory");
  EXPECT_FALSE(writePngFile(dir.file("none.png"), 0, 3, rgba.data(), true, &error));
  EXPECT_EQ(error, "cannot write " + dir.file("none.png") + ": a picture of 0 x 3 cannot be made a PNG file");
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.png")));
}

namespace {

// A picture of some size, its bytes all different enough to fill a file
// of several kilobytes.
struct Picture {
  static constexpr int w = 64, h = 48;
  std::vector<uint8_t> rgba = std::vector<uint8_t>(w * h * 4);
  Picture() {
    uint32_t x = 12345;
    for (uint8_t& b : rgba) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
  }
  std::string file() const {
    const std::vector<unsigned char> png = encodePng(w, h, rgba.data(), false);
    return std::string(png.begin(), png.end());
  }
  bool write(const std::string& path, std::string* error = nullptr) const {
    return writePngFile(path, w, h, rgba.data(), false, error);
  }
};

} // namespace

// A picture is saved as every other file of the user's: through the same
// table of what may stand at its name.
TEST(PngWriterTest, APictureIsSavedAsEveryFileOfTheUsers) {
  const Picture picture;
  zarn::test::expectReplacedFilesKept([&](const std::string& path) { return picture.write(path); }, picture.file());
  zarn::test::Saver saver;
  saver.write = [&](const std::string& path, const std::function<void()>&) { return picture.write(path); };
  saver.written = picture.file();
  zarn::test::expectOnlyRegularFilesSaved(saver);
}

// A FIFO at the name is refused at once, in words, and stays a FIFO: an
// open for writing would wait there for a reader for ever. In a child, so
// that a wait fails the test instead of hanging it.
TEST(PngWriterTest, AFifoAtTheNameIsRefusedAtOnce) {
  zarn::test::TempDir dir("png");
  ASSERT_EQ(::mkfifo(dir.file("sheet.png").c_str(), 0644), 0);
  const Picture picture;
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    std::string error;
    return picture.write(dir.file("sheet.png"), &error) ? std::string("written") : error;
  }, 20);
  EXPECT_TRUE(r.finished) << "the write waited on the FIFO";
  EXPECT_EQ(r.output, "cannot write " + dir.file("sheet.png") + ": it is a FIFO (a named pipe), not a regular file");
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("sheet.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A write cut short (here by the file size limit, whose signal ends the
// program) leaves the old picture whole and no part of the new one, in a
// program that holds a SignalCleanup, as every tool that draws does.
TEST(PngWriterTest, AWriteCutShortLeavesTheOldPictureWhole) {
  zarn::test::TempDir dir("png");
  const Picture picture;
  const std::string old(20000, 'o');
  dir.write("sheet.png", old);
  ASSERT_GT(picture.file().size(), 8192u);
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    const rlimit none{0, 0}, small{4096, 4096};
    ::setrlimit(RLIMIT_CORE, &none);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const platform::SignalCleanup cleanup;
    std::string error;
    return picture.write(dir.file("sheet.png"), &error) ? std::string("written") : error;
  });
  EXPECT_NE(r.output, "written");
  const std::string after = dir.read("sheet.png");
  EXPECT_TRUE(after == old) << "the picture holds " << after.size() << " bytes, not the old " << old.size();
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"sheet.png"});
}
