// Loading and saving whole presets: the parameters are applied inside one
// batch, so the host and the editor hear of a load once, and the instance's
// preset context follows what was loaded or saved.
//
// Threads. The editor loads and saves on the main thread, the host bridge
// restores presets by name there too, and a MIDI program change loads on
// the render thread. The render thread opens no file, allocates nothing and
// takes no lock: the whole library is read beforehand into a
// PresetLibrarySnapshot that every instance of the process shares (read
// when the first instance starts, and again on the thread that rescans the
// library; see PresetSnapshotPublisher), and a program change on the
// render thread applies the values of the snapshot's entry, holding the
// snapshot in the instance's hazard pointer while it does. A preset refused
// when the library was read is refused by the program change too: the
// sound stays, and the report goes to the main thread through a hand-off. Nor does the render thread write the preset context, which the
// main thread reads: it leaves the new name and path in the context's
// hand-off, and the main thread applies them.
//
// A preset is applied and announced as a whole, so that a program change on
// the render thread and a load on the main thread never interleave (which
// would leave parameters of both while the context names one). Every
// thread but the render thread takes the instance's preset lock and then
// raises a flag the render thread looks at (PresetScope); the render thread
// raises its own flag and backs off when it sees the other, deferring the
// program change to the start of its next render call, and the other side
// waits until the render thread's flag is down. A program change that
// meets a library rescanned since the snapshot was made is deferred the
// same way, until the library has been read again. A later program change
// replaces a deferred one.

#include "plugin/GenericPlugin.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PlatformPaths.h"
#include "base/PresetManager.h"
#include "plugin/PresetFailureHandOff.h"
#include "plugin/PresetLibrarySnapshot.h"

#include <mutex>
#include <set>
#include <thread>

static_assert(PresetLibrarySnapshot::cProgramsPerBank == PresetManager::programsPerBank);

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
  PresetLoadFailure failure;
  beginParameterUpdate();
  const bool applied = doLoadPreset(preset, failure);
  endParameterUpdate();
  if (applied) return true;
  if (failure.kind == PresetLoadFailure::none) failure.kind = PresetLoadFailure::refused;
  if (isMainThread())
    reportPresetFailure(preset->getPath(), failure);
  else if (mPresetFailureHandOff)
    mPresetFailureHandOff->publish(preset->getPath(), failure);
  return false;
}

void GenericPlugin::reportPendingPresetFailures() {
  if (!mPresetFailureHandOff || !isMainThread()) return;
  std::string path;
  PresetLoadFailure failure;
  while (mPresetFailureHandOff->take(path, failure)) reportPresetFailure(path, failure);
}

void GenericPlugin::reportPresetFailure(const std::string& path, const PresetLoadFailure& failure) {
  if (mPresetRefusalsToHost) {
    mPresetRefusal = PresetRefusal{path, describePresetFailure(failure)};
    return;
  }
  reportOnce(path, failure);
}

void GenericPlugin::setPresetRefusalsToHost(bool toHost) {
  if (!isMainThread()) return;
  // Refusals handed over before the switch belong to the earlier mode.
  reportPendingPresetFailures();
  mPresetRefusalsToHost = toHost;
  mPresetRefusal = PresetRefusal{};
}

GenericPlugin::PresetScope::PresetScope(GenericPlugin& plugin) : mPlugin(plugin), mLock(plugin.mPresetLock) {
  mPlugin.mPresetScopes.fetch_add(1);
  // The render thread saw the count, or it finishes the program change it
  // began before it could: at most one program change's worth of values.
  while (mPlugin.mRenderApplyingPreset.load()) std::this_thread::yield();
}

GenericPlugin::PresetScope::~PresetScope() { mPlugin.mPresetScopes.fetch_sub(1); }

bool GenericPlugin::loadPreset(Preset* preset) {
  if (!preset) return false;
  PresetScope scope(*this);
  // Taken before loading: what the preset says of itself is what it was
  // asked to load, whatever happens to the library meanwhile.
  const std::string name = preset->getName();
  PresetManager* manager = getPresetManager(-1);
  const std::string relativePath = manager ? manager->getPresetPath(preset) : preset->getPath();
  if (!applyPreset(preset)) return false;
  announcePreset(name, relativePath);
  return true;
}

bool GenericPlugin::doLoadPreset(Preset* preset, PresetLoadFailure& failure) {
  PresetData data;
  if (!readPreset(preset->getPath(), data, failure)) return false;
  applyPresetData(data);
  return true;
}

