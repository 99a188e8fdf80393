// Preset files: reading them into the parameters and writing them.
//
// Not yet built: every operation here reports that nothing was read or
// written. The file format and the plug-in's preset bookkeeping come with
// the preset loaders.

#include "plugin/GenericPlugin.h"

bool ParameterCollection::loadPreset(Preset* /*preset*/, int /*version*/) { return false; }

bool ParameterCollection::savePreset(Preset* /*preset*/, int /*version*/) { return false; }

bool GenericPlugin::loadPreset(Preset* /*preset*/) { return false; }

bool GenericPlugin::doLoadPreset(Preset* preset) { return mParameters.loadPreset(preset, sPresetFileVersion); }

bool GenericPlugin::loadPresetWithVersion(Preset* preset, int version) {
  return mParameters.loadPreset(preset, version);
}

bool GenericPlugin::loadPresetWithName(const std::string& /*name*/) { return false; }

bool GenericPlugin::receiveProgramChange(int /*bank*/, int /*program*/) { return false; }

bool GenericPlugin::savePreset(Preset* /*preset*/) { return false; }
