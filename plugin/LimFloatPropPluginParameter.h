#pragma once

// Continuous parameters that write clamped float properties of the model.
//
// GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter>
// hands its own value to each bound property; LimFloatPropPluginParameter
// hands the value through its transform (curve and linear range) instead,
// and shows its value through the transform. Each property clamps what it is
// given into its own [min, max] and notifies its owner only when its value
// changes; a value that is not a number is not written.

#include "base/Property.h"
#include "plugin/FloatPluginParameter.h"
#include "plugin/FloatPluginParameterTransform.h"
#include "plugin/GenericPropPluginParameter.h"

#include <string>
#include <vector>

template <>
class GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter> : public FloatPluginParameter {
public:
  GenericPropPluginParameter(GenericParameterOwner* owner, const std::string& name)
      : FloatPluginParameter(owner, name) {}
  using FloatPluginParameter::operator=;

  // Writes the parameter's current value (not the argument, which a later
  // setValue may have overtaken) to the bound properties.
  void updateValue(float natural) override;

  // Binds a property; properties are written in binding order.
  void addProperty(LimitedProperty<float>* property) { mProperties.push_back(property); }
  const std::vector<LimitedProperty<float>*>& getProperties() const { return mProperties; }

protected:
  // Each bound property takes v clamped to its range, and its owner is told
  // when that changed its value.
  void writeProperties(float v);

private:
  std::vector<LimitedProperty<float>*> mProperties;
};

class LimFloatPropPluginParameter : public GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter> {
public:
  LimFloatPropPluginParameter(GenericParameterOwner* owner, const std::string& name)
      : GenericPropPluginParameter(owner, name), mTransform(this) {}
  using FloatPluginParameter::operator=;

  // The transform's text of the value.
  std::string convertValueToString(float natural) const override;
  // Writes the transform's value of the current value to the properties.
  void updateValue(float natural) override;

  FloatPluginParameterTransform& getTransform() { return mTransform; }
  const FloatPluginParameterTransform& getTransform() const { return mTransform; }

private:
  FloatPluginParameterTransform mTransform;
};
