#include "gui/Bitmap.h"
#include "gui/MacCompatibleBitmap.h"
#include "gui/PNGFiler.h"
#include "tests/gui/PngFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <sys/stat.h>

using namespace zarn::test;

namespace {

struct Counter {
  int n = 0;
  void count(void*) { ++n; }
};

// Loads bytes into a new bitmap; the EBitmap message, or "" when it loaded.
std::string load(const std::string& bytes, gui::MacCompatibleBitmap& b) {
  std::istringstream s(bytes);
  try {
    b.loadFromStream(s);
    return "";
  } catch (const gui::EBitmap& e) {
    return e.what();
  }
}

// The decoded pixels as the bytes of the image (alpha 255 for RGB files).
bool samePixels(gui::Bitmap& b, const PngImage& image) {
  if (b.getWidth() != image.width || b.getHeight() != image.height) return false;
  const int bpp = image.alpha ? 4 : 3;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const gui::Color c = b.getPixel(gui::Point(x, y));
      const uint8_t* p = &image.bytes[(y * image.width + x) * bpp];
      if (c.r != p[0] || c.g != p[1] || c.b != p[2] || c.a != (bpp == 4 ? p[3] : 255)) return false;
    }
  return true;
}

PngImage randomImage(std::mt19937& rng, int maxSide, bool alpha) {
  PngImage im;
  im.width = std::uniform_int_distribution<int>(1, maxSide)(rng);
  im.height = std::uniform_int_distribution<int>(1, maxSide)(rng);
  im.alpha = alpha;
  im.bytes.resize(static_cast<size_t>(im.width) * im.height * (alpha ? 4 : 3));
  // Smooth gradients (which the filters predict well) or noise.
  const bool noise = rng() % 2;
  const bool opaque = rng() % 3 == 0;
  for (size_t i = 0; i < im.bytes.size(); ++i) {
    const bool isAlpha = alpha && i % 4 == 3;
    im.bytes[i] = static_cast<uint8_t>(isAlpha && opaque ? 255 : noise ? rng() : (i * 7 + (i / 97) * 3));
  }
  return im;
}

// A 2 x 2 RGB image: the raw bytes of its rows, each after a filter type 0.
const std::string cRows = std::string("\0", 1) + "\x10\x20\x30\x40\x50\x60" + std::string("\0", 1) + "\x70\x80\x90\xa0\xb0\xc0";
const PngImage cRowsImage{2, 2, false, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xa0, 0xb0, 0xc0}};

std::string file(const std::string& chunks) { return cSignature + ihdrChunk(2, 2) + chunks; }
std::string idat(const std::string& z) { return pngChunk("IDAT", z); }
const std::string cIend = pngChunk("IEND", "");

} // namespace

TEST(PNGFilerTest, DecodesWhatLibpngWritesInEveryFilterModeSizeAndChunking) {
  std::mt19937 rng(21);
  const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH, PNG_ALL_FILTERS};
  for (int round = 0; round < 120; ++round) {
    const bool alpha = round % 2;
    const PngImage image = randomImage(rng, round < 100 ? 24 : 300, alpha);
    const int idat = round % 3 == 0 ? 8 + static_cast<int>(rng() % 20) : 8192; // chunk edges inside rows
    const std::string bytes = libpngFile(image, filters[round % 6], idat, static_cast<int>(rng() % 10));
    gui::MacCompatibleBitmap b;
    Counter changes;
    b.onChange = NotifyEvent::bind(&changes, &Counter::count);
    ASSERT_EQ(load(bytes, b), "") << "round " << round;
    EXPECT_TRUE(samePixels(b, image)) << "round " << round << " filter " << filters[round % 6];
    bool translucent = false;
    for (size_t i = 3; alpha && i < image.bytes.size(); i += 4) translucent |= image.bytes[i] < 255;
    EXPECT_EQ(b.transparent.get(), translucent);
    EXPECT_EQ(changes.n, 1) << "one change for the whole load";
  }
}

