#include "synth/ZarnVoice.h"

#include "wave/ValueCurves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace zarn;

namespace {

// The outermost unison copies are detuned by this much (octaves) at full
// spread: 30 cents either way, a thick chorus but still in tune.
constexpr float cMaxUnisonDetune = 0.3f / 12.0f;

// A fixed start phase per oscillator (a fraction of the cycle), so that a
// render does not depend on a random start.
float startPhase(int index, int oscillator) {
  const double x = (index * 2 + oscillator + 1) * 0.6180339887498949;
  return static_cast<float>(x - std::floor(x));
}

// The phase of copy k of n, relative to the first: (k^2 + k) / 2n cycles
// for odd n, k^2 / 2n for even n. The copies of a key start together, and
// at these phases their fundamentals (and most low harmonics) add up to
// sqrt(n) times one copy, the same as uncorrelated copies: with the gains
// of 1/sqrt(n), a unison stack starts as loud as it goes on, however many
// copies it has. (Evenly spread phases would cancel the fundamental.)
float copyPhase(int k, int n) {
  const double q = static_cast<double>(k) * k + (n % 2 ? k : 0);
  const double x = q / (2.0 * n);
  return static_cast<float>(x - std::floor(x));
}

// A noise register seed per oscillator: never 0, and the same on every run.
uint32_t noiseSeed(int index) { return 1u + static_cast<uint32_t>((index * 2654435761u) % 16777215u); }

} // namespace

float velocityToGain(float velocity) {
  const float v = std::clamp(velocity, 0.0f, 1.0f);
  return std::pow(10.0f, (v - 1.0f) * 0.9f);
}

ZarnVoice::Copy::Copy(wave::Environment* env, Oscillator::Style* style, int index)
    : pitch1(env), pitch2(env), osc1(style, env), osc2(style, env) {
  osc1.jumpToPhase(startPhase(index, 0));
  osc2.jumpToPhase(startPhase(index, 1));
  osc1.seedNoise(noiseSeed(2 * index + 1));
  osc2.seedNoise(noiseSeed(2 * index + 2));
}

ZarnVoice::ZarnVoice(wave::Environment* env, int index, Oscillator::Style* oscillatorStyle,
                     EnvelopeGenerator::Style* envelopeStyle, wave::Producer* const* targets,
                     const SharedUnits& shared, const Settings* settings, MultiDesignFilter::ParallelUnit* unit1,
                     MultiDesignFilter::ParallelUnit* unit2, ModulationMatrix* matrix)
    : portamento(env), osc1Base(env), osc2Base(env), noise(oscillatorStyle, env), osc1Gains(env), osc2Gains(env),
      noiseGains(env), mixA(env, 2 * cMaxCopies + 1), mixB(env, cMaxCopies + 1), cutoff1(env), cutoff2(env),
      filter1Left(unit1), filter1Right(unit1), filter2Left(unit2), filter2Right(unit2), outLeft(env, 2),
      outRight(env, 2), dcLeft(env), dcRight(env), eg1(env, envelopeStyle), eg2(env, envelopeStyle), egMain(env, envelopeStyle),
      velocitySource(env, 1.0f), keyTrackSource(env, 0.0f), mod(matrix), index(index), shared(shared),
      settings(settings),
      defaults(targets),
      gain(env) {
  for (int t = 0; t < cTargetCount; ++t) targetInputs[t] = targets[t];
  for (Copy*& c : copies) c = nullptr;

  noise.waveForm = Oscillator::WhiteNoise;
  noise.seedNoise(noiseSeed(1000 + index));
  osc1Base.setInput(&portamento);
  dcLeft.setInput(&outLeft);
  dcRight.setInput(&outRight);
  // Filtered in one pass: the voice pulls both channels in every block.
  dcLeft.pairWith(&dcRight);
  dcLeft.setMuteController(this);
  osc2Base.setInput(&portamento);
  velocitySource.parameter.setLimits(0.0f, 1.0f);
  keyTrackSource.parameter.setLimits(-2.0f, 2.0f);
  for (int source : {cSourceEG1, cSourceEG2, cSourceEGMain, cSourceVelocity, cSourceKBTrack})
    mod.setSource(source, getSource(source));

  for (MultiDesignFilter* f : {&filter1Left, &filter1Right, &filter2Left, &filter2Right}) {
    f->setMuteController(this);
    f->mix.setInterpolated(1.0f, 0.0f);
  }
  // EG Main has a hold, the other two a delay; the missing stage stays 0.
  eg1.holdTime.getParameter().setInterpolated(0.0f, 0.0f);
  eg2.holdTime.getParameter().setInterpolated(0.0f, 0.0f);
  egMain.delayTime.getParameter().setInterpolated(0.0f, 0.0f);

  connectTargets();
  applySettings();
}

