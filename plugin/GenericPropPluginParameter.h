#pragma once

// A plug-in parameter that keeps properties of the model in step with its
// value: P is the property type, Base the parameter it extends. When the
// value reaches the engine (updateValue, on the render thread) every bound
// property takes it and notifies its owner if it changed.
//
// The model binds its properties with addProperty while it sets itself up;
// the parameter never owns them.
//
// Defined for
//   GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter>
//     in plugin/LimFloatPropPluginParameter.h, and
//   GenericPropPluginParameter<Property<T>, IndexedPluginParameter<T>>
//     in plugin/PropPluginParameter.h.

template <class P, class Base>
class GenericPropPluginParameter;
