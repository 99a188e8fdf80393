#include "tests/host/services/ValueTextProbe.h"
#include "host/services/CPluginControl_Discrete.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using Values = std::initializer_list<int32_t>;
using Texts = std::initializer_list<const char*>;

constexpr int32_t kLow = std::numeric_limits<int32_t>::min();
constexpr int32_t kHigh = std::numeric_limits<int32_t>::max();
constexpr uint32_t kBypassID = 0x62797061; // 'bypa'
constexpr uint32_t kWaveID = 0x77617665;   // 'wave'
constexpr uint32_t kTuneID = 0x74756E65;   // 'tune'
const char* const kBypassName = "Master Bypass\nMstr Byp\nMBYP\nByp";


std::string nameText(const CPluginControl& control, int32_t maxLength) {
  char buffer[320];
  std::memset(buffer, '#', sizeof buffer);
  control.GetNameOfLength(buffer, maxLength, 0);
  EXPECT_EQ(buffer[maxLength + 1], '#');
  return buffer;
}

} // namespace

TEST(PluginControlDiscreteTest, ThreePositionsSpanTheWholeControlRange) {
  CPluginControl_List list(kWaveID, "Wave", {"A", "B", "C"}, 0, true);
  EXPECT_EQ(list.ConvertDiscreteToControl(0), kLow);
  // 0.5 x 4294967295 - 2147483648 = -0.5, truncated toward zero.
  EXPECT_EQ(list.ConvertDiscreteToControl(1), 0);
  EXPECT_EQ(list.ConvertDiscreteToControl(2), kHigh);
  EXPECT_EQ(list.ConvertControlToDiscrete(0), 1);
  EXPECT_EQ(list.ConvertControlToDiscrete(kLow), 0);
  EXPECT_EQ(list.ConvertControlToDiscrete(kHigh), 2);
  // Nearest position: a quarter of the way is the boundary.
  EXPECT_EQ(list.ConvertControlToDiscrete(-1073741826), 0);
  EXPECT_EQ(list.ConvertControlToDiscrete(-1073741823), 1);
}

TEST(PluginControlDiscreteTest, PositionsRoundTripThroughTheControlRange) {
  const std::pair<int32_t, int32_t> ranges[] = {{0, 1},        {0, 2},     {-5, 5},        {0, 1000},
                                                {-100, 0},     {1, 127},   {-7, 1000000},  {kLow, kHigh},
                                                {kLow, 0},     {0, kHigh}, {kHigh - 3, kHigh}};
  for (auto [min, max] : ranges) {
    SCOPED_TRACE(testing::Message() << min << ".." << max);
    CPluginControl_Discrete control(1, "x", min, max, min, true);
    EXPECT_EQ(control.ConvertDiscreteToControl(min), kLow);
    EXPECT_EQ(control.ConvertDiscreteToControl(max), kHigh);
    EXPECT_EQ(control.ConvertControlToDiscrete(kLow), min);
    EXPECT_EQ(control.ConvertControlToDiscrete(kHigh), max);
    const int64_t span = static_cast<int64_t>(max) - min;
    const int64_t stride = span > 4000 ? span / 4000 : 1;
    int32_t previous = kLow;
    for (int64_t p = min; p <= max; p += stride) {
      const int32_t position = static_cast<int32_t>(p);
      const int32_t k = control.ConvertDiscreteToControl(position);
      ASSERT_EQ(control.ConvertControlToDiscrete(k), position);
      ASSERT_GE(k, previous);
      previous = k;
      // Any control value comes back to a position that maps to itself.
      const int32_t near = control.ConvertControlToDiscrete(k == kHigh ? k : k + 1);
      ASSERT_EQ(control.ConvertControlToDiscrete(control.ConvertDiscreteToControl(near)), near);
    }
  }
}

TEST(PluginControlDiscreteTest, ClampsPositionsAndCollapsesAnEmptyRange) {
  CPluginControl_Discrete control(1, "x", -5, 5, 0, true);
  EXPECT_EQ(control.ConvertDiscreteToControl(-6), kLow);
  EXPECT_EQ(control.ConvertDiscreteToControl(kLow), kLow);
  EXPECT_EQ(control.ConvertDiscreteToControl(kHigh), kHigh);

  CPluginControl_Discrete single(1, "x", 7, 7, 7, true);
  EXPECT_EQ(single.ConvertDiscreteToControl(7), kLow);
  EXPECT_EQ(single.ConvertDiscreteToControl(100), kLow);
  EXPECT_EQ(single.ConvertControlToDiscrete(kHigh), 7);
  EXPECT_EQ(single.ConvertControlToDiscrete(0), 7);
  EXPECT_EQ(single.GetNumSteps(), 1);
}

