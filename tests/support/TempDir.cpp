#include "tests/support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace zarn::test {

TempDir::TempDir(const std::string& prefix, const std::string& parent) {
  const fs::path folder = parent.empty() ? fs::temp_directory_path() : fs::path(parent);
  std::string pattern = (folder / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  mPath = pattern;
}

namespace {

// Gives the owner back every right on the folders below path, which a test
// may have taken away (a folder that cannot be read), so they can go.
void openUp(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(path, ec))) return;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  for (const fs::directory_entry& entry : fs::directory_iterator(path, ec)) openUp(entry.path());
}

} // namespace

TempDir::~TempDir() {
  std::error_code ec;
  if (fs::remove_all(mPath, ec) != static_cast<std::uintmax_t>(-1) && !ec) return;
  openUp(mPath);
  fs::remove_all(mPath, ec);
}

std::string TempDir::file(const std::string& relative) const { return mPath + "/" + relative; }

void TempDir::write(const std::string& relative, const std::string& bytes) const {
  fs::path p = file(relative);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(const std::string& relative) const {
  std::ifstream in(file(relative), std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace zarn::test
