// The toolkit's software rasteriser: fills, blits, lines, curves and
// rotation on an editor-sized surface. Items are pixels written (fills,
// blits, rotation) or primitives drawn (lines, curves).

#include "gui/MacCompatibleBitmap.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

const int kSize = 512;

std::unique_ptr<gui::MacCompatibleBitmap> surface(int w = kSize, int h = kSize) {
  auto b = std::make_unique<gui::MacCompatibleBitmap>();
  b->resize(w, h);
  b->fillRect(b->getBounds(), gui::Color(40, 50, 60, 255));
  return b;
}

void BM_FillRect(benchmark::State& state) {
  auto b = surface();
  const gui::Color colour(200, 100, 50, static_cast<unsigned char>(state.range(0)));
  for (auto _ : state) {
    b->fillRect(b->getBounds(), colour);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_FillRect)->Arg(255)->Arg(128);

// range(0): opacity; range(1): 1 when the source carries alpha.
void BM_DrawBitmap(benchmark::State& state) {
  auto target = surface();
  auto source = surface();
  source->transparent = state.range(1) != 0;
  for (auto _ : state) {
    target->drawBitmap(source.get(), target->getBounds(), gui::Point(0, 0), static_cast<int>(state.range(0)));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_DrawBitmap)->Args({255, 0})->Args({128, 0})->Args({255, 1});

// Lines across the surface in every direction; range(0) is the width in
// tenths of a pixel.
void BM_DrawLine(benchmark::State& state) {
  auto b = surface();
  const float width = state.range(0) / 10.0f;
  int i = 0;
  for (auto _ : state) {
    const double a = 0.1 * (i++ % 63);
    const gui::Point from(256 - int(250 * std::cos(a)), 256 - int(250 * std::sin(a)));
    const gui::Point to(256 + int(250 * std::cos(a)), 256 + int(250 * std::sin(a)));
    b->drawLine(b->getBounds(), from, to, gui::Color(250, 200, 100, 255), width);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawLine)->Arg(10)->Arg(40);

// A filter-response-like curve across the surface with both fills.
void BM_DrawSpline(benchmark::State& state) {
  auto b = surface();
  const gui::Cubic curve(gui::Point(0, 100), 0.5f, gui::Point(kSize, 400), -0.2f);
  for (auto _ : state) {
    b->drawSpline(curve, b->getBounds(), gui::Point(0, 0), gui::Color(250, 200, 100, 255),
                  gui::Color(30, 60, 90, 128), gui::Color(90, 60, 30, 255), 2.0f, gui::cHorizontal);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawSpline);

// A knob pointer turned, as a knob redraws.
void BM_CopyRotated(benchmark::State& state) {
  auto source = surface(64, 64);
  source->transparent = true;
  auto target = surface(64, 64);
  float angle = 0.0f;
  for (auto _ : state) {
    target->copyRotated(source.get(), angle);
    angle += 0.01f;
  }
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
BENCHMARK(BM_CopyRotated);

} // namespace
