#include "wave/FilterCharacteristic.h"

#include "base/BinaryData.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

using zarn::test::TempDir;
using zarn::test::TestBundle;

namespace {

constexpr float cMin = FilterCharacteristic::cDefaultMinFrequency;
constexpr float cMax = FilterCharacteristic::cDefaultMaxFrequency;

// The cut-off (log2 Hz) of grid column c.
float columnFrequency(int c) { return cMin + (cMax - cMin) * static_cast<float>(c) / 10.0f; }

// Distinct, recognisable values in each table: clip 1 + c + 10 r, cubic
// 0.001 (c + 1) (r + 1), damping input 0.1 r + 0.01 c.
float clipPattern(int c, int r) { return 1.0f + static_cast<float>(c) + 10.0f * static_cast<float>(r); }
float cubicPattern(int c, int r) { return 0.001f * static_cast<float>((c + 1) * (r + 1)); }
float dampPattern(int c, int r) { return 0.1f * static_cast<float>(r) + 0.01f * static_cast<float>(c); }

void fillPattern(FilterCharacteristic& s) {
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) {
      s.getClipScaleTable().setValue(c, r, clipPattern(c, r));
      s.getCubicDampingTable().setValue(c, r, cubicPattern(c, r));
      s.getDampInputTable().setValue(c, r, dampPattern(c, r));
    }
}

std::string fileBytes(const FilterCharacteristic& s) {
  TempDir dir("zarn-fil");
  EXPECT_TRUE(s.saveToFile(dir.file("x.fil")));
  return dir.read("x.fil");
}

int32_t intAt(const std::string& bytes, size_t offset) {
  int32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return v;
}

float floatAt(const std::string& bytes, size_t offset) {
  const int32_t bits = intAt(bytes, offset);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void putInt(std::string& bytes, size_t offset, int32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
}

void putFloat(std::string& bytes, size_t offset, float v) {
  int32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  putInt(bytes, offset, bits);
}

// Loads bytes as a file; returns the load's result.
bool loadBytes(FilterCharacteristic& s, const std::string& bytes) {
  TempDir dir("zarn-fil");
  dir.write("y.fil", bytes);
  return s.loadFromFile(dir.file("y.fil"));
}

struct Values {
  float damp, cubic, clip;
};

Values at(const FilterCharacteristic& s, float frequency, float peak) {
  Values v{-1.0f, -1.0f, -1.0f};
  s.getFilterParameters(frequency, peak, v.damp, v.cubic, v.clip);
  return v;
}

} // namespace

TEST(FilterCharacteristicTest, EmptyNameGivesTheNeutralCharacteristic) {
  FilterCharacteristic s("", 0.75f);
  EXPECT_EQ(0.3f, s.clipBalance.get());
  EXPECT_EQ(cMin, s.minFrequency.get());
  EXPECT_EQ(cMax, s.maxFrequency.get());
  EXPECT_EQ(11, s.tableSize.get());
  EXPECT_EQ(0.75f, s.getLevel());
  EXPECT_FLOAT_EQ(10.0f / (cMax - cMin), s.getFrequencyScale());
  EXPECT_EQ(0.3f, s.getClipTable().getClipBalance());
  EXPECT_GT(s.getClipTable().getTable().getPoints(), 0);
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) {
      EXPECT_FLOAT_EQ(r == 10 ? 0.999f : r / 10.0f, s.getDampInputTable().getPoint(c, r));
      EXPECT_EQ(0.0f, s.getCubicDampingTable().getPoint(c, r));
      EXPECT_FLOAT_EQ(0.1f, s.getClipScaleTable().getPoint(c, r));
    }
  const Values v = at(s, 9.0f, 0.55f);
  EXPECT_FLOAT_EQ(0.55f, v.damp);
  EXPECT_EQ(0.0f, v.cubic);
  EXPECT_FLOAT_EQ(0.1f, v.clip);
}

