#include "wave/Block.h"

#include "base/MemoryUtils.h"
#include "wave/Environment.h"

#include <cstring>
#include <limits>
#include <new>

namespace wave {

namespace {

float* allocateSamples(int n) {
  if (n < 0) n = 0;
  // Room for whole groups of four floats.
  long long rounded = (static_cast<long long>(n) + 3) / 4 * 4;
  if (rounded * static_cast<long long>(sizeof(float)) > std::numeric_limits<int>::max()) throw std::bad_alloc();
  void* p = allocAlignedMem(static_cast<int>(rounded * sizeof(float)));
  // Blocks are built while the host does not render; running out of memory
  // there is reported like any other failed construction.
  if (!p) throw std::bad_alloc();
  return static_cast<float*>(p);
}

} // namespace

Block::Block(Environment* env) : size(env->maxBlockSize), data(allocateSamples(env->maxBlockSize)) {}

Block::Block(Environment* env, int k) {
  long long n = static_cast<long long>(k) * env->maxBlockSize;
  if (n < 0) n = 0;
  if (n > std::numeric_limits<int32_t>::max()) throw std::bad_alloc();
  data = allocateSamples(static_cast<int>(n));
  size = static_cast<int32_t>(n);
}

Block::~Block() { freeAlignedMem(data); }

void Block::initialize(int n) {
  float* fresh = allocateSamples(n);
  freeAlignedMem(data);
  data = fresh;
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