TEST(PNGFilerTest, HandBuiltFilesGetTheResultsTheDecoderPromises) {
  const std::string z = zlibBytes(cRows);
  std::string unknownFilter = cRows;
  unknownFilter[7] = 9; // second row: filter type 9
  std::string sub = cRows;
  sub[7] = 1;
  struct Case {
    const char* what;
    std::string bytes;
    std::string result; // "" decodes to cRowsImage (or `check` holds)
    std::function<bool(gui::Bitmap&)> check = nullptr;
  };
  const std::string garbage("\x13\x37 garbage \xff\xff\xff\xff", 14);
  const Case cases[] = {
      {"plain", file(idat(z) + cIend), ""},
      {"wrong checksums", cSignature + pngChunk("IHDR", ihdrChunk(2, 2).substr(8, 13), false) +
                              pngChunk("IDAT", z, false) + pngChunk("IEND", "", false), ""},
      {"unknown filter type leaves the row", file(idat(zlibBytes(unknownFilter)) + cIend), ""},
      {"Sub filter", file(idat(zlibBytes(sub)) + cIend), "",
       [](gui::Bitmap& b) { const gui::Color c = b.getPixel(gui::Point(1, 1));
         return c.r == 0x10 && c.g == 0x30 && c.b == 0x50 && c.a == 255; }},
      {"data split over IDATs, empty ones among them", file(idat(z.substr(0, 3)) + idat("") + idat(z.substr(3)) + cIend), ""},
      {"a chunk between IDATs while data remain", file(idat(z.substr(0, 5)) + pngChunk("tEXt", "a\0b") + idat(z.substr(5)) + cIend),
       "Invalid PNG image"},
      {"chunks after the image data", file(idat(z) + pngChunk("tEXt", "k\0v") + idat("") + cIend), ""},
      {"garbage after IEND", file(idat(z) + cIend) + garbage, ""},
      {"no IEND at all", file(idat(z)), ""},
      {"IHDR not first", cSignature + pngChunk("gAMA", be32(45455)) + ihdrChunk(2, 2) + idat(z) + cIend, "Invalid PNG image"},
      {"zero width", cSignature + ihdrChunk(0, 2) + idat(z) + cIend, "Unsupported PNG format"},
      {"zero height", cSignature + ihdrChunk(2, 0) + idat(z) + cIend, "Unsupported PNG format"},
      {"16-bit", cSignature + ihdrChunk(2, 2, 16) + idat(z) + cIend, "Unsupported PNG format"},
      {"4-bit", cSignature + ihdrChunk(2, 2, 4) + idat(z) + cIend, "Unsupported PNG format"},
      {"palette", cSignature + ihdrChunk(2, 2, 8, 3) + idat(z) + cIend, "Unsupported PNG format"},
      {"grey", cSignature + ihdrChunk(2, 2, 8, 0) + idat(z) + cIend, "Unsupported PNG format"},
      {"grey and alpha", cSignature + ihdrChunk(2, 2, 8, 4) + idat(z) + cIend, "Unsupported PNG format"},
      {"interlaced", cSignature + ihdrChunk(2, 2, 8, 2, 0, 0, 1) + idat(z) + cIend,
       "Unsupported PNG format: interlaced"},
      {"other compression", cSignature + ihdrChunk(2, 2, 8, 2, 1) + idat(z) + cIend, "Unsupported PNG format"},
      {"other filter method", cSignature + ihdrChunk(2, 2, 8, 2, 0, 1) + idat(z) + cIend, "Unsupported PNG format"},
      {"16385 wide", cSignature + ihdrChunk(16385, 1) + idat(z) + cIend, "Unsupported PNG format"},
      {"8193 x 8193", cSignature + ihdrChunk(8193, 8193) + idat(z) + cIend, "Unsupported PNG format"},
      {"2^31 wide", cSignature + ihdrChunk(0x80000000u, 1) + idat(z) + cIend, "Unsupported PNG format"},
      {"no IDAT before IEND", file(cIend + idat(z)), "Invalid PNG image"},
      {"no IDAT, no IEND", file(pngChunk("tEXt", "a\0b")), "Invalid PNG image"},
      {"truncated zlib data", file(idat(z.substr(0, z.size() / 2)) + cIend), "Invalid PNG image"},
      {"zlib data ending early", file(idat(zlibBytes(cRows.substr(0, 10))) + cIend), "Invalid PNG image"},
      {"not zlib data", file(idat("\x12\x34\x56\x78\x9a") + cIend), "Invalid PNG image"},
      {"chunk length 2^31", file(be32(0x80000000u) + "IDAT" + z + cIend), "Invalid PNG image"},
      {"chunk length past the end", file(be32(0x7fffffff) + "tEXt" + garbage), "Invalid PNG image"},
      {"IDAT longer than the file", file(be32(4000) + "IDAT" + z), "Invalid PNG image"},
      {"signature only", cSignature, "Invalid PNG image"},
      {"short IHDR at the end", cSignature + ihdrChunk(2, 2).substr(0, 15), "Invalid PNG image"},
      {"not a PNG", "GIF89a" + garbage, "Unknown file format"},
      {"empty", "", "Unknown file format"},
  };
  for (const Case& c : cases) {
    gui::MacCompatibleBitmap b;
    EXPECT_EQ(load(c.bytes, b), c.result) << c.what;
    if (c.result.empty()) {
      EXPECT_TRUE(c.check ? c.check(b) : samePixels(b, cRowsImage)) << c.what;
    }
  }
  gui::MacCompatibleBitmap b;
  try {
    b.loadFromFile("/nonexistent/zarn.png");
    ADD_FAILURE() << "a missing file loaded";
  } catch (const gui::EBitmap& e) {
    EXPECT_STREQ(e.what(), "Unknown file format");
  }
}

