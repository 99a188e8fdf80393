#pragma once

// Takes the DC out of a signal: a one-pole high pass at a few hertz,
// y[n] = x[n] - x[n-1] + r y[n-1]. At cCornerHz the level falls 3 dB; an
// octave and a half above it less than half a decibel, so the lowest
// fundamentals keep their weight while a constant offset (hard sync, a
// resonant filter driven into its characteristic) dies away within a few
// tens of milliseconds.

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
  float rate = 0.0f;
  // r, r^2, r^3, r^4.
  float r[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float x1 = 0.0f;
  float y1 = 0.0f;
};
