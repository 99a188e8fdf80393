#pragma once

// A buffer of samples that a producer renders into.

#include <cstdint>
#include <cstring>

namespace wave {

class Environment;

class Block {
public:
  // One channel: maxBlockSize floats of the environment.
  explicit Block(Environment* env);
  // k channels side by side: k x maxBlockSize floats.
  Block(Environment* env, int k);
  virtual ~Block();

  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  // Replaces the buffer with a new one of n zeros (the old one is freed).
  void initialize(int n);
  // Writes size zeros.
  void reset();

  int32_t size = 0;
  // The buffer came from the SamplePool (for size, which must not change
  // but through initialize).
  bool pooled = false;
  // 16-byte aligned and zero-filled when allocated. The allocation is
  // rounded up to a whole number of four-float groups, so that the
  // four-lane kernels, which process n rounded up to a multiple of four,
  // stay inside it whatever size is.
  float* data = nullptr;
};

// What a producer last wrote into its own block as one value throughout, so
// that a block holding one value from block to block is written once and
// again only for a new value (judged by its bits), a longer block or
// another buffer.
class ConstantFill {
public:
  // Makes out[0, n) hold v.
  void fill(float* out, int n, float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    if (out != data || n > count || b != bits) write(out, n, v, b);
  }
  // Something else was written into the block.
  void forget() { count = 0; }

private:
  void write(float* out, int n, float v, uint32_t b);

  const float* data = nullptr;
  int32_t count = 0;
  uint32_t bits = 0;
};

} // namespace wave
