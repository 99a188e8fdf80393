#include "tests/host/services/ValueTextProbe.h"
#include "host/services/CPluginControl_Continuous.h"

#include "host/services/CDAEError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>

namespace {

using Values = std::initializer_list<int32_t>;

constexpr int32_t kLow = std::numeric_limits<int32_t>::min();
constexpr int32_t kHigh = std::numeric_limits<int32_t>::max();

// As the parameter controls are made: step 0.001, prefixes "" to "E".
CPluginControl_Linear parameterControl(double min, double max, double defaultValue) {
  return CPluginControl_Linear(7, "Cutoff\nCut", min, max, 0.001, defaultValue, true, kPrefixNone, kPrefixExa);
}


int32_t typedError(const CPluginControl& control, const char* text) {
  try {
    int32_t k = control.ConvertStringToValue(text);
    ADD_FAILURE() << "\"" << text << "\" read as " << k;
  } catch (const CDAEError& e) {
    return e.GetErrorCode();
  }
  return 0;
}

} // namespace

TEST(PluginControlLinearTest, UnitRangeWithAThousandthStep) {
  CPluginControl_Linear control = parameterControl(0.0, 1.0, 0.25);
  EXPECT_EQ(control.GetNumSteps(), 1001);
  EXPECT_EQ(control.ConvertContinuousToControl(0.5), 0);
  EXPECT_DOUBLE_EQ(control.ConvertControlToContinuous(0), 0.5000000001164153);
  EXPECT_EQ(control.ConvertContinuousToControl(0.0), kLow);
  EXPECT_EQ(control.ConvertContinuousToControl(1.0), kHigh);
  EXPECT_EQ(control.ConvertControlToContinuous(kLow), 0.0);
  EXPECT_EQ(control.ConvertControlToContinuous(kHigh), 1.0);
  EXPECT_EQ(control.GetValue(), control.ConvertContinuousToControl(0.25));
  EXPECT_NEAR(control.GetContinuous(), 0.25, 1e-9);
}

TEST(PluginControlLinearTest, ControlValuesRoundTripOverTheWholeRange) {
  const std::pair<double, double> ranges[] = {{0.0, 1.0},    {-96.0, 12.0}, {20.0, 20000.0}, {-1.0, 1.0},
                                              {0.001, 1e9}, {5.0, -5.0},   {0.0, 127.0}};
  for (auto [min, max] : ranges) {
    SCOPED_TRACE(testing::Message() << min << ".." << max);
    CPluginControl_Linear control = parameterControl(min, max, min);
    const double direction = max > min ? 1.0 : -1.0;
    double previous = -INFINITY;
    for (int64_t k = kLow; k <= kHigh; k += 1000003) {
      const int32_t value = static_cast<int32_t>(k);
      const double x = control.ConvertControlToContinuous(value);
      ASSERT_EQ(control.ConvertContinuousToControl(x), value);
      ASSERT_GT(direction * x, previous);
      previous = direction * x;
    }
    for (int32_t value : Values{kLow, kLow + 1, -1, 0, 1, kHigh - 1, kHigh})
      EXPECT_EQ(control.ConvertContinuousToControl(control.ConvertControlToContinuous(value)), value);
    // Values come back within one control step.
    const double step = std::fabs(max - min) / 4294967295.0;
    for (int i = 0; i <= 100; ++i) {
      const double x = min + (max - min) * i / 100.0;
      EXPECT_NEAR(control.ConvertControlToContinuous(control.ConvertContinuousToControl(x)), x, step);
    }
  }
}

