#include "host/services/CPluginControl_Continuous.h"

#include "host/services/HostStrings.h"

#include <algorithm>
#include <cmath>
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

bool contains(const std::string& text, int32_t key) {
  for (unsigned char c : text)
    if (c == key) return true;
  return false;
}

} // namespace

// CPluginControl_Continuous

CPluginControl_Continuous::CPluginControl_Continuous(uint32_t id, const char* name, double min, double max,
                                                     double defaultValue, bool automatable,
                                                     const PrefixDictionaryEntry* first,
                                                     const PrefixDictionaryEntry* last)
    : fID(id), fName(name ? name : ""), fMin(min), fMax(max), fDefault(defaultValue), fAutomatable(automatable),
      fFirst(first), fEnd(first && last ? last + 1 : nullptr) {}

int32_t CPluginControl_Continuous::ConvertStringToValue(const char* text) const {
  return ConvertContinuousToControl(StringToContinuous(text ? text : "", fUnit, fFirst, fEnd, ""));
}

bool CPluginControl_Continuous::IsKeyValid(int32_t key) const {
  if ((key >= '0' && key <= '9') || key == '.' || key == '-' || key == '+' || key == 28 || key == 29 || key == 8)
    return true;
  if (contains(fUnit, key)) return true;
  if (fFirst)
    for (const PrefixDictionaryEntry* entry = fFirst; entry < fEnd; ++entry)
      if (entry->prefix && contains(entry->prefix, key)) return true;
  return false;
}

void CPluginControl_Continuous::GetNameOfLength(char* out, int32_t maxLength, uint32_t) const {
  GetStringOfLength(out, fName.c_str(), maxLength);
}

void CPluginControl_Continuous::GetValueString(char* out, int32_t maxLength, int32_t controlValue) const {
  CopyValueText(out, maxLength,
                ContinuousToString(ConvertControlToContinuous(controlValue), fPrecision, fUnit, maxLength, fFirst,
                                   fEnd, !fUnit.empty()));
}

// CPluginControl_Linear

CPluginControl_Linear::CPluginControl_Linear(uint32_t id, const char* name, double min, double max, double step,
                                             double defaultValue, bool automatable,
                                             const PrefixDictionaryEntry* first, const PrefixDictionaryEntry* last)
    : CPluginControl_Continuous(id, name, min, max, defaultValue, automatable, first, last) {
  // A zero step makes as many steps as can be counted; 0 / 0 (an empty
  // range with a zero step) makes one.
  const double steps = std::trunc((max - min) / step + 1.0);
  fNumSteps = std::isnan(steps) ? 1 : saturate(steps);
  SetValue(ConvertContinuousToControl(defaultValue));
}

int32_t CPluginControl_Linear::ConvertContinuousToControl(double value) const {
  const double min = GetMin(), max = GetMax();
  const double span = max - min;
  if (span == 0.0 || std::isnan(value)) return std::numeric_limits<int32_t>::min();
  value = std::clamp(value, std::min(min, max), std::max(min, max));
  return saturate(std::floor((value - min) / span * kSpan + kLowest + 0.5));
}

double CPluginControl_Linear::ConvertControlToContinuous(int32_t controlValue) const {
  return GetMin() + (controlValue - kLowest) / kSpan * (GetMax() - GetMin());
}
