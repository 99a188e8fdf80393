#include "wave/EnvelopeGenerator.h"

#include "base/TextUtils.h"
#include "wave/Environment.h"
#include "wave/TableKernels.h"
#include "wave/Trigger.h"

#include <algorithm>
#include <xmmintrin.h>
#include <cmath>
#include <limits>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;
// Counters that grow while nothing happens stop here instead of wrapping.
constexpr int32_t cCounterLimit = std::numeric_limits<int32_t>::max() / 2;

bool changed(float a, float b) { return std::fabs(a - b) > cEpsilon; }


// Holds a time that a controller delivers inside [lo, cMaxTime]. A stage
// time of 0 would divide by zero when the curve step is computed, so the
// stage times stop at the shortest time there is; a value that is not a
// number counts as the shortest.
float limitTime(float t, float lo) {
  if (!(t > lo)) return lo;
  return t < EnvelopeGenerator::cMaxTime ? t : EnvelopeGenerator::cMaxTime;
}

void fill(float* out, int n, float v) {
  for (int i = 0; i < n; ++i) out[i] = v;
}

// Walks a curve table from position by step per sample, writing
// offset + gain x curve. Returns whether the walk reached the curve's end.
bool walk(const FunctionTable<float>& curve, float& position, float step, float* out, int n, float offset,
          float gain) {
  return vectorConvertRangeCpp(curve.getValues(), curve.getMinArgument(), curve.getScale(), curve.getPoints() - 1,
                               position, step, out, n, offset, gain);
}

} // namespace

// --- Style ------------------------------------------------------------------

EnvelopeGenerator::Style::Style() {
  const DefaultUpCurve up;
  const DefaultDownCurve down;
  tabulate(attackCurve, up);
  tabulate(decayDownCurve, down);
  tabulate(decayUpCurve, up);
  tabulate(releaseCurve, down);
}

EnvelopeGenerator::Style::Style(const FunctionTableFunction& attack, const FunctionTableFunction& decayDown,
                                const FunctionTableFunction& decayUp, const FunctionTableFunction& release) {
  tabulate(attackCurve, attack);
  tabulate(decayDownCurve, decayDown);
  tabulate(decayUpCurve, decayUp);
  tabulate(releaseCurve, release);
}

void EnvelopeGenerator::Style::tabulate(FunctionTable<float>& table, const FunctionTableFunction& f) {
  table.initialize(cCurvePoints, f, 0.0f, 1.0f);
}

// --- EnvelopeGenerator ------------------------------------------------------

EnvelopeGenerator::EnvelopeGenerator(wave::Environment* env, Style* s, ParameterHandling handling)
    : wave::Source(env), delayTime(env, 0.0f), attackTime(env, 0.0f), decayTime(env, 0.0f),
      releaseTime(env, 0.0f), holdTime(env, 0.0f), range(this, cRangeNormal), sustainLevel(env, 1.0f),
      ownsStyle(s == nullptr), parameterHandling(handling), style(s ? s : new Style()) {
  delayTime.getParameter().setLimits(0.0f, cMaxTime);
  attackTime.getParameter().setLimits(cMinTime, cMaxTime);
  decayTime.getParameter().setLimits(cMinTime, cMaxTime);
  releaseTime.getParameter().setLimits(cMinTime, cMaxTime);
  holdTime.getParameter().setLimits(0.0f, cMaxTime);
  sustainLevel.getParameter().setLimits(0.0f, 1.0f);

  delay = delayTime.getParameter().getTarget();
  attack = attackTime.getParameter().getTarget();
  decay = decayTime.getParameter().getTarget();
  release = releaseTime.getParameter().getTarget();
  hold = holdTime.getParameter().getTarget();
  sustain = sustainLevel.getParameter().getTarget();
  holdSamples = secondsToSamples(hold);
  updateSustainLevel();

  enableResetNotifications();
  enableAutomaticMuteCalls(handling == cSkipParametersWhenMute ? wave::cMuteCallsLast : wave::cMuteCallsFirst);
}

EnvelopeGenerator::~EnvelopeGenerator() {
  if (ownsStyle) delete style;
}

