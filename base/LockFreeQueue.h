#pragma once

// First-in first-out queue of small plain records between any number of
// producing and consuming threads, without a lock on the common path.
//
// A linked queue with a dummy head node after Michael and Scott. Links are
// tagged 16-bit indices into a MemoryManager pool instead of pointers; every
// compare-and-swap on the head, the tail or a node's link writes the old
// counter plus one, so that a thread holding a stale word cannot swap after
// the word has been changed and changed back (up to 65535 changes).
//
// add and retrieve neither lock nor allocate while the pool has free nodes;
// when it has none, add grows it under the pool's lock, up to 65536 nodes
// (at most 65534 records queued at once).

#include "base/LockFreeMemoryManager.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

namespace lockfree {

template <typename T>
class Queue {
public:
  // Builds the pool with initialNodes nodes (at least 1) and takes the first
  // dummy node from it. Throws std::bad_alloc when memory is exhausted.
  explicit Queue(int initialNodes) : mMemory(initialNodes) {
    const uint32_t dummy = mMemory.allocateNode();
    if (dummy == 0) throw std::bad_alloc();
    mHead.store(makeTaggedIndex(dummy, 0), std::memory_order_relaxed);
    mTail.store(makeTaggedIndex(dummy, 0), std::memory_order_relaxed);
  }

  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // Appends a copy of the record. False when no node could be had (the pool
  // is full): the record is dropped and the queue is unchanged.
  bool add(const T& record) {
    const uint32_t node = mMemory.allocateNode();
    if (node == 0) return false;
    mMemory.getNode(node).storePayload(record);

    TaggedIndex tail;
    for (;;) {
      tail = mTail.load(std::memory_order_acquire);
      TaggedIndex next;
      for (;;) {
        next = mMemory.getNode(indexOf(tail)).next.load(std::memory_order_acquire);
        const TaggedIndex again = mTail.load(std::memory_order_acquire);
        if (again == tail) break;
        tail = again;
      }
      if (indexOf(next) != 0) {
        // The tail lags behind the last node: help it on, then try again.
        mTail.compare_exchange_strong(tail, successorOf(tail, indexOf(next)), std::memory_order_acq_rel,
                                      std::memory_order_relaxed);
        continue;
      }
      if (mMemory.getNode(indexOf(tail))
              .next.compare_exchange_strong(next, successorOf(next, node), std::memory_order_acq_rel,
                                            std::memory_order_relaxed))
        break;
    }
    // Failure means another thread has already moved the tail on.
    mTail.compare_exchange_strong(tail, successorOf(tail, node), std::memory_order_acq_rel,
                                  std::memory_order_relaxed);
    // Counted once the record is reachable: a consumer that sees the new
    // count sees the link.
    mLinked.fetch_add(1, std::memory_order_release);
    return true;
  }

  // Removes the oldest record into `record`. False when the queue is empty,
  // in which case `record` is not written.
  bool retrieve(T& record) {
    // A queue found empty stays so until a record is linked: while the count
    // of linked records stands where it stood before that finding, the
    // answer is known without reading the tail or a pool node (an idle
    // consumer polling every few milliseconds would else find three cold
    // cache lines each time).
    const uint64_t linked = mLinked.load(std::memory_order_acquire);
    if (linked == mEmptyAt.load(std::memory_order_relaxed)) return false;
    for (;;) {
      TaggedIndex head = mHead.load(std::memory_order_acquire);
      TaggedIndex tail, next;
      for (;;) {
        tail = mTail.load(std::memory_order_acquire);
        next = mMemory.getNode(indexOf(head)).next.load(std::memory_order_acquire);
        const TaggedIndex again = mHead.load(std::memory_order_acquire);
        if (again == head) break;
        head = again;
      }
      if (indexOf(head) == indexOf(tail)) {
        if (indexOf(next) == 0) {
          // Every record counted in `linked` was linked before this look,
          // so it has been taken: empty at that count.
          mEmptyAt.store(linked, std::memory_order_relaxed);
          return false;
        }
        // The tail lags behind the last node: help it on.
        mTail.compare_exchange_strong(tail, successorOf(tail, indexOf(next)), std::memory_order_acq_rel,
                                      std::memory_order_relaxed);
        continue;
      }
      if (indexOf(next) == 0) continue; // read while the head moved on
      // Copy before the swap: once the head has moved on, another consumer
      // may free and reuse this node.
      alignas(T) unsigned char bytes[sizeof(T)];
      mMemory.getNode(indexOf(next)).loadPayload(bytes);
      if (mHead.compare_exchange_strong(head, successorOf(head, indexOf(next)), std::memory_order_acq_rel,
                                        std::memory_order_relaxed)) {
        std::memcpy(static_cast<void*>(&record), bytes, sizeof(T));
        // The node that held the record is the new dummy; the old one is free.
        mMemory.freeNode(indexOf(head));
        return true;
      }
    }
  }

  const MemoryManager<T>& getMemoryManager() const { return mMemory; }

  // The head and tail words, for diagnostics.
  TaggedIndex getHead() const { return mHead.load(std::memory_order_acquire); }
  TaggedIndex getTail() const { return mTail.load(std::memory_order_acquire); }

private:
  // Head and tail on cache lines of their own: consumers swap one and
  // producers the other.
  alignas(64) std::atomic<TaggedIndex> mHead{0};
  // Records linked so far (never wraps in practice), and a count at which
  // a consumer found the queue empty; beside the head, so that a poll of
  // an empty queue reads this one line.
  std::atomic<uint64_t> mLinked{0};
  std::atomic<uint64_t> mEmptyAt{0};
  MemoryManager<T> mMemory;
  alignas(64) std::atomic<TaggedIndex> mTail{0};
};

} // namespace lockfree
