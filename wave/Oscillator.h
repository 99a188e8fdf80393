#pragma once

// One oscillator of a synthesizer voice: a triangle, sawtooth or pulse wave
// read from the band-limited tables of a shared Oscillator::Style
// (wave/OscillatorStyle.h), or white or pink noise.
//
// The pitch input is an exp-frequency (log2 of Hz) per sample. With a sync
// input above 0 the oscillator runs sync octaves above the pitch and is
// hard-synced to a virtual master at the pitch itself, whose cycle is 2^sync
// of its own; when that is not a whole number of cycles a raised-cosine
// crossfade over the last 5 % of the master cycle (three samples at the
// least) hides the reset. A synced oscillator renders at twice the rate and
// is filtered back down (wave/SyncDecimator.h), so that the resets do not
// fold back as grains between the harmonics at high notes. The tonal
// wave forms get a faint noise floor added (the style's background noise
// level): read from the style's shared noise bed at the oscillator's own
// position, so that the floors of the oscillators are independent without
// each drawing its own random number at every sample.

#include "base/Property.h"
#include "wave/FloatParameter.h"
#include "wave/OscillatorKernels.h"
#include "wave/MuteController.h"
#include "wave/SyncDecimator.h"
#include "wave/Producer.h"

#include <cstdint>

class SyncLanes;

class Oscillator : public wave::Source {
public:
  enum WaveForm : int32_t {
    Triangle = 0,   // "Triangle"
    Sawtooth = 1,   // "Sawtooth"
    Square = 2,     // "Square": a pulse built from the sawtooth tables
    WhiteNoise = 3, // "White"
    PinkNoise = 4   // "Pink"
  };

  // The tables every oscillator shares; defined in wave/OscillatorStyle.h.
  class Style;

  static constexpr int32_t cTableCount = 128;
  // Floats from one table to the next: the largest play size plus the point
  // that repeats the cycle's start.
  static constexpr int32_t cTableStride = 4097;
  static constexpr int32_t cMaxTableSize = 4096;

  // One per sample rate, made and owned by the style: for each pitch entry
  // (exp-frequency -10 + i / 409.6) the normalized frequency and the highest
  // table that plays at it without aliasing. A raw block of 32770 words:
  // the rate, the frequencies (the last of them a guard entry repeating the
  // one before, so that interpolation at the top entry reads a defined
  // value), the table numbers.
  struct FrequencyTable {
    int32_t rate;
    float frequency[cFrequencyTableEntries + 1];
    int32_t tableIndex[cFrequencyTableEntries];
  };

  // The style must be customized and initialized: its square and sawtooth
  // values are read here, once. Fetches the frequency table of the
  // environment's rate (the style's lock is taken if that rate is new).
  Oscillator(Style* style, wave::Environment* env);
  ~Oscillator() override;

  // Renders by waveForm; any other value leaves the block as it was. A mute
  // call (flags bit 0) pulls nothing, writes nothing and leaves the phase
  // and noise where they are.
  void produce(wave::Block* block, int count, int flags) override;

  // Both phases to three quarters into the cycle of the table last played
  // (the sawtooth's zero crossing), for a note-on with phase sync.
  void resetPhase();
  // Both phases to fraction of the cycle of the table last played, at once:
  // for an oscillator about to start from silence. A restart's crossfade
  // under way is dropped.
  void jumpToPhase(float fraction);
  // The same for an oscillator that is sounding: its wave runs on from
  // where it is and crossfades (a raised cosine) into the wave from the new
  // phase over cRestartSeconds, so that the restart does not click. Called
  // again during a crossfade, the wave that weighs more so far is the one
  // faded from (a step of up to half the difference remains, and only
  // where restarts come within a crossfade of each other; restarts at the
  // same moment fade from the wave that sounded before them).
  void fadeToPhase(float fraction);
  static constexpr float cRestartSeconds = 0.005f;
  // Whether a restart's crossfade is under way.
  bool isFadingToPhase() const { return restartLeft > 0; }
  // Starts again as a new oscillator does, the phase and the noise kept:
  // the sync filter from silence, no crossfade under way, the first table
  // as the one last played. For a voice that starts again from silence,
  // whose oscillators still hold the end of its last note.
  void startFromSilence();
  // Swaps in the frequency table of the environment's rate when the rate
  // has changed; the phase is kept.
  void updateFrequencyTable();

