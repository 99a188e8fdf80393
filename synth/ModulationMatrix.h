#pragma once

// The modulation matrix: 24 slots, each routing one of 11 sources to one of
// 62 targets with a level, an invert and a bypass switch.
//
// Sources (the signal each is expected to carry):
//   0-2  LFO 1-3     global     -1..1 (bi-polar) or 0..1 (mono-polar)
//   3    EG 1        per voice  0..1 (Neutral Sustain: minus the sustain level)
//   4    EG 2        per voice  as EG 1
//   5    EG Main     per voice  0..1
//   6    Velocity    per voice  0..1 (MIDI velocity / 127)
//   7    KB Track    per voice  (note - 60) / 60: 0 at middle C, -1 at note 0,
//                               +1 five octaves up (keyboardTrackValue)
//   8    Mod Wheel   global     0..1
//   9    Pitch Bend  global     -1..1
//   10   Aftertouch  global     0..1
//
// Targets, and what a slot at full level (1.0) adds for a source value of
// 1.0 (the full scale). "Octaves" targets are exp-frequency values (log2
// Hz) or octaves of the sync ratio and simply add; "exponential" targets
// are multiplied by 2^sum; times are scaled with a 10 ms offset,
// (t + 0.01) * 2^sum - 0.01, so a stage of 0 s can still be lengthened.
//   0  Noise Level          1.0 (gain)            per voice
//   1  Noise Pan            1.0 (centre to side)  per voice
//   2  Master Tune          2 octaves             per voice
//   3  Osc 1 Sync           2 octaves (the whole sync range)
//   4  Osc 1 Pulse Width    1.0 (the whole range)
//   5  Osc 1 Level          1.0
//   6  Osc 1 Pan            1.0
//   7  Osc 2 Detune         1 octave (the knob's own range)
//   8-11 Osc 2 Sync, Pulse Width, Level, Pan: as Osc 1
//   12 Filter 1 Freq        5 octaves: with KB Track at full level the
//                           cut-off follows the keyboard one to one
//   13 Filter 1 Pan         1.0
//   14 Filter 1 Peak        1.0
//   15-17 Filter 2 Freq, Pan, Peak: as Filter 1
//   18 Volume               1.0 (gain)            per voice, so Velocity
//                                                 can drive it
//   19 Stereo               1.0 (spread units: 0 mono, 1 normal, 2 wide)
//                                                 global
//   20-22 LFO 1-3 Frequency 4 octaves, exponential   global
//   23-27 EG 1 Delay, Attack, Decay, Sustain, Release: times 4 octaves
//                           (x16), exponential with the offset; Sustain 1.0
//   28-32 EG 2, 33-37 EG Main Hold, Attack, Decay, Sustain, Release: as EG 1
//   38+s Level of slot s    1.0 (the level's whole range); the sum with
//                           the slot's own level is clamped to 0..1
// Every target but Stereo and the LFO frequencies is per voice. A slot
// level is a target of the kind of the slot's own target (followed through
// chains of slot levels).
//
// Validity. A slot produces sound only when its source and target are set,
// it is not bypassed, and:
// - it is not evaluated globally with a per-voice source: a slot whose
//   (final) target is global runs once for all voices and cannot see a
//   voice's envelope, velocity or key;
// - it closes no loop. The slots, read in slot order, form a graph: a
//   generator (LFO or EG) feeds the slots whose source it is, a slot feeds
//   the slot whose level it targets and the generator whose parameter it
//   targets. A slot that would close a loop with the valid slots before it
//   is invalid. A generator modulating its own parameters is the simplest
//   such loop and is refused whatever the other slots hold. Once the valid
//   slots are known, every signal can be computed in one pass without
//   needing its own output.
// An invalid slot is ignored when producing audio.
//
// Evaluation. Every slot whose final target is per voice is evaluated in
// each voice (a global source such as an LFO is then read by every voice);
// the others once, globally. A scope (a Voice, or the matrix's global
// scope) has one sum producer per target; pulling it pulls the sources and
// the level sums it needs, so evaluation follows the signal graph's pull
// rule and never allocates. ModulationMatrixInput adds a sum to a unit's
// base value.
//
// Threads. The slot settings are written and everything is evaluated on the
// render thread (the slot parameters' updateValue). The editor's side,
// Controller, works from the parameters on the main thread and uses only the
// static rules here (analyze).