int32_t EnvelopeGenerator::secondsToSamples(float seconds) const {
  // In single precision, as every time of the envelope: 0.01 s gives 441
  // samples at 44.1 kHz, not 440.
  const float samples = seconds * env->sampleRate;
  if (!(samples > 0.0f)) return 0;
  return static_cast<int32_t>(std::min(samples, 1.0e9f));
}

void EnvelopeGenerator::start() {
  startPending = true;
  dormant = false;
}

void EnvelopeGenerator::finish() { stopEnvelope(); }

void EnvelopeGenerator::endRelease() {
  if (!isReleasing()) return;
  dormant = false;
  state = cIdle;
  releasePosition = 1.0f;
  level = sustainTarget - sustain;
}

void EnvelopeGenerator::stopEnvelope() {
  dormant = false;
  startPending = false;
  gate = false;
  samplesUntilRead = 0;
}

void EnvelopeGenerator::resetState() {
  dormant = false;
  state = cIdle;
  level = 0.0f;
  samplesSinceRelease = 0;
  gate = false;
  startPending = false;
  releasePosition = 1.0f;
}

void EnvelopeGenerator::propertyChange(const AbstractProperty* p) {
  if (p == &range) updateSustainLevel();
}

void EnvelopeGenerator::updateSustainLevel() {
  dormant = false;
  sustainTarget = range.get() == cRangeNeutralSustain ? 0.0f : sustain;
  if (isMute()) level = sustainTarget - sustain;
}

bool EnvelopeGenerator::pullParameters(int count, ParameterBuffers& b, bool reading) {
  b.unchanged = false;
  // A new controller anywhere: what the last read found may come from
  // another input.
  if (seenBusChanges != env->busChanges) settledAtRead = false;
  const bool sameInputs = allClockInputs && seenBusChanges == env->busChanges;
  // Settled parameters hold their values until one of them is changed (a
  // held note's envelopes read the same times block after block).
  const bool unchanged = sameInputs && settledAtRead && seenParameterChanges == env->parameterChanges;
  if ((!reading && sameInputs) || (reading && unchanged)) {
    b.delay = b.attack = b.decay = b.sustain = b.release = b.hold = nullptr;
    b.unchanged = reading;
    return true;
  }
  return pullInputs(count, b, reading);
}

__attribute__((noinline)) bool EnvelopeGenerator::pullInputs(int count, ParameterBuffers& b, bool reading) {
  wave::FloatParameterBus* const buses[cInputCount] = {&delayTime, &attackTime, &decayTime,
                                                       &sustainLevel, &releaseTime, &holdTime};
  const float** const data[cInputCount] = {&b.delay, &b.attack, &b.decay, &b.sustain, &b.release, &b.hold};
  bool complete = true;
  bool allClock = true;
  bool settled = true;
  for (int k = 0; k < cInputCount; ++k) {
    wave::Producer* p = buses[k]->output;
    *data[k] = nullptr;
    if (p != seenInputs[k]) {
      seenInputs[k] = p;
      clockInputs[k] = dynamic_cast<wave::FloatParameterSource*>(p) != nullptr;
    }
    allClock = allClock && clockInputs[k];
    // A parameter's value follows the clock alone: in a block where the
    // envelope reads none of its inputs, it need not render.
    if (!reading && clockInputs[k]) continue;
    wave::Block* block = p->pull(count, 0);
    if (block) {
      *data[k] = block->data;
      settled = settled && p->constantBlock;
    } else {
      complete = false;
    }
  }
  allClockInputs = allClock;
  seenBusChanges = env->busChanges;
  if (reading) {
    settledAtRead = allClock && complete && settled;
    seenParameterChanges = env->parameterChanges;
  }
  return complete;
}