ZarnVoice::~ZarnVoice() = default;

wave::Producer* ZarnVoice::getTargetInput(int target) const {
  return target >= 0 && target < cTargetCount ? targetInputs[target] : nullptr;
}

void ZarnVoice::setTargetInput(int target, wave::Producer* p) {
  if (target < 0 || target >= cTargetCount) return;
  targetInputs[target] = p ? p : defaults[target];
  connectTargets();
  // The mixers hold the gains in use.
  rebuildRouting();
}

void ZarnVoice::setTargetInputs(wave::Producer* const* inputs) {
  bool changed = false;
  for (int t = 0; t < cTargetCount; ++t) {
    wave::Producer* p = inputs[t] ? inputs[t] : defaults[t];
    changed = changed || p != targetInputs[t];
    targetInputs[t] = p;
  }
  if (!changed) return;
  connectTargets();
  rebuildRouting();
}

wave::Producer* ZarnVoice::getSource(int source) {
  switch (source) {
  case cSourceEG1:
    return &eg1;
  case cSourceEG2:
    return &eg2;
  case cSourceEGMain:
    return &egMain;
  case cSourceVelocity:
    return &velocitySource;
  case cSourceKBTrack:
    return &keyTrackSource;
  default:
    return nullptr;
  }
}

void ZarnVoice::connectTargets() {
  wave::Producer* const* in = targetInputs;
  portamento.pitchModulation.setController(in[cTargetMasterTune]);
  osc2Base.setAddend(in[cTargetOsc2Detune]);
  activeNoiseGains = selectGains(&noiseGains, shared.noiseGains, cTargetNoiseLevel, cTargetNoisePan);
  activeOsc1Gains = selectGains(&osc1Gains, shared.osc1Gains, cTargetOsc1Level, cTargetOsc1Pan);
  activeOsc2Gains = selectGains(&osc2Gains, shared.osc2Gains, cTargetOsc2Level, cTargetOsc2Pan);
  for (int k = 0; k < copyCount; ++k) {
    Copy* c = copies[k];
    c->osc1.sync.setController(in[cTargetOsc1Sync]);
    c->osc1.pulseWidth.setController(in[cTargetOsc1PulseWidth]);
    c->osc2.sync.setController(in[cTargetOsc2Sync]);
    c->osc2.pulseWidth.setController(in[cTargetOsc2PulseWidth]);
  }
  StereoCutoff* c1 = selectCutoff(&cutoff1, shared.cutoff1, cTargetFilter1Freq, cTargetFilter1Pan);
  StereoCutoff* c2 = selectCutoff(&cutoff2, shared.cutoff2, cTargetFilter2Freq, cTargetFilter2Pan);
  filter1Left.frequency.setController(c1->getOutput(0));
  filter1Right.frequency.setController(c1->getOutput(1));
  filter2Left.frequency.setController(c2->getOutput(0));
  filter2Right.frequency.setController(c2->getOutput(1));
  filter1Left.peak.setController(in[cTargetFilter1Peak]);
  filter1Right.peak.setController(in[cTargetFilter1Peak]);
  filter2Left.peak.setController(in[cTargetFilter2Peak]);
  filter2Right.peak.setController(in[cTargetFilter2Peak]);

  EnvelopeGenerator* egs[3] = {&eg1, &eg2, &egMain};
  const int firsts[3] = {cTargetEG1Delay, cTargetEG2Delay, cTargetEGMainHold};
  for (int e = 0; e < 3; ++e) {
    EnvelopeGenerator& g = *egs[e];
    const int t = firsts[e];
    if (e == 2)
      g.holdTime.setController(in[t + cEnvelopeDelayOrHold]);
    else
      g.delayTime.setController(in[t + cEnvelopeDelayOrHold]);
    g.attackTime.setController(in[t + cEnvelopeAttack]);
    g.decayTime.setController(in[t + cEnvelopeDecay]);
    g.sustainLevel.setController(in[t + cEnvelopeSustain]);
    g.releaseTime.setController(in[t + cEnvelopeRelease]);
  }
}