TEST(FilterCharacteristicTest, GridPointsReadExactlyAndBetweenBilinearly) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) {
      const Values v = at(s, columnFrequency(c), r / 10.0f);
      EXPECT_NEAR(clipPattern(c, r), v.clip, 1e-4f) << c << "," << r;
      EXPECT_NEAR(cubicPattern(c, r), v.cubic, 1e-6f) << c << "," << r;
      EXPECT_NEAR(dampPattern(c, r), v.damp, 1e-5f) << c << "," << r;
    }
  // A quarter of the way from column 3 to 4 and 60% from row 5 to 6.
  const float f = columnFrequency(3) + 0.25f * (columnFrequency(4) - columnFrequency(3));
  const Values v = at(s, f, 0.56f);
  EXPECT_NEAR(1.0f + 3.25f + 56.0f, v.clip, 1e-4f);
  EXPECT_NEAR(0.1f * 5.6f + 0.01f * 3.25f, v.damp, 1e-5f);
  // cubic is bilinear, not linear: (c + 1)(r + 1) at c = 3.25, r = 5.6.
  EXPECT_NEAR(0.001f * 4.25f * 6.6f, v.cubic, 1e-6f);
}

TEST(FilterCharacteristicTest, CutOffsOutsideTheRangeReadTheEdgeColumns) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  EXPECT_NEAR(dampPattern(0, 4), at(s, -5.0f, 0.4f).damp, 1e-6f);
  EXPECT_NEAR(dampPattern(0, 4), at(s, cMin - 0.001f, 0.4f).damp, 1e-6f);
  EXPECT_NEAR(dampPattern(10, 4), at(s, 19.0f, 0.4f).damp, 1e-6f);
  EXPECT_NEAR(dampPattern(10, 4), at(s, std::numeric_limits<float>::infinity(), 0.4f).damp, 1e-6f);
  EXPECT_NEAR(dampPattern(0, 4), at(s, std::numeric_limits<float>::quiet_NaN(), 0.4f).damp, 1e-6f);
}

TEST(FilterCharacteristicTest, PeaksOutsideZeroToOneAreHeld) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  const float f = columnFrequency(6);
  // Peak 1 reads the last row; the guard row beyond it has weight 0.
  EXPECT_NEAR(clipPattern(6, 10), at(s, f, 1.0f).clip, 1e-4f);
  // A modulated peak beyond 1 reads the last row, not past the grid.
  for (float peak : {1.05f, 1.5f, 3.0f, 1e9f, std::numeric_limits<float>::infinity()}) {
    const Values v = at(s, f, peak);
    EXPECT_NEAR(clipPattern(6, 10), v.clip, 1e-4f) << peak;
    EXPECT_NEAR(cubicPattern(6, 10), v.cubic, 1e-6f) << peak;
    EXPECT_NEAR(dampPattern(6, 10), v.damp, 1e-5f) << peak;
  }
  for (float peak : {-0.2f, -1e9f, std::numeric_limits<float>::quiet_NaN()}) {
    const Values v = at(s, f, peak);
    EXPECT_NEAR(dampPattern(6, 0), v.damp, 1e-6f) << peak;
    EXPECT_NEAR(clipPattern(6, 0), v.clip, 1e-5f) << peak;
  }
}

TEST(FilterCharacteristicTest, ClipScaleNeverFallsBelowATenth) {
  FilterCharacteristic s("", 1.0f);
  for (int r = 0; r < 11; ++r) {
    s.getClipScaleTable().setValueForAllCutOff(r, r < 5 ? 0.0f : -3.0f);
  }
  s.getClipScaleTable().setValue(4, 4, 0.5f);
  EXPECT_EQ(0.1f, at(s, 8.0f, 0.2f).clip);
  EXPECT_EQ(0.1f, at(s, 8.0f, 0.9f).clip);
  EXPECT_NEAR(0.5f, at(s, columnFrequency(4), 0.4f).clip, 1e-5f);
}

