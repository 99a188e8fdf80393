#include "wave/FilterSettingTable.h"

#include "base/BinaryData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

// A table whose value at (c, r) is 10 r + c * c, so rows differ by a
// constant and columns are curved: the differences then vary per column.
void fillPattern(FilterSettingTable& t) {
  for (int r = 0; r < t.getSize(); ++r)
    for (int c = 0; c < t.getSize(); ++c) t.setValue(c, r, 10.0f * r + static_cast<float>(c * c));
}

float pattern(int c, int r) { return 10.0f * r + static_cast<float>(c * c); }

std::string serialized(const FilterSettingTable& t) {
  auto* out = new std::ostringstream;
  BinaryDataWriter w(out);
  t.writeToBinaryData(&w);
  return out->str();
}

} // namespace

TEST(FilterSettingTableTest, StartsAsElevenByElevenZeros) {
  FilterSettingTable t;
  EXPECT_EQ(11, t.size.get());
  EXPECT_EQ(11, t.getSize());
  for (int r = 0; r <= 11; ++r)
    for (int c = 0; c <= 11; ++c) EXPECT_EQ(0.0f, t.getPoint(c, r));
  EXPECT_EQ(0.0f, t.getValue(3.5f, 7.25f));
}

TEST(FilterSettingTableTest, LastRowAndColumnAreReadThroughTheGuards) {
  FilterSettingTable t;
  fillPattern(t);
  EXPECT_EQ(pattern(10, 10), t.getValue(10.0f, 10.0f));
  EXPECT_EQ(pattern(4, 10), t.getValue(4.0f, 10.0f));
  EXPECT_FLOAT_EQ(pattern(10, 3) + 0.5f * 10.0f, t.getValue(10.0f, 3.5f));
  // The guards themselves stay 0 and carry no difference.
  EXPECT_EQ(0.0f, t.getPoint(11, 4));
  EXPECT_EQ(0.0f, t.getPoint(4, 11));
  EXPECT_EQ(0.0f, t.getDifference(10, 4));
}

TEST(FilterSettingTableTest, PositionsOutsideTheGridReadTheNearestEdge) {
  FilterSettingTable t;
  fillPattern(t);
  EXPECT_EQ(pattern(0, 3), t.getValue(-4.0f, 3.0f));
  EXPECT_EQ(pattern(10, 3), t.getValue(25.0f, 3.0f));
  EXPECT_EQ(pattern(5, 0), t.getValue(5.0f, -0.5f));
  EXPECT_EQ(pattern(5, 10), t.getValue(5.0f, 11.7f));
  EXPECT_EQ(pattern(10, 10), t.getValue(1e30f, 1e30f));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(pattern(0, 0), t.getValue(nan, nan));
  EXPECT_EQ(pattern(0, 10), t.getValue(-std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()));
}

TEST(FilterSettingTableTest, SetValueKeepsTheDifferencesOnBothSides) {
  FilterSettingTable t;
  t.setValueForAllCutOff(2, 1.0f);
  t.setValue(5, 2, 3.0f);
  EXPECT_EQ(2.0f, t.getDifference(4, 2));
  EXPECT_EQ(-2.0f, t.getDifference(5, 2));
  EXPECT_FLOAT_EQ(2.0f, t.getValue(4.5f, 2.0f));
  EXPECT_FLOAT_EQ(2.0f, t.getValue(5.5f, 2.0f));
  // At the ends only the existing side changes.
  t.setValue(0, 2, 5.0f);
  EXPECT_EQ(-4.0f, t.getDifference(0, 2));
  t.setValue(10, 2, 7.0f);
  EXPECT_EQ(6.0f, t.getDifference(9, 2));
  EXPECT_EQ(0.0f, t.getDifference(10, 2));
}

TEST(FilterSettingTableTest, EditsOutsideTheGridAreIgnored) {
  FilterSettingTable t;
  fillPattern(t);
  const std::string before = serialized(t);
  t.setValue(11, 0, 99.0f);
  t.setValue(0, 11, 99.0f);
  t.setValue(-1, 3, 99.0f);
  t.setValueForAllCutOff(11, 99.0f);
  t.setValueForAllCutOff(-1, 99.0f);
  t.interpolateValues(-1, 5);
  t.interpolateValues(2, 40);
  EXPECT_EQ(before, serialized(t));
  EXPECT_EQ(0.0f, t.getPoint(11, 0));
  EXPECT_EQ(0.0f, t.getPoint(0, 11));
}

TEST(FilterSettingTableTest, RowFillsAndAreas) {
  FilterSettingTable t;
  t.setValueForAllCutOff(3, 0.5f);
  for (int c = 0; c < 11; ++c) EXPECT_EQ(0.5f, t.getPoint(c, 3));
  EXPECT_EQ(0.0f, t.getDifference(4, 3));

  t.setValueArea(6, 2.0f, 6, 9.0f); // one row: value1
  for (int c = 0; c < 11; ++c) EXPECT_EQ(2.0f, t.getPoint(c, 6));

  t.setValueArea(8, 1.0f, 4, 3.0f); // downwards, both ends included
  EXPECT_FLOAT_EQ(1.0f, t.getPoint(0, 8));
  EXPECT_FLOAT_EQ(1.5f, t.getPoint(3, 7));
  EXPECT_FLOAT_EQ(2.0f, t.getPoint(10, 6));
  EXPECT_FLOAT_EQ(2.5f, t.getPoint(5, 5));
  EXPECT_FLOAT_EQ(3.0f, t.getPoint(2, 4));
  EXPECT_EQ(0.5f, t.getPoint(2, 3));
  EXPECT_EQ(0.0f, t.getPoint(2, 9));
}

