#include "wave/FilterSettingTable.h"

#include "base/BinaryData.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace {

// One count for every table of the process, so that a stamp names one
// state of one table: no two edits, of one table or of two, share a stamp.
std::atomic<uint64_t> sEditCount{0};

} // namespace

FilterSettingTable::FilterSettingTable() { size = 11; }

uint64_t FilterSettingTable::nextEditStamp() { return sEditCount.fetch_add(1, std::memory_order_relaxed) + 1; }

void FilterSettingTable::edited() { mEditStamp.store(nextEditStamp(), std::memory_order_release); }

void FilterSettingTable::propertyChange(const AbstractProperty* property) {
  if (property == &size) {
    int n = size.get();
    if (n < 1) n = 1;
    if (n > cMaxSize) n = cMaxSize;
    resize(n);
    edited();
  }
}

void FilterSettingTable::resize(int n) {
  if (n == mSize) return;
  const int oldStride = stride();
  const int keep = n < mSize ? n : mSize;
  std::vector<float> values(static_cast<size_t>(n + 1) * (n + 1), 0.0f);
  // Only the real grid is carried over: the old guards are not guards of
  // the new size.
  for (int r = 0; r < keep; ++r)
    for (int c = 0; c < keep; ++c) values[r * (n + 1) + c] = mValues[r * oldStride + c];
  mValues.swap(values);
  mDifferences.assign(mValues.size(), 0.0f);
  mSize = n;
  initializeDiffTable();
}

float FilterSettingTable::getValue(float x, float y) const {
  // Held so that both the cell and its upper neighbour lie inside the grid;
  // written so that NaN ends at 0.
  const float last = static_cast<float>(mSize - 1);
  if (!(x > 0.0f)) x = 0.0f;
  if (x > last) x = last;
  if (!(y > 0.0f)) y = 0.0f;
  if (y > last) y = last;
  const int r = static_cast<int>(std::floor(y));
  const int c = static_cast<int>(std::floor(x));
  const float fx = x - static_cast<float>(c);
  const float fy = y - static_cast<float>(r);
  const int i = r * stride() + c;
  const float lower = mValues[i] + fx * mDifferences[i];
  const float upper = mValues[i + stride()] + fx * mDifferences[i + stride()];
  return lower + (upper - lower) * fy;
}

void FilterSettingTable::getValues(const FilterSettingTable& a, const FilterSettingTable& b,
                                   const FilterSettingTable& c, float x, float y, float& va, float& vb, float& vc) {
  const int n = a.mSize;
  if (b.mSize != n || c.mSize != n) {
    va = a.getValue(x, y);
    vb = b.getValue(x, y);
    vc = c.getValue(x, y);
    return;
  }
  // The steps of getValue, once for all three.
  const float last = static_cast<float>(n - 1);
  if (!(x > 0.0f)) x = 0.0f;
  if (x > last) x = last;
  if (!(y > 0.0f)) y = 0.0f;
  if (y > last) y = last;
  // x and y lie in [0, last]: truncation is their floor.
  const int r = static_cast<int>(y);
  const int col = static_cast<int>(x);
  const float fx = x - static_cast<float>(col);
  const float fy = y - static_cast<float>(r);
  const int s = n + 1;
  const int i = r * s + col;
  auto read = [&](const FilterSettingTable& t) {
    const float lower = t.mValues[i] + fx * t.mDifferences[i];
    const float upper = t.mValues[i + s] + fx * t.mDifferences[i + s];
    return lower + (upper - lower) * fy;
  };
  va = read(a);
  vb = read(b);
  vc = read(c);
}

float FilterSettingTable::getPoint(int column, int row) const {
  if (column < 0 || row < 0 || column > mSize || row > mSize) return 0.0f;
  return at(mValues, column, row);
}

float FilterSettingTable::getDifference(int column, int row) const {
  if (column < 0 || row < 0 || column > mSize || row > mSize) return 0.0f;
  return at(mDifferences, column, row);
}

void FilterSettingTable::updateDifferences(int row) {
  for (int c = 0; c < mSize - 1; ++c) at(mDifferences, c, row) = at(mValues, c + 1, row) - at(mValues, c, row);
  at(mDifferences, mSize - 1, row) = 0.0f;
}

void FilterSettingTable::setValue(int column, int row, float value) {
  if (column < 0 || row < 0 || column >= mSize || row >= mSize) return;
  at(mValues, column, row) = value;
  if (column > 0) at(mDifferences, column - 1, row) = value - at(mValues, column - 1, row);
  if (column < mSize - 1) at(mDifferences, column, row) = at(mValues, column + 1, row) - value;
  edited();
}

void FilterSettingTable::setValueForAllCutOff(int row, float value) {
  if (row < 0 || row >= mSize) return;
  for (int c = 0; c < mSize; ++c) at(mValues, c, row) = value;
  updateDifferences(row);
  edited();
}

void FilterSettingTable::setValueArea(int row1, float value1, int row2, float value2) {
  if (row1 == row2) {
    setValueForAllCutOff(row1, value1);
    return;
  }
  const int steps = std::abs(row2 - row1);
  const int direction = row2 > row1 ? 1 : -1;
  for (int k = 0; k <= steps; ++k)
    setValueForAllCutOff(row1 + k * direction,
                         value1 + static_cast<float>(k) / static_cast<float>(steps) * (value2 - value1));
}

void FilterSettingTable::interpolateValues(int row1, int row2) {
  if (row1 < 0 || row2 < 0 || row1 >= mSize || row2 >= mSize) return;
  const int steps = std::abs(row2 - row1);
  const int direction = row2 > row1 ? 1 : -1;
  for (int k = 1; k < steps; ++k) {
    const int row = row1 + k * direction;
    const float t = static_cast<float>(k) / static_cast<float>(steps);
    for (int c = 0; c < mSize; ++c) {
      const float a = at(mValues, c, row1);
      at(mValues, c, row) = a + t * (at(mValues, c, row2) - a);
    }
  }
  initializeDiffTable();
}

void FilterSettingTable::initializeDiffTable() {
  for (int r = 0; r < mSize; ++r) updateDifferences(r);
  edited();
}

bool FilterSettingTable::readFromBinaryData(BinaryDataReader* reader) {
  const int n = reader->readInt();
  if (reader->failed() || n < 1 || n > cMaxSize) return false;
  size = n;
  for (int r = 0; r < mSize; ++r)
    for (int c = 0; c < mSize; ++c) {
      const float v = reader->readFloat();
      if (reader->failed()) {
        initializeDiffTable();
        return false;
      }
      at(mValues, c, r) = v;
    }
  initializeDiffTable();
  return true;
}

void FilterSettingTable::writeToBinaryData(BinaryDataWriter* writer) const {
  writer->writeInt(mSize);
  for (int r = 0; r < mSize; ++r)
    for (int c = 0; c < mSize; ++c) writer->writeFloat(at(mValues, c, r));
}

void FilterSettingTable::copyFrom(const FilterSettingTable& other) {
  if (&other == this) return;
  size = other.mSize;
  mValues = other.mValues;
  mDifferences = other.mDifferences;
  edited();
}
