#include "tools/host/ControlByName.h"

#include "tools/host/PrintableName.h"
#include "tools/host/SimHost.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace simhost {
namespace {

constexpr int32_t kLongName = 255;
constexpr double kSpan = 4294967295.0;
constexpr double kLowest = -2147483648.0;
// Lists longer than this are not searched text by text.
constexpr int32_t kMaxListedSteps = 4096;

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Units are compared as a user types them: case does not count.
bool sameUnit(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

std::string numberText(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

// The control value of position i of n steps, spread evenly over the whole
// range of control values as a host spreads discrete steps.
int32_t positionValue(int32_t i, int32_t n) {
  if (n < 2) return std::numeric_limits<int32_t>::min();
  const double v = std::trunc(static_cast<double>(i) / (n - 1) * kSpan + kLowest);
  return static_cast<int32_t>(std::clamp(v, kLowest, kLowest + kSpan));
}

int32_t convert(const SimHost& host, const Instance& in, int32_t control, double value, bool& ok) {
  // The plug-in's own reading of a typed value; a plain decimal number is
  // what every control reads.
  char plain[64];
  std::snprintf(plain, sizeof plain, "%.12f", value);
  int32_t controlValue = 0;
  ok = host.valueFromString(in, control, plain, controlValue) == 0;
  return controlValue;
}

// One end of a continuous control's range, more exactly than its text shows
// it: the text stands for any value within slack of shown, so the end is
// sought between shown moved inwards and outwards by slack, as the value
// where the control value reaches extreme.
double rangeEnd(const SimHost& host, const Instance& in, int32_t control, double shown, double slack, double other,
                int32_t extreme) {
  const double inwards = other >= shown ? 1.0 : -1.0;
  double inside = shown + inwards * slack, outside = shown - inwards * slack;
  bool ok = false;
  if (convert(host, in, control, inside, ok) == extreme || !ok) return shown;
  if (convert(host, in, control, outside, ok) != extreme || !ok) return shown;
  for (int i = 0; i < 64; ++i) {
    const double middle = 0.5 * (inside + outside);
    if (middle == inside || middle == outside) break;
    (convert(host, in, control, middle, ok) == extreme && ok ? outside : inside) = middle;
  }
  return outside;
}

bool continuousValue(const SimHost& host, const Instance& in, int32_t control, const std::string& text,
                     int32_t& controlValue, std::string& error) {
  double value = 0.0, ignored = 0.0;
  std::string unit;
  if (!parseControlNumber(text, value, ignored, unit)) {
    error = "\"" + text + "\" is not a number";
    return false;
  }
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
  double first = 0.0, firstSlack = 0.0, last = 0.0, lastSlack = 0.0;
  std::string firstUnit, lastUnit;
  const std::string firstText = host.valueString(in, control, kMin, kLongName);
  const bool firstNumeric = parseControlNumber(firstText, first, firstSlack, firstUnit);
  const bool lastNumeric =
      parseControlNumber(host.valueString(in, control, kMax, kLongName), last, lastSlack, lastUnit);
  if (!unit.empty() && !sameUnit(unit, firstUnit) && !sameUnit(unit, lastUnit)) {
    const std::string shown = firstNumeric && !firstUnit.empty() ? firstUnit : lastNumeric ? lastUnit : "";
    error = "\"" + text + "\" is not in the control's unit (" +
            (shown.empty() ? std::string("its values have none, as in \"") + firstText + "\")"
                           : "\"" + shown + "\")");
    return false;
  }
  if (firstNumeric && lastNumeric && first != last) {
    double lo = rangeEnd(host, in, control, first, firstSlack, last, kMin);
    double hi = rangeEnd(host, in, control, last, lastSlack, first, kMax);
    if (lo > hi) std::swap(lo, hi);
    // What a decimal text of the value may lose.
    const double tolerance = 1e-6 * (hi - lo);
    if (value < lo - tolerance || value > hi + tolerance) {
      error = text + " is out of range (" + numberText(std::min(first, last)) + " to " +
              numberText(std::max(first, last)) + ")";
      return false;
    }
  }
  bool ok = false;
  controlValue = convert(host, in, control, value, ok);
  if (ok) return true;
  error = "the plug-in did not take the value " + text;
  return false;
}

bool discreteValue(const SimHost& host, const Instance& in, int32_t control, const std::string& text,
                   int32_t& controlValue, std::string& error) {
  int32_t steps = 0;
  host.callWith(kProcess_GetControlNumSteps, in.process(), control, &steps);
  if (steps < 1 || steps > kMaxListedSteps) {
    error = "the control has " + std::to_string(steps) + " steps";
    return false;
  }
  std::vector<std::string> texts;
  for (int32_t i = 0; i < steps; ++i) texts.push_back(host.valueString(in, control, positionValue(i, steps), kLongName));

  const std::string wanted = lower(trim(text));
  for (int32_t i = 0; i < steps; ++i)
    if (lower(trim(texts[static_cast<size_t>(i)])) == wanted) {
      controlValue = positionValue(i, steps);
      return true;
    }
  double number = 0.0, slack = 0.0;
  std::string unit;
  if (parseControlNumber(text, number, slack, unit)) {
    bool anyNumeric = false;
    for (int32_t i = 0; i < steps; ++i) {
      double v = 0.0, s = 0.0;
      std::string shownUnit;
      if (!parseControlNumber(texts[static_cast<size_t>(i)], v, s, shownUnit)) continue;
      anyNumeric = true;
      if ((unit.empty() || sameUnit(unit, shownUnit)) && std::fabs(v - number) <= 1e-9 * std::max(1.0, std::fabs(v))) {
        controlValue = positionValue(i, steps);
        return true;
      }
    }
    if (!anyNumeric && unit.empty() && number == std::floor(number) && number >= 0 && number < steps) {
      controlValue = positionValue(static_cast<int32_t>(number), steps);
      return true;
    }
  }
  std::string list;
  for (size_t i = 0; i < texts.size() && i < 12; ++i) list += (i ? ", " : "") + texts[i];
  if (texts.size() > 12) list += ", ...";
  error = "\"" + text + "\" is out of range (one of " + list + ")";
  return false;
}

} // namespace

bool parseControlNumber(const std::string& raw, double& value, double& halfStep) {
  std::string unit;
  return parseControlNumber(raw, value, halfStep, unit);
}

bool parseControlNumber(const std::string& raw, double& value, double& halfStep, std::string& unit) {
  const std::string text = trim(raw);
  size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const size_t digitsStart = at;
  int decimals = -1;
  for (; at < text.size(); ++at) {
    if (std::isdigit(static_cast<unsigned char>(text[at]))) {
      if (decimals >= 0) ++decimals;
    } else if (text[at] == '.' && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  if (at == digitsStart || text.substr(0, at).find_first_of("0123456789") == std::string::npos) return false;
  // A power of ten ("1e5", "2.5E-3"): the letter must be followed by the
  // exponent's digits, so "2E" alone stays the prefix exa.
  int exponent = 0;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    size_t end = at + 1;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
    const size_t exponentDigits = end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end > exponentDigits) {
      exponent = static_cast<int>(std::clamp(std::strtol(text.c_str() + at + 1, nullptr, 10), -400L, 400L));
      at = end;
    }
  }
  const std::string number = text.substr(0, at);
  double factor = 1.0;
  std::string rest = trim(text.substr(at));
  static const struct {
    char prefix;
    double factor;
  } kPrefixes[] = {{'k', 1e3}, {'M', 1e6}, {'G', 1e9}, {'T', 1e12}, {'P', 1e15}, {'E', 1e18}};
  if (!rest.empty())
    for (const auto& p : kPrefixes)
      if (rest[0] == p.prefix && (rest.size() == 1 || std::isalpha(static_cast<unsigned char>(rest[1])))) {
        factor = p.factor;
        rest.erase(0, 1);
        break;
      }
  // Whatever follows is the unit: letters, '%' or '/'.
  for (char c : rest)
    if (!std::isalpha(static_cast<unsigned char>(c)) && c != '%' && c != '/') return false;
  unit = rest;
  value = std::strtod(number.c_str(), nullptr) * factor;
  halfStep = 0.5 * std::pow(10.0, exponent - std::max(decimals, 0)) * factor;
  return std::isfinite(value);
}

bool parseControlSetting(const std::string& text, ControlSetting& setting, std::string& error) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos) {
    error = "\"" + printableName(text) + "\" is not NAME=VALUE";
    return false;
  }
  setting.name = trim(text.substr(0, eq));
  setting.value = trim(text.substr(eq + 1));
  if (setting.name.empty() || setting.value.empty()) {
    error = "\"" + printableName(text) + "\": the " +
            (setting.name.empty() ? (setting.value.empty() ? "name and the value are" : "name is") : "value is") +
            " missing";
    return false;
  }
  return true;
}