BalanceGains* ZarnVoice::selectGains(BalanceGains* own, BalanceGains* common, int level, int pan) {
  own->setInputs(targetInputs[level], targetInputs[pan]);
  // The shared unit computes the same from the same inputs.
  const bool same = common && common->level.input == targetInputs[level] && common->pan.input == targetInputs[pan];
  return same ? common : own;
}

StereoCutoff* ZarnVoice::selectCutoff(StereoCutoff* own, StereoCutoff* common, int freq, int pan) {
  own->setInputs(targetInputs[freq], targetInputs[pan]);
  const bool same = common && common->base.input == targetInputs[freq] && common->pan.input == targetInputs[pan];
  return same ? common : own;
}

void ZarnVoice::assignCopies(Copy* const* list, int count) {
  count = std::clamp(count, 0, static_cast<int>(cMaxCopies));
  for (int k = 0; k < cMaxCopies; ++k) copies[k] = k < count ? list[k] : nullptr;
  copyCount = count;
  for (int k = 0; k < count; ++k) {
    copies[k]->osc1.setMuteController(this);
    copies[k]->osc2.setMuteController(this);
  }
  // Copies are uncorrelated (detuned, started at different phases), so
  // their powers add: 1/sqrt(n) keeps the loudness of one.
  const float scale = count > 0 ? 1.0f / std::sqrt(static_cast<float>(count)) : 0.0f;
  osc1Gains.scale = scale;
  osc2Gains.scale = scale;
  connectTargets();
  updateCopyOffsets();
  rebuildRouting();
}

void ZarnVoice::updateCopyOffsets() {
  const float spread = settings->unisonSpread;
  // An offset of 0 without an addend only hands its input on: such a unit
  // is left out of the chain, and the oscillator reads its input directly.
  wave::Producer* base1 = osc1Base.offset == 0.0f ? static_cast<wave::Producer*>(&portamento) : &osc1Base;
  for (int k = 0; k < copyCount; ++k) {
    Copy* c = copies[k];
    const float d = calculateSpreadingFactor(k, copyCount) * spread * cMaxUnisonDetune;
    c->pitch1.offset = d;
    c->pitch2.offset = d;
    c->pitch1.setInput(base1);
    c->pitch2.setInput(&osc2Base);
    c->osc1.frequency.setController(d == 0.0f ? base1 : &c->pitch1);
    c->osc2.frequency.setController(d == 0.0f ? static_cast<wave::Producer*>(&osc2Base) : &c->pitch2);
  }
}

void ZarnVoice::rebuildRouting() {
  routing = settings->routing;
  const float spread = settings->unisonSpread;
  mixA.clearAll();
  mixB.clearAll();
  UnisonMixer& osc2Mixer = routing == cPerOscillator ? mixB : mixA;
  for (int k = 0; k < copyCount; ++k) {
    const float pan = calculateSpreadingFactor(k, copyCount) * spread;
    mixA.addSource(&copies[k]->osc1, activeOsc1Gains->getOutput(0), activeOsc1Gains->getOutput(1), pan);
    osc2Mixer.addSource(&copies[k]->osc2, activeOsc2Gains->getOutput(0), activeOsc2Gains->getOutput(1), pan);
  }
  mixA.addSource(&noise, activeNoiseGains->getOutput(0), activeNoiseGains->getOutput(1), 0.0f);

  filter1Left.setInput(mixA.getOutput(0));
  filter1Right.setInput(mixA.getOutput(1));
  switch (routing) {
  case cParallel:
    filter2Left.setInput(mixA.getOutput(0));
    filter2Right.setInput(mixA.getOutput(1));
    break;
  case cPerOscillator:
    filter2Left.setInput(mixB.getOutput(0));
    filter2Right.setInput(mixB.getOutput(1));
    break;
  default:
    filter2Left.setInput(&filter1Left);
    filter2Right.setInput(&filter1Right);
    break;
  }
  if (routing == cParallel || routing == cPerOscillator) {
    outLeft.setInput(0, &filter1Left, 1.0f);
    outLeft.setInput(1, &filter2Left, 1.0f);
    outRight.setInput(0, &filter1Right, 1.0f);
    outRight.setInput(1, &filter2Right, 1.0f);
  } else {
    outLeft.setInput(0, &filter2Left, 1.0f);
    outLeft.setInput(1, nullptr, 0.0f);
    outRight.setInput(0, &filter2Right, 1.0f);
    outRight.setInput(1, nullptr, 0.0f);
  }
}

