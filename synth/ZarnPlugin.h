#pragma once

// The synthesizer plug-in: two table oscillators and a noise oscillator,
// two filters, three envelopes per voice, three shared LFOs, up to 32
// voices with unison, polyphonic portamento, mono and legato modes, stereo
// spread and a master volume.
//
// Life cycle. The constructor builds the parameters (registered in member
// order), initializes the plug-in core, builds the signal graph, binds the
// parameters to it and loads the preset "Default Sound" (without one the
// parameters' defaults stand). The first instance makes the objects that
// every instance shares (the oscillators' wave tables, the envelope
// curves, the filter characteristics and the component preset libraries);
// the last one releases them.
//
// Signal graph: voice manager (ZarnVoice x 32) -> stereo spread -> host
// outputs. The LFOs run globally, free or synchronised to the host's tempo
// through sync.
//
// Modulation. The 24 slots of the modulation matrix (getModulationMatrix)
// are host parameters registered after the instrument's own. Each target
// has a default input, the plug-in's shared signal of its parameter
// (getDefaultTargetInput). Every voice owns one ModulationMatrixInput per
// per-voice target (the default plus the matrix's sum in that voice) and
// reads it only while a valid slot drives the target: before each slice
// the plug-in switches the voices between their inputs and the shared
// defaults when the matrix's evaluation lists have changed, so that an
// unmodulated target costs nothing. A target whose slots read only global
// sources (LFOs, the wheel, bend, aftertouch) has the same sum in every
// voice: the voices then share one input, evaluated once per block. The
// shared targets (Stereo, the LFO
// frequencies) always go through an input of the matrix's global scope. The
// sources are the voices' own (getSource of a voice) or shared
// (getGlobalSource).
//
// Voice layout. Total Voices and Unison Voices deal the 32 unison copies
// out to the voices (reassignVoices). When they change while voices sound
// (a program change, a knob), a voice whose copies stay the same keeps
// sounding; one whose copies change fades out over cVoiceFadeMs (a half
// cosine on its gain, from full to nothing) and the new layout is dealt
// when the fades are done, so no note stops in one sample. The change is
// seen in the parameters before it reaches the engine
// (prepareParameterChanges): the parameter changes (the rest of a preset
// too) are held back with the layout, so the fading voices keep the sound
// they have. Keys, releases and pedal moves that arrive meanwhile wait,
// and are played when the layout is dealt, as far apart as they came (at
// most the fade and one quantum later); a key struck meanwhile keeps that
// delay until it is released, so it keeps the length it was played with.
// ZarnLayoutChange owns that sequence: it holds the changes back, has the
// layout dealt (dealLayout) and plays what waited (play). A layout change
// while nothing sounds is dealt at once.
//
// What jumps and what glides. The shared parameter signals glide to a new
// value (wave::FloatParameter), so that a knob, automation or a preset's
// values do not click on the notes that sound. Two kinds of change need no
// glide, and jump: the envelopes' stage times (a new time changes only the
// speed of the stage that runs, never the level), so every key struck
// after a program change opens with the new preset's envelopes; and any
// value that reaches the engine while no voice sounds (also once the
// voices a new layout ended have faded), when there is no note to click
// and the next key sounds as on a fresh instance. Levels, pitches, the
// envelopes' sustain levels, cut-offs and the like glide while voices
// sound.
//
// Presets. Files of version 5 are read as they are, and version 4 files
// (saved before the voice gain) with their Volume lowered so that they
// sound as loud as they did. Older versions (2, 3 and betas) had other
// parameter layouts, which no longer exist, so their files are refused and
// change nothing.
//
// Threads: as GenericPlugin. MIDI, parameter changes and everything they
// set run on the render thread; getLFOState may be read from any thread.

#include "base/Property.h"
#include "plugin/FloatParamPluginParameter.h"
#include "plugin/GenericPlugin.h"
#include "plugin/LimFloatPropPluginParameter.h"
#include "plugin/MidiVirtualPluginParameter.h"
#include "plugin/ParameterCollection.h"
#include "plugin/PropPluginParameter.h"
#include "synth/ModulationMatrix.h"
#include "synth/ModulationMatrixInput.h"
#include "synth/ModulationMatrixPlugin.h"
#include "synth/ZarnControlUnits.h"
#include "synth/ZarnLayoutChange.h"
#include "synth/ZarnModulation.h"
#include "synth/ZarnParameterSets.h"
#include "synth/ZarnVoice.h"
#include "wave/EnvelopeGenerator.h"
#include "wave/FloatParameter.h"
#include "wave/ModulationGenerator.h"
#include "wave/MultiDesignFilter.h"
#include "wave/Oscillator.h"
#include "wave/SyncLanes.h"
#include "wave/StereoSpread.h"
#include "wave/VoiceManager.h"

