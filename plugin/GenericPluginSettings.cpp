// The global settings in the preferences store and the MIDI controller map
// file. Both are read when the first instance initializes and written when
// the last one finalizes; everything here runs on the main thread.

#include "plugin/GenericPlugin.h"

#include "base/Folders.h"
#include "base/PathUtils.h"
#include "base/PresetManager.h"
#include "base/SettingSerializer.h"
#include "base/VersionInfo.h"
#include "plugin/ControllerMapping.h"

#include <cstdio>

namespace {

const char* const cMidiMapName = "MidiControllerMap.qvm";

std::string midiMapPath() { return GenericPlugin::sVersionInfo->getDataFolder() + getPathDelimiter() + cMidiMapName; }

} // namespace

void GenericPlugin::Settings::serialize(SettingSerializer* serializer) {
  if (!serializer) return;
  // A reader hands back the stored value (or the one passed when nothing is
  // stored), a writer the one passed; a property notifies its owner only
  // when the value really changes.
  HelpFileName = serializer->serializeString("HelpFileName", HelpFileName.get());
  SavePresetItemEnabled = serializer->serializeBool("SavePresetItemEnabled", SavePresetItemEnabled.get());
  ViewProgramNumbersEnabled = serializer->serializeBool("ViewProgramNumbersEnabled", ViewProgramNumbersEnabled.get());
  showInteractiveHelp = serializer->serializeBool("showInteractiveHelp", showInteractiveHelp.get());
  showWelcomeHint = serializer->serializeBool("showWelcomeHint", showWelcomeHint.get());
}

void GenericPlugin::serialize(SettingSerializer* serializer) {
  if (!serializer) return;
  if (sSettings) sSettings->serialize(serializer);

  PresetManager* manager = getPresetManager(-1);
  if (manager && sVersionInfo) {
    const std::string defaultFolder = sVersionInfo->getDefaultPresetFolder();
    std::string folder = serializer->serializeString("PresetFolder", manager->getFolderPath(), defaultFolder);
    // An empty folder names no library at all; the default is the one the
    // product offers.
    if (folder.empty() && !serializer->isWriter()) folder = defaultFolder;
    manager->initialize(folder);
  }

  if (sVersionInfo) {
    sVersionInfo->serializeCurrentVersion(serializer);
    if (sVersionInfo->isFirstRun() && sSettings) sSettings->showWelcomeHint = true;
  }
}

bool GenericPlugin::loadMidiSettings() {
  if (!sControllerMapping || !sVersionInfo) return false;
  // A stored map may name any number; only what this product has is handed
  // on to parameters.
  refreshControllerIndexLimits();
  return sControllerMapping->loadFromFile(midiMapPath());
}

void GenericPlugin::loadMidiFactorySettings() {
  if (!sControllerMapping) return;
  refreshControllerIndexLimits();
  sControllerMapping->reset();
  // The map is taken only when read whole; otherwise it stays cleared.
  bool loaded = false;
  try {
    loaded = sControllerMapping->loadFromResource(cMidiMapName);
  } catch (const EResource&) {
    loaded = false;
  }
  if (!loaded) std::fprintf(stderr, "'%s' could not be loaded from resource\n", cMidiMapName);
}

void GenericPlugin::saveMidiSettings() {
  if (!sControllerMapping || !sVersionInfo) return;
  const std::string folder = sVersionInfo->getDataFolder();
  if (folder.empty()) return;
  createFolder(folder);
  // Written to a temporary file first: a failed write leaves the previous
  // map file as it was.
  sControllerMapping->saveToFile(midiMapPath());
}
