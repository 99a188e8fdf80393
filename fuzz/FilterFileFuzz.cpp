// Filter characteristic files (".fil") as the synthesizer loads them from
// its bundle, then read across the whole grid as the filters do.

#include "base/BinaryData.h"
#include "fuzz/FuzzSupport.h"
#include "wave/FilterCharacteristic.h"
#include "wave/FilterCharacteristicPresets.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FilterCharacteristic* style = new FilterCharacteristic("", 1.0f);
  BinaryDataReader reader(
      new std::istringstream(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary));
  style->loadFromBinaryData(&reader);
  for (float frequency = 0.0f; frequency <= 16.0f; frequency += 1.5f)
    for (float peak = -0.25f; peak <= 1.25f; peak += 0.25f) {
      float dampInput = 0, cubicDamping = 0, clipScale = 0;
      style->getFilterParameters(frequency, peak, dampInput, cubicDamping, clipScale);
      // A loaded file holds finite numbers only.
      if (!std::isfinite(dampInput) || !std::isfinite(cubicDamping) || !std::isfinite(clipScale)) std::abort();
    }
  return 0;
}

void writeSeeds(const std::string& folder) { FilterCharacteristicPresets::writeAll(folder); }
