#pragma once

// Producers with one signal input.

#include "wave/Producer.h"

namespace wave {

class Filter : public Producer, public Consumer {
public:
  explicit Filter(Environment* env, int flags = 0) : Producer(env, flags) {}

  // Pulls the input (unless this is a mute call) and hands its current
  // block to filter: null when there is no input; on a mute call whatever
  // the input last produced.
  void produce(Block* out, int n, int flags) override;
  virtual void filter(const Block* in, Block* out, int n, int flags) = 0;
};

// Passes its input on without copying: its output is the input's block.
class Forwarder : public Filter {
public:
  explicit Forwarder(Environment* env) : Filter(env, cNoOwnBlock) {}
  void filter(const Block* in, Block* out, int n, int flags) override;
};

} // namespace wave
