// The MIDI controller map file ("MidiControllerMap.qvm") as the plug-in
// reads it at start-up, then looked up as MIDI learn and the controllers do.

#include "base/BinaryData.h"
#include "fuzz/FuzzSupport.h"
#include "plugin/ControllerMapping.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ControllerMapping map;
  map.setIndexLimits(300, 8);
  BinaryDataReader reader(
      new std::istringstream(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary));
  map.loadFromBinaryData(&reader);
  for (int controller = -1; controller <= ControllerMapping::cControllerCount; ++controller)
    map.getControllerNumber(map.getParameterIndex(controller));
  return 0;
}

void writeSeeds(const std::string& folder) {
  ControllerMapping empty;
  empty.saveToFile(folder + "/empty.qvm");
  ControllerMapping learned;
  learned.setConnection(1, 12);
  learned.setConnection(74, 40);
  learned.setConnection(126, 0x100000);
  learned.saveToFile(folder + "/learned.qvm");
}
