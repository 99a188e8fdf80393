#include "plugin/FloatPluginParameter.h"

#include "base/TextUtils.h"

#include <cmath>

float identityFunction(float x) { return x; }

FloatPluginParameter::FloatPluginParameter(GenericParameterOwner* owner, const std::string& name)
    : AbstractPluginParameter(owner, cContinuous, name) {}

float FloatPluginParameter::convertNaturalToNormalized(float natural) const {
  const float span = mMax - mMin;
  // A one-point range has a single value; call it the bottom of the scale
  // rather than dividing by zero.
  if (span == 0.0f) return 0.0f;
  return (natural - mMin) / span;
}

float FloatPluginParameter::convertNormalizedToNatural(float normalized) const {
  return mMin + (mMax - mMin) * normalized;
}

std::string FloatPluginParameter::convertValueToString(float natural) const { return floatToStr(natural, "%.15lg"); }

void FloatPluginParameter::setValue(float natural, int flags) {
  if (!std::isfinite(natural)) return;
  const float clamped = mMin > natural ? mMin : (natural < mMax ? natural : mMax);
  if (std::fabs(clamped - getValue()) <= cEpsilon) return;
  mValue.store(clamped, std::memory_order_relaxed);
  handleParameterChange(clamped, flags);
}

void FloatPluginParameter::setLimits(float min, float max, float def) {
  mMin = min;
  mMax = max;
  mDefault = def;
  setValue(def, 0);
}
