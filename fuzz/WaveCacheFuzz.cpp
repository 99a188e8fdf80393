// The wave-table cache ("Zarn.dat") as the oscillators' style reads it at
// start-up. The file is 4 MB, far beyond what a fuzzer mutates well, so an
// input is a list of edits to a good cache file:
//
//   byte 0        flags: bit 0 makes the checksum match the edited content,
//                 bit 1 cuts the file after byte `cut`, bit 2 takes the rest
//                 of the input as the whole file instead
//   bytes 1..4    cut (little-endian), for bit 1
//   then edits    offset (3 bytes, little-endian, within the file), length
//                 (1 byte), that many bytes written there
//
// A file that loads must hold only values the tables can reach.

#include "fuzz/FuzzSupport.h"
#include "wave/OscillatorStyle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using Style = Oscillator::Style;

// The synthesizer's shape values.
void customize(Style& style) {
  style.customizeTriangle(0.7f, 0.45f, 0.02f);
  style.customizeSawtooth(0.5f);
  style.customizeSquare(0.6f, 0.5f);
  style.customizeNoise(0.2f, 0.0006f);
}

// The good file, kept on disk; an input's edits are written into it and
// undone afterwards, so an input costs what reading the file costs.
struct Cache {
  std::string path;
  std::string good;
  std::string file; // what is on disk
  Style* style = new Style();
  int fd = -1;
  Cache() {
    path = fuzz::scratchFolder() + "/Zarn.dat";
    customize(*style);
    style->initialize(path);
    good = fuzz::readFile(path);
    if (good.size() != static_cast<size_t>(Style::cCacheFileSize)) std::abort();
    file = good;
    fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) std::abort();
  }
  void put(size_t at, const char* bytes, size_t length) {
    std::memcpy(file.data() + at, bytes, length);
    if (::pwrite(fd, bytes, length, static_cast<off_t>(at)) != static_cast<ssize_t>(length)) std::abort();
  }
  void resize(size_t size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) std::abort();
  }
};

Cache& cache() {
  static Cache* c = new Cache();
  return *c;
}

uint32_t le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

void checkLoaded(const Style& style) {
  const float triangle = 2.0f * style.getPeakBound(Oscillator::Triangle) + 1e-5f;
  const float sawtooth = 2.0f * style.getPeakBound(Oscillator::Sawtooth) + 1e-5f;
  for (int i = 0; i < Oscillator::cTableCount; ++i)
    for (int j = i % 7; j < Oscillator::cTableStride; j += 7)
      if (!(std::fabs(style.triangleTables[i][j]) <= triangle) || !(std::fabs(style.sawtoothTables[i][j]) <= sawtooth))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  Cache& c = cache();
  const uint8_t flags = data[0];
  if (flags & 4) {
    const std::string path = fuzz::writeScratchFile("Whole.dat", data + 5, size - 5);
    if (c.style->loadTables(path)) checkLoaded(*c.style);
    return 0;
  }
  struct Undo {
    size_t at;
    std::string old;
  };
  std::vector<Undo> undo;
  for (size_t at = 5; at + 4 <= size;) {
    const size_t offset = le(data + at, 3) % c.file.size();
    const size_t length = std::min<size_t>({data[at + 3], size - at - 4, c.file.size() - offset});
    undo.push_back({offset, c.file.substr(offset, length)});
    c.put(offset, reinterpret_cast<const char*>(data + at + 4), length);
    at += 4 + length;
  }
  const size_t body = c.file.size() - 4;
  if (flags & 1) {
    const uint32_t crc = static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(c.file.data()), static_cast<uInt>(body)));
    undo.push_back({body, c.file.substr(body)});
    const char trailer[4] = {char(crc), char(crc >> 8), char(crc >> 16), char(crc >> 24)};
    c.put(body, trailer, 4);
  }
  const bool cut = (flags & 2) && le(data + 1, 4) < c.file.size();
  if (cut) c.resize(le(data + 1, 4));

  if (c.style->loadTables(c.path)) checkLoaded(*c.style);

  if (cut) {
    c.resize(c.file.size());
    const size_t from = le(data + 1, 4);
    c.put(from, c.file.data() + from, c.file.size() - from);
  }
  for (auto u = undo.rbegin(); u != undo.rend(); ++u) c.put(u->at, u->old.data(), u->old.size());
  return 0;
}

void prepare() { cache(); }

void writeSeeds(const std::string& folder) {
  // The good file unchanged; its header rewritten whole (checksum fixed);
  // the file cut in the middle of the tables; a small file of its own.
  const std::string header = cache().good.substr(0, 28);
  fuzz::writeFile(folder + "/unchanged", std::string(5, '\0'));
  std::string rewrite = std::string("\x01\0\0\0\0", 5) + std::string("\0\0\0\x1c", 4) + header;
  fuzz::writeFile(folder + "/header", rewrite);
  fuzz::writeFile(folder + "/cut", std::string("\x02\x00\x00\x20\x00", 5));
  fuzz::writeFile(folder + "/whole", std::string("\x04\0\0\0\0", 5) + header + std::string(64, '\0'));
}
