#include "gui/PNGFiler.h"

#include "base/PlatformUtils.h"
#include "gui/Bitmap.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <vector>

namespace gui {

namespace {

const unsigned char cSignatureBytes[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t networkOrder32(const unsigned char* b) {
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}

} // namespace

const unsigned char* const cPNGSignature = cSignatureBytes;

float PNGFiler::sGamma = -1.0f;
int PNGFiler::sGammaTable[256];

PNGFilerFactory::PNGFilerFactory() { Bitmap::registerFilerFactory(this); }

BitmapFiler* PNGFilerFactory::createFiler(Bitmap* bitmap, std::istream& s) {
  unsigned char start[8];
  s.read(reinterpret_cast<char*>(start), 8);
  if (s.gcount() != 8 || std::memcmp(start, cPNGSignature, 8) != 0) return nullptr;
  return new PNGFiler(bitmap);
}

PNGFiler::~PNGFiler() { endDecompress(); }

void PNGFiler::checkTrue(bool condition) {
  if (!condition) throw EBitmap("Invalid PNG image");
}

void PNGFiler::readExactly(unsigned char* to, std::streamsize count) {
  stream->read(reinterpret_cast<char*>(to), count);
  checkTrue(stream->gcount() == count);
}

void PNGFiler::load(std::istream& s) {
  stream = &s;
  readSignature();
  readHeader();
  readGamma();
  readImage();
}

void PNGFiler::readSignature() {
  unsigned char start[8] = {};
  stream->read(reinterpret_cast<char*>(start), 8);
  if (stream->gcount() != 8 || std::memcmp(start, cPNGSignature, 8) != 0) throw EBitmap("Invalid PNG signature");
  nextChunk = stream->tellg();
  checkTrue(nextChunk >= 0);
}

void PNGFiler::readChunk() {
  stream->clear();
  stream->seekg(nextChunk);
  checkTrue(!stream->fail());
  unsigned char header[8];
  readExactly(header, 8);
  const uint32_t length = networkOrder32(header);
  checkTrue(length < 0x80000000u);
  chunk.length = static_cast<int32_t>(length);
  std::memcpy(chunk.type, header + 4, 4);
  remaining = chunk.length;
  const std::streamoff dataStart = stream->tellg();
  checkTrue(dataStart >= 0);
  nextChunk = dataStart + length + 4; // data and checksum
}

bool PNGFiler::chunkIs(const char* type) const { return std::memcmp(chunk.type, type, 4) == 0; }

void PNGFiler::readHeader() {
  readChunk();
  checkTrue(chunkIs("IHDR"));
  unsigned char h[13];
  readExactly(h, 13);
  const uint32_t w = networkOrder32(h), ht = networkOrder32(h + 4);
  const int depth = h[8], colourType = h[9];
  const bool supported = w >= 1 && ht >= 1 && w <= cMaxSide && ht <= cMaxSide &&
                         int64_t(w) * int64_t(ht) <= cMaxPixels && depth == 8 &&
                         (colourType == 2 || colourType == 6) && h[10] == 0 && h[11] == 0 && h[12] == 0;
  if (!supported) throw EBitmap(h[12] != 0 ? "Unsupported PNG format: interlaced" : "Unsupported PNG format");
  width = static_cast<int>(w);
  height = static_cast<int>(ht);
  bytesPerPixel = colourType == 6 ? 4 : 3;
  bitmap->resize(width, height);
}

void PNGFiler::readGamma() {
  float gamma = 1.0f;
  for (;;) {
    const std::streamoff start = nextChunk;
    readChunk();
    const bool found = chunkIs("gAMA");
    if (found && chunk.length >= 4) {
      unsigned char v[4];
      readExactly(v, 4);
      const uint32_t g = networkOrder32(v);
      // 0 would blacken every colour, 2^31 and more is no gamma any writer
      // means (and read as signed, a negative one).
      if (g > 0 && g < 0x80000000u)
        gamma = Bitmap::sContrast / (static_cast<float>(g) * 0.00001f * getDefaultGammaCorrection());
    }
    if (found || chunkIs("IDAT") || chunkIs("IEND")) {
      nextChunk = start;
      break;
    }
  }
  if (std::fabs(gamma - sGamma) > 1.1920929e-7f) {
    sGamma = gamma;
    for (int i = 0; i < 256; ++i) {
      const float v = powf(static_cast<float>(i) * 0.003921569f, gamma) * 255.0f;
      sGammaTable[i] = !(v > 0.0f) ? 0 : v >= 255.0f ? 255 : static_cast<int>(v);
    }
  }
}

void PNGFiler::readImage() {
  do {
    readChunk();
    checkTrue(!chunkIs("IEND")); // no image data at all
  } while (!chunkIs("IDAT"));
  startDecompress();

  const int rowBytes = width * bytesPerPixel + 1;
  std::vector<Color> row(static_cast<size_t>(width));
  std::vector<unsigned char> buffers[2] = {std::vector<unsigned char>(rowBytes), std::vector<unsigned char>(rowBytes)};
  bool translucent = false;
  for (int y = 0; y < height; ++y) {
    unsigned char* current = buffers[y % 2].data();
    const unsigned char* previous = buffers[(y + 1) % 2].data();
    readLine(current);
    unfilter(current, previous);
    const unsigned char* p = current + 1;
    for (int x = 0; x < width; ++x, p += bytesPerPixel) {
      Color& c = row[static_cast<size_t>(x)];
      c.r = static_cast<unsigned char>(sGammaTable[p[0]]);
      c.g = static_cast<unsigned char>(sGammaTable[p[1]]);
      c.b = static_cast<unsigned char>(sGammaTable[p[2]]);
      c.a = bytesPerPixel == 4 ? p[3] : 255;
      translucent |= c.a < 255;
    }
    writeLineToBitmap(y, row.data());
  }
  bitmap->transparent = translucent;
  endDecompress();
}

void PNGFiler::startDecompress() {
  inflateState = static_cast<z_stream_s*>(std::calloc(1, sizeof(z_stream)));
  if (!inflateState) throw std::bad_alloc();
  readBuffer();
  checkTrue(inflateInit(inflateState) == Z_OK);
}

void PNGFiler::readBuffer() {
  while (remaining == 0) {
    readChunk();
    checkTrue(chunkIs("IDAT"));
  }
  const int n = std::min(remaining, static_cast<int>(sizeof inputBuffer));
  readExactly(inputBuffer, n);
  remaining -= n;
  inflateState->next_in = inputBuffer;
  inflateState->avail_in = static_cast<uInt>(n);
}

void PNGFiler::readLine(unsigned char* row) {
  inflateState->next_out = row;
  inflateState->avail_out = static_cast<uInt>(width * bytesPerPixel + 1);
  while (inflateState->avail_out > 0) {
    if (inflateState->avail_in == 0) readBuffer();
    const int result = inflate(inflateState, Z_SYNC_FLUSH);
    if (result == Z_STREAM_END) {
      checkTrue(inflateState->avail_out == 0);
      break;
    }
    checkTrue(result == Z_OK);
  }
}

void PNGFiler::unfilter(unsigned char* current, const unsigned char* previous) {
  const int n = width * bytesPerPixel, bpp = bytesPerPixel;
  unsigned char* row = current + 1;
  const unsigned char* up = previous + 1;
  switch (current[0]) {
  case 1:
    for (int i = bpp; i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
    break;
  case 2:
    for (int i = 0; i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + up[i]);
    break;
  case 3:
    for (int i = 0; i < n; ++i) {
      const int a = i >= bpp ? row[i - bpp] : 0;
      row[i] = static_cast<unsigned char>(row[i] + ((a + up[i]) >> 1));
    }
    break;
  case 4:
    for (int i = 0; i < n; ++i) {
      const unsigned char a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
      row[i] = static_cast<unsigned char>(row[i] + paethPredictor(a, up[i], c));
    }
    break;
  default: // None, and types no writer uses: the row stays as it is
    break;
  }
}

unsigned char PNGFiler::paethPredictor(unsigned char a, unsigned char b, unsigned char c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

void PNGFiler::endDecompress() {
  if (!inflateState) return;
  inflateEnd(inflateState);
  std::free(inflateState);
  inflateState = nullptr;
}

} // namespace gui
