#include "tools/host/CommandFiles.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace simhost {
namespace {

namespace fs = std::filesystem;

// The path made absolute, with the links along it followed as far as it
// exists: two spellings of a place not made yet compare equal.
fs::path resolved(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return fs::path(path).lexically_normal();
  const fs::path canonical = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : canonical;
}

bool identity(const fs::path& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

bool sameIdentity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool oneFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  const bool hasA = identity(a, sa), hasB = identity(b, sb);
  if (hasA && hasB) return sameIdentity(sa, sb);
  return !hasA && !hasB && resolved(a) == resolved(b);
}

bool inFolder(const std::string& file, const std::string& folder) {
  struct stat sf {};
  if (!identity(folder, sf) || !S_ISDIR(sf.st_mode)) return false;
  for (fs::path at = resolved(file);; at = at.parent_path()) {
    struct stat st {};
    if (identity(at, st) && sameIdentity(st, sf)) return true;
    if (!at.has_relative_path()) return false;
  }
}

} // namespace

CommandFiles::CommandFiles(const std::string& bundle, const std::string& loadState, const std::string& saveState) {
  readsFolder("--bundle", bundle);
  reads("--load-state", loadState);
  writes("--save-state", saveState);
  allowSame("--load-state", "--save-state");
}

void CommandFiles::reads(const std::string& option, const std::string& path) {
  if (!path.empty()) mFiles.push_back({option, path, Use::Read});
}

void CommandFiles::readsFolder(const std::string& option, const std::string& path) {
  if (!path.empty()) mFiles.push_back({option, path, Use::ReadFolder});
}

void CommandFiles::writes(const std::string& option, const std::string& path) {
  if (!path.empty()) mFiles.push_back({option, path, Use::Write});
}

void CommandFiles::allowSame(const std::string& readOption, const std::string& writeOption) {
  mAllowed.emplace_back(readOption, writeOption);
}

bool CommandFiles::allowed(const Named& read, const Named& write) const {
  return std::find(mAllowed.begin(), mAllowed.end(), std::make_pair(read.option, write.option)) != mAllowed.end();
}

bool CommandFiles::check(std::string& error) const {
  for (size_t w = 0; w < mFiles.size(); ++w) {
    const Named& written = mFiles[w];
    if (written.use != Use::Write) continue;
    for (size_t o = 0; o < mFiles.size(); ++o) {
      const Named& other = mFiles[o];
      if (o == w || (other.use == Use::Write && o > w)) continue;
      if (other.use == Use::ReadFolder) {
        if (!inFolder(written.path, other.path)) continue;
        error = written.option + " and " + other.option + " overlap (" + written.path + " lies in " + other.path +
                "): the command would write over a file it reads; give " + written.option + " a place outside it";
        return false;
      }
      if ((other.use == Use::Read && allowed(other, written)) || !oneFile(written.path, other.path)) continue;
      const std::string file = written.path == other.path ? written.path : written.path + " is " + other.path;
      error = written.option + " and " + other.option + " name one file (" + file + "): " +
              (other.use == Use::Read ? "the command would write over a file it reads"
                                      : "one would replace the other") +
              "; give " + written.option + " another name";
      return false;
    }
  }
  return true;
}

} // namespace simhost
