// Writes the factory MIDI controller map "MidiControllerMap.qvm" into the
// bundle's resource folder, with the controller map's own writer.
//
// The factory map is what "Load Factory Settings" brings back: the
// controllers that MIDI's standard assignments give a meaning Zarn has a
// parameter for, so a keyboard's volume slider, a cutoff knob sending 74 or
// a general-purpose controller panel set up for sound controllers 71-76 work
// at once. Parameters are looked up by name in the synthesizer itself, so
// the map follows the parameter list wherever it goes. The mod wheel (1) is
// left free: Zarn offers it as a modulation source of its own. MIDI's pan
// (10) stays free too: Zarn has no overall pan, only per-voice-part ones.
//
// The plug-in reads and writes its preferences in the user's folders: the
// build runs this tool with HOME and the XDG folders inside the build tree.
//
// Usage: zarn-make-midimap <resource folder>

#include "plugin/ControllerMapping.h"
#include "synth/ZarnPlugin.h"
#include "tools/CommandHelp.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct FactoryConnection {
  int controller;
  const char* parameter;
};

// Listed in the README's table; keep the two together.
constexpr FactoryConnection cFactoryConnections[] = {
    {5, "Portamento"},       // portamento time
    {7, "Volume"},           // channel volume
    {71, "Filter 1 Peak"},   // sound controller 2: resonance
    {72, "EG Main Release"}, // sound controller 3: release time
    {73, "EG Main Attack"},  // sound controller 4: attack time
    {74, "Filter 1 Freq"},   // sound controller 5: brightness (cutoff)
    {75, "EG Main Decay"},   // sound controller 6: decay time
    {76, "LFO 1 Frequency"}, // sound controller 7: vibrato rate
    {94, "Unison Spread"},   // effects 4 depth: detune
};

} // namespace

int main(int argc, char** argv) {
  const int status = zarn::tools::checkOneName(
      argc, argv, "usage: zarn-make-midimap FOLDER\n",
      "Writes the factory MIDI controller map (MidiControllerMap.qvm) into the bundle's "
      "resource FOLDER.\n"
      "  --help               this text\n");
  if (status >= 0) return status;
  std::unique_ptr<ZarnPlugin> plugin(new ZarnPlugin());
  ControllerMapping map;
  map.setIndexLimits(plugin->getNumParameters(), 0);
  for (const FactoryConnection& c : cFactoryConnections) {
    int index = -1;
    for (int i = 0; i < plugin->getNumParameters() && index < 0; ++i)
      if (plugin->getParameter(i)->getName() == c.parameter) index = i;
    if (index < 0 || !map.setConnection(c.controller, index)) {
      std::fprintf(stderr, "controller %d cannot be mapped to \"%s\"\n", c.controller, c.parameter);
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
