#include "plugin/ParameterCollection.h"

int ParameterCollection::registerParameter(AbstractPluginParameter* parameter) {
  mParameters.push_back(parameter);
  return size() - 1;
}
