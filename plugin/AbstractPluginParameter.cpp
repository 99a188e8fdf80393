#include "plugin/AbstractPluginParameter.h"

#include "plugin/GenericParameterOwner.h"

AbstractPluginParameter::AbstractPluginParameter(GenericParameterOwner* owner, Type type, const std::string& name)
    : mName(name), mOwner(owner), mType(type) {
  // Everything else is in place before the owner sees the parameter.
  mIndex = mOwner->registerParameter(this);
}

AbstractPluginParameter::~AbstractPluginParameter() = default;

float AbstractPluginParameter::convertNaturalToVersioned(float natural, int /*version*/) const {
  return convertNaturalToNormalized(natural);
}

bool AbstractPluginParameter::convertVersionedToNatural(float versioned, int /*version*/, float& natural) const {
  natural = convertNormalizedToNatural(versioned);
  return true;
}

int AbstractPluginParameter::getIndexedMaxForVersion(int /*version*/) const { return -1; }

void AbstractPluginParameter::updateValue(float /*natural*/) {}

void AbstractPluginParameter::setNormalizedValue(float normalized, int flags) {
  setValue(convertNormalizedToNatural(normalized), flags);
}

float AbstractPluginParameter::getNormalizedValue() const { return convertNaturalToNormalized(getValue()); }

std::string AbstractPluginParameter::getValueAsString() const { return convertValueToString(getValue()); }

float AbstractPluginParameter::getVersionedValue(int version) const {
  return convertNaturalToVersioned(getValue(), version);
}

void AbstractPluginParameter::setVersionedValue(float versioned, int version, int flags) {
  float natural;
  if (convertVersionedToNatural(versioned, version, natural)) setValue(natural, flags);
}

void AbstractPluginParameter::setToDefault() { setValue(getDefault(), 0); }

void AbstractPluginParameter::handleParameterChange(float value, int flags) {
  mOwner->handleParameterChange(mIndex, value, flags);
}