bool GenericPlugin::readPreset(const std::string& path, PresetData& data, PresetLoadFailure& failure) {
  CollectionPresetLoader loader(&mParameters);
  const bool read = loader.read(path, sPresetFileVersion, data);
  failure = loader.failure();
  return read;
}

void GenericPlugin::applyPresetData(const PresetData& data) {
  CollectionPresetLoader loader(&mParameters);
  loader.apply(data);
}

bool GenericPlugin::loadPresetWithVersion(Preset* preset, int version, PresetLoadFailure* failure) {
  return mParameters.loadPreset(preset, version, failure);
}

bool GenericPlugin::loadPresetWithName(const std::string& name) {
  PresetManager* manager = getPresetManager(-1);
  if (!manager) return false;
  PresetScope scope(*this);
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
  if (!getPresetManager(-1)) return false;
  if (!isMainThread()) return applyProgramFromSnapshot(bank, program);
  // A host that renders on its main thread: the snapshot is brought up to
  // date here (reading only when the library was rescanned and no other
  // thread is reading it already), and the program change takes what it
  // holds, as on a render thread.
  PresetScope scope(*this);
  refreshPresetSnapshot();
  return applyProgramFromSnapshot(bank, program);
}

bool GenericPlugin::applyProgramFromSnapshot(int bank, int program) {
  // Off the main thread, the other side's count is looked at after this
  // flag is up, and it looks at this flag after its count is up: one of the
  // two sees the other. On the main thread the caller's own scope keeps
  // the others out.
  const bool mainThread = isMainThread();
  if (!mainThread) mRenderApplyingPreset.store(true);
  struct Lower {
    std::atomic<bool>* flag;
    ~Lower() {
      if (flag) flag->store(false);
    }
  } lower{mainThread ? nullptr : &mRenderApplyingPreset};
  // Another thread may replace the shared snapshot at any time; the one
  // held here is not deleted before this returns.
  const PresetSnapshotPublisher::Subscriber::Held held(mPresetSnapshots);
  const PresetLibrarySnapshot* snapshot = held.get();

  const PresetManager* manager = getPresetManager(-1);
  const bool loadInProgress = !mainThread && mPresetScopes.load() != 0;
  if (loadInProgress || !snapshot || snapshot->getGeneration() != manager->getGeneration()) {
    // A load on another thread is in progress, or the library was rescanned
    // and is being read again.
    deferProgramChange(bank, program);
    return false;
  }
  // This one supersedes any that waits.
  mDeferredProgramChange.store(-1, std::memory_order_relaxed);
  return applyProgramEntry(snapshot, bank, program);
}

bool GenericPlugin::applyProgramEntry(const PresetLibrarySnapshot* snapshot, int bank, int program) {
  const PresetLibrarySnapshot::Entry* entry = snapshot ? snapshot->find(bank, program) : nullptr;
  if (!entry) return false;
  if (entry->failure.kind != PresetLoadFailure::none) {
    // Refused when the library was read: the sound stays, and the user is
    // told (once per file), off the main thread through the hand-off.
    if (isMainThread())
      reportPresetFailure(entry->path, entry->failure);
    else if (mPresetFailureHandOff)
      mPresetFailureHandOff->publish(entry->path, entry->failure);
    return false;
  }
  beginParameterUpdate();
  applyPresetData(entry->data);
  endParameterUpdate();
  announcePreset(entry->name, entry->relativePath);
  return true;
}

void GenericPlugin::refreshPresetSnapshot() {
  if (!isMainThread()) return;
  if (PresetSnapshotPublisher* publisher = mPresetSnapshots.getPublisher()) publisher->refresh();
  // A rescan (on whichever thread) may have left folders out.
  reportNewLibraryScan();
}

void GenericPlugin::reportNewLibraryScan() {
  PresetManager* library = getPresetManager(-1);
  if (!library || !isMainThread()) return;
  const int64_t generation = library->getGeneration();
  if (generation == mReportedScanGeneration) return;
  // What the scan left out is read while no rescan swaps the tree; a busy
  // library is looked at again at the next idle.
  PresetManager::ReadAccess access(*library);
  if (!access) return;
  mReportedScanGeneration = generation;
  reportPresetLibraryScan(*library);
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
  PresetScope scope(*this);
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
