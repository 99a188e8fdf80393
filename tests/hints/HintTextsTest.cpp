#include "hints/ZarnHints.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

// The texts are the product's published help: a changed byte (a typo fixed
// in one place, a line break lost in a move) shows here.
TEST(HintTextsTest, AllFiftyTwoTextsKeepEveryByte) {
  size_t total = 0;
  std::set<std::string> distinct;
  uint64_t hash = 1469598103934665603ull; // FNV-1a over every text with its NUL
  for (int i = 0; i < cHintCount; ++i) {
    ASSERT_NE(cHintTexts[i], nullptr);
    total += std::strlen(cHintTexts[i]);
    distinct.insert(cHintTexts[i]);
    for (const char* p = cHintTexts[i];; ++p) {
      hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
      if (!*p) break;
    }
  }
  EXPECT_EQ(cHintCount, 52);
  EXPECT_EQ(distinct.size(), 52u);
  EXPECT_EQ(total, 14104u);
  EXPECT_EQ(hash, 0x3b993f7a279f617eull);
  EXPECT_EQ(cHintTexts[0], cHintUnisonVoices);
  EXPECT_EQ(cHintTexts[51], cHintFirstRun);
}
