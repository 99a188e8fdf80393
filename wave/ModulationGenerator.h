#pragma once

// The low-frequency oscillator: one control value per sample from a phase
// that runs through two halves per cycle (0 to 0.5, 0.5 to 1), with five wave
// forms, two polarities, an adjustable balance between the halves, a free or
// tempo-synchronised frequency, a restart on key press, and a slow indicator
// of the half for the editor.

#include "base/NotifyEvent.h"
#include "base/Property.h"
#include "wave/FloatParameter.h"
#include "wave/HeldInput.h"
#include "wave/Producer.h"

#include <atomic>
#include <cstdint>

// Cache-line aligned: the lines read per quantum are then as few as the
// fields need.
class alignas(64) ModulationGenerator : public wave::Source, public PropertyOwner {
public:
  enum WaveForm { cTriangle = 0, cSquare = 1, cSine = 2, cTriangleRandom = 3, cSampleHold = 4 };
  enum Polarity { cBiPolar = 0, cMonoPolar = 1 };
  // The step names of WaveForm and Polarity, in step order, for indexed
  // parameters.
  static constexpr const char* cWaveFormNames = "Triangle,Square,Sine,TriangleRandom,SampleHold";
  static constexpr const char* cPolarityNames = "Bi-polar,Mono-polar";

  explicit ModulationGenerator(wave::Environment* env);
  ~ModulationGenerator() override = default;

  ModulationGenerator(const ModulationGenerator&) = delete;
  ModulationGenerator& operator=(const ModulationGenerator&) = delete;

  // Runs the phase on every call, mute calls included, so that it moves on
  // while nobody listens.
  void produce(wave::Block* block, int count, int flags) override;
  void propertyChange(const AbstractProperty* p) override;

  // Restarts the cycle (a key press with "MIDI Trigger" on): phase 0, and the
  // tempo-synchronised position counts from the last host position. The
  // output jumps to the restart value.
  void reset();
  // The same restart for an output that is being listened to (a note
  // sounds): the output leaves the value it last gave and reaches the
  // restarted wave over cRetriggerSeconds instead of stepping there (an
  // offset that fades by a raised cosine), so that held notes do not
  // click. Before the generator has produced anything it is reset.
  void retrigger();
  static constexpr float cRetriggerSeconds = 0.005f;
  // Tempo-synchronised positions count from the song's start again.
  void resetSyncPositionOffset() { syncPositionOffset = 0.0f; }
  // Tempo in beats per minute, position in beats, a cycle of lengthInBars
  // bars of four beats. Sets the frequency, and the phase when the position
  // moved.
  void sync(float tempo, float position, float lengthInBars);

  // Takes phase (negative counts as 0); at a change of half, the level and
  // range of the new half are set and the indicator is updated. sampleIndex
  // is the block position at which the new half begins.
  void setPhase(double phase, int sampleIndex);
  // The level and range of the half now beginning.
  void updateWaveLevelAndRange();

  // 1 while a second half lasting longer than a sixteenth of a second shows,
  // else 0. May be read from any thread.
  int getIndicator() const { return indicator.load(std::memory_order_relaxed); }
  double getPhase() const { return phase; }
  bool isSecondHalf() const { return secondHalf; }
  float getWaveLevel() const { return level; }
  float getWaveRange() const { return range; }
  float getPrevious() const { return previousValue(); }

  // The fraction of the cycle spent in the first half.
  LimitedProperty<float> balance;
  Property<Polarity> polarity;
  Property<WaveForm> waveForm;
  // Raised on the render thread when the indicator changes.
  NotifyEvent indicatorChanged;
  // Whether a mute call writes the block as well. Only where no other mute
  // call of the same block reads it (another generator whose frequency it
  // drives would) may an owner turn this off: the phase, the halves and the
  // last value then still run on exactly, and the sine's samples cost
  // nothing while nobody listens.
  bool writeOnMuteCalls = true;

private:
  struct TriangleWave;
  struct SquareWave;
  struct SineWave;

  // kWrite false: the phase, the halves and the last value only.
  template <bool kWrite>
  void produceForm(float* out, int count, const float* frequencies, int stride);
  template <class Wave, bool kWrite>
  void produceWave(float* out, int count, const float* frequencies, int stride);
  // Moves a phase that reached the end of its half into the next half,
  // carrying the overshoot over at the next half's speed; returns the half
  // it lands in.
  bool carryOver(double& p, bool half) const;
  // The last value; a sine's unwritten pass leaves the cosine to whoever
  // asks (a change of form or polarity), as an idle instance would else
  // compute one per quantum that nobody reads.
  float previousValue() const;
  template <class Wave>
  void deferPrevious(double lastPhase, bool half);
  void setPrevious(float value) {
    previous = value;
    previousPending = false;
  }

  // The offset a retrigger adds at sample k of its ramp (k < length).
  float rampOffset(int k) const;
  // The value the output gave last, the ramp's offset included.
  float lastOutput() const;
  // Adds the ramp's offsets to the first samples of out.
  void applyRamp(float* out, int count);

  std::atomic<int32_t> indicator{0};
  // Relative to the start of the current block.
  int32_t lastHalfChange = 0;
  float previous = -1.0f;
  // While set, the last value is the sine's at previousPhase with the level
  // and range of that pass.
  bool previousPending = false;
  float previousLevel = 0.0f;
  float previousRange = 0.0f;
  double previousPhase = 0.0;
  double phase = 0.0;
  float lastSyncPosition = -1.0f;
  bool secondHalf = false;
  int32_t seed;
  float syncPositionOffset = 0.0f;
  float level = -1.0f;
  float range = 2.0f;
  // Stands in for the frequency block when the input has none.
  float fallbackFrequency = 0.1f;
  // The frequency last read, and whether the input holds it.
  float heldFrequency = 0.0f;
  wave::HeldInput heldInput;
  // A retrigger's ramp: the value the output gave before it (rampFrom),
  // the offset between that and the restarted wave's first sample
  // (rampStep, known once that sample is rendered: rampStarted), its length
  // and the samples still to come (0: none under way).
  bool producedAny = false;
  bool rampStarted = false;
  float rampFrom = 0.0f;
  float rampStep = 0.0f;
  int32_t rampLength = 0;
  int32_t rampLeft = 0;

public:
  // Cycles per second. Last, so that what every quantum reads (the
  // settings and the state above, and this bus's output) lies on a few
  // lines in front of the bus's own parameter, which a settled input
  // leaves unread.
  wave::FloatParameterBus frequency;
};
