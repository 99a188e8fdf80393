#pragma once

// A curve y = f(x) tabulated at a power-of-two number of equally spaced points
// over an interval, so that audio code replaces a costly evaluation by an
// interpolated table read.

#include "base/FunctionTableFunction.h"

#include <cstdint>
#include <vector>

template <typename T>
class FunctionTable;

// The only kind of table there is.
template <>
class FunctionTable<float> {
public:
  // Empty: no entries and every number 0 until initialize.
  FunctionTable() = default;

  // (Re)builds the table with at least n points (a power of two, at least 2)
  // over the interval between a and b, in either order. Allocates; never call
  // it while a reader runs.
  void initialize(int n, const FunctionTableFunction& f, float a, float b);

  // Points per unit of the argument (1 / spacing); 0 for an empty interval.
  float getScale() const { return mScale; }
  // minArgument x scale, the shift that maps an argument to an index:
  // index = x x scale - offset. Not finite for an empty interval.
  double getOffset() const { return mOffset; }
  // offset split into its part truncated toward zero and the remainder (which
  // keeps the sign), so that single-precision reads stay exact far from 0.
  int32_t getIntOffset() const { return mIntOffset; }
  float getFracOffset() const { return mFracOffset; }
  float getMinArgument() const { return mMinArgument; }
  float getMaxArgument() const { return mMaxArgument; }
  // N, a power of two; 0 before initialize.
  int32_t getPoints() const { return mPoints; }
  // N - 1: the index mask of the block kernels and the last point's index.
  uint32_t getMask() const { return mPoints > 0 ? static_cast<uint32_t>(mPoints - 1) : 0u; }
  // N + 1 entries: the N points and a guard that repeats the last one, so
  // that interpolation at the last point reads a valid neighbour.
  const float* getValues() const { return mValues.data(); }
  int getValueCount() const { return static_cast<int>(mValues.size()); }

private:
  float mScale = 0.0f;
  float mFracOffset = 0.0f;
  int32_t mIntOffset = 0;
  float mMaxArgument = 0.0f;
  float mMinArgument = 0.0f;
  double mOffset = 0.0;
  int32_t mPoints = 0;
  std::vector<float> mValues;
};

// The interpolated value of the table at x, read as the scalar audio code
// reads it: y = x x scale - offset, the entry below y and its neighbour.
// An x outside the interval gives the value at the nearer end: the tables
// read this way (frequency, damping and limit curves) are not periodic, and a
// masked wrap-around would give the value at the opposite end, e.g. the
// highest frequency coefficient for a cut-off below the table. Reads nothing
// from an empty table (gives 0). No allocation, no lock.
float readFunctionTable(const FunctionTable<float>& table, float x);
