#include "host/services/HostStrings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A length-prefixed string in a 256-byte buffer.
struct P {
  unsigned char b[256] = {};
  explicit P(const std::string& s = "") {
    size_t n = s.size() < 255 ? s.size() : 255;
    b[0] = static_cast<unsigned char>(n);
    for (size_t i = 0; i < n; ++i) b[i + 1] = static_cast<unsigned char>(s[i]);
  }
  std::string text() const { return std::string(reinterpret_cast<const char*>(b + 1), b[0]); }
};

std::string variant(const char* source, int32_t maxLength) {
  char dest[300];
  std::memset(dest, 'x', sizeof dest);
  GetStringOfLength(dest, source, maxLength);
  EXPECT_LE(std::strlen(dest), static_cast<size_t>(maxLength));
  return dest;
}

} // namespace

TEST(HostStringsTest, NameVariantsLongestThatFits) {
  const char* bypass = "Master Bypass\nMstr Byp\nMBYP\nByp";
  EXPECT_EQ(variant(bypass, 13), "Master Bypass");
  EXPECT_EQ(variant(bypass, 40), "Master Bypass");
  for (int n = 8; n <= 12; ++n) EXPECT_EQ(variant(bypass, n), "Mstr Byp") << n;
  for (int n = 4; n <= 7; ++n) EXPECT_EQ(variant(bypass, n), "MBYP") << n;
  EXPECT_EQ(variant(bypass, 3), "Byp");
  EXPECT_EQ(variant(bypass, 2), "By"); // the last variant, cut
  EXPECT_EQ(variant(bypass, 0), "");
  EXPECT_EQ(variant("Single", 3), "Sin");

  // dest holds exactly maxLength + 1 bytes: nothing is written past them.
  char dest[6];
  std::memset(dest, 'x', sizeof dest);
  GetStringOfLength(dest, "Volume\nVol", 4);
  EXPECT_STREQ(dest, "Vol");
  char nulls[6];
  std::memset(nulls, 'x', sizeof nulls);
  GetStringOfLength(nulls, nullptr, 4);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(nulls[i], '\0');
  EXPECT_EQ(nulls[5], 'x');
}

TEST(HostStringsTest, CopiesCutToTheirBuffers) {
  P longName(std::string(100, 'a') + "b");
  unsigned char dest31[32], dest63[64];
  CopyPStringMax31(longName.b, dest31);
  EXPECT_EQ(dest31[0], 31);
  EXPECT_EQ(dest31[31], 'a');
  CopyPStringMax63(longName.b, dest63);
  EXPECT_EQ(dest63[0], 63);
  P shortName("Cutoff");
  CopyPStringMax31(shortName.b, dest31);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dest31 + 1), dest31[0]), "Cutoff");
  P copy;
  CopyPString(longName.b, copy.b);
  EXPECT_EQ(copy.text(), longName.text());
}

TEST(HostStringsTest, AppendingStopsAtTheLimit) {
  P s("Osc");
  AppendPString(10, P(" 1 Pitch").b, s.b);
  EXPECT_EQ(s.text(), "Osc 1 Pitc");
  AppendPString(10, P("more").b, s.b);
  EXPECT_EQ(s.text(), "Osc 1 Pitc");
  AppendPString(2, P("x").b, s.b); // already past the limit
  EXPECT_EQ(s.text(), "Osc 1 Pitc");
  // A limit above what a length byte counts cannot wrap the length.
  P big(std::string(200, 'a'));
  AppendPString(1000, P(std::string(100, 'b')).b, big.b);
  EXPECT_EQ(big.b[0], 255);
  EXPECT_EQ(big.b[255], 'b');
}

TEST(HostStringsTest, Equality) {
  EXPECT_TRUE(EqualPStrings(nullptr, nullptr));
  EXPECT_FALSE(EqualPStrings(P("a").b, nullptr));
  EXPECT_FALSE(EqualPStrings(nullptr, P("a").b));
  EXPECT_TRUE(EqualPStrings(P("Filter").b, P("Filter").b));
  EXPECT_FALSE(EqualPStrings(P("Filter").b, P("Filtex").b));
  EXPECT_FALSE(EqualPStrings(P("Filter").b, P("Filter1").b));
  EXPECT_TRUE(EqualPStrings(P("").b, P("").b));
}

TEST(HostStringsTest, ZeroPaddedNumbers) {
  auto padded = [](const std::string& start, int32_t number, int32_t width) {
    P s(start);
    AppendZeroPaddedNumber(number, s.b, width);
    return s.text();
  };
  EXPECT_EQ(padded("Slot ", 7, 3), "Slot 007");
  EXPECT_EQ(padded("", 1234, 2), "1234");
  EXPECT_EQ(padded("", 0, 1), "0");
  EXPECT_EQ(padded("", 5, 0), "5");
  EXPECT_EQ(padded("", 5, -3), "5");
  EXPECT_EQ(padded("", -7, 3), "-07");
  EXPECT_EQ(padded("", -7, 1), "-7");
  EXPECT_EQ(padded("", -2147483647 - 1, 2), "-2147483648");
  // A width beyond a string's reach fills it to 255 characters and stops.
  std::string full = padded("abc", 42, 100000);
  EXPECT_EQ(full.size(), 255u);
  EXPECT_EQ(full.substr(0, 4), "abc0");
  EXPECT_EQ(full.substr(250), "00042");
  P nearlyFull(std::string(250, 'a'));
  AppendZeroPaddedNumber(123456, nearlyFull.b, 0);
  EXPECT_EQ(nearlyFull.text(), std::string(250, 'a') + "12345");
}

TEST(HostStringsTest, NumbersAsText) {
  unsigned char text[16];
  NumToString(-2147483647 - 1, text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]), "-2147483648");
  NumToString(0, text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]), "0");
}
