// What an open, untouched instance costs its host per audio buffer, the way
// `zarn-host edit` runs it: the synthesizer's bundle loaded by the simulated
// host, one instance on the factory library's default preset, no MIDI, one
// render call per host buffer of 512 frames (16 quanta of 32 inside), the
// sound dropped as `zarn-host edit` drops it (copied:1 copies it into the
// host's buffers, as a host that plays it would).
//
//   BM_IdleBuffer/cold:0  the buffers back to back: code and data stay in
//                         the caches (the warm figure).
//   BM_IdleBuffer/cold:1  64 MiB walked between buffers, outside the timing,
//                         as the rest of the machine does while the render
//                         thread sleeps 11 ms between two buffers: every
//                         line and page the buffer touches comes from memory.
//                         This is the figure an idle instance costs; it
//                         grows with the number of distinct cache lines and
//                         pages touched per buffer rather than with the
//                         instructions run.

#include "bench/TemporaryHome.h"
#include "tools/host/PresetByName.h"
#include "tools/host/RenderCommand.h"
#include "tools/host/SimHost.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

zarnbench::TemporaryHome& gHome = zarnbench::temporaryHome();

constexpr int kBufferFrames = 512;
constexpr size_t kEvictBytes = size_t{64} << 20;

void BM_IdleBuffer(benchmark::State& state) {
  const bool cold = state.range(0) == 1;
  const bool copied = state.range(1) == 1;
  simhost::HostOptions options;
  options.sampleRate = 44100;
  simhost::SimHost host(options);
  if (host.load(simhost::defaultBundlePath()) != 0) {
    state.SkipWithError("the bundle did not load");
    return;
  }
  simhost::Instance& in = *host.createInstance(1);
  std::string error;
  simhost::HostState preset;
  int32_t index = -1;
  if (!simhost::PresetByName::load(host, in.typeIndex(), "Default Sound", preset, error, &index) ||
      !simhost::PresetByName::choose(host, in, index, "Default Sound", error)) {
    state.SkipWithError(("the default preset: " + error).c_str());
    return;
  }
  host.idle();
  std::vector<std::vector<float>> buffers(static_cast<size_t>(in.numOutputs()),
                                          std::vector<float>(kBufferFrames, 0.0f));
  std::vector<float*> outs;
  for (auto& b : buffers) outs.push_back(b.data());
  // Settled: a few seconds of silence first.
  for (int i = 0; i < 400; ++i) host.render(in, nullptr, outs.data(), kBufferFrames);

  std::vector<uint64_t> evict(cold ? kEvictBytes / sizeof(uint64_t) : 0, 1);
  uint64_t sum = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      for (size_t i = 0; i < evict.size(); i += 8) sum += evict[i]++;
      state.ResumeTiming();
    }
    host.render(in, nullptr, copied ? outs.data() : nullptr, kBufferFrames);
    benchmark::DoNotOptimize(outs[0][0]);
  }
  benchmark::DoNotOptimize(sum);
}

} // namespace

// The walk takes milliseconds: a fixed count keeps a cold run to seconds.
BENCHMARK(BM_IdleBuffer)
    ->ArgNames({"cold", "copied"})
    ->ArgsProduct({{0}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleBuffer)
    ->ArgNames({"cold", "copied"})
    ->ArgsProduct({{1}, {0, 1}})
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);
