#include "base/PresetFolder.h"

#include "base/PathUtils.h"
#include "base/PlatformServices.h"
#include "base/Preset.h"
#include "base/TextUtils.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <utility>

// The folders on the way from the scan's root down to the folder being
// scanned. A symbolic link inside the library that points back to one of
// them would otherwise make the scan descend into the same folders again and
// again, so such a link is left out of the tree.
struct PresetFolder::FolderIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;
  const FolderIdentity* parent = nullptr;

  static FolderIdentity of(const std::string& folderPath, const FolderIdentity* parent) {
    FolderIdentity id;
    id.parent = parent;
    struct stat info;
    if (!folderPath.empty() && stat(folderPath.c_str(), &info) == 0) {
      id.device = info.st_dev;
      id.inode = info.st_ino;
      id.known = true;
    }
    return id;
  }

  bool isOnChain() const {
    if (!known) return false;
    for (const FolderIdentity* a = parent; a; a = a->parent)
      if (a->known && a->device == device && a->inode == inode) return true;
    return false;
  }
};

PresetFolder::PresetFolder(const std::string& path, const std::string& extension, int budgetMs)
    : mExtension(extension) {
  scan(path, budgetMs, nullptr);
}

PresetFolder::PresetFolder(const std::string& path, const std::string& extension, int budgetMs,
                           const FolderIdentity* ancestors)
    : mExtension(extension) {
  scan(path, budgetMs, ancestors);
}

PresetFolder::~PresetFolder() { clear(); }

void PresetFolder::initialize(const std::string& path, int budgetMs) {
  // The new tree is built beside the old one and then takes its place, so
  // this folder is never seen half scanned.
  PresetFolder fresh(path, mExtension, budgetMs);
  swapContents(fresh);
}

void PresetFolder::clear() {
  for (PresetFolder* folder : mFolders) delete folder;
  mFolders.clear();
  for (Preset* preset : mPresets) delete preset;
  mPresets.clear();
}

bool PresetFolder::containsPreset(const std::string& path) const {
  return !path.empty() && path.compare(0, mFolderPath.size(), mFolderPath) == 0;
}

void PresetFolder::swapContents(PresetFolder& other) {
  std::swap(mFolders, other.mFolders);
  std::swap(mName, other.mName);
  std::swap(mPresets, other.mPresets);
  std::swap(mUnderscore, other.mUnderscore);
  std::swap(mFolderPath, other.mFolderPath);
}

void PresetFolder::moveListsTo(PresetFolder& other) {
  other.clear();
  std::swap(mFolders, other.mFolders);
  std::swap(mPresets, other.mPresets);
}

void PresetFolder::scan(const std::string& path, int budgetMs, const FolderIdentity* ancestors) {
  std::unique_ptr<IntervalTimer> timer(createIntervalTimer());
  clear();
  mFolderPath = includeTrailingPathDelimiter(path);
  mName = getFileName(excludeTrailingPathDelimiter(mFolderPath));
  mUnderscore = !mName.empty() && mName[0] == '_';
  if (mUnderscore) mName.erase(0, 1);
  if (mFolderPath.empty() || budgetMs < 1) return;

  const FolderIdentity self = FolderIdentity::of(mFolderPath, ancestors);
  scanFolders(budgetMs, &self, *timer);
  // A folder's own presets are listed whatever time its sub-folders took.
  scanPresets();
}

void PresetFolder::scanFolders(int budgetMs, const FolderIdentity* self, IntervalTimer& timer) {
  std::unique_ptr<FileEnumerator> entries(
      createFileEnumerator(mFolderPath + "*", FileEnumerator::folders));
  while (entries->findNext()) {
    const std::string name = entries->getFileName();
    if (name == "." || name == "..") continue;
    const std::string childPath = mFolderPath + name;
    if (FolderIdentity::of(childPath, self).isOnChain()) continue;
    const int64_t left = static_cast<int64_t>(budgetMs) - timer.getElapsed();
    const int childBudget = left < 1 ? 0 : static_cast<int>(std::min<int64_t>(left, INT_MAX));
    std::unique_ptr<PresetFolder> child(new PresetFolder(childPath, mExtension, childBudget, self));
    mFolders.push_back(child.get());
    child.release();
  }
  std::sort(mFolders.begin(), mFolders.end(), [](const PresetFolder* a, const PresetFolder* b) {
    if (a->mUnderscore != b->mUnderscore) return a->mUnderscore;
    return compareText(a->mName, b->mName) < 0;
  });
}

void PresetFolder::scanPresets() {
  std::unique_ptr<FileEnumerator> entries(
      createFileEnumerator(mFolderPath + "*" + mExtension, FileEnumerator::files));
  while (entries->findNext()) {
    std::unique_ptr<Preset> preset(new Preset(mFolderPath + entries->getFileName()));
    mPresets.push_back(preset.get());
    preset.release();
  }
  std::sort(mPresets.begin(), mPresets.end(), [](const Preset* a, const Preset* b) {
    return compareText(a->getName(), b->getName()) < 0;
  });
}
