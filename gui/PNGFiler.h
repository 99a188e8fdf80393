#pragma once

// The toolkit's PNG reader. It reads what the skins use, 8-bit RGB and RGBA
// without interlace, and refuses the rest:
//
//   signature, IHDR first, chunks up to the first of gAMA, IDAT or IEND
//   (a gAMA there sets the gamma), then the image data of the IDAT chunks,
//   which may be split anywhere, inflated as one stream with zlib, each
//   row's filter undone (None, Sub, Up, Average, Paeth; an unknown filter
//   type leaves the row as it is) and its colours put through the gamma
//   table (alpha untouched).
//
// Checksums are not checked; nothing after the last row's data is read, so
// chunks after the image data, and garbage after IEND, do no harm. A chunk
// other than IDAT where image data are still missing is an invalid image.
//
// The file is not trusted: a chunk length of 2^31 or more, a seek that
// fails or a short read is "Invalid PNG image"; more than cMaxSide pixels a
// side or cMaxPixels in all is "Unsupported PNG format", before any memory
// is taken for the pixels. Only a gAMA value with 0 < g < 2^31 is used, and
// the table entries are clamped to 0-255.
//
// The gamma table is shared by all loads and rebuilt only when a file's
// gamma differs from the last one: gamma = Bitmap::sContrast / (g / 100000
// x the platform's default gamma correction), 1 without gAMA.

#include "gui/BitmapFiler.h"

#include <cstdint>
#include <ios>

struct z_stream_s;

namespace gui {

// The 8 bytes every PNG file starts with.
extern const unsigned char* const cPNGSignature;

class PNGFilerFactory : public BitmapFilerFactory {
public:
  // Registers itself with Bitmap::registerFilerFactory.
  PNGFilerFactory();
  BitmapFiler* createFiler(Bitmap* bitmap, std::istream& s) override;
};

class PNGFiler : public BitmapFiler {
public:
  static constexpr int cMaxSide = 16384;
  static constexpr int64_t cMaxPixels = int64_t(1) << 26; // 64 Mi, 8192 x 8192

  // The gamma the table was last built for (-1 before the first load) and
  // the table.
  static float sGamma;
  static int sGammaTable[256];

  explicit PNGFiler(Bitmap* bitmap) : BitmapFiler(bitmap) {}
  ~PNGFiler() override;

  void load(std::istream& s) override;

private:
  void readSignature();
  void readHeader();
  void readGamma();
  void readImage();
  void readChunk();
  bool chunkIs(const char* type) const;
  void readBuffer();
  void startDecompress();
  void readLine(unsigned char* row);
  void unfilter(unsigned char* current, const unsigned char* previous);
  static unsigned char paethPredictor(unsigned char a, unsigned char b, unsigned char c);
  void endDecompress();
  // Throws "Invalid PNG image" unless condition holds.
  static void checkTrue(bool condition);
  // Reads exactly count bytes or throws "Invalid PNG image".
  void readExactly(unsigned char* to, std::streamsize count);

  unsigned char inputBuffer[1024] = {};
  struct {
    int32_t length = 0;
    char type[4] = {};
  } chunk;
  int remaining = 0;
  int height = 0;
  std::streamoff nextChunk = 0;
  int bytesPerPixel = 0;
  std::istream* stream = nullptr;
  int width = 0;
  z_stream_s* inflateState = nullptr;
};

} // namespace gui
