#pragma once

// One folder of a preset library: its sub-folders and its preset files, each
// list sorted, all owned by the folder. Scanning is bounded in real time,
// whatever clock the rest of the program reads: a folder hands what is left
// of its budget down to each sub-folder it scans, and a sub-folder reached
// after the budget ran out is listed by name but empty. Symbolic links are
// followed, but neither a loop of links nor the system's own trees (/proc,
// /sys, /dev) can keep a scan going; only regular files are presets.

#include <cstdint>
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
  PresetFolder* getFolder(unsigned i) const { return mFolders[i]; }
  unsigned getPresetCount() const { return static_cast<unsigned>(mPresets.size()); }
  // The index is not checked.
  Preset* getPreset(unsigned i) const { return mPresets[i]; }

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

protected:
  // Exchanges everything but the extension with other: path, name, flag
  // and both lists.
  void swapContents(PresetFolder& other);
  // Hands the two lists to other, leaving this folder's empty.
  void moveListsTo(PresetFolder& other);

private:
  struct FolderIdentity;
  struct ScanState;

  PresetFolder(const std::string& path, const std::string& extension, int budgetMs,
               const FolderIdentity* ancestors, ScanState& state, bool followLinks);
  // Fills an empty folder.
  void scan(const std::string& path, int budgetMs, const FolderIdentity* ancestors, ScanState& state,
            bool followLinks);
  // startUs: the real clock when this folder's scan began.
  void scanFolders(int budgetMs, const FolderIdentity* self, ScanState& state, int64_t startUs);
  void scanPresets();

  std::string mExtension;
  std::vector<PresetFolder*> mFolders;
  std::string mName;
  std::vector<Preset*> mPresets;
  bool mUnderscore = false;
  std::string mFolderPath;
};
