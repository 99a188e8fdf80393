#pragma once

// Smoothed control values. Every change of a FloatParameter becomes a linear
// glide over a short time, so that control changes do not click; units read
// the value as a block of per-sample values.

#include "wave/Block.h"
#include "wave/Component.h"
#include "wave/Producer.h"

#include <cstdint>

namespace wave {

class FloatParameter : public Component {
public:
  // Limits [min(v, 0), max(v, 1)], settled at v.
  FloatParameter(Environment* env, float v);
  // Same environment, settings, limits and target; settled; its own block.
  FloatParameter(const FloatParameter& other);
  // Glides to the other's target in the automatic time.
  FloatParameter& operator=(const FloatParameter& other);
  // Glides to v in the automatic time; yields v.
  float operator=(float v);

  // range > 0 sets the span by which the size of a change is judged, else
  // the span max - min is used. The target is clamped into [min, max]; a
  // running glide goes on and ends on the clamped target.
  void setLimits(float min, float max, float range = 0.0f);
  // Starts a glide from the value reached to value (clamped into the
  // limits). timeMs >= 0 is the glide time (0 jumps); a negative timeMs
  // chooses it from the size of the change: shortTime for changes of 30% of
  // the range or more, up to longTime for the smallest. Changes within the
  // single-precision epsilon are no changes. A change made while a block is
  // rendered counts from the start of that block.
  void setInterpolated(float value, float timeMs);
  // Ends any glide at once, at the target.
  void initialize();
  // The next n values (n <= maxBlockSize). constant tells that the whole
  // block holds the target. A mute call (flags bit 0) only advances the
  // glide and leaves the block as it is.
  Block* getInterpolatedBlock(int n, int flags, bool& constant);

  float getTarget() const { return target; }
  float getMinValue() const { return minValue; }
  float getMaxValue() const { return maxValue; }
  float getRange() const { return range; }
  float getShortTime() const { return shortTime; }
  float getLongTime() const { return longTime; }
  // Milliseconds; they apply to the changes that follow.
  void setGlideTimes(float shortMs, float longMs);
  // Samples of the glide that the last change started (0 for a jump).
  int32_t getGlideLength() const { return length; }

private:
  // Brings position up to the environment's clock.
  void catchUp();
  // getInterpolatedBlock past its settled case (kept apart, so that the
  // settled case saves and restores no more registers than it uses).
  Block* renderBlock(int n, int flags, bool& constant);

  float shortTime = 20.0f;
  float longTime = 150.0f;
  Block block;
  int32_t position = 0;
  int32_t length = 0;
  float startValue;
  float step = 0.0f;
  float maxValue;
  float minValue;
  float range;
  uint32_t lastTime = 0;
  int32_t filled = 0;
  float target;
};

// A FloatParameter as a producer: its output is the parameter's block.
class FloatParameterSource : public Source {
public:
  FloatParameterSource(Environment* env, float v) : Source(env, cNoOwnBlock), parameter(env, v) {}
  void produce(Block* block, int n, int flags) override;

  FloatParameter parameter;
};

// Makes a FloatParameter owned elsewhere a producer. Without a parameter the
// output is the environment's silent block.
class FloatParameterForwarder : public Source {
public:
  explicit FloatParameterForwarder(Environment* env, FloatParameter* parameter = nullptr)
      : Source(env, cNoOwnBlock), parameter(parameter) {}
  void produce(Block* block, int n, int flags) override;

  FloatParameter* parameter;
};

// A control input of a unit: its own smoothed value, or the signal of
// another producer (a modulation source) while one is set as controller.
// The unit pulls output and writes its value through source.parameter.
class FloatParameterBus {
public:
  FloatParameterBus(Environment* env, float v) : output(&source), source(env, v) {}
  FloatParameterBus(const FloatParameterBus& other);
  FloatParameterBus& operator=(const FloatParameterBus& other);

  // null hands the output back to the own value, which has kept gliding
  // meanwhile.
  void setController(Producer* p) {
    output = p ? p : &source;
    ++source.env->busChanges;
  }
  FloatParameter& getParameter() { return source.parameter; }

  // The producer that consumers pull.
  Producer* output;
  FloatParameterSource source;
};

} // namespace wave