#include "wave/Block.h"
#include "wave/FloatParameter.h"
#include "wave/Producer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ModulationMatrix {
public:
  static constexpr int cNumSlots = 24;
  static constexpr int cNumSources = 11;
  static constexpr int cNumParameterTargets = 38;
  static constexpr int cNumTargets = cNumParameterTargets + cNumSlots;

  enum Source : int {
    cSourceLFO1 = 0,
    cSourceLFO2 = 1,
    cSourceLFO3 = 2,
    cSourceEG1 = 3,
    cSourceEG2 = 4,
    cSourceEGMain = 5,
    cSourceVelocity = 6,
    cSourceKBTrack = 7,
    cSourceModWheel = 8,
    cSourcePitchBend = 9,
    cSourceAftertouch = 10
  };

  enum Target : int {
    cTargetNoiseLevel = 0,
    cTargetNoisePan = 1,
    cTargetMasterTune = 2,
    cTargetOsc1Sync = 3,
    cTargetOsc1PulseWidth = 4,
    cTargetOsc1Level = 5,
    cTargetOsc1Pan = 6,
    cTargetOsc2Detune = 7,
    cTargetOsc2Sync = 8,
    cTargetOsc2PulseWidth = 9,
    cTargetOsc2Level = 10,
    cTargetOsc2Pan = 11,
    cTargetFilter1Freq = 12,
    cTargetFilter1Pan = 13,
    cTargetFilter1Peak = 14,
    cTargetFilter2Freq = 15,
    cTargetFilter2Pan = 16,
    cTargetFilter2Peak = 17,
    cTargetVolume = 18,
    cTargetStereo = 19,
    cTargetLFO1Frequency = 20,
    cTargetLFO2Frequency = 21,
    cTargetLFO3Frequency = 22,
    cTargetEG1Delay = 23,
    cTargetEG1Attack = 24,
    cTargetEG1Decay = 25,
    cTargetEG1Sustain = 26,
    cTargetEG1Release = 27,
    cTargetEG2Delay = 28,
    cTargetEG2Attack = 29,
    cTargetEG2Decay = 30,
    cTargetEG2Sustain = 31,
    cTargetEG2Release = 32,
    cTargetEGMainHold = 33,
    cTargetEGMainAttack = 34,
    cTargetEGMainDecay = 35,
    cTargetEGMainSustain = 36,
    cTargetEGMainRelease = 37,
    // + slot index
    cTargetSlotLevel = 38
  };

  // How a target's sum acts on the target's value.
  enum TargetScale : int {
    cAdditive = 0,   // value + sum
    cExponential = 1 // (value + offset) * 2^sum - offset
  };

  // Offset of the exponential scaling of envelope times, seconds.
  static constexpr float cTimeOffset = 0.01f;
  // Exponential sums are limited to this many octaves either way.
  static constexpr float cMaxExponent = 24.0f;

  // One slot's settings; -1 means unset.
  struct SlotConfig {
    int32_t source = -1;
    int32_t target = -1;
    bool inverted = false;
    bool bypassed = false;
  };

  // What the rules make of a set of slots.
  struct Analysis {
    // The slot produces sound.
    bool valid[cNumSlots];
    // The slot is evaluated in every voice (else once, globally). Set for
    // invalid slots too.
    bool voice[cNumSlots];
  };

  // ---- the static description of sources and targets
  static bool isSourceIndex(int source) { return source >= 0 && source < cNumSources; }
  static bool isTargetIndex(int target) { return target >= 0 && target < cNumTargets; }
  // EGs, velocity and KB track.
  static bool isVoiceSource(int source) { return source >= cSourceEG1 && source <= cSourceKBTrack; }
  // For the 38 parameter targets; slot levels depend on the slots (analyze).
  static bool isVoiceParameterTarget(int target);
  // The generator (a source index) whose parameter the target is, else -1.
  static int getTargetGenerator(int target);
  static float getTargetFullScale(int target);
  static TargetScale getTargetScale(int target);
  // The offset of cExponential targets (0 for frequencies).
  static float getTargetOffset(int target);
  // "LFO 1", ...; "" outside the range.
  static const char* getSourceName(int source);
  // "Noise Level", ..., "Slot 24 Level"; "" outside the range.
  static std::string getTargetName(int target);
  // The KB Track value of a (possibly fractional) MIDI note.
  static float keyboardTrackValue(float note) { return (note - 60.0f) / 60.0f; }

  // Applies the rules to cNumSlots slots. Values outside the ranges count as
  // unset. Allocates nothing.
  static void analyze(const SlotConfig* slots, Analysis& result);

  // The editing interface of a plug-in's matrix: what the editor asks and
  // does. Slot, source and target indexes are those above; -1 is unset.
  class Controller {
  public:
    virtual ~Controller() = default;
    virtual int getNumSlots() = 0;
    virtual int getSlotSource(int slot) = 0;
    virtual int getSlotTarget(int slot) = 0;
    virtual bool getSlotBypassed(int slot) = 0;
    // Clear slots and fill it with every slot of that source (target), in
    // slot order.
    virtual void getSourceSlots(int source, std::vector<int>& slots) = 0;
    virtual void getTargetSlots(int target, std::vector<int>& slots) = 0;
    virtual bool hasSourceSlots(int source) = 0;
    // False when the source or target is unset, the slot is bypassed, or
    // the rules refuse it.
    virtual bool isSlotValid(int slot) = 0;
    // -1 when first > last; else the first slot of first..last whose source
    // and target are unset, else the first one that is not valid, else -1.
    virtual int selectFreeSlot(int first, int last) = 0;
    // In one parameter batch: source, target, level 0.5, not bypassed, not
    // inverted.
    virtual void makeConnection(int slot, int source, int target) = 0;
    // Every parameter of the slot back to its default, in one batch.
    virtual void clearSlot(int slot) = 0;
    // Takes slot from out of the list and inserts it at to; the slots in
    // between close up. Slot levels used as targets follow their slots.
    virtual void moveSlot(int from, int to) = 0;
  };

  class Scope;
  class Voice;

  // A producer of one value, held until changed: velocity, KB track, or a
  // controller that is smoothed elsewhere.
  class ValueSource : public wave::Source {
  public:
    explicit ValueSource(wave::Environment* env, float value = 0.0f) : wave::Source(env), mValue(value) {}
    // Takes effect at the next block rendered.
    void setValue(float value) { mValue = value; }
    float getValue() const { return mValue; }
    void produce(wave::Block* block, int n, int flags) override;

  private:
    float mValue;
    float mWritten = 0.0f;
    int32_t mFilled = 0;
  };

  explicit ModulationMatrix(wave::Environment* env);
  ~ModulationMatrix();

  ModulationMatrix(const ModulationMatrix&) = delete;
  ModulationMatrix& operator=(const ModulationMatrix&) = delete;

  // ---- set-up (before rendering)
  // Registers the producer of a global source (LFOs, wheel, bend,
  // aftertouch); false for a per-voice source. Null unregisters; a slot
  // whose source has no producer adds nothing.
  bool setGlobalSource(int source, wave::Producer* producer);

  // ---- slot settings (render thread; out-of-range slots are ignored)
  void setSlotSource(int slot, int source);
  void setSlotTarget(int slot, int target);
  void setSlotInverted(int slot, bool inverted);
  void setSlotBypassed(int slot, bool bypassed);
  // 0..1; glides unless glide is false.
  void setSlotLevel(int slot, float level, bool glide = true);

  // slot 0..23; not checked.
  const SlotConfig& getSlot(int slot) const { return mSlots[slot]; }
  // The rules' verdict on the current settings.
  bool isSlotValid(int slot);
  bool isSlotPerVoice(int slot);

  // The global scope: the sums of the global targets (and of the levels of
  // global slots).
  Scope& getGlobalScope() { return *mGlobal; }
  wave::Environment* getEnvironment() const { return mEnv; }

  // Brings the evaluation lists up to date after slot changes; called by
  // the sums themselves, so nobody has to call it.
  void update() {
    if (mDirty) rebuild();
  }
  // Counts the rebuilds of the evaluation lists: a user that adapts its
  // wiring to what is modulated compares it after update().
  uint32_t getGeneration() const { return mGeneration; }
  // Counts every change of a slot setting or a source's producer (the
  // levels are parameters: their changes count in the environment), so
  // that a sum found settled can tell it would come out the same.
  uint32_t getChanges() const { return mChanges; }
  // The valid slots of the scope kind that target target, in slot order.
  int getSlotList(bool voice, int target, const int8_t*& slots) {
    update();
    slots = mLists[voice ? 1 : 0][target];
    return mCounts[voice ? 1 : 0][target];
  }
  // Whether the target's sum in a voice reads a source of the voice's own
  // (an envelope, velocity or key tracking), through its slots or the slots
  // that modulate their levels. A sum that reads none is the same in every
  // voice, so it may be evaluated once for all of them (in a Voice scope
  // without sources of its own). False outside the range.
  bool dependsOnVoice(int target) {
    update();
    return isTargetIndex(target) && mVoiceDependent[target];
  }

