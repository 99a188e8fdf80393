// Loading and saving whole presets: the parameters are applied inside one
// batch, so the host and the editor hear of a load once, and the instance's
// preset context follows what was loaded or saved.
//
// Threads. The editor loads and saves on the main thread, the host bridge
// restores presets by name there too, and a MIDI program change loads on
// the render thread. The render thread must never wait for the main thread,
// which may be rescanning the library: it asks the library without waiting
// and works on a copy of the preset it found. Nor does it write the preset
// context, which the main thread reads: it leaves the new name and path in
// the context's hand-off, and the main thread applies them. Nor does it
// tell the user of a file it could not load: that report, too, waits in a
// hand-off for the main thread.
//
// A preset is applied and announced as a whole under the instance's preset
// lock, so that a program change on the render thread and a load on the
// main thread never interleave (which would leave parameters of both while
// the context names one). The main thread waits for the lock; the render
// thread only tries it, and when it is busy (or the library is being
// rescanned) defers the program change to the start of its next render
// call. A later program change replaces a deferred one.

#include "plugin/GenericPlugin.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PlatformPaths.h"
#include "base/PresetManager.h"
#include "plugin/PresetFailureHandOff.h"

#include <mutex>
#include <set>

void GenericPlugin::announcePreset(const std::string& name, const std::string& relativePath) {
  if (mPresetContext) {
    if (isMainThread()) {
      // Changes other threads left come first, so they cannot undo this.
      applyPendingPresetContext();
      mPresetContext->presetName = name;
      mPresetContext->presetPath = relativePath;
      mPresetContext->presetModified = false;
    } else {
      mPresetContextHandOff->publish(name, relativePath);
    }
  }
  if (Adapter* adapter = getAdapter()) adapter->pluginPresetChange();
  postEventToListener(cPresetChangeEvent, 0);
}

namespace {

// The files already reported, for the whole process: a damaged file is
// named once, not at every program change that meets it. Only main threads
// come here, but every instance shares the set, and instances made by two
// hosts in one process have two main threads: hence the lock.
std::mutex sReportedLock;
std::set<std::string> sReported;

void reportOnce(const std::string& path, const PresetLoadFailure& failure) {
  {
    std::lock_guard<std::mutex> lock(sReportedLock);
    if (!sReported.insert(path).second) return;
  }
  showMessageDialog(GenericPlugin::presetFailureMessage(path, failure));
}

} // namespace

std::string GenericPlugin::presetFailureMessage(const std::string& path, const PresetLoadFailure& failure) {
  if (path.empty()) return "A preset file could not be loaded: " + describePresetFailure(failure) + ".";
  const size_t slash = path.rfind('/');
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
  return "The preset \"" + name + "\" could not be loaded from " + path + ": " + describePresetFailure(failure) + ".";
}

// Applies the file inside one batch; true when it was applied, and only
// then is it announced. A refusal is reported: here on the main thread,
// else handed to it without allocating.
bool GenericPlugin::applyPreset(Preset* preset) {
  PresetLoadFailure& failure = mPresetFailure[isMainThread() ? 0 : 1];
  failure = PresetLoadFailure{};
  beginParameterUpdate();
  const bool applied = doLoadPreset(preset);
  endParameterUpdate();
  if (applied) return true;
  if (failure.kind == PresetLoadFailure::none) failure.kind = PresetLoadFailure::refused;
  if (isMainThread())
    reportOnce(preset->getPath(), failure);
  else if (mPresetFailureHandOff)
    mPresetFailureHandOff->publish(preset->getPath(), failure);
  return false;
}

void GenericPlugin::reportPendingPresetFailures() {
  if (!mPresetFailureHandOff || !isMainThread()) return;
  std::string path;
  PresetLoadFailure failure;
  while (mPresetFailureHandOff->take(path, failure)) reportOnce(path, failure);
}