TEST(FilterSettingTableTest, InterpolatesRowsColumnByColumn) {
  FilterSettingTable t;
  for (int c = 0; c < 11; ++c) {
    t.setValue(c, 1, static_cast<float>(c));
    t.setValue(c, 5, 100.0f + c);
  }
  t.setValue(4, 3, 777.0f); // overwritten by the interpolation
  t.interpolateValues(5, 1);
  for (int c = 0; c < 11; ++c) {
    EXPECT_FLOAT_EQ(c + 25.0f, t.getPoint(c, 2));
    EXPECT_FLOAT_EQ(c + 50.0f, t.getPoint(c, 3));
    EXPECT_FLOAT_EQ(c + 75.0f, t.getPoint(c, 4));
  }
  EXPECT_EQ(3.0f, t.getPoint(3, 1));
  EXPECT_EQ(103.0f, t.getPoint(3, 5));
  EXPECT_FLOAT_EQ(1.0f, t.getDifference(4, 3));
}

TEST(FilterSettingTableTest, ResizingKeepsWhatFitsAndZeroesTheRest) {
  FilterSettingTable t;
  fillPattern(t);
  t.size = 5;
  EXPECT_EQ(5, t.getSize());
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) EXPECT_EQ(pattern(c, r), t.getPoint(c, r));
  // The old values beyond the new grid do not become guards.
  EXPECT_EQ(0.0f, t.getPoint(5, 2));
  EXPECT_EQ(0.0f, t.getDifference(4, 2));
  EXPECT_EQ(pattern(4, 4), t.getValue(4.0f, 4.0f));

  t.size = 8;
  EXPECT_EQ(pattern(3, 2), t.getPoint(3, 2));
  EXPECT_EQ(0.0f, t.getPoint(6, 2));
  EXPECT_EQ(0.0f, t.getPoint(2, 6));
  EXPECT_EQ(-pattern(4, 1), t.getDifference(4, 1));
}

TEST(FilterSettingTableTest, UnusableSizesAreHeld) {
  FilterSettingTable t;
  t.size = 0;
  EXPECT_EQ(1, t.getSize());
  EXPECT_EQ(0.0f, t.getValue(3.0f, 3.0f));
  t.size = -7;
  EXPECT_EQ(1, t.getSize());
  t.size = 100000;
  EXPECT_EQ(FilterSettingTable::cMaxSize, t.getSize());
}

TEST(FilterSettingTableTest, ReadsWhatItWrote) {
  FilterSettingTable a;
  fillPattern(a);
  const std::string bytes = serialized(a);
  ASSERT_EQ(4u + 4u * 121u, bytes.size());

  FilterSettingTable b;
  b.size = 4;
  BinaryDataReader reader(new std::istringstream(bytes));
  EXPECT_TRUE(b.readFromBinaryData(&reader));
  EXPECT_EQ(11, b.getSize());
  EXPECT_EQ(bytes, serialized(b));
  // The differences are rebuilt, so reads between points agree.
  EXPECT_EQ(a.getValue(3.3f, 6.6f), b.getValue(3.3f, 6.6f));
}

TEST(FilterSettingTableTest, RejectsUnusableSizesAndReportsShortData) {
  FilterSettingTable a;
  fillPattern(a);
  const std::string good = serialized(a);

  for (int n : {0, -1, FilterSettingTable::cMaxSize + 1, 0x7fffffff}) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<unsigned>(n) >> (8 * i)) & 0xff);
    FilterSettingTable b;
    fillPattern(b);
    BinaryDataReader reader(new std::istringstream(bytes));
    EXPECT_FALSE(b.readFromBinaryData(&reader)) << n;
    EXPECT_EQ(good, serialized(b)) << n;
  }

  // A stream that ends inside the values keeps what was read before the end.
  FilterSettingTable c;
  BinaryDataReader reader(new std::istringstream(good.substr(0, 4 + 4 * 13 + 2)));
  EXPECT_FALSE(c.readFromBinaryData(&reader));
  EXPECT_EQ(pattern(1, 1), c.getPoint(1, 1));
  EXPECT_EQ(0.0f, c.getPoint(2, 1));
  EXPECT_EQ(pattern(10, 0) - pattern(9, 0), c.getDifference(9, 0));
}


// The three-table read gives what three single reads give, to the bit, at
// grid points, between them, past the edges and at NaN; also when the
// tables differ in size.
TEST(FilterSettingTableTest, ThreeTablesReadAtOnceAsEachAlone) {
  for (int sizeC : {7, 9}) {
    FilterSettingTable a, b, c;
    a.size = 7;
    b.size = 7;
    c.size = sizeC;
    for (int r = 0; r < 9; ++r)
      for (int col = 0; col < 9; ++col) {
        a.setValue(col, r, 0.37f * static_cast<float>(r) - 0.11f * static_cast<float>(col * col));
        b.setValue(col, r, std::sin(static_cast<float>(r + 3 * col)));
        c.setValue(col, r, 1.0f / static_cast<float>(1 + r + col));
      }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float positions[] = {-3.0f, 0.0f, 0.25f, 1.0f, 2.5f, 3.999f, 5.5f, 6.0f, 6.75f, 8.0f, 40.0f, nan};
    for (float x : positions)
      for (float y : positions) {
        float va = -1.0f, vb = -1.0f, vc = -1.0f;
        FilterSettingTable::getValues(a, b, c, x, y, va, vb, vc);
        ASSERT_EQ(va, a.getValue(x, y)) << x << ", " << y;
        ASSERT_EQ(vb, b.getValue(x, y)) << x << ", " << y;
        ASSERT_EQ(vc, c.getValue(x, y)) << x << ", " << y;
      }
    // Not all the same value everywhere: the reads do depend on the place.
    EXPECT_NE(a.getValue(1.0f, 2.0f), a.getValue(2.0f, 1.0f));
  }
}
