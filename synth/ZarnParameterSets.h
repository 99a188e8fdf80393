#pragma once

// The synthesizer's host parameters, grouped by section. Each group
// registers its parameters with the plug-in as it is constructed (so the
// order of the members is the order of the host controls and of the values
// in a preset file, and must not change), sets their ranges, value texts,
// defaults and hint texts, and lists them for the section's component
// presets. The plug-in binds them to its engine once its graph exists.
//
// Natural values are what the host and the presets see; the transforms
// turn them into the engine's units:
//   levels 0..1 -> amplitude (squared: the knob's middle is about -12 dB),
//   pans -1..1, Sync 1..4 -> 0..2 octaves of hard sync (1 = normal),
//   Detune -1..1 -> +-1 octave (fine near 0), Master Tune -12..12 semitones,
//   Freq 0..1 -> 16 Hz .. 20.5 kHz on an octave scale, Peak 0..1,
//   envelope times 0..1 -> 0..10 s (0..5 s for delay and hold) along a
//   curve that is fine for short times, LFO Frequency 0..1 -> 0.01..40 Hz.

#include "base/Property.h"
#include "plugin/FloatParamPluginParameter.h"
#include "plugin/LimFloatPropPluginParameter.h"
#include "plugin/PropPluginParameter.h"
#include "wave/EnvelopeGenerator.h"
#include "wave/GenericFilter.h"
#include "wave/ModulationGenerator.h"
#include "wave/Oscillator.h"

#include <string>

class GenericParameterOwner;
class ParameterCollection;

// Engine curves of the transforms, with their inverses where they exist.
namespace zarncurves {
float square(float x);
float squareRoot(float x);
float log2Ratio(float x);
float exp2Octaves(float x);
float lfoFrequency(float x);
float lfoFrequencyInverse(float hz);
float volume(float x);
float volumeInverse(float a);
// The envelope time curve and the glide curve, and their inverses.
float egTime(float x);
float egTimeInverse(float y);
float glideTime(float x);
float glideTimeInverse(float y);
} // namespace zarncurves

// Osc 1 and Osc 2. Scale is -2..2 octaves for Osc 1 and 0..3 for Osc 2.
struct ZarnOscillatorParameters {
  // number: 1 or 2.
  ZarnOscillatorParameters(GenericParameterOwner* owner, int number);
  void addTo(ParameterCollection& collection);

  PropPluginParameter<int> scale;
  PropPluginParameter<Oscillator::WaveForm> waveForm;
  FloatParamPluginParameter sync;
  FloatParamPluginParameter pulseWidth;
  FloatParamPluginParameter level;
  FloatParamPluginParameter pan;
  PropPluginParameter<bool> phaseSync;
};

struct ZarnFilterParameters {
  ZarnFilterParameters(GenericParameterOwner* owner, int number);
  void addTo(ParameterCollection& collection);

  FloatParamPluginParameter freq;
  FloatParamPluginParameter pan;
  FloatParamPluginParameter peak;
  PropPluginParameter<int> characteristic;
  PropPluginParameter<GenericFilter::Response> response;
  PropPluginParameter<GenericFilter::Slope> slope;
  PropPluginParameter<bool> enabled;
};

// SyncMode: 0 free, 1 straight, 2 dotted, 3 triplet. SyncFreq: a cycle of
// 16, 8, 4, 2, 1 bars down to 1/64 bar (steps 0 to 10).
struct ZarnLfoParameters {
  enum SyncMode : int { cFree = 0, cStraight = 1, cDotted = 2, cTriplet = 3 };
  static constexpr int cSyncLengths = 11;

  ZarnLfoParameters(GenericParameterOwner* owner, int number);
  void addTo(ParameterCollection& collection);
  // The cycle in bars of step i (16 / 2^i).
  static float syncLengthInBars(int step);
  // The cycle in bars for the step and mode: a dotted cycle lasts 1.5
  // times the straight one, a triplet cycle two thirds of it (three in the
  // time of two), as the note values do. At 120 bpm and "1/4 bar":
  // straight 2 Hz, dotted 1.333 Hz, triplets 3 Hz.
  static float syncCycleInBars(int step, int mode);

  FloatParamPluginParameter frequency;
  PropPluginParameter<ModulationGenerator::WaveForm> waveForm;
  LimFloatPropPluginParameter balance;
  PropPluginParameter<int> syncFreq;
  PropPluginParameter<int> syncMode;
  PropPluginParameter<bool> midiTrigger;
  PropPluginParameter<ModulationGenerator::Polarity> polarity;
};

// EG 1 and EG 2.
struct ZarnEnvelopeParameters {
  ZarnEnvelopeParameters(GenericParameterOwner* owner, int number);
  void addTo(ParameterCollection& collection);

  FloatParamPluginParameter delay;
  FloatParamPluginParameter attack;
  FloatParamPluginParameter decay;
  FloatParamPluginParameter sustain;
  FloatParamPluginParameter release;
  PropPluginParameter<EnvelopeGenerator::Range> range;
};

// EG Main.
struct ZarnMainEnvelopeParameters {
  explicit ZarnMainEnvelopeParameters(GenericParameterOwner* owner);
  void addTo(ParameterCollection& collection);

  FloatParamPluginParameter hold;
  FloatParamPluginParameter attack;
  FloatParamPluginParameter decay;
  FloatParamPluginParameter sustain;
  FloatParamPluginParameter release;
};

// Set-up helpers shared by the groups and the plug-in's own parameters.
namespace zarnparams {
// Limits, default (the current value too) and hint; the engine value is
// f(natural) scaled so that min and max give lo and hi (without f: the
// natural range maps linearly onto lo..hi).
void setup(FloatPluginParameter& p, float min, float max, float def, const char* hint);
void setupTransform(FloatPluginParameterTransform& t, FloatPluginParameterTransform::Function f,
                    FloatPluginParameterTransform::Function inverse, float lo, float hi, const char* format,
                    const char* unit);
void setupSwitch(PropPluginParameter<bool>& p, bool def, const char* hint);
} // namespace zarnparams
