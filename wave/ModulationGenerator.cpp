#include "wave/ModulationGenerator.h"

#include "base/TextUtils.h"
#include "wave/Environment.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <type_traits>

namespace {

constexpr double cEpsilon = 1.1920929e-7;
constexpr double cTwoPi = 6.283185307179586;
// A half shorter than this (in seconds) does not light the indicator.
constexpr double cIndicatorMinTime = 0.0625;
// lastHalfChange stops here instead of wrapping when halves never change.
constexpr int32_t cLongAgo = -(1 << 30);

// The generator's own random sequence needs a seed in [1, 2^24 - 1]: 0
// would stay 0, and 2^24 would leave the 24-bit range for good.
int32_t newSeed() { return (std::rand() & 0xFFFFFF) % 0xFFFFFF + 1; }

// Takes at once as many steps p += d as give exactly what stepping one by
// one would, stopping short of end, and returns how many (at most
// steps - 1; -1 when no step can ever be taken at once in this pass).
// Within one binade [lo, 2 lo) every double lies on one grid, so each sum
// rounds to p plus d rounded to that grid, the same amount every step,
// unless d falls exactly halfway between two grid points; m steps then add
// m times that amount, and the result lies on the grid again.
int leap(double& p, int steps, double d, double end) {
  if (steps < 2 || !(p < end)) return -1;
  if (!(p >= 0x1p-900)) return 0;
  // p is positive: its biased exponent gives the binade, its grid and the
  // grid's inverse as exact powers of two.
  const uint64_t exponent = std::bit_cast<uint64_t>(p) >> 52;
  const double grid = std::bit_cast<double>((exponent - 52) << 52);
  const double t = d * std::bit_cast<double>((2046 - (exponent - 52)) << 52);
  if (!(t >= 0.0 && t < 0x1p51)) return -1;
  const int64_t whole = static_cast<int64_t>(t);
  const double fraction = t - static_cast<double>(whole);
  if (fraction == 0.5) return -1;
  const double r = static_cast<double>(fraction > 0.5 ? whole + 1 : whole) * grid;
  const double limit = std::min(end, std::bit_cast<double>((exponent + 1) << 52));
  int m = steps - 1;
  if (r > 0.0) {
    const double fit = (limit - p) / r;
    if (fit < m) m = static_cast<int>(fit);
  }
  while (m > 0 && p + m * r >= limit) --m;
  if (m <= 0) return 0;
  p += m * r;
  return m;
}

} // namespace

// Values per sample from phase p, level l and range r of the current half.
struct ModulationGenerator::TriangleWave {
  static float first(float l, float r, double p) { return static_cast<float>(l + 2.0 * p * r); }
  static float second(float l, float r, double p) { return static_cast<float>(l - 2.0 * (p - 0.5) * r); }
};

struct ModulationGenerator::SquareWave {
  static float first(float l, float, double) { return l; }
  static float second(float l, float, double) { return l; }
};

struct ModulationGenerator::SineWave {
  static float first(float l, float r, double p) { return static_cast<float>(l - r * std::cos(cTwoPi * p)); }
  static float second(float l, float r, double p) { return first(l, r, p); }
};

ModulationGenerator::ModulationGenerator(wave::Environment* env)
    : wave::Source(env), balance(this, 0.0f, 1.0f, 0.5f), polarity(this, cBiPolar), waveForm(this, cTriangle),
      seed(newSeed()), frequency(env, 0.1f) {
  frequency.getParameter().setLimits(0.001f, 1000.0f);
  enableAutomaticMuteCalls(wave::cMuteCallsFirst);
}

void ModulationGenerator::produce(wave::Block* block, int count, int flags) {
  wave::Producer* f = frequency.output;
  const float* frequencies = &heldFrequency;
  int stride = 0;
  if (!heldInput.holds(f, env)) {
    // Pulled afresh only while the input may move: a settled input would
    // give the same value, and an idle instance's three generators would
    // visit it and its parameter in every block.
    heldInput.forget();
    const wave::Block* fb = f->pull(count, 0);
    if (fb) {
      frequencies = fb->data;
      stride = f->constantBlock ? 0 : 1;
      heldFrequency = fb->data[0];
      heldInput.keepIfHeld(f, env);
    } else {
      fallbackFrequency = frequency.getParameter().getTarget();
      frequencies = &fallbackFrequency;
    }
  }
  float* out = block ? block->data : nullptr;
  if (out && (flags & wave::cMuteCall) && !writeOnMuteCalls) {
    produceForm<false>(out, count, frequencies, stride);
    // Nobody listens: there is no step to hide.
    rampLeft = 0;
  } else if (out) {
    produceForm<true>(out, count, frequencies, stride);
    if (rampLeft > 0 && count > 0) applyRamp(out, count);
  }
  if (out && count > 0) producedAny = true;
  lastHalfChange = std::max(lastHalfChange - count, cLongAgo);
}

