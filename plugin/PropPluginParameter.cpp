#include "plugin/PropPluginParameter.h"

template class GenericPropPluginParameter<Property<int>, IndexedPluginParameter<int>>;
template class PropPluginParameter<int>;
