#include "base/PresetManager.h"

#include "base/PathUtils.h"
#include "base/PlatformServices.h"
#include "base/Preset.h"

#include <thread>

namespace {

// Visits the presets of the folders that are (or are not) reached through
// a link, in a post-order walk, until visit returns false; returns false
// when stopped. Recursion depth is the depth of the folder tree.
template <class Visit> bool walkFolders(const PresetFolder& folder, bool linked, Visit& visit) {
  for (unsigned i = 0; i < folder.getFolderCount(); ++i) {
    const PresetFolder& child = *folder.getFolder(i);
    // Everything below a link is reached through it.
    if (!linked && child.isLinked()) continue;
    if (!walkFolders(child, linked, visit)) return false;
  }
  if (folder.isLinked() == linked)
    for (unsigned i = 0; i < folder.getPresetCount(); ++i)
      if (!visit(folder.getPreset(i))) return false;
  return true;
}

// Visits every preset in library order until visit returns false; returns
// false when stopped.
template <class Visit> bool walkLibrary(const PresetFolder& root, Visit& visit) {
  return walkFolders(root, false, visit) && walkFolders(root, true, visit);
}

Preset* presetAt(const PresetFolder& root, int64_t index) {
  if (index < 0) return nullptr;
  Preset* result = nullptr;
  int64_t position = 0;
  auto visit = [&](Preset* preset) {
    if (position++ != index) return true;
    result = preset;
    return false;
  };
  walkLibrary(root, visit);
  return result;
}

void buildList(const PresetFolder& root, std::vector<Preset*>& list) {
  list.clear();
  auto visit = [&](Preset* preset) {
    list.push_back(preset);
    return true;
  };
  walkLibrary(root, visit);
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

PresetManager::ReadAccess::ReadAccess(const PresetManager& manager, Mode mode)
    : mManager(manager), mGranted(manager.tryBeginRead()) {
  while (!mGranted && mode == wait) {
    std::this_thread::yield();
    mGranted = manager.tryBeginRead();
  }
}

PresetManager::ReadAccess::~ReadAccess() {
  if (mGranted) mManager.endRead();
}

PresetManager::PresetManager(const std::string& path, const std::string& extension)
    : PresetFolder(path, extension, scanBudgetMs), mExtension(extension),
      mWriteLock(createCriticalSection()) {}

PresetManager::~PresetManager() { delete mWriteLock; }

void PresetManager::initialize(const std::string& path) {
  // Scanning and numbering happen off to the side; readers only ever see a
  // complete, numbered tree.
  PresetFolder fresh(path, mExtension, scanBudgetMs);
  std::vector<Preset*> list;
  buildList(fresh, list);
  for (size_t i = 0; i < list.size(); ++i)
    list[i]->setBankAndProgram(static_cast<int>(i / programsPerBank),
                               static_cast<int>(i % programsPerBank));
  replaceTree(fresh, false);
  notifyObservers();
  // fresh now holds the previous tree and deletes it here, after every
  // reader of it has left.
}

void PresetManager::clear() {
  PresetFolder empty(std::string(), mExtension, 0);
  replaceTree(empty, true);
  notifyObservers();
}

void PresetManager::addObserver(Observer* observer) {
  std::unique_lock<std::shared_mutex> lock(mObserverLock);
  mObservers.push_back(observer);
}

void PresetManager::removeObserver(Observer* observer) {
  std::unique_lock<std::shared_mutex> lock(mObserverLock);
  std::erase(mObservers, observer);
}

void PresetManager::notifyObservers() {
  std::shared_lock<std::shared_mutex> lock(mObserverLock);
  for (Observer* observer : mObservers) observer->presetLibraryReplaced(*this);
}

void PresetManager::replaceTree(PresetFolder& replacement, bool listsOnly) {
  mWriteLock->enter();
  mSwapping.store(true);
  while (mReaders.load() != 0) std::this_thread::yield();
  if (listsOnly) {
    moveListsTo(replacement);
  } else {
    swapContents(replacement);
  }
  mGeneration.fetch_add(1, std::memory_order_acq_rel);
  mSwapping.store(false);
  mWriteLock->leave();
}

bool PresetManager::tryBeginRead() const {
  // Sequentially consistent on both sides: either the reader sees the
  // rescan's flag, or the rescan sees the reader's count.
  if (mSwapping.load()) return false;
  mReaders.fetch_add(1);
  if (!mSwapping.load()) return true;
  mReaders.fetch_sub(1);
  return false;
}

void PresetManager::endRead() const { mReaders.fetch_sub(1); }

void PresetManager::buildPresetList(std::vector<Preset*>& list) const { buildList(*this, list); }

Preset* PresetManager::findPresetByBankAndProgram(int bank, int program) const {
  // 64-bit, so that no bank number wraps round onto a valid position.
  return presetAt(*this, static_cast<int64_t>(bank) * programsPerBank + program);
}

Preset* PresetManager::findPresetByName(const std::string& name) const {
  Preset* result = nullptr;
  auto visit = [&](Preset* preset) {
    if (preset->getName() != name) return true;
    result = preset;
    return false;
  };
  walkLibrary(*this, visit);
  return result;
}

Preset* PresetManager::findPresetByPath(const std::string& relativePath, FindOption option) const {
  if (option != findBefore && option != findAt && option != findAfter) return nullptr;
  const std::string& root = getFolderPath();
  int64_t position = 0;
  int64_t match = -1;
  auto visit = [&](Preset* preset) {
    // The full path is the root's path followed by relativePath.
    const std::string& path = preset->getPath();
    if (match < 0 && path.size() == root.size() + relativePath.size() && startsWith(path, root) &&
        path.compare(root.size(), std::string::npos, relativePath) == 0)
      match = position;
    ++position;
    return true;
  };
  walkLibrary(*this, visit);
  if (match < 0) return nullptr;
  const int64_t count = position;
  if (option == findBefore) return presetAt(*this, (match + count - 1) % count);
  if (option == findAfter) return presetAt(*this, (match + 1) % count);
  return presetAt(*this, match);
}

std::string PresetManager::getPresetPath(const Preset* preset) const {
  if (!preset) return std::string();
  const std::string& root = getFolderPath();
  // Only a leading root path makes the path relative; the same text further
  // inside the path is part of the preset's own name.
  if (startsWith(preset->getPath(), root)) return preset->getPath().substr(root.size());
  return preset->getPath();
}

std::string PresetManager::getFullPresetPath(const std::string& presetPath) const {
  if (presetPath.empty() || presetPath[0] == getPathDelimiter()) return presetPath;
  return getFolderPath() + presetPath;
}

PresetManager::LookupResult PresetManager::tryFindPresetByBankAndProgram(
    int bank, int program, Preset& copy, std::string& relativePath) const {
  ReadAccess access(*this, ReadAccess::tryOnly);
  if (!access) return busy;
  const Preset* preset = findPresetByBankAndProgram(bank, program);
  if (!preset) return notFound;
  copy = *preset;
  relativePath = getPresetPath(preset);
  return found;
}
