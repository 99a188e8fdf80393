#include "tools/host/CommandFiles.h"

#include "platform/ReplacedFile.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace simhost {
namespace {

namespace fs = std::filesystem;

// The path made absolute, with the links along it followed as far as it
// exists.
fs::path resolved(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return fs::path(path).lexically_normal();
  const fs::path canonical = fs::weakly_canonical(absolute, ec);
  return ec ? absolute.lexically_normal() : canonical;
}

bool identity(const fs::path& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

bool sameIdentity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Where a name leads: the file a write there would replace (a link at the
// end followed, as the writers follow it). A file there is known by its
// identity; a file not made yet by its folder's identity and its name, so
// that two ways to one folder (a bind mount, /proc/self/fd, a linked
// folder) meet; a file in no folder there is by its path.
struct Place {
  enum class Kind { File, New, Path } kind = Kind::Path;
  struct stat id {};
  std::string name;
  fs::path path;

  explicit Place(const std::string& given) {
    platform::ReplacedFile replaced;
    const std::string target = platform::findReplacedFile(given, replaced) ? replaced.path : given;
    if (identity(target, id)) {
      kind = Kind::File;
      return;
    }
    const size_t slash = target.rfind('/');
    name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    if (!name.empty() && name != "." && name != ".." && identity(folder, id) && S_ISDIR(id.st_mode)) {
      kind = Kind::New;
      return;
    }
    path = resolved(target);
  }

  bool operator==(const Place& other) const {
    if (kind != other.kind) return false;
    switch (kind) {
    case Kind::File: return sameIdentity(id, other.id);
    case Kind::New: return sameIdentity(id, other.id) && name == other.name;
    case Kind::Path: return path == other.path;
    }
    return false;
  }
};

// Every file and folder a bundle is made of, by identity: the bundle's
// tree with the links in it followed (its program or its resources may
// lie elsewhere), each place once. A bundle is a few hundred files; a link
// to somewhere vast is looked into no further than the bound.
class BundleFiles {
public:
  explicit BundleFiles(const std::string& bundle) { add(bundle); }

  bool holds(const struct stat& st) const { return mSeen.count({st.st_dev, st.st_ino}) != 0; }

  // Whether writing path would write over one of the bundle's files or put
  // a file into one of its folders.
  bool takes(const std::string& path) const {
    platform::ReplacedFile replaced;
    const std::string target = platform::findReplacedFile(path, replaced) ? replaced.path : path;
    for (fs::path at = resolved(target);; at = at.parent_path()) {
      struct stat st {};
      if (identity(at, st) && holds(st)) return true;
      if (!at.has_relative_path()) return false;
    }
  }

private:
  static constexpr size_t cMostPlaces = 20000;

  void add(const fs::path& path) {
    struct stat st {};
    if (mSeen.size() >= cMostPlaces || !identity(path, st) || !mSeen.insert({st.st_dev, st.st_ino}).second) return;
    if (!S_ISDIR(st.st_mode)) return;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) add(it->path());
  }

  std::set<std::pair<dev_t, ino_t>> mSeen;
};

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
  // Each folder read whole is walked once, when a written file first meets
  // it.
  std::vector<std::unique_ptr<BundleFiles>> folders(mFiles.size());
  for (size_t w = 0; w < mFiles.size(); ++w) {
    const Named& written = mFiles[w];
    if (written.use != Use::Write) continue;
    for (size_t o = 0; o < mFiles.size(); ++o) {
      const Named& other = mFiles[o];
      if (o == w || (other.use == Use::Write && o > w)) continue;
      if (other.use == Use::ReadFolder) {
        if (!folders[o]) folders[o] = std::make_unique<BundleFiles>(other.path);
        if (!folders[o]->takes(written.path)) continue;
        error = written.option + " and " + other.option + " overlap (" + written.path + " lies in " + other.path +
                "): the command would write over a file it reads; give " + written.option + " a place outside it";
        return false;
      }
      if ((other.use == Use::Read && allowed(other, written)) || !(Place(written.path) == Place(other.path))) continue;
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
