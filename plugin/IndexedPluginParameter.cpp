#include "plugin/IndexedPluginParameter.h"

template class IndexedPluginParameter<int>;
template class IndexedPluginParameter<bool>;
