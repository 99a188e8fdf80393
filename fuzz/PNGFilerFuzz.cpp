// PNG files as the toolkit loads its skin images: the reader registry, then
// the PNG decoder. A file either loads or is refused with the image error;
// a loaded bitmap is never larger than the decoder's limits.

#include "fuzz/FuzzSupport.h"
#include "gui/BitmapFiler.h"
#include "gui/MacCompatibleBitmap.h"
#include "gui/PNGFiler.h"
#include "tests/gui/PngFiles.h"

#include <cstdlib>
#include <random>
#include <sstream>

using namespace zarn::test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gui::MacCompatibleBitmap bitmap;
  std::istringstream s(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
  try {
    bitmap.loadFromStream(s);
  } catch (const gui::EBitmap&) {
    return 0;
  }
  if (bitmap.getWidth() > gui::PNGFiler::cMaxSide || bitmap.getHeight() > gui::PNGFiler::cMaxSide ||
      int64_t(bitmap.getWidth()) * bitmap.getHeight() > gui::PNGFiler::cMaxPixels)
    std::abort();
  return 0;
}

// Small files written by libpng in every filter mode, with tiny IDAT
// chunks, and hand-built ones with gAMA and the chunks a decoder skips.
void writeSeeds(const std::string& folder) {
  std::mt19937 rng(107);
  const int filters[] = {0x08, 0x10, 0x20, 0x40, 0x80, 0xf8}; // none, sub, up, average, Paeth, all
  int n = 0;
  for (int filter : filters)
    for (bool alpha : {false, true}) {
      PngImage im{1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 9), alpha, {}};
      im.bytes.resize(static_cast<size_t>(im.width) * im.height * (alpha ? 4 : 3));
      for (uint8_t& b : im.bytes) b = static_cast<uint8_t>(rng() % 4 ? rng() : 255);
      fuzz::writeFile(folder + "/libpng-" + std::to_string(n) + ".png", libpngFile(im, filter, 16 + n * 4));
      ++n;
    }
  const std::string rows = std::string("\0\x10\x20\x30\x40\x50\x60\x02\x70\x80\x90\xa0\xb0\xc0", 14);
  const std::string z = zlibBytes(rows);
  fuzz::writeFile(folder + "/gamma.png", cSignature + ihdrChunk(2, 2) + pngChunk("gAMA", be32(45455)) +
                                             pngChunk("tEXt", std::string("Title\0Knob", 10)) +
                                             pngChunk("IDAT", z.substr(0, 4)) + pngChunk("IDAT", z.substr(4)) +
                                             pngChunk("IEND", ""));
  fuzz::writeFile(folder + "/rgba.png", cSignature + ihdrChunk(1, 2, 8, 6) +
                                            pngChunk("IDAT", zlibBytes(std::string("\0\1\2\3\4\x04\5\6\7\x80", 10))) +
                                            pngChunk("IEND", ""));
}
