#pragma once

// The node pool behind lockfree::Queue.
//
// Nodes are named by 16-bit indices, so that a link fits in one 32-bit word
// together with a 16-bit modification counter (the tag that makes a stale
// compare-and-swap fail after the word has been changed and changed back).
// Node 0 is never handed out: its free-list link is the head of the free
// list, a stack threaded through the nodes.
//
// The pool grows on demand under a critical section, the only lock taken.
// Growth adds separately allocated chunks and never moves a node, because
// other threads may at that moment be reading or swapping words of nodes
// they reached before the growth. Every word that two threads share is an
// atomic, the payload included: a consumer may copy a payload that is being
// overwritten while its node is recycled, and throws that copy away when its
// compare-and-swap fails.

#include "base/PlatformServices.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace lockfree {

// Low 16 bits: node index (0 means none); high 16 bits: modification counter.
using TaggedIndex = uint32_t;

inline constexpr int kMaxNodes = 65536;

constexpr uint32_t indexOf(TaggedIndex word) { return word & 0xFFFFu; }
constexpr uint32_t counterOf(TaggedIndex word) { return word >> 16; }
constexpr TaggedIndex makeTaggedIndex(uint32_t index, uint32_t counter) {
  return (index & 0xFFFFu) | ((counter & 0xFFFFu) << 16);
}
// The word that replaces `old` in a shared word: the new index with the old
// counter plus one, wrapping at 16 bits.
constexpr TaggedIndex successorOf(TaggedIndex old, uint32_t index) {
  return makeTaggedIndex(index, counterOf(old) + 1);
}

template <typename T>
struct _Node {
  static_assert(std::is_trivially_copyable_v<T>, "records are copied by value, without constructors");
  static constexpr std::size_t kWords = (sizeof(T) + 3) / 4;

  // Queue link (tagged index). Its counter goes on counting across the
  // node's lives, so that a producer that read it while the node was the
  // last one cannot link behind the node once it has been recycled.
  std::atomic<TaggedIndex> next{0};
  // Free-list link (a copy of the free-list head word). Kept apart from the
  // queue link so that a node on the free list never shows an empty queue
  // link to a stale producer.
  std::atomic<TaggedIndex> freeLink{0};
  std::atomic<uint32_t> payload[kWords] = {};

  void storePayload(const T& record) {
    uint32_t words[kWords] = {};
    std::memcpy(words, &record, sizeof(T));
    for (std::size_t i = 0; i < kWords; ++i) payload[i].store(words[i], std::memory_order_relaxed);
  }
  // Copies sizeof(T) bytes into `bytes`.
  void loadPayload(void* bytes) const {
    uint32_t words[kWords];
    for (std::size_t i = 0; i < kWords; ++i) words[i] = payload[i].load(std::memory_order_relaxed);
    std::memcpy(bytes, words, sizeof(T));
  }
};

template <typename T>
class MemoryManager {
public:
  using Node = _Node<T>;

  // Builds a pool of initialSize nodes (at least 1); node 0 is the free-list
  // holder, the others are free. Throws std::bad_alloc when not even that
  // can be had.
  explicit MemoryManager(int initialSize) : mLock(createCriticalSection()) {
    allocateNewNodes(initialSize < 1 ? 1 : initialSize);
    if (mSize.load(std::memory_order_relaxed) == 0) throw std::bad_alloc();
  }

  ~MemoryManager() {
    for (auto& chunk : mChunks) delete[] chunk.load(std::memory_order_relaxed);
  }

  MemoryManager(const MemoryManager&) = delete;
  MemoryManager& operator=(const MemoryManager&) = delete;

