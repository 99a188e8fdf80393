// Writes the factory MIDI controller map "MidiControllerMap.qvm" into the
// bundle's resource folder, with the controller map's own writer.
//
// The factory map is what a fresh installation starts with and what "restore
// factory map" brings back. It maps no controller yet: every entry names a
// parameter by its registration index, and those indexes are fixed only
// once the synthesizer's parameter list exists. The mod wheel, breath,
// expression and the sound controllers 71-79 are the ones to assign then;
// until that day an empty map is the only honest one, and the user's MIDI
// learn fills it.
//
// Usage: zarn-make-midimap <resource folder>

#include "plugin/ControllerMapping.h"

#include <cstdio>
#include <string>

namespace {

struct FactoryConnection {
  int controller;
  int parameterIndex;
};

// Controller number and parameter index of every factory assignment.
constexpr FactoryConnection cFactoryConnections[] = {
    {1, -1}, // mod wheel: unassigned
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <resource folder>\n", argc > 0 ? argv[0] : "zarn-make-midimap");
    return 2;
  }
  ControllerMapping map;
  for (const FactoryConnection& c : cFactoryConnections) {
    if (!map.setConnection(c.controller, c.parameterIndex)) {
      std::fprintf(stderr, "controller %d cannot be mapped to %d\n", c.controller, c.parameterIndex);
      return 1;
    }
  }
  const std::string path = std::string(argv[1]) + "/MidiControllerMap.qvm";
  if (!map.saveToFile(path)) {
    std::fprintf(stderr, "'%s' could not be written\n", path.c_str());
    return 1;
  }
  return 0;
}
