#pragma once

// A continuous plug-in parameter: one float in its own natural range
// [min, max], converted linearly to and from the normalized range 0..1 that
// hosts, presets and MIDI use. Until the owner calls setLimits the range is
// 0..1 with default and value 0.
//
// The value is read on the render thread (updateValue of the subclasses, the
// transform) while another thread sets it, so it is held atomically; the
// limits are written only while the product sets itself up.

#include "plugin/AbstractPluginParameter.h"

#include <atomic>
#include <string>

// Returns x; the default of every curve of a transform.
float identityFunction(float x);

class FloatPluginParameter : public AbstractPluginParameter {
public:
  // Changes no larger than this (an absolute step, not a relative one) are
  // no changes.
  static constexpr float cEpsilon = 1.1920929e-7f;

  FloatPluginParameter(GenericParameterOwner* owner, const std::string& name);

  // (x - min) / (max - min), not clamped; 0 for a range of one point.
  float convertNaturalToNormalized(float natural) const override;
  // min + (max - min) * n, not clamped.
  float convertNormalizedToNatural(float normalized) const override;
  std::string convertValueToString(float natural) const override;
  float getDefault() const override { return mDefault; }
  float getMax() const override { return mMax; }
  float getMin() const override { return mMin; }
  float getValue() const override { return mValue.load(std::memory_order_relaxed); }
  // Clamps into [min, max] and stores and reports the value unless it lies
  // within cEpsilon of the current one. A value that is not a finite number
  // (a damaged preset, a host or a curve gone wrong) is ignored.
  void setValue(float natural, int flags) override;

  // Stores the limits and the default, then sets the default as value
  // (reported like any change).
  void setLimits(float min, float max, float def);
  // setValue(x, 0); yields x.
  float operator=(float x) {
    setValue(x, 0);
    return x;
  }

private:
  float mDefault = 0.0f;
  float mMax = 1.0f;
  float mMin = 0.0f;
  std::atomic<float> mValue{0.0f};
};