TEST(FilterCharacteristicTest, LookupsAllocateNothing) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  float d, g, c, sum = 0.0f;
  zarn::test::AllocationCounter counter;
  for (int i = 0; i < 200; ++i) {
    s.getFilterParameters(2.0f + i * 0.08f, i * 0.006f, d, g, c);
    sum += d + g + c;
  }
  EXPECT_EQ(0, counter.count());
  EXPECT_GT(sum, 0.0f);
}

TEST(FilterCharacteristicTest, FileLayoutIsExact) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  s.clipBalance = 0.625f;
  const std::string bytes = fileBytes(s);
  ASSERT_EQ(1484u, bytes.size());
  EXPECT_EQ("QVil", bytes.substr(0, 4));
  EXPECT_EQ(1, intAt(bytes, 4));
  EXPECT_EQ(0.625f, floatAt(bytes, 8));
  EXPECT_EQ(cMin, floatAt(bytes, 12));
  EXPECT_EQ(cMax, floatAt(bytes, 16));
  const size_t table = 4 + 4 * 121;
  EXPECT_EQ(11, intAt(bytes, 20));
  EXPECT_EQ(11, intAt(bytes, 20 + table));
  EXPECT_EQ(11, intAt(bytes, 20 + 2 * table));
  // Row by row: peak row 0 first, cut-off column 0 first within a row.
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) {
      const size_t i = 24 + 4 * (11 * r + c);
      EXPECT_EQ(clipPattern(c, r), floatAt(bytes, i));
      EXPECT_EQ(cubicPattern(c, r), floatAt(bytes, i + table));
      EXPECT_EQ(dampPattern(c, r), floatAt(bytes, i + 2 * table));
    }
}

TEST(FilterCharacteristicTest, SaveThenLoadGivesIdenticalTablesAndProperties) {
  FilterCharacteristic a("", 1.0f);
  a.clipBalance = 0.8f;
  a.minFrequency = 3.0f;
  a.maxFrequency = 15.0f;
  fillPattern(a);
  const std::string bytes = fileBytes(a);

  FilterCharacteristic b("", 0.5f);
  ASSERT_TRUE(loadBytes(b, bytes));
  EXPECT_EQ(0.8f, b.clipBalance.get());
  EXPECT_EQ(0.8f, b.getClipTable().getClipBalance());
  EXPECT_EQ(3.0f, b.minFrequency.get());
  EXPECT_EQ(15.0f, b.maxFrequency.get());
  EXPECT_FLOAT_EQ(10.0f / 12.0f, b.getFrequencyScale());
  EXPECT_EQ(0.5f, b.getLevel()); // the level is not part of the file
  // The changed range reset the tables before the file's were read: the
  // file's win.
  EXPECT_EQ(bytes, fileBytes(b));
  for (float f : {3.0f, 7.3f, 14.9f})
    for (float p : {0.0f, 0.37f, 1.0f}) {
      const Values va = at(a, f, p), vb = at(b, f, p);
      EXPECT_EQ(va.damp, vb.damp);
      EXPECT_EQ(va.cubic, vb.cubic);
      EXPECT_EQ(va.clip, vb.clip);
    }
}

TEST(FilterCharacteristicTest, TheVersionIsNotChecked) {
  FilterCharacteristic a("", 1.0f);
  fillPattern(a);
  std::string bytes = fileBytes(a);
  putInt(bytes, 4, 7);
  FilterCharacteristic b("", 1.0f);
  EXPECT_TRUE(loadBytes(b, bytes));
  EXPECT_EQ(dampPattern(3, 3), b.getDampInputTable().getPoint(3, 3));
}

