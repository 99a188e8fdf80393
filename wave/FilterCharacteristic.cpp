#include "wave/FilterCharacteristic.h"

#include "base/BinaryData.h"
#include "base/Folders.h"

#include <cmath>

namespace {

// A grid position rounded to the nearest step as the editor stores it (add
// 0.5, truncate); -1 for a position no grid has.
int nearestStep(float position) {
  if (!(position > -1.0e6f && position < 1.0e6f)) return -1;
  return static_cast<int>(position + 0.5f);
}

// No characteristic needs a damping, cubic damping or clip scale anywhere
// near this; larger values (finite, but near the float's limit) would make
// the differences between neighbours overflow, and the lookups between them
// give not-a-number.
constexpr float cMaxTableValue = 1e6f;

bool allUsable(const FilterSettingTable& t) {
  for (int r = 0; r < t.getSize(); ++r)
    for (int c = 0; c < t.getSize(); ++c)
      if (!(std::fabs(t.getPoint(c, r)) <= cMaxTableValue)) return false;
  return true;
}

} // namespace

FilterCharacteristic::FilterCharacteristic(const std::string& name, float level)
    : clipScaleTable(new FilterSettingTable), cubicDampingTable(new FilterSettingTable), level(level),
      dampInputTable(new FilterSettingTable) {
  clipTable.setClipBalance(clipBalance);
  updateFrequencyScale();
  ownEditStamp.store(FilterSettingTable::nextEditStamp(), std::memory_order_release);
  if (name.empty())
    initialize();
  else
    loadFromResource(name);
}

FilterCharacteristic::~FilterCharacteristic() = default;

void FilterCharacteristic::propertyChange(const AbstractProperty* property) {
  if (property == &clipBalance) {
    // The clipper divides by its balance: a balance that is not above 0
    // would fill the table with infinities, so the table keeps the last
    // usable one.
    if (clipBalance.get() > 0.0f && std::isfinite(clipBalance.get())) clipTable.setClipBalance(clipBalance);
  } else if (property == &tableSize) {
    clipScaleTable->size = tableSize.get();
    cubicDampingTable->size = tableSize.get();
    dampInputTable->size = tableSize.get();
    updateFrequencyScale();
    initialize();
  } else if (property == &minFrequency || property == &maxFrequency) {
    updateFrequencyScale();
    initialize();
  }
  ownEditStamp.store(FilterSettingTable::nextEditStamp(), std::memory_order_release);
}

uint64_t FilterCharacteristic::getEditStamp() const {
  uint64_t stamp = ownEditStamp.load(std::memory_order_acquire);
  for (const FilterSettingTable* t : {clipScaleTable.get(), cubicDampingTable.get(), dampInputTable.get()}) {
    const uint64_t s = t->getEditStamp();
    if (s > stamp) stamp = s;
  }
  return stamp;
}

void FilterCharacteristic::updateFrequencyScale() {
  const float range = maxFrequency.get() - minFrequency.get();
  // An empty or reversed range maps every cut-off to the first column.
  frequencyScale = range > 0.0f && std::isfinite(range) ? static_cast<float>(gridSize() - 1) / range : 0.0f;
}

void FilterCharacteristic::initialize() {
  const int n = gridSize();
  const float steps = n > 1 ? static_cast<float>(n - 1) : 1.0f;
  for (int r = 0; r < n; ++r) {
    const float damp = static_cast<float>(r) / steps;
    dampInputTable->setValueForAllCutOff(r, damp < 0.999f ? damp : 0.999f);
    cubicDampingTable->setValueForAllCutOff(r, 0.0f);
    clipScaleTable->setValueForAllCutOff(r, cMinClipScale);
  }
}

void FilterCharacteristic::getFilterParameters(float frequency, float peak, float& dampInput, float& cubicDamping,
                                               float& clipScale) const {
  const float last = static_cast<float>(gridSize() - 1);
  float x = (frequency - minFrequency.get()) * frequencyScale;
  if (!(x > 0.0f)) x = 0.0f;
  if (x > last) x = last;
  // Held like the cut-off: a peak above 1 (a peak modulated past its range)
  // reads the top row instead of memory past the grid.
  float y = last * peak;
  if (!(y > 0.0f)) y = 0.0f;
  if (y > last) y = last;
  float scale;
  FilterSettingTable::getValues(*clipScaleTable, *cubicDampingTable, *dampInputTable, x, y, scale, cubicDamping,
                                dampInput);
  clipScale = scale > cMinClipScale ? scale : cMinClipScale;
}