void ZarnVoice::applySettings() {
  osc1Base.offset = static_cast<float>(settings->osc1Scale);
  osc2Base.offset = static_cast<float>(settings->osc2Scale);
  const float m1 = settings->filterEnabled[0] ? 1.0f : 0.0f;
  const float m2 = settings->filterEnabled[1] ? 1.0f : 0.0f;
  // A silent voice takes a new state at once; a sounding one glides, so
  // that switching a filter does not click.
  const float time = isMute() ? 0.0f : -1.0f;
  filter1Left.mix.setInterpolated(m1, time);
  filter1Right.mix.setInterpolated(m1, time);
  filter2Left.mix.setInterpolated(m2, time);
  filter2Right.mix.setInterpolated(m2, time);
  updateCopyOffsets();
  rebuildRouting();
}

float* ZarnVoice::getGainSamples(int count, int flags) {
  float* out = touchGainSamples(count, flags);
  if (fadeLength > 0) applyFadeOut(out, count, flags);
  // A held key is never measured (keyDown clears the flag).
  if (!keyDown_) watchRelease(out, count, flags);
  return out;
}

void ZarnVoice::watchRelease(const float* gainSamples, int count, int flags) {
  releasing = false;
  if ((flags & wave::cMuteCall) || !egMain.isReleasing()) return;
  float g = std::fabs(heldGain);
  if (!gainHeld) {
    g = 0.0f;
    for (int i = 0; i < count; ++i) g = std::max(g, std::fabs(gainSamples[i]));
  }
  releaseGain = g;
  // Measured from 20 dB above the floor on: the end comes no sooner.
  releasing = std::fabs(egMain.getLevel()) * g < cReleaseWatchLevel;
}

void ZarnVoice::measureRelease(float largest, int count) {
  if (!egMain.isReleasing()) return;
  // At full envelope level the block would peak at its largest sample
  // times the gain watchRelease took from the same block.
  releasePeak = std::max(releasePeak, largest * releaseGain);
  const int span = static_cast<int>(cReleaseMeasureMs * 0.001f * egMain.env->sampleRate);
  releaseMeasured = std::min(releaseMeasured + count, span);
  // The level last written is the lowest of the block: the release falls.
  const float level = std::fabs(egMain.getLevel());
  if (releaseMeasured >= span && level * std::max(releasePeak, releaseGain) < cReleaseFloor) egMain.endRelease();
}

void ZarnVoice::fadeOut(int samples) {
  fadeLength = std::max(1, samples);
  fadeDone = 0;
}

void ZarnVoice::applyFadeOut(float* out, int count, int flags) {
  const int done = fadeDone;
  fadeDone = std::min(fadeLength, fadeDone + count);
  if (flags & wave::cMuteCall) return;
  // The block no longer holds one value, nor the value it is known to hold.
  gainHeld = false;
  gainValue = -1.0f;
  const double w = std::numbers::pi / static_cast<double>(fadeLength);
  for (int i = 0; i < count; ++i) {
    const int k = done + i;
    const float f = k >= fadeLength ? 0.0f : static_cast<float>(0.5 + 0.5 * std::cos(w * k));
    out[i] *= f;
  }
}

float* ZarnVoice::touchGainSamples(int count, int flags) {
  wave::Producer* v = targetInputs[cTargetVolume];
  wave::Block* b = v ? v->pull(count, flags) : nullptr;
  float* out = gain.data;
  gainHeld = false;
  if (flags & wave::cMuteCall) {
    gainRampLeft = std::max(0, gainRampLeft - count);
    return out;
  }
  if (!b) {
    std::fill(out, out + count, 0.0f);
    gainValue = -1.0f;
    gainRampLeft = std::max(0, gainRampLeft - count);
    return out;
  }
  if (gainRampLeft > 0) {
    // Moving from one key's touch to the next.
    gainValue = -1.0f;
    const float step = (velocityGain - gainRampFrom) / static_cast<float>(gainRampLength);
    for (int i = 0; i < count; ++i) {
      const int left = std::max(0, gainRampLeft - i);
      const float vg = velocityGain - step * static_cast<float>(left);
      out[i] = (v->constantBlock ? b->data[0] : b->data[i]) * vg;
    }
    gainRampLeft = std::max(0, gainRampLeft - count);
    return out;
  }
  if (v->constantBlock) {
    const float g = b->data[0] * velocityGain;
    if (g != gainValue || gainFilled < count) {
      std::fill(out, out + count, g);
      gainValue = g;
      gainFilled = count;
    }
    gainHeld = true;
    heldGain = g;
    return out;
  }
  gainValue = -1.0f;
  const float vg = velocityGain;
  for (int i = 0; i < count; ++i) out[i] = b->data[i] * vg;
  return out;
}