TEST(FilterCharacteristicTest, UnusableFilesAreRejectedWholeAndChangeNothing) {
  FilterCharacteristic source("", 1.0f);
  fillPattern(source);
  source.clipBalance = 0.9f;
  const std::string good = fileBytes(source);
  const size_t table = 4 + 4 * 121;

  std::vector<std::pair<std::string, std::string>> bad;
  for (size_t length : {size_t(0), size_t(3), size_t(8), size_t(20), size_t(24), size_t(600), good.size() - 1})
    bad.emplace_back("short " + std::to_string(length), good.substr(0, length));
  std::string foreign = good;
  foreign.replace(0, 4, "QVpr");
  bad.emplace_back("foreign tag", foreign);
  for (int n : {10, 12, 0, -1}) {
    // A table of another size, each of the three in turn; the data after it
    // is laid out for that size where possible.
    for (int which = 0; which < 3; ++which) {
      std::string bytes = good;
      putInt(bytes, 20 + which * table, n);
      bad.emplace_back("size " + std::to_string(n) + " in table " + std::to_string(which), bytes);
    }
  }
  {
    // A well-formed file of 10 x 10 tables.
    FilterCharacteristic ten("", 1.0f);
    ten.tableSize = 10;
    bad.emplace_back("10 x 10 file", fileBytes(ten));
  }
  std::string nanValue = good;
  putFloat(nanValue, 24 + 2 * table + 4 * 17, std::numeric_limits<float>::quiet_NaN());
  bad.emplace_back("NaN value", nanValue);
  std::string infValue = good;
  putFloat(infValue, 24 + 4 * 3, std::numeric_limits<float>::infinity());
  bad.emplace_back("infinite value", infValue);
  // Finite, but the difference of two neighbours overflows: the lookups
  // between them gave not-a-number (found by fuzzing).
  std::string hugeValues = good;
  putFloat(hugeValues, 24 + table + 4 * 40, 2.5e38f);
  putFloat(hugeValues, 24 + table + 4 * 41, -2.5e38f);
  bad.emplace_back("huge values", hugeValues);
  std::string largeValue = good;
  putFloat(largeValue, 24 + 4 * 60, -2e6f);
  bad.emplace_back("value beyond a million", largeValue);
  for (float balance : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    std::string bytes = good;
    putFloat(bytes, 8, balance);
    bad.emplace_back("balance " + std::to_string(balance), bytes);
  }
  std::string emptyRange = good;
  putFloat(emptyRange, 16, cMin);
  bad.emplace_back("empty range", emptyRange);
  std::string reversed = good;
  putFloat(reversed, 12, 17.0f);
  bad.emplace_back("reversed range", reversed);

  for (const auto& [what, bytes] : bad) {
    FilterCharacteristic s("", 0.4f);
    fillPattern(s);
    s.getDampInputTable().setValue(5, 5, 0.123f);
    s.clipBalance = 0.45f;
    const std::string before = fileBytes(s);
    EXPECT_FALSE(loadBytes(s, bytes)) << what;
    EXPECT_EQ(before, fileBytes(s)) << what;
    EXPECT_EQ(0.45f, s.getClipTable().getClipBalance()) << what;
    EXPECT_EQ(0.4f, s.getLevel()) << what;
  }
}

TEST(FilterCharacteristicTest, ANamedCharacteristicLoadsFromTheBundle) {
  TestBundle bundle("com.quorvane.test.fil-named");
  FilterCharacteristic source("", 1.0f);
  fillPattern(source);
  source.clipBalance = 0.7f;
  const std::string bytes = fileBytes(source);
  bundle.writeResource("Mine.fil", bytes);

  FilterCharacteristic s("Mine.fil", 0.35f);
  EXPECT_EQ(0.35f, s.getLevel());
  EXPECT_EQ(0.7f, s.getClipTable().getClipBalance());
  EXPECT_EQ(bytes, fileBytes(s));

  FilterCharacteristic t("", 1.0f);
  EXPECT_TRUE(t.loadFromResource("Mine.fil"));
  EXPECT_EQ(bytes, fileBytes(t));
}

