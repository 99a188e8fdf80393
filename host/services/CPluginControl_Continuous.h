#pragma once

// Host controls over real numbers: a value from min to max in the control's
// own units, shown with a unit, a decimal prefix from a range of the prefix
// dictionary and as many decimals as fit. The continuous base leaves the
// mapping between value and control range to its subclasses; the linear
// control spreads min..max evenly over the signed 32-bit control range.

#include "host/CPluginControl.h"
#include "host/services/ControlValueText.h"

#include <cstdint>
#include <string>

class CPluginControl_Continuous : public CPluginControl {
public:
  // The prefixes first to last, both included (none when first is null).
  CPluginControl_Continuous(uint32_t id, const char* name, double min, double max, double defaultValue,
                            bool automatable, const PrefixDictionaryEntry* first, const PrefixDictionaryEntry* last);
  ~CPluginControl_Continuous() override = default;

  double GetMin() const { return fMin; }
  double GetMax() const { return fMax; }
  // The value the current control value stands for.
  double GetContinuous() const { return ConvertControlToContinuous(GetValue()); }
  // The control value is kept; what it stands for changes with the range.
  void SetMinMax(double min, double max) {
    fMin = min;
    fMax = max;
  }
  // Decimals shown when they fit (1 at construction; below 0 counts as 0).
  void SetPrecision(int precision) { fPrecision = precision; }
  int GetPrecision() const { return fPrecision; }
  // Empty at construction.
  void SetUnit(const std::string& unit) { fUnit = unit; }
  const std::string& GetUnit() const { return fUnit; }

  virtual int32_t ConvertContinuousToControl(double value) const = 0;
  virtual double ConvertControlToContinuous(int32_t controlValue) const = 0;

  uint32_t GetID() const override { return fID; }
  int32_t GetDefaultValue() const override { return ConvertContinuousToControl(fDefault); }
  void SetDefaultValue(int32_t controlValue) override { fDefault = ConvertControlToContinuous(controlValue); }
  // A number with an optional prefix and unit ("2.5k", "2.5 kHz"); throws
  // CDAEError -7401 for a text it cannot read. The value is clamped.
  int32_t ConvertStringToValue(const char* text) const override;
  // Digits, '.', '-', '+', the characters of the prefixes and of the unit,
  // the arrow keys (28, 29) and backspace (8).
  bool IsKeyValid(int32_t key) const override;
  void GetNameOfLength(char* out, int32_t maxLength, uint32_t reserved) const override;
  int32_t GetControlType() const override { return 1; }
  // The value as ContinuousToString gives it, a space before the unit when
  // there is one.
  void GetValueString(char* out, int32_t maxLength, int32_t controlValue) const override;
  bool IsAutomatable() const override { return fAutomatable; }

private:
  uint32_t fID;
  std::string fName;
  double fMin;
  double fMax;
  double fDefault;
  bool fAutomatable;
  int fPrecision = 1;
  std::string fUnit;
  const PrefixDictionaryEntry* fFirst;
  const PrefixDictionaryEntry* fEnd; // one past the last entry
};

class CPluginControl_Linear : public virtual CPluginControl_Continuous {
public:
  // (max - min) / step + 1 steps; the value starts at the default.
  CPluginControl_Linear(uint32_t id, const char* name, double min, double max, double step, double defaultValue,
                        bool automatable, const PrefixDictionaryEntry* first, const PrefixDictionaryEntry* last);
  ~CPluginControl_Linear() override = default;

  int32_t GetNumSteps() const override { return fNumSteps; }
  // value clamped into the range, to the nearest control value: min gives
  // -2147483648, max 2147483647. An empty range (min equal to max) and NaN
  // give -2147483648.
  int32_t ConvertContinuousToControl(double value) const override;
  // Not rounded to steps.
  double ConvertControlToContinuous(int32_t controlValue) const override;

private:
  int32_t fNumSteps;
};
