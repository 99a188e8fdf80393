#include "host/ChunkDataParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> Encode(const ChunkDataParser& p) {
  std::vector<unsigned char> data(p.GetDataSize());
  p.WriteData(data.data());
  return data;
}

} // namespace

TEST(ChunkDataParserTest, EncodesNamedTaggedBigEndianValues) {
  ChunkDataParser p;
  p.AddLong(ChunkDataParser::NameFromID(0x62797061), -2);
  p.AddDouble("x", 1.5);
  p.AddString("Nm", "ab");
  const std::vector<unsigned char> expected = {
      0, 0, 0, 1, 0, 0, 0, 3,                                      // version, count
      4, 'b', 'y', 'p', 'a', 'l', 0xFF, 0xFF, 0xFF, 0xFE,          // 'bypa' long -2
      1, 'x', 'd', 0x3F, 0xF8, 0, 0, 0, 0, 0, 0,                   // "x" double 1.5
      2, 'N', 'm', 's', 2, 'a', 'b'};                              // "Nm" string "ab"
  EXPECT_EQ(Encode(p), expected);

  ChunkDataParser q;
  ASSERT_TRUE(q.ParseData(expected.data(), expected.size()));
  int32_t l = 0;
  double d = 0;
  std::string s;
  EXPECT_TRUE(q.FindLong("bypa", l));
  EXPECT_EQ(l, -2);
  EXPECT_TRUE(q.FindDouble("x", d));
  EXPECT_EQ(d, 1.5);
  EXPECT_TRUE(q.FindString("Nm", s));
  EXPECT_EQ(s, "ab");
  // A value is found only under its own type.
  EXPECT_FALSE(q.FindLong("x", l));
  EXPECT_TRUE(q.HasName("x"));
  EXPECT_EQ(Encode(q), expected);
}

TEST(ChunkDataParserTest, NamesAreUniqueAndNumericIdsKeepTheirZeroBytes) {
  ChunkDataParser p;
  p.AddLong(ChunkDataParser::NameFromID(0), 5);
  p.AddLong(ChunkDataParser::NameFromID(1), 6);
  p.AddLong(ChunkDataParser::NameFromID(0), 7); // replaces
  EXPECT_EQ(p.GetNumValues(), 2);
  int32_t v = 0;
  EXPECT_TRUE(p.FindLong(std::string(4, '\0'), v));
  EXPECT_EQ(v, 7);
  EXPECT_EQ(p.GetDataSize(), 8u + 2 * 10);
}

TEST(ChunkDataParserTest, RefusesEveryTruncationAndSurplus) {
  ChunkDataParser p;
  p.AddLong("Instance ID", 1234);
  p.AddDouble("d", -0.25);
  p.AddString("s", "text");
  std::vector<unsigned char> data = Encode(p);
  ChunkDataParser q;
  for (size_t n = 0; n < data.size(); ++n) {
    EXPECT_FALSE(q.ParseData(data.data(), n)) << n;
    EXPECT_EQ(q.GetNumValues(), 0) << n;
  }
  data.push_back(0);
  EXPECT_FALSE(q.ParseData(data.data(), data.size()));
  data.pop_back();
  EXPECT_TRUE(q.ParseData(data.data(), data.size()));
  EXPECT_EQ(q.GetNumValues(), 3);
}

TEST(ChunkDataParserTest, RefusesMalformedEntries) {
  auto parses = [](std::vector<unsigned char> d) {
    ChunkDataParser q;
    return q.ParseData(d.data(), d.size());
  };
  EXPECT_TRUE(parses({0, 0, 0, 1, 0, 0, 0, 0}));                                  // no values
  EXPECT_FALSE(parses({0, 0, 0, 2, 0, 0, 0, 0}));                                 // unknown version
  EXPECT_FALSE(parses({0, 0, 0, 1, 0, 0, 0, 1, 1, 'a', 'q', 0, 0, 0, 0}));        // unknown tag
  EXPECT_FALSE(parses({0, 0, 0, 1, 0, 0, 0, 1, 0, 'l', 0, 0, 0, 0}));             // empty name
  EXPECT_FALSE(parses({0, 0, 0, 1, 0, 0, 0, 2, 1, 'a', 'l', 0, 0, 0, 1, 1, 'a', 'l', 0, 0, 0, 2})); // twice
  EXPECT_FALSE(parses({0, 0, 0, 1, 0x7F, 0xFF, 0xFF, 0xFF}));                     // count beyond the data
  EXPECT_FALSE(parses({0, 0, 0, 1, 0, 0, 0, 1, 1, 'a', 's', 5, 'x'}));            // string cut short
}

