#pragma once

// Sums a fixed number of producers, each with a constant gain. A lone
// unity-gain input is handed on by reference, without a copy.

#include "wave/Producer.h"

#include <vector>

class StaticMixer : public wave::Source {
public:
  struct Input {
    float gain = 0.0f;
    // Not owned; null is an empty slot.
    wave::Producer* producer = nullptr;
  };

  StaticMixer(wave::Environment* env, int count);
  ~StaticMixer() override;

  // index must be below the slot count. A plain store that takes effect at
  // the next block.
  void setInput(int index, wave::Producer* producer, float gain);

  void produce(wave::Block* out, int n, int flags) override;

  std::vector<Input> inputs;
};
