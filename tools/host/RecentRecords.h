#pragma once

// The most recent records of a log that may run for hours: a ring of fixed
// size, filled once at construction, and a count of every record since the
// last clear. A host that logs each automation gesture would otherwise grow
// by kilobytes with every program change for as long as it plays; what a
// reader needs is the last few hundred records and how many there were.
//
// Adding never allocates, so it may run on a render thread; the owner
// provides whatever lock its threads need.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simhost {

template <class T> class RecentRecords {
public:
  explicit RecentRecords(size_t capacity) : mSlots(capacity ? capacity : 1) {}

  // Replaces the oldest record once the ring is full.
  void add(const T& record) {
    mSlots[static_cast<size_t>(mTotal % mSlots.size())] = record;
    ++mTotal;
  }

  // The records kept, oldest first.
  std::vector<T> items() const {
    const uint64_t kept = mTotal < mSlots.size() ? mTotal : mSlots.size();
    std::vector<T> out;
    out.reserve(static_cast<size_t>(kept));
    for (uint64_t i = mTotal - kept; i < mTotal; ++i) out.push_back(mSlots[static_cast<size_t>(i % mSlots.size())]);
    return out;
  }

  // Every record added since construction or the last clear, kept or not.
  uint64_t total() const { return mTotal; }
  size_t capacity() const { return mSlots.size(); }
  void clear() { mTotal = 0; }

private:
  std::vector<T> mSlots;
  uint64_t mTotal = 0;
};

} // namespace simhost
