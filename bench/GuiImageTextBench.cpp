// Loading a skin image and setting labels: pixels decoded per second for a
// PNG the size of a large skin image, and labels measured or rendered per
// second.

#include "gui/MacCompatibleBitmap.h"
#include "gui/MacText.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace {

std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string chunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  return be32(static_cast<uint32_t>(data.size())) + body +
         be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// An RGBA image of soft gradients with every row Paeth-filtered, the way
// image editors save skins.
std::string skinPng(int w, int h) {
  std::string raw;
  std::string prev(static_cast<size_t>(w) * 4, '\0'), row(prev);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      row[x * 4] = static_cast<char>(x + y);
      row[x * 4 + 1] = static_cast<char>(x * 2);
      row[x * 4 + 2] = static_cast<char>(y * 3);
      row[x * 4 + 3] = static_cast<char>(x < 4 ? x * 60 : 255);
    }
    raw += '\4';
    for (int i = 0; i < w * 4; ++i) {
      const int a = i >= 4 ? static_cast<unsigned char>(row[i - 4]) : 0, b = static_cast<unsigned char>(prev[i]),
                c = i >= 4 ? static_cast<unsigned char>(prev[i - 4]) : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      raw += static_cast<char>(static_cast<unsigned char>(row[i]) - pred);
    }
    prev = row;
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string z(size, '\0');
  compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6);
  z.resize(size);
  const std::string ihdr = be32(static_cast<uint32_t>(w)) + be32(static_cast<uint32_t>(h)) + std::string("\x08\x06\0\0\0", 5);
  std::string file("\x89PNG\r\n\x1a\n", 8);
  file += chunk("IHDR", ihdr);
  for (size_t at = 0; at < z.size(); at += 8192) file += chunk("IDAT", z.substr(at, 8192));
  return file + chunk("IEND", "");
}

void BM_PNGLoad(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::string file = skinPng(side, side);
  gui::MacCompatibleBitmap b;
  for (auto _ : state) {
    std::istringstream s(file);
    b.loadFromStream(s);
    benchmark::DoNotOptimize(b.getPixels());
  }
  state.SetItemsProcessed(state.iterations() * side * side); // pixels
}
BENCHMARK(BM_PNGLoad)->Arg(64)->Arg(512);

// A value label that changes its text: measured only, or rendered too.
void BM_TextLabel(benchmark::State& state) {
  const bool render = state.range(0) != 0;
  gui::MacText t;
  t.size = 9;
  int i = 0;
  for (auto _ : state) {
    t.text = std::to_string(1000 + (i++ % 9000)) + " Hz";
    if (render) benchmark::DoNotOptimize(t.getBitmap());
    else benchmark::DoNotOptimize(t.getWidth());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextLabel)->Arg(0)->Arg(1);

} // namespace
