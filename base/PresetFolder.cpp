#include "base/PresetFolder.h"

#include "base/PathUtils.h"
#include "base/PlatformServices.h"
#include "base/Preset.h"
#include "base/TextUtils.h"

#include "platform/Clock.h"
#include "platform/SystemTrees.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <utility>

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

  // The folders from the root down to this one, copied to wait with a link:
  // their parents are left unset.
  std::vector<FolderIdentity> chain() const {
    std::vector<FolderIdentity> folders;
    for (const FolderIdentity* f = this; f; f = f->parent) folders.push_back(*f);
    std::reverse(folders.begin(), folders.end());
    for (FolderIdentity& f : folders) f.parent = nullptr;
    return folders;
  }
};

// A link met while its tree was read, waiting for the library's own folders
// (and the links met before it) to be read first.
struct PresetFolder::PendingLink {
  PresetFolder* folder;
  // The folders from the root down to the one that holds the link.
  std::vector<FolderIdentity> chain;
  // The folder the link leads to.
  FolderIdentity target;
};

// What one scan of a tree remembers across its folders.
//
// Folders are told apart by device and inode, so that symbolic links cannot
// make the scan endless or explosive: a link back to a folder on the way
// down (a loop) is left out of the tree; a folder reached again by another
// link (the library may link one folder into several places) is listed
// again, with its presets and real sub-folders, but the links inside it are
// not followed a second time, so folders linked to each other in a lattice
// cost the scan no more than their number.
struct PresetFolder::ScanState {
  using Identity = std::pair<dev_t, ino_t>;
  int64_t deadlineUs = 0;
  std::set<Identity> scanned;
  platform::SystemTrees systemTrees;
  std::deque<PendingLink> links;
  std::string stop;
  std::vector<std::string> unreadable;

  bool timeLeft() const { return platform::realMicroseconds() < deadlineUs; }
  // A folder the deadline keeps from being read: the first one is said.
  void stopAt(const std::string& folderPath) {
    if (stop.empty()) stop = excludeTrailingPathDelimiter(folderPath);
  }
};

PresetFolder::PresetFolder(const std::string& path, const std::string& extension, int budgetMs)
    : mExtension(extension) {
  scan(path, budgetMs);
}

PresetFolder::PresetFolder(const std::string& path, const std::string& extension, bool linked)
    : mExtension(extension), mLinked(linked) {
  setPath(path);
}

PresetFolder::~PresetFolder() { clear(); }

void PresetFolder::initialize(const std::string& path, int budgetMs) {
  // The new tree is built beside the old one and then takes its place, so
  // this folder is never seen half scanned.
  PresetFolder fresh(path, mExtension, budgetMs);
  swapContents(fresh);
}

void PresetFolder::clear() {
  mFolders.clear();
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
  std::swap(mLinked, other.mLinked);
  std::swap(mScanStop, other.mScanStop);
  std::swap(mUnreadable, other.mUnreadable);
}

void PresetFolder::moveListsTo(PresetFolder& other) {
  other.clear();
  std::swap(mFolders, other.mFolders);
  std::swap(mPresets, other.mPresets);
  std::swap(mScanStop, other.mScanStop);
  std::swap(mUnreadable, other.mUnreadable);
}

void PresetFolder::setPath(const std::string& path) {
  mFolderPath = includeTrailingPathDelimiter(path);
  mName = getFileName(excludeTrailingPathDelimiter(mFolderPath));
  mUnderscore = !mName.empty() && mName[0] == '_';
  if (mUnderscore) mName.erase(0, 1);
}

void PresetFolder::scan(const std::string& path, int budgetMs) {
  // The budget is real time: a render runs the program's clock virtually,
  // standing still while the plug-in loads, and a budget read from that
  // clock would never run out.
  const int64_t startUs = platform::realMicroseconds();
  clear();
  setPath(path);
  mLinked = false;
  mScanStop.clear();
  mUnreadable.clear();
  if (mFolderPath.empty() || budgetMs < 1) return;

  ScanState state;
  state.deadlineUs = startUs + int64_t(budgetMs) * 1000;
  FolderIdentity self;
  struct stat info;
  if (::stat(mFolderPath.c_str(), &info) == 0) {
    if (state.systemTrees.contains(mFolderPath, info.st_dev)) return;
    self.device = info.st_dev;
    self.inode = info.st_ino;
    self.known = true;
    state.scanned.insert({info.st_dev, info.st_ino});
  }
  scanTree(self, state);
  // Then the linked trees, in the order their links were met; the links
  // inside one wait in turn for its own folders.
  while (!state.links.empty()) {
    PendingLink link = std::move(state.links.front());
    state.links.pop_front();
    if (!state.timeLeft()) {
      state.stopAt(link.folder->mFolderPath);
      continue;
    }
    for (size_t i = 1; i < link.chain.size(); ++i) link.chain[i].parent = &link.chain[i - 1];
    link.target.parent = link.chain.empty() ? nullptr : &link.chain.back();
    // Reached before in this scan: its links were followed then.
    link.target.followLinks = state.scanned.insert({link.target.device, link.target.inode}).second;
    link.folder->scanTree(link.target, state);
  }
  mScanStop = std::move(state.stop);
  mUnreadable = std::move(state.unreadable);
}

void PresetFolder::scanTree(const FolderIdentity& self, ScanState& state) {
  if (::access(mFolderPath.c_str(), R_OK | X_OK) != 0) {
    state.unreadable.push_back(excludeTrailingPathDelimiter(mFolderPath) + ": " + std::strerror(errno));
    return;
  }
  scanFolders(self, state);
  // A folder's own presets are listed whatever time its sub-folders took.
  scanPresets();
}

void PresetFolder::scanFolders(const FolderIdentity& self, ScanState& state) {
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
    child.parent = &self;
    struct stat info;
    if (::stat(childPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
    child.device = info.st_dev;
    child.inode = info.st_ino;
    child.known = true;
    if (child.isOnChain() || state.systemTrees.contains(childPath, info.st_dev)) continue;
    struct stat link;
    const bool isLink = ::lstat(childPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    if (isLink && !self.followLinks) continue;
    PresetFolder* folder =
        mFolders.emplace_back(new PresetFolder(childPath, mExtension, mLinked || isLink)).get();
    if (isLink) {
      state.links.push_back(PendingLink{folder, self.chain(), child});
    } else if (!state.timeLeft()) {
      state.stopAt(folder->mFolderPath);
    } else {
      // Reached before in this scan (through a link): its links were
      // followed then.
      child.followLinks = self.followLinks && state.scanned.insert({info.st_dev, info.st_ino}).second;
      folder->scanTree(child, state);
    }
  }
  std::sort(mFolders.begin(), mFolders.end(), [](const auto& a, const auto& b) {
    if (a->mUnderscore != b->mUnderscore) return a->mUnderscore;
    return compareText(a->mName, b->mName) < 0;
  });
}

void PresetFolder::scanPresets() {
  // What is named as a preset but is no file (a FIFO, a link to a device)
  // is listed all the same: its loader refuses it without opening it to
  // read, and the user sees it with that reason, as a damaged preset,
  // instead of missing it without a word.
  std::unique_ptr<FileEnumerator> entries(
      createFileEnumerator(mFolderPath + "*" + mExtension, FileEnumerator::notFolders));
  while (entries->findNext()) mPresets.push_back(std::make_unique<Preset>(mFolderPath + entries->getFileName()));
  std::sort(mPresets.begin(), mPresets.end(), [](const auto& a, const auto& b) {
    return compareText(a->getName(), b->getName()) < 0;
  });
}
