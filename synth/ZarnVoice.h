#pragma once

// One voice of the synthesizer: what sounds for one key.
//
// Signal path, per voice:
//
//   portamento (note pitch + tune + pitch bend)
//     -> Osc 1 base pitch (+ Osc 1 Scale), Osc 2 base pitch (+ Osc 2 Scale
//        + Osc 2 Detune)
//     -> the unison copies: each copy holds an Osc 1 and an Osc 2 at the base
//        pitch plus its own detune, and sits at its own place in the stereo
//        field
//   noise oscillator
//   -> unison mixers (left and right, each oscillator through its level and
//      pan gains) -> Filter 1 and Filter 2 (one per channel, routed serial,
//      parallel or per oscillator) -> DC blockers -> the voice's output pair
//
// The voice manager multiplies the output pair by EG Main and by the
// voice's gain (Volume x velocity), and EG Main tells when the voice is
// silent. EG 1 and EG 2 run with the voice as modulation sources.
//
// Modulation. Every value the modulation matrix can reach (the targets of
// zarn::Target) is read by the voice's units from one producer per target:
// by default the plug-in's shared producer for that parameter, so an
// unmodulated voice costs nothing extra; setTargetInput swaps in a
// per-voice signal (a ParameterController summing the parameter and its
// modulation sources), and getSource gives the voice's own sources.
//
// The unison copies come from a pool shared by all voices (assignCopies):
// a voice playing n unison voices holds n copies.
//
// Everything here runs on the render thread; nothing allocates after
// construction.

#include "base/Property.h"
#include "synth/ModulationMatrix.h"
#include "synth/ZarnControlUnits.h"
#include "synth/ZarnModulation.h"
#include "wave/Block.h"
#include "wave/DcBlocker.h"
#include "wave/EnvelopeGenerator.h"
#include "wave/FloatParameter.h"
#include "wave/MultiDesignFilter.h"
#include "wave/NoteVoice.h"
#include "wave/Oscillator.h"
#include "wave/PortamentoController.h"
#include "wave/StaticMixer.h"
#include "wave/UnisonMixer.h"

#include <cstdint>

class ZarnVoice : public NoteVoice {
public:
  static constexpr int cMaxCopies = 32;

  enum Routing : int { cSerial = 0, cParallel = 1, cPerOscillator = 2 };

  // What voices share, owned by the plug-in.
  struct Settings {
    int osc1Scale = 0; // octaves
    int osc2Scale = 0;
    bool phaseSync[2] = {false, false};
    int routing = cSerial;
    bool filterEnabled[2] = {true, false};
    // 0..1: the unison copies' detune and pan spread.
    float unisonSpread = 0.0f;
    // Mono mode with legato portamento: a key played while another is
    // held does not restart the envelopes.
    bool legato = false;
  };

  // One unison copy: a pitch for each oscillator and the two oscillators.
  class Copy {
  public:
    Copy(wave::Environment* env, Oscillator::Style* style, int index);
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    ControlOffset pitch1;
    ControlOffset pitch2;
    Oscillator osc1;
    Oscillator osc2;
  };

  // The gains and cut-offs that are the same for every voice: made once by
  // the plug-in, which sets their inputs to the defaults or to inputs that
  // all voices share, and used by every voice that reads the same inputs.
  // The plug-in sets the oscillator gains' scale to 1/sqrt(unison voices).
  struct SharedUnits {
    BalanceGains* osc1Gains;
    BalanceGains* osc2Gains;
    BalanceGains* noiseGains;
    StereoCutoff* cutoff1;
    StereoCutoff* cutoff2;
  };

  // targets: cTargetCount default producers (entries may be null for
  // targets without a parameter). unit1 and unit2: the shared design
  // filters of Filter 1 and Filter 2, each serving this voice's left and
  // right channel (and those of one more voice). matrix: the instrument's
  // modulation matrix, of which the voice owns a per-voice scope (mod).
  ZarnVoice(wave::Environment* env, int index, Oscillator::Style* oscillatorStyle,
            EnvelopeGenerator::Style* envelopeStyle, wave::Producer* const* targets, const SharedUnits& shared,
            const Settings* settings, MultiDesignFilter::ParallelUnit* unit1, MultiDesignFilter::ParallelUnit* unit2,
            ModulationMatrix* matrix);
  ~ZarnVoice() override;