TEST(FilterCharacteristicTest, AnUnusableResourceLeavesAPlainUnresonantFilter) {
  TestBundle bundle("com.quorvane.test.fil-unusable");
  bundle.writeResource("Short.fil", std::string("QVil\x01\x00\x00\x00", 8));
  FilterCharacteristic neutral("", 1.0f);
  EXPECT_FALSE(neutral.loadFromResource("Absent.fil"));
  EXPECT_FALSE(neutral.loadFromFile("/nonexistent/folder/x.fil"));
  TempDir dir("zarn-fil");
  EXPECT_FALSE(neutral.saveToFile(dir.file("missing/x.fil")));

  for (const char* name : {"Absent.fil", "Short.fil"}) {
    FilterCharacteristic s(name, 1.0f);
    for (float f : {4.0f, 10.0f, 15.0f})
      for (float p : {0.0f, 0.5f, 1.0f}) {
        const Values v = at(s, f, p);
        EXPECT_EQ(0.0f, v.damp) << name;
        EXPECT_EQ(0.0f, v.cubic) << name;
        EXPECT_EQ(0.1f, v.clip) << name;
      }
  }
}

TEST(FilterCharacteristicTest, RangeAndSizeChangesResetToNeutral) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  s.maxFrequency = 14.0f;
  EXPECT_FLOAT_EQ(10.0f / (14.0f - cMin), s.getFrequencyScale());
  EXPECT_FLOAT_EQ(0.3f, s.getDampInputTable().getPoint(7, 3));
  EXPECT_FLOAT_EQ(0.1f, s.getClipScaleTable().getPoint(7, 3));

  fillPattern(s);
  s.tableSize = 6;
  EXPECT_EQ(6, s.getDampInputTable().getSize());
  EXPECT_EQ(6, s.getCubicDampingTable().getSize());
  EXPECT_EQ(6, s.getClipScaleTable().getSize());
  EXPECT_FLOAT_EQ(5.0f / (14.0f - cMin), s.getFrequencyScale());
  EXPECT_FLOAT_EQ(0.4f, s.getDampInputTable().getPoint(1, 2));
  EXPECT_FLOAT_EQ(0.999f, s.getDampInputTable().getPoint(1, 5));
  // A 6-step file now fits and an 11-step one no longer does.
  FilterCharacteristic eleven("", 1.0f);
  EXPECT_FALSE(loadBytes(s, fileBytes(eleven)));
  FilterCharacteristic six("", 1.0f);
  six.tableSize = 6;
  six.getDampInputTable().setValue(2, 2, 0.77f);
  EXPECT_TRUE(loadBytes(s, fileBytes(six)));
  EXPECT_FLOAT_EQ(0.77f, s.getDampInputTable().getPoint(2, 2));

  // A reversed range maps every cut-off to the first column.
  s.minFrequency = 20.0f;
  EXPECT_EQ(0.0f, s.getFrequencyScale());
  EXPECT_FLOAT_EQ(0.6f, at(s, 30.0f, 0.6f).damp);
}

TEST(FilterCharacteristicTest, ClipBalanceFollowsThePropertyWhileUsable) {
  FilterCharacteristic s("", 1.0f);
  s.clipBalance = 0.6f;
  EXPECT_EQ(0.6f, s.getClipTable().getClipBalance());
  s.clipBalance = 0.0f;
  EXPECT_EQ(0.6f, s.getClipTable().getClipBalance());
  s.clipBalance = -2.0f;
  EXPECT_EQ(0.6f, s.getClipTable().getClipBalance());
}

TEST(FilterCharacteristicTest, StoreWritesTheNearestGridPoint) {
  FilterCharacteristic s("", 1.0f);
  const float step = (cMax - cMin) / 10.0f;
  s.store(columnFrequency(3) + 0.4f * step, 0.66f, 2.0f, 0.05f, 1.5f);
  EXPECT_EQ(2.0f, s.getClipScaleTable().getPoint(3, 7));
  EXPECT_EQ(0.05f, s.getCubicDampingTable().getPoint(3, 7));
  EXPECT_EQ(1.5f, s.getDampInputTable().getPoint(3, 7));
  s.store(columnFrequency(3) + 0.6f * step, 0.64f, 3.0f, 0.0f, 0.0f);
  EXPECT_EQ(3.0f, s.getClipScaleTable().getPoint(4, 6));
  // The read at the stored point gives it back.
  EXPECT_NEAR(1.5f, at(s, columnFrequency(3), 0.7f).damp, 1e-5f);
  // Points beyond the grid are ignored.
  const std::string before = fileBytes(s);
  s.store(cMax + 3.0f * step, 0.5f, 9.0f, 0.09f, 4.0f);
  s.store(8.0f, 1.5f, 9.0f, 0.09f, 4.0f);
  s.store(std::numeric_limits<float>::quiet_NaN(), 0.5f, 9.0f, 0.09f, 4.0f);
  s.storeForAllCutOff(-0.5f, 9.0f, 0.09f, 4.0f);
  EXPECT_EQ(before, fileBytes(s));
}

