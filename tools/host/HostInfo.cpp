#include "tools/host/HostInfo.h"

#include "tools/host/PresetByName.h"
#include "tools/host/PrintableName.h"
#include "tools/host/SimHost.h"

#include <cstdio>
#include <limits>
#include <map>

namespace simhost {

std::string fourCharText(uint32_t code) {
  std::string s;
  for (int i = 3; i >= 0; --i) {
    char c = static_cast<char>(code >> (8 * i));
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", code);
      return hex;
    }
    s += c;
  }
  return "'" + s + "'";
}

namespace {

const char* kStemNames[] = {"mono", "stereo", "LCR", "LCRS", "quad", "5.0", "5.1", "6.0", "6.1", "7.0", "7.1"};

std::string stemText(int32_t stem) {
  return stem >= 0 && stem <= 10 ? std::to_string(stem) + " (" + kStemNames[stem] + ")" : std::to_string(stem);
}

template <class F> std::string lengths(F text) {
  std::string s;
  for (int32_t n : {31, 12, 8, 4, 3}) s += (s.empty() ? "" : " | ") + std::to_string(n) + ": \"" + text(n) + "\"";
  return s;
}

void printControls(std::ostream& out, SimHost& host, Instance& in) {
  int32_t bypass = 0;
  host.callWith(kProcess_GetMasterBypassControl, in.process(), &bypass);
  int32_t n = host.numControls(in);
  out << "    controls: " << n << " (master bypass " << bypass << ")\n";
  for (int32_t k = 1; k <= n; ++k) {
    int32_t steps = 0, type = 0, automatable = 0, def = 0;
    host.callWith(kProcess_GetControlNumSteps, in.process(), k, &steps);
    host.callWith(kProcess_GetControlType, in.process(), k, &type);
    host.callWith(kProcess_IsControlAutomatable, in.process(), k, &automatable);
    host.callWith(kProcess_GetControlDefaultValue, in.process(), k, &def);
    int32_t value = host.controlValue(in, k);
    out << "      " << k << " " << fourCharText(host.controlID(in, k)) << " "
        << (type ? "continuous" : "discrete") << ", " << steps << " steps" << (automatable ? ", automatable" : "")
        << "\n        name  " << lengths([&](int32_t m) { return host.controlName(in, k, m); })
        << "\n        value " << value << " " << lengths([&](int32_t m) { return host.valueString(in, k, value, m); })
        << "\n        min   " << lengths([&](int32_t m) {
             return host.valueString(in, k, std::numeric_limits<int32_t>::min(), m);
           })
        << "\n        max   " << lengths([&](int32_t m) {
             return host.valueString(in, k, std::numeric_limits<int32_t>::max(), m);
           })
        << "\n        default " << def << " \"" << host.valueString(in, k, def, 31) << "\"\n";
  }
}

void printChunks(std::ostream& out, SimHost& host, Instance& in) {
  auto ids = host.chunkIDs(in);
  out << "    chunks: " << ids.size() << "\n";
  for (uint32_t id : ids) {
    std::vector<unsigned char> chunk;
    int32_t status = host.getChunk(in, id, chunk);
    out << "      " << fourCharText(id) << " \"" << host.chunkName(in, id) << "\" ";
    if (status == 0)
      out << chunk.size() << " bytes\n";
    else
      out << "unavailable (" << status << ")\n";
  }
}

// The library as a host reaches it: each preset's bank and program (what
// --preset sends) and its name; where two presets have one name, the path
// that tells them apart (what --preset takes as FOLDER/NAME); a file that
// does not load, with the plug-in's reason. First the folder the plug-in
// reads them from, as it tells it (a user's presets go there).
void printPresets(std::ostream& out, SimHost& host, int32_t type) {
  std::vector<PresetByName::Entry> presets;
  std::string error, folder;
  if (!PresetByName::list(host, type, presets, error, &folder)) {
    out << "    presets: none by name (" << error << ")\n";
    return;
  }
  out << "    preset folder: " << (folder.empty() ? "(the plug-in does not tell it)" : printableName(folder)) << "\n";
  std::map<std::string, int> named;
  for (const PresetByName::Entry& e : presets) ++named[e.name];
  out << "    presets: " << presets.size() << " (bank, program: name)\n";
  for (const PresetByName::Entry& e : presets) {
    out << "      " << e.index / 128 << ", " << e.index % 128 << ": " << printableName(e.name);
    if (named[e.name] > 1 && !e.path.empty()) out << " (in " << printableName(e.path) << ")";
    if (!e.loads())
      out << " (does not load: " << printableName(e.refusal) << ")";
    else if (e.name == e.stored && e.name.size() == static_cast<size_t>(PresetByName::kPresetNameSize))
      out << " (as far as a host sees a name; --preset takes the whole name too)";
    out << "\n";
  }
}

} // namespace

void printInfo(std::ostream& out, SimHost& host, const std::string& bundlePath) {
  out << "bundle: " << bundlePath << "\n";
  out << "group: " << lengths([&](int32_t m) { return host.groupName(m); }) << "\n";
  out << "version: " << host.version() << "\n";
  out << "manufacturer: \"" << host.manufacturerName(31) << "\" " << fourCharText(host.manufacturerID()) << "\n";
  out << "group gestalts:";
  for (int32_t s = 0; s < 64; ++s)
    if (int32_t a = host.groupGestalt(s)) out << " " << s << "=" << a;
  out << "\n";
  int32_t types = host.numProcessTypes();
  out << "process types: " << types << "\n";
  for (int32_t t = 1; t <= types; ++t) {
    uint32_t id = 0, id2 = 0, category = 0;
    host.processTypeIDs(t, id, id2, category);
    int32_t in = 0, outStem = 0, third = 0;
    host.processTypeStems(t, in, outStem, third);
    char bits[16];
    std::snprintf(bits, sizeof bits, "0x%X", category);
    out << "  type " << t << ": " << fourCharText(id) << " " << fourCharText(id2) << " category " << bits << "\n"
        << "    names " << lengths([&](int32_t m) { return host.processTypeName(t, m); }) << "\n"
        << "    stems: input " << stemText(in) << ", output " << stemText(outStem) << ", third " << stemText(third)
        << "\n    sample rates: " << host.processTypeRates(t) << "\n    gestalts:";
    for (int32_t s = 0; s < 64; ++s)
      if (int32_t a = host.processTypeGestalt(t, s)) out << " " << s << "=" << a;
    out << "\n";
    Instance* instance = host.createInstance(t);
    out << "    instance: " << instance->numInputs() << " input ports, " << instance->numOutputs()
        << " output ports, quantum " << host.quantum(*instance) << "\n";
    printControls(out, host, *instance);
    printChunks(out, host, *instance);
    // Kept while the library is walked: the objects its instances share
    // (the library read once among them) stay as they are.
    printPresets(out, host, t);
    host.deleteInstance(instance);
  }
}

} // namespace simhost
