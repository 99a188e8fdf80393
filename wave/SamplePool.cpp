#include "wave/SamplePool.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace wave {

namespace {

constexpr size_t cLine = 64;

// Slabs are cut from chunks of this size and alignment, which the kernel
// may back with one large page each: a voice's units touch dozens of
// buffers a page apart in every slice, and one large page spares the
// translation lookups of hundreds of small ones.
constexpr size_t cChunk = 2 * 1024 * 1024;
// Buffers per slab: as many as fill an eighth of a chunk (63 of the common
// 4 KB ones), so that eight slabs fill a chunk with next to nothing left.
size_t slabBuffers(size_t stride) {
  const size_t fit = cChunk / 8 / stride;
  return fit < 1 ? 1 : fit;
}

// The distance between neighbouring buffers of one size: whole cache lines,
// an odd number of them.
size_t strideFor(size_t bytes) {
  size_t lines = (bytes + cLine - 1) / cLine;
  if (lines == 0) lines = 1;
  if (lines % 2 == 0) ++lines;
  return lines * cLine;
}

// The smallest page size in use; larger pages are written more than once.
constexpr size_t cPage = 4096;

// A fresh chunk of bytes (a multiple of cChunk) on a cChunk boundary, its
// pages zero and mapped now, on the thread that builds the graph; null when
// memory runs out. Left to the kernel, a page would be mapped at the first
// write into it, and that is on the render thread: a page fault, in which
// the kernel finds and clears a page under its memory lock, for each of
// hundreds of buffers in the slice in which a chord first sounds.
void* newChunk(size_t bytes) {
  // Mapped with a chunk to spare, then trimmed to the boundary.
  const size_t span = bytes + cChunk;
  void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + cChunk - 1) & ~static_cast<uintptr_t>(cChunk - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  if (start + span > aligned + bytes)
    ::munmap(reinterpret_cast<void*>(aligned + bytes), start + span - (aligned + bytes));
  char* chunk = reinterpret_cast<char*>(aligned);
  ::madvise(chunk, bytes, MADV_HUGEPAGE);
  // Fresh anonymous pages read as zero; a write maps each one.
  volatile char* c = chunk;
  for (size_t i = 0; i < bytes; i += cPage) c[i] = 0;
  return chunk;
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
    // The last buffer is back: nothing is left in use, the chunks go.
    for (const Chunk& c : chunks) ::munmap(c.start, c.bytes);
    chunks.clear();
    chunkNext = chunkEnd = nullptr;
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
      lane.free.reserve(lane.free.capacity() + slabBuffers(lane.stride));
      chunks.reserve(chunks.size() + 1);
    } catch (const std::bad_alloc&) {
      return false;
    }
    // Strides are whole cache lines, so every slab cut from a chunk starts
    // on a line.
    const size_t bytes = slabBuffers(lane.stride) * lane.stride;
    if (static_cast<size_t>(chunkEnd - chunkNext) < bytes) {
      const size_t size = (bytes + cChunk - 1) / cChunk * cChunk;
      char* chunk = static_cast<char*>(newChunk(size));
      if (!chunk) return false;
      chunks.push_back({chunk, size});
      chunkNext = chunk;
      chunkEnd = chunk + size;
    }
    lane.next = chunkNext;
    lane.end = chunkNext + bytes;
    chunkNext += bytes;
    return true;
  }

  std::mutex mutex;
  std::vector<Lane> lanes;
  struct Chunk {
    void* start;
    size_t bytes;
  };
  std::vector<Chunk> chunks;
  // The part of the newest chunk that no slab has taken yet.
  char* chunkNext = nullptr;
  char* chunkEnd = nullptr;
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
