#include "host/services/ControlValueText.h"

#include "host/services/CDAEError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <locale>
#include <string>

namespace {

const PrefixDictionaryEntry* const kAllFirst = &kPrefixDictionary[0];
const PrefixDictionaryEntry* const kAllEnd = &kPrefixDictionary[12]; // the end entry
const PrefixDictionaryEntry* const kParamEnd = kPrefixExa + 1;

// The parameter controls' range: "" to "E".
std::string text(double value, int precision, const std::string& unit, int maxLength, bool space = false) {
  return ContinuousToString(value, precision, unit, maxLength, kPrefixNone, kParamEnd, space);
}

double read(const std::string& typed, const std::string& unit = "",
            const PrefixDictionaryEntry* first = kPrefixNone, const PrefixDictionaryEntry* end = kParamEnd,
            const std::string& defaultSuffix = "") {
  return StringToContinuous(typed, unit, first, end, defaultSuffix);
}

int32_t readError(const std::string& typed, const std::string& unit = "",
                  const PrefixDictionaryEntry* first = kPrefixNone, const PrefixDictionaryEntry* end = kParamEnd) {
  try {
    double v = StringToContinuous(typed, unit, first, end, "");
    ADD_FAILURE() << "\"" << typed << "\" read as " << v;
  } catch (const CDAEError& e) {
    return e.GetErrorCode();
  }
  return 0;
}

} // namespace

TEST(ContinuousToStringTest, TheDocumentedExamples) {
  EXPECT_EQ(text(0.5, 2, "", 6), "0.50");
  // With a space "12.35 kHz" would take 9 characters, without it 8.
  EXPECT_EQ(text(12345.678, 2, "Hz", 6, true), "12.35k");
  EXPECT_EQ(text(-0.001, 2, "", 10), "0.00");
  EXPECT_EQ(text(1000.0, 2, "", 10), "1000.00");
  EXPECT_EQ(text(1000.5, 2, "", 10), "1.00k");
  EXPECT_EQ(text(1000.5, 2, "Hz", 0, true), "*");
  EXPECT_EQ(text(0.0, 2, "", 0), "*");
}

TEST(ContinuousToStringTest, ChoosesTheLargestPrefixBelowTheMagnitude) {
  EXPECT_EQ(text(2500.0, 1, "", 20), "2.5k");
  EXPECT_EQ(text(-2500.0, 1, "Hz", 20, true), "-2.5 kHz");
  EXPECT_EQ(text(3.5e6, 1, "", 20), "3.5M");
  EXPECT_EQ(text(7e18, 0, "", 20), "7E");
  // Beyond the last prefix the number grows instead.
  EXPECT_EQ(text(7e21, 0, "", 20), "7000E");
  // The parameter range never goes below "".
  EXPECT_EQ(text(0.002, 3, "", 20), "0.002");
  // The whole dictionary does.
  EXPECT_EQ(ContinuousToString(0.002, 1, "s", 20, kAllFirst, kAllEnd, true), "2.0 ms");
  EXPECT_EQ(ContinuousToString(4.7e-9, 1, "F", 20, kAllFirst, kAllEnd, false), "4.7nF");
  // Zero and no range take no prefix.
  EXPECT_EQ(ContinuousToString(0.0, 1, "s", 20, kAllFirst, kAllEnd, false), "0.0s");
  EXPECT_EQ(ContinuousToString(2500.0, 1, "", 20, nullptr, nullptr, false), "2500.0");
  EXPECT_EQ(ContinuousToString(2500.0, 1, "", 20, kPrefixNone, kPrefixNone, false), "2500.0");
}

TEST(ContinuousToStringTest, GivesUpDecimalsThenSpaceThenUnitThenTheNumber) {
  EXPECT_EQ(text(440.0, 1, "Hz", 20, true), "440.0 Hz");
  EXPECT_EQ(text(440.0, 1, "Hz", 7, true), "440.0Hz");
  EXPECT_EQ(text(440.0, 1, "Hz", 5, true), "440.0");
  EXPECT_EQ(text(440.0, 1, "Hz", 4, true), "440");
  EXPECT_EQ(text(440.0, 1, "Hz", 3, true), "440");
  EXPECT_EQ(text(440.0, 1, "Hz", 2, true), "*");
  EXPECT_EQ(text(44.0, 3, "", 3), "44");
  EXPECT_EQ(text(4.5678, 3, "", 3), "4.6");
  // Decimals go only while number and prefix do not fit; the unit may then
  // still be dropped.
  EXPECT_EQ(text(1.25, 2, "dB", 5, true), "1.25");
}

TEST(ContinuousToStringTest, TheStarKeepsWhatFitsOfPrefixAndUnit) {
  const PrefixDictionaryEntry* kiloEnd = kPrefixNone + 2; // "" and "k"
  EXPECT_EQ(ContinuousToString(1234567.0, 0, "Hz", 5, kPrefixNone, kiloEnd, true), "1235k");
  EXPECT_EQ(ContinuousToString(123456789.0, 0, "Hz", 5, kPrefixNone, kiloEnd, true), "* kHz");
  EXPECT_EQ(ContinuousToString(123456789.0, 0, "Hz", 4, kPrefixNone, kiloEnd, true), "*kHz");
  EXPECT_EQ(ContinuousToString(123456789.0, 0, "Hz", 3, kPrefixNone, kiloEnd, true), "*k");
  EXPECT_EQ(ContinuousToString(123456789.0, 0, "Hz", 1, kPrefixNone, kiloEnd, true), "*");
  // Without the space asked for, none follows the star.
  EXPECT_EQ(ContinuousToString(123456.0, 0, "", 3, nullptr, nullptr, false), "*");
  EXPECT_EQ(ContinuousToString(123456789.0, 0, "Hz", 5, kPrefixNone, kiloEnd, false), "*kHz");
  EXPECT_EQ(ContinuousToString(123456.0, 0, "s", 3, nullptr, nullptr, false), "*s");
}

