#pragma once

namespace zarn::test {

// Counts the heap allocations, the files opened and the waits on other
// threads (mutexes and read-write locks taken or tried, yields of the
// processor) by the current thread while it lives. Used to prove that a
// render path allocates nothing, opens no file and takes no lock.
class AllocationCounter {
public:
  AllocationCounter();
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  // Allocations made on this thread since construction (counts of other
  // threads may be included when they run their own counters at once).
  long count() const;
  // Files opened (open, openat, fopen and their 64-bit forms), and locks
  // (mutexes and read-write locks, std::shared_mutex's too, locked, tried
  // or awaited; and sched_yield, which std::this_thread::yield and spinning
  // waits call) on this thread since construction, counted the same way.
  long opens() const;
  long locks() const;

private:
  long mStart;
  long mOpenStart;
  long mLockStart;
};

} // namespace zarn::test
