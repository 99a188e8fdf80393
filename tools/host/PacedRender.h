#pragma once

// Renders one instance on a thread of its own at the pace of the wall
// clock, one host buffer at a time, as an audio device would ask for it,
// into a buffer nobody hears: what the plug-in shows (LFO lights, meters,
// values it sends back) then moves as it would in a real host. Each buffer
// is one render call, which the host slices into the plug-in's quanta; the
// thread sleeps between buffers, so an instance that plays nothing costs
// little. A buffer is rendered once the wall clock has reached its end, as
// a device asks for the next buffer when the last one has played: the sound
// rendered never runs ahead of the clock. With a song it plays the song
// over and over, a second of silence between the rounds, so voices and the
// MIDI light move too; each event lands on its own sample in the buffer.
//
// When the thread falls behind (a slow machine, a debugger) it does not
// race to catch up: it starts counting again from now.

#include "tools/host/SimHost.h"
#include "tools/render/MidiFile.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

namespace simhost {

class PacedRender {
public:
  // The render thread's name in thread lists (top -H, perf, debuggers).
  static constexpr const char* kThreadName = "zarn-render";
  static constexpr int32_t kDefaultBufferFrames = 512;
  static constexpr int32_t kMaxBufferFrames = 8192;
  // The rendered buffer's outputs, `frames` samples each; on the render
  // thread.
  using Listener = std::function<void(const float* const* outputs, int32_t frames)>;

  // `song` may be null; it must outlive the render. bufferFrames is rounded
  // up to whole quanta (32 samples), and kept from 32 to kMaxBufferFrames.
  PacedRender(SimHost& host, Instance& instance, double sampleRate, const renderio::MidiFile* song,
              int32_t bufferFrames = kDefaultBufferFrames);
  ~PacedRender(); // stops
  PacedRender(const PacedRender&) = delete;
  PacedRender& operator=(const PacedRender&) = delete;

  // Feeds every input the constant level and hands each rendered buffer to
  // the listener; before start(). Without it the inputs are silent and the
  // sound is dropped.
  void listen(float inputLevel, Listener listener);
  void start();
  void stop();
  int32_t bufferFrames() const { return mFrames; }
  int64_t quanta() const { return mQuanta.load(); }
  // How many times the song started over.
  int64_t rounds() const { return mRounds.load(); }

private:
  void run();
  // Sleeps until the monotonic clock reaches due; false once stopped.
  bool sleepUntil(const timespec& due);
  // Queues the song's events of the buffer about to be rendered, each at its
  // offset in the buffer, and moves the song on by one buffer.
  void queueSong(size_t& next, int64_t& songAt);

  SimHost& mHost;
  Instance& mInstance;
  double mRate;
  const renderio::MidiFile* mSong;
  int32_t mFrames;
  std::vector<std::vector<float>> mIn, mOut;
  bool mFeedInputs = false;
  Listener mListener;
  std::atomic<bool> mRunning{false};
  // 1 while the thread is to go on. It sleeps for its next buffer on this
  // word with an absolute deadline (one system call, no lock, no clock
  // read); stop() clears it and wakes the thread at once.
  std::atomic<uint32_t> mGo{0};
  std::atomic<int64_t> mQuanta{0};
  std::atomic<int64_t> mRounds{0};
  std::thread mThread;
};

} // namespace simhost
