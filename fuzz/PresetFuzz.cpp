// Preset files (".qvp") loaded into a synthesizer instance, as the editor,
// a restored document or a MIDI program change loads them; a damaged file
// is refused and reported, never half applied.

#include "base/Preset.h"
#include "fuzz/FuzzSupport.h"
#include "synth/ZarnPlugin.h"

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

ZarnPlugin& plugin() {
  static ZarnPlugin* p = new ZarnPlugin();
  return *p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZarnPlugin& z = plugin();
  Preset preset(fuzz::writeScratchFile("Fuzzed.qvp", data, size));
  z.loadPreset(&preset);
  z.applyPendingPresetContext();
  for (AbstractPluginParameter* parameter : z.getParameters())
    if (!std::isfinite(parameter->getValue())) std::abort(); // nothing but numbers reach the engine
  return 0;
}

void prepare() { plugin(); }

void writeSeeds(const std::string& folder) {
  ZarnPlugin& z = plugin();
  Preset initial(folder + "/Initial.qvp");
  z.getParameters().savePreset(&initial, ZarnPlugin::cPresetFileVersion);
  // A few values away from their defaults, the last parameter among them.
  int index = 0;
  for (AbstractPluginParameter* parameter : z.getParameters())
    if (index++ % 7 == 0) parameter->setValue(parameter->getDefault() * 0.5f + 0.25f, 0);
  Preset changed(folder + "/Changed.qvp");
  z.getParameters().savePreset(&changed, ZarnPlugin::cPresetFileVersion);
}
