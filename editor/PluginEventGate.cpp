#include "editor/PluginEventGate.h"

#include "plugin/GenericPlugin.h"

PluginEventGate::PluginEventGate(int parameterCount)
    : parameterCount(parameterCount > 0 ? parameterCount : 0),
      parameterFlags(new std::atomic<bool>[static_cast<size_t>(this->parameterCount) + 1]) {
  for (int i = 0; i <= this->parameterCount; ++i) parameterFlags[static_cast<size_t>(i)].store(false);
  for (std::atomic<bool>& flag : generalFlags) flag.store(false);
}

std::atomic<bool>* PluginEventGate::flagOf(int event, int value) {
  switch (event) {
  case cParameterChangeEvent:
    if (value >= -1 && value < parameterCount) return &parameterFlags[static_cast<size_t>(value + 1)];
    return nullptr;
  case cGeneralChangeEvent:
    if (value >= 0 && value < cGeneralTargets) return &generalFlags[value];
    return nullptr;
  case cPresetChangeEvent:
    return &presetFlag;
  case cMidiReceivedEvent:
    return &midiFlag;
  default:
    return nullptr;
  }
}

bool PluginEventGate::admit(int event, int value) {
  // Both sides swap the flag: the poster's change of the plug-in's state is
  // then seen by the editor's look that follows the clearing swap.
  std::atomic<bool>* flag = flagOf(event, value);
  return !flag || !flag->exchange(true, std::memory_order_acq_rel);
}

void PluginEventGate::delivered(int event, int value) {
  if (std::atomic<bool>* flag = flagOf(event, value)) flag->exchange(false, std::memory_order_acq_rel);
}
