// The global settings in the preferences store and the MIDI controller map
// file.
//
// Not yet built: nothing is read or written, so the settings keep their
// defaults and the controller map stays as it was made. The first and the
// last instance already call these at the right moments.

#include "plugin/GenericPlugin.h"

void GenericPlugin::Settings::serialize(SettingSerializer* /*serializer*/) {}

void GenericPlugin::serialize(SettingSerializer* /*serializer*/) {}

bool GenericPlugin::loadMidiSettings() { return false; }

void GenericPlugin::loadMidiFactorySettings() {}

void GenericPlugin::saveMidiSettings() {}
