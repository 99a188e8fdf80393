#include "plugin/LimFloatPropPluginParameter.h"

void GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter>::updateValue(float /*natural*/) {
  writeProperties(getValue());
}

void GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter>::writeProperties(float v) {
  // An infinity is clamped like any value out of range; a NaN lies in no
  // range and leaves the properties as they are.
  if (v != v) return;
  for (LimitedProperty<float>* property : mProperties) property->set(v);
}

std::string LimFloatPropPluginParameter::convertValueToString(float natural) const {
  return mTransform.convertValueToString(natural);
}

void LimFloatPropPluginParameter::updateValue(float /*natural*/) { writeProperties(mTransform.getValue()); }
