#include "tools/host/PacedRender.h"

#include <algorithm>
#include <chrono>

namespace simhost {

namespace {
constexpr int32_t kQuantum = 32;
} // namespace

PacedRender::PacedRender(SimHost& host, Instance& instance, double sampleRate, const renderio::MidiFile* song,
                         int32_t bufferFrames)
    : mHost(host), mInstance(instance), mRate(sampleRate > 0 ? sampleRate : 44100.0), mSong(song),
      mFrames(std::clamp((bufferFrames + kQuantum - 1) / kQuantum * kQuantum, kQuantum, kMaxBufferFrames)) {
  const std::vector<float> silence(static_cast<size_t>(mFrames), 0.0f);
  mIn.assign(static_cast<size_t>(std::max(instance.numInputs(), 0)), silence);
  mOut.assign(static_cast<size_t>(std::max(instance.numOutputs(), 0)), silence);
}

PacedRender::~PacedRender() { stop(); }

void PacedRender::listen(float inputLevel, Listener listener) {
  if (mRunning.load()) return;
  for (auto& b : mIn) std::fill(b.begin(), b.end(), inputLevel);
  mFeedInputs = true;
  mListener = std::move(listener);
}

void PacedRender::start() {
  if (mRunning.exchange(true)) return;
  mThread = std::thread([this] { run(); });
}

void PacedRender::stop() {
  {
    std::lock_guard<std::mutex> lock(mWakeMutex);
    mRunning = false;
  }
  mWake.notify_all();
  if (mThread.joinable()) mThread.join();
}

void PacedRender::queueSong(size_t& next, int64_t& songAt) {
  const int64_t roundLength = mSong->lengthSamples() + static_cast<int64_t>(mRate);
  const auto& events = mSong->events();
  // The song moves on quantum by quantum whatever the buffer, so where a
  // round ends does not depend on the buffer size.
  for (int32_t at = 0; at < mFrames; at += kQuantum) {
    for (; next < events.size() && events[next].sample < songAt + kQuantum; ++next) {
      const renderio::MidiEvent& e = events[next];
      mHost.queueMidi(mInstance, at + std::max<int64_t>(e.sample - songAt, 0), e.status, e.data1, e.data2,
                      static_cast<uint32_t>(e.size()));
    }
    songAt += kQuantum;
    if (songAt >= roundLength) {
      songAt = 0;
      next = 0;
      ++mRounds;
    }
  }
}

void PacedRender::run() {
  using Clock = std::chrono::steady_clock;
  std::vector<const float*> ins;
  std::vector<float*> outs;
  for (auto& b : mIn) ins.push_back(b.data());
  for (auto& b : mOut) outs.push_back(b.data());
  size_t next = 0;
  int64_t songAt = 0;
  const auto bufferLength =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(mFrames / mRate));
  Clock::time_point origin = Clock::now();
  int64_t rendered = 0; // samples since origin
  for (;;) {
    // This buffer is due when the wall clock reaches its end.
    const Clock::time_point due =
        origin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(rendered / mRate)) +
        bufferLength;
    {
      std::unique_lock<std::mutex> lock(mWakeMutex);
      mWake.wait_until(lock, due, [this] { return !mRunning.load(); });
      if (!mRunning.load()) return;
    }
    const Clock::time_point now = Clock::now();
    if (now - due > std::chrono::milliseconds(100)) {
      origin = now - bufferLength;
      rendered = 0;
    }
    if (mSong) queueSong(next, songAt);
    mHost.render(mInstance, mFeedInputs ? ins.data() : nullptr, outs.data(), mFrames);
    if (mListener) mListener(outs.data(), mFrames);
    rendered += mFrames;
    mQuanta += mFrames / kQuantum;
  }
}

} // namespace simhost
