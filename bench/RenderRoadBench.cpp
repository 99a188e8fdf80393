// The road that renders, as `zarn-host render` takes it: the synthesizer's
// bundle loaded by the simulated host, one instance, the default preset of
// the factory library (which the plug-in installs into a fresh temporary
// home), Total Voices 32, 32-sample quanta, every MIDI message queued at its
// offset.
//
//   BM_RenderHeld/N   N keys held (1, 8, 32); ns_per_voice_sample = (CPU
//                     time per sample with the keys held - the same without
//                     keys) / N, and realtime = seconds of audio per CPU
//                     second with the keys held.
//   BM_RenderHeavy/N  the same with the heavy patch (bench/heavy.patch: both
//                     filters at 24 dB, sync, noise, slots 1-8 used) set
//                     over the default preset, and the plain preset measured
//                     beside it in alternating rounds: heavy_over_plain is
//                     the ratio of their costs per voice-sample (8 and 32
//                     keys: the plain preset gains more from wide passes).
//                     ZARN_BENCH_PATCH=FILE takes FILE's settings instead.
//   BM_RenderDemo     the demo song, whole; realtime as above.
//   BM_BlockTimes     32 keys held, one key struck and another released
//                     every 6 quanta, 100,000 quanta: the time of each
//                     render call, median, p99, p99.9 and max in us, and
//                     p99_within_budget: 1 when p99 is below 150 us. The
//                     time is the rendering thread's CPU time, so that on a
//                     shared machine the moments the thread waits for a core
//                     are not counted as the plug-in's; wall_p99_us gives
//                     the wall time's p99 beside it.
//   BM_FirstChord     a fresh instance's first chord of 32 keys: the time
//                     of the quantum in which they are struck and the page
//                     faults the render thread takes in it (first_us,
//                     first_faults), and the same chord struck again once
//                     every voice has sounded (again_us, again_faults);
//                     medians of 7 instances.

#include "bench/TemporaryHome.h"
#include "tools/host/ControlByName.h"
#include "tools/host/HostState.h"
#include "tools/host/PresetByName.h"
#include "tools/host/RenderCommand.h"
#include "tools/host/SimHost.h"
#include "tools/render/MidiFile.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#ifndef ZARN_SOURCE_DIR
#define ZARN_SOURCE_DIR "."
#endif