TEST(PluginControlDiscreteTest, DefaultAndCurrentValue) {
  CPluginControl_Discrete control(kTuneID, "Tune", -12, 12, 3, false);
  EXPECT_EQ(control.GetValue(), control.ConvertDiscreteToControl(3));
  EXPECT_EQ(control.GetDiscrete(), 3);
  EXPECT_EQ(control.GetDefaultValue(), control.ConvertDiscreteToControl(3));
  control.SetDefaultValue(control.ConvertDiscreteToControl(-4) + 1000);
  EXPECT_EQ(control.GetDefaultValue(), control.ConvertDiscreteToControl(-4));
  control.SetValue(kHigh);
  EXPECT_EQ(control.GetDiscrete(), 12);
  EXPECT_EQ(control.GetID(), static_cast<uint32_t>(kTuneID));
  EXPECT_FALSE(control.IsAutomatable());
  EXPECT_EQ(control.GetControlType(), 0);
  EXPECT_EQ(control.GetPriority(), 0);
  EXPECT_EQ(control.GetOrientation(), 0);
  EXPECT_EQ(control.GetNumSteps(), 25);
  // The whole 32-bit range has more steps than 32 bits count.
  EXPECT_EQ(CPluginControl_Discrete(1, "x", kLow, kHigh, 0, true).GetNumSteps(), kHigh);
}

TEST(PluginControlDiscreteTest, ValueTextIsThePositionOrAStar) {
  CPluginControl_Discrete control(1, "x", 0, 1000, 0, true);
  EXPECT_EQ(valueText(control, 3, control.ConvertDiscreteToControl(1000)), "*");
  EXPECT_EQ(valueText(control, 3, control.ConvertDiscreteToControl(999)), "999");
  EXPECT_EQ(valueText(control, 4, control.ConvertDiscreteToControl(1000)), "1000");
  EXPECT_EQ(valueText(control, 1, control.ConvertDiscreteToControl(7)), "7");
  EXPECT_EQ(valueText(control, 1, control.ConvertDiscreteToControl(70)), "*");
  EXPECT_EQ(valueText(control, 0, control.ConvertDiscreteToControl(7)), "");
  CPluginControl_Discrete negative(1, "x", -50, 50, 0, true);
  EXPECT_EQ(valueText(negative, 10, negative.ConvertDiscreteToControl(-42)), "-42");
  EXPECT_EQ(valueText(negative, 2, negative.ConvertDiscreteToControl(-42)), "*");
}

TEST(PluginControlDiscreteTest, TypedTextIsALeadingNumberClamped) {
  CPluginControl_Discrete control(1, "x", -100, 100, 0, true);
  auto typed = [&](const char* text) { return control.ConvertControlToDiscrete(control.ConvertStringToValue(text)); };
  EXPECT_EQ(typed("12"), 12);
  EXPECT_EQ(typed("  -7 semitones"), -7);
  EXPECT_EQ(typed("+3"), 3);
  EXPECT_EQ(typed("500"), 100);
  EXPECT_EQ(typed("-99999999999999999999999"), -100);
  EXPECT_EQ(typed("99999999999999999999999"), 100);
  EXPECT_EQ(typed("abc"), 0);
  EXPECT_EQ(typed(""), 0);
  EXPECT_EQ(typed(nullptr), 0);
}

TEST(PluginControlDiscreteTest, KeysOfANumber) {
  CPluginControl_Discrete control(1, "x", 0, 10, 0, true);
  for (int32_t key : Values{'0', '5', '9', '.', '-', '+', '|', ':', 28, 29, 8})
    EXPECT_TRUE(control.IsKeyValid(key)) << key;
  for (int32_t key : Values{'a', 'n', 'o', ' ', 30, 31, 13, 0x1FF}) EXPECT_FALSE(control.IsKeyValid(key)) << key;
}

