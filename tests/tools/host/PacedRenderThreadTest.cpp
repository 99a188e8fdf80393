// The edit command's wall-clock render, heard through the test bundle whose
// output gate opens and closes exactly where each MIDI note arrives: a song
// played in a loop lands on the same samples whatever the host's buffer
// size, and the plug-in is called once per buffer.

#include "tools/host/PacedRender.h"

#include "platform/Clock.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ThreadLook.h"
#include "tests/support/Waiting.h"
#include "tests/tools/render/MidiBytes.h"
#include "tools/host/RenderThread.h"
#include "tools/host/SimHost.h"
#include "tools/render/MidiFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

struct Heard {
  std::vector<float> left;
  std::vector<int32_t> callFrames;
};

// The first `samples` of the left output of the test bundle fed a level of
// 0.5, played by a paced render with that buffer size.
Heard hear(const renderio::MidiFile& song, int32_t bufferFrames, size_t samples) {
  zarn::test::ScopedEnvironment clock(platform::cVirtualClockVariable,
                                      std::to_string(platform::cVirtualCalendarStart));
  simhost::SimHost host;
  Heard heard;
  if (host.load(ZARN_TEST_GAIN_BUNDLE) != 0) return heard;
  simhost::Instance& in = *host.createInstance();
  heard.left.reserve(samples + simhost::PacedRender::kMaxBufferFrames);
  heard.callFrames.reserve(samples);
  std::atomic<size_t> count{0};
  simhost::PacedRender render(host, in, kRate, &song, bufferFrames);
  render.listen(0.5f, [&](const float* const* outputs, int32_t frames) {
    if (heard.left.size() < samples) {
      heard.left.insert(heard.left.end(), outputs[0], outputs[0] + frames);
      heard.callFrames.push_back(frames);
    }
    count = heard.left.size();
  });
  render.start();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (count.load() < samples && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  render.stop();
  heard.left.resize(std::min(heard.left.size(), samples));
  return heard;
}

// Where the output steps from closed to open (+) and back (-).
std::vector<int64_t> edges(const std::vector<float>& left) {
  std::vector<int64_t> found;
  bool open = false;
  for (size_t i = 0; i < left.size(); ++i)
    if ((left[i] > 0.25f) != open) {
      open = !open;
      found.push_back(open ? static_cast<int64_t>(i) : -static_cast<int64_t>(i));
    }
  return found;
}

} // namespace

// One case per host buffer size (each renders a second of sound at the
// wall clock's pace), so that the program's shards share them out.
class PacedRenderSongThreadTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(PacedRenderSongThreadTest, ASongLoopsOnItsSamplesWhateverTheBufferSize) {
  // 480 ticks a quarter at 120 beats a minute: a tick is 44100 / 960 samples.
  // A note from tick 16 to tick 48, the song's end at tick 64: samples 735,
  // 2205 and 2940, and a round of 2940 + 44100 (a second of silence).
  renderio::MidiFile song;
  ASSERT_TRUE(song.parse(midibytes::header(0, 1, 480) +
                             midibytes::track({0x10, 0x90, 0x3C, 0x64, 0x20, 0x80, 0x3C, 0x40, 0x10, 0xFF, 0x2F, 0x00}),
                         kRate))
      << song.error();
  const int64_t round = 2940 + 44100;
  const std::vector<int64_t> expected = {735, -2205, round + 735, -(round + 2205)};
  const size_t samples = static_cast<size_t>(round + 2205 + 100);

  const int32_t frames = GetParam();
  const Heard heard = hear(song, frames, samples);
  ASSERT_EQ(heard.left.size(), samples);
  EXPECT_EQ(edges(heard.left), expected);
  // One call of the plug-in per host buffer, each a whole buffer.
  for (int32_t n : heard.callFrames) ASSERT_EQ(n, frames);
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, PacedRenderSongThreadTest, ::testing::Values(512, 96, 32));

// Stopping does not wait for the buffer being waited for: at 100 samples a
// second a buffer of 8192 frames is due after 82 s, and stop() ends the
// wait at once, with nothing rendered. The stop comes once the thread is
// seen in that wait (a stop before it would not test the wait).
TEST(PacedRenderThreadTest, StopEndsTheWaitForTheNextBuffer) {
  simhost::SimHost host;
  ASSERT_EQ(host.load(ZARN_TEST_GAIN_BUNDLE), 0);
  simhost::Instance& in = *host.createInstance();
  simhost::PacedRender render(host, in, 100.0, nullptr, 8192);
  const auto waitingThreads = [] {
    int waiting = 0;
    for (const pid_t tid : zarn::test::threadsNamed(::getpid(), simhost::PacedRender::kThreadName)) {
      const auto look = zarn::test::lookAt(::getpid(), tid);
      waiting += look && zarn::test::inFutexWaitUntil(*look);
    }
    return waiting;
  };
  render.start();
  EXPECT_TRUE(zarn::test::eventually([&] { return waitingThreads() == 1; }))
      << "the render thread was never seen waiting for its first buffer";
  const auto before = std::chrono::steady_clock::now();
  render.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
  EXPECT_EQ(render.quanta(), 0);
}

namespace {

// The names of this process's threads, as thread lists read them.
std::vector<std::string> threadNames() {
  std::vector<std::string> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    if (std::getline(comm, name)) names.push_back(name);
  }
  return names;
}

} // namespace

// The render threads carry names that thread lists (top -H, perf, a
// debugger) show, while they run.
TEST(PacedRenderThreadTest, RenderThreadsAreNamedWhileTheyRun) {
  simhost::SimHost host;
  ASSERT_EQ(host.load(ZARN_TEST_GAIN_BUNDLE), 0);
  simhost::Instance& paced = *host.createInstance();
  simhost::Instance& free = *host.createInstance();
  const auto before = threadNames();
  EXPECT_EQ(std::count(before.begin(), before.end(), "zarn-render"), 0);

  simhost::PacedRender pacedRender(host, paced, kRate, nullptr, 32);
  simhost::RenderThread freeRender(host, free, 32, 0.0f);
  pacedRender.start();
  freeRender.start();
  // Both have rendered, so both have named themselves.
  ASSERT_TRUE(freeRender.waitForBlocks(1));
  EXPECT_TRUE(zarn::test::eventually([&] { return pacedRender.quanta() > 0; }));
  const auto running = threadNames();
  pacedRender.stop();
  freeRender.stop();
  EXPECT_EQ(std::count(running.begin(), running.end(), "zarn-render"), 2);
  // Counted by name only: a sanitizer may start a thread of its own with
  // the first thread the test makes. A joined thread can still be listed
  // for a moment (the kernel wakes the joiner before it takes the thread's
  // entry away), so the list is read until the names are gone; a thread
  // that was never joined stays listed and fails the test.
  auto rendering = [] {
    const auto names = threadNames();
    return std::count(names.begin(), names.end(), "zarn-render");
  };
  zarn::test::eventually([&] { return rendering() == 0; });
  EXPECT_EQ(rendering(), 0);
}
