#pragma once

// Takes the DC out of a signal: a one-pole high pass at a few hertz,
// y[n] = x[n] - x[n-1] + r y[n-1]. At cCornerHz the level falls 3 dB; an
// octave and a half above it less than half a decibel, so the lowest
// fundamentals keep their weight while a constant offset (hard sync, a
// resonant filter driven into its characteristic) dies away within a few
// tens of milliseconds.

#include "wave/PairedUnit.h"
#include "wave/Producer.h"

class DcBlocker : public wave::Source, public PairedUnit<DcBlocker> {
public:
  static constexpr float cCornerHz = 4.0f;

  explicit DcBlocker(wave::Environment* env);

  // Not owned; null gives silence.
  void setInput(wave::Producer* p) { input = p; }
  // As a pair (pairWith), such as the left and right channel of a voice,
  // the first of two blockers pulled in a block filters both in one pass,
  // where each one's recursion fills the time the other waits on itself;
  // the samples are those each computes alone. Both must be pulled in the
  // same blocks with the same count.
  // Forgets the signal so far, as if it had been silent.
  void resetState() override;
  void produce(wave::Block* out, int n, int flags) override;

private:
  // Picks up a new sample rate.
  void updateRate();
  // The input of this block, or null after going silent (current is then
  // the silent block and the state is reset).
  const wave::Block* pullInput(int n);

  wave::Producer* input = nullptr;
  float rate = 0.0f;
  // r, r^2, r^3, r^4.
  float r[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float x1 = 0.0f;
  float y1 = 0.0f;
};
