#include "host/bridge/CPendingControlChanges.h"

CPendingControlChanges::CPendingControlChanges(int32_t count)
    : fCount(count < 0 ? 0 : count), fMarks(new std::atomic<bool>[static_cast<size_t>(fCount)]) {
  for (int32_t i = 0; i < fCount; ++i) fMarks[static_cast<size_t>(i)].store(false, std::memory_order_relaxed);
}

void CPendingControlChanges::Mark(int32_t index) {
  if (index == -1) {
    fAll.store(true, std::memory_order_release);
  } else if (index >= 0 && index < fCount) {
    fMarks[static_cast<size_t>(index)].store(true, std::memory_order_release);
  } else {
    return;
  }
  // Set after the mark, so that whoever clears this flag finds the mark.
  fPending.store(true, std::memory_order_release);
}
