#include "base/TextUtils.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

// A "C" locale object for strtod_l / snprintf-free formatting, so that a host
// that switched the process locale to one with a decimal comma reads and
// writes the same numbers as every other machine.
locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
  return loc;
}

// Runs f with the calling thread's locale switched to "C".
template <typename F> auto withCLocale(F f) {
  locale_t previous = uselocale(cLocale());
  auto result = f();
  uselocale(previous);
  return result;
}

// Lower-cases 'A'..'Z' only, on the byte taken as a signed 8-bit value; other
// values (including the negative ones of bytes 0x80..0xFF) stay unchanged.
int foldCase(char c) {
  int v = static_cast<signed char>(c);
  return (v >= 'A' && v <= 'Z') ? v - 'A' + 'a' : v;
}

const char* const cMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};

} // namespace

int compareText(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int ca = foldCase(a[i]);
    int cb = foldCase(b[i]);
    if (ca != cb) return ca > cb ? 1 : -1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool strToInt(const std::string& s, int& value) {
  int v = 0;
  int n = withCLocale([&] { return std::sscanf(s.c_str(), "%d", &v); });
  if (n == 1) {
    value = v;
    return true;
  }
  return false;
}

int strToIntDef(const std::string& s, int def) {
  int v;
  return strToInt(s, v) ? v : def;
}

bool strToFloat(const std::string& s, double& value) {
  const char* begin = s.c_str();
  char* end = nullptr;
  value = strtod_l(begin, &end, cLocale());
  return end == begin + s.size();
}

double strToFloatDef(const std::string& s, double def) {
  double v;
  return strToFloat(s, v) ? v : def;
}

std::string intToStr(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  return buffer;
}

std::string floatToStr(double value, const std::string& format) {
  if (value > DBL_MAX) return "INF";
  if (!(value >= -DBL_MAX)) return "-INF"; // includes NaN
  char buffer[32];
  withCLocale([&] {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#pragma GCC diagnostic pop
  });
  return buffer;
}

std::string dateToStr(const tm& date) {
  int month = date.tm_mon < 0 ? 0 : (date.tm_mon > 11 ? 11 : date.tm_mon);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s %d, %d", cMonths[month], date.tm_mday, date.tm_year + 1900);
  return buffer;
}

void splitString(const std::string& s, std::vector<std::string>& parts, char delimiter) {
  parts.clear();
  size_t start = 0;
  for (;;) {
    size_t pos = s.find(delimiter, start);
    if (pos == std::string::npos) {
      parts.push_back(s.substr(start));
      return;
    }
    parts.push_back(s.substr(start, pos - start));
    start = pos + 1;
  }
}

float enumToFloat(int value, int count, const int* table) {
  if (!table) return static_cast<float>(value) / static_cast<float>(count - 1);
  for (int i = 0; i < count; ++i)
    if (table[i] == value) return static_cast<float>(i) / static_cast<float>(count - 1);
  return 0.0f;
}

int floatToEnum(float x, int count, const int* table) {
  double span = count - 1;
  double raw = span * (static_cast<double>(x) + 0.5 / span);
  // Clamp before converting so that a huge or NaN input cannot overflow.
  int i;
  if (!(raw > 0.0))
    i = 0;
  else if (raw >= static_cast<double>(count - 1))
    i = count - 1;
  else
    i = static_cast<int>(raw);
  return table ? table[i] : i;
}

float randomFloat(int& seed) {
  uint32_t s = static_cast<uint32_t>(seed) << 1;
  if (s & 0x1000000u) s ^= 0x11D872Bu;
  seed = static_cast<int>(s);
  double r = static_cast<double>(static_cast<int32_t>(s - 0x800000u)) * (1.0 / 16777216.0) + 0.5;
  return static_cast<float>(r);
}

int compareDouble(double a, double b, double tolerance) {
  if (a < b - tolerance) return -1;
  if (a > b + tolerance) return 1;
  return 0;
}

int roundDownToMultipleOfFour(int n) { return n & ~3; }
int roundUpToMultipleOfFour(int n) { return (n + 3) & ~3; }