private:
  friend class Scope;

  void rebuild();
  void setDirty() {
    mDirty = true;
    countChange();
  }
  // A changed slot may change a sum that its readers found settled: those
  // that go by the environment's count of parameter changes look again.
  void countChange() {
    ++mChanges;
    if (mEnv) ++mEnv->parameterChanges;
  }
  bool readsVoiceSource(int target, int depth) const;

  wave::Environment* mEnv;
  SlotConfig mSlots[cNumSlots];
  Analysis mAnalysis;
  int8_t mLists[2][cNumTargets][cNumSlots];
  uint8_t mCounts[2][cNumTargets];
  bool mVoiceDependent[cNumTargets] = {};
  bool mDirty = true;
  uint32_t mGeneration = 0;
  uint32_t mChanges = 0;
  // The smoothed base level of every slot.
  std::vector<std::unique_ptr<wave::FloatParameterSource>> mLevels;
  std::unique_ptr<Scope> mGlobal;
};

// A place where slots are evaluated: one voice, or the whole instrument.
class ModulationMatrix::Scope {
public:
  virtual ~Scope();

  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

  // The producer of the target's modulation sum in this scope, in the
  // target's units (see the top of ModulationMatrix.h); null outside the
  // range. Its block is the environment's silent block while no valid slot
  // of this scope drives the target.
  wave::Producer* getTargetSum(int target);
  // How evaluate found a target's sum: no slot adds to it (0), one value
  // throughout (in value), or moving (written to out).
  enum Result { cSilent = 0, cConstant = 1, cVarying = 2 };
  // The sum of target (0..cNumTargets - 1) for the next n samples, with the
  // target's full scale; out (n floats, 16-byte aligned) may be written
  // whatever the result. A modulated input renders its sum into its own
  // block this way, without a block in between.
  // With settled, also tells whether the sum is made of settled parameters
  // alone (sources and levels that hold their values until a parameter or
  // a slot changes), so that a constant sum stays what it is until then.
  // With envelopes as well, an envelope whose block holds one level counts
  // as settled too, and is listed there with that level: the constant sum
  // then stays what it is while each listed envelope still renders its
  // level throughout (a held note's sustain) and nothing else changes.
  struct HeldEnvelopes {
    static constexpr int cCapacity = 4;
    int count = 0;
    wave::Producer* producers[cCapacity] = {};
    float levels[cCapacity] = {};
  };
  Result evaluate(int target, float fullScale, float* out, int n, int flags, float& value, bool* settled = nullptr,
                  HeldEnvelopes* envelopes = nullptr);
  // Whether any valid slot of this scope drives the target.
  bool isModulated(int target) {
    const int8_t* slots;
    return isTargetIndex(target) && mMatrix->getSlotList(mVoice, target, slots) > 0;
  }
  // The producer a slot of this scope reads for the source, or null.
  wave::Producer* getSource(int source) const {
    if (!isSourceIndex(source)) return nullptr;
    // A voice reads the global sources from the global scope.
    if (mVoice && !isVoiceSource(source)) return mMatrix->mGlobal->mSources[source];
    return mSources[source];
  }

