#include "synth/ZarnParameterSets.h"

#include "plugin/ParameterCollection.h"
#include "hints/ZarnHints.h"
#include "wave/ValueCurves.h"

#include <cmath>
#include <string>

namespace zarncurves {

float square(float x) { return x * x; }
float squareRoot(float x) { return x > 0.0f ? std::sqrt(x) : 0.0f; }
float log2Ratio(float x) { return x > 0.0f ? std::log2(x) : 0.0f; }
float exp2Octaves(float x) { return std::exp2(x); }

// 0.01 Hz at 0, 0.63 Hz in the middle, 40 Hz at 1.
float lfoFrequency(float x) { return 0.01f * std::pow(4000.0f, x); }
float lfoFrequencyInverse(float hz) { return hz > 0.0f ? std::log(hz / 0.01f) / std::log(4000.0f) : 0.0f; }

// The master volume: amplitude 0.3 x^2. The knob's top shows about 0 dB
// on the volume scale; the default (0.6) leaves a full chord of 32 voices
// room below full scale.
float volume(float x) { return 0.3f * x * x; }
float volumeInverse(float a) { return a > 0.0f ? std::sqrt(a / 0.3f) : 0.0f; }

namespace {

// The x in [0, 1] with f(x) = y, for a rising f; the ends outside f's
// range.
float invertRising(float (*f)(float), float y) {
  float lo = 0.0f, hi = 1.0f;
  if (!(y > f(lo))) return lo;
  if (!(y < f(hi))) return hi;
  for (int i = 0; i < 40; ++i) {
    const float mid = 0.5f * (lo + hi);
    (f(mid) < y ? lo : hi) = mid;
  }
  return 0.5f * (lo + hi);
}

} // namespace

float egTime(float x) { return EGTimeCurve(x); }
float egTimeInverse(float y) { return invertRising(EGTimeCurve, y); }
float glideTime(float x) { return veryExponentialCurve(x); }
float glideTimeInverse(float y) { return invertRising(veryExponentialCurve, y); }

} // namespace zarncurves

namespace zarnparams {

void setup(FloatPluginParameter& p, float min, float max, float def, const char* hint) {
  p.setLimits(min, max, def);
  p.setHintText(hint);
}

void setupTransform(FloatPluginParameterTransform& t, FloatPluginParameterTransform::Function f,
                    FloatPluginParameterTransform::Function inverse, float lo, float hi, const char* format,
                    const char* unit) {
  if (f) t.setFunction(f, inverse);
  if (lo != hi) t.setRange(lo, hi);
  if (format) t.setDisplayFormat(format);
  if (unit) t.setDisplayUnit(unit);
}

void setupSwitch(PropPluginParameter<bool>& p, bool def, const char* hint) {
  p.configure(0, 1, def, "Off,On");
  p.setHintText(hint);
}

} // namespace zarnparams

using namespace zarnparams;
using namespace zarncurves;

