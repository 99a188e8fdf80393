#include "tools/host/PacedRender.h"

#include "platform/ThreadName.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace simhost {

namespace {
constexpr int32_t kQuantum = 32;
// The kernel waits on the word itself.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);

int64_t monotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
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
  mGo.store(1);
  mThread = std::thread([this] { run(); });
}

void PacedRender::stop() {
  mRunning = false;
  mGo.store(0);
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(&mGo), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
  if (mThread.joinable()) mThread.join();
}

bool PacedRender::sleepUntil(const timespec& due) {
  // The deadline is absolute on the monotonic clock; a wake by stop() (or a
  // spurious one) looks at the word again.
  while (mGo.load() != 0) {
    const long r = syscall(SYS_futex, reinterpret_cast<uint32_t*>(&mGo), FUTEX_WAIT_BITSET_PRIVATE, 1u, &due,
                           nullptr, FUTEX_BITSET_MATCH_ANY);
    if (r != 0 && errno == ETIMEDOUT) break;
  }
  return mGo.load() != 0;
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
  platform::nameThisThread(kThreadName);
  std::vector<const float*> ins;
  std::vector<float*> outs;
  for (auto& b : mIn) ins.push_back(b.data());
  for (auto& b : mOut) outs.push_back(b.data());
  size_t next = 0;
  int64_t songAt = 0;
  const int64_t bufferNs = static_cast<int64_t>(mFrames * 1e9 / mRate);
  int64_t origin = monotonicNs();
  int64_t rendered = 0; // samples since origin
  for (;;) {
    // This buffer is due when the wall clock reaches its end.
    const int64_t due = origin + static_cast<int64_t>(static_cast<double>(rendered) * 1e9 / mRate) + bufferNs;
    if (!sleepUntil(timespec{static_cast<time_t>(due / 1'000'000'000), static_cast<long>(due % 1'000'000'000)}))
      return;
    const int64_t now = monotonicNs();
    if (now - due > 100'000'000) {
      origin = now - bufferNs;
      rendered = 0;
    }
    if (mSong) queueSong(next, songAt);
    // Nobody listening: the sound is dropped inside the host's render call
    // instead of being copied into buffers nobody reads (half the cache
    // lines an idle buffer touches).
    mHost.render(mInstance, mFeedInputs ? ins.data() : nullptr, mListener ? outs.data() : nullptr, mFrames);
    if (mListener) mListener(outs.data(), mFrames);
    rendered += mFrames;
    mQuanta += mFrames / kQuantum;
  }
}

} // namespace simhost
