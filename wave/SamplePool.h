#pragma once

// Where the sample buffers of blocks come from. A voice's units read and
// write dozens of blocks in every slice, but only the first few cache lines
// of each (a slice is a few dozen samples, a block holds the largest slice
// a host may ask for). Taken from the general heap, each buffer would sit
// between the small objects of the graph and push the units of one voice
// pages apart; taken from slabs of their own, the buffers lie side by side
// in the order the graph is built, and the units' objects close up on the
// heap. The buffers of one size are spaced an odd number of cache lines
// apart, so that the first lines of neighbouring buffers fall into
// different cache sets.
//
// Buffers are zero-filled when handed out, and their memory is mapped when
// the pool takes it from the system, never by a buffer's first write on the
// render thread. The slabs are shared by every instance in the process and
// given back when the last buffer is freed.
// Thread-safe; takes a lock, so it is for building graphs, never for
// rendering.

#include <cstddef>

namespace wave {

class SamplePool {
public:
  // A zero-filled buffer of at least bytes bytes, 64-byte aligned, or null
  // when bytes is larger than cLargest (take it elsewhere) or memory runs
  // out.
  static void* allocate(size_t bytes);
  // Gives back a buffer that allocate returned for the same bytes.
  static void release(void* p, size_t bytes);

  // Larger buffers come from the general heap.
  static constexpr size_t cLargest = 64 * 1024;
};

} // namespace wave
