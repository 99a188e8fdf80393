#pragma once

// Takes the DC out of a signal: subtracts its own slow average, a one-pole
// low pass at cCornerHz of the block means, moved linearly across each
// block. The result is a first-order high pass: -3 dB at cCornerHz, less
// than half a decibel an octave and a half above it, so the lowest
// fundamentals keep their weight while a constant offset (hard sync, a
// resonant filter driven into its characteristic) dies away within a few
// tens of milliseconds. Working on block means, it costs two plain passes
// over the block instead of a recursion per sample.

#include "wave/Producer.h"

class DcBlocker : public wave::Source {
public:
  static constexpr float cCornerHz = 4.0f;

  explicit DcBlocker(wave::Environment* env);

  // Not owned; null gives silence.
  void setInput(wave::Producer* p) { input = p; }
  // Forgets the signal so far, as if it had been silent.
  void resetState() override;
  void produce(wave::Block* out, int n, int flags) override;

private:
  wave::Producer* input = nullptr;
  // The rate and block size the smoothing factor was made for.
  float rate = 0.0f;
  int size = 0;
  float factor = 0.0f;
  // The average reached at the end of the last block.
  float average = 0.0f;
};
