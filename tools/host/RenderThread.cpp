#include "tools/host/RenderThread.h"

#include "platform/ThreadName.h"

#include <chrono>

namespace simhost {

RenderThread::RenderThread(SimHost& host, Instance& instance, int32_t blockFrames, float inputLevel)
    : mHost(host), mInstance(instance), mFrames(blockFrames > 0 ? blockFrames : 32) {
  mIn.assign(static_cast<size_t>(instance.numInputs()), std::vector<float>(static_cast<size_t>(mFrames), inputLevel));
  mOut.assign(static_cast<size_t>(instance.numOutputs()), std::vector<float>(static_cast<size_t>(mFrames), 0.0f));
  mLast = mOut;
}

RenderThread::~RenderThread() { stop(); }

void RenderThread::start() {
  if (mRunning.exchange(true)) return;
  mThread = std::thread([this] { run(); });
}

void RenderThread::stop() {
  mRunning = false;
  if (mThread.joinable()) mThread.join();
}

void RenderThread::run() {
  platform::nameThisThread(kThreadName);
  std::vector<const float*> in;
  std::vector<float*> out;
  for (auto& b : mIn) in.push_back(b.data());
  for (auto& b : mOut) out.push_back(b.data());
  while (mRunning.load()) {
    mHost.render(mInstance, in.data(), out.data(), mFrames);
    {
      std::lock_guard<std::mutex> lock(mMutex);
      for (size_t c = 0; c < mOut.size(); ++c) mLast[c] = mOut[c];
    }
    ++mBlocks;
  }
}

bool RenderThread::waitForBlocks(int64_t n) const {
  int64_t target = mBlocks.load() + n;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (mBlocks.load() < target) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

std::vector<float> RenderThread::lastBlock(int32_t output) const {
  std::lock_guard<std::mutex> lock(mMutex);
  if (output < 0 || output >= static_cast<int32_t>(mLast.size())) return {};
  return mLast[static_cast<size_t>(output)];
}

} // namespace simhost
