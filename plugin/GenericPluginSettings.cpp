// The global settings in the preferences store and the MIDI controller map
// file. Both are read when the first instance initializes and written when
// the last one finalizes; everything here runs on the main thread.
//
// Several processes (two hosts on one account) may share both files: each
// writes only what it changed, so that it does not put back what another
// one has stored since it started. The settings are filtered key by key
// (see initializeGenericPlugin); the map is one document, the user's
// deliberate state as a whole, so it is written whole, and only when this
// process changed it since it was read or saved, or when there is no
// readable copy of it to keep (none yet, or a damaged one).
//
// The user's files are never thrown away without a word: a write that fails
// is said on the alert handler with the path and the reason; a damaged map
// is kept beside the new one as "MidiControllerMap.qvm.damaged" (or the
// first free "MidiControllerMap.qvm.damaged-N" after it); a map of a
// version this one does not know is never written over.

#include "plugin/GenericPlugin.h"

#include "base/Folders.h"
#include "base/PathUtils.h"
#include "base/PresetManager.h"
#include "base/SettingSerializer.h"
#include "base/VersionInfo.h"
#include "plugin/ControllerMapping.h"

#include "base/PlatformPaths.h"
#include "platform/FileKeeping.h"
#include "platform/RegularFile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

const char* const cMidiMapName = "MidiControllerMap.qvm";

// "" when there is no data folder.
std::string midiMapPath() {
  const std::string folder = GenericPlugin::sVersionInfo->getDataFolder();
  return folder.empty() ? std::string() : folder + getPathDelimiter() + cMidiMapName;
}

// What the user's map file was when it was last read: saving must not lose
// a damaged one (it may be mendable), nor write over another version's map
// (whose layout this one does not know) or something that is no file.
enum class MapFileState { usable, absent, damaged, otherVersion, notAFile };
MapFileState sMapFileState = MapFileState::absent;

// The shared map's entries as last read (from the file or the factory
// copy) or saved.
std::array<int32_t, ControllerMapping::cControllerCount> sMapAsStored{};

std::array<int32_t, ControllerMapping::cControllerCount> entriesOf(const ControllerMapping& map) {
  std::array<int32_t, ControllerMapping::cControllerCount> entries{};
  for (int c = 0; c < ControllerMapping::cControllerCount; ++c)
    entries[static_cast<size_t>(c)] = map.getParameterIndex(c);
  return entries;
}

// version, when given, gets the version a readable header names.
MapFileState mapFileStateAfterLoad(const std::string& path, bool loaded, int32_t* storedVersion = nullptr) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return MapFileState::absent;
  if (!S_ISREG(st.st_mode)) return MapFileState::notAFile;
  const auto in = platform::newRegularFileStream(path);
  unsigned char header[8] = {};
  in->read(reinterpret_cast<char*>(header), sizeof header);
  const int32_t version =
      static_cast<int32_t>(header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint32_t>(header[7]) << 24);
  if (*in && std::memcmp(header, "QVCM", 4) == 0 && version != ControllerMapping::cFileVersion) {
    if (storedVersion) *storedVersion = version;
    return MapFileState::otherVersion;
  }
  return loaded ? MapFileState::usable : MapFileState::damaged;
}

// The preset folder as the preferences held it when they were read ("" for
// none): kept there while the first run's installation is incomplete, so
// that a folder that could not be made is not remembered as the user's.
std::string sPresetFolderAsRead;

