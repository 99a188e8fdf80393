#pragma once

// One folder of a preset library: its sub-folders and its preset files, each
// list sorted, all owned by the folder. Scanning is bounded in real time,
// whatever clock the rest of the program reads: one deadline holds for the
// whole tree, and a sub-folder reached after it has passed is listed by
// name but empty; the root then tells where the scan stopped. Symbolic
// links are followed, but only once the library's own folders are all read,
// so that a link to a large tree cannot keep them from being listed; the
// folders reached through a link are marked as such. Neither a loop of
// links nor the system's own trees (/proc, /sys, /dev) can keep a scan
// going. Every entry with the extension that is no folder is a preset,
// FIFOs and devices too, so that the library can say why they do not
// load. A folder that cannot be read is listed empty, and the root tells
// which.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Preset;

class PresetFolder {
public:
  // extension: the preset files' extension with its dot, as ".qvp".
  PresetFolder(const std::string& path, const std::string& extension, int budgetMs);
  ~PresetFolder();
  PresetFolder(const PresetFolder&) = delete;
  PresetFolder& operator=(const PresetFolder&) = delete;

  // Rescans the folder. Every Preset and PresetFolder of the previous scan
  // is deleted. An empty path or a budget below 1 gives an empty folder that
  // still has its path and name.
  void initialize(const std::string& path, int budgetMs);
  // Deletes all sub-folders and presets.
  void clear();

  unsigned getFolderCount() const { return static_cast<unsigned>(mFolders.size()); }
  // The index is not checked.
  PresetFolder* getFolder(unsigned i) const { return mFolders[i].get(); }
  unsigned getPresetCount() const { return static_cast<unsigned>(mPresets.size()); }
  // The index is not checked.
  Preset* getPreset(unsigned i) const { return mPresets[i].get(); }

  // True when path is not empty and begins with this folder's path.
  bool containsPreset(const std::string& path) const;

  const std::string& getExtension() const { return mExtension; }
  // The folder's name without a leading '_'.
  const std::string& getName() const { return mName; }
  // True when the folder's name on disk began with '_'; such folders sort
  // before all others.
  bool isUnderscored() const { return mUnderscore; }
  // Ends in '/'; empty for an empty path.
  const std::string& getFolderPath() const { return mFolderPath; }
  // Whether the folder was reached through a symbolic link below the root
  // (it is one, or lies inside one).
  bool isLinked() const { return mLinked; }

  // Of the root, after a scan: the first folder the deadline kept from being
  // read ("" when the scan read everything), and the folders that could not
  // be read, each with the reason ("path: reason").
  const std::string& getScanStop() const { return mScanStop; }
  const std::vector<std::string>& getUnreadableFolders() const { return mUnreadable; }

protected:
  // Exchanges everything but the extension with other: path, name, flag
  // and both lists.
  void swapContents(PresetFolder& other);
  // Hands the two lists to other, leaving this folder's empty.
  void moveListsTo(PresetFolder& other);

private:
  struct FolderIdentity;
  struct ScanState;
  struct PendingLink;

  // An empty sub-folder, to be filled by scanTree.
  PresetFolder(const std::string& path, const std::string& extension, bool linked);
  // Names the folder after path and, unless the path is empty or there is
  // no budget, scans the tree below it.
  void scan(const std::string& path, int budgetMs);
  // Fills this folder (empty, named) and its own sub-folders, and hands the
  // links it meets to the state, to be read after the folders of the tree.
  void scanTree(const FolderIdentity& self, ScanState& state);
  void scanFolders(const FolderIdentity& self, ScanState& state);
  void scanPresets();
  // Sets the folder's path, and its name and flag from it.
  void setPath(const std::string& path);

  std::string mExtension;
  std::vector<std::unique_ptr<PresetFolder>> mFolders;
  std::string mName;
  std::vector<std::unique_ptr<Preset>> mPresets;
  bool mUnderscore = false;
  std::string mFolderPath;
  bool mLinked = false;
  std::string mScanStop;
  std::vector<std::string> mUnreadable;
};
