#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

TEST(TextUtilsTest, CompareTextIgnoresCaseAndSortsPrefixesFirst) {
  EXPECT_EQ(compareText("abc", "ABC"), 0);
  EXPECT_EQ(compareText("abc", "abd"), -1);
  EXPECT_EQ(compareText("abd", "abc"), 1);
  EXPECT_EQ(compareText("ab", "abc"), -1);
  EXPECT_EQ(compareText("abc", "ab"), 1);
  EXPECT_EQ(compareText("B", "a"), 1);
  EXPECT_EQ(compareText("", ""), 0);
  // Bytes 0x80..0xFF are negative and sort before every ASCII name.
  EXPECT_EQ(compareText("\xC4pfel", "Apfel"), -1);
  EXPECT_EQ(compareText("_Init", "bass"), -1);
}

TEST(TextUtilsTest, IntegerParsingReadsOneNumberAndIgnoresTheRest) {
  int v = 0;
  EXPECT_TRUE(strToInt("12abc", v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(strToInt("   -7", v));
  EXPECT_EQ(v, -7);
  v = 99;
  EXPECT_FALSE(strToInt("abc", v));
  EXPECT_EQ(v, 99);
  EXPECT_FALSE(strToInt("", v));
  EXPECT_EQ(strToIntDef("x", 5), 5);
  EXPECT_EQ(strToIntDef("42", 5), 42);
}

TEST(TextUtilsTest, FloatParsingNeedsTheWholeString) {
  double v = -1;
  EXPECT_TRUE(strToFloat("", v));
  EXPECT_EQ(v, 0.0);
  EXPECT_FALSE(strToFloat("1.5 ", v));
  EXPECT_TRUE(strToFloat("1.5", v));
  EXPECT_EQ(v, 1.5);
  EXPECT_EQ(strToFloatDef("2.5x", 3.0), 3.0);
  EXPECT_EQ(strToFloatDef("-0.125", 3.0), -0.125);
}

TEST(TextUtilsTest, NumbersUseTheCLocaleWhateverTheProcessLocale) {
  // A locale with a decimal comma must not change what is written or read.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(floatToStr(0.1, "%.15lg"), "0.1");
  double v = 0;
  EXPECT_TRUE(strToFloat("0.25", v));
  EXPECT_EQ(v, 0.25);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(TextUtilsTest, FloatToStrHandlesInfinitiesNaNAndLongFormats) {
  EXPECT_EQ(floatToStr(std::numeric_limits<double>::infinity(), "%g"), "INF");
  EXPECT_EQ(floatToStr(-std::numeric_limits<double>::infinity(), "%g"), "-INF");
  EXPECT_EQ(floatToStr(std::nan(""), "%g"), "-INF");
  EXPECT_EQ(floatToStr(-2.5, "%.1f"), "-2.5");
  // A format that would produce more than 31 characters is cut, not overrun.
  std::string s = floatToStr(1e300, "%f");
  EXPECT_EQ(s.size(), 31u);
  EXPECT_EQ(s.substr(0, 4), "1000");
  EXPECT_EQ(intToStr(-123), "-123");
}

TEST(TextUtilsTest, DateUsesEnglishMonthNamesAndClampsTheMonth) {
  tm d{};
  d.tm_year = 109;
  d.tm_mon = 0;
  d.tm_mday = 5;
  EXPECT_EQ(dateToStr(d), "January 5, 2009");
  d.tm_mon = 14;
  EXPECT_EQ(dateToStr(d), "December 5, 2009");
  d.tm_mon = -3;
  EXPECT_EQ(dateToStr(d), "January 5, 2009");
}

TEST(TextUtilsTest, SplitKeepsEmptyPieces) {
  std::vector<std::string> parts{"old"};
  splitString("", parts, ',');
  EXPECT_EQ(parts, std::vector<std::string>{""});
  splitString("a,b", parts, ',');
  EXPECT_EQ(parts, (std::vector<std::string>{"a", "b"}));
  splitString("a,", parts, ',');
  EXPECT_EQ(parts, (std::vector<std::string>{"a", ""}));
  splitString(",,x", parts, ',');
  EXPECT_EQ(parts, (std::vector<std::string>{"", "", "x"}));
}

TEST(TextUtilsTest, EnumAndFloatMapBothWays) {
  EXPECT_EQ(floatToEnum(1.0f, 5, nullptr), 4);
  EXPECT_EQ(floatToEnum(0.49f, 3, nullptr), 1);
  EXPECT_EQ(floatToEnum(0.24f, 3, nullptr), 0);
  EXPECT_EQ(floatToEnum(-0.7f, 5, nullptr), 0);
  EXPECT_EQ(floatToEnum(3.0f, 5, nullptr), 4);
  EXPECT_EQ(floatToEnum(std::nanf(""), 5, nullptr), 0);
  EXPECT_FLOAT_EQ(enumToFloat(2, 5, nullptr), 0.5f);
  const int table[] = {10, 20, 30};
  EXPECT_FLOAT_EQ(enumToFloat(30, 3, table), 1.0f);
  EXPECT_FLOAT_EQ(enumToFloat(20, 3, table), 0.5f);
  EXPECT_FLOAT_EQ(enumToFloat(40, 3, table), 0.0f);
  EXPECT_FLOAT_EQ(enumToFloat(10, 0, table), 0.0f);
  EXPECT_EQ(floatToEnum(0.6f, 3, table), 20);
  // Every entry survives the round trip.
  for (int count = 2; count < 40; ++count)
    for (int i = 0; i < count; ++i) EXPECT_EQ(floatToEnum(enumToFloat(i, count, nullptr), count, nullptr), i);
}

TEST(TextUtilsTest, RandomFloatIsA24BitShiftRegister) {
  int seed = 1;
  EXPECT_FLOAT_EQ(randomFloat(seed), 2.0f / 16777216.0f);
  EXPECT_EQ(seed, 2);
  seed = 0x800000;
  randomFloat(seed);
  EXPECT_EQ(seed, 0x1000000 ^ 0x11D872B);
  seed = 0;
  EXPECT_EQ(randomFloat(seed), 0.0f);
  EXPECT_EQ(seed, 0);
  // From a non-zero seed the register visits many states in [0, 1) and never 0.
  seed = 12345;
  double sum = 0;
  for (int i = 0; i < 100000; ++i) {
    float r = randomFloat(seed);
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
    ASSERT_NE(seed, 0);
    sum += r;
  }
  EXPECT_NEAR(sum / 100000, 0.5, 0.01);
}

TEST(TextUtilsTest, CompareDoubleAndRounding) {
  EXPECT_EQ(compareDouble(1.0, 1.05, 0.1), 0);
  EXPECT_EQ(compareDouble(1.0, 1.2, 0.1), -1);
  EXPECT_EQ(compareDouble(1.3, 1.2, 0.01), 1);
  EXPECT_EQ(roundDownToMultipleOfFour(7), 4);
  EXPECT_EQ(roundUpToMultipleOfFour(7), 8);
  EXPECT_EQ(roundUpToMultipleOfFour(8), 8);
  EXPECT_EQ(roundUpToMultipleOfFour(0), 0);
}