  ZarnVoice(const ZarnVoice&) = delete;
  ZarnVoice& operator=(const ZarnVoice&) = delete;

  // ---- NoteVoice
  bool isMute() override { return egMain.isMute(); }
  // Only a release that has just ended goes silent on the envelope's pull.
  bool mayMuteWhenPulled() override { return egMain.getState() != 1; }
  wave::Producer* getEnvelope() override { return &egMain; }
  float* getGainSamples(int count, int flags) override;
  wave::Producer* getOutput(int channel) override { return channel == 0 ? &dcLeft : &dcRight; }
  bool isKeyDown() override { return keyDown_; }
  // note and startNote are MIDI note numbers plus 1 (the voice manager
  // reserves note 0): startNote 0 glides on from the pitch reached.
  void keyDown(float note, int startNote, float velocity) override;
  void keyUp(float velocity) override;
  // Ends the release once the voice would sound below cReleaseFloor at
  // every sample to come (see cReleaseFloor).
  void measureRelease(float largest, int count) override;

  // The voice's gain at full velocity on top of Volume: a single note at
  // velocity 100 on the default sound peaks near -12 dBFS, a song played on
  // it a few decibels below full scale.
  static constexpr float cOutputLevel = 6.9f;

  // Milliseconds in which a sounding voice moves to a new key's velocity
  // and key tracking (mono lines); a silent voice takes them at once.
  static constexpr float cTouchGlideMs = 5.0f;

  // A released voice that nobody can hear any more is silent: values then
  // jump instead of gliding, and the voice is free. What it could still
  // sound at is EG Main's level times its gain (velocity and Volume) times
  // the larger of a full-scale wave and the largest its signal has been
  // (oscillators through levels, filters and their resonance) since it
  // came within cReleaseWatchLevel of ending: the voice manager measures
  // each of those blocks. EG Main only falls in its release, so once that
  // lies below this floor (-96 dBFS, far under the quietest level a
  // preset plays and under what 16 bits carry) no sample to come rises
  // above it, and the release ends there instead of at the end of its
  // curve. The full-scale wave stands for a signal that an LFO holds
  // silent for now and may bring back; the largest measured for a
  // resonance that rings above full scale. It is measured for at least
  // cReleaseMeasureMs (a cycle of 50 Hz), so a low note caught near a zero
  // crossing is not taken for a quiet one. A held key is never ended, even
  // at a sustain of 0: the sustain may rise under it again.
  static constexpr float cReleaseFloor = 1.5849e-5f;
  static constexpr float cReleaseWatchLevel = 10.0f * cReleaseFloor;
  static constexpr float cReleaseMeasureMs = 20.0f;

  // ---- set-up and settings (render thread)
  // Takes copies [0, count) of the list as this voice's unison copies and
  // wires them; count 0 silences the oscillators.
  void assignCopies(Copy* const* copies, int count);
  // Reads the shared settings again (scales, routing, filter enables,
  // unison spread).
  void applySettings();
  // Silences the voice at once: envelopes idle, key up, filters at rest;
  // ends a fade-out.
  void stop();
  // Fades the voice out over samples (a half cosine on its gain, from
  // full to nothing) instead of cutting it: the voice keeps sounding,
  // quieter, then silent until stop() or a keyDown, which ends the fade.
  // For a voice that must end because its unison copies are dealt anew.
  void fadeOut(int samples);
  bool isFadingOut() const { return fadeLength > 0; }
  // Every sample of the fade has been rendered: the voice is silent.
  bool hasFadedOut() const { return fadeLength > 0 && fadeDone >= fadeLength; }

  // ---- modulation
  // The producer the voice reads for target t; null for none.
  wave::Producer* getTargetInput(int target) const;
  // p (or, with null, the plug-in's default) becomes the input of target
  // t. Render thread or while nothing renders.
  void setTargetInput(int target, wave::Producer* p);
  // cTargetCount inputs at once (a null entry: the default), rewiring the
  // units once, and only when an input changed.
  void setTargetInputs(wave::Producer* const* inputs);
  // The voice's own modulation sources (EG 1, EG 2, EG Main, velocity, key
  // tracking); null for the shared ones.
  wave::Producer* getSource(int source);

