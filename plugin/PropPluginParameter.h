#pragma once

// Indexed parameters that keep properties of the model in step: when the
// value reaches the engine (updateValue, on the render thread) each bound
// Property<T> takes the parameter's current T value, and its owner is told
// when that changed it. PropPluginParameter<T> is the concrete class the
// models build.

#include "base/Property.h"
#include "plugin/GenericPropPluginParameter.h"
#include "plugin/IndexedPluginParameter.h"

#include <string>
#include <vector>

template <class T>
class GenericPropPluginParameter<Property<T>, IndexedPluginParameter<T>> : public IndexedPluginParameter<T> {
public:
  GenericPropPluginParameter(GenericParameterOwner* owner, const std::string& name)
      : IndexedPluginParameter<T>(owner, name) {}

  // Writes the current value (not the argument, which a later setValue may
  // have overtaken) to the bound properties in binding order; a property
  // that holds it already is neither written nor notified.
  void updateValue(float /*natural*/) override {
    const T value = this->getTypedValue();
    for (Property<T>* property : mProperties) property->set(value);
  }

  // Binds a property; properties are written in binding order.
  void addProperty(Property<T>* property) { mProperties.push_back(property); }
  const std::vector<Property<T>*>& getProperties() const { return mProperties; }

private:
  std::vector<Property<T>*> mProperties;
};

template <class T>
class PropPluginParameter : public GenericPropPluginParameter<Property<T>, IndexedPluginParameter<T>> {
public:
  PropPluginParameter(GenericParameterOwner* owner, const std::string& name)
      : GenericPropPluginParameter<Property<T>, IndexedPluginParameter<T>>(owner, name) {}
};

extern template class GenericPropPluginParameter<Property<int>, IndexedPluginParameter<int>>;
extern template class PropPluginParameter<int>;