#include <memory>
#include <string>

class PresetManager;

class ZarnPlugin : public ModulationMatrixPlugin, public PropertyOwner, private ZarnLayoutChange::Player {
public:
  // 5: presets made for the voice gain of ZarnVoice::cOutputLevel; files of
  // version 4, saved before it, are read and their Volume lowered so that
  // they sound as loud as they did.
  static constexpr int cPresetFileVersion = 5;
  // 1: states saved since the voice gain; older ones are upgraded the same
  // way.
  static constexpr int cStateVersion = 1;
  static constexpr int cMaxVoices = 32;
  static constexpr int cLfoCount = 3;
  static constexpr int cComponentCount = 8;
  static constexpr int cComponentTypeCount = 4;
  // Component presets are files of the whole-preset format, holding one
  // collection's parameters in its order, of this version.
  static constexpr int cComponentPresetVersion = 1;
  // The kind (preset library) of each component collection: the three
  // envelopes share ".envelope" (EG Main's Hold takes an EG's Delay), the
  // three LFOs ".lfo".
  static constexpr int cComponentTypes[cComponentCount] = {0, 1, 2, 2, 2, 3, 3, 3};
  // Pitch bend range, semitones either way.
  static constexpr float cPitchBendRange = 2.0f;
  static constexpr const char* cProductName = "Zarn";
  static constexpr const char* cDefaultPresetName = "Default Sound";
  // The fade-out of a sounding voice that a new voice layout ends.
  static constexpr float cVoiceFadeMs = 5.0f;

  // Shared by all instances; made by the first, released by the last.
  static Oscillator::Style* sOscillatorStyle;
  static EnvelopeGenerator::Style* sEnvelopeStyle;
  static MultiDesignFilter::Style* sFilterStyles;
  // 0 oscillators (".oscillators"), 1 filters (".filters"), 2 envelopes
  // (".envelope"), 3 LFOs (".lfo").
  static PresetManager* sComponentPresetManagers[cComponentTypeCount];

  ZarnPlugin();
  ~ZarnPlugin() override;

  // ---- the product's answers
  std::string getIdentifier() override { return "QZar"; }
  int getCategory() override { return 0; }
  int getType() override { return 0; }
  int getInterfaceHeight() override { return 522; }
  int getInterfaceWidth() override { return 640; }
  int getPluginFlag() override { return 1; }

  // ---- rendering
  // Host tempo (beats per minute) and song position (beats), before each
  // buffer: drives the LFOs that are synchronised.
  void sync(float tempo, float position) override;
  // Only while an LFO is synchronised to the host.
  bool followsTransport() const override;
  void processSlice(const float** outputs, int outputCount, int sampleCount) override;
  // Deals a voice layout whose fades are done and plays the events due
  // (ZarnLayoutChange); a slice ends where the next event that waited is
  // due.
  int beginSlice(int samples) override;
  // The host's sample rate: makes the oscillators' frequency table for it
  // (on this thread, so the render thread never builds one) and sets the
  // environment's rate. Not while rendering.
  void setSampleRate(float rate);
  // The host's way (changeSampleRate) calls this on the main thread before
  // the render thread takes the new rate: the oscillators' tables for the
  // rate are built here, never while rendering.
  void prepareSampleRate(float rate) override;
  // Also lifts the sustain pedal: a pedal held across a reset would keep
  // notes that no later pedal message releases.
  void reset() override;
  // When the parameters hold another voice layout than the engine's, starts
  // the fades of the voices it ends (cVoiceFadeMs); true while they fade:
  // the parameter changes are held meanwhile, so the fading voices keep
  // their sound, and the new one starts when they are silent.
  bool prepareParameterChanges() override;
  // A value that reaches the engine while no voice sounds jumps there.
  void parameterChange(int index) override;