namespace {

constexpr int kQuantum = 32;
constexpr double kRate = 44100.0;
const char* const kDefaultPreset = "Default Sound";

double seconds(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double cpuSeconds() { return seconds(CLOCK_PROCESS_CPUTIME_ID); }

// The heavy patch's settings, one "NAME=VALUE" a line ('#' starts a
// comment line), as bench/compare passes them to zarn-host render.
std::vector<std::string> heavyPatch() {
  std::vector<std::string> settings;
  // ZARN_BENCH_PATCH names another file of settings, to weigh a part of
  // the patch against the plain preset.
  const char* other = std::getenv("ZARN_BENCH_PATCH");
  std::ifstream file(other && *other ? std::string(other) : std::string(ZARN_SOURCE_DIR) + "/bench/heavy.patch");
  for (std::string line; std::getline(file, line);)
    if (!line.empty() && line[0] != '#') settings.push_back(line);
  return settings;
}

// One loaded bundle and an instance on the default preset with 32 voices,
// plus the given settings; a second instance beside it on request (the
// simulated host is one per process).
class Road {
public:
  explicit Road(benchmark::State& state, const std::vector<std::string>& extra = {}) {
    simhost::HostOptions options;
    options.sampleRate = static_cast<int32_t>(kRate);
    host = std::make_unique<simhost::SimHost>(options);
    if (host->load(simhost::defaultBundlePath()) != 0) {
      state.SkipWithError("the bundle did not load");
      return;
    }
    for (auto& b : buffers) b.assign(kQuantum, 0.0f);
    for (auto& b : buffers) outs.push_back(b.data());
    in = addInstance(state, extra);
  }
  simhost::Instance* addInstance(benchmark::State& state, const std::vector<std::string>& extra) {
    simhost::Instance* made = host->createInstance(1);
    std::string error;
    simhost::HostState preset;
    if (!simhost::PresetByName::load(*host, made->typeIndex(), kDefaultPreset, preset, error) ||
        !preset.restore(*host, *made, error)) {
      state.SkipWithError(("the default preset: " + error).c_str());
      return nullptr;
    }
    std::vector<std::string> settings{"Total Voices=32"};
    settings.insert(settings.end(), extra.begin(), extra.end());
    for (const std::string& text : settings) {
      simhost::ControlSetting setting;
      if (!simhost::parseControlSetting(text, setting, error) ||
          !simhost::applyControlSetting(*host, *made, setting, error)) {
        state.SkipWithError((text + ": " + error).c_str());
        return nullptr;
      }
    }
    host->idle();
    renderQuanta(64, made);
    return made;
  }
  bool ok() const { return in != nullptr; }
  void renderQuanta(int n) { renderQuanta(n, in); }
  void renderQuanta(int n, simhost::Instance* which) {
    for (int i = 0; i < n; ++i) host->render(*which, nullptr, outs.data(), kQuantum);
  }
  void note(bool on, int key, int offset = 0) { note(on, key, offset, in); }
  void note(bool on, int key, int offset, simhost::Instance* which) {
    host->queueMidi(*which, offset, on ? 0x90 : 0x80, static_cast<uint8_t>(key), on ? 100 : 0);
  }

  std::unique_ptr<simhost::SimHost> host;
  simhost::Instance* in = nullptr;
  std::vector<float> buffers[2];
  std::vector<float*> outs;
};

void home() { zarnbench::temporaryHome(); }

// The keys of the held-note songs of the side-by-side comparison.
int heldKey(int i) { return 36 + (i * 5) % 48 + i / 10; }

void BM_RenderHeld(benchmark::State& state) {
  home();
  const int keys = static_cast<int>(state.range(0));
  Road road(state);
  if (!road.ok()) return;
  // The cost of the instance without keys, measured beside the held keys.
  constexpr int kIdleQuanta = 4000;
  double idle = cpuSeconds();
  road.renderQuanta(kIdleQuanta);
  idle = (cpuSeconds() - idle) / (kIdleQuanta * kQuantum);
  for (int k = 0; k < keys; ++k) road.note(true, heldKey(k));
  road.renderQuanta(512); // past the attack and decay
  double cpu = 0.0;
  int64_t quanta = 0;
  for (auto _ : state) {
    const double t = cpuSeconds();
    road.renderQuanta(256);
    cpu += cpuSeconds() - t;
    quanta += 256;
    benchmark::DoNotOptimize(road.buffers[0][0]);
  }
  const double perSample = cpu / static_cast<double>(quanta * kQuantum);
  state.counters["ns_per_voice_sample"] = (perSample - idle) * 1e9 / keys;
  state.counters["realtime"] = 1.0 / (perSample * kRate);
}

// The heavy patch beside the plain preset, two instances with the same keys
// held, rendered in alternating rounds so that a busy machine weighs on both
// alike.
void BM_RenderHeavy(benchmark::State& state) {
  home();
  const int keys = static_cast<int>(state.range(0));
  const std::vector<std::string> patch = heavyPatch();
  if (patch.empty()) {
    state.SkipWithError("bench/heavy.patch is missing or empty");
    return;
  }
  Road road(state, patch);
  if (!road.ok()) return;
  simhost::Instance* plain = road.addInstance(state, {});
  if (!plain) return;
  simhost::Instance* ins[2] = {road.in, plain};
  constexpr int kIdleQuanta = 4000;
  double idle[2];
  for (int r = 0; r < 2; ++r) {
    idle[r] = cpuSeconds();
    road.renderQuanta(kIdleQuanta, ins[r]);
    idle[r] = (cpuSeconds() - idle[r]) / (kIdleQuanta * kQuantum);
  }
  for (int r = 0; r < 2; ++r) {
    for (int k = 0; k < keys; ++k) road.note(true, heldKey(k), 0, ins[r]);
    road.renderQuanta(512, ins[r]);
  }
  double cpu[2] = {0.0, 0.0};
  int64_t quanta = 0;
  for (auto _ : state) {
    for (int r = 0; r < 2; ++r) {
      const double t = cpuSeconds();
      road.renderQuanta(256, ins[r]);
      cpu[r] += cpuSeconds() - t;
      benchmark::DoNotOptimize(road.buffers[0][0]);
    }
    quanta += 256;
  }
  double ns[2];
  for (int r = 0; r < 2; ++r) ns[r] = (cpu[r] / static_cast<double>(quanta * kQuantum) - idle[r]) * 1e9 / keys;
  state.counters["ns_per_voice_sample"] = ns[0];
  state.counters["plain_ns_per_voice_sample"] = ns[1];
  state.counters["heavy_over_plain"] = ns[0] / ns[1];
}

void BM_RenderDemo(benchmark::State& state) {
  home();
  renderio::MidiFile song;
  if (!song.read(std::string(ZARN_SOURCE_DIR) + "/tools/demo/demo.mid", kRate)) {
    state.SkipWithError(song.error().c_str());
    return;
  }
  Road road(state);
  if (!road.ok()) return;
  const std::vector<renderio::MidiEvent>& events = song.events();
  const int64_t total = song.lengthSamples() + static_cast<int64_t>(2 * kRate);
  double cpu = 0.0;
  int64_t samples = 0;
  for (auto _ : state) {
    const double t = cpuSeconds();
    size_t next = 0;
    for (int64_t at = 0; at < total; at += kQuantum) {
      for (; next < events.size() && events[next].sample < at + kQuantum; ++next) {
        const renderio::MidiEvent& e = events[next];
        road.host->queueMidi(*road.in, std::max<int64_t>(e.sample - at, 0), e.status, e.data1, e.data2,
                             static_cast<uint32_t>(e.size()));
      }
      road.renderQuanta(1);
    }
    cpu += cpuSeconds() - t;
    samples += total;
  }
  state.counters["realtime"] = static_cast<double>(samples) / kRate / cpu;
}

void BM_BlockTimes(benchmark::State& state) {
  home();
  Road road(state);
  if (!road.ok()) return;
  constexpr int kBlocks = 100000;
  constexpr int kEvery = 6;
  std::vector<double> times(kBlocks), wall(kBlocks);
  for (auto _ : state) {
    for (int k = 0; k < 32; ++k) road.note(true, heldKey(k));
    road.renderQuanta(64);
    // Key 96 + j takes turns: struck at one quantum, released at the next
    // turn, while the 32 keys stay held; the pool of 32 steals for it.
    int turn = 0;
    for (int b = 0; b < kBlocks; ++b) {
      if (b % kEvery == 0) {
        road.note(false, 96 + turn % 8, 3);
        ++turn;
        road.note(true, 96 + turn % 8, 17);
      }
      const double w = seconds(CLOCK_MONOTONIC);
      const double t = seconds(CLOCK_THREAD_CPUTIME_ID);
      road.renderQuanta(1);
      times[static_cast<size_t>(b)] = (seconds(CLOCK_THREAD_CPUTIME_ID) - t) * 1e6;
      wall[static_cast<size_t>(b)] = (seconds(CLOCK_MONOTONIC) - w) * 1e6;
    }
    for (int k = 0; k < 32; ++k) road.note(false, heldKey(k));
    road.note(false, 96 + turn % 8);
    road.renderQuanta(2000);
  }
  std::sort(times.begin(), times.end());
  std::sort(wall.begin(), wall.end());
  auto at = [&](double q) { return times[std::min(times.size() - 1, static_cast<size_t>(q * times.size()))]; };
  state.counters["wall_p99_us"] = wall[static_cast<size_t>(0.99 * wall.size())];
  state.counters["median_us"] = at(0.5);
  state.counters["p99_us"] = at(0.99);
  state.counters["p999_us"] = at(0.999);
  state.counters["max_us"] = times.back();
  state.counters["p99_within_budget"] = at(0.99) < 150.0 ? 1.0 : 0.0;
}

// The first chord of a fresh instance: the quantum in which 32 keys are
// struck, the voices sounding for the first time since the instance was
// built, against the same chord struck again once they have all sounded.
void BM_FirstChord(benchmark::State& state) {
  home();
  std::vector<double> first, again, firstFaults, againFaults;
  // Large allocations are mapped afresh every time, as in a process that
  // has just loaded the plug-in, rather than taken from what an earlier
  // instance gave back (the C library raises the threshold as it frees).
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  for (auto _ : state) {
    Road road(state);
    if (!road.ok()) return;
    auto chord = [&](std::vector<double>& times, std::vector<double>& faults) {
      for (int k = 0; k < 32; ++k) road.note(true, heldKey(k));
      rusage before, after;
      getrusage(RUSAGE_THREAD, &before);
      const double t = seconds(CLOCK_THREAD_CPUTIME_ID);
      road.renderQuanta(1);
      times.push_back((seconds(CLOCK_THREAD_CPUTIME_ID) - t) * 1e6);
      getrusage(RUSAGE_THREAD, &after);
      faults.push_back(static_cast<double>(after.ru_minflt - before.ru_minflt + after.ru_majflt - before.ru_majflt));
      road.renderQuanta(200);
      for (int k = 0; k < 32; ++k) road.note(false, heldKey(k));
      road.renderQuanta(2000);
    };
    chord(first, firstFaults);
    chord(again, againFaults);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  state.counters["first_us"] = median(first);
  state.counters["first_faults"] = median(firstFaults);
  state.counters["again_us"] = median(again);
  state.counters["again_faults"] = median(againFaults);
}

} // namespace

BENCHMARK(BM_RenderHeld)->ArgName("keys")->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RenderHeavy)->ArgName("keys")->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->MinTime(4.0);
BENCHMARK(BM_RenderDemo)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BlockTimes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirstChord)->Unit(benchmark::kMillisecond)->Iterations(7);