TEST(PNGFilerTest, GammaComesFromAUsableGamaChunkBeforeTheImageData) {
  const std::string z = zlibBytes(cRows);
  const auto withGamma = [&](uint32_t g, bool afterIdat = false) {
    const std::string gama = pngChunk("gAMA", be32(g));
    return afterIdat ? file(idat(z) + gama + cIend) : file(pngChunk("tEXt", "x") + gama + idat(z) + cIend);
  };
  gui::MacCompatibleBitmap b;
  ASSERT_EQ(load(withGamma(45455), b), "");
  const float gamma = 1.0f / (45455 * 0.00001f * 1.8f);
  EXPECT_NEAR(gui::PNGFiler::sGamma, 1.2222f, 1e-4f);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(gui::PNGFiler::sGammaTable[i], static_cast<int>(powf(i * 0.003921569f, gamma) * 255.0f)) << i;
  EXPECT_EQ(b.getPixel(gui::Point(0, 0)).r, gui::PNGFiler::sGammaTable[0x10]);
  // Without gAMA, with a gAMA after the image data or with an unusable value
  // (0 would blacken everything, 2^31 and more is no gamma), each byte maps
  // to itself.
  for (const std::string& bytes : {file(idat(z) + cIend), withGamma(45455, true), withGamma(0), withGamma(0x80000000u), withGamma(0xffffffffu)}) {
    ASSERT_EQ(load(withGamma(45455), b), "");
    ASSERT_EQ(load(bytes, b), "");
    EXPECT_EQ(gui::PNGFiler::sGamma, 1.0f);
    EXPECT_TRUE(samePixels(b, cRowsImage));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(gui::PNGFiler::sGammaTable[i], i);
  }
  // The largest usable value gives a tiny gamma, the smallest a huge one;
  // the table stays within a byte.
  for (uint32_t g : {1u, 0x7fffffffu}) {
    ASSERT_EQ(load(withGamma(g), b), "");
    for (int i = 0; i < 256; ++i) {
      EXPECT_GE(gui::PNGFiler::sGammaTable[i], 0);
      EXPECT_LE(gui::PNGFiler::sGammaTable[i], 255);
    }
  }
}

TEST(PNGFilerTest, TruncatedAndMutatedFilesDecodeOrThrowTheImageError) {
  std::mt19937 rng(22);
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    PngImage im = randomImage(rng, 9, i % 2);
    files.push_back(libpngFile(im, i % 2 ? PNG_ALL_FILTERS : PNG_FILTER_PAETH, 16));
  }
  files.push_back(file(pngChunk("gAMA", be32(45455)) + idat(zlibBytes(cRows)) + cIend));
  int decoded = 0, refused = 0;
  const auto attempt = [&](const std::string& bytes) {
    gui::MacCompatibleBitmap b;
    std::istringstream s(bytes);
    try {
      b.loadFromStream(s);
      ++decoded;
    } catch (const gui::EBitmap&) {
      ++refused;
    } catch (const std::bad_alloc&) {
      ++refused; // a mutated size the bitmap would not take
    }
  };
  for (const std::string& f : files)
    for (size_t n = 0; n < f.size(); ++n) attempt(f.substr(0, n));
  for (int m = 0; m < 3000; ++m) {
    std::string f = files[rng() % files.size()];
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % f.size();
      switch (rng() % 4) {
      case 0: f[at] = static_cast<char>(rng()); break;
      case 1: f[at] = static_cast<char>(f[at] ^ (1 << (rng() % 8))); break;
      case 2: f.erase(at, 1 + rng() % 8); break;
      default: f.insert(at, std::string(1 + rng() % 8, static_cast<char>(rng()))); break;
      }
      if (f.empty()) f = "x";
    }
    attempt(f);
  }
  EXPECT_GT(decoded, 100); // checksums are not checked: many mutants still decode
  EXPECT_GT(refused, 1000);
}
