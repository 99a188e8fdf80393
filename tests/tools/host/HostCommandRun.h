#pragma once
// Runs a zarn-host command in the test's process and keeps what it said.

#include "tools/host/RenderCommand.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace hosttest {

struct Result {
  int status = 0;
  std::string out, err;
};

inline Result run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Result r;
  r.status = simhost::runHostCommand(args, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// A folder of the user's library (in the test's home, beside the folder of
// the factory preset "Sub Bass"), removed with what it holds at the end.
// The factory presets must be in place (the plug-in's first run).
class LibraryFolder {
public:
  explicit LibraryFolder(const std::string& name) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::getenv("HOME")))
      if (entry.path().filename() == "Sub Bass.qvp") mSubBass = entry.path();
    if (mSubBass.empty()) return;
    mPath = mSubBass.parent_path().parent_path() / name;
    std::filesystem::create_directory(mPath);
  }
  ~LibraryFolder() {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  LibraryFolder(const LibraryFolder&) = delete;
  LibraryFolder& operator=(const LibraryFolder&) = delete;

  // Empty when the factory presets are not in place.
  const std::filesystem::path& path() const { return mPath; }
  const std::filesystem::path& subBass() const { return mSubBass; }

private:
  std::filesystem::path mSubBass;
  std::filesystem::path mPath;
};

} // namespace hosttest
