#pragma once

// Carries reports of preset files that could not be loaded from the thread
// that tried (the render thread, for a MIDI program change) to the main
// thread, which tells the user. The render thread must neither allocate nor
// show anything: it copies the path and the reason into one of a few fixed
// slots, and the main thread takes them at its next idle time. When every
// slot is full the report is dropped; the same file fails again on the next
// try.
//
// One thread at a time publishes and one thread takes.

#include "plugin/PresetLoader.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

class PresetFailureHandOff {
public:
  static constexpr size_t cSlots = 4;
  // Room for a path as the file system allows it, with its terminating NUL.
  static constexpr size_t cPathCapacity = 4096;

  PresetFailureHandOff() = default;
  PresetFailureHandOff(const PresetFailureHandOff&) = delete;
  PresetFailureHandOff& operator=(const PresetFailureHandOff&) = delete;

  // Publishing thread. A path that does not fit is handed on as empty (a
  // shortened one would name another file). False when the report was
  // dropped.
  bool publish(const std::string& path, const PresetLoadFailure& failure) {
    const size_t head = mHead.load(std::memory_order_relaxed);
    if (head - mTail.load(std::memory_order_acquire) >= cSlots) return false;
    Record& r = mSlots[head % cSlots];
    r.failure = failure;
    r.pathLength = path.size() < cPathCapacity ? path.size() : 0;
    std::memcpy(r.path, path.data(), r.pathLength);
    r.path[r.pathLength] = 0;
    mHead.store(head + 1, std::memory_order_release);
    return true;
  }

  // Taking thread: the oldest report not yet taken; false when none waits.
  bool take(std::string& path, PresetLoadFailure& failure) {
    const size_t tail = mTail.load(std::memory_order_relaxed);
    if (tail == mHead.load(std::memory_order_acquire)) return false;
    const Record& r = mSlots[tail % cSlots];
    path.assign(r.path, r.pathLength);
    failure = r.failure;
    mTail.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Any thread.
  bool isPending() const { return mTail.load(std::memory_order_acquire) != mHead.load(std::memory_order_acquire); }

private:
  struct Record {
    PresetLoadFailure failure;
    size_t pathLength = 0;
    char path[cPathCapacity] = {};
  };

  Record mSlots[cSlots];
  std::atomic<size_t> mHead{0}; // written by the publisher
  std::atomic<size_t> mTail{0}; // written by the taker
};
