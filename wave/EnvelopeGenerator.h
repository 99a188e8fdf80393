#pragma once

// The envelope: one control value per sample through the stages delay,
// attack, decay to a sustain level, a hold after the key is released, and
// release, each stage shaped by a curve of a shared Style. Its time and level
// inputs are buses, so modulation can drive them per voice. It tells a voice
// through isMute when it has finished.
//
// The inputs are read every 64 samples. A new stage time changes only the
// speed of the stage that runs, which goes on from where it stands, so a
// modulated release still ends within the longest time it is given. Stage
// lengths are whole multiples of 4 samples from the start of the stage and
// are counted down sample by sample: the MIDI messages that cut a block into
// slices do not change them.

#include "base/FunctionTableFunction.h"
#include "base/NotifyEvent.h"
#include "base/Property.h"
#include "wave/FloatParameter.h"
#include "wave/FunctionTable.h"
#include "wave/MuteController.h"
#include "wave/Producer.h"
#include "wave/ValueCurves.h"

#include <cstdint>

class Trigger;

class EnvelopeGenerator : public wave::Source, public PropertyOwner, public wave::MuteController {
public:
  enum Range { cRangeNormal = 0, cRangeNeutralSustain = 1 };
  // The step names of Range, in step order, for an indexed parameter.
  static constexpr const char* cRangeNames = "Normal,Neutral Sustain";

  // Whether the time and level inputs are read on mute calls.
  enum ParameterHandling { cSkipParametersWhenMute = 0, cReadParametersWhenMute = 1 };

  // The blocks of the six inputs for the block being rendered.
  struct ParameterBuffers {
    const float* hold;
    const float* delay;
    const float* attack;
    const float* decay;
    const float* sustain;
    const float* release;
    // The inputs hold what the last read found: the values in use stay.
    bool unchanged = false;
  };

  using DefaultUpCurve = EnvelopeDefaultUpCurve;
  using DefaultDownCurve = EnvelopeDefaultDownCurve;

  // The shortest attack, decay and release: 64 samples at 44.1 kHz.
  static constexpr float cMinTime = 0.00145124702f;
  static constexpr float cMaxTime = 100.0f;
  static constexpr int cCurvePoints = 4096;
  // Samples between two reads of the inputs.
  static constexpr int cParameterReadInterval = 64;

  // The four stage curves over x in [0, 1]: up curves rise from 0 to 1, down
  // curves fall from 1 to 0. Shared read-only by many generators.
  class Style {
  public:
    // Straight lines.
    Style();
    Style(const FunctionTableFunction& attack, const FunctionTableFunction& decayDown,
          const FunctionTableFunction& decayUp, const FunctionTableFunction& release);
    Style(const Style&) = delete;
    Style& operator=(const Style&) = delete;

    // Re-tabulate one curve; never while a generator renders with it.
    void setAttackCurve(const FunctionTableFunction& f) { tabulate(attackCurve, f); }
    void setDecayDownCurve(const FunctionTableFunction& f) { tabulate(decayDownCurve, f); }
    void setDecayUpCurve(const FunctionTableFunction& f) { tabulate(decayUpCurve, f); }
    void setReleaseCurve(const FunctionTableFunction& f) { tabulate(releaseCurve, f); }

    const FunctionTable<float>& getAttackCurve() const { return attackCurve; }
    const FunctionTable<float>& getDecayDownCurve() const { return decayDownCurve; }
    const FunctionTable<float>& getDecayUpCurve() const { return decayUpCurve; }
    const FunctionTable<float>& getReleaseCurve() const { return releaseCurve; }

  private:
    static void tabulate(FunctionTable<float>& table, const FunctionTableFunction& f);

    FunctionTable<float> attackCurve;
    FunctionTable<float> decayDownCurve;
    FunctionTable<float> decayUpCurve;
    FunctionTable<float> releaseCurve;
  };

  // A null style makes the generator build and own a default one.
  explicit EnvelopeGenerator(wave::Environment* env, Style* style = nullptr,
                             ParameterHandling handling = cSkipParametersWhenMute);
  ~EnvelopeGenerator() override;

  EnvelopeGenerator(const EnvelopeGenerator&) = delete;
  EnvelopeGenerator& operator=(const EnvelopeGenerator&) = delete;

  void produce(wave::Block* block, int count, int flags) override;
  void resetState() override;
  // True when idle and no start is pending.
  bool isMute() override { return state == cIdle && !startPending; }
  void propertyChange(const AbstractProperty* p) override;

  // The envelope starts at the beginning of its next block.
  void start();
  // Releases at once (after the hold time).
  void finish();
  // Ends a release where it stands, as the end of its curve would: idle at
  // the resting level. Nothing happens outside the release stage.
  void endRelease();
  // Takes the range and the sustain level into the sustain target.
  void updateSustainLevel();
  // An optional gate that starts and finishes the envelope inside blocks
  // while it is enabled; not owned.
  void setTrigger(Trigger* t) {
    trigger = t;
    dormant = false;
  }
  // Raises gateChanged for a gate change, at most ten times a second.
  void handleTriggerCalls(int count, bool changed);
  // constantBlock: whether the block written holds one value throughout.
  void markConstant(const float* out, int count);

