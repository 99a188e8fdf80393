#pragma once

// Bundles: a folder that holds an executable (a shared object), an
// information file of key/value lines ("Info.txt", "Key=Value") and a
// "Resources" folder. Bundles are found by path or by identifier and live
// for the rest of the process once opened.

#include <string>

namespace platform {

class Bundle {
public:
  // The bundle at that folder, opened once per path; null when the folder
  // does not exist.
  static Bundle* open(const std::string& path);
  // A bundle opened before whose "CFBundleIdentifier" is id and whose
  // folder is still there; null if none. A bundle removed from the disk
  // stays open (callers keep its pointer) but is no longer found: a copy
  // installed in its place, or beside it, is the one that answers.
  static Bundle* findByIdentifier(const std::string& id);
  // The process's main bundle: the folder named by ZARN_MAIN_BUNDLE, else the
  // folder of the running executable.
  static Bundle* main();

  const std::string& path() const { return mPath; } // ends in '/'
  std::string resourcesPath() const;                // ends in '/'
  std::string identifier() const;

  // The text under key in the information file; false when missing.
  bool infoString(const std::string& key, std::string& value) const;
  // Full path of a resource (file or folder) directly in "Resources"; ""
  // when there is none.
  std::string resourcePath(const std::string& name) const;

  // Loads the bundle's executable (the one shared object named by the
  // information key "CFBundleExecutable", else the first "*.so") and looks a
  // function up by name; null when either fails.
  bool loadExecutable();
  void* function(const std::string& name);
  // Why the last loadExecutable failed, in words for the user: no program
  // in the folder, or the loader's reason; "" after a success.
  std::string loadFailure() const;
  // Whether that failure was a damaged program (the words then say to
  // reinstall), not a folder that is no bundle.
  bool programDamaged() const { return mProgramDamaged; }

  // Re-reads the information file (tests that write one after opening).
  void reload();

private:
  explicit Bundle(const std::string& path);
  std::string mPath;
  struct Info;
  Info* mInfo;
  void* mHandle = nullptr;
  std::string mLoadFailure;
  bool mProgramDamaged = false;
};

} // namespace platform

using BundleRef = platform::Bundle*;