TEST(ChunkDataParserTest, TakesEntriesAsShortAsTheEncodingAllows) {
  // A name of one byte and an empty string: 4 bytes an entry (name length,
  // name, tag, string length), so 12 entries fit in 8 + 48 bytes. Any bound
  // on the count tighter than a quarter of the size would refuse them.
  std::vector<unsigned char> data = {0, 0, 0, 1, 0, 0, 0, 12}; // version, count
  for (unsigned char name = 'a'; name < 'a' + 12; ++name) data.insert(data.end(), {1, name, 's', 0});
  ChunkDataParser p;
  ASSERT_TRUE(p.ParseData(data.data(), data.size()));
  EXPECT_EQ(p.GetNumValues(), 12);
  std::string s = "x";
  EXPECT_TRUE(p.FindString("l", s));
  EXPECT_EQ(s, "");
  EXPECT_EQ(Encode(p), data);
  // A count one larger than the entries present is still refused.
  std::vector<unsigned char> more = data;
  more[7] = 13;
  EXPECT_FALSE(p.ParseData(more.data(), more.size()));
}

// Many values: a repeated name is refused wherever it stands, a value
// replaced keeps its place in the encoding, and data that is refused
// leaves nothing behind from what was read before.
TEST(ChunkDataParserTest, ManyValuesKeepTheirPlacesAndARepeatFarApartIsRefused) {
  ChunkDataParser p;
  for (uint32_t i = 0; i < 3000; ++i) p.AddLong(ChunkDataParser::NameFromID(0x61000000u + i), static_cast<int32_t>(i));
  p.AddString(ChunkDataParser::NameFromID(0x61000000u + 5), "five"); // replaces, in place
  ASSERT_EQ(p.GetNumValues(), 3000);
  std::vector<unsigned char> data = Encode(p);
  // The sixth entry (after 8 header bytes and five long entries of 10 bytes).
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&data[8 + 50 + 1]), 4), ChunkDataParser::NameFromID(0x61000005u));
  EXPECT_EQ(data[8 + 50 + 5], 's');

  ChunkDataParser q;
  ASSERT_TRUE(q.ParseData(data.data(), data.size()));
  int32_t v = -1;
  EXPECT_TRUE(q.FindLong(ChunkDataParser::NameFromID(0x61000000u + 2999), v));
  EXPECT_EQ(v, 2999);
  std::string s;
  EXPECT_FALSE(q.FindLong(ChunkDataParser::NameFromID(0x61000005u), v));
  EXPECT_TRUE(q.FindString(ChunkDataParser::NameFromID(0x61000005u), s));
  EXPECT_EQ(s, "five");

  // The last entry's name made the same as the first one's.
  data[data.size() - 10 + 1 + 3] = 0x00;
  data[data.size() - 10 + 1 + 2] = 0x00;
  ASSERT_EQ(std::string(reinterpret_cast<const char*>(&data[data.size() - 9]), 4), ChunkDataParser::NameFromID(0x61000000u));
  EXPECT_FALSE(q.ParseData(data.data(), data.size()));
  EXPECT_EQ(q.GetNumValues(), 0);
  EXPECT_FALSE(q.HasName(ChunkDataParser::NameFromID(0x61000000u + 2999)));
  EXPECT_FALSE(q.FindLong(ChunkDataParser::NameFromID(0x61000000u), v));
}
