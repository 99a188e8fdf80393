#include "plugin/FloatParamPluginParameter.h"

#include "wave/FloatParameter.h"

#include <algorithm>

std::string FloatParamPluginParameter::convertValueToString(float natural) const {
  return mTransform.convertValueToString(natural);
}

void FloatParamPluginParameter::updateValue(float /*natural*/) {
  const float v = mTransform.getValue();
  if (v != v) return;
  for (wave::FloatParameter* parameter : mParameters) *parameter = v;
}

void FloatParamPluginParameter::addParameter(wave::FloatParameter* parameter) { mParameters.push_back(parameter); }

void FloatParamPluginParameter::addParameter(wave::FloatParameterBus* bus) {
  mParameters.push_back(&bus->source.parameter);
}

void FloatParamPluginParameter::removeParameter(wave::FloatParameter* parameter) {
  mParameters.erase(std::remove(mParameters.begin(), mParameters.end(), parameter), mParameters.end());
}

void FloatParamPluginParameter::removeParameter(wave::FloatParameterBus* bus) {
  removeParameter(&bus->source.parameter);
}
