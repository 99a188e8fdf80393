// The synced oscillator's crossfade blend: bit for bit the float that the
// raised cosine worked out with the library's cosine gives.

#include "wave/CrossfadeBlend.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

namespace {

float withLibraryCosine(float o, float alt, double u) {
  const double g = 0.5 + 0.5 * std::cos(3.14159265358979323846 * (u - 1.0));
  return static_cast<float>(static_cast<double>(o) + g * static_cast<double>(alt - o));
}

} // namespace

TEST(CrossfadeBlendTest, RoundsAsTheLibraryCosineDoes) {
  // Two million blends: u over the whole fade (a fine grid and random
  // points, its ends and beyond), o and alt table values of every size.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> wave(-1.0f, 1.0f);
  std::uniform_real_distribution<double> anywhere(0.0, 1.0);
  std::uniform_int_distribution<int> octave(-20, 2);
  for (int i = 0; i < 2000000; ++i) {
    const double u = i % 2 ? anywhere(rng) : static_cast<double>(i / 2) / 999999.0;
    const float o = std::ldexp(wave(rng), octave(rng)), alt = i % 7 ? wave(rng) : o;
    ASSERT_EQ(std::bit_cast<uint32_t>(crossfadeBlend(o, alt, u)), std::bit_cast<uint32_t>(withLibraryCosine(o, alt, u)))
        << o << " " << alt << " " << u;
  }
  // Blends that land next to the point halfway between 1 and the float
  // above it, where the two sums may round apart unless the blend asks the
  // cosine.
  for (int i = 1; i < 200000; ++i) {
    const double u = static_cast<double>(i) / 200000.0;
    const double g = 0.5 + 0.5 * std::cos(3.14159265358979323846 * (u - 1.0));
    const float alt = 1.0f + static_cast<float>(0x1p-24 / g);
    ASSERT_EQ(std::bit_cast<uint32_t>(crossfadeBlend(1.0f, alt, u)), std::bit_cast<uint32_t>(withLibraryCosine(1.0f, alt, u)))
        << alt << " " << u;
  }
  for (double u : {-1e-9, 1.0 + 1e-9, 3.0, -2.0, 1e-300})
    EXPECT_EQ(crossfadeBlend(0.25f, -0.5f, u), withLibraryCosine(0.25f, -0.5f, u)) << u;
  EXPECT_TRUE(std::isnan(crossfadeBlend(0.25f, -0.5f, std::nan(""))));
}
