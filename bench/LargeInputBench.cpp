// Inputs whose cost grows with their size, where the fuzz targets (which
// keep their inputs to a few kilobytes) cannot see it: each is measured at
// doubling sizes and fitted with Complexity(), so the report tells whether
// the cost grows in proportion to the input (it must: a host restoring a
// document, or a render, must not stall on a large one).
//
//   BM_ControlsChunkParse/N   a controls chunk of N long values under
//                             distinct four-byte names, parsed, then every
//                             name looked up once (what restoring a state
//                             does); N = 10k to 80k.
//   BM_ControlsChunkRefused/N the same chunk with its last name repeating the
//                             first: refused, after reading every entry.
//   BM_RenderDenseSong/MB     zarn-host render, as the command runs it, of a
//                             song of MB megabytes of notes struck 256 at a
//                             tick (far more than a quantum's 256 records can
//                             take, so most of the song waits in the host's
//                             queue), with a tail of one second; MB = 1 to 4.

#include "bench/TemporaryHome.h"
#include "host/ChunkDataParser.h"
#include "tools/host/RenderCommand.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

void putWord(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

std::string nameOf(uint32_t i) { return ChunkDataParser::NameFromID(0x41414141u + i); }

// The chunk's data encoded by hand: building it through the parser would
// measure the parser twice.
std::vector<unsigned char> controlsChunk(uint32_t count, bool repeatFirstName) {
  std::vector<unsigned char> data;
  putWord(data, static_cast<uint32_t>(ChunkDataParser::kVersion));
  putWord(data, count);
  for (uint32_t i = 0; i < count; ++i) {
    const std::string name = nameOf(repeatFirstName && i + 1 == count ? 0 : i);
    data.push_back(static_cast<unsigned char>(name.size()));
    data.insert(data.end(), name.begin(), name.end());
    data.push_back(ChunkDataParser::kLongTag);
    putWord(data, i);
  }
  return data;
}

void BM_ControlsChunkParse(benchmark::State& state) {
  const auto count = static_cast<uint32_t>(state.range(0));
  const std::vector<unsigned char> data = controlsChunk(count, false);
  std::vector<std::string> names;
  for (uint32_t i = 0; i < count; ++i) names.push_back(nameOf(i));
  for (auto _ : state) {
    ChunkDataParser parser;
    if (!parser.ParseData(data.data(), data.size())) {
      state.SkipWithError("the chunk was refused");
      return;
    }
    int64_t sum = 0;
    for (const std::string& name : names) {
      int32_t v = 0;
      if (parser.FindLong(name, v)) sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetComplexityN(state.range(0));
  state.counters["bytes"] = static_cast<double>(data.size());
}
BENCHMARK(BM_ControlsChunkParse)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_ControlsChunkRefused(benchmark::State& state) {
  const std::vector<unsigned char> data = controlsChunk(static_cast<uint32_t>(state.range(0)), true);
  for (auto _ : state) {
    ChunkDataParser parser;
    if (parser.ParseData(data.data(), data.size())) {
      state.SkipWithError("a repeated name was taken");
      return;
    }
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ControlsChunkRefused)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond)->Complexity();

// A song of about megabytes MB: 960 ticks a beat at 120 bpm (about 23
// samples a tick), 128 notes struck on each tick, each event pair a note-on
// and the note-off of the key struck before it.
std::string denseSong(int64_t megabytes) {
  std::string track;
  int prev = 36;
  for (uint32_t i = 0; track.size() < static_cast<size_t>(megabytes) << 20; ++i) {
    const int key = 36 + static_cast<int>(i * 7 % 60);
    const char bytes[] = {static_cast<char>(i % 128 == 0 ? 1 : 0), '\x90', static_cast<char>(key), 100,
                          0, '\x80', static_cast<char>(prev), 0};
    track.append(bytes, sizeof bytes);
    prev = key;
  }
  track += std::string("\x00\x80", 2) + static_cast<char>(prev) + std::string("\x00\x00\xFF\x2F\x00", 5);
  std::string file("MThd\0\0\0\6\0\0\0\1\x03\xC0MTrk", 18);
  const auto size = static_cast<uint32_t>(track.size());
  for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>(size >> shift);
  return file + track;
}

void BM_RenderDenseSong(benchmark::State& state) {
  const std::string home = zarnbench::temporaryHome().path;
  simhost::RenderOptions options;
  options.input = home + "/dense.mid";
  options.output = home + "/dense.wav";
  options.tailSeconds = 1.0;
  options.quiet = true;
  {
    std::ofstream song(options.input, std::ios::binary);
    song << denseSong(state.range(0));
  }
  for (auto _ : state) {
    std::ostringstream out, err;
    if (simhost::render(options, out, err) != 0) {
      state.SkipWithError(err.str().c_str());
      return;
    }
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RenderDenseSong)->RangeMultiplier(2)->Range(1, 4)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