  // ---- presets
  // Files of versions 5 and 4 are read (4 upgraded by applyPresetData);
  // anything else is refused unchanged.
  bool readPreset(const std::string& path, PresetData& data, PresetLoadFailure& failure) override;
  void applyPresetData(const PresetData& data) override;
  int getStateVersion() const override { return cStateVersion; }
  // From 0: Volume lowered by the voice gain added since (the knob's
  // amplitude goes with its square), so the state is as loud as before.
  void upgradeState(int fromVersion) override;
  // The Volume knob position that sounds, with the voice gain, as loud as
  // position x did without it.
  static float upgradeVolume(float x);

  // ---- what the editor reads
  // The indicator of LFO lfo (0..2): 0 while its light is on. Any thread.
  int getLFOState(int lfo) const;
  // Component collection i (0..7): 0 both oscillators, 1 both filters and
  // "Filter Routing", 2 EG Main, 3 EG 1, 4 EG 2, 5..7 LFO 1..3.
  ParameterCollection& getComponentCollection(int i) { return *mComponents[i]; }
  // The preset library of component collection i; null outside 0..7 or
  // while no instance exists.
  static PresetManager* getComponentPresetManager(int i) {
    return i >= 0 && i < cComponentCount ? sComponentPresetManagers[cComponentTypes[i]] : nullptr;
  }

  // ---- MIDI, from the channel receiver (render thread)
  // note: MIDI note 0..127; velocity 0..1.
  void noteOn(int note, float velocity);
  void noteOff(int note, float velocity);
  // Releases every voice, those the pedal holds too, and lifts the pedal.
  void allNotesOff();
  // Silences every voice at once (no release) and lifts the pedal.
  void allSoundOff();
  // The sustain pedal (controller 64): while down, released keys keep
  // sounding; when it goes up they are released. Per instance.
  void setSustain(bool down);
  bool isSustainDown() const { return mVoiceManager && mVoiceManager->isSustainDown(); }
  void setModWheel(float value);
  // -1..1 (full bend down .. up).
  void setPitchBend(float bend);
  void setAftertouch(float value);

  // ---- modulation plumbing
  // The shared signal of target t; null for targets without a parameter.
  wave::Producer* getDefaultTargetInput(int target) const;
  // The LFOs, the modulation wheel, pitch bend and aftertouch; null for a
  // voice's own source.
  wave::Producer* getGlobalSource(int source) const;
  ModulationGenerator* getLfo(int n) const { return mLfos[n].get(); }
  ModulationMatrix* getModulationMatrix() const { return mMatrix.get(); }
  // Voice v's modulated input of target t: the voice's own, or the one
  // every voice shares while the target's modulation reads none of a
  // voice's own sources; null for the shared targets.
  ModulationMatrixInput* getVoiceTargetInput(int v, int t) const;
  ZarnVoice* getVoice(int i) const { return mVoices[i].get(); }
  VoiceManager* getVoiceManager() const { return mVoiceManager.get(); }
  StereoSpread* getStereoSpread() const { return mStereoSpread.get(); }
  const ZarnVoice::Settings& getVoiceSettings() const { return mSettings; }

  void propertyChange(const AbstractProperty* property) override;

  // ---- parameters, in registration order
  FloatParamPluginParameter noiseLevel{this, "Noise Level"};
  FloatParamPluginParameter noisePan{this, "Noise Pan"};
  PropPluginParameter<Oscillator::WaveForm> noiseType{this, "Noise Type"};
  LimFloatPropPluginParameter portamento{this, "Portamento"};
  PropPluginParameter<VoiceManager::PortamentoMode> portamentoMode{this, "Portamento Mode"};
  ZarnOscillatorParameters osc1{this, 1};
  FloatParamPluginParameter masterTune{this, "Master Tune"};
  ZarnOscillatorParameters osc2{this, 2};
  FloatParamPluginParameter osc2Detune{this, "Osc 2 Detune"};
  ZarnFilterParameters filter1{this, 1};
  ZarnFilterParameters filter2{this, 2};
  PropPluginParameter<int> filterRouting{this, "Filter Routing"};
  FloatParamPluginParameter volume{this, "Volume"};
  FloatParamPluginParameter stereo{this, "Stereo"};
  ZarnLfoParameters lfo1{this, 1};
  ZarnLfoParameters lfo2{this, 2};
  ZarnLfoParameters lfo3{this, 3};
  ZarnEnvelopeParameters eg1{this, 1};
  ZarnEnvelopeParameters eg2{this, 2};
  ZarnMainEnvelopeParameters egMain{this};
  PropPluginParameter<int> totalVoices{this, "Total Voices"};
  PropPluginParameter<int> unisonVoices{this, "Unison Voices"};
  PropPluginParameter<VoiceManager::Polyphony> polyphony{this, "Polyphony"};
  LimFloatPropPluginParameter unisonSpread{this, "Unison Spread"};