// Inlined into produce: a held note pays for no call.
__attribute__((always_inline)) inline bool EnvelopeGenerator::holdsSustainQuickly(const wave::Block* block, int count,
                                                                              int flags) {
  // What the full path finds for a held note in its sustain whose inputs
  // are settled parameters nobody has touched: pullParameters pulls
  // nothing, a due read (updateParameters) only restarts the interval,
  // and holdsSustain agrees. Anything else takes the full path.
  // What most often tells another stage first: a muted, idle or
  // released envelope, an attack, a decay on its way.
  if ((flags & wave::cMuteCall) || state != cRunning || !gate || attackSamplesLeft > 0 || delaySamplesLeft > 0)
    return false;
  const float distance = level - sustainTarget;
  if (!(distance <= cEpsilon && distance >= -cEpsilon)) return false;
  if (!block || startPending || trigger || count < 1 || !allClockInputs || seenBusChanges != env->busChanges)
    return false;
  int32_t left = samplesUntilRead;
  if (left < count) {
    // A read is due: it finds what the last one found only if that was
    // settled and no parameter has changed since; one due partway through
    // the block goes the full way.
    if (left > 0 || !settledAtRead || seenParameterChanges != env->parameterChanges) return false;
    left = cParameterReadInterval;
  }
  if (left < count) return false;
  samplesUntilRead = left;
  return true;
}

void EnvelopeGenerator::produce(wave::Block* block, int count, int flags) {
  if (holdsSustainQuickly(block, count, flags)) {
    produceSustain(block->data, count);
    return;
  }
  const bool mute = (flags & wave::cMuteCall) != 0;
  ParameterBuffers buffers;
  const ParameterBuffers* b = nullptr;
  // The inputs are read at the start, and every cParameterReadInterval
  // samples; a trigger may stop the envelope inside the block, which reads
  // them at once.
  const bool reading = startPending || samplesUntilRead < count || (trigger && trigger->enabled.get() != 0);
  if (!(mute && parameterHandling == cSkipParametersWhenMute) && pullParameters(count, buffers, reading))
    b = &buffers;

  if (startPending) {
    if (b) updateParameters(*b, 0);
    startEnvelope();
    startPending = false;
  } else if (state == cReleaseEnded) {
    state = cIdle;
  }

  float* out = mute || !block ? nullptr : block->data;
  if (!out) flags |= wave::cMuteCall;

  if (!trigger || trigger->enabled.get() == 0) {
    if (out && b && holdsSustain(*b, count)) {
      produceSustain(out, count);
      return;
    }
    produceBlock(out, b, 0, count, flags);
    sustainFill.forget();
    markConstant(out, count);
    // At rest after a mute call, the next mute calls would only repeat it
    // (the level stays at its resting value, nothing counts on). A gate
    // may start the envelope by itself, and inputs read on mute calls
    // advance, so neither rests.
    dormant = mute && state == cIdle && !startPending && !trigger && parameterHandling == cSkipParametersWhenMute;
    return;
  }

  const bool gateBefore = gate;
  trigger->evaluate(count, 0);
  int done = 0;
  for (const Trigger::TriggerEvent& e : trigger->getEvents()) {
    const int at = std::clamp(roundDownToMultipleOfFour(e.offset), done, count);
    if (at > done) {
      produceBlock(out, b, done, at - done, flags);
      done = at;
    }
    if (e.state == Trigger::cOn)
      startEnvelope();
    else
      stopEnvelope();
  }
  if (done < count) produceBlock(out, b, done, count - done, flags);
  sustainFill.forget();
  markConstant(out, count);
  handleTriggerCalls(count, gate != gateBefore);
}

bool EnvelopeGenerator::holdsSustain(const ParameterBuffers& b, int count) {
  // The sustain stage from the block's start to its end: no delay or attack
  // left, the key held, the level at the sustain level (as produceSlice
  // tells a level there from a decay still on its way).
  if (state != cRunning || !gate || delaySamplesLeft > 0 || attackSamplesLeft > 0 || count < 1) return false;
  // The inputs are read at the block's first sample, as produceBlock would.
  if (samplesUntilRead <= 0) updateParameters(b, 0);
  if (samplesUntilRead < count) return false;
  const float distance = level - sustainTarget;
  return distance <= cEpsilon && distance >= -cEpsilon;
}

void EnvelopeGenerator::produceSustain(float* out, int count) {
  samplesUntilRead -= count;
  level = releaseStartLevel = sustainTarget;
  // The block keeps its samples between blocks: a held note writes them
  // once, and again only for a new level or a longer block.
  sustainFill.fill(out, count, sustainTarget);
  // As markConstant judges it: a level that is not a number is not one
  // value.
  constantBlock = sustainTarget == sustainTarget;
}

