#pragma once

// Host controls over whole numbers: a position from min to max spread over
// the host's signed 32-bit control range, min at -2147483648 and max at
// 2147483647. The on/off and list controls are positions 0..1 and
// 0..entries - 1 with texts of their own.
//
// Names and list entries may be offered in several lengths: one text with
// the variants separated by '\n', longest first; the longest variant that
// fits the host's limit is shown.

#include "host/CPluginControl.h"

#include <cstdint>
#include <string>
#include <vector>

class CPluginControl_Discrete : public CPluginControl {
public:
  // The value starts at the default. A null name is an empty name.
  CPluginControl_Discrete(uint32_t id, const char* name, int32_t min, int32_t max, int32_t defaultValue,
                          bool automatable);
  ~CPluginControl_Discrete() override = default;

  int32_t GetMin() const { return fMin; }
  int32_t GetMax() const { return fMax; }
  // The position the current value stands for.
  int32_t GetDiscrete() const { return ConvertControlToDiscrete(GetValue()); }
  // A position outside min..max is clamped first. When min equals max every
  // position is -2147483648.
  int32_t ConvertDiscreteToControl(int32_t position) const { return PositionToControl(position); }
  // The nearest position.
  int32_t ConvertControlToDiscrete(int32_t controlValue) const;

  uint32_t GetID() const override { return fID; }
  int32_t GetDefaultValue() const override { return ConvertDiscreteToControl(fDefault); }
  void SetDefaultValue(int32_t controlValue) override { fDefault = ConvertControlToDiscrete(controlValue); }
  // max - min + 1 (saturated, the whole 32-bit range has more).
  int32_t GetNumSteps() const override;
  // The leading decimal number of text, clamped.
  int32_t ConvertStringToValue(const char* text) const override;
  // Digits, '.', '-', '+', '|', ':', the arrow keys (28, 29) and backspace (8).
  bool IsKeyValid(int32_t key) const override;
  void GetNameOfLength(char* out, int32_t maxLength, uint32_t reserved) const override;
  int32_t GetControlType() const override { return 0; }
  // The position in decimal, or "*" when that does not fit.
  void GetValueString(char* out, int32_t maxLength, int32_t controlValue) const override;
  bool IsAutomatable() const override { return fAutomatable; }

protected:
  // As ConvertDiscreteToControl, for any position a text may name.
  int32_t PositionToControl(double position) const;

private:
  uint32_t fID;
  std::string fName;
  int32_t fMin;
  int32_t fMax;
  int32_t fDefault;
  bool fAutomatable;
};

// Off (0) or on (1), shown with two texts of the control's own.
class CPluginControl_OnOff : public CPluginControl_Discrete {
public:
  // Both texts given: they are used (cut to their buffers: 254 and 255
  // characters); otherwise the texts are "On" and "Off".
  CPluginControl_OnOff(uint32_t id, const char* name, int32_t defaultValue, bool automatable,
                       const char* onText = nullptr, const char* offText = nullptr);
  ~CPluginControl_OnOff() override = default;

  const char* GetOnText() const { return fOnText; }
  const char* GetOffText() const { return fOffText; }

  // The on text in any case, or "1" (what a one-character field shows), is
  // on; any other text is off.
  int32_t ConvertStringToValue(const char* text) const override;
  // 'n', 'o', 'O' and the keys of a number.
  bool IsKeyValid(int32_t key) const override;
  // The on or off text, cut; "1" or "0" when fewer than 2 characters fit.
  void GetValueString(char* out, int32_t maxLength, int32_t controlValue) const override;

private:
  char fOnText[255];
  char fOffText[256];
};

// One of a list of entries, each with its text (length variants allowed).
class CPluginControl_List : public CPluginControl_Discrete {
public:
  CPluginControl_List(uint32_t id, const char* name, const std::vector<std::string>& texts, int32_t defaultValue,
                      bool automatable);
  ~CPluginControl_List() override = default;

  const std::vector<std::string>& GetTexts() const { return fTexts; }

  // The first entry whose text, shortened to the typed length, equals the
  // typed text in any case ("saw", "SAW", or "Sw" for "Saw\nSw"); else the
  // text as a position number.
  int32_t ConvertStringToValue(const char* text) const override;
  // Every key but 30 and 31.
  bool IsKeyValid(int32_t key) const override { return key != 30 && key != 31; }
  // The entry's text in the longest variant that fits.
  void GetValueString(char* out, int32_t maxLength, int32_t controlValue) const override;

private:
  std::vector<std::string> fTexts;
};
