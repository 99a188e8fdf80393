#pragma once

// A buffer of samples that a producer renders into.

#include <cstdint>

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
  // 16-byte aligned and zero-filled when allocated. The allocation is
  // rounded up to a whole number of four-float groups, so that the
  // four-lane kernels, which process n rounded up to a multiple of four,
  // stay inside it whatever size is.
  float* data = nullptr;
};

} // namespace wave
