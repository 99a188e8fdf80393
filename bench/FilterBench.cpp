// The state-variable filter through the graph, as a voice uses it: one
// filter on its own unit (one lane, scalar kernels) against four filters
// sharing a unit (four lanes in one vector pass), at 12 and 24 dB, with a
// steady cut-off (one coefficient run per block) and a modulated one (a
// run every 32 samples). The counter ns_per_sample_lane is the cost of one
// sample of one filter, in nanoseconds; items are filter samples.

#include "wave/Environment.h"
#include "wave/GenericFilter.h"
#include "wave/StateVariableFilter.h"
#include "wave/StateVariableFilterKernels.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kBlock = 256;

// Noise, the same block after block.
class Noise : public wave::Source {
public:
  explicit Noise(wave::Environment* env, unsigned seed) : wave::Source(env) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    for (int i = 0; i < kBlock; ++i) ownBlock->data[i] = d(rng);
  }
  void produce(wave::Block*, int, int) override {}
};

// A cut-off moving as under an envelope (an octave in 500 samples), up and
// down within the block: a new run at every 32nd sample.
class Sweep : public wave::Source {
public:
  explicit Sweep(wave::Environment* env) : wave::Source(env) {
    for (int i = 0; i < kBlock; ++i) ownBlock->data[i] = 10.0f + 0.002f * (i < kBlock / 2 ? i : kBlock - i);
  }
  void produce(wave::Block*, int, int) override {}
};

struct Voices {
  Voices(int lanes, int slope, bool modulated) : env(kBlock), sweep(&env) {
    env.setSampleRate(48000.0f);
    shared = std::make_unique<StateVariableFilter>(&env);
    for (int l = 0; l < lanes; ++l) {
      sources.push_back(std::make_unique<Noise>(&env, 1 + l));
      filters.push_back(std::make_unique<GenericFilter>(&env));
      GenericFilter& f = *filters.back();
      f.setInput(sources.back().get());
      if (lanes == 1) {
        own = std::make_unique<StateVariableFilter>(&env);
        f.setFilter(own.get());
      } else {
        f.setParallelFilter(shared.get());
      }
      f.slope = GenericFilter::Slope(slope);
      f.frequency.getParameter().setInterpolated(9.0f + l, 0.0f);
      f.peak.getParameter().setInterpolated(0.6f, 0.0f);
      if (modulated) f.frequency.setController(&sweep);
    }
  }
  void render() {
    env.beginBlock();
    for (auto& f : filters) benchmark::DoNotOptimize(f->pull(kBlock, 0)->data[0]);
    env.endBlock(kBlock);
  }
  wave::Environment env;
  Sweep sweep;
  std::unique_ptr<StateVariableFilter> shared;
  std::unique_ptr<StateVariableFilter> own;
  std::vector<std::unique_ptr<Noise>> sources;
  std::vector<std::unique_ptr<GenericFilter>> filters;
};

// Arguments: lanes (1 or 4), slope (1 = 12 dB, 2 = 24 dB), modulated (0/1).
void BM_StateVariableFilter(benchmark::State& state) {
  const int lanes = static_cast<int>(state.range(0));
  Voices v(lanes, static_cast<int>(state.range(1)), state.range(2) != 0);
  for (auto _ : state) v.render();
  const double samples = static_cast<double>(state.iterations()) * kBlock * lanes;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  // Seconds per lane-sample, shown in nanoseconds.
  state.counters["ns_per_sample_lane"] =
      benchmark::Counter(samples / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StateVariableFilter)
    ->ArgNames({"lanes", "slope", "modulated"})
    ->ArgsProduct({{1, 4}, {1, 2}, {0, 1}});

// The clipped cascade kernel on 32 lanes (eight groups of four, each with a
// run of its own per block, as held notes give): as two passes of sixteen
// lanes (sets 1) against one pass over both sets (sets 2). Argument count:
// samples per call (the render's blocks are 32); avx512 0 keeps the kernels
// to the 256-bit unit, as on processors without the 512-bit one; stages:
// sections per lane (2 is the 24 dB slope), so that the pass's fixed cost
// (transposes, runs, clipper) shows apart from what each stage adds.
void BM_FilterCascadeSets(benchmark::State& state) {
  const int sets = static_cast<int>(state.range(0));
  const int count = static_cast<int>(state.range(1));
  const bool allow512 = state.range(2) != 0;
  const int stages = static_cast<int>(state.range(3));
  const StateVariableFilter::ClipTable clipper(1.0f);
  const FunctionTable<float>& t = clipper.getTable();
  const VectorFilterClip clip = {t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(), t.getMask()};
  constexpr int kGroups = 8;
  const int stride = 4 * count;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-0.5f, 0.5f);
  struct Group {
    std::vector<float> f, q, g, s, a;
    int run;
    std::vector<float> data[4];
    float low[16] = {}, band[16] = {}; // four states per stage
  };
  std::vector<Group> groups(kGroups);
  VectorFilterLanes lanes[kGroups];
  for (int h = 0; h < kGroups; ++h) {
    Group& gr = groups[static_cast<size_t>(h)];
    gr.run = count;
    gr.f.assign(4, 0.05f + 0.01f * static_cast<float>(h));
    gr.q.assign(static_cast<size_t>(stages * stride), 0.7f);
    gr.g.assign(4, 0.01f);
    gr.s.assign(4, 0.1f);
    gr.a.assign(4, 10.0f);
    for (auto& lane : gr.data) {
      lane.resize(static_cast<size_t>(count) + 16);
      for (float& v : lane) v = d(rng);
    }
    // The block in place, as the filter's lane outputs take it.
    lanes[h] = {{gr.data[0].data(), gr.data[1].data(), gr.data[2].data(), gr.data[3].data()},
                {gr.data[0].data(), gr.data[1].data(), gr.data[2].data(), gr.data[3].data()},
                gr.f.data(),
                gr.q.data(),
                gr.g.data(),
                &gr.run,
                gr.low,
                gr.band,
                gr.s.data(),
                gr.a.data()};
  }
  for (auto _ : state) {
    if (sets == 2) {
      vectorFilterCascadeClippedWideQuad(lanes, 1.0f, stride, stages, cVectorFilterLowPass, clip, count, allow512);
    } else {
      vectorFilterCascadeClippedWidePair(lanes, 1.0f, stride, stages, cVectorFilterLowPass, clip, count, allow512);
      vectorFilterCascadeClippedWidePair(lanes + 4, 1.0f, stride, stages, cVectorFilterLowPass, clip, count,
                                         allow512);
    }
    benchmark::ClobberMemory();
  }
  const double samples = static_cast<double>(state.iterations()) * count * 4 * kGroups;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["ns_per_sample_lane"] =
      benchmark::Counter(samples / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// The 24 dB slope at both block sizes; one and four stages at 32.
BENCHMARK(BM_FilterCascadeSets)
    ->ArgNames({"sets", "count", "avx512", "stages"})
    ->ArgsProduct({{1, 2}, {32, 256}, {1, 0}, {2}})
    ->ArgsProduct({{1, 2}, {32}, {1, 0}, {1, 4}});

} // namespace
