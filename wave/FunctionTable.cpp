#include "wave/FunctionTable.h"

#include <cmath>

void FunctionTable<float>::initialize(int n, const FunctionTableFunction& f, float a, float b) {
  int points = 2;
  while (n > points) points *= 2;
  mPoints = points;
  mValues.assign(static_cast<size_t>(points) + 1, 0.0f);

  mMinArgument = a < b ? a : b;
  mMaxArgument = a < b ? b : a;

  // The spacing is a single-precision quotient; the running sum of the
  // arguments is carried in double precision.
  const float width = mMaxArgument - mMinArgument;
  const double spacing = width / static_cast<float>(points - 1);
  mScale = spacing != 0.0 ? static_cast<float>(1.0 / spacing) : 0.0f;

  double x = mMinArgument;
  mValues[0] = static_cast<float>(f(x));
  for (int i = 1; i <= points - 2; ++i) {
    x += spacing;
    mValues[static_cast<size_t>(i)] = static_cast<float>(f(x));
  }

  const float scaledMin = static_cast<float>(points - 1) * mMinArgument;
  mOffset = static_cast<double>(scaledMin) / static_cast<double>(width);
  // An empty interval gives an offset that is not finite; its integer part
  // is then left at 0 rather than converted (which would be undefined).
  if (std::isfinite(mOffset) && std::fabs(mOffset) < 2147483647.0) {
    mIntOffset = static_cast<int32_t>(mOffset);
    mFracOffset = static_cast<float>(mOffset - mIntOffset);
  } else {
    mIntOffset = 0;
    mFracOffset = 0.0f;
  }

  // The last point is evaluated at the exact end, not at the running sum.
  const float last = static_cast<float>(f(mMaxArgument));
  mValues[static_cast<size_t>(points) - 1] = last;
  mValues[static_cast<size_t>(points)] = last;
}

float readFunctionTable(const FunctionTable<float>& table, float x) {
  const int32_t points = table.getPoints();
  if (points < 2) return 0.0f;
  const float* values = table.getValues();
  float y = static_cast<float>(static_cast<double>(x * table.getScale()) - table.getOffset());
  // Clamp to [0, N - 1]; a NaN argument goes to the lower end.
  const float top = static_cast<float>(points - 1);
  if (!(y > 0.0f)) y = 0.0f;
  if (y > top) y = top;
  const int32_t i = static_cast<int32_t>(y) & (points - 1);
  return values[i] + (y - static_cast<float>(i)) * (values[i + 1] - values[i]);
}
