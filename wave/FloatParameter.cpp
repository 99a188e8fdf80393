#include "wave/FloatParameter.h"

#include "wave/Environment.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wave {

namespace {

constexpr float cEpsilon = 1.1920929e-7f;
// Longest glide in samples. Keeps position arithmetic far from overflow
// (about 1.5 hours at 96 kHz).
constexpr int32_t cMaxGlideLength = std::numeric_limits<int32_t>::max() / 4;

void fill(float* p, int from, int to, float v) {
  for (int i = from; i < to; ++i) p[i] = v;
}

} // namespace

FloatParameter::FloatParameter(Environment* env, float v)
    : Component(env), block(env), startValue(v), maxValue(std::max(v, 1.0f)), minValue(std::min(v, 0.0f)),
      range(maxValue - minValue), target(v) {}

FloatParameter::FloatParameter(const FloatParameter& other)
    : Component(other.env), shortTime(other.shortTime), longTime(other.longTime), block(other.env),
      startValue(other.target), maxValue(other.maxValue), minValue(other.minValue), range(other.range),
      target(other.target) {}

FloatParameter& FloatParameter::operator=(const FloatParameter& other) {
  setInterpolated(other.target, -1.0f);
  return *this;
}

float FloatParameter::operator=(float v) {
  setInterpolated(v, -1.0f);
  return v;
}

void FloatParameter::setLimits(float min, float max, float r) {
  ++env->parameterChanges;
  minValue = min;
  maxValue = max;
  range = r > 0.0f ? r : max - min;
  if (target < min)
    target = min;
  else if (target > max)
    target = max;
}

void FloatParameter::setGlideTimes(float shortMs, float longMs) {
  shortTime = shortMs;
  longTime = longMs;
}

void FloatParameter::catchUp() {
  // lastTime is the end of the last block read (or the moment of the last
  // change); a change made inside a block that has already been read lies
  // up to one block behind it. Differences are taken modulo 2^32 so that
  // the sample clock may wrap around.
  uint32_t maxBlock = static_cast<uint32_t>(std::max(env->maxBlockSize, 0));
  uint32_t sinceReset = env->sampleTime - env->resetTime;
  uint32_t lastSinceReset = lastTime - env->resetTime;
  if (lastSinceReset == 0 || lastSinceReset > sinceReset + maxBlock) {
    // Not touched since the last reset of the environment (or never): the
    // glide counts as finished.
    position = length;
    return;
  }
  uint32_t d = env->sampleTime - lastTime;
  int64_t delta = (0u - d) <= maxBlock ? -static_cast<int64_t>(0u - d) : static_cast<int64_t>(d);
  int64_t p = static_cast<int64_t>(position) + delta;
  // Long settled: any position past length + one block means the same, and
  // keeping it there leaves room for stepping back by one block.
  int64_t cap = static_cast<int64_t>(length) + maxBlock;
  if (p > cap) p = cap;
  if (p < 0) p = 0;
  position = static_cast<int32_t>(p);
}

void FloatParameter::setInterpolated(float value, float timeMs) {
  ++env->parameterChanges;
  if (std::isnan(value)) return;
  float v = value < minValue ? minValue : std::min(value, maxValue);
  if (std::fabs(v - target) <= cEpsilon) return;

  catchUp();
  lastTime = env->sampleTime;

  if (position >= length)
    startValue = target;
  else
    startValue = static_cast<float>(position) * step + startValue;
  position = 0;
  filled = 0;

  float t;
  if (timeMs >= 0.0f) {
    t = timeMs;
  } else {
    float r = range > 0.0f ? std::fabs(v - startValue) / range : 1.0f;
    if (r >= 0.3f || longTime == shortTime) {
      t = shortTime;
    } else {
      float a = (0.3f - r) * 3.3333333f;
      t = shortTime + a * a * (longTime - shortTime);
    }
  }

  double samples = static_cast<double>(t) * static_cast<double>(env->sampleRate) * 0.001;
  if (!(samples >= 1.0))
    length = 0; // also a NaN time or rate
  else if (samples >= static_cast<double>(cMaxGlideLength))
    length = cMaxGlideLength;
  else
    length = static_cast<int32_t>(samples);

  step = length < 1 ? 0.0f : (v - startValue) / static_cast<float>(length);
  target = v;
}

void FloatParameter::initialize() {
  position = 0;
  length = 0;
  startValue = target;
  step = 0.0f;
  filled = 0;
}

Block* FloatParameter::getInterpolatedBlock(int n, int flags, bool& constant) {
  // Settled, read block after block, and the block written: what catchUp
  // and the settled path below would do comes down to moving the clock
  // and the position on (capped as catchUp caps it).
  if (position >= length && lastTime == env->sampleTime && n >= 0 && (n <= filled || (flags & cMuteCall))) {
    const int32_t cap = length + std::max(env->maxBlockSize, 0);
    position = std::min(position, cap) + n;
    lastTime += static_cast<uint32_t>(n);
    constant = true;
    return &block;
  }
  return renderBlock(n, flags, constant);
}

__attribute__((noinline)) Block* FloatParameter::renderBlock(int n, int flags, bool& constant) {
  catchUp();
  lastTime = env->sampleTime + static_cast<uint32_t>(n);
  int w = std::clamp(n, 0, static_cast<int>(block.size)); // samples to write
  float* out = block.data;

  if (flags & cMuteCall) {
    constant = true;
  } else if (position >= length) {
    constant = true;
    if (w > filled) {
      fill(out, filled, w, target);
      filled = w;
    }
  } else {
    constant = false;
    int m = std::min(w, length - position);
    float x = static_cast<float>(position) * step + startValue;
    for (int i = 0; i < m; ++i) {
      out[i] = x;
      x += step;
    }
    fill(out, m, w, target);
  }
  // Advanced by the whole block in every case, so that a change later in
  // this block can step back exactly to the block's start.
  position += std::max(n, 0);
  return &block;
}

void FloatParameterSource::produce(Block*, int n, int flags) {
  bool constant;
  current = parameter.getInterpolatedBlock(n, flags, constant);
  stamp = env->stamp;
  constantBlock = constant;
}

void FloatParameterForwarder::produce(Block*, int n, int flags) {
  if (!parameter) {
    current = env->silentBlock;
    constantBlock = true;
  } else {
    bool constant;
    current = parameter->getInterpolatedBlock(n, flags, constant);
    constantBlock = constant;
  }
  stamp = env->stamp;
}

FloatParameterBus::FloatParameterBus(const FloatParameterBus& other)
    : output(other.output == &other.source ? &source : other.output), source(other.source) {}

FloatParameterBus& FloatParameterBus::operator=(const FloatParameterBus& other) {
  source = other.source;
  output = other.output == &other.source ? &source : other.output;
  ++source.env->busChanges;
  return *this;
}

} // namespace wave