void EnvelopeGenerator::markConstant(const float* out, int count) {
  // A held note at its sustain level (or a silent voice) gives one value
  // throughout: saying so lets the sums and gains that read the envelope
  // work on one value, and the filters it drives compute their
  // coefficients once for the block.
  if (!out || count < 1) {
    constantBlock = false;
    return;
  }
  // The block is 16-byte aligned: whole groups of four, then the rest.
  const __m128 first = _mm_set1_ps(out[0]);
  __m128 same = _mm_cmpeq_ps(first, first);
  const int groups = count & ~3;
  for (int i = 0; i < groups; i += 4) same = _mm_and_ps(same, _mm_cmpeq_ps(_mm_load_ps(out + i), first));
  bool constant = _mm_movemask_ps(same) == 0xf;
  for (int i = groups; i < count; ++i) constant = constant && out[i] == out[0];
  constantBlock = constant;
}

void EnvelopeGenerator::handleTriggerCalls(int count, bool gateChange) {
  notificationCounter = static_cast<int32_t>(std::min<int64_t>(int64_t{notificationCounter} + count, cCounterLimit));
  if (!gateChange && !notificationPending) return;
  if (notificationCounter >= 0.1f * env->sampleRate) {
    notificationCounter = 0;
    notificationPending = false;
    gateChanged(this);
  } else {
    notificationPending = true;
  }
}

void EnvelopeGenerator::startEnvelope() {
  samplesSinceRelease = 0;
  attackStartLevel = level;
  decaySpan = std::max(0.0f, 1.0f - sustain - cEpsilon);
  delaySamplesLeft = roundUpToMultipleOfFour(secondsToSamples(delay));
  delaySamplesTotal = delaySamplesLeft;
  attackSamplesLeft = roundUpToMultipleOfFour(secondsToSamples(attack));
  attackPosition = 0.0f;
  decayPosition = 0.0f;
  releasePosition = 0.0f;
  state = cRunning;
  gate = true;
}

void EnvelopeGenerator::produceBlock(float* out, const ParameterBuffers* buffers, int from, int count, int flags) {
  if (!buffers) {
    produceSlice(out ? out + from : nullptr, count, flags);
    return;
  }
  const int end = from + count;
  int i = from;
  while (i < end) {
    if (samplesUntilRead <= 0) updateParameters(*buffers, i);
    const int n = std::min(end - i, samplesUntilRead);
    produceSlice(out ? out + i : nullptr, n, flags);
    samplesUntilRead -= n;
    i += n;
  }
}

void EnvelopeGenerator::updateParameters(const ParameterBuffers& b, int i) {
  if (b.unchanged) {
    // The same values as at the last read: nothing would change.
    samplesUntilRead = cParameterReadInterval;
    return;
  }
  const float newDelay = limitTime(b.delay[i], 0.0f);
  const float newAttack = limitTime(b.attack[i], cMinTime);
  const float newDecay = limitTime(b.decay[i], cMinTime);
  const float newSustain = b.sustain[i];
  const float newRelease = limitTime(b.release[i], cMinTime);
  const float newHold = limitTime(b.hold[i], 0.0f);

  if (changed(newDelay, delay)) {
    delay = newDelay;
    // A running delay keeps what has passed of it and ends where the new
    // delay time ends; a delay that has passed already stays over.
    const int32_t total = roundUpToMultipleOfFour(secondsToSamples(delay));
    if (delaySamplesLeft > 0) {
      const int32_t passed = std::max(delaySamplesTotal - delaySamplesLeft, 0);
      delaySamplesLeft = std::max(total - passed, 0);
    }
    delaySamplesTotal = total;
  }
  if (changed(newAttack, attack)) {
    attack = newAttack;
    if (attackSamplesLeft > 0) {
      // Mute calls may have carried the position a little past the end.
      const float rest = std::max(1.0f - attackPosition, 0.0f);
      attackSamplesLeft = roundDownToMultipleOfFour(secondsToSamples(attack * rest));
    }
  }
  // A new decay or release time changes only the speed: the stage goes on
  // from where it stands. Were it restarted from the current level, a time
  // that modulation moves at every read would never let the stage end; the
  // envelope would creep towards its goal forever and a released voice would
  // never fall silent. A new sustain level moves the decay's goal, so the
  // decay starts over from the current level towards it.
  if (changed(newDecay, decay)) decay = newDecay;
  if (changed(newSustain, sustain)) {
    sustain = newSustain;
    updateSustainLevel();
    if (attackSamplesLeft == 0)
      decaySpan = std::max(0.0f, std::fabs(level - sustainTarget) - cEpsilon);
    else
      decaySpan = std::max(0.0f, 1.0f - sustain - cEpsilon);
    decayPosition = 0.0f;
  }
  if (changed(newRelease, release)) release = newRelease;
  if (changed(newHold, hold)) {
    hold = newHold;
    holdSamples = secondsToSamples(hold);
  }
  samplesUntilRead = cParameterReadInterval;
}

