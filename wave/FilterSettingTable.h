#pragma once

// One grid of a filter characteristic: a value for every (cut-off, peak)
// point of an N x N lattice, read with bilinear interpolation. Rows are peak
// steps, columns cut-off steps. Each row carries the difference to its right
// neighbour beside every value, so a read costs two multiply-adds per row.
//
// The grids hold one extra row and column (guards, 0 unless written through
// the file or the editing calls) so that a read on the last row or column
// needs no special case.

#include "base/Property.h"

#include <atomic>
#include <cstdint>
#include <vector>

class BinaryDataReader;
class BinaryDataWriter;

class FilterSettingTable : public PropertyOwner {
public:
  // The largest grid a table accepts; larger sizes are held at it, sizes
  // below 1 at 1. No characteristic needs more than a few dozen steps.
  static constexpr int cMaxSize = 256;

  // Size 11, every value 0.
  FilterSettingTable();
  virtual ~FilterSettingTable() = default;
  FilterSettingTable(const FilterSettingTable&) = delete;
  FilterSettingTable& operator=(const FilterSettingTable&) = delete;

  // N. Resizing keeps the values that still fit and fills new ones with 0.
  Property<int> size{this, 0};

  void propertyChange(const AbstractProperty* property) override;

  // The grid actually laid out: size held in [1, cMaxSize].
  int getSize() const { return mSize; }

  // The bilinear value at cut-off position x and peak position y, both in
  // grid steps. Exact at grid points. Positions outside [0, N - 1] (and
  // NaN) read the nearest edge, never outside the grid. No allocation, no
  // lock: the render thread calls it.
  float getValue(float x, float y) const;
  // getValue of three tables at one position, to the bit, the position
  // worked out once when the three have one size.
  static void getValues(const FilterSettingTable& a, const FilterSettingTable& b, const FilterSettingTable& c,
                        float x, float y, float& va, float& vb, float& vc);
  // The stored value; 0 outside the grid.
  float getPoint(int column, int row) const;
  // The stored difference to the right neighbour; 0 outside the grid.
  float getDifference(int column, int row) const;

  // Editing. Rows and columns outside [0, N - 1] are ignored.
  void setValue(int column, int row, float value);
  void setValueForAllCutOff(int row, float value);
  // row1 = row2: that row gets value1. Otherwise rows row1 .. row2 (both
  // included, in either order) get the straight line from value1 to value2.
  void setValueArea(int row1, float value1, int row2, float value2);
  // Rows strictly between row1 and row2 get, column by column, the straight
  // line between the two rows' values.
  void interpolateValues(int row1, int row2);
  void initializeDiffTable();

  // int32 N (the size is taken from it), then N x N float32, row by row,
  // peak row 0 first and cut-off column 0 first within a row. True when N
  // lay in [1, cMaxSize] and every value was read whole. An N outside that
  // range reads nothing more and leaves the table as it was; a stream that
  // ends early leaves what was read before the end.
  bool readFromBinaryData(BinaryDataReader* reader);
  void writeToBinaryData(BinaryDataWriter* writer) const;

  // Takes the other table's size, values and differences, in place (a
  // reader on another thread never sees freed memory as long as the size
  // stays the same).
  void copyFrom(const FilterSettingTable& other);

  // Changes with every edit (a size change, the editing calls, a read or a
  // copy), after the values are in place; never the same for two edits of
  // any tables of the process. A reader that keeps values worked out from
  // the table keeps them only while the stamp stays.
  uint64_t getEditStamp() const { return mEditStamp.load(std::memory_order_acquire); }
  // A stamp no table has had yet.
  static uint64_t nextEditStamp();

private:
  void edited();
  int stride() const { return mSize + 1; }
  float& at(std::vector<float>& grid, int column, int row) { return grid[row * stride() + column]; }
  float at(const std::vector<float>& grid, int column, int row) const { return grid[row * stride() + column]; }
  void updateDifferences(int row);
  void resize(int n);

  int mSize = 0;
  std::vector<float> mValues;      // (N + 1) x (N + 1)
  std::vector<float> mDifferences; // (N + 1) x (N + 1)
  std::atomic<uint64_t> mEditStamp{0};
};
