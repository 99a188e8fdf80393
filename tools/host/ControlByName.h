#pragma once

// Setting a control the way a user names it: "PARAMETER NAME=VALUE" with the
// value in the parameter's natural units. The control is found by its name
// among the instance's controls, the value is checked against the control's
// range and turned into a control value, and the host sets it as a control
// surface would (touch, new value, release).
//
// Continuous controls: the value is a number (a decimal prefix such as 2.5k
// is allowed), optionally followed by the unit the control's value texts
// show; any other text after the number is refused rather than ignored, so
// "0.5 dB" never sets a control that counts in something else. The range is
// read from the texts of the control's lowest and highest values, allowing
// for the rounding of those texts. The plug-in's own text conversion gives
// the control value.
// Discrete controls: the value is one of the control's value texts (in any
// case), or a number equal to a numeric value text, or else a position from
// 0 among the control's steps.

#include <cstdint>
#include <string>

namespace simhost {

class Instance;
class SimHost;

struct ControlSetting {
  std::string name;
  std::string value;
};

// "NAME=VALUE", split at the last '='; both sides trimmed and not empty.
bool parseControlSetting(const std::string& text, ControlSetting& setting, std::string& error);

// The control (from 1) whose name is name, first exactly, then in any case;
// 0 when there is none.
int32_t findControlByName(const SimHost& host, const Instance& in, const std::string& name);

// The control value for a natural value text; false with a reason when the
// value is not a value of the control or lies outside its range.
bool controlValueFor(const SimHost& host, const Instance& in, int32_t control, const std::string& value,
                     int32_t& controlValue, std::string& error);

// Finds, converts and sets; false with a reason.
bool applyControlSetting(SimHost& host, const Instance& in, const ControlSetting& setting, std::string& error);

// A value text of a control as a number: decimal digits with an optional
// sign and point and an optional power of ten ("1e5"), then optionally k,
// M, G, T, P or E (alone or before a unit). halfStep is half the unit of the last digit shown (times the
// prefix): the most the text may differ from the value it stands for.
bool parseControlNumber(const std::string& text, double& value, double& halfStep);
// The same, also giving the unit after the number and its prefix ("" when
// the text has none).
bool parseControlNumber(const std::string& text, double& value, double& halfStep, std::string& unit);

} // namespace simhost
