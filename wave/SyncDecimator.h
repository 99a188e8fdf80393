#pragma once

// Brings a hard-synced oscillator rendered at four times the sample rate
// back down to it. A reset of the slave is a jump of the wave, whose
// spectrum reaches far past half the rate: at the base rate every part of it
// above half the rate folds back as a grain between the harmonics. Rendered
// four times finer, the slave keeps its harmonics up to twice the base rate
// and what folds lies far up; two half-band low passes (4x to 2x, then 2x to
// 1x) take everything above the audio band away before it can fold.
//
// Linear-phase FIR stages: a delay of cDelay base samples, the same at
// every pitch. Nothing allocates; the history lives in the object.

class SyncDecimator {
public:
  static constexpr int cFactor = 4;
  // Base samples per call at most.
  static constexpr int cMaxChunk = 64;
  // Taps of the two stages (odd; every second tap but the centre is 0).
  static constexpr int cTaps1 = 17;
  static constexpr int cTaps2 = 81;
  // The delay in base samples, rounded down.
  static constexpr int cDelay = ((cTaps1 - 1) / 2 + (cTaps2 - 1)) / 4;

  // Both stages silent.
  void reset();
  // count (<= cMaxChunk) base samples into out from cFactor x count
  // samples in in.
  void process(const float* in, float* out, int count);

private:
  // History, new samples, and room for the taps' padding to a multiple of
  // four (read with a zero tap).
  float line1[cTaps1 - 1 + cFactor * cMaxChunk + 4] = {};
  float line2[cTaps2 - 1 + 2 * cMaxChunk + 4] = {};
};