void ZarnVoice::keyDown(float noteValue, int startNote, float keyVelocity) {
  const int n = static_cast<int>(noteValue) - 1;
  const bool wasDown = keyDown_;
  const float target = noteNumberToExpFreq(static_cast<float>(n));
  if (startNote >= 1)
    portamento.noteOn(target, noteNumberToExpFreq(static_cast<float>(startNote - 1)));
  else if (played)
    portamento.noteOn(target);
  else
    portamento.noteOn(target, target);

  const bool silent = isMute();
  fadeLength = 0;
  releasing = false;
  releasePeak = 0.0f;
  releaseMeasured = 0;
  note = n;
  keyDown_ = true;
  played = true;
  // Every key brings its own touch and key tracking, also one that takes
  // over a mono line; with legato portamento that and the pitch are all
  // that change.
  takeTouch(keyVelocity, n, silent);
  if (wasDown && settings->legato) return;
  // A voice that starts from silence lays its copies out afresh; with
  // phase sync every start does, from three quarters into the wave. A
  // sounding voice (a mono line, a key struck again under the pedal, a
  // stolen voice) fades into the synced phase instead of jumping there,
  // which would click.
  const bool sync1 = settings->phaseSync[0];
  const bool sync2 = settings->phaseSync[1];
  if (silent) {
    // Nothing of the last note may carry over into this one: the DC
    // blockers and the sync filters start as a new voice's do.
    dcLeft.resetState();
    dcRight.resetState();
    for (int k = 0; k < copyCount; ++k) {
      copies[k]->osc1.startFromSilence();
      copies[k]->osc2.startFromSilence();
    }
  }
  if (silent || sync1 || sync2) {
    const float base1 = sync1 ? 0.75f : startPhase(index, 0);
    const float base2 = sync2 ? 0.75f : startPhase(index, 1);
    auto start = [silent](Oscillator& osc, float fraction) {
      if (silent)
        osc.jumpToPhase(fraction);
      else
        osc.fadeToPhase(fraction);
    };
    for (int k = 0; k < copyCount; ++k) {
      const float offset = copyPhase(k, copyCount);
      if (silent || sync1) start(copies[k]->osc1, base1 + offset);
      if (silent || sync2) start(copies[k]->osc2, base2 + offset);
    }
  }
  eg1.start();
  eg2.start();
  egMain.start();
}

void ZarnVoice::takeTouch(float keyVelocity, int midiNote, bool silent) {
  velocity = std::clamp(keyVelocity, 0.0f, 1.0f);
  const float target = cOutputLevel * velocityToGain(velocity);
  // A sounding voice moves to the new touch over a few milliseconds, so a
  // mono line of uneven velocities does not click; a silent one jumps.
  const float ms = silent ? 0.0f : cTouchGlideMs;
  const int length = static_cast<int>(ms * 0.001f * velocitySource.env->sampleRate);
  if (length == 0) {
    gainRampLeft = 0;
  } else if (target != velocityGain) {
    gainRampFrom = currentVelocityGain();
    gainRampLength = length;
    gainRampLeft = length;
  }
  // A key that brings the touch already being moved to (two keys of a
  // chord arriving together on a mono line) leaves the move running: cut
  // short, the gain would jump.
  velocityGain = target;
  velocitySource.parameter.setInterpolated(velocity, ms);
  keyTrackSource.parameter.setInterpolated((static_cast<float>(midiNote) - 60.0f) / 60.0f, ms);
}

float ZarnVoice::currentVelocityGain() const {
  if (gainRampLeft <= 0) return velocityGain;
  const float done = 1.0f - static_cast<float>(gainRampLeft) / static_cast<float>(gainRampLength);
  return gainRampFrom + (velocityGain - gainRampFrom) * done;
}

void ZarnVoice::keyUp(float) {
  keyDown_ = false;
  eg1.finish();
  eg2.finish();
  egMain.finish();
}

void ZarnVoice::stop() {
  keyDown_ = false;
  fadeLength = 0;
  releasePeak = 0.0f;
  releaseMeasured = 0;
  eg1.resetState();
  eg2.resetState();
  egMain.resetState();
  portamento.resetState();
  dcLeft.resetState();
  dcRight.resetState();
}