// Earlier builds, on an account without a documents folder, fell back to
// one at the root of the file system, which cannot be made, and recorded
// the first run as done: such a library is not the user's and never held
// anything.
bool isRootDocumentsLibrary(const std::string& folder) {
  return folder.rfind("/Documents/", 0) == 0 && !folderExists(folder);
}

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
    std::string folder;
    if (serializer->isWriter() && sVersionInfo->isFirstRunPending()) {
      serializer->serializeString("PresetFolder", sPresetFolderAsRead, defaultFolder);
      folder = manager->getFolderPath();
    } else if (serializer->isWriter()) {
      folder = serializer->serializeString("PresetFolder", manager->getFolderPath(), defaultFolder);
    } else {
      // Read with an empty default, to tell a stored folder from none.
      folder = sPresetFolderAsRead = serializer->serializeString("PresetFolder", manager->getFolderPath(), "");
      // Such a library is replaced by the user's own, and the factory
      // presets are installed there as on a first run.
      if (isRootDocumentsLibrary(folder)) {
        folder = sPresetFolderAsRead = "";
        sVersionInfo->requireFirstRun();
      }
      // An empty folder names no library at all; the default is the one the
      // product offers.
      if (folder.empty()) folder = defaultFolder;
    }
    // A writer hands back the library's own folder: scanning it again would
    // list what is listed (and the last instance's finalization deletes the
    // library right after), while a library that links to a large tree
    // costs a whole scan budget.
    if (!serializer->isWriter() || folder != manager->getFolderPath()) {
      if (manager == sPresetManager)
        readPresetLibrary(folder);
      else
        manager->initialize(folder);
    }
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
  const std::string path = midiMapPath();
  const bool loaded = !path.empty() && sControllerMapping->loadFromFile(path);
  int32_t storedVersion = 0;
  sMapFileState = mapFileStateAfterLoad(path, loaded, &storedVersion);
  // Another version's map is kept, and would otherwise be ignored without
  // a word: the user's learned controllers seem lost.
  if (sMapFileState == MapFileState::otherVersion)
    alertOnce("The MIDI controller map " + path + " is of version " + std::to_string(storedVersion) + ", and " +
              sVersionInfo->getProductName() + " reads version " + std::to_string(ControllerMapping::cFileVersion) +
              " only: the file is left as it is, and the controllers learned in it are not used.");
  return loaded;
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

bool GenericPlugin::saveMidiSettings() {
  if (!sControllerMapping || !sVersionInfo) return false;
  const std::string folder = sVersionInfo->getDataFolder();
  const std::string path = midiMapPath();
  auto failed = [&](const std::string& why) {
    alertOnce("The MIDI controller map could not be saved" + (path.empty() ? std::string() : " to " + path) + ": " +
              why);
    return false;
  };
  if (path.empty()) return failed("no data folder is known for this user");
  if (sMapFileState == MapFileState::otherVersion)
    return failed("the file was written by another version and is left as it is");
  if (sMapFileState == MapFileState::notAFile) return failed("it is not a file and is left as it is");
  if (!createFolder(folder)) return failed(folder + ": " + std::strerror(errno));
  std::string reason, damagedCopy;
  // Only a file that is still there and still damaged is kept; the user
  // may have mended or removed it meanwhile. A copy an earlier damage left
  // stays as it is.
  const bool keepDamaged =
      sMapFileState == MapFileState::damaged && mapFileStateAfterLoad(path, ControllerMapping().loadFromFile(path)) ==
                                                     MapFileState::damaged;
  if (keepDamaged && !platform::keepCopyBeside(path, path + ".damaged", damagedCopy, &reason))
    return failed("the damaged file could not be kept as " + path + ".damaged: " + reason);
  // Written to a temporary file first: a failed write leaves the previous
  // map file as it was.
  if (!sControllerMapping->saveToFile(path, &reason)) return failed(reason);
  if (keepDamaged)
    alertOnce("The MIDI controller map " + path + " was damaged and could not be read; the damaged file was "
                      "kept as " + damagedCopy + ".");
  sMapFileState = MapFileState::usable;
  sMapAsStored = entriesOf(*sControllerMapping);
  return true;
}

void GenericPlugin::noteMidiMapAsStored() {
  if (sControllerMapping) sMapAsStored = entriesOf(*sControllerMapping);
}

bool GenericPlugin::midiMapNeedsSaving() {
  if (!sControllerMapping) return false;
  if (entriesOf(*sControllerMapping) != sMapAsStored) return true;
  // Unchanged here. The user gets a copy of the map in use when there was
  // none readable at start-up, unless another process has written one
  // since: that one is the user's now.
  const std::string path = midiMapPath();
  switch (sMapFileState) {
  case MapFileState::absent: {
    struct stat st;
    return path.empty() || ::lstat(path.c_str(), &st) != 0;
  }
  case MapFileState::damaged:
    return mapFileStateAfterLoad(path, ControllerMapping().loadFromFile(path)) == MapFileState::damaged;
  case MapFileState::usable:
  case MapFileState::otherVersion:
  case MapFileState::notAFile: return false;
  }
  return false;
}
