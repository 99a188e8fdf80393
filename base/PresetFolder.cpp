#include "base/PresetFolder.h"

#include "base/PathUtils.h"
#include "base/PlatformServices.h"
#include "base/Preset.h"
#include "base/TextUtils.h"

#include "platform/Clock.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <set>
#include <utility>

// What one scan of a tree remembers across its folders.
//
// Folders are told apart by device and inode, so that symbolic links cannot
// make the scan endless or explosive: a link back to a folder on the way
// down (a loop) is left out of the tree; a folder reached again by another
// link (the library may link one folder into several places) is listed
// again, with its presets and real sub-folders, but the links inside it are
// not followed a second time, so folders linked to each other in a lattice
// cost the scan no more than their number.
//
// The system's own trees (/proc, /sys, /dev) hold no presets but endless
// links and files that never end; they are never entered, wherever a link
// leads into them from.
struct PresetFolder::ScanState {
  using Identity = std::pair<dev_t, ino_t>;
  std::set<Identity> scanned;
  std::vector<dev_t> systemDevices;

  ScanState() {
    struct stat root;
    const bool rootKnown = ::stat("/", &root) == 0;
    for (const char* tree : {"/proc", "/sys", "/dev"}) {
      struct stat info;
      // A tree that is no file system of its own (a bare /dev in a
      // container) cannot be told apart by its device.
      if (::stat(tree, &info) == 0 && (!rootKnown || info.st_dev != root.st_dev))
        systemDevices.push_back(info.st_dev);
    }
  }

  bool isSystemTree(const std::string& folderPath, const struct stat& info) const {
    for (dev_t d : systemDevices)
      if (d == info.st_dev) return true;
    struct statfs fs;
    if (::statfs(folderPath.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0UL:     // proc
    case 0x62656572UL: // sysfs
    case 0x1cd1UL:     // devpts
    case 0x64626720UL: // debugfs
    case 0x74726163UL: // tracefs
    case 0x27e0ebUL:   // cgroup
    case 0x63677270UL: // cgroup2
      return true;
    default: return false;
    }
  }
};

// The folders on the way from the scan's root down to the folder being
// scanned.
struct PresetFolder::FolderIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;
  // Whether the links inside the folder are followed.
  bool followLinks = true;
  const FolderIdentity* parent = nullptr;

  bool isOnChain() const {
    if (!known) return false;
    for (const FolderIdentity* a = parent; a; a = a->parent)
      if (a->known && a->device == device && a->inode == inode) return true;
    return false;
  }
};

PresetFolder::PresetFolder(const std::string& path, const std::string& extension, int budgetMs)
    : mExtension(extension) {
  ScanState state;
  scan(path, budgetMs, nullptr, state, true);
}

PresetFolder::PresetFolder(const std::string& path, const std::string& extension, int budgetMs,
                           const FolderIdentity* ancestors, ScanState& state, bool followLinks)
    : mExtension(extension) {
  scan(path, budgetMs, ancestors, state, followLinks);
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

void PresetFolder::scan(const std::string& path, int budgetMs, const FolderIdentity* ancestors, ScanState& state,
                        bool followLinks) {
  // The budget is real time: a render runs the program's clock virtually,
  // standing still while the plug-in loads, and a budget read from that
  // clock would never run out.
  const int64_t startUs = platform::realMicroseconds();
  clear();
  mFolderPath = includeTrailingPathDelimiter(path);
  mName = getFileName(excludeTrailingPathDelimiter(mFolderPath));
  mUnderscore = !mName.empty() && mName[0] == '_';
  if (mUnderscore) mName.erase(0, 1);
  if (mFolderPath.empty() || budgetMs < 1) return;

  FolderIdentity self;
  self.parent = ancestors;
  struct stat info;
  if (::stat(mFolderPath.c_str(), &info) == 0) {
    if (state.isSystemTree(mFolderPath, info)) return;
    self.device = info.st_dev;
    self.inode = info.st_ino;
    self.known = true;
    // Scanned before in this scan: its links were followed then.
    self.followLinks = followLinks && state.scanned.insert({info.st_dev, info.st_ino}).second;
  }
  scanFolders(budgetMs, &self, state, startUs);
  // A folder's own presets are listed whatever time its sub-folders took.
  scanPresets();
}

void PresetFolder::scanFolders(int budgetMs, const FolderIdentity* self, ScanState& state, int64_t startUs) {
  struct Child {
    std::string name;
    bool underscore;
  };
  std::vector<Child> children;
  {
    std::unique_ptr<FileEnumerator> entries(
        createFileEnumerator(mFolderPath + "*", FileEnumerator::folders));
    while (entries->findNext()) {
      std::string name = entries->getFileName();
      if (name == "." || name == "..") continue;
      const bool underscore = name[0] == '_';
      children.push_back(Child{std::move(name), underscore});
    }
  }
  // Scanned in the order they are listed, whatever order the disk gives:
  // which folders the budget reaches, and which of two links to one folder
  // is followed first, are then the same on every machine.
  std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
    if (a.underscore != b.underscore) return a.underscore;
    return compareText(a.name.substr(a.underscore ? 1 : 0), b.name.substr(b.underscore ? 1 : 0)) < 0;
  });
  for (const Child& entry : children) {
    const std::string childPath = mFolderPath + entry.name;
    FolderIdentity child;
    child.parent = self;
    struct stat info;
    if (::stat(childPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
    child.device = info.st_dev;
    child.inode = info.st_ino;
    child.known = true;
    if (child.isOnChain() || state.isSystemTree(childPath, info)) continue;
    struct stat link;
    const bool isLink = ::lstat(childPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    if (isLink && !self->followLinks) continue;
    const int64_t left = static_cast<int64_t>(budgetMs) - (platform::realMicroseconds() - startUs) / 1000;
    const int childBudget = left < 1 ? 0 : static_cast<int>(std::min<int64_t>(left, INT_MAX));
    std::unique_ptr<PresetFolder> folder(
        new PresetFolder(childPath, mExtension, childBudget, self, state, self->followLinks));
    mFolders.push_back(folder.get());
    folder.release();
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
