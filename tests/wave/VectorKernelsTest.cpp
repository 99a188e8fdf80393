#include "wave/VectorKernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMaxCount = 40;
constexpr int kCapacity = 56; // room for guard values beyond every rounded count

// Scalars bound into the kernels under test.
constexpr float kS = 0.5f;
constexpr float kS1 = 1.25f;
constexpr float kS2 = 4.0f;
constexpr float kLo = -1.0f;
constexpr float kHi = 1.5f;

struct alignas(16) Array {
  float v[kCapacity];
};

using Ins = const float* const*;
using Outs = float* const*;
using Call = std::function<void(Ins, Outs, int)>;

struct Kernel {
  std::string name;
  int inputs;
  int outputs;
  Call fast;
  Call cpp;
  // The result(s) for inputs a = -2, b = 3, c = 5, d = 7, worked out by hand
  // from the formula with the scalars above.
  float expected1;
  float expected2;
};

std::vector<Kernel> allKernels() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<Kernel> k;
#define ONE(NAME, N, ARGS, E)                                                                                  \
  k.push_back({#NAME, N, 1, [](Ins i, Outs o, int n) { vector##NAME##Fast ARGS; },                            \
               [](Ins i, Outs o, int n) { vector##NAME##Cpp ARGS; }, E, nan})
#define TWO(NAME, E1, E2)                                                                                      \
  k.push_back({#NAME, 2, 2, [](Ins i, Outs o, int n) { vector##NAME##Fast(i[0], i[1], o[0], o[1], n); },      \
               [](Ins i, Outs o, int n) { vector##NAME##Cpp(i[0], i[1], o[0], o[1], n); }, E1, E2})
  ONE(Abs, 1, (i[0], o[0], n), 2.0f);
  ONE(AbsMax, 2, (i[0], i[1], o[0], n), 3.0f);
  ONE(Add, 2, (i[0], i[1], o[0], n), 1.0f);
  ONE(AddMulAdd, 4, (i[0], i[1], i[2], i[3], o[0], n), 12.0f);
  ONE(AddS, 1, (i[0], kS, o[0], n), -1.5f);
  ONE(AddSAddSMul, 2, (i[0], kS1, kS2, i[1], o[0], n), 11.25f);
  TWO(LevelPanFreq, 1.0f, -5.0f);
  TWO(LevelPanVolume, 4.0f, -2.0f);
  ONE(Limit, 1, (i[0], kLo, kHi, o[0], n), -1.0f);
  ONE(Max, 2, (i[0], i[1], o[0], n), 3.0f);
  ONE(Max3, 3, (i[0], i[1], i[2], o[0], n), 5.0f);
  ONE(Mul2MulS, 2, (i[0], i[1], kS, o[0], n), -3.0f);
  ONE(Mul2MulSAdd, 3, (i[0], i[1], kS, i[2], o[0], n), 2.0f);
  ONE(Mul3Add, 4, (i[0], i[1], i[2], i[3], o[0], n), -23.0f);
  ONE(Mul3MulS, 3, (i[0], i[1], i[2], kS, o[0], n), -15.0f);
  ONE(Mul3MulSAdd, 4, (i[0], i[1], i[2], kS, i[3], o[0], n), -8.0f);
  ONE(MulAdd, 3, (i[0], i[1], i[2], o[0], n), -1.0f);
  ONE(MulSAdd, 2, (i[0], kS, i[1], o[0], n), 2.0f);
  ONE(Multiply, 2, (i[0], i[1], o[0], n), -6.0f);
  ONE(Multiply3, 3, (i[0], i[1], i[2], o[0], n), -30.0f);
  ONE(MultiplyMax, 3, (i[0], i[1], i[2], o[0], n), 5.0f);
  ONE(MultiplyS, 1, (i[0], kS, o[0], n), -1.0f);
  ONE(SubMulAdd, 4, (i[0], i[1], i[2], i[3], o[0], n), -18.0f);
#undef ONE
#undef TWO
  return k;
}

uint32_t bits(float x) {
  uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Same value, NaN matching any NaN (which NaN comes out of an operation on
// two NaNs is the processor's choice, not the formula's).
bool sameValue(float x, float y) { return (std::isnan(x) && std::isnan(y)) || bits(x) == bits(y); }

// A value that no kernel computes from the inputs below: a NaN with a payload
// of its own, compared bit for bit.
float guardValue() {
  const uint32_t b = 0x7fa5a5a5u;
  float x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

int roundUp4(int n) { return n <= 0 ? 0 : (n + 3) / 4 * 4; }

// Inputs over every element of the capacity, with a sprinkling of the values
// where max, min, abs and limit must agree exactly: ties, signed zeros,
// infinities and NaNs.
struct Inputs {
  Array a[4];
  explicit Inputs(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 1.5f, std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    for (auto& arr : a) {
      for (float& x : arr.v) x = dist(rng);
      for (int j = 0; j < 6; ++j) arr.v[rng() % kCapacity] = specials[rng() % 8];
    }
  }
  // Copies keep pointing at their own arrays.
  std::array<const float*, 4> ptrs() const { return {a[0].v, a[1].v, a[2].v, a[3].v}; }
};

void fillGuard(Array& arr) {
  for (float& x : arr.v) x = guardValue();
}

// Out of place: Fast writes exactly the rounded count, equal to the scalar
// form over that count, and the scalar form exactly n; nothing beyond.
TEST(VectorKernelsTest, FastMatchesCppOutOfPlaceAndWritesRoundedCount) {
  for (const Kernel& k : allKernels()) {
    SCOPED_TRACE(k.name);
    for (int n = -4; n <= kMaxCount; ++n) {
      SCOPED_TRACE(n);
      Inputs in(1000u + static_cast<unsigned>(n + 4));
      Inputs untouched = in;
      Array fast[2], cpp[2], ref[2];
      for (int o = 0; o < 2; ++o) {
        fillGuard(fast[o]);
        fillGuard(cpp[o]);
        fillGuard(ref[o]);
      }
      float* fastOut[2] = {fast[0].v, fast[1].v};
      float* cppOut[2] = {cpp[0].v, cpp[1].v};
      float* refOut[2] = {ref[0].v, ref[1].v};
      const int rounded = roundUp4(n);
      const auto p = in.ptrs();
      k.fast(p.data(), fastOut, n);
      k.cpp(p.data(), cppOut, n);
      k.cpp(p.data(), refOut, rounded);
      for (int o = 0; o < k.outputs; ++o) {
        for (int j = 0; j < kCapacity; ++j) {
          if (j < rounded) {
            ASSERT_TRUE(sameValue(fast[o].v[j], ref[o].v[j])) << "output " << o << " element " << j;
          } else {
            ASSERT_EQ(bits(fast[o].v[j]), bits(guardValue())) << "Fast wrote output " << o << " element " << j;
          }
          if (j < n) {
            ASSERT_TRUE(sameValue(cpp[o].v[j], ref[o].v[j])) << "output " << o << " element " << j;
          } else {
            ASSERT_EQ(bits(cpp[o].v[j]), bits(guardValue())) << "Cpp wrote output " << o << " element " << j;
          }
        }
      }
      for (int a = 0; a < 4; ++a)
        ASSERT_EQ(0, std::memcmp(in.a[a].v, untouched.a[a].v, sizeof(Array))) << "input " << a << " changed";
    }
  }
}

// In place: the output is the very array of one input (each input in turn),
// as callers accumulate into their own blocks.
TEST(VectorKernelsTest, InPlaceGivesTheSameValuesAsSeparateArrays) {
  for (const Kernel& k : allKernels()) {
    if (k.outputs != 1) continue; // the level/pan kernels need separate outputs
    SCOPED_TRACE(k.name);
    for (int alias = 0; alias < k.inputs; ++alias) {
      SCOPED_TRACE(alias);
      for (int n = 0; n <= kMaxCount; ++n) {
        SCOPED_TRACE(n);
        const Inputs in(2000u + static_cast<unsigned>(n));
        const int rounded = roundUp4(n);
        Array ref[2];
        float* refOut[2] = {ref[0].v, ref[1].v};
        k.cpp(in.ptrs().data(), refOut, rounded);

        for (int form = 0; form < 2; ++form) {
          Inputs work = in;
          float* shared = work.a[alias].v;
          float* out[2] = {shared, nullptr};
          (form == 0 ? k.fast : k.cpp)(work.ptrs().data(), out, n);
          const int written = form == 0 ? rounded : n;
          for (int j = 0; j < kCapacity; ++j) {
            if (j < written)
              ASSERT_TRUE(sameValue(shared[j], ref[0].v[j])) << (form ? "Cpp" : "Fast") << " element " << j;
            else
              ASSERT_EQ(bits(shared[j]), bits(in.a[alias].v[j])) << (form ? "Cpp" : "Fast") << " element " << j;
          }
        }
      }
    }
  }
}

// Each formula with its arguments in the documented order: inputs a = -2,
// b = 3, c = 5, d = 7 give the hand-computed results.
TEST(VectorKernelsTest, FormulasTakeTheirArgumentsInOrder) {
  for (const Kernel& k : allKernels()) {
    SCOPED_TRACE(k.name);
    Array in[4];
    const float values[4] = {-2.0f, 3.0f, 5.0f, 7.0f};
    for (int a = 0; a < 4; ++a)
      for (float& x : in[a].v) x = values[a];
    const float* ptr[4] = {in[0].v, in[1].v, in[2].v, in[3].v};
    for (int form = 0; form < 2; ++form) {
      Array out[2];
      float* outPtr[2] = {out[0].v, out[1].v};
      (form == 0 ? k.fast : k.cpp)(ptr, outPtr, 7);
      for (int j = 0; j < 7; ++j) {
        EXPECT_EQ(k.expected1, out[0].v[j]) << (form ? "Cpp" : "Fast");
        if (k.outputs == 2) {
          EXPECT_EQ(k.expected2, out[1].v[j]) << (form ? "Cpp" : "Fast");
        }
      }
    }
  }
}

TEST(VectorKernelsTest, LevelPanKernels) {
  alignas(16) float level[4] = {1.0f, 1.0f, 1.0f, 2.0f};
  alignas(16) float pan[4] = {0.5f, -1.0f, 0.0f, 0.5f};
  alignas(16) float out1[4], out2[4];

  vectorLevelPanVolumeFast(level, pan, out1, out2, 4);
  EXPECT_EQ(0.5f, out1[0]);
  EXPECT_EQ(1.0f, out2[0]);
  EXPECT_EQ(1.0f, out1[1]);
  EXPECT_EQ(0.0f, out2[1]);
  EXPECT_EQ(1.0f, out1[2]);
  EXPECT_EQ(1.0f, out2[2]);

  vectorLevelPanFreqFast(level, pan, out1, out2, 4);
  EXPECT_EQ(2.5f, out1[3]);
  EXPECT_EQ(1.5f, out2[3]);
}

TEST(VectorKernelsTest, MaxAbsAndLimitOrderOfOperands) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  alignas(16) float a[4] = {nan, 1.0f, -3.0f, -0.0f};
  alignas(16) float b[4] = {1.0f, nan, 2.0f, 0.0f};
  alignas(16) float out[4];

  for (auto kernel : {vectorMaxFast, vectorMaxCpp}) {
    kernel(a, b, out, 4);
    EXPECT_EQ(1.0f, out[0]);           // NaN first gives the second operand
    EXPECT_TRUE(std::isnan(out[1]));   // NaN second is passed through
    EXPECT_EQ(2.0f, out[2]);
    EXPECT_EQ(0u, bits(out[3]));       // a tie gives the second operand: +0
  }
  for (auto kernel : {vectorAbsMaxFast, vectorAbsMaxCpp}) {
    kernel(a, b, out, 4);
    EXPECT_EQ(3.0f, out[2]);
  }
  for (auto kernel : {vectorAbsFast, vectorAbsCpp}) {
    kernel(a, out, 4);
    EXPECT_EQ(3.0f, out[2]);
    EXPECT_EQ(0u, bits(out[3])); // the sign bit of -0 is cleared
  }

  alignas(16) float x[4] = {-0.5f, 0.25f, 2.0f, nan};
  for (auto kernel : {vectorLimitFast, vectorLimitCpp}) {
    kernel(x, 0.0f, 1.0f, out, 4);
    EXPECT_EQ(0.0f, out[0]);
    EXPECT_EQ(0.25f, out[1]);
    EXPECT_EQ(1.0f, out[2]);
    EXPECT_EQ(0.0f, out[3]); // NaN gives lo
  }
  // With lo above hi (which callers do not pass) the two forms part: Fast
  // gives hi everywhere, Cpp gives lo below lo.
  vectorLimitFast(x, 1.0f, 0.0f, out, 4);
  EXPECT_EQ(0.0f, out[0]);
  EXPECT_EQ(0.0f, out[2]);
  vectorLimitCpp(x, 1.0f, 0.0f, out, 4);
  EXPECT_EQ(1.0f, out[0]);
  EXPECT_EQ(0.0f, out[2]);
}

} // namespace