bool ModulationGenerator::carryOver(double& p, bool half) const {
  const double b = balance.get();
  const bool noFirstHalf = b <= cEpsilon;
  const bool noSecondHalf = b >= 1.0 - cEpsilon;
  for (;;) {
    if (!half) {
      if (p < 0.5 - cEpsilon) return false;
      // A half that takes no time has no speed: the overshoot goes on as it
      // is, and the empty half is skipped when it comes to render.
      p = noSecondHalf ? p : (p - 0.5) * b / (1.0 - b) + 0.5;
      if (p < 0.5) p = 0.5;
      half = true;
    } else {
      if (p < 1.0 - cEpsilon) return true;
      p = noFirstHalf ? p - 1.0 : (p - 1.0) * (1.0 - b) / b;
      if (p < 0.0) p = 0.0;
      half = false;
    }
  }
}

template <bool kWrite>
void ModulationGenerator::produceForm(float* out, int count, const float* frequencies, int stride) {
  switch (waveForm.get()) {
  case cSquare:
  case cSampleHold:
    produceWave<SquareWave, kWrite>(out, count, frequencies, stride);
    break;
  case cSine:
    produceWave<SineWave, kWrite>(out, count, frequencies, stride);
    break;
  default:
    produceWave<TriangleWave, kWrite>(out, count, frequencies, stride);
    break;
  }
}

template <class Wave, bool kWrite>
void ModulationGenerator::produceWave(float* out, int count, const float* frequencies, int stride) {
  const double rate = env->sampleRate;
  const double b = balance.get();
  const bool noFirstHalf = b <= cEpsilon;
  const bool noSecondHalf = b >= 1.0 - cEpsilon;
  const double firstSpeed = noFirstHalf ? 0.0 : 0.5 / (b * rate);
  const double secondSpeed = noSecondHalf ? 0.0 : 0.5 / ((1.0 - b) * rate);
  // A modulation signal may deliver any frequency. Up to half the sample
  // rate the phase moves less than a cycle per sample, so the overshoot is
  // carried over in a step or two; beyond that (or for an infinite value)
  // the carrying would take ever longer.
  const float maxFrequency = 0.5f * static_cast<float>(rate);
  auto frequencyAt = [&](int i) {
    const float f = frequencies[i * stride];
    return f > 0.0f ? (f < maxFrequency ? f : maxFrequency) : 0.0f;
  };

  double p = phase;
  int i = 0;
  while (i < count) {
    const int begin = i;
    bool half = secondHalf;
    // The phase of the last sample of the pass.
    double last = p;
    if (!half && noFirstHalf) {
      p += 0.5;
      half = true;
    } else if (half && noSecondHalf) {
      p -= 0.5;
      half = false;
    } else if (!half) {
      // At least one sample per pass, so the loop always moves on.
      bool leaping = !kWrite && stride == 0;
      do {
        if constexpr (!kWrite) {
          if (leaping) {
            const int m = leap(p, count - i, frequencyAt(i) * firstSpeed, 0.5 - cEpsilon);
            leaping = m >= 0;
            if (m > 0) i += m;
          }
        }
        if constexpr (kWrite) out[i] = Wave::first(level, range, p);
        last = p;
        p += frequencyAt(i) * firstSpeed;
        ++i;
      } while (i < count && p < 0.5 - cEpsilon);
      if constexpr (!kWrite) deferPrevious<Wave>(last, false);
    } else {
      bool leaping = !kWrite && stride == 0;
      do {
        if constexpr (!kWrite) {
          if (leaping) {
            const int m = leap(p, count - i, frequencyAt(i) * secondSpeed, 1.0 - cEpsilon);
            leaping = m >= 0;
            if (m > 0) i += m;
          }
        }
        if constexpr (kWrite) out[i] = Wave::second(level, range, p);
        last = p;
        p += frequencyAt(i) * secondSpeed;
        ++i;
      } while (i < count && p < 1.0 - cEpsilon);
      if constexpr (!kWrite) deferPrevious<Wave>(last, true);
    }
    carryOver(p, half);
    if (kWrite && i > begin) setPrevious(out[i - 1]);
    setPhase(p, i);
    p = phase;
  }
}

template <class Wave>
void ModulationGenerator::deferPrevious(double lastPhase, bool half) {
  if constexpr (std::is_same_v<Wave, SineWave>) {
    previousPending = true;
    previousPhase = lastPhase;
    previousLevel = level;
    previousRange = range;
  } else {
    setPrevious(half ? Wave::second(level, range, lastPhase) : Wave::first(level, range, lastPhase));
  }
}

float ModulationGenerator::previousValue() const {
  return previousPending ? SineWave::first(previousLevel, previousRange, previousPhase) : previous;
}