namespace {

std::string prefix(const char* kind, int number) { return std::string(kind) + " " + std::to_string(number) + " "; }

void setupTime(FloatParamPluginParameter& p, float def, float maxSeconds, const char* hint) {
  setup(p, 0.0f, 1.0f, def, hint);
  setupTransform(p.getTransform(), egTime, egTimeInverse, 0.0f, maxSeconds, "%.3f", "s");
}

void setupSustain(FloatParamPluginParameter& p, float def) {
  setup(p, 0.0f, 1.0f, def, cHintEGSustain);
  setupTransform(p.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
}

void setupLevel(FloatParamPluginParameter& p, float def, const char* hint) {
  setup(p, 0.0f, 1.0f, def, hint);
  setupTransform(p.getTransform(), square, squareRoot, 0.0f, 0.0f, "%.3f", nullptr);
}

void setupPan(FloatParamPluginParameter& p, const char* hint) {
  setup(p, -1.0f, 1.0f, 0.0f, hint);
  setupTransform(p.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
}

const GenericFilter::Slope kSlopes[2] = {GenericFilter::c12dB, GenericFilter::c24dB};
const Oscillator::WaveForm kWaveForms[3] = {Oscillator::Triangle, Oscillator::Sawtooth, Oscillator::Square};

} // namespace

ZarnOscillatorParameters::ZarnOscillatorParameters(GenericParameterOwner* owner, int number)
    : scale(owner, prefix("Osc", number) + "Scale"), waveForm(owner, prefix("Osc", number) + "Wave Form"),
      sync(owner, prefix("Osc", number) + "Sync"), pulseWidth(owner, prefix("Osc", number) + "Pulse Width"),
      level(owner, prefix("Osc", number) + "Level"), pan(owner, prefix("Osc", number) + "Pan"),
      phaseSync(owner, prefix("Osc", number) + "Phase Sync") {
  if (number == 1) {
    scale.configure(-2, 2, 0, "-2,-1,0,+1,+2");
    scale.setHintText(cHintOscMasterTune);
  } else {
    scale.configure(0, 3, 0, "0,+1,+2,+3");
    scale.setHintText(cHintOscDetune);
  }
  waveForm.setValueTable(kWaveForms, 3, 0);
  waveForm.configure(Oscillator::Triangle, Oscillator::Square, Oscillator::Sawtooth, "Triangle,Sawtooth,Square");
  waveForm.setHintText(cHintOscWave);
  // 1 is a free-running oscillator; 4 squeezes two octaves of cycles into
  // each cycle of the note.
  setup(sync, 1.0f, 4.0f, 1.0f, cHintOscSync);
  setupTransform(sync.getTransform(), log2Ratio, exp2Octaves, 0.0f, 0.0f, "%.2f", nullptr);
  setup(pulseWidth, 0.0f, 1.0f, 0.0f, cHintOscPulse);
  setupTransform(pulseWidth.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
  setupLevel(level, number == 1 ? 0.8f : 0.0f, cHintOscLevelPan);
  setupPan(pan, cHintOscLevelPan);
  setupSwitch(phaseSync, false, cHintOscPhaseSync);
}

void ZarnOscillatorParameters::addTo(ParameterCollection& c) {
  for (AbstractPluginParameter* p : std::initializer_list<AbstractPluginParameter*>{
           &scale, &waveForm, &sync, &pulseWidth, &level, &pan, &phaseSync})
    c.registerParameter(p);
}

ZarnFilterParameters::ZarnFilterParameters(GenericParameterOwner* owner, int number)
    : freq(owner, prefix("Filter", number) + "Freq"), pan(owner, prefix("Filter", number) + "Pan"),
      peak(owner, prefix("Filter", number) + "Peak"),
      characteristic(owner, prefix("Filter", number) + "Characteristic"),
      response(owner, prefix("Filter", number) + "Response"), slope(owner, prefix("Filter", number) + "Slope"),
      enabled(owner, prefix("Filter", number) + "Enabled") {
  // 16 Hz .. 20.5 kHz, evenly by octaves.
  setup(freq, 0.0f, 1.0f, number == 1 ? 0.6f : 1.0f, cHintFilterCutOff);
  setupTransform(freq.getTransform(), nullptr, nullptr, 4.0f, 14.3219281f, "%.0f", "Hz");
  freq.getTransform().setDisplayFunction(expFreqToFreq, freqToExpFreq);
  setup(pan, -1.0f, 1.0f, 0.0f, cHintFilterPan);
  setupTransform(pan.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
  setup(peak, 0.0f, 1.0f, 0.2f, cHintFilterPeak);
  setupTransform(peak.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
  characteristic.configure(0, 5, 0, "Quorvane Ulk,Gentle,Raw,Tube,Metal,Easy Going");
  characteristic.setHintText(cHintFilterCharacteristic);
  response.configure(GenericFilter::cLowPass, GenericFilter::cBandPass, GenericFilter::cLowPass,
                     "Low Pass,High Pass,Band Pass");
  response.setHintText(cHintFilterResponse);
  slope.setValueTable(kSlopes, 2, 0);
  slope.configure(GenericFilter::c12dB, GenericFilter::c24dB, GenericFilter::c12dB, "12 dB,24 dB");
  slope.setHintText(cHintFilterSlope);
  setupSwitch(enabled, number == 1, cHintFilterByPass);
}

void ZarnFilterParameters::addTo(ParameterCollection& c) {
  for (AbstractPluginParameter* p : std::initializer_list<AbstractPluginParameter*>{
           &freq, &pan, &peak, &characteristic, &response, &slope, &enabled})
    c.registerParameter(p);
}

ZarnLfoParameters::ZarnLfoParameters(GenericParameterOwner* owner, int number)
    : frequency(owner, prefix("LFO", number) + "Frequency"), waveForm(owner, prefix("LFO", number) + "WaveForm"),
      balance(owner, prefix("LFO", number) + "Balance"), syncFreq(owner, prefix("LFO", number) + "SyncFreq"),
      syncMode(owner, prefix("LFO", number) + "SyncMode"), midiTrigger(owner, prefix("LFO", number) + "MIDI Trigger"),
      polarity(owner, prefix("LFO", number) + "Polarity") {
  setup(frequency, 0.0f, 1.0f, lfoFrequencyInverse(2.0f), cHintLFOFrequency);
  setupTransform(frequency.getTransform(), lfoFrequency, lfoFrequencyInverse, 0.0f, 0.0f, "%.2f", "Hz");
  waveForm.configure(ModulationGenerator::cTriangle, ModulationGenerator::cSampleHold, ModulationGenerator::cTriangle,
                     "Triangle,Square,Sine,TriangleRandom,SampleHold");
  waveForm.setHintText(cHintLFOWaveForm);
  setup(balance, 0.0f, 1.0f, 0.5f, cHintLFOBalance);
  setupTransform(balance.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
  syncFreq.configure(0, cSyncLengths - 1, 6,
                     "16 bars,8 bars,4 bars,2 bars,1 bar,1/2 bar,1/4 bar,1/8 bar,1/16 bar,1/32 bar,1/64 bar");
  syncFreq.setHintText(cHintLFOFrequency);
  syncMode.configure(cFree, cTriplet, cFree, "Free,Synchronized,Sync Dotted,Sync Triplets");
  syncMode.setHintText(cHintLFOSyncMode);
  setupSwitch(midiTrigger, false, cHintLFOTrigger);
  polarity.configure(ModulationGenerator::cBiPolar, ModulationGenerator::cMonoPolar, ModulationGenerator::cBiPolar,
                     "Bi-polar,Mono-polar");
  polarity.setHintText(cHintLFOPolarity);
}

void ZarnLfoParameters::addTo(ParameterCollection& c) {
  for (AbstractPluginParameter* p : std::initializer_list<AbstractPluginParameter*>{
           &frequency, &waveForm, &balance, &syncFreq, &syncMode, &midiTrigger, &polarity})
    c.registerParameter(p);
}

float ZarnLfoParameters::syncLengthInBars(int step) {
  step = step < 0 ? 0 : (step >= cSyncLengths ? cSyncLengths - 1 : step);
  return 16.0f / static_cast<float>(1 << step);
}

float ZarnLfoParameters::syncCycleInBars(int step, int mode) {
  const float bars = syncLengthInBars(step);
  if (mode == cDotted) return bars * 1.5f;
  if (mode == cTriplet) return bars * (2.0f / 3.0f);
  return bars;
}

ZarnEnvelopeParameters::ZarnEnvelopeParameters(GenericParameterOwner* owner, int number)
    : delay(owner, prefix("EG", number) + "Delay"), attack(owner, prefix("EG", number) + "Attack"),
      decay(owner, prefix("EG", number) + "Decay"), sustain(owner, prefix("EG", number) + "Sustain"),
      release(owner, prefix("EG", number) + "Release"), range(owner, prefix("EG", number) + "Range") {
  setupTime(delay, 0.0f, 5.0f, cHintEGDelay);
  setupTime(attack, 0.1f, 10.0f, cHintEGAttack);
  setupTime(decay, 0.4f, 10.0f, cHintEGDecay);
  setupSustain(sustain, 0.5f);
  setupTime(release, 0.4f, 10.0f, cHintEGRelease);
  range.configure(EnvelopeGenerator::cRangeNormal, EnvelopeGenerator::cRangeNeutralSustain,
                  EnvelopeGenerator::cRangeNormal, "Normal,Offset");
  range.setHintText(cHintEGOffset);
}

void ZarnEnvelopeParameters::addTo(ParameterCollection& c) {
  for (AbstractPluginParameter* p :
       std::initializer_list<AbstractPluginParameter*>{&delay, &attack, &decay, &sustain, &release, &range})
    c.registerParameter(p);
}

ZarnMainEnvelopeParameters::ZarnMainEnvelopeParameters(GenericParameterOwner* owner)
    : hold(owner, "EG Main Hold"), attack(owner, "EG Main Attack"), decay(owner, "EG Main Decay"),
      sustain(owner, "EG Main Sustain"), release(owner, "EG Main Release") {
  setupTime(hold, 0.0f, 5.0f, cHintEGHold);
  setupTime(attack, 0.05f, 10.0f, cHintEGAttack);
  setupTime(decay, 0.4f, 10.0f, cHintEGDecay);
  setupSustain(sustain, 0.8f);
  setupTime(release, 0.35f, 10.0f, cHintEGRelease);
}

void ZarnMainEnvelopeParameters::addTo(ParameterCollection& c) {
  for (AbstractPluginParameter* p :
       std::initializer_list<AbstractPluginParameter*>{&hold, &attack, &decay, &sustain, &release})
    c.registerParameter(p);
}