bool FilterCharacteristic::loadFromBinaryData(BinaryDataReader* reader) {
  if (!reader->headerValid(cFileTag)) return false;
  const float balance = reader->readFloat();
  const float minimum = reader->readFloat();
  const float maximum = reader->readFloat();
  // Everything is read and checked first, so that a damaged file leaves the
  // characteristic that was there.
  FilterSettingTable clip, cubic, damp;
  bool ok = clip.readFromBinaryData(reader) && cubic.readFromBinaryData(reader) && damp.readFromBinaryData(reader);
  ok = ok && !reader->failed();
  const int n = gridSize();
  ok = ok && clip.getSize() == n && cubic.getSize() == n && damp.getSize() == n;
  ok = ok && std::isfinite(balance) && balance > 0.0f && std::isfinite(minimum) && std::isfinite(maximum) &&
       maximum > minimum;
  ok = ok && allUsable(clip) && allUsable(cubic) && allUsable(damp);
  if (!ok) return false;

  clipBalance = balance;
  // A changed range resets the tables to the neutral characteristic; the
  // file's tables then take their place.
  minFrequency = minimum;
  maxFrequency = maximum;
  clipScaleTable->copyFrom(clip);
  cubicDampingTable->copyFrom(cubic);
  dampInputTable->copyFrom(damp);
  return true;
}

bool FilterCharacteristic::loadFromResource(const std::string& name) {
  try {
    BinaryResourceReader reader(name);
    return loadFromBinaryData(&reader);
  } catch (const EResource&) {
    return false;
  }
}

bool FilterCharacteristic::loadFromFile(const std::string& path) {
  BinaryFileReader reader(path);
  return loadFromBinaryData(&reader);
}

bool FilterCharacteristic::saveToFile(const std::string& path) const {
  BinaryFileWriter writer(path);
  writer.writeHeader(cFileTag, cFileVersion);
  writer.writeFloat(clipBalance);
  writer.writeFloat(minFrequency);
  writer.writeFloat(maxFrequency);
  clipScaleTable->writeToBinaryData(&writer);
  cubicDampingTable->writeToBinaryData(&writer);
  dampInputTable->writeToBinaryData(&writer);
  return writer.commit();
}

int FilterCharacteristic::rowOf(float peak) const { return nearestStep(static_cast<float>(gridSize() - 1) * peak); }

void FilterCharacteristic::store(float frequency, float peak, float clipScale, float cubicDamping, float dampInput) {
  const int column = nearestStep((frequency - minFrequency.get()) * frequencyScale);
  const int row = rowOf(peak);
  if (column < 0 || row < 0) return;
  clipScaleTable->setValue(column, row, clipScale);
  cubicDampingTable->setValue(column, row, cubicDamping);
  dampInputTable->setValue(column, row, dampInput);
}

void FilterCharacteristic::storeForAllCutOff(float peak, float clipScale, float cubicDamping, float dampInput) {
  const int row = rowOf(peak);
  if (row < 0) return;
  clipScaleTable->setValueForAllCutOff(row, clipScale);
  cubicDampingTable->setValueForAllCutOff(row, cubicDamping);
  dampInputTable->setValueForAllCutOff(row, dampInput);
}

void FilterCharacteristic::interpolateArea(int row1, int row2) {
  clipScaleTable->interpolateValues(row1, row2);
  cubicDampingTable->interpolateValues(row1, row2);
  dampInputTable->interpolateValues(row1, row2);
}

void FilterCharacteristic::initializeAsClassicShape() {
  tableSize = cDefaultTableSize;
  // Rows 10, 9 and 8, cut-off columns 0 to 10.
  static const float damp[3][11] = {
      {3.5f, 3.5f, 3.5f, 3.5f, 3.0f, 2.5f, 1.5f, 1.2f, 1.0f, 1.0f, 1.0f},
      {3.25f, 3.25f, 3.25f, 3.25f, 2.5f, 2.1f, 1.3f, 1.1f, 0.95f, 0.95f, 0.95f},
      {1.3f, 1.3f, 1.3f, 1.3f, 1.3f, 0.8f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f}};
  static const float cubic[3][11] = {
      {0.001f, 0.001f, 0.001f, 0.003f, 0.01f, 0.03f, 0.04f, 0.07f, 0.1f, 0.1f, 0.1f},
      {0.002f, 0.002f, 0.002f, 0.003f, 0.01f, 0.03f, 0.04f, 0.07f, 0.1f, 0.1f, 0.1f},
      {0.005f, 0.005f, 0.005f, 0.005f, 0.01f, 0.03f, 0.04f, 0.01f, 0.01f, 0.01f, 0.01f}};
  static const float clip[3][11] = {{1.5f, 1.5f, 1.5f, 2.0f, 2.0f, 2.5f, 2.5f, 3.0f, 4.0f, 8.0f, 8.0f},
                                    {1.5f, 1.5f, 1.5f, 2.0f, 2.0f, 2.5f, 2.5f, 3.0f, 3.0f, 3.0f, 3.0f},
                                    {2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f}};
  for (int k = 0; k < 3; ++k)
    for (int c = 0; c < 11; ++c) {
      dampInputTable->setValue(c, 10 - k, damp[k][c]);
      cubicDampingTable->setValue(c, 10 - k, cubic[k][c]);
      clipScaleTable->setValue(c, 10 - k, clip[k][c]);
    }
  for (int r = 0; r <= 4; ++r) {
    dampInputTable->setValueForAllCutOff(r, 0.05f * static_cast<float>(r));
    cubicDampingTable->setValueForAllCutOff(r, 0.0f);
    clipScaleTable->setValueForAllCutOff(r, 2.5f);
  }
  interpolateArea(4, 8);
}