  bool isVoiceScope() const { return mVoice; }
  ModulationMatrix* getMatrix() const { return mMatrix; }

protected:
  Scope(ModulationMatrix* matrix, bool voice);

  // Where the value of a voice's source lies while its block holds one
  // value throughout: a smoothed parameter's settled value and an
  // envelope's last level are read from the producer itself, whose fields
  // the pull has just brought in, and not from its block, which would cost
  // one more cache miss per slot and voice. Other producers: the block.
  enum ValueKind : uint8_t { cValueInBlock = 0, cValueOfParameter = 1, cValueOfEnvelope = 2 };

  // Per-voice sources in a voice, global sources in the global scope.
  wave::Producer* mSources[cNumSources] = {};
  uint8_t mValueKinds[cNumSources] = {};
  // The source's producer is a plain parameter source (in the scope that
  // registers it).
  bool mParameterSources[cNumSources] = {};

private:
  friend class ModulationMatrix;
  class TargetSum;

  // Renders the sum's target into a block of mSumBlocks, or hands out the
  // silent block.
  void produceSum(TargetSum* sum, int n, int flags);
  // The value of a source whose block in holds one value throughout.
  float constantValue(int source, const wave::Producer* producer, const wave::Block* in) const;

  ModulationMatrix* mMatrix;
  bool mVoice;
  // Set while a target's sum is being rendered: a sum reached again through
  // its own sources (which the rules exclude) reads as silence, never as an
  // endless recursion.
  bool mBusy[cNumTargets] = {};
  std::vector<std::unique_ptr<TargetSum>> mSums;
  // A block per slot, rather than one per target, which would be sixty
  // pages per voice when at most cNumSlots targets are driven at a time: a
  // driven target's sum is rendered into the block of the first slot that
  // drives it.
  std::unique_ptr<wave::Block> mSumBlocks[cNumSlots];
  // The target whose sum each block last held (-1: none yet).
  int mSumBlockTargets[cNumSlots];
  // The effective level of the slot being added.
  wave::Block mScratch;
};

// The per-voice part: every voice of the instrument owns one, registers its
// envelopes, velocity and KB track here and reads its per-voice targets
// through it.
class ModulationMatrix::Voice : public Scope {
public:
  explicit Voice(ModulationMatrix* matrix) : Scope(matrix, true) {}
  // Registers the voice's producer of a per-voice source; false for a
  // global source. Null unregisters.
  bool setSource(int source, wave::Producer* producer);
};
