#pragma once

// Sums a fixed number of producers, each with a constant gain. A lone
// unity-gain input is handed on by reference, without a copy.

#include "wave/Producer.h"

#include <memory>

class StaticMixer : public wave::Source {
public:
  struct Input {
    float gain = 0.0f;
    // Not owned; null is an empty slot.
    wave::Producer* producer = nullptr;
  };

  StaticMixer(wave::Environment* env, int count);
  ~StaticMixer() override;
  // The slots may lie inside the mixer: a copy would share them.
  StaticMixer(const StaticMixer&) = delete;
  StaticMixer& operator=(const StaticMixer&) = delete;

  // index must be below the slot count. A plain store that takes effect at
  // the next block.
  void setInput(int index, wave::Producer* producer, float gain);

  void produce(wave::Block* out, int n, int flags) override;

  int getInputCount() const { return inputCount; }

private:
  // Up to cInlineInputs slots (a voice's mixers have two) lie inside the
  // mixer, so that reading them at every block does not go to memory of
  // its own; more are allocated.
  static constexpr int cInlineInputs = 4;
  int inputCount;
  Input inlineInputs[cInlineInputs];
  std::unique_ptr<Input[]> moreInputs;
  Input* inputs;
};
