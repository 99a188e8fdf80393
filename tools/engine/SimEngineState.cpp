#include "tools/engine/SimEngineState.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

namespace sim {
namespace {

std::recursive_mutex& stateMutex() {
  static auto* m = new std::recursive_mutex;
  return *m;
}

struct Common {
  std::set<std::string> missing;
  std::map<std::string, int64_t> results;
  std::string log;
  std::string logSnapshot;
};

Common& common() {
  static auto* c = new Common;
  return *c;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool applySetting(const std::string& key, const std::string& value) {
  Common& c = common();
  if (key == "missing") {
    c.missing.clear();
    size_t start = 0;
    while (start <= value.size()) {
      size_t comma = value.find(',', start);
      if (comma == std::string::npos) comma = value.size();
      std::string name = trim(value.substr(start, comma - start));
      if (!name.empty()) c.missing.insert(name);
      start = comma + 1;
    }
    return true;
  }
  if (key.rfind("result.", 0) == 0) {
    std::string name = key.substr(7);
    if (value.empty()) {
      c.results.erase(name);
      return true;
    }
    int64_t v;
    if (!parseNumber(value, v)) return false;
    c.results[name] = v;
    return true;
  }
  return configureLibrary(key, value);
}

int32_t configure(const char* settings) {
  if (!settings) return 0;
  StateLock lock;
  std::string all(settings);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find_first_of(";\n", start);
    if (end == std::string::npos) end = all.size();
    std::string item = trim(all.substr(start, end - start));
    start = end + 1;
    if (item.empty()) continue;
    size_t eq = item.find('=');
    if (eq == std::string::npos) return -1;
    if (!applySetting(trim(item.substr(0, eq)), trim(item.substr(eq + 1)))) return -1;
  }
  return 0;
}

void reset() {
  {
    StateLock lock;
    Common& c = common();
    c.missing.clear();
    c.results.clear();
    c.log.clear();
    resetLibrary();
  }
  if (const char* env = std::getenv(environmentVariable())) configure(env);
}

// The library starts from its defaults and its environment variable.
[[maybe_unused]] const bool sInitialised = (reset(), true);

} // namespace

void lockState() { stateMutex().lock(); }
void unlockState() { stateMutex().unlock(); }

bool entryMissing(const char* name) {
  StateLock lock;
  return common().missing.count(name) != 0;
}

bool resultOverride(const char* name, int64_t& value) {
  StateLock lock;
  auto it = common().results.find(name);
  if (it == common().results.end()) return false;
  value = it->second;
  return true;
}

void log(const std::string& line) {
  StateLock lock;
  common().log += line;
  common().log += '\n';
}

bool parseNumber(const std::string& text, int64_t& value) {
  std::string t = trim(text);
  if (t.empty()) return false;
  bool negative = t[0] == '-';
  const char* digits = t.c_str() + (negative || t[0] == '+' ? 1 : 0);
  if (*digits == '\0' || *digits == '-' || *digits == '+') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long u = std::strtoull(digits, &end, 0);
  if (errno != 0 || *end != '\0') return false;
  value = negative ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
  return true;
}

std::string word(uintptr_t w) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(w));
  return buffer;
}

} // namespace sim

SIM_EXPORT int32_t SimEngineConfigure(const char* settings) { return sim::configure(settings); }

SIM_EXPORT void SimEngineReset() { sim::reset(); }

SIM_EXPORT const char* SimEngineLog() {
  sim::StateLock lock;
  sim::common().logSnapshot = sim::common().log;
  return sim::common().logSnapshot.c_str();
}

SIM_EXPORT void SimEngineClearLog() {
  sim::StateLock lock;
  sim::common().log.clear();
}

SIM_EXPORT int64_t SimEngineState(const char* name) {
  if (!name) return 0;
  sim::StateLock lock;
  return sim::libraryState(name);
}