bool GenericPlugin::loadPreset(Preset* preset) {
  if (!preset) return false;
  std::lock_guard<std::recursive_mutex> lock(mPresetLock);
  // Taken before loading: what the preset says of itself is what it was
  // asked to load, whatever happens to the library meanwhile.
  const std::string name = preset->getName();
  PresetManager* manager = getPresetManager(-1);
  const std::string relativePath = manager ? manager->getPresetPath(preset) : preset->getPath();
  if (!applyPreset(preset)) return false;
  announcePreset(name, relativePath);
  return true;
}

bool GenericPlugin::doLoadPreset(Preset* preset) { return mParameters.loadPreset(preset, sPresetFileVersion); }

bool GenericPlugin::loadPresetWithVersion(Preset* preset, int version) {
  return mParameters.loadPreset(preset, version);
}

bool GenericPlugin::loadPresetWithName(const std::string& name) {
  PresetManager* manager = getPresetManager(-1);
  if (!manager) return false;
  std::lock_guard<std::recursive_mutex> lock(mPresetLock);
  Preset copy{std::string()};
  std::string relativePath;
  {
    // Only the main thread rescans, and it comes here itself: the wait is
    // for callers on other threads.
    PresetManager::ReadAccess access(*manager, PresetManager::ReadAccess::wait);
    const Preset* preset = manager->findPresetByName(name);
    if (!preset) return false;
    copy = *preset;
    relativePath = manager->getPresetPath(preset);
  }
  if (!applyPreset(&copy)) return false;
  announcePreset(copy.getName(), relativePath);
  return true;
}

bool GenericPlugin::receiveProgramChange(int bank, int program) {
  if (bank < 0 || bank > cMaxProgramChangeBank || program < 0 || program >= PresetManager::programsPerBank)
    return false;
  PresetManager* manager = getPresetManager(-1);
  if (!manager) return false;
  const bool mainThread = isMainThread();
  std::unique_lock<std::recursive_mutex> lock(mPresetLock, std::defer_lock);
  if (mainThread) {
    lock.lock();
  } else if (!lock.try_lock()) {
    deferProgramChange(bank, program);
    return false;
  }
  // This one supersedes any that waits.
  mDeferredProgramChange.store(-1, std::memory_order_relaxed);
  Preset copy{std::string()};
  std::string relativePath;
  const PresetManager::LookupResult found = manager->tryFindPresetByBankAndProgram(bank, program, copy, relativePath);
  if (found == PresetManager::busy && !mainThread) {
    // A rescan is swapping the library's trees right now; waiting for it
    // would stall the audio.
    deferProgramChange(bank, program);
    return false;
  }
  if (found != PresetManager::found) return false;
  if (!applyPreset(&copy)) return false;
  announcePreset(copy.getName(), relativePath);
  return true;
}

void GenericPlugin::deferProgramChange(int bank, int program) {
  mDeferredProgramChange.store(bank << 8 | program, std::memory_order_relaxed);
}

void GenericPlugin::applyDeferredProgramChange() {
  const int32_t deferred = mDeferredProgramChange.exchange(-1, std::memory_order_relaxed);
  if (deferred >= 0) receiveProgramChange(deferred >> 8, deferred & 0xFF);
}

bool GenericPlugin::savePreset(Preset* preset) {
  if (!preset) return false;
  // The file holds one preset's values, not half of a program change's.
  std::lock_guard<std::recursive_mutex> lock(mPresetLock);
  // The rescan below deletes every Preset of the library, and the caller's
  // may be one of them.
  const Preset saved = *preset;
  if (!mParameters.savePreset(preset, sPresetFileVersion)) return false;
  std::string relativePath = saved.getPath();
  if (PresetManager* manager = getPresetManager(-1)) {
    const std::string root = manager->getFolderPath();
    manager->initialize(root);
    relativePath = manager->getPresetPath(&saved);
  }
  announcePreset(saved.getName(), relativePath);
  return true;
}