int32_t findControlByName(const SimHost& host, const Instance& in, const std::string& name) {
  const int32_t n = host.numControls(in);
  for (int32_t k = 1; k <= n; ++k)
    if (host.controlName(in, k, kLongName) == name) return k;
  const std::string wanted = lower(name);
  for (int32_t k = 1; k <= n; ++k)
    if (lower(host.controlName(in, k, kLongName)) == wanted || lower(host.controlName(in, k, 31)) == wanted) return k;
  return 0;
}

bool controlValueFor(const SimHost& host, const Instance& in, int32_t control, const std::string& value,
                     int32_t& controlValue, std::string& error) {
  int32_t type = 0;
  host.callWith(kProcess_GetControlType, in.process(), control, &type);
  return type ? continuousValue(host, in, control, value, controlValue, error)
              : discreteValue(host, in, control, value, controlValue, error);
}

bool applyControlSetting(SimHost& host, const Instance& in, const ControlSetting& setting, std::string& error) {
  const int32_t control = findControlByName(host, in, setting.name);
  if (control == 0) {
    error = "no parameter named \"" + printableName(setting.name) + "\"";
    return false;
  }
  int32_t value = 0;
  if (!controlValueFor(host, in, control, setting.value, value, error)) {
    error = setting.name + ": " + error;
    return false;
  }
  host.touchControl(in, control);
  const int32_t status = host.setControl(in, control, value);
  host.releaseControl(in, control);
  if (status != 0) {
    error = setting.name + ": the plug-in refused the value (" + std::to_string(status) + ")";
    return false;
  }
  return true;
}

} // namespace simhost
