#pragma once

// Takes the DC out of a signal: a one-pole high pass at a few hertz,
// y[n] = x[n] - x[n-1] + r y[n-1]. At cCornerHz the level falls 3 dB; an
// octave and a half above it less than half a decibel, so the lowest
// fundamentals keep their weight while a constant offset (hard sync, a
// resonant filter driven into its characteristic) dies away within a few
// tens of milliseconds.

#include "wave/MuteController.h"
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
  // The pairs of other voices that may go along in this pair's pass
  // (their first blockers, at most cMaxNeighbours; this one is skipped):
  // a neighbour goes along where it has not been pulled in the block yet
  // and its voice sounds and stays so when pulled (its mute controller
  // says so), that is where it is pulled in the same block anyway and its
  // input does not depend on the moment. More chains side by side fill
  // more of the time each waits on itself. Set on the first blocker of a
  // pair.
  static constexpr int cMaxNeighbours = 3;
  void setNeighbours(DcBlocker* const* blockers, int count);
  // The voice; null: never goes along with a neighbour.
  void setMuteController(wave::MuteController* c) { muteController = c; }
  // Forgets the signal so far, as if it had been silent.
  void resetState() override;
  void produce(wave::Block* out, int n, int flags) override;

private:
  // Picks up a new sample rate.
  void updateRate();
  // The input of this block, or null after going silent (current is then
  // the silent block and the state is reset).
  const wave::Block* pullInput(int n);

  // Whether this blocker's pair may go along in a neighbour's pass.
  bool goesAlong();

  wave::Producer* input = nullptr;
  wave::MuteController* muteController = nullptr;
  DcBlocker* neighbours[cMaxNeighbours] = {};
  int neighbourCount = 0;
  float rate = 0.0f;
  // r, r^2, r^3, r^4.
  float r[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float x1 = 0.0f;
  float y1 = 0.0f;
};
