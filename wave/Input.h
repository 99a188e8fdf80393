#pragma once

// The graph's two ends towards the host: Input feeds host samples in, Output
// holds the producer whose samples go out.

#include "wave/Producer.h"

#include <cstdint>

namespace wave {

class Input : public Producer {
public:
  explicit Input(Environment* env) : Producer(env) {}

  // The next count samples to hand out; the buffer is not owned and must
  // stay valid while they are pulled.
  void setInputBuffer(float* buffer, int count);
  // Copies the next n samples and moves on by n. Samples asked for beyond
  // the count given to setInputBuffer (or with no buffer) are silence, and
  // the buffer is never read past its end.
  void produce(Block* block, int n, int flags) override;

  float* buffer = nullptr;
  int32_t remaining = 0;
};

// A sink: one environment and one input, which its user pulls itself.
class Output : public Component, public Consumer {
public:
  explicit Output(Environment* env) : Component(env) {}
};

} // namespace wave