  // ---- MIDI-only controls: one controller moves the pair of sections
  // that the editor links, keeping their distance.
  MidiDuoVirtualPluginParameter oscSyncPair{this, "Osc 1 & 2 Sync", &osc1.sync, &osc2.sync};
  MidiDuoVirtualPluginParameter oscPulseWidthPair{this, "Osc 1 & 2 Pulse Width", &osc1.pulseWidth, &osc2.pulseWidth};
  MidiDuoVirtualPluginParameter oscLevelPair{this, "Osc 1 & 2 Level", &osc1.level, &osc2.level};
  MidiDuoVirtualPluginParameter oscPanPair{this, "Osc 1 & 2 Pan", &osc1.pan, &osc2.pan};
  MidiDuoVirtualPluginParameter filterFreqPair{this, "Filter 1 & 2 Freq", &filter1.freq, &filter2.freq};
  MidiDuoVirtualPluginParameter filterPanPair{this, "Filter 1 & 2 Pan", &filter1.pan, &filter2.pan};
  MidiDuoVirtualPluginParameter filterPeakPair{this, "Filter 1 & 2 Peak", &filter1.peak, &filter2.peak};

protected:
  AbstractMusicEventReceiver* createMusicEventReceiver() override;
  void createSharedObjects(const std::string& productName) override;
  void releaseSharedObjects() override;

private:
  void configureParameters();
  void buildGraph();
  void bindParameters();
  void buildComponents();
  // Ends every glide of the shared parameter signals at its target.
  void settleParameters();
  // Deals the unison copies out to the voices for the current Total and
  // Unison Voices. A voice whose copies stay keeps sounding; the others
  // (and any that has faded out) are silenced.
  void reassignVoices();
  // Total or Unison Voices reached the engine: fades out the sounding
  // voices whose copies change and deals the layout when they are silent,
  // or at once when none sounds.
  void voiceLayoutChanged();
  // Starts the fade-out of every sounding voice whose copies differ in the
  // layout of keys voices of unison copies each; true while any voice
  // fades, the layout then waiting (mLayoutChange has it dealt when the
  // fades are done).
  bool fadeForLayout(int keys, int unison);
  // ZarnLayoutChange::Player: brings the held parameter changes to the
  // engine and deals the parameters' layout; plays a key, pedal or
  // all-notes-off event.
  void dealLayout() override;
  void play(const ZarnLayoutChange::Event& e) override;
  // Whether voice i's unison copies differ from those it gets in the
  // layout of keys voices of unison copies each.
  bool layoutChanges(int i, int keys, int unison) const;
  // The layout of totalVoices and unisonVoices (the parameters' values):
  // keys voices of unison copies each.
  static void voiceLayout(int totalVoices, int unisonVoices, int& keys, int& unison);
  // A key, pedal or all-notes-off event, to mLayoutChange, which plays it
  // now or, while a layout change is under way, later.
  void receive(ZarnLayoutChange::EventKind kind, int note, float value);
  // What noteOn does once it plays.
  void playNoteOn(int note, float velocity);
  // Whether any voice the manager renders sounds, not counting the voices
  // whose fade-out is over.
  bool anyVoiceSounds() const;
  void applyVoiceSettings();
  void updateLfoMode(int n);
  void lfoIndicatorChanged(void* sender);
  // Binds p to the shared signal of target t, whose limits follow the
  // parameter's engine range.
  void bindTarget(FloatParamPluginParameter& p, int target);
  ZarnLfoParameters& lfoParameters(int n);
  // The matrix, its global sources and the modulated inputs of every
  // target.
  void buildModulation();
  void releaseModulation();
  // Switches the voices to the modulated inputs of the targets that valid
  // slots drive, and back to the shared defaults, when the matrix's lists
  // have changed. Render thread, before pulling.
  void routeModulation();
  // Limits of the modulated value of target t.
  void targetLimits(int target, float& min, float& max) const;

