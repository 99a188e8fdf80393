#pragma once

// The six filter characteristics that ship in the bundle as ".fil"
// resources, and the writer that lays them out. The build runs the writer
// (tool zarn-make-filters) to put the files into the bundle's resources;
// tests run it into a temporary folder.

#include <string>

class FilterCharacteristic;

struct FilterCharacteristicPreset {
  // The resource name the synthesizer loads.
  const char* fileName;
  // The input level the synthesizer gives it: the characteristic was
  // voiced at this level.
  float level;
};

namespace FilterCharacteristicPresets {

constexpr int cCount = 6;

// In the synthesizer's order: "Ulk.fil", "Gentle.fil", "Raw.fil",
// "Tube.fil", "Metal.fil", "EasyGoing.fil".
const FilterCharacteristicPreset& get(int index);
// The index of a file name; -1 when it is none of the six.
int find(const std::string& fileName);

// Makes style (of the standard 11-step grid and cut-off range) the design
// of that index. False, with style unchanged, for an index out of range.
bool apply(int index, FilterCharacteristic& style);

// Writes the six files into folder (which must exist). Returns how many were
// written; a file that could not be written is left as it was.
int writeAll(const std::string& folder);

} // namespace FilterCharacteristicPresets