  int getIndex() const { return index; }
  // The MIDI note last started (0..127), -1 before the first.
  int getNote() const { return note; }
  float getVelocity() const { return velocity; }
  int getCopyCount() const { return copyCount; }
  Copy* getCopy(int k) const { return copies[k]; }

  // ---- units (the plug-in binds parameters to their properties)
  PortamentoController portamento;
  ControlOffset osc1Base;
  ControlOffset osc2Base;
  Oscillator noise;
  BalanceGains osc1Gains;
  BalanceGains osc2Gains;
  BalanceGains noiseGains;
  UnisonMixer mixA;
  UnisonMixer mixB;
  StereoCutoff cutoff1;
  StereoCutoff cutoff2;
  MultiDesignFilter filter1Left;
  MultiDesignFilter filter1Right;
  MultiDesignFilter filter2Left;
  MultiDesignFilter filter2Right;
  StaticMixer outLeft;
  StaticMixer outRight;
  // Before EG Main: an offset left by hard sync or a driven filter is gone
  // before the envelope could turn it into a thump.
  DcBlocker dcLeft;
  DcBlocker dcRight;
  EnvelopeGenerator eg1;
  EnvelopeGenerator eg2;
  EnvelopeGenerator egMain;
  wave::FloatParameterSource velocitySource;
  wave::FloatParameterSource keyTrackSource;
  // The voice's scope of the modulation matrix: its envelopes, velocity and
  // key tracking are registered as the per-voice sources.
  ModulationMatrix::Voice mod;

private:
  // Connects every unit to the current target inputs.
  void connectTargets();
  // Rebuilds the mixers and the filter chain for the routing.
  void rebuildRouting();
  void updateCopyOffsets();
  // The key's velocity (0..1) and note (MIDI) into the gain and the
  // velocity and key-tracking sources.
  void takeTouch(float keyVelocity, int midiNote, bool silent);
  // The velocity gain reached now, partway through a move.
  float currentVelocityGain() const;
  // The gain block of the touch and Volume, before a fade-out.
  float* touchGainSamples(int count, int flags);
  // Scales the gain block by the fade-out's next count samples.
  void applyFadeOut(float* out, int count, int flags);
  // A key that went up: sets releasing while the release is near enough
  // its end to be measured, and takes the block's gain for it.
  void watchRelease(const float* gainSamples, int count, int flags);

  // The shared units where they read this voice's inputs, else the own
  // ones.
  BalanceGains* selectGains(BalanceGains* own, BalanceGains* common, int level, int pan);
  StereoCutoff* selectCutoff(StereoCutoff* own, StereoCutoff* common, int freq, int pan);

  int index;
  SharedUnits shared;
  BalanceGains* activeOsc1Gains = nullptr;
  BalanceGains* activeOsc2Gains = nullptr;
  BalanceGains* activeNoiseGains = nullptr;
  const Settings* settings;
  wave::Producer* const* defaults;
  wave::Producer* targetInputs[zarn::cTargetCount];
  Copy* copies[cMaxCopies];
  int copyCount = 0;
  int routing = -1;
  bool keyDown_ = false;
  bool played = false;
  int note = -1;
  float velocity = 0.0f;
  float velocityGain = cOutputLevel;
  // A move of the velocity gain from gainRampFrom to velocityGain over
  // gainRampLength samples, gainRampLeft of them still to come.
  float gainRampFrom = cOutputLevel;
  int gainRampLength = 0;
  int gainRampLeft = 0;
  wave::Block gain;
  float gainValue = -1.0f;
  int gainFilled = 0;
  // A fade-out of fadeLength samples (0: none), fadeDone of them rendered.
  int fadeLength = 0;
  int fadeDone = 0;
  // The largest peak measured in this release (a block's largest sample
  // times its gain), over how many samples (up to cReleaseMeasureMs), and
  // the largest gain of the last block.
  float releasePeak = 0.0f;
  int releaseMeasured = 0;
  float releaseGain = 0.0f;
};

// The level factor of a key's velocity (0..1): 1 at full velocity,
// falling by up to 18 dB towards the softest touch.
float velocityToGain(float velocity);