  // Grows the pool to requestedSize nodes (0: twice the present size), at
  // most kMaxNodes, and returns one fresh node (counter 0) that is not on the
  // free list. Returns a node that another thread freed meanwhile instead of
  // growing, and 0 when the pool is full or memory is exhausted.
  TaggedIndex allocateNewNodes(int requestedSize) {
    // A full pool stays full: answer without the lock, so that a render
    // thread finding the pool exhausted never waits for another thread.
    if (mSize.load(std::memory_order_acquire) >= kMaxNodes) return 0;
    Guard guard(*mLock);
    const int size = mSize.load(std::memory_order_relaxed);
    if (size >= kMaxNodes) return 0;
    if (size > 0) {
      uint32_t index;
      if (popFree(index)) return makeTaggedIndex(index, 0);
    }
    int newSize = requestedSize > 0 ? requestedSize : 2 * size;
    if (newSize > kMaxNodes) newSize = kMaxNodes;
    if (newSize <= size) newSize = size + 1;
    if (!reserveChunks(newSize)) return 0;
    if (size == 0) mFreeHead = &getNode(0).freeLink;
    for (int i = size + 1; i < newSize; ++i) pushFree(static_cast<uint32_t>(i));
    mSize.store(newSize, std::memory_order_release);
    return makeTaggedIndex(static_cast<uint32_t>(size), 0);
  }

  // Takes a node off the free list, growing the pool when the list is empty.
  // Returns its index with an empty queue link, or 0 when none can be had.
  uint32_t allocateNode() {
    uint32_t index;
    if (!popFree(index)) {
      index = indexOf(allocateNewNodes(0));
      if (index == 0) return 0;
    }
    std::atomic<TaggedIndex>& next = getNode(index).next;
    // No other thread can change this word now: the node is on no list, and
    // its link still names the successor it had, so a stale producer's
    // compare-and-swap (which expects an empty link) fails.
    next.store(successorOf(next.load(std::memory_order_relaxed), 0), std::memory_order_relaxed);
    return index;
  }

  // Puts a node that no list holds any more onto the free list.
  void freeNode(uint32_t index) { pushFree(index); }

  Node& getNode(uint32_t index) const {
    return mChunks[index >> kChunkShift].load(std::memory_order_acquire)[index & (kChunkSize - 1)];
  }

  // Number of nodes in the pool, node 0 included.
  int getSize() const { return mSize.load(std::memory_order_acquire); }

  TaggedIndex getFreeListHead() const { return mFreeHead->load(std::memory_order_acquire); }

private:
  static constexpr int kChunkShift = 8;
  static constexpr int kChunkSize = 1 << kChunkShift;
  static constexpr int kChunkCount = kMaxNodes / kChunkSize;

  class Guard {
  public:
    explicit Guard(CriticalSection& lock) : mLock(lock) { mLock.enter(); }
    ~Guard() { mLock.leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

  private:
    CriticalSection& mLock;
  };

  // Allocates the chunks that hold nodes 0..size-1. Chunks that were made
  // before a failure stay for the next attempt.
  bool reserveChunks(int size) {
    const int last = (size - 1) >> kChunkShift;
    for (int c = 0; c <= last; ++c) {
      if (mChunks[c].load(std::memory_order_relaxed) != nullptr) continue;
      try {
        mChunks[c].store(new Node[kChunkSize](), std::memory_order_release);
      } catch (const std::bad_alloc&) {
        return false;
      }
    }
    return true;
  }

  bool popFree(uint32_t& index) {
    TaggedIndex head = mFreeHead->load(std::memory_order_acquire);
    for (;;) {
      const uint32_t top = indexOf(head);
      if (top == 0) return false;
      // May read a node that another thread has just popped; the
      // compare-and-swap below then fails, since the head changed.
      const TaggedIndex link = getNode(top).freeLink.load(std::memory_order_relaxed);
      // The counter goes on counting when the list runs empty, so that an
      // emptied and refilled list never shows a word seen before it emptied.
      if (mFreeHead->compare_exchange_weak(head, successorOf(head, indexOf(link)), std::memory_order_acq_rel,
                                           std::memory_order_acquire)) {
        index = top;
        return true;
      }
    }
  }

  void pushFree(uint32_t index) {
    Node& node = getNode(index);
    TaggedIndex head = mFreeHead->load(std::memory_order_relaxed);
    do {
      node.freeLink.store(head, std::memory_order_relaxed);
    } while (!mFreeHead->compare_exchange_weak(head, successorOf(head, index), std::memory_order_release,
                                               std::memory_order_relaxed));
  }

  std::atomic<TaggedIndex>* mFreeHead = nullptr; // node 0's free-list link
  std::atomic<Node*> mChunks[kChunkCount] = {};
  std::atomic<int> mSize{0};
  std::unique_ptr<CriticalSection> mLock;
};

} // namespace lockfree