TEST(PluginControlDiscreteTest, NameTakesTheLongestVariantThatFits) {
  CPluginControl_OnOff bypass(kBypassID, kBypassName, 0, true);
  EXPECT_EQ(nameText(bypass, 31), "Master Bypass");
  EXPECT_EQ(nameText(bypass, 13), "Master Bypass");
  EXPECT_EQ(nameText(bypass, 12), "Mstr Byp");
  EXPECT_EQ(nameText(bypass, 8), "Mstr Byp");
  EXPECT_EQ(nameText(bypass, 7), "MBYP");
  EXPECT_EQ(nameText(bypass, 4), "MBYP");
  EXPECT_EQ(nameText(bypass, 3), "Byp");
  EXPECT_EQ(nameText(bypass, 2), "By");
  EXPECT_EQ(nameText(bypass, 0), "");
  CPluginControl_Discrete unnamed(1, nullptr, 0, 1, 0, true);
  EXPECT_EQ(nameText(unnamed, 10), "");
}

TEST(PluginControlOnOffTest, DefaultTextsAndShortForms) {
  CPluginControl_OnOff bypass(kBypassID, kBypassName, 0, true);
  EXPECT_EQ(bypass.GetMin(), 0);
  EXPECT_EQ(bypass.GetMax(), 1);
  EXPECT_EQ(bypass.GetNumSteps(), 2);
  EXPECT_EQ(bypass.GetValue(), kLow);
  EXPECT_EQ(bypass.GetDiscrete(), 0);
  EXPECT_EQ(valueText(bypass, 2, kHigh), "On");
  EXPECT_EQ(valueText(bypass, 31, kHigh), "On");
  EXPECT_EQ(valueText(bypass, 3, kLow), "Off");
  EXPECT_EQ(valueText(bypass, 2, kLow), "Of");
  EXPECT_EQ(valueText(bypass, 1, kHigh), "1");
  EXPECT_EQ(valueText(bypass, 1, kLow), "0");
  EXPECT_EQ(valueText(bypass, 0, kHigh), "");
  EXPECT_EQ(valueText(bypass, 0, kLow), "");
  // The middle of the range is already on.
  EXPECT_EQ(valueText(bypass, 3, 0), "On");
  EXPECT_EQ(valueText(bypass, 3, -1), "Off");
  EXPECT_EQ(CPluginControl_OnOff(1, "x", 1, true).GetValue(), kHigh);
}

TEST(PluginControlOnOffTest, TypedTexts) {
  CPluginControl_OnOff bypass(kBypassID, kBypassName, 0, true);
  for (const char* on : Texts{"on", "ON", "On", "oN", "1"}) EXPECT_EQ(bypass.ConvertStringToValue(on), kHigh) << on;
  for (const char* off : Texts{"Off", "off", "x", "", "o", "onion", "0", "2", nullptr})
    EXPECT_EQ(bypass.ConvertStringToValue(off), kLow) << (off ? off : "null");
  for (int32_t key : Values{'n', 'o', 'O', '0', '1', '-', 8, 28}) EXPECT_TRUE(bypass.IsKeyValid(key)) << key;
  for (int32_t key : Values{'x', 'N', 30}) EXPECT_FALSE(bypass.IsKeyValid(key)) << key;
}

TEST(PluginControlOnOffTest, OwnTextsAreUsedOnlyInPairsAndCutToTheirBuffers) {
  CPluginControl_OnOff mode(1, "Mode", 1, true, "Active", "Idle");
  EXPECT_EQ(valueText(mode, 31, kHigh), "Active");
  EXPECT_EQ(valueText(mode, 3, kHigh), "Act");
  EXPECT_EQ(valueText(mode, 31, kLow), "Idle");
  EXPECT_EQ(mode.ConvertStringToValue("ACTIVE"), kHigh);
  EXPECT_EQ(mode.ConvertStringToValue("on"), kLow);

  CPluginControl_OnOff half(1, "Mode", 0, true, "Active", nullptr);
  EXPECT_STREQ(half.GetOnText(), "On");
  EXPECT_STREQ(half.GetOffText(), "Off");

  const std::string longOn(400, 'n'), longOff(400, 'f');
  CPluginControl_OnOff big(1, "Big", 0, true, longOn.c_str(), longOff.c_str());
  EXPECT_EQ(std::string(big.GetOnText()), longOn.substr(0, 254));
  EXPECT_EQ(std::string(big.GetOffText()), longOff.substr(0, 255));
  EXPECT_EQ(valueText(big, 255, kHigh), longOn.substr(0, 254));
  EXPECT_EQ(valueText(big, 300, kLow), longOff.substr(0, 255));
}

