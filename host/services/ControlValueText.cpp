#include "host/services/ControlValueText.h"

#include "host/services/CDAEError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>

namespace {

// x in fixed notation with the given decimals, in the "C" locale whatever
// the process's locale is. A number that rounds to zero never keeps its
// minus sign.
std::string fixedText(double x, int decimals) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.setf(std::ios::fixed, std::ios::floatfield);
  out.precision(decimals);
  out << x;
  std::string text = out.str();
  if (!text.empty() && text[0] == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
  return text;
}

[[noreturn]] void unreadable() { throw CDAEError(HostStatus::kUnexpectedCase); }

} // namespace

std::string ContinuousToString(double value, int precision, const std::string& unit, int maxLength,
                               const PrefixDictionaryEntry* first, const PrefixDictionaryEntry* end,
                               bool spaceBeforeUnit) {
  // Lengths are compared with maxLength taken as unsigned: a negative one
  // limits nothing.
  const size_t limit = static_cast<unsigned>(maxLength);
  auto fits = [limit](size_t length) { return length <= limit; };
  if (precision < 0) precision = 0;

  std::string prefix;
  double factor = 1.0;
  if (value != 0.0 && first && first < end) {
    const double magnitude = std::fabs(value);
    const PrefixDictionaryEntry* entry = first;
    while (entry + 1 < end && entry[1].factor < magnitude) ++entry;
    // An entry without a usable factor (the end entry) shows no prefix.
    if (entry->factor > 0.0) {
      prefix = entry->prefix ? entry->prefix : "";
      factor = entry->factor;
    }
  }

  double number = value / factor;
  // A small negative value would print as a negative zero. Judged on the
  // number shown, so that a prefix never turns a visible value into 0.
  if (number < 0.0 && number > -std::pow(10.0, -precision)) number = 0.0;

  std::string text = fixedText(number, precision);
  while (!fits(text.size() + prefix.size()) && precision > 0) text = fixedText(number, --precision);

  if (spaceBeforeUnit && fits(text.size() + 1 + prefix.size() + unit.size())) return text + " " + prefix + unit;
  if (fits(text.size() + prefix.size() + unit.size())) return text + prefix + unit;
  if (fits(text.size() + prefix.size())) return text + prefix;

  // Not even the number without decimals fits. The star keeps the unit
  // apart only where the number would have (a unit and a caller that asks
  // for the space), so a star never carries a trailing space.
  if (spaceBeforeUnit && fits(2 + prefix.size() + unit.size())) return "* " + prefix + unit;
  if (fits(1 + prefix.size() + unit.size())) return "*" + prefix + unit;
  if (fits(1 + prefix.size())) return "*" + prefix;
  return "*";
}

double StringToContinuous(const std::string& text, const std::string& unit, const PrefixDictionaryEntry* first,
                          const PrefixDictionaryEntry* end, std::string defaultSuffix) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double number = 0.0;
  if (!(in >> number)) unreadable();

  std::string suffix;
  if (!(in >> suffix)) {
    suffix = std::move(defaultSuffix);
  } else {
    std::string another;
    if (in >> another) unreadable();
  }

  if (!unit.empty() && suffix.size() >= unit.size() &&
      suffix.compare(suffix.size() - unit.size(), unit.size(), unit) == 0)
    suffix.erase(suffix.size() - unit.size());

  if (!first) {
    if (!suffix.empty()) unreadable();
    return number;
  }
  if (!(first < end)) unreadable();
  for (const PrefixDictionaryEntry* entry = first; entry < end; ++entry)
    if (entry->prefix && suffix == entry->prefix) return number * entry->factor;
  unreadable();
}

void CopyValueText(char* out, int32_t maxLength, const std::string& text) {
  if (maxLength < 0) return;
  const size_t room = static_cast<size_t>(maxLength);
  const size_t n = std::min(text.size(), room);
  std::memcpy(out, text.data(), n);
  std::memset(out + n, 0, room - n + 1);
}
