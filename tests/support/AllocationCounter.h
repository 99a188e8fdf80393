#pragma once

namespace zarn::test {

// Counts the heap allocations made by the current thread while it lives.
// Used to prove that a render path allocates nothing.
class AllocationCounter {
public:
  AllocationCounter();
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  // Allocations made on this thread since construction (counts of other
  // threads may be included when they run their own counters at once).
  long count() const;

private:
  long mStart;
};

} // namespace zarn::test
