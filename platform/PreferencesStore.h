#pragma once

// The per-user preferences store: one file per settings domain in the
// user's configuration folder ($XDG_CONFIG_HOME, else ~/.config), holding
// typed values (32-bit integers and strings) under text keys.
//
// A store reads its file once when made. Changes are kept in memory until
// synchronize(), which merges them into what is on disk at that moment (so
// two writers of different keys do not undo each other; a hidden lock file
// beside it, ".<file>.lock", there only while a store merges, keeps two
// processes from merging at once) and replaces the file atomically through
// the program's one writer of a user's file (platform/ReplacingFile.h): the
// new content goes to a temporary file beside it, which is then renamed
// over the old one. An interrupted write never leaves half a file; a link
// at the file's name (a dotfiles set-up) stays a link, the file it names
// keeps its mode, and what is there must be a regular file or nothing.
//
// The file is never written without the lock: a writer that went ahead
// while the holder stalled (a slow disk's fsync is enough) would have its
// keys written over by the holder's rename. When the lock does not come
// within a few seconds the write fails and its changes are kept for the
// process: every store of the same domain made afterwards starts with
// them, so the next write carries them and nothing is lost.
//
// The file is read line by line: a line that is not understood is skipped
// and every other one is read, keys this version does not know included,
// which are written back as they were. A file with such lines, cut short
// or with no header is damaged: when it is next written, the damaged file is
// first kept beside it as "<file>.damaged" (or, when a copy kept before
// holds other bytes there, the first free one of "<file>.damaged-2",
// "<file>.damaged-3", ...) and the alert handler says so once, naming it.
// A file of a newer version is read as far as it is understood and never
// rewritten: writing it fails with a reason.
//
// File layout, text, one entry per line, numbers in the "C" form:
//   "QuorvanePreferences 1"
//   "i <key> <decimal int32>" or "s <key> <value>"
//   "end"
// Keys and string values escape every byte below 0x21, 0x7F and '%' as
// "%XX" (two upper-case hex digits); other bytes stand as they are.

#include <cstdint>
#include <map>
#include <string>

namespace platform {

class PreferencesStore {
public:
  // An empty domain, one holding '/', NUL or a control character, or "." and
  // ".." can name no file: such a store holds nothing and cannot be written.
  explicit PreferencesStore(const std::string& domain);

  // The folder of all preferences files, without a trailing '/' (the
  // user's configuration folder, made when first written); "" when the
  // system knows no home for the user, and then no store can be written.
  static std::string folder();
  // The file of this domain; "" for a domain that can name no file.
  const std::string& filePath() const { return mFile; }

  // False when the key is missing or holds the other type.
  bool getInteger(const std::string& key, int32_t& value) const;
  bool getString(const std::string& key, std::string& value) const;

  void setInteger(const std::string& key, int32_t value);
  void setString(const std::string& key, const std::string& value);
  void remove(const std::string& key);

  bool hasChanges() const { return !mChanges.empty(); }
  // Writes the pending changes to disk (nothing to do gives true). On
  // failure the old file stays as it was, the changes stay pending and
  // lastError tells why; when the lock could not be had, or made, the
  // changes are also kept for the stores of this domain made later.
  bool synchronize();
  // Why the last synchronize failed, with the path; "" after a success.
  const std::string& lastError() const { return mLastError; }
  // Reads the file again; pending changes are kept and still win.
  void reload();

private:
  struct Value {
    enum Type { integer, string, removed } type = string;
    int32_t number = 0;
    std::string text;
    bool operator==(const Value&) const = default;
  };
  using Values = std::map<std::string, Value>;

  enum class FileState { fine, damaged, newer };

  static FileState parse(const std::string& content, Values& values);
  static bool parseEntry(const std::string& line, std::string& key, Value& value);
  static std::string format(const Values& values);
  const Value* find(const std::string& key) const;
  // The changes of this process that no store could write yet, by file.
  static std::map<std::string, Values>& keptChanges();
  void keepUnwritten() const;
  void forgetWritten() const;
  bool writeAtomically(const std::string& content) const;

  std::string mFile;
  Values mValues;  // as last read from disk
  Values mChanges; // set or removed since, not yet written
  FileState mFileState = FileState::fine;
  mutable std::string mLastError;
  // The changes of the last write that found the lock held, while they are
  // all this store has to write: trying again at once would only wait again.
  Values mLockMissedChanges;
  bool mLockMissed = false;
};

} // namespace platform
