#include "wave/Block.h"

#include "base/MemoryUtils.h"
#include "wave/Environment.h"
#include "wave/SamplePool.h"

#include <cstring>
#include <limits>
#include <new>

namespace wave {

namespace {

// Under AddressSanitizer every buffer comes from the heap, whose bounds it
// watches.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool cPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool cPooled = false;
#else
constexpr bool cPooled = true;
#endif
#else
constexpr bool cPooled = true;
#endif

// Room for whole groups of four floats.
size_t bytesFor(int n) {
  if (n < 0) n = 0;
  long long rounded = (static_cast<long long>(n) + 3) / 4 * 4;
  if (rounded * static_cast<long long>(sizeof(float)) > std::numeric_limits<int>::max()) throw std::bad_alloc();
  return static_cast<size_t>(rounded) * sizeof(float);
}

// Blocks are built while the host does not render; running out of memory
// there is reported like any other failed construction.
float* allocateSamples(int n, bool& pooled) {
  const size_t bytes = bytesFor(n);
  pooled = cPooled && bytes <= SamplePool::cLargest;
  void* p = pooled ? SamplePool::allocate(bytes) : allocAlignedMem(static_cast<int>(bytes));
  if (!p) throw std::bad_alloc();
  return static_cast<float*>(p);
}

void freeSamples(float* data, int n, bool pooled) {
  if (pooled)
    SamplePool::release(data, bytesFor(n));
  else
    freeAlignedMem(data);
}

} // namespace

Block::Block(Environment* env) : size(env->maxBlockSize), data(allocateSamples(env->maxBlockSize, pooled)) {}

Block::Block(Environment* env, int k) {
  long long n = static_cast<long long>(k) * env->maxBlockSize;
  if (n < 0) n = 0;
  if (n > std::numeric_limits<int32_t>::max()) throw std::bad_alloc();
  data = allocateSamples(static_cast<int>(n), pooled);
  size = static_cast<int32_t>(n);
}

Block::~Block() { freeSamples(data, size, pooled); }

void Block::initialize(int n) {
  bool freshPooled = false;
  float* fresh = allocateSamples(n, freshPooled);
  freeSamples(data, size, pooled);
  data = fresh;
  pooled = freshPooled;
  size = n < 0 ? 0 : n;
}

void ConstantFill::write(float* out, int n, float v, uint32_t b) {
  for (int i = 0; i < n; ++i) out[i] = v;
  data = out;
  count = n < 0 ? 0 : n;
  bits = b;
}

void Block::reset() {
  if (size > 0) std::memset(data, 0, static_cast<size_t>(size) * sizeof(float));
}

} // namespace wave
