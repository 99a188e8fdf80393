#include "platform/PreferencesStore.h"

#include "platform/Alerts.h"
#include "platform/FileKeeping.h"
#include "platform/RegularFile.h"
#include "platform/ReplacingFile.h"
#include "platform/StandardFolders.h"
#include "platform/TemporaryFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

const char* const cHeaderName = "QuorvanePreferences";
constexpr int cVersion = 1;
const char* const cEnd = "end";
const char* const cExtension = ".prefs";
// Anything larger is not a preferences file of ours.
constexpr std::streamoff cMaxFileSize = 16 << 20;

bool mustEscape(unsigned char c) { return c < 0x21 || c == 0x7F || c == '%'; }

std::string escape(const std::string& s) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (mustEscape(c)) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unescape(const std::string& s, std::string& out) {
  out.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      if (mustEscape(static_cast<unsigned char>(s[i]))) return false;
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool validDomain(const std::string& domain) {
  if (domain.empty() || domain == "." || domain == "..") return false;
  for (unsigned char c : domain)
    if (c < 0x20 || c == 0x7F || c == '/') return false;
  return true;
}

// Makes the folder and those above it that are missing. False with why
// when one could not be made: "FOLDER: why", the folder mkdir refused and
// its own error, so that a home that takes no new folder is said as such,
// not as the missing file that follows from it.
bool makeFolders(const std::string& path, std::string& failure) {
  struct stat st;
  const bool there = ::stat(path.c_str(), &st) == 0;
  if (there && S_ISDIR(st.st_mode)) return true;
  // Only a folder that is missing needs the ones above it; one below a
  // file, or a file itself, is refused by mkdir as such.
  const size_t slash = path.rfind('/');
  if (!there && errno == ENOENT && slash != std::string::npos && slash > 0 &&
      !makeFolders(path.substr(0, slash), failure))
    return false;
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  int error = errno;
  if (error == EEXIST) {
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true; // made meanwhile
    error = ENOTDIR;
  }
  failure = path + ": " + std::strerror(error);
  return false;
}

// Whether a regular file can be read at path.
bool readableFile(const std::string& path) { return static_cast<bool>(openRegularFile(path)); }

// Held while a store reads its file again, merges and replaces it: two
// processes ending at once would otherwise each merge into the file as it
// was before the other's write, and the later rename would drop the
// earlier one's changes. The lock file is there only while it is held: its
// holder removes it before letting go, and a process that got the lock of
// a file no longer under that name (removed meanwhile) tries again. The
// wait is bounded, so that a process that hangs holding the lock does not
// hang every other one; without the lock nothing is written.
class FileLock {
public:
  enum class Outcome { held, busy, failed };

  explicit FileLock(std::string path) : mPath(std::move(path)) {
    // The wait is measured on the clock, not counted in tries: on a busy
    // machine each pause oversleeps, and 300 of them took well beyond the
    // seconds the error message promises.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(cWaitSeconds);
    for (;;) {
      mFd.reset(::open(mPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
      if (!mFd) break;
      struct stat held, named;
      if (::fstat(mFd.get(), &held) != 0 || !S_ISREG(held.st_mode)) break;
      if (::flock(mFd.get(), LOCK_EX | LOCK_NB) == 0) {
        if (::stat(mPath.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
          mOutcome = Outcome::held;
          return;
        }
      } else if (errno != EWOULDBLOCK && errno != EINTR) {
        break;
      }
      mFd.reset();
      mOutcome = Outcome::busy;
      const auto now = std::chrono::steady_clock::now();
      if (now >= giveUp) break;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(cLockPause, giveUp - now));
    }
    if (mOutcome != Outcome::busy) mError = errno;
    mFd.reset();
  }
  ~FileLock() {
    if (!mFd) return;
    ::unlink(mPath.c_str());
    mFd.reset(); // lets go of the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  Outcome outcome() const { return mOutcome; }
  // Why the lock could not be made, when the outcome is failed.
  int error() const { return mError; }
  static constexpr int cWaitSeconds = 3;

private:
  static constexpr std::chrono::milliseconds cLockPause{10};
  std::string mPath;
  FileDescriptor mFd;
  Outcome mOutcome = Outcome::failed;
  int mError = 0;
};

std::mutex sKeptMutex; // guards keptChanges()

} // namespace

PreferencesStore::PreferencesStore(const std::string& domain) {
  const std::string where = folder();
  if (validDomain(domain) && !where.empty()) mFile = where + "/" + domain + cExtension;
  reload();
  if (mFile.empty()) return;
  std::lock_guard<std::mutex> guard(sKeptMutex);
  const auto kept = keptChanges().find(mFile);
  if (kept != keptChanges().end()) mChanges = kept->second;
}

std::map<std::string, PreferencesStore::Values>& PreferencesStore::keptChanges() {
  static auto* kept = new std::map<std::string, Values>();
  return *kept;
}

void PreferencesStore::keepUnwritten() const {
  std::lock_guard<std::mutex> guard(sKeptMutex);
  Values& kept = keptChanges()[mFile];
  for (const auto& [key, v] : mChanges) kept[key] = v;
}

void PreferencesStore::forgetWritten() const {
  std::lock_guard<std::mutex> guard(sKeptMutex);
  const auto kept = keptChanges().find(mFile);
  if (kept == keptChanges().end()) return;
  // A key kept since with another value is still to be written.
  for (const auto& [key, v] : mChanges) {
    const auto same = kept->second.find(key);
    if (same != kept->second.end() && same->second == v) kept->second.erase(same);
  }
  if (kept->second.empty()) keptChanges().erase(kept);
}

std::string PreferencesStore::folder() {
  std::string f;
  return findStandardFolder(StandardFolder::configuration, f) ? f : std::string();
}

void PreferencesStore::reload() {
  mValues.clear();
  mFileState = FileState::fine;
  if (mFile.empty()) return;
  // A folder or a device under that name is no file to read or keep.
  // (Opened without waiting: a FIFO would block until a writer came.)
  const auto stream = newRegularFileStream(mFile);
  std::istream& in = *stream;
  if (!in) return;
  std::ostringstream content;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || size > cMaxFileSize) {
    // Not a preferences file of ours: nothing is read, and it is kept
    // beside the new one when the store is written.
    mFileState = FileState::damaged;
    return;
  }
  in.seekg(0);
  content << in.rdbuf();
  mFileState = parse(content.str(), mValues);
}

PreferencesStore::FileState PreferencesStore::parse(const std::string& content, Values& values) {
  // Line by line: a line that is not understood is skipped and the rest is
  // read, so one bad line never costs the user every other setting. Every
  // line, the last one included, ends in '\n': a last line without it was
  // cut short and its value may be too, so it is not taken.
  FileState state = FileState::fine;
  size_t pos = 0;
  bool headerSeen = false, endSeen = false;
  while (pos < content.size()) {
    size_t eol = content.find('\n', pos);
    if (eol == std::string::npos) {
      state = FileState::damaged;
      break;
    }
    std::string line = content.substr(pos, eol - pos);
    pos = eol + 1;
    if (!headerSeen) {
      headerSeen = true;
      int version = 0;
      const std::string prefix = std::string(cHeaderName) + " ";
      if (line.compare(0, prefix.size(), prefix) == 0) {
        const char* first = line.data() + prefix.size();
        auto [end, ec] = std::from_chars(first, line.data() + line.size(), version);
        if (ec != std::errc() || end != line.data() + line.size()) version = 0;
      }
      if (version == cVersion) continue;
      if (version > cVersion) {
        // A newer version's file: what this version understands is read,
        // and the file is never rewritten by it.
        state = FileState::newer;
        continue;
      }
      state = FileState::damaged; // no header: the line may still be an entry
    }
    if (line == cEnd) {
      if (endSeen && state == FileState::fine) state = FileState::damaged;
      endSeen = true;
      continue;
    }
    std::string key;
    Value v;
    if (parseEntry(line, key, v)) {
      if (endSeen && state == FileState::fine) state = FileState::damaged; // nothing may follow the end
      values[key] = v;
    } else if (state != FileState::newer) {
      state = FileState::damaged;
    }
  }
  if (!endSeen && state == FileState::fine) state = FileState::damaged;
  return state;
}

bool PreferencesStore::parseEntry(const std::string& line, std::string& key, Value& v) {
  // "<type> <key> <value>", single blanks; escaping keeps blanks out of keys
  // and values.
  if (line.size() < 3 || line[1] != ' ') return false;
  size_t blank = line.find(' ', 2);
  if (blank == std::string::npos || line.find(' ', blank + 1) != std::string::npos) return false;
  if (!unescape(line.substr(2, blank - 2), key)) return false;
  std::string raw = line.substr(blank + 1);
  if (line[0] == 'i') {
    v.type = Value::integer;
    auto [end, ec] = std::from_chars(raw.data(), raw.data() + raw.size(), v.number);
    return ec == std::errc() && end == raw.data() + raw.size() && !raw.empty();
  }
  if (line[0] == 's') {
    v.type = Value::string;
    return unescape(raw, v.text);
  }
  return false;
}

std::string PreferencesStore::format(const Values& values) {
  std::string out = std::string(cHeaderName) + " " + std::to_string(cVersion) + "\n";
  for (const auto& [key, v] : values) {
    if (v.type == Value::integer) {
      char buffer[16];
      auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v.number);
      (void)ec; // 16 characters always hold an int32
      out += "i " + escape(key) + " " + std::string(buffer, end) + "\n";
    } else if (v.type == Value::string) {
      out += "s " + escape(key) + " " + escape(v.text) + "\n";
    }
  }
  out += std::string(cEnd) + "\n";
  return out;
}

const PreferencesStore::Value* PreferencesStore::find(const std::string& key) const {
  auto c = mChanges.find(key);
  if (c != mChanges.end()) return c->second.type == Value::removed ? nullptr : &c->second;
  auto v = mValues.find(key);
  return v == mValues.end() ? nullptr : &v->second;
}

bool PreferencesStore::getInteger(const std::string& key, int32_t& value) const {
  const Value* v = find(key);
  if (!v || v->type != Value::integer) return false;
  value = v->number;
  return true;
}

bool PreferencesStore::getString(const std::string& key, std::string& value) const {
  const Value* v = find(key);
  if (!v || v->type != Value::string) return false;
  value = v->text;
  return true;
}

void PreferencesStore::setInteger(const std::string& key, int32_t value) {
  Value v;
  v.type = Value::integer;
  v.number = value;
  mChanges[key] = v;
}

void PreferencesStore::setString(const std::string& key, const std::string& value) {
  Value v;
  v.type = Value::string;
  v.text = value;
  mChanges[key] = v;
}

void PreferencesStore::remove(const std::string& key) {
  Value v;
  v.type = Value::removed;
  mChanges[key] = v;
}

bool PreferencesStore::synchronize() {
  // Waiting again at once for the same changes would end the same way (a
  // writer's destructor commits once more after its failed save).
  if (mLockMissed && mChanges == mLockMissedChanges) return false;
  mLastError.clear();
  if (mChanges.empty()) return true;
  if (mFile.empty()) {
    mLastError = folder().empty() ? "no configuration folder is known for this user"
                                  : "the settings domain names no file";
    return false;
  }
  // Merge into the file as it is now: another writer may have stored other
  // keys since this store read it.
  const size_t slash = mFile.rfind('/');
  const std::string dir = mFile.substr(0, slash);
  if (!dir.empty() && !makeFolders(dir, mLastError)) {
    keepUnwritten();
    return false;
  }
  FileLock lock(dir + "/." + mFile.substr(slash + 1) + ".lock");
  if (lock.outcome() != FileLock::Outcome::held) {
    if (lock.outcome() == FileLock::Outcome::busy) {
      mLastError = "another process has held the file's lock for more than " +
                   std::to_string(FileLock::cWaitSeconds) +
                   " seconds; the changes are kept and written with the next save";
      mLockMissed = true;
      mLockMissedChanges = mChanges;
    } else {
      mLastError = dir + ": " + std::strerror(lock.error() ? lock.error() : EIO);
    }
    keepUnwritten();
    return false;
  }
  mLockMissed = false;
  reload();
  if (mFileState == FileState::newer) {
    mLastError = "the file was written by a newer version and is left as it is";
    return false;
  }
  Values merged = mValues;
  for (const auto& [key, v] : mChanges) {
    if (v.type == Value::removed)
      merged.erase(key);
    else
      merged[key] = v;
  }
  if (merged != mValues || mFileState == FileState::damaged || !readableFile(mFile)) {
    std::string damagedCopy;
    if (mFileState == FileState::damaged) {
      // What could not be read may matter to the user: it stays beside,
      // and so does what an earlier damage left there.
      std::string reason;
      if (!keepCopyBeside(mFile, mFile + ".damaged", damagedCopy, &reason)) {
        mLastError = "the damaged file could not be kept as " + mFile + ".damaged: " + reason;
        return false;
      }
    }
    if (!writeAtomically(format(merged))) return false;
    if (mFileState == FileState::damaged)
      showAlert("The preferences file " + mFile + " was damaged. The settings that could be read were kept; "
                "the damaged file was kept as " + damagedCopy + ".");
  }
  forgetWritten();
  mValues.swap(merged);
  mFileState = FileState::fine;
  mChanges.clear();
  return true;
}

bool PreferencesStore::writeAtomically(const std::string& content) const {
  size_t slash = mFile.rfind('/');
  std::string dir = mFile.substr(0, slash);
  if (!dir.empty() && !makeFolders(dir, mLastError)) return false;
  // A link at the file's name (a dotfiles set-up) stays a link; a new file
  // is the user's own.
  ReplacingFile file;
  if (file.create(mFile, 0600) && file.writeAll(content.data(), content.size()) && file.commit()) return true;
  mLastError = file.failedAt() + ": " + file.reason();
  return false;
}

} // namespace platform