TEST(ContinuousToStringTest, NeverShowsANegativeZero) {
  EXPECT_EQ(text(-0.004, 2, "", 10), "0.00");
  EXPECT_EQ(text(-0.0, 1, "", 10), "0.0");
  // Still negative where it shows.
  EXPECT_EQ(text(-0.01, 2, "", 10), "-0.01");
  // Also when decimals had to go to make it fit.
  EXPECT_EQ(text(-0.4, 1, "", 2), "0");
  // A prefix that shows the value keeps its sign.
  EXPECT_EQ(ContinuousToString(-0.0004, 1, "", 10, kAllFirst, kAllEnd, false), "-400.0u");
}

TEST(ContinuousToStringTest, ANegativeLengthLimitsNothing) {
  EXPECT_EQ(text(12345.678, 2, "Hz", -1, true), "12.35 kHz");
  EXPECT_EQ(text(0.25, -3, "", 10), "0"); // a negative precision counts as none
}

TEST(ContinuousToStringTest, WritesTheDecimalPointWhateverTheLocale) {
  std::locale previous;
  try {
    std::locale::global(std::locale("de_DE.UTF-8"));
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "no German locale installed";
  }
  std::string shown = text(2.5, 1, "", 10);
  double typed = read("2.5");
  std::locale::global(previous);
  EXPECT_EQ(shown, "2.5");
  EXPECT_EQ(typed, 2.5);
}

TEST(StringToContinuousTest, ReadsANumberWithPrefixAndUnit) {
  for (const char* typed : {"2.5k", "2.5 k", "2.5 kHz", "2.5kHz", "  2.5kHz", "2.5kHz  ", "2500", "2500Hz", "2.5e3 Hz"})
    EXPECT_DOUBLE_EQ(read(typed, "Hz"), 2500.0) << typed;
  EXPECT_DOUBLE_EQ(read("3.5 M"), 3.5e6);
  EXPECT_DOUBLE_EQ(read("-12"), -12.0);
  EXPECT_DOUBLE_EQ(read(".5"), 0.5);
  EXPECT_DOUBLE_EQ(read("2 E"), 2e18);
  EXPECT_DOUBLE_EQ(read("4.7n", "F", kAllFirst, kAllEnd), 4.7e-9);
  // The suffix a text without one gets.
  EXPECT_DOUBLE_EQ(read("2.5", "Hz", kPrefixNone, kParamEnd, "k"), 2500.0);
  // Without a prefix range the number stands alone, with or without unit.
  EXPECT_DOUBLE_EQ(read("440 Hz", "Hz", nullptr, nullptr), 440.0);
  EXPECT_DOUBLE_EQ(read("440", "Hz", nullptr, nullptr), 440.0);
}

TEST(StringToContinuousTest, RejectsWhatItCannotRead) {
  EXPECT_EQ(readError(""), -7401);
  EXPECT_EQ(readError("   "), -7401);
  EXPECT_EQ(readError("abc"), -7401);
  EXPECT_EQ(readError("k5"), -7401);
  // Prefixes are case-sensitive, and only those of the range count.
  EXPECT_EQ(readError("3.5 K"), -7401);
  EXPECT_EQ(readError("3.5 m"), -7401);
  // One word after the number at most.
  EXPECT_EQ(readError("2.5 k Hz", "Hz"), -7401);
  // The unit must match exactly.
  EXPECT_EQ(readError("2.5 khz", "Hz"), -7401);
  EXPECT_EQ(readError("440 k", "Hz", nullptr, nullptr), -7401);
  // An empty range accepts nothing.
  EXPECT_EQ(readError("1", "", kPrefixNone, kPrefixNone), -7401);
}

TEST(StringToContinuousTest, ReadsBackWhatItShows) {
  const double values[] = {0.0, 1.0, 12.5, 999.9, 1000.0, 1000.5, 20000.0, -2500.0, 4.2e7, 3.3e15};
  for (double v : values) {
    const std::string shown = ContinuousToString(v, 1, "Hz", 64, kPrefixNone, kParamEnd, true);
    const double back = read(shown, "Hz");
    // One decimal of the prefix's unit: half of that at most.
    double factor = 1.0;
    for (const PrefixDictionaryEntry* e = kPrefixNone + 1; e < kParamEnd && e->factor < std::fabs(v); ++e)
      factor = e->factor;
    EXPECT_NEAR(back, v, 0.05 * factor + 1e-9) << shown;
  }
}

TEST(CopyValueTextTest, CutsToTheLengthAndNeverWritesPastIt) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  CopyValueText(buffer, 3, "abcdef");
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], '#');
  std::memset(buffer, '#', sizeof buffer);
  CopyValueText(buffer, 5, "ab");
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(buffer[5], '\0');
  EXPECT_EQ(buffer[6], '#');
  std::memset(buffer, '#', sizeof buffer);
  CopyValueText(buffer, 0, "abc");
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');
  CopyValueText(buffer, -1, "abc");
  EXPECT_EQ(buffer[0], '\0');
}
