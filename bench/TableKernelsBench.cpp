// The table-reading kernels: the filter's output clip (a waveshaper over a
// function table, in runs of 32 samples) in its four-lane and
// scalar forms, and the envelope's segment player. Items are samples: the
// figure is samples per second.

#include "wave/FunctionTable.h"
#include "wave/TableKernels.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr int kBlock = 1024;
constexpr int kRun = 32;

struct Atan : FunctionTableFunction {
  double operator()(double x) const override { return std::atan(x); }
};

struct ClipSetup {
  FunctionTable<float> table;
  alignas(16) float input[kBlock];
  alignas(16) float work[kBlock];
  float scales[kBlock / kRun];
  float gains[kBlock / kRun];
  int runs[kBlock / kRun];
  ClipSetup() {
    table.initialize(8192, Atan(), -40.0f, 40.0f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-20.0f, 20.0f);
    for (float& x : input) x = dist(rng);
    for (int r = 0; r < kBlock / kRun; ++r) {
      scales[r] = 0.1f;
      gains[r] = 10.0f;
      runs[r] = kRun;
    }
  }
};

ClipSetup& clipSetup() {
  static ClipSetup instance;
  return instance;
}

template <bool Fast>
void BM_clip(benchmark::State& state) {
  ClipSetup& s = clipSetup();
  const FunctionTable<float>& t = s.table;
  for (auto _ : state) {
    if (Fast)
      vectorConvertBlockScaledRunsFast(t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(),
                                       t.getMask(), s.input, s.scales, s.gains, s.runs, s.work, kBlock);
    else
      vectorConvertBlockScaledRunsCpp(t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(),
                                      t.getMask(), s.input, s.scales, s.gains, s.runs, s.work, kBlock);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_clip<true>)->Name("vectorConvertBlockScaledRunsFast");
BENCHMARK(BM_clip<false>)->Name("vectorConvertBlockScaledRunsCpp");

struct Ramp : FunctionTableFunction {
  double operator()(double x) const override { return x * x; }
};

void BM_vectorConvertRangeCpp(benchmark::State& state) {
  FunctionTable<float> t;
  t.initialize(4096, Ramp(), 0.0f, 1.0f);
  alignas(16) float out[kBlock];
  for (auto _ : state) {
    float position = 0.0f;
    // A segment of four blocks: the position never reaches the end.
    for (int block = 0; block < 4; ++block)
      vectorConvertRangeCpp(t.getValues(), t.getMinArgument(), t.getScale(), t.getPoints() - 1, position,
                            1.0f / (5 * kBlock), out, kBlock, 0.0f, 1.0f);
    benchmark::DoNotOptimize(position);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 4 * kBlock);
}
BENCHMARK(BM_vectorConvertRangeCpp);

} // namespace