TEST(PluginControlLinearTest, ClampsAndNeverLeavesTheControlRange) {
  CPluginControl_Linear control = parameterControl(-10.0, 10.0, 0.0);
  EXPECT_EQ(control.ConvertContinuousToControl(-11.0), kLow);
  EXPECT_EQ(control.ConvertContinuousToControl(1e300), kHigh);
  EXPECT_EQ(control.ConvertContinuousToControl(-INFINITY), kLow);
  EXPECT_EQ(control.ConvertContinuousToControl(std::nan("")), kLow);

  // A reversed range runs from min at the bottom to max at the top.
  CPluginControl_Linear reversed = parameterControl(10.0, -10.0, 0.0);
  EXPECT_EQ(reversed.ConvertContinuousToControl(10.0), kLow);
  EXPECT_EQ(reversed.ConvertContinuousToControl(-10.0), kHigh);
  EXPECT_EQ(reversed.ConvertContinuousToControl(20.0), kLow);
  EXPECT_EQ(reversed.ConvertContinuousToControl(-20.0), kHigh);

  // An empty range has one control value and one step.
  CPluginControl_Linear empty = parameterControl(3.0, 3.0, 3.0);
  EXPECT_EQ(empty.ConvertContinuousToControl(3.0), kLow);
  EXPECT_EQ(empty.ConvertContinuousToControl(4.0), kLow);
  EXPECT_EQ(empty.ConvertControlToContinuous(kHigh), 3.0);
  EXPECT_EQ(empty.GetNumSteps(), 1);

  // A zero step counts as many steps as can be counted.
  CPluginControl_Linear smooth(1, "x", 0.0, 1.0, 0.0, 0.5, true, nullptr, nullptr);
  EXPECT_EQ(smooth.GetNumSteps(), kHigh);
  EXPECT_EQ(CPluginControl_Linear(1, "x", 0.0, 10.0, 0.5, 0.0, true, nullptr, nullptr).GetNumSteps(), 21);
  EXPECT_EQ(CPluginControl_Linear(1, "x", 0.0, 10.0, 3.0, 0.0, true, nullptr, nullptr).GetNumSteps(), 4);
}

TEST(PluginControlLinearTest, DefaultRangeAndPrecision) {
  CPluginControl_Linear control = parameterControl(0.0, 100.0, 40.0);
  EXPECT_EQ(control.GetDefaultValue(), control.ConvertContinuousToControl(40.0));
  control.SetDefaultValue(control.ConvertContinuousToControl(75.0));
  EXPECT_EQ(control.GetDefaultValue(), control.ConvertContinuousToControl(75.0));
  EXPECT_EQ(control.GetPrecision(), 1);
  EXPECT_EQ(control.GetUnit(), "");
  EXPECT_EQ(control.GetControlType(), 1);
  EXPECT_EQ(control.GetID(), 7u);
  EXPECT_TRUE(control.IsAutomatable());

  control.SetValue(0);
  control.SetMinMax(0.0, 200.0);
  EXPECT_EQ(control.GetValue(), 0);
  EXPECT_NEAR(control.GetContinuous(), 100.0, 1e-6);
  EXPECT_EQ(control.GetMin(), 0.0);
  EXPECT_EQ(control.GetMax(), 200.0);
}

TEST(PluginControlLinearTest, ValueTexts) {
  CPluginControl_Linear cutoff = parameterControl(20.0, 20000.0, 1000.0);
  cutoff.SetUnit("Hz");
  cutoff.SetPrecision(2);
  const int32_t k = cutoff.ConvertContinuousToControl(12345.678);
  EXPECT_EQ(valueText(cutoff, 31, k), "12.35 kHz");
  EXPECT_EQ(valueText(cutoff, 8, k), "12.35kHz");
  EXPECT_EQ(valueText(cutoff, 6, k), "12.35k");
  EXPECT_EQ(valueText(cutoff, 4, k), "12k");
  EXPECT_EQ(valueText(cutoff, 2, k), "*k");
  EXPECT_EQ(valueText(cutoff, 1, k), "*");
  EXPECT_EQ(valueText(cutoff, 0, k), "");
  EXPECT_EQ(valueText(cutoff, 31, cutoff.ConvertContinuousToControl(440.0)), "440.00 Hz");
  EXPECT_EQ(valueText(cutoff, 31, kLow), "20.00 Hz");
  EXPECT_EQ(valueText(cutoff, 31, kHigh), "20.00 kHz");

  // No unit: no space; one decimal at construction.
  CPluginControl_Linear level = parameterControl(0.0, 1.0, 0.5);
  EXPECT_EQ(valueText(level, 6, level.ConvertContinuousToControl(0.5)), "0.5");
  level.SetPrecision(2);
  EXPECT_EQ(valueText(level, 6, level.ConvertContinuousToControl(0.5)), "0.50");
  // Below 1 the parameter range takes no milli prefix.
  EXPECT_EQ(valueText(level, 6, level.ConvertContinuousToControl(0.004)), "0.00");

  CPluginControl_Linear pan = parameterControl(-1.0, 1.0, 0.0);
  pan.SetPrecision(2);
  EXPECT_EQ(valueText(pan, 6, pan.ConvertContinuousToControl(-0.001)), "0.00");
  EXPECT_EQ(valueText(pan, 6, kLow), "-1.00");
}