void ModulationGenerator::setPhase(double p, int sampleIndex) {
  phase = std::max(p, 0.0);
  const bool half = phase >= 0.5;
  if (half == secondHalf) return;
  secondHalf = half;
  updateWaveLevelAndRange();
  const double sinceLastChange = static_cast<double>(sampleIndex) - lastHalfChange;
  const int32_t shown = sinceLastChange > cIndicatorMinTime * env->sampleRate && half ? 1 : 0;
  if (indicator.exchange(shown, std::memory_order_relaxed) != shown) indicatorChanged(this);
  lastHalfChange = sampleIndex;
}

void ModulationGenerator::updateWaveLevelAndRange() {
  const bool mono = polarity.get() == cMonoPolar;
  switch (waveForm.get()) {
  case cTriangle:
    level = secondHalf ? 1.0f : (mono ? 0.0f : -1.0f);
    range = mono ? 1.0f : 2.0f;
    break;
  case cSquare:
    level = secondHalf ? 1.0f : 0.0f;
    break;
  case cSine:
    level = mono ? 0.5f : 0.0f;
    range = mono ? 0.5f : 1.0f;
    break;
  case cTriangleRandom: {
    const float r = randomFloat(seed);
    const float last = previousValue();
    if (mono) {
      if (secondHalf) {
        level = range = last;
      } else {
        level = 0.0f;
        range = r * 0.9f + 0.1f;
      }
    } else {
      // The first half ramps from where the wave stands to a value in
      // [-0.8, 1.0], the second to one in [-1.0, 0.8].
      level = last;
      range = secondHalf ? (r - 0.5f) * 1.8f + last + 0.1f : (r - 0.5f) * 1.8f + 0.1f - last;
    }
    break;
  }
  case cSampleHold: {
    const float r = randomFloat(seed);
    level = mono ? r : (r - 0.5f) * 2.0f;
    const float last = previousValue();
    // Keep successive steps audible.
    if (std::fabs(last - level) < 0.2f) level = last >= 0.5f ? last - 0.2f : last + 0.2f;
    break;
  }
  }
}

void ModulationGenerator::propertyChange(const AbstractProperty* p) {
  if (p != &waveForm && p != &polarity) return;
  if (waveForm.get() == cTriangleRandom) setPrevious(level);
  if (polarity.get() == cMonoPolar) {
    setPrevious(std::fabs(previousValue()));
    level = std::fabs(level);
  }
  updateWaveLevelAndRange();
}

float ModulationGenerator::rampOffset(int k) const {
  const double x = static_cast<double>(k + 1) / rampLength;
  return static_cast<float>(rampStep * (0.5 + 0.5 * std::cos(std::numbers::pi * x)));
}

float ModulationGenerator::lastOutput() const {
  if (rampLeft <= 0) return previousValue();
  if (!rampStarted) return rampFrom;
  return previousValue() + rampOffset(rampLength - rampLeft - 1);
}

void ModulationGenerator::applyRamp(float* out, int count) {
  if (!rampStarted) {
    rampStep = rampFrom - out[0];
    rampStarted = true;
  }
  const int done = rampLength - rampLeft;
  const int n = std::min(count, rampLeft);
  for (int i = 0; i < n; ++i) out[i] += rampOffset(done + i);
  rampLeft -= n;
}

void ModulationGenerator::retrigger() {
  if (!producedAny) {
    reset();
    return;
  }
  const float from = lastOutput();
  reset();
  rampFrom = from;
  rampStarted = false;
  rampLength = std::max(1, static_cast<int32_t>(cRetriggerSeconds * env->sampleRate));
  rampLeft = rampLength;
}

void ModulationGenerator::reset() {
  rampLeft = 0;
  phase = 0.0;
  syncPositionOffset = lastSyncPosition;
  if (secondHalf) {
    secondHalf = false;
    updateWaveLevelAndRange();
  }
}

void ModulationGenerator::sync(float tempo, float position, float lengthInBars) {
  frequency.getParameter() = tempo / (240.0f * lengthInBars);
  if (std::fabs(position - lastSyncPosition) > cEpsilon) {
    const double cycles = (static_cast<double>(position) - syncPositionOffset) * 0.25 / lengthInBars;
    double x = cycles - std::floor(cycles);
    if (!(x >= 0.0 && x < 1.0)) x = 0.0; // an undefined position or length
    const double b = balance.get();
    double p;
    if (x <= b && b > cEpsilon)
      p = x / b * 0.5;
    else if (x > b && b < 1.0 - cEpsilon)
      p = (x - b) / (1.0 - b) * 0.5 + 0.5;
    else
      p = x;
    phase = p;
    const bool half = p >= 0.5;
    if (half != secondHalf) {
      secondHalf = half;
      updateWaveLevelAndRange();
    }
  }
  lastSyncPosition = position;
}
