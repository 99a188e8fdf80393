#pragma once

#include <string>
#include <vector>

namespace zarn::test {

// A fresh folder under the system's temporary folder (or under parent, when
// one is given), removed with all its contents when the object is
// destroyed. Only its owner may enter it. path() has no trailing '/'.
class TempDir {
public:
  explicit TempDir(const std::string& prefix = "zarn", const std::string& parent = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return mPath; }
  // path() + "/" + relative
  std::string file(const std::string& relative) const;

  // Writes bytes to a file below the folder, creating missing folders.
  void write(const std::string& relative, const std::string& bytes) const;
  // Reads a whole file below the folder ("" when missing).
  std::string read(const std::string& relative) const;

private:
  std::string mPath;
};

// The names in folder (not "." and ".."), sorted; none when it cannot be
// read.
std::vector<std::string> namesIn(const std::string& folder);

} // namespace zarn::test