TEST(PluginControlLinearTest, TypedTexts) {
  CPluginControl_Linear cutoff = parameterControl(20.0, 20000.0, 1000.0);
  cutoff.SetUnit("Hz");
  EXPECT_EQ(cutoff.ConvertStringToValue("2.5 kHz"), cutoff.ConvertContinuousToControl(2500.0));
  EXPECT_EQ(cutoff.ConvertStringToValue("2.5k"), cutoff.ConvertContinuousToControl(2500.0));
  EXPECT_EQ(cutoff.ConvertStringToValue("440"), cutoff.ConvertContinuousToControl(440.0));
  // Typed values are clamped, not rejected.
  EXPECT_EQ(cutoff.ConvertStringToValue("30 kHz"), kHigh);
  EXPECT_EQ(cutoff.ConvertStringToValue("-5"), kLow);
  EXPECT_EQ(cutoff.ConvertStringToValue("1 E"), kHigh);
  EXPECT_EQ(typedError(cutoff, "abc"), -7401);
  EXPECT_EQ(typedError(cutoff, ""), -7401);
  EXPECT_EQ(typedError(cutoff, "2.5 k Hz"), -7401);
  EXPECT_EQ(typedError(cutoff, "2.5 K"), -7401);
  EXPECT_EQ(typedError(cutoff, nullptr), -7401);

  // What the control shows, it reads back.
  for (double x : {20.0, 99.5, 440.0, 1000.0, 1234.5, 19999.0}) {
    const int32_t k = cutoff.ConvertContinuousToControl(x);
    const std::string shown = valueText(cutoff, 31, k);
    EXPECT_NEAR(cutoff.ConvertControlToContinuous(cutoff.ConvertStringToValue(shown.c_str())), x,
                0.051 * (x > 1000 ? 1000 : 1))
        << shown;
  }
}

TEST(PluginControlLinearTest, KeysOfNumbersPrefixesAndUnit) {
  CPluginControl_Linear cutoff = parameterControl(20.0, 20000.0, 1000.0);
  cutoff.SetUnit("Hz");
  for (int32_t key : Values{'0', '9', '.', '-', '+', 28, 29, 8, 'k', 'M', 'G', 'T', 'P', 'E', 'H', 'z'})
    EXPECT_TRUE(cutoff.IsKeyValid(key)) << key;
  // m and the smaller prefixes lie outside the range.
  for (int32_t key : Values{'m', 'u', 'x', 'e', ' ', '|', 30}) EXPECT_FALSE(cutoff.IsKeyValid(key)) << key;

  CPluginControl_Linear bare(1, "x", 0.0, 1.0, 0.1, 0.0, true, nullptr, nullptr);
  EXPECT_TRUE(bare.IsKeyValid('5'));
  EXPECT_FALSE(bare.IsKeyValid('k'));
}

TEST(PluginControlLinearTest, NameAndDeletionThroughTheHostBase) {
  std::unique_ptr<CPluginControl> control = std::make_unique<CPluginControl_Linear>(
      9, "Resonance\nReso\nRes", 0.0, 1.0, 0.001, 1.0, true, kPrefixNone, kPrefixExa);
  char name[32];
  control->GetNameOfLength(name, 31, 0);
  EXPECT_STREQ(name, "Resonance");
  control->GetNameOfLength(name, 4, 0);
  EXPECT_STREQ(name, "Reso");
  control->GetNameOfLength(name, 3, 0);
  EXPECT_STREQ(name, "Res");
  control->GetNameOfLength(name, 2, 0);
  EXPECT_STREQ(name, "Re");
  EXPECT_EQ(control->GetValue(), kHigh);
  EXPECT_EQ(control->GetNumSteps(), 1001);
  EXPECT_EQ(valueText(*control, 31, control->GetValue()), "1.0");
}
