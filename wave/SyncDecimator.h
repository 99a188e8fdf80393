#pragma once

// Brings a hard-synced oscillator rendered at twice the sample rate back
// down to it. A reset of the slave is a jump of the wave, whose spectrum
// reaches far past half the rate: at the base rate every part of it above
// half the rate folds back as a grain between the harmonics. Rendered twice
// as fine, the slave keeps its harmonics up to the base rate, its crossfade
// spans more samples, and what would fold lies far up; a low pass that
// passes up to 0.4 of the base rate and stops from 0.5 on takes everything
// above the audio band away before it can fold.
//
// A linear-phase FIR: a delay of cDelay base samples, the same at every
// pitch. Nothing allocates; the history lives in the object.

class SyncDecimator {
public:
  static constexpr int cFactor = 2;
  // Base samples per call at most.
  static constexpr int cMaxChunk = 64;
  // Taps at the finer rate (odd, symmetric).
  static constexpr int cTaps = 81;
  // The delay in base samples.
  static constexpr int cDelay = (cTaps - 1) / 4;

  // Silent history.
  void reset();
  // count (<= cMaxChunk) base samples into out from cFactor x count
  // samples in in.
  void process(const float* in, float* out, int count);

private:
  // History, new samples, and four spare places.
  float line[cTaps - 1 + cFactor * cMaxChunk + 4] = {};
};
