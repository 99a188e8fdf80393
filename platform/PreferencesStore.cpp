#include "platform/PreferencesStore.h"

#include "platform/StandardFolders.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const char* const cHeader = "QuorvanePreferences 1";
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

bool makeFolders(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return false;
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeAll(int fd, const std::string& content) {
  const char* p = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

} // namespace

PreferencesStore::PreferencesStore(const std::string& domain) {
  const std::string where = folder();
  if (validDomain(domain) && !where.empty()) mFile = where + "/" + domain + cExtension;
  reload();
}

std::string PreferencesStore::folder() {
  std::string f;
  return findStandardFolder(StandardFolder::configuration, f) ? f : std::string();
}

void PreferencesStore::reload() {
  mValues.clear();
  if (mFile.empty()) return;
  std::ifstream in(mFile, std::ios::binary);
  if (!in) return;
  std::ostringstream content;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || size > cMaxFileSize) return;
  in.seekg(0);
  content << in.rdbuf();
  Values values;
  if (parse(content.str(), values)) mValues.swap(values);
}

bool PreferencesStore::parse(const std::string& content, Values& values) {
  // Every line, the last one included, ends in '\n': a file cut anywhere
  // lacks the final "end\n" and is refused as a whole.
  if (content.empty() || content.back() != '\n') return false;
  size_t pos = 0;
  bool headerSeen = false, endSeen = false;
  while (pos < content.size()) {
    size_t eol = content.find('\n', pos);
    std::string line = content.substr(pos, eol - pos);
    pos = eol + 1;
    if (endSeen) return false; // nothing may follow the end marker
    if (!headerSeen) {
      if (line != cHeader) return false;
      headerSeen = true;
      continue;
    }
    if (line == cEnd) {
      endSeen = true;
      continue;
    }
    // "<type> <key> <value>", single blanks; escaping keeps blanks out of
    // keys and values.
    if (line.size() < 3 || line[1] != ' ') return false;
    size_t blank = line.find(' ', 2);
    if (blank == std::string::npos || line.find(' ', blank + 1) != std::string::npos) return false;
    std::string key, text;
    if (!unescape(line.substr(2, blank - 2), key)) return false;
    std::string raw = line.substr(blank + 1);
    Value v;
    if (line[0] == 'i') {
      v.type = Value::integer;
      auto [end, ec] = std::from_chars(raw.data(), raw.data() + raw.size(), v.number);
      if (ec != std::errc() || end != raw.data() + raw.size() || raw.empty()) return false;
    } else if (line[0] == 's') {
      v.type = Value::string;
      if (!unescape(raw, v.text)) return false;
    } else {
      return false;
    }
    values[key] = v;
  }
  return headerSeen && endSeen;
}

std::string PreferencesStore::format(const Values& values) {
  std::string out = std::string(cHeader) + "\n";
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
  if (mChanges.empty()) return true;
  if (mFile.empty()) return false;
  // Merge into the file as it is now: another writer may have stored other
  // keys since this store read it.
  reload();
  Values merged = mValues;
  for (const auto& [key, v] : mChanges) {
    if (v.type == Value::removed)
      merged.erase(key);
    else
      merged[key] = v;
  }
  if (merged != mValues || !std::ifstream(mFile)) {
    if (!writeAtomically(format(merged))) return false;
  }
  mValues.swap(merged);
  mChanges.clear();
  return true;
}

bool PreferencesStore::writeAtomically(const std::string& content) const {
  size_t slash = mFile.rfind('/');
  std::string dir = mFile.substr(0, slash);
  if (!dir.empty() && !makeFolders(dir)) return false;
  std::string temp = dir + "/." + mFile.substr(slash + 1) + ".XXXXXX";
  int fd = ::mkstemp(temp.data()); // mode 0600: preferences are the user's own
  if (fd < 0) return false;
  bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), mFile.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

} // namespace platform
