#pragma once

// A continuous parameter that drives smoothed engine values: when its value
// reaches the engine (updateValue, on the render thread) each bound
// FloatParameter glides to the transform's value of it. Engine values are
// bound in order, may be bound more than once, and are not owned.

#include "plugin/FloatPluginParameter.h"
#include "plugin/FloatPluginParameterTransform.h"

#include <string>
#include <vector>

namespace wave {
class FloatParameter;
class FloatParameterBus;
} // namespace wave

class FloatParamPluginParameter : public FloatPluginParameter {
public:
  FloatParamPluginParameter(GenericParameterOwner* owner, const std::string& name)
      : FloatPluginParameter(owner, name), mTransform(this) {}
  using FloatPluginParameter::operator=;

  // The transform's text of the value.
  std::string convertValueToString(float natural) const override;
  // Assigns the transform's value of the current value (not the argument)
  // to every bound engine value, which starts its glide. A NaN (a curve
  // gone wrong) is not passed on.
  void updateValue(float natural) override;

  void addParameter(wave::FloatParameter* parameter);
  // Binds the bus's own smoothed value.
  void addParameter(wave::FloatParameterBus* bus);
  // Unbinds every occurrence; the rest keep their order.
  void removeParameter(wave::FloatParameter* parameter);
  void removeParameter(wave::FloatParameterBus* bus);
  const std::vector<wave::FloatParameter*>& getEngineValues() const { return mParameters; }

  FloatPluginParameterTransform& getTransform() { return mTransform; }
  const FloatPluginParameterTransform& getTransform() const { return mTransform; }

private:
  FloatPluginParameterTransform mTransform;
  std::vector<wave::FloatParameter*> mParameters;
};
