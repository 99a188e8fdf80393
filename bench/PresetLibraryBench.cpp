// A session opening with a large preset library: the host makes N
// instances of the synthesizer one after the other, on one thread, while
// the library holds 8,000 presets and more (a commercial collection's
// size), then renders one buffer with each. Argument: the
// number of instances (1, 16).
//
// Time: wall-clock time from the first instance's construction until every
// instance has rendered its first buffer. Counter: MB_added = heap bytes in
// use once all of them rendered, less those before the first was made
// (glibc's mallinfo2), in megabytes.
//
// The plug-in writes its preferences, its wave-table cache and its factory
// library into the user's folders: HOME and the XDG folders point at a
// temporary folder while the benchmark runs, and the 8,000 presets are
// copies of one preset in a folder of that library.

#include "bench/TemporaryHome.h"
#include "base/Preset.h"
#include "base/PresetManager.h"
#include "synth/ZarnPlugin.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

zarnbench::TemporaryHome& gHome = zarnbench::temporaryHome();

constexpr int kExtraPresets = 8000;
constexpr int kQuantum = 32;

// Fills the library once: an instance made and dropped names the library's
// folder and writes its own sound there as a preset, which is copied
// kExtraPresets times into "Collection/<bank>/". False when the library
// has no folder or the preset could not be written.
bool fillLibrary() {
  static const bool filled = [] {
    std::string root, source;
    {
      std::unique_ptr<ZarnPlugin> first(new ZarnPlugin());
      PresetManager* library = GenericPlugin::sPresetManager;
      if (!library || library->getFolderPath().empty()) return false;
      root = library->getFolderPath();
      std::filesystem::create_directories(root);
      source = root + "Bench Source.qvp";
      Preset preset(source);
      if (!first->getParameters().savePreset(&preset, GenericPlugin::sPresetFileVersion)) return false;
    }
    std::ifstream in(source, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return false;
    char name[64];
    for (int i = 0; i < kExtraPresets; ++i) {
      std::snprintf(name, sizeof name, "Collection/B%02d", i / 128);
      std::filesystem::create_directories(root + name);
      std::snprintf(name, sizeof name, "Collection/B%02d/P%04d.qvp", i / 128, i);
      std::ofstream(root + name, std::ios::binary) << bytes;
    }
    return true;
  }();
  return filled;
}

void BM_SessionStartWithLargeLibrary(benchmark::State& state) {
  if (!fillLibrary()) {
    state.SkipWithError("no preset library to fill");
    return;
  }
  const int instances = static_cast<int>(state.range(0));
  alignas(16) float left[kQuantum];
  alignas(16) float right[kQuantum];
  float* outs[2] = {left, right};
  double added = 0.0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<ZarnPlugin>> session;
    for (int i = 0; i < instances; ++i) session.emplace_back(new ZarnPlugin());
    for (auto& plugin : session) plugin->process(nullptr, 0, outs, 2, kQuantum);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    added = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(before);
    benchmark::DoNotOptimize(left[0]);
    session.clear();
  }
  state.counters["MB_added"] = added / 1e6;
}

} // namespace

BENCHMARK(BM_SessionStartWithLargeLibrary)
    ->ArgName("instances")
    ->Arg(1)
    ->Arg(16)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
