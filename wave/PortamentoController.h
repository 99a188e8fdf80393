#pragma once

// The pitch source of one oscillator voice: a pitch in exp-frequency units
// (log2 of the frequency in Hz) that glides from a start pitch to the note's
// pitch over the glide time along a fixed curve, plus a pitch modulation
// input.

#include "base/Property.h"
#include "wave/FloatParameter.h"
#include "wave/FunctionTable.h"
#include "wave/Producer.h"

class PortamentoController : public wave::Source, public PropertyOwner {
public:
  static constexpr int cCurvePoints = 4096;

  explicit PortamentoController(wave::Environment* env);
  ~PortamentoController() override = default;

  PortamentoController(const PortamentoController&) = delete;
  PortamentoController& operator=(const PortamentoController&) = delete;

  // A mute call returns at once: nothing is written and the glide waits.
  void produce(wave::Block* block, int count, int flags) override;
  // Ends a glide at its target.
  void resetState() override;
  void propertyChange(const AbstractProperty* p) override;

  // Glides from start to target, or jumps to target when the glide time is
  // 0.
  void noteOn(float target, float start);
  // Glides from the pitch reached (a glide in progress goes on from where it
  // stands).
  void noteOn(float target) { noteOn(target, currentPitch); }
  // The pitch stays where the glide stood.
  void noteOff() { gliding = false; }

  float getCurrentPitch() const { return currentPitch; }
  bool isGliding() const { return gliding; }
  // The rising and the falling glide curve over [0, 1].
  const FunctionTable<float>& getUpwardCurve() const { return upwardCurve; }
  const FunctionTable<float>& getDownwardCurve() const { return downwardCurve; }

  // Exp-frequency offset added to the output, [-10, 10].
  wave::FloatParameterBus pitchModulation;
  // Seconds, [0, 10].
  LimitedProperty<float> glideTime;

private:
  float currentPitch = 0.0f;
  float glidePosition = 0.0f;
  float glideSpan = 0.0f;
  bool gliding = false;
  FunctionTable<float> upwardCurve;
  FunctionTable<float> downwardCurve;
  float glideStart = 0.0f;
  wave::ConstantFill fill;
};
