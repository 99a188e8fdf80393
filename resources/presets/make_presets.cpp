// Writes the factory presets into a folder (the bundle's "FactoryPresets"),
// one sub-folder per kind of sound. Each preset starts from every
// parameter's default and sets what makes its sound, in the units a
// musician thinks in (hertz, seconds, semitones); the plug-in's own preset
// writer stores it.
//
// The plug-in reads and writes its preferences and caches in the user's
// folders: the build runs this tool with HOME and the XDG folders pointed at
// a folder inside the build tree.
//
// Usage: zarn-make-presets <output folder>

#include "base/Preset.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ZarnPlugin.h"
#include "tools/CommandHelp.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

void set(AbstractPluginParameter& p, float natural) { p.setValue(natural, 0); }

// Through a parameter's transform: the natural value that gives the engine
// value.
void setEngine(FloatParamPluginParameter& p, float engine) { set(p, p.getTransform().invertValue(engine)); }
void setEngine(LimFloatPropPluginParameter& p, float engine) { set(p, p.getTransform().invertValue(engine)); }
void setHz(FloatParamPluginParameter& freq, float hz) { setEngine(freq, std::log2(hz)); }
// Osc 2 Detune in semitones.
void setDetune(ZarnPlugin& z, float semitones) { setEngine(z.osc2Detune, semitones / 12.0f); }

struct Envelope {
  float attack, decay, sustain, release;
};

void mainEnvelope(ZarnPlugin& z, Envelope e, float hold = 0.0f) {
  setEngine(z.egMain.hold, hold);
  setEngine(z.egMain.attack, e.attack);
  setEngine(z.egMain.decay, e.decay);
  set(z.egMain.sustain, e.sustain);
  setEngine(z.egMain.release, e.release);
}

void osc(ZarnOscillatorParameters& o, Oscillator::WaveForm wave, float level) {
  set(o.waveForm, static_cast<float>(wave));
  set(o.level, level);
}

void filter(ZarnFilterParameters& f, GenericFilter::Response response, float hz, float peak, int characteristic,
            bool steep = false) {
  set(f.enabled, 1.0f);
  set(f.response, static_cast<float>(response));
  setHz(f.freq, hz);
  set(f.peak, peak);
  set(f.characteristic, static_cast<float>(characteristic));
  set(f.slope, steep ? 1.0f : 0.0f);
}

void mono(ZarnPlugin& z, float glideSeconds, bool legato) {
  set(z.polyphony, static_cast<float>(VoiceManager::cMono));
  set(z.portamentoMode, legato ? 1.0f : 0.0f);
  setEngine(z.portamento, glideSeconds);
}

void unison(ZarnPlugin& z, int voices, float spread) {
  set(z.unisonVoices, static_cast<float>(voices));
  set(z.unisonSpread, spread);
  set(z.totalVoices, 32.0f);
}

// Slot n of the modulation matrix: source to target at level (0..1 of the
// target's full scale).
void slot(ZarnPlugin& z, int n, int source, int target, float level, bool inverted = false) {
  ModulationMatrixParameterSet::SlotParameters& s = z.getModMatrixParameters()->at(n);
  set(s.source, static_cast<float>(source + 1));
  set(s.target, static_cast<float>(target + 1));
  set(s.level, level);
  set(s.inverted, inverted ? 1.0f : 0.0f);
}

// The mod wheel brings in a vibrato from LFO 1 (a sine at hz), up to cents
// either way at full wheel: slot n carries the LFO with no level of its
// own, slot n + 1 lets the wheel raise it.
void wheelVibrato(ZarnPlugin& z, int n, float hz, float cents) {
  set(z.lfo1.waveForm, static_cast<float>(ModulationGenerator::cSine));
  setEngine(z.lfo1.frequency, hz);
  const float fullScale = ModulationMatrix::getTargetFullScale(ModulationMatrix::cTargetMasterTune) * 1200.0f;
  slot(z, n, ModulationMatrix::cSourceLFO1, ModulationMatrix::cTargetMasterTune, 0.0f);
  slot(z, n + 1, ModulationMatrix::cSourceModWheel, ModulationMatrix::cTargetSlotLevel + n, cents / fullScale);
}

