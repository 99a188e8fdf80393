#pragma once

// A filter characteristic: what gives a design filter its sound. For every
// (cut-off, peak) pair it yields the three per-run values of the
// state-variable filter (the damping input of the first stage, the cubic
// damping and the clip scale), read bilinearly from three grids over
// cut-off and peak; besides it holds a level (the filter's input scale) and
// its own soft-clip table. The design filter knows it as DesignFilter::Style.
//
// Characteristics are stored in ".fil" files of the binary container:
//
//   "QVil", int32 version 1,
//   float32 clipBalance, float32 minFrequency, float32 maxFrequency (log2 Hz),
//   the clip-scale, cubic-damping and damping-input tables in that order,
//   each as int32 N and N x N float32, peak row 0 first, cut-off column 0
//   first within a row.
//
// With N = 11 a file is 1484 bytes.
//
// Loading happens on the host thread while the synthesizer builds its
// shared objects; the render thread reads the tables without a lock.

#include "base/Property.h"
#include "wave/FilterSettingTable.h"
#include "wave/StateVariableFilter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class BinaryDataReader;

class FilterCharacteristic : public PropertyOwner {
public:
  static constexpr const char* cFileTag = "QVil";
  static constexpr int cFileVersion = 1;
  static constexpr int cDefaultTableSize = 11;
  static constexpr float cDefaultClipBalance = 0.3f;
  static constexpr float cDefaultMinFrequency = 2.2666f;
  static constexpr float cDefaultMaxFrequency = 16.2064f;
  // clipScale never comes out below this.
  static constexpr float cMinClipScale = 0.1f;

  // An empty name gives the neutral characteristic (initialize). Otherwise
  // the bundle resource of that name is loaded; when it is missing or
  // unusable the tables stay all 0 (damping input 0, no cubic damping, clip
  // scale 0.1: a plain filter without resonance).
  FilterCharacteristic(const std::string& name, float level);
  virtual ~FilterCharacteristic();
  FilterCharacteristic(const FilterCharacteristic&) = delete;
  FilterCharacteristic& operator=(const FilterCharacteristic&) = delete;

  // Balance of the own clip table (must stay above 0). The table is built
  // here, on the thread that sets the balance (loading does), so the render
  // thread only reads it; a change rebuilds it in place and so must not
  // happen while a filter renders with this characteristic.
  Property<float> clipBalance{this, cDefaultClipBalance};
  // The cut-off range (log2 Hz) the grid columns span. A change recomputes
  // the axis and resets the tables to the neutral characteristic.
  Property<float> minFrequency{this, cDefaultMinFrequency};
  Property<float> maxFrequency{this, cDefaultMaxFrequency};
  // Grid steps per axis. A change resizes the tables and resets them to the
  // neutral characteristic. Files must carry tables of this size.
  Property<int> tableSize{this, cDefaultTableSize};

  void propertyChange(const AbstractProperty* property) override;

  // The neutral characteristic: damping input rising with the peak row up
  // to 0.999, no cubic damping, clip scale 0.1. At level 1 it comes close to
  // the plain state-variable filter.
  virtual void initialize();

  // The per-run values for a cut-off (log2 Hz) and a peak (0..1). Cut-offs
  // outside the range read the first or last column, peaks outside [0, 1]
  // the first or last row. No allocation, no lock.
  void getFilterParameters(float frequency, float peak, float& dampInput, float& cubicDamping,
                           float& clipScale) const;

  // Takes a characteristic from the container as a whole or not at all:
  // false, with nothing changed, for a foreign tag, data that ends early,
  // tables of another size than tableSize, a clip balance that is not above
  // 0, an empty or reversed cut-off range, or any value that is not a
  // finite number or lies beyond +-1e6 (where neighbouring values could no
  // longer be interpolated).
  bool loadFromBinaryData(BinaryDataReader* reader);
  // The bundle resource of that name; false also when there is none.
  bool loadFromResource(const std::string& name);
  bool loadFromFile(const std::string& path);
  // Writes the ".fil" file whole or not at all; true when it was written.
  bool saveToFile(const std::string& path) const;

  // Editing, for a characteristic editor. The point or row nearest to the
  // given cut-off and peak; points outside the grid are ignored.
  void store(float frequency, float peak, float clipScale, float cubicDamping, float dampInput);
  void storeForAllCutOff(float peak, float clipScale, float cubicDamping, float dampInput);
  // Rows strictly between row1 and row2 of every table get the straight
  // line between those rows.
  void interpolateArea(int row1, int row2);
  // A built-in shape: little resonance in the lower half of the peak
  // range, then a steep rise into self-oscillation in the upper rows,
  // strongest in the bass, with firm cubic damping in the treble and the
  // output clipped harder as the peak rises.
  void initializeAsClassicShape();

  // The filter's input scale.
  float getLevel() const { return level; }
  // Grid columns per log2 Hz.
  float getFrequencyScale() const { return frequencyScale; }
  StateVariableFilter::ClipTable& getClipTable() { return clipTable; }
  const StateVariableFilter::ClipTable& getClipTable() const { return clipTable; }
  FilterSettingTable& getClipScaleTable() { return *clipScaleTable; }
  FilterSettingTable& getCubicDampingTable() { return *cubicDampingTable; }
  FilterSettingTable& getDampInputTable() { return *dampInputTable; }
  const FilterSettingTable& getClipScaleTable() const { return *clipScaleTable; }
  const FilterSettingTable& getCubicDampingTable() const { return *cubicDampingTable; }
  const FilterSettingTable& getDampInputTable() const { return *dampInputTable; }

  // Changes whenever what getFilterParameters gives may change: an edit of
  // any grid (also one made through the getters above), the cut-off range
  // or the grid size. Never the same for two states of two characteristics,
  // so a filter that keeps the values of its last lookup can tell from the
  // stamp alone whether they still hold. Any thread; no lock.
  uint64_t getEditStamp() const;

private:
  // The grid actually laid out (tableSize held as the tables hold it).
  int gridSize() const { return dampInputTable->getSize(); }
  void updateFrequencyScale();
  int rowOf(float peak) const;

  float frequencyScale = 0.0f;
  StateVariableFilter::ClipTable clipTable;
  std::unique_ptr<FilterSettingTable> clipScaleTable;
  std::unique_ptr<FilterSettingTable> cubicDampingTable;
  float level;
  std::unique_ptr<FilterSettingTable> dampInputTable;
  // Bumped after the characteristic's own properties change.
  std::atomic<uint64_t> ownEditStamp{0};
};