TEST(FilterCharacteristicTest, RowEditsAndInterpolationReachAllThreeTables) {
  FilterCharacteristic s("", 1.0f);
  s.storeForAllCutOff(0.2f, 1.0f, 0.0f, 0.2f);
  s.storeForAllCutOff(0.8f, 3.0f, 0.06f, 0.8f);
  s.interpolateArea(2, 8);
  for (int c = 0; c < 11; ++c) {
    EXPECT_FLOAT_EQ(2.0f, s.getClipScaleTable().getPoint(c, 5));
    EXPECT_FLOAT_EQ(0.03f, s.getCubicDampingTable().getPoint(c, 5));
    EXPECT_FLOAT_EQ(0.5f, s.getDampInputTable().getPoint(c, 5));
  }
  EXPECT_NEAR(1.0f + 2.0f / 3.0f, at(s, 6.0f, 0.4f).clip, 1e-5f);
}

TEST(FilterCharacteristicTest, ClassicShape) {
  FilterCharacteristic s("", 1.0f);
  fillPattern(s);
  s.tableSize = 9;
  s.initializeAsClassicShape();
  EXPECT_EQ(11, s.tableSize.get());
  EXPECT_EQ(11, s.getDampInputTable().getSize());
  const FilterSettingTable& damp = s.getDampInputTable();
  const FilterSettingTable& cubic = s.getCubicDampingTable();
  const FilterSettingTable& clip = s.getClipScaleTable();
  EXPECT_EQ(3.5f, damp.getPoint(0, 10));
  EXPECT_EQ(1.0f, damp.getPoint(10, 10));
  EXPECT_EQ(2.1f, damp.getPoint(5, 9));
  EXPECT_EQ(0.8f, damp.getPoint(5, 8));
  EXPECT_EQ(0.04f, cubic.getPoint(6, 10));
  EXPECT_EQ(0.01f, cubic.getPoint(7, 8));
  EXPECT_EQ(8.0f, clip.getPoint(9, 10));
  EXPECT_EQ(3.0f, clip.getPoint(9, 9));
  for (int c = 0; c < 11; ++c) {
    EXPECT_FLOAT_EQ(0.15f, damp.getPoint(c, 3));
    EXPECT_EQ(0.0f, cubic.getPoint(c, 4));
    EXPECT_EQ(2.5f, clip.getPoint(c, 0));
  }
  // Rows 5 to 7 run straight from row 4 to row 8.
  EXPECT_FLOAT_EQ(0.2f + 0.25f * (1.3f - 0.2f), damp.getPoint(0, 5));
  EXPECT_FLOAT_EQ(0.2f + 0.75f * (0.6f - 0.2f), damp.getPoint(9, 7));
  EXPECT_FLOAT_EQ(0.5f * 0.03f, cubic.getPoint(5, 6));
  EXPECT_FLOAT_EQ(2.5f, clip.getPoint(8, 6));
  EXPECT_FLOAT_EQ(2.25f, clip.getPoint(0, 6));
  // The bilinear read agrees with the stored rows.
  EXPECT_NEAR(0.5f * (1.5f + 1.2f), at(s, 0.5f * (columnFrequency(6) + columnFrequency(7)), 1.0f).damp, 1e-5f);
}
