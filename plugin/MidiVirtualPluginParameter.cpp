#include "plugin/MidiVirtualPluginParameter.h"

#include "plugin/GenericPlugin.h"

MidiVirtualPluginParameter::MidiVirtualPluginParameter(GenericPlugin* plugin, const std::string& name)
    : mIdentifier(-1), mName(name) {
  mIdentifier = plugin->registerMidiVirtualParameter(this);
}
