#pragma once

// Parameter changes that the plug-in made off the host's main thread (MIDI
// learn, a MIDI program change, anything decoded while rendering), waiting
// to be handed to the host's control calls, which belong to the main
// thread.
//
// One mark per parameter plus a mark for "all parameters": marking never
// locks, never allocates and never fails, and a parameter that changes many
// times before the main thread looks is handed over once, with the value it
// has by then. The order of changes is not kept; the values are.
//
// Threads: Mark from any thread; TakeAll from one thread at a time (the
// main thread).

#include <atomic>
#include <cstdint>
#include <memory>

class CPendingControlChanges {
public:
  // count: the number of parameters (indices 0 to count - 1).
  explicit CPendingControlChanges(int32_t count);
  CPendingControlChanges(const CPendingControlChanges&) = delete;
  CPendingControlChanges& operator=(const CPendingControlChanges&) = delete;

  // index: a parameter, or -1 for all parameters; other values are ignored.
  void Mark(int32_t index);
  bool IsPending() const { return fPending.load(std::memory_order_acquire); }

  // Clears the marks and calls handOver once with -1 when all parameters
  // were marked, else once for every marked parameter in index order.
  // Marks set while it runs are kept for the next call, or taken by this
  // one.
  template <class F> void TakeAll(F&& handOver) {
    if (!fPending.exchange(false, std::memory_order_acq_rel)) return;
    const bool all = fAll.exchange(false, std::memory_order_acq_rel);
    for (int32_t i = 0; i < fCount; ++i) {
      const bool marked = fMarks[static_cast<size_t>(i)].exchange(false, std::memory_order_acq_rel);
      if (marked && !all) handOver(i);
    }
    if (all) handOver(-1);
  }

  int32_t GetCount() const { return fCount; }

private:
  int32_t fCount;
  std::unique_ptr<std::atomic<bool>[]> fMarks;
  std::atomic<bool> fAll{false};
  std::atomic<bool> fPending{false};
};