  // The steps of produce. The tonal forms come with their noise floor: the
  // free-running kernels add it in their own pass where this block's part
  // of the noise bed lies in one piece, else addBackgroundNoise follows.
  void produceWave(const float (*tables)[cTableStride], wave::Block* block, int count, int flags);
  void produceSquare(wave::Block* block, int count, int flags);
  void produceNoise(wave::Block* block, int count, int flags);
  void addBackgroundNoise(wave::Block* block, int count, int flags);
  // The part of the noise bed that this block's floor reads, the position
  // moved past it as addBackgroundNoise moves it; null (the position kept)
  // when there is no floor or the part wraps around the end of the bed.
  const float* claimNoiseFloor(int count);

  // The next noise value in [-1, 1).
  float nextNoise() { return stepNoise(noiseState); }
  // The next value of a noise register state (never 0, below 2^24).
  static float stepNoise(uint32_t& state);
  // Seeds the noise register (seed != 0, below 2^24) and the floor's place
  // in the style's noise bed.
  void seedNoise(uint32_t seed);
  // The register's next count values (each eight single shifts on) times
  // level, the state moved past them. The wide path (carry-less products and
  // byte-matrix transforms, where the processor has them) gives the same
  // states and floats as the table steps; allowWide false keeps to the
  // tables.
  static void produceWhiteNoise(uint32_t& state, float level, float* out, int count, bool allowWide = true);
  // Whether this processor takes the wide path.
  static bool wideNoiseAvailable();

  // Inputs. Pitch in exp-frequency units (initial 8, limits -10..30), pulse
  // width 0..1 (initial 0), sync in octaves 0..2 (initial 0).
  wave::FloatParameterBus frequency;
  wave::FloatParameterBus pulseWidth;
  wave::FloatParameterBus sync;
  Property<WaveForm> waveForm;

  // The voice, asked whether a synced pass of several voices may render
  // this oscillator ahead of its pull (wave/SyncLanes.h); null: never.
  void setMuteController(wave::MuteController* c) { muteController = c; }
  SyncLanes* getSyncLanes() const { return syncLanes; }

  // Not owned: it belongs to the style.
  const FrequencyTable* frequencyTable = nullptr;
  // A 24-bit shift register, never 0.
  uint32_t noiseState;
  // Where the noise floor reads the style's noise bed next.
  uint32_t bedPosition;
  float pinkState[3] = {0.0f, 0.0f, 0.0f};
  VectorProduceParams kernelState;
  float currentRate = 0.0f;
  Style* style;

private:
  friend class SyncLanes;
  // The sync kernels' finer-rate output, a chunk at a time, and the filter
  // that brings it down.
  void produceSynced(const float* tables, const float* pitch, const float* syncValues, const float* widths,
                     float* out, int count);
  // A restart's crossfade over the free-running kernels' output: the wave
  // from before it rendered on (its noise floor from the same part of the
  // bed, so that the floor comes through whole) and faded out.
  void fadeRestartFast(const float* tables, const float* pitch, const float* widths, float* out, int count,
                       const float* bed);
  // The same at the synced kernels' finer rate, before the decimator (a
  // linear filter: fading before it is fading after it).
  void fadeRestartSynced(const float* tables, const float* pitch, const float* syncValues, const float* widths,
                         float* oversampledOut, int count);
  bool synced = false;
  // The kernels' state of the wave a restart fades out, and the restart's
  // length and samples still to come (0: none under way).
  VectorProduceParams restartFrom{};
  int restartLength = 0;
  int restartLeft = 0;
  // Not owned; set by SyncLanes::setMember.
  SyncLanes* syncLanes = nullptr;
  int syncLane = 0;
  wave::MuteController* muteController = nullptr;
  SyncDecimator decimator;
  alignas(16) float oversampled[SyncDecimator::cFactor * SyncDecimator::cMaxChunk];
};
