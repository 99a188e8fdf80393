#include "gui/BlendTables.h"

#include <gtest/gtest.h>

using gui::divideTable;
using gui::interpolateTable;
using gui::multiplyTable;

TEST(BlendTablesTest, TablesTruncateAndInterpolationWeightsSumTo255) {
  EXPECT_EQ(128, multiplyTable[128][255]);
  EXPECT_EQ(64, multiplyTable[128][128]);
  EXPECT_EQ(0, multiplyTable[1][254]);
  EXPECT_EQ(128, divideTable[128][255]);
  EXPECT_EQ(255, divideTable[200][100]);
  EXPECT_EQ(1, divideTable[1][255]);
  for (int a = 0; a < 256; ++a) {
    EXPECT_EQ(a, multiplyTable[a][255]);
    EXPECT_EQ(0, multiplyTable[a][0] + divideTable[a][0] + divideTable[0][a]);
  }
  const unsigned char* half = interpolateTable.weights(16, 0);
  EXPECT_EQ(255, interpolateTable.weights(0, 0)[0]);
  EXPECT_EQ(128, half[0]);
  EXPECT_EQ(127, half[1]);
  EXPECT_EQ(0, half[2] + half[3]);
  EXPECT_EQ(247, interpolateTable.weights(31, 0)[1]);
  for (int fx = 0; fx < 32; ++fx)
    for (int fy = 0; fy < 32; ++fy) {
      const unsigned char* w = interpolateTable.weights(fx, fy);
      ASSERT_EQ(255, w[0] + w[1] + w[2] + w[3]);
      // Within rounding of the real bilinear weights, in the right order.
      const double u = fx / 32.0, v = fy / 32.0;
      EXPECT_NEAR(255 * u * (1 - v), w[1], 2.0);
      EXPECT_NEAR(255 * (1 - u) * v, w[2], 2.0);
    }
}