// EG 1 as a filter envelope on Filter 1: up by octaves at the peak.
void filterEnvelope(ZarnPlugin& z, int n, Envelope e, float octaves) {
  setEngine(z.eg1.delay, 0.0f);
  setEngine(z.eg1.attack, e.attack);
  setEngine(z.eg1.decay, e.decay);
  set(z.eg1.sustain, e.sustain);
  setEngine(z.eg1.release, e.release);
  const float fullScale = ModulationMatrix::getTargetFullScale(ModulationMatrix::cTargetFilter1Freq);
  slot(z, n, ModulationMatrix::cSourceEG1, ModulationMatrix::cTargetFilter1Freq, octaves / fullScale);
}

enum Characteristic { cUlk = 0, cGentle = 1, cRaw = 2, cTube = 3, cMetal = 4, cEasyGoing = 5 };

struct FactoryPreset {
  const char* folder;
  const char* name;
  std::function<void(ZarnPlugin&)> make;
};

const GenericFilter::Response LP = GenericFilter::cLowPass;
const GenericFilter::Response HP = GenericFilter::cHighPass;
const GenericFilter::Response BP = GenericFilter::cBandPass;

std::vector<FactoryPreset> factoryPresets() {
  return {
      {"_Basics", "Default Sound",
       [](ZarnPlugin& z) {
         // Two slightly detuned saws through a warm low pass.
         osc(z.osc1, Oscillator::Sawtooth, 0.65f);
         osc(z.osc2, Oscillator::Sawtooth, 0.5f);
         setDetune(z, 0.08f);
         filter(z.filter1, LP, 2500.0f, 0.25f, cUlk);
         mainEnvelope(z, {0.005f, 0.6f, 0.7f, 0.35f});
         // Silent until the wheel moves; the touch still sets the level.
         wheelVibrato(z, 0, 5.5f, 30.0f);
       }},
      {"_Basics", "Clean",
       [](ZarnPlugin& z) {
         // One saw and one resonant low pass, nothing else: the place to
         // hear what each filter characteristic does.
         osc(z.osc1, Oscillator::Sawtooth, 0.8f);
         filter(z.filter1, LP, 1200.0f, 0.55f, cUlk);
         mainEnvelope(z, {0.002f, 0.0f, 1.0f, 0.1f});
         set(z.volume, 0.44f);
       }},
      {"Bass", "Sub Bass",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Triangle, 0.9f);
         set(z.osc1.scale, -1.0f);
         osc(z.osc2, Oscillator::Square, 0.35f);
         set(z.osc2.scale, 0.0f);
         setDetune(z, -12.0f);
         filter(z.filter1, LP, 400.0f, 0.1f, cGentle);
         mainEnvelope(z, {0.002f, 0.3f, 0.85f, 0.12f});
         mono(z, 0.03f, true);
         set(z.volume, 0.62f); // the triangle's fundamental carries
       }},
      {"Bass", "Acid Bass",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Sawtooth, 0.9f);
         set(z.osc1.scale, -1.0f);
         // The peak stays just under where the raw characteristic starts
         // to ring by itself (about 0.75): above it the filter sings its
         // own 650 Hz whistle through every held note, whatever the key.
         filter(z.filter1, LP, 650.0f, 0.72f, cRaw, true);
         mainEnvelope(z, {0.001f, 0.25f, 0.6f, 0.08f});
         // The squelch: a fast filter sweep, deeper for harder notes.
         filterEnvelope(z, 0, {0.001f, 0.22f, 0.0f, 0.08f}, 1.5f);
         slot(z, 1, ModulationMatrix::cSourceVelocity, ModulationMatrix::cTargetSlotLevel + 0, 0.2f);
         mono(z, 0.08f, true);
         // The resonant, steep filter drives its characteristic hard.
         set(z.volume, 0.53f);
       }},
      {"Bass", "Pluck Bass",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Sawtooth, 0.85f);
         osc(z.osc2, Oscillator::Square, 0.5f);
         setDetune(z, -12.0f);
         set(z.osc1.phaseSync, 1.0f);
         set(z.osc2.phaseSync, 1.0f);
         filter(z.filter1, LP, 900.0f, 0.3f, cTube);
         mainEnvelope(z, {0.001f, 0.7f, 0.0f, 0.15f});
         set(z.volume, 0.6f);
       }},
      {"Lead", "Sync Lead",
       [](ZarnPlugin& z) {
         // Osc 1 hard-synced well over an octave up: the tearing, vocal
         // edge of a sync lead; osc 2 underneath keeps the pitch solid.
         osc(z.osc1, Oscillator::Sawtooth, 0.8f);
         set(z.osc1.sync, 2.6f);
         osc(z.osc2, Oscillator::Sawtooth, 0.45f);
         setDetune(z, 0.1f);
         filter(z.filter1, LP, 5000.0f, 0.2f, cUlk);
         mainEnvelope(z, {0.005f, 0.5f, 0.85f, 0.2f});
         mono(z, 0.06f, false);
         unison(z, 2, 0.2f);
         set(z.volume, 0.7f);
         wheelVibrato(z, 0, 6.0f, 40.0f);
       }},
      {"Lead", "Square Lead",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Square, 0.8f);
         set(z.osc1.pulseWidth, 0.2f);
         osc(z.osc2, Oscillator::Square, 0.3f);
         set(z.osc2.scale, 1.0f);
         filter(z.filter1, LP, 3000.0f, 0.3f, cTube);
         mainEnvelope(z, {0.004f, 0.4f, 0.8f, 0.18f});
         mono(z, 0.05f, true);
         set(z.volume, 0.59f);
         wheelVibrato(z, 0, 5.5f, 35.0f);
       }},
      {"Pad", "Warm Pad",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Sawtooth, 0.7f);
         osc(z.osc2, Oscillator::Sawtooth, 0.7f);
         setDetune(z, 0.12f);
         filter(z.filter1, LP, 1400.0f, 0.15f, cGentle);
         mainEnvelope(z, {0.8f, 1.5f, 0.8f, 1.8f});
         unison(z, 3, 0.5f);
         set(z.stereo, 1.3f);
         set(z.volume, 0.52f);
       }},
      {"Pad", "PWM Pad",
       [](ZarnPlugin& z) {
         // Two pulses of different widths, detuned and spread: their sum
         // moves like a slowly modulated pulse width.
         osc(z.osc1, Oscillator::Square, 0.7f);
         set(z.osc1.pulseWidth, 0.3f);
         osc(z.osc2, Oscillator::Square, 0.7f);
         set(z.osc2.pulseWidth, 0.55f);
         setDetune(z, 0.09f);
         // A slow triangle moves Osc 1's width: real pulse width
         // modulation on top of the pair's beating.
         setEngine(z.lfo2.frequency, 0.35f);
         slot(z, 0, ModulationMatrix::cSourceLFO2, ModulationMatrix::cTargetOsc1PulseWidth, 0.18f);
         filter(z.filter1, LP, 2200.0f, 0.1f, cEasyGoing);
         mainEnvelope(z, {0.5f, 1.2f, 0.85f, 1.5f});
         unison(z, 2, 0.6f);
         set(z.volume, 0.455f);
       }},
      {"Plucks", "Pluck",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Sawtooth, 0.8f);
         osc(z.osc2, Oscillator::Triangle, 0.5f);
         set(z.osc2.scale, 1.0f);
         set(z.osc1.phaseSync, 1.0f);
         set(z.osc2.phaseSync, 1.0f);
         filter(z.filter1, LP, 2200.0f, 0.35f, cUlk);
         mainEnvelope(z, {0.001f, 0.9f, 0.0f, 0.4f});
         unison(z, 2, 0.3f);
         set(z.volume, 0.62f);
       }},
      {"Plucks", "Glass Pluck",
       [](ZarnPlugin& z) {
         // Two triangles a little over an octave and a half apart: a
         // bell-like, slightly inharmonic ring that dies away.
         osc(z.osc1, Oscillator::Triangle, 0.8f);
         osc(z.osc2, Oscillator::Triangle, 0.6f);
         set(z.osc2.scale, 2.0f);
         setDetune(z, -4.86f);
         set(z.filter1.enabled, 0.0f);
         mainEnvelope(z, {0.001f, 1.2f, 0.0f, 1.2f});
         set(z.volume, 0.55f); // unfiltered: all of the fundamentals
       }},
      {"Brass and Strings", "Brass",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Sawtooth, 0.8f);
         osc(z.osc2, Oscillator::Sawtooth, 0.7f);
         setDetune(z, 0.06f);
         filter(z.filter1, LP, 1800.0f, 0.2f, cTube);
         mainEnvelope(z, {0.06f, 0.4f, 0.75f, 0.2f});
         // The brass swell: the filter opens with the attack and settles.
         filterEnvelope(z, 0, {0.08f, 0.5f, 0.3f, 0.3f}, 1.0f);
         wheelVibrato(z, 1, 5.0f, 25.0f);
         unison(z, 2, 0.2f);
         set(z.volume, 0.46f);
       }},
      {"Brass and Strings", "Strings",
       [](ZarnPlugin& z) {
         osc(z.osc1, Oscillator::Sawtooth, 0.75f);
         osc(z.osc2, Oscillator::Sawtooth, 0.65f);
         setDetune(z, -0.1f);
         filter(z.filter1, LP, 4000.0f, 0.05f, cEasyGoing);
         filter(z.filter2, HP, 250.0f, 0.0f, cGentle);
         mainEnvelope(z, {0.35f, 1.0f, 0.9f, 0.9f});
         unison(z, 4, 0.7f);
         set(z.stereo, 1.4f);
         set(z.volume, 0.67f);
         wheelVibrato(z, 0, 5.0f, 20.0f);
       }},
      {"Effects", "Wind",
       [](ZarnPlugin& z) {
         // Pink noise through two resonant band passes side by side.
         set(z.osc1.level, 0.0f);
         set(z.noiseLevel, 0.9f);
         set(z.noiseType, 1.0f);
         filter(z.filter1, BP, 800.0f, 0.85f, cGentle);
         filter(z.filter2, BP, 2500.0f, 0.8f, cGentle);
         set(z.filterRouting, static_cast<float>(ZarnVoice::cParallel));
         set(z.filter1.pan, -0.5f);
         set(z.filter2.pan, 0.5f);
         mainEnvelope(z, {1.2f, 2.0f, 0.8f, 2.5f});
         set(z.volume, 0.55f);
       }},
      {"Effects", "Thunder",
       [](ZarnPlugin& z) {
         // Lots of pink noise under a steep, low cut-off, with a long tail.
         set(z.osc1.level, 0.0f);
         set(z.noiseLevel, 1.0f);
         set(z.noiseType, 1.0f);
         filter(z.filter1, LP, 180.0f, 0.3f, cRaw, true);
         mainEnvelope(z, {0.01f, 3.0f, 0.3f, 4.0f});
         set(z.volume, 0.65f); // noise is a quiet source
       }},
      {"Effects", "Surf",
       [](ZarnPlugin& z) {
         // White noise washing in and out, opened up by a high pass.
         set(z.osc1.level, 0.0f);
         set(z.noiseLevel, 1.0f);
         filter(z.filter1, HP, 600.0f, 0.2f, cEasyGoing);
         mainEnvelope(z, {1.2f, 2.5f, 0.4f, 3.0f});
         set(z.stereo, 1.5f);
         set(z.volume, 0.85f); // noise is a quiet source
       }},
  };
}

} // namespace

int main(int argc, char** argv) {
  const int status = zarn::tools::checkOneName(
      argc, argv, "usage: zarn-make-presets FOLDER\n",
      "Writes the factory presets, one folder of them per kind, into FOLDER.\n"
      "  --help               this text\n");
  if (status >= 0) return status;
  const std::string out = argv[1];
  std::unique_ptr<ZarnPlugin> plugin(new ZarnPlugin());
  ZarnPlugin& z = *plugin;
  int failures = 0;
  for (const FactoryPreset& p : factoryPresets()) {
    for (AbstractPluginParameter* parameter : z.getParameters()) parameter->setToDefault();
    p.make(z);
    const std::string folder = out + "/" + p.folder;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    Preset preset(folder + "/" + p.name + ".qvp");
    if (!z.getParameters().savePreset(&preset, ZarnPlugin::cPresetFileVersion)) {
      std::fprintf(stderr, "could not write %s\n", preset.getPath().c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