TEST(PluginControlListTest, EntriesTheirTextsAndVariants) {
  const std::vector<std::string> waves = {"Sine", "Triangle\nTri", "Sawtooth\nSaw\nSw", "Square\nSqr"};
  CPluginControl_List list(3, "Waveform\nWave", waves, 2, true);
  EXPECT_EQ(list.GetMin(), 0);
  EXPECT_EQ(list.GetMax(), 3);
  EXPECT_EQ(list.GetNumSteps(), 4);
  EXPECT_EQ(list.GetDiscrete(), 2);
  EXPECT_EQ(list.GetTexts(), waves);
  EXPECT_EQ(valueText(list, 31, list.ConvertDiscreteToControl(2)), "Sawtooth");
  EXPECT_EQ(valueText(list, 5, list.ConvertDiscreteToControl(2)), "Saw");
  EXPECT_EQ(valueText(list, 2, list.ConvertDiscreteToControl(2)), "Sw");
  EXPECT_EQ(valueText(list, 1, list.ConvertDiscreteToControl(2)), "S");
  EXPECT_EQ(valueText(list, 0, list.ConvertDiscreteToControl(2)), "");
  EXPECT_EQ(valueText(list, 31, kLow), "Sine");
  EXPECT_EQ(valueText(list, 31, kHigh), "Square");
  EXPECT_EQ(valueText(list, 3, kHigh), "Sqr");
  EXPECT_EQ(nameText(list, 6), "Wave");
}

TEST(PluginControlListTest, TypedTextsMatchEntriesInAnyCaseElseAPosition) {
  CPluginControl_List list(3, "Wave", {"Sine", "Triangle\nTri", "Sawtooth\nSaw\nSw", "Square\nSqr"}, 0, true);
  auto typed = [&](const char* text) { return list.ConvertControlToDiscrete(list.ConvertStringToValue(text)); };
  EXPECT_EQ(typed("Triangle"), 1);
  EXPECT_EQ(typed("SAWTOOTH"), 2);
  EXPECT_EQ(typed("saw"), 2);
  EXPECT_EQ(typed("tri"), 1);
  EXPECT_EQ(typed("Sq"), 3);  // "Square\nSqr" at 2 characters
  EXPECT_EQ(typed("s"), 0);   // the first entry that fits wins
  EXPECT_EQ(typed("Sawtoothy"), 0);
  EXPECT_EQ(typed("3"), 3);
  EXPECT_EQ(typed("9"), 3);
  EXPECT_EQ(typed(std::string(600, 'x').c_str()), 0);
  for (int32_t key : Values{'a', 'Z', ' ', 8, 28, 200}) EXPECT_TRUE(list.IsKeyValid(key)) << key;
  for (int32_t key : Values{30, 31}) EXPECT_FALSE(list.IsKeyValid(key)) << key;
}

TEST(PluginControlListTest, OneEntryAndNoEntries) {
  CPluginControl_List one(4, "Only", {"Mono"}, 0, true);
  EXPECT_EQ(one.GetNumSteps(), 1);
  EXPECT_EQ(one.GetValue(), kLow);
  for (int32_t k : Values{kLow, -1, 0, kHigh}) EXPECT_EQ(valueText(one, 10, k), "Mono");
  EXPECT_EQ(one.ConvertStringToValue("mono"), kLow);

  CPluginControl_List none(5, "None", {}, 0, true);
  EXPECT_EQ(none.GetNumSteps(), 0);
  for (int32_t k : Values{kLow, -1, 0, kHigh}) EXPECT_EQ(valueText(none, 10, k), "");
  EXPECT_EQ(valueText(none, 10, none.ConvertStringToValue("anything")), "");
}

TEST(PluginControlListTest, DeletedThroughTheHostBase) {
  std::unique_ptr<CPluginControl> control =
      std::make_unique<CPluginControl_List>(6, "Name", std::vector<std::string>{"a", "b"}, 1, true);
  EXPECT_EQ(control->GetValue(), kHigh);
  EXPECT_EQ(control->GetNumSteps(), 2);
  EXPECT_EQ(valueText(*control, 4, control->GetValue()), "b");
}
