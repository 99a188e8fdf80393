#pragma once

// Runs a simulated host's render of one instance on a real second thread, as
// a host's real-time thread would: block after block, each input fed a
// constant level, until stopped. The main thread meanwhile changes
// controls, queues MIDI and idles.

#include "tools/host/SimHost.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace simhost {

class RenderThread {
public:
  // The thread's name in thread lists (top -H, perf, debuggers).
  static constexpr const char* kThreadName = "zarn-render";
  RenderThread(SimHost& host, Instance& instance, int32_t blockFrames, float inputLevel);
  ~RenderThread(); // stops
  RenderThread(const RenderThread&) = delete;
  RenderThread& operator=(const RenderThread&) = delete;

  void start();
  void stop();
  int64_t blocks() const { return mBlocks.load(); }
  // Waits (up to about 10 s) until at least n more blocks than now were
  // rendered; false on time-out.
  bool waitForBlocks(int64_t n) const;
  // The last rendered block of an output.
  std::vector<float> lastBlock(int32_t output) const;

private:
  void run();

  SimHost& mHost;
  Instance& mInstance;
  int32_t mFrames;
  std::vector<std::vector<float>> mIn, mOut;
  std::atomic<bool> mRunning{false};
  std::atomic<int64_t> mBlocks{0};
  mutable std::mutex mMutex;
  std::vector<std::vector<float>> mLast;
  std::thread mThread;
};

} // namespace simhost