  Trigger* getTrigger() const { return trigger; }
  Style* getStyle() const { return style; }
  // The last value written.
  float getLevel() const { return level; }
  // 0 idle, 1 running, 2 the release ended in this block.
  int getState() const { return state; }
  // Whether the key is held.
  bool getGate() const { return gate; }
  // In the release stage: the key is up, the hold is over and the level
  // falls from here to the end of the release.
  bool isReleasing() const { return state == cRunning && !gate && !startPending && releasePosition > 0.0f; }
  // What a read of the inputs stored.
  float getAttack() const { return attack; }
  float getDecay() const { return decay; }
  float getRelease() const { return release; }
  float getDelay() const { return delay; }
  float getHold() const { return hold; }
  float getSustain() const { return sustain; }

  // Seconds.
  wave::FloatParameterBus delayTime;
  wave::FloatParameterBus attackTime;
  wave::FloatParameterBus decayTime;
  wave::FloatParameterBus releaseTime;
  wave::FloatParameterBus holdTime;
  Property<Range> range;
  // 0..1.
  wave::FloatParameterBus sustainLevel;
  // Raised on the render thread when the gate changes under a trigger.
  NotifyEvent gateChanged;

private:
  enum StageState { cIdle = 0, cRunning = 1, cReleaseEnded = 2 };

  static constexpr int cInputCount = 6;

  // Pulls the inputs; without reading, only those that render more than a
  // parameter's glide. False when one gives no block.
  bool pullParameters(int count, ParameterBuffers& buffers, bool reading);
  // pullParameters past its quick answer (kept apart, so that a held note
  // does not pay for this part's registers).
  bool pullInputs(int count, ParameterBuffers& buffers, bool reading);
  void startEnvelope();
  void stopEnvelope();
  void produceBlock(float* out, const ParameterBuffers* buffers, int from, int count, int flags);
  void updateParameters(const ParameterBuffers& buffers, int i);
  void produceSlice(float* out, int count, int flags);
  // Whether the whole block is the sustain stage at its level (reading the
  // inputs first when a read is due), and its rendering.
  bool holdsSustain(const ParameterBuffers& b, int count);
  void produceSustain(float* out, int count);
  // holdsSustain for the common case, without pulling or reading the
  // inputs; false leaves everything as it was.
  bool holdsSustainQuickly(const wave::Block* block, int count, int flags);
  void processMute(int d, int a, int s, int r);
  int32_t secondsToSamples(float seconds) const;

  // The values of the inputs at the last read.
  float hold = 0.0f;
  float delay = 0.0f;
  float attack = cMinTime;
  float decay = cMinTime;
  float sustain = 1.0f;
  float release = cMinTime;
  int32_t state = cIdle;
  int32_t samplesSinceRelease = 0;
  int32_t holdSamples = 0;
  float attackStartLevel = 0.0f;
  float releaseStartLevel = 0.0f;
  float decaySpan = 0.0f;
  // Set to multiples of 4 when the stage starts, then counted down sample
  // by sample, so that a stage lasts the same however the block is sliced.
  int32_t delaySamplesLeft = 0;
  int32_t attackSamplesLeft = 0;
  // The whole delay as startEnvelope set it, to tell how much of it has
  // passed when the delay time changes while it runs.
  int32_t delaySamplesTotal = 0;
  // Curve positions, x in [0, 1]; a release position of 1 means the release
  // is complete.
  float attackPosition = 0.0f;
  float decayPosition = 0.0f;
  float releasePosition = 1.0f;
  float level = 0.0f;
  bool gate = false;
  bool ownsStyle;
  int32_t parameterHandling;
  int32_t notificationCounter = 0;
  bool startPending = false;
  Style* style;
  // 0 for "Neutral Sustain", else the sustain level.
  float sustainTarget = 1.0f;
  Trigger* trigger = nullptr;
  int32_t samplesUntilRead = 0;
  bool notificationPending = false;
  // What the sustain path last wrote.
  wave::ConstantFill sustainFill;
  // The producers last seen on the inputs, and whether each is a
  // FloatParameterSource.
  wave::Producer* seenInputs[cInputCount] = {};
  bool clockInputs[cInputCount] = {};
  // Whether every input was a parameter when the environment's count of
  // controller changes was seenBusChanges: a block that reads no input then
  // has nothing to pull.
  bool allClockInputs = false;
  uint32_t seenBusChanges = 0;
  // The last read found every input a settled parameter while the
  // environment's count of parameter changes was seenParameterChanges: until
  // it moves on, a read would find the same values.
  bool settledAtRead = false;
  uint32_t seenParameterChanges = 0;
};