void EnvelopeGenerator::produceSlice(float* out, int count, int flags) {
  int d = std::min(delaySamplesLeft, count);
  int a = std::min(attackSamplesLeft, count - d);
  int s = count - d - a;
  int r = 0;
  if (!gate) {
    if (releasePosition <= 0.0f) {
      // Released but the release has not begun: the stages go on for the
      // hold time, then the release takes over.
      const int holdLeft = std::max(roundDownToMultipleOfFour(holdSamples) - samplesSinceRelease, 0);
      d = std::min(holdLeft, d);
      a = std::min(std::max(holdLeft - d, 0), a);
      s = std::min(std::max(holdLeft - d - a, 0), s);
      r = count - d - a - s;
      samplesSinceRelease = std::min(samplesSinceRelease + count, cCounterLimit);
    } else {
      d = a = s = 0;
      r = count;
    }
  }

  if (flags & wave::cMuteCall) {
    processMute(d, a, s, r);
    return;
  }

  const float rate = env->sampleRate;
  float* p = out;
  if (d > 0) {
    fill(p, d, level);
    releaseStartLevel = level;
    delaySamplesLeft -= d;
    p += d;
  }
  if (a > 0) {
    const float gain = sustainTarget - sustain + 1.0f - attackStartLevel - cEpsilon;
    walk(style->getAttackCurve(), attackPosition, 1.0f / (rate * attack), p, a, attackStartLevel, gain);
    level = releaseStartLevel = p[a - 1];
    attackSamplesLeft -= a;
    p += a;
  }
  if (s > 0) {
    const float step = 1.0f / (rate * decay);
    const float distance = level - sustainTarget;
    if (distance > cEpsilon)
      walk(style->getDecayDownCurve(), decayPosition, step, p, s, sustainTarget, decaySpan);
    else if (distance >= -cEpsilon)
      fill(p, s, sustainTarget);
    else
      walk(style->getDecayUpCurve(), decayPosition, step, p, s, sustainTarget - decaySpan, decaySpan);
    level = releaseStartLevel = p[s - 1];
    p += s;
  }
  if (r > 0) {
    const float end = sustainTarget - sustain;
    const bool ended = walk(style->getReleaseCurve(), releasePosition, 1.0f / (rate * release), p, r, end,
                            releaseStartLevel - end);
    if (ended && state == cRunning) state = cReleaseEnded;
    level = p[r - 1];
  }
}

void EnvelopeGenerator::processMute(int d, int a, int s, int r) {
  if (state != cRunning) {
    level = sustainTarget - sustain;
    return;
  }
  const float rate = env->sampleRate;
  delaySamplesLeft -= d;
  if (a > 0) {
    attackPosition += static_cast<float>(a) / (rate * attack);
    attackSamplesLeft -= a;
  }
  if (s > 0) level = sustainTarget;
  if (r > 0) {
    if (releasePosition >= 1.0f) {
      level = sustainTarget - sustain;
      state = cIdle;
      return;
    }
    releaseStartLevel = sustainTarget;
    releasePosition += static_cast<float>(r) / (rate * release);
  }
}