  // Engine-side settings bound to indexed parameters.
  Property<int> mOsc1Scale{this, 0};
  Property<int> mOsc2Scale{this, 0};
  Property<bool> mPhaseSync1{this, false};
  Property<bool> mPhaseSync2{this, false};
  Property<int> mRouting{this, ZarnVoice::cSerial};
  Property<bool> mFilter1Enabled{this, true};
  Property<bool> mFilter2Enabled{this, false};
  LimitedProperty<float> mUnisonSpread{this, 0.0f, 1.0f, 0.0f};
  Property<int> mTotalVoices{this, 16};
  Property<int> mUnisonVoices{this, 1};
  Property<VoiceManager::Polyphony> mPolyphony{this, VoiceManager::cPoly};
  Property<VoiceManager::PortamentoMode> mPortamentoMode{this, VoiceManager::cNormal};
  Property<int> mLfoSyncFreq[cLfoCount] = {Property<int>{this, 6}, Property<int>{this, 6}, Property<int>{this, 6}};
  Property<int> mLfoSyncMode[cLfoCount] = {Property<int>{this, 0}, Property<int>{this, 0}, Property<int>{this, 0}};
  Property<bool> mLfoTrigger[cLfoCount] = {Property<bool>{this, false}, Property<bool>{this, false},
                                           Property<bool>{this, false}};

  ZarnVoice::Settings mSettings;
  bool mGraphBuilt = false;

  ZarnLayoutChange mLayoutChange{*this};
  // A value reached the engine while no voice sounded: the shared signals
  // settle before the next slice is pulled.
  bool mSettleBeforeSlice = false;

  // The graph, built after initialize.
  std::unique_ptr<wave::FloatParameterSource> mTargetSources[zarn::cTargetCount];
  wave::Producer* mDefaultTargets[zarn::cTargetCount] = {};
  std::unique_ptr<wave::FloatParameterSource> mModWheel;
  std::unique_ptr<wave::FloatParameterSource> mPitchBend;
  std::unique_ptr<wave::FloatParameterSource> mAftertouch;
  std::unique_ptr<ControlOffset> mPitchOffset;
  std::unique_ptr<ModulationGenerator> mLfos[cLfoCount];
  // The voices' gains and cut-offs for unmodulated inputs, shared.
  std::unique_ptr<BalanceGains> mOsc1Gains;
  std::unique_ptr<BalanceGains> mOsc2Gains;
  std::unique_ptr<BalanceGains> mNoiseGains;
  std::unique_ptr<StereoCutoff> mCutoff1;
  std::unique_ptr<StereoCutoff> mCutoff2;
  // The synced oscillators of eight copies at a time rendered in one pass:
  // Osc 1's and Osc 2's.
  std::unique_ptr<SyncLanes> mSyncLanes[2][cMaxVoices / SyncLanes::cLanes];
  std::unique_ptr<ZarnVoice::Copy> mCopies[cMaxVoices];
  ZarnVoice::Copy* mCopyList[cMaxVoices] = {};
  std::unique_ptr<MultiDesignFilter::ParallelUnit> mFilterUnits[2][cMaxVoices / 4];
  std::unique_ptr<ZarnVoice> mVoices[cMaxVoices];
  std::unique_ptr<VoiceManager> mVoiceManager;
  std::unique_ptr<StereoSpread> mStereoSpread;
  std::unique_ptr<ParameterCollection> mComponents[cComponentCount];

  std::unique_ptr<ModulationMatrix> mMatrix;
  std::unique_ptr<ModulationMatrixInput> mVoiceInputs[cMaxVoices][zarn::cInstrumentTargetCount];
  // The per-voice targets' inputs for sums that read no voice's own source:
  // a voice scope without sources, and one input per target in it.
  std::unique_ptr<ModulationMatrix::Voice> mCommonScope;
  std::unique_ptr<ModulationMatrixInput> mCommonInputs[zarn::cInstrumentTargetCount];
  std::unique_ptr<ModulationMatrixInput> mStereoInput;
  std::unique_ptr<ModulationMatrixInput> mLfoInputs[cLfoCount];
  // The matrix generation the voices are wired for.
  uint32_t mRoutedGeneration = 0;
  uint32_t mRoutedParameterChanges = 0;
  bool mRouted = false;
};

// The factory the host bridge calls: a new synthesizer, ready to play.
GenericPlugin* createPluginInstance();
