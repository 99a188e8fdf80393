#include "host/services/CPluginControl_Discrete.h"

#include "base/TextUtils.h"
#include "host/services/ControlValueText.h"
#include "host/services/HostStrings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr double kLowest = -2147483648.0;
constexpr double kSpan = 4294967295.0; // the control range's width

// A whole double into 32 bits, saturated (NaN gives the lowest value).
int32_t saturate(double x) {
  if (!(x > kLowest)) return std::numeric_limits<int32_t>::min();
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(x);
}

// Copies text into buffer, cut to size - 1 characters and terminated.
template <size_t size>
void copyBounded(char (&buffer)[size], const char* text) {
  size_t n = std::min(std::strlen(text), size - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
}

} // namespace

// CPluginControl_Discrete

CPluginControl_Discrete::CPluginControl_Discrete(uint32_t id, const char* name, int32_t min, int32_t max,
                                                 int32_t defaultValue, bool automatable)
    : fID(id), fName(name ? name : ""), fMin(min), fMax(max), fDefault(defaultValue), fAutomatable(automatable) {
  SetValue(ConvertDiscreteToControl(defaultValue));
}

int32_t CPluginControl_Discrete::PositionToControl(double position) const {
  if (fMin == fMax) return std::numeric_limits<int32_t>::min();
  const double lo = std::min(fMin, fMax), hi = std::max(fMin, fMax);
  if (std::isnan(position)) position = lo;
  position = std::clamp(position, lo, hi);
  // Truncated toward zero: the middle of three positions is -0.5, so 0.
  return saturate(std::trunc((position - fMin) / (static_cast<double>(fMax) - fMin) * kSpan + kLowest));
}

int32_t CPluginControl_Discrete::ConvertControlToDiscrete(int32_t controlValue) const {
  const double span = static_cast<double>(fMax) - fMin;
  return saturate(std::floor(fMin + (controlValue - kLowest) / kSpan * span + 0.5));
}

int32_t CPluginControl_Discrete::GetNumSteps() const {
  const int64_t steps = static_cast<int64_t>(fMax) - fMin + 1;
  return static_cast<int32_t>(std::clamp<int64_t>(steps, 0, std::numeric_limits<int32_t>::max()));
}

int32_t CPluginControl_Discrete::ConvertStringToValue(const char* text) const {
  // strtoll saturates where a plain conversion would overflow.
  const long long number = text ? std::strtoll(text, nullptr, 10) : 0;
  return PositionToControl(static_cast<double>(number));
}

bool CPluginControl_Discrete::IsKeyValid(int32_t key) const {
  return (key >= '0' && key <= '9') || key == '.' || key == '-' || key == '+' || key == '|' || key == ':' ||
         key == 28 || key == 29 || key == 8;
}

void CPluginControl_Discrete::GetNameOfLength(char* out, int32_t maxLength, uint32_t) const {
  GetStringOfLength(out, fName.c_str(), maxLength);
}

void CPluginControl_Discrete::GetValueString(char* out, int32_t maxLength, int32_t controlValue) const {
  const std::string text = intToStr(ConvertControlToDiscrete(controlValue));
  const bool fits = maxLength >= 0 && text.size() <= static_cast<size_t>(maxLength);
  CopyValueText(out, maxLength, fits ? text : std::string(1, '*'));
}

// CPluginControl_OnOff

CPluginControl_OnOff::CPluginControl_OnOff(uint32_t id, const char* name, int32_t defaultValue, bool automatable,
                                           const char* onText, const char* offText)
    : CPluginControl_Discrete(id, name, 0, 1, defaultValue, automatable) {
  const bool own = onText && offText;
  copyBounded(fOnText, own ? onText : "On");
  copyBounded(fOffText, own ? offText : "Off");
}

int32_t CPluginControl_OnOff::ConvertStringToValue(const char* text) const {
  const std::string typed = text ? text : "";
  const bool on = compareText(typed, fOnText) == 0 || typed == "1";
  return ConvertDiscreteToControl(on ? 1 : 0);
}

bool CPluginControl_OnOff::IsKeyValid(int32_t key) const {
  return key == 'n' || key == 'o' || key == 'O' || CPluginControl_Discrete::IsKeyValid(key);
}

void CPluginControl_OnOff::GetValueString(char* out, int32_t maxLength, int32_t controlValue) const {
  const bool on = ConvertControlToDiscrete(controlValue) != 0;
  if (maxLength < 2)
    CopyValueText(out, maxLength, on ? "1" : "0");
  else
    CopyValueText(out, maxLength, on ? fOnText : fOffText);
}

// CPluginControl_List

CPluginControl_List::CPluginControl_List(uint32_t id, const char* name, const std::vector<std::string>& texts,
                                         int32_t defaultValue, bool automatable)
    : CPluginControl_Discrete(id, name, 0, static_cast<int32_t>(texts.size()) - 1, defaultValue, automatable),
      fTexts(texts) {}

int32_t CPluginControl_List::ConvertStringToValue(const char* text) const {
  std::string typed = text ? text : "";
  if (typed.size() > 255) typed.resize(255);
  char reduced[256];
  for (size_t i = 0; i < fTexts.size(); ++i) {
    GetStringOfLength(reduced, fTexts[i].c_str(), static_cast<int32_t>(typed.size()));
    if (compareText(reduced, typed) == 0) return ConvertDiscreteToControl(GetMin() + static_cast<int32_t>(i));
  }
  return CPluginControl_Discrete::ConvertStringToValue(text);
}

void CPluginControl_List::GetValueString(char* out, int32_t maxLength, int32_t controlValue) const {
  if (maxLength < 0) return;
  const int64_t index = static_cast<int64_t>(ConvertControlToDiscrete(controlValue)) - GetMin();
  // An empty list has no entry to show.
  if (index < 0 || index >= static_cast<int64_t>(fTexts.size())) return CopyValueText(out, maxLength, "");
  GetStringOfLength(out, fTexts[static_cast<size_t>(index)].c_str(), maxLength);
  out[maxLength] = '\0';
}
