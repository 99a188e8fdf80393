#include "tests/support/TempDir.h"

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

TempDir::~TempDir() {
  std::error_code ec;
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

} // namespace zarn::test
