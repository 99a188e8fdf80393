#include "plugin/GenericParameterOwner.h"

#include "plugin/AbstractPluginParameter.h"

void GenericParameterOwner::updateParameterValue(AbstractPluginParameter* parameter, float value) {
  parameter->updateValue(value);
}
