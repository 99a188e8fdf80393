#include "wave/SamplePool.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace wave {

namespace {

constexpr size_t cLine = 64;
// The smallest page size in use; larger pages are touched more than once.
constexpr size_t cPage = 4096;
// Buffers per slab: a slab of 4 KB buffers is about a quarter of a megabyte.
constexpr size_t cSlabBuffers = 64;

// The distance between neighbouring buffers of one size: whole cache lines,
// an odd number of them.
size_t strideFor(size_t bytes) {
  size_t lines = (bytes + cLine - 1) / cLine;
  if (lines == 0) lines = 1;
  if (lines % 2 == 0) ++lines;
  return lines * cLine;
}

// The pages of a fresh slab are mapped now, on the thread that builds the
// graph. calloc leaves those of a large allocation untouched (the kernel
// hands out zero pages as they are first written), so that otherwise the
// render thread would take a page fault, in which the kernel finds and
// clears a page under its memory lock, at the first write into each
// buffer: hundreds of them in the slice in which a chord first sounds.
// The writes are volatile because a compiler may turn a plain clearing of
// fresh memory back into the untouched calloc.
void touchPages(void* p, size_t bytes) {
  volatile char* c = static_cast<volatile char*>(p);
  for (size_t i = 0; i < bytes; i += cPage) c[i] = 0;
  c[bytes - 1] = 0;
}

class Pool {
public:
  void* allocate(size_t bytes) {
    const size_t stride = strideFor(bytes);
    std::lock_guard<std::mutex> lock(mutex);
    Lane* lane = laneFor(stride);
    if (!lane) return nullptr;
    void* p = nullptr;
    if (!lane->free.empty()) {
      p = lane->free.back();
      lane->free.pop_back();
      std::memset(p, 0, stride);
    } else {
      if (lane->next == lane->end && !addSlab(*lane)) return nullptr;
      p = lane->next;
      lane->next += stride;
    }
    ++outstanding;
    return p;
  }

  void release(void* p, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    Lane* lane = laneFor(strideFor(bytes));
    // Room for every buffer of the lane was reserved with its slabs.
    if (lane) lane->free.push_back(p);
    if (--outstanding > 0) return;
    // The last buffer is back: nothing is left in use, the slabs go.
    for (void* s : slabs) std::free(s);
    slabs.clear();
    lanes.clear();
  }

private:
  struct Lane {
    size_t stride;
    char* next = nullptr;
    char* end = nullptr;
    std::vector<void*> free;
  };

  Lane* laneFor(size_t stride) {
    for (Lane& l : lanes)
      if (l.stride == stride) return &l;
    try {
      lanes.push_back(Lane{stride, nullptr, nullptr, {}});
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return &lanes.back();
  }

  bool addSlab(Lane& lane) {
    try {
      // Every buffer of the lane may come back at once.
      lane.free.reserve(lane.free.capacity() + cSlabBuffers);
      slabs.reserve(slabs.size() + 1);
    } catch (const std::bad_alloc&) {
      return false;
    }
    const size_t bytes = cSlabBuffers * lane.stride + cLine;
    void* raw = std::calloc(1, bytes);
    if (!raw) return false;
    touchPages(raw, bytes);
    slabs.push_back(raw);
    const uintptr_t start = (reinterpret_cast<uintptr_t>(raw) + cLine - 1) & ~static_cast<uintptr_t>(cLine - 1);
    lane.next = reinterpret_cast<char*>(start);
    lane.end = lane.next + cSlabBuffers * lane.stride;
    return true;
  }

  std::mutex mutex;
  std::vector<Lane> lanes;
  std::vector<void*> slabs;
  size_t outstanding = 0;
};

// Never destroyed: a block freed during the process's exit still finds it.
// It holds no memory while no buffer is in use.
Pool& pool() {
  static Pool* p = new Pool();
  return *p;
}

} // namespace

void* SamplePool::allocate(size_t bytes) { return bytes > cLargest ? nullptr : pool().allocate(bytes); }

void SamplePool::release(void* p, size_t bytes) {
  if (p) pool().release(p, bytes);
}

} // namespace wave
