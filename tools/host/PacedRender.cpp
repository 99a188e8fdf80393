#include "tools/host/PacedRender.h"

#include <algorithm>
#include <chrono>

namespace simhost {

namespace {
constexpr int32_t kQuantum = 32;
} // namespace

PacedRender::PacedRender(SimHost& host, Instance& instance, double sampleRate, const renderio::MidiFile* song)
    : mHost(host), mInstance(instance), mRate(sampleRate > 0 ? sampleRate : 44100.0), mSong(song) {
  mOut.assign(static_cast<size_t>(std::max(instance.numOutputs(), 0)), std::vector<float>(kQuantum, 0.0f));
}

PacedRender::~PacedRender() { stop(); }

void PacedRender::start() {
  if (mRunning.exchange(true)) return;
  mThread = std::thread([this] { run(); });
}

void PacedRender::stop() {
  mRunning = false;
  if (mThread.joinable()) mThread.join();
}

void PacedRender::run() {
  using Clock = std::chrono::steady_clock;
  std::vector<float*> outs;
  for (auto& b : mOut) outs.push_back(b.data());
  const int64_t roundLength = mSong ? mSong->lengthSamples() + static_cast<int64_t>(mRate) : 0;
  size_t next = 0;
  int64_t songAt = 0;
  Clock::time_point origin = Clock::now();
  int64_t rendered = 0; // samples since origin
  while (mRunning.load()) {
    const Clock::time_point due =
        origin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(rendered / mRate));
    const Clock::time_point now = Clock::now();
    if (due > now)
      std::this_thread::sleep_until(due);
    else if (now - due > std::chrono::milliseconds(100)) {
      origin = now;
      rendered = 0;
    }
    if (mSong) {
      const auto& events = mSong->events();
      for (; next < events.size() && events[next].sample < songAt + kQuantum; ++next) {
        const renderio::MidiEvent& e = events[next];
        mHost.queueMidi(mInstance, std::max<int64_t>(e.sample - songAt, 0), e.status, e.data1, e.data2,
                        static_cast<uint32_t>(e.size()));
      }
    }
    mHost.render(mInstance, nullptr, outs.data(), kQuantum);
    rendered += kQuantum;
    ++mQuanta;
    if (mSong) {
      songAt += kQuantum;
      if (songAt >= roundLength) {
        songAt = 0;
        next = 0;
        ++mRounds;
      }
    }
  }
}

} // namespace simhost
