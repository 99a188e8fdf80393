#include "tools/host/PresetByName.h"

#include "tools/host/SimHost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace simhost {
namespace {

// No preset file can be named this, so the chunk shows it only until a
// preset is loaded.
const char* const kNoPreset = "/";
// A program change the plug-in could not act on at once (its library busy
// with a rescan) is tried again this many times.
constexpr int kRetries = 3;

class ProbeInstance {
public:
  ProbeInstance(SimHost& host, int32_t type) : mHost(host), mInstance(host.createInstance(type)) {}
  ~ProbeInstance() { mHost.deleteInstance(mInstance); }
  ProbeInstance(const ProbeInstance&) = delete;
  ProbeInstance& operator=(const ProbeInstance&) = delete;
  Instance& operator*() const { return *mInstance; }

private:
  SimHost& mHost;
  Instance* mInstance;
};

} // namespace

std::string PresetByName::nameIn(const std::vector<unsigned char>& record) {
  if (record.size() < static_cast<size_t>(kChunkHeaderSize + kPresetNameSize)) return {};
  const char* field = reinterpret_cast<const char*>(record.data() + kChunkHeaderSize);
  return std::string(field, strnlen(field, kPresetNameSize));
}

std::vector<unsigned char> PresetByName::withName(std::vector<unsigned char> record, const std::string& name) {
  record.resize(std::max(record.size(), static_cast<size_t>(kChunkHeaderSize + kPresetNameSize)), 0);
  unsigned char* field = record.data() + kChunkHeaderSize;
  std::memset(field, 0, kPresetNameSize);
  std::memcpy(field, name.data(), std::min<size_t>(name.size(), kPresetNameSize - 1));
  return record;
}

namespace {

// Bank select and program change for preset i, then one quantum and an idle
// call so the plug-in acts on them.
void sendProgram(SimHost& host, Instance& in, int32_t i) {
  const int32_t bank = i / 128, program = i % 128;
  host.queueMidi(in, 0, 0xB0, 0, static_cast<uint8_t>((bank >> 7) & 0x7F));
  host.queueMidi(in, 0, 0xB0, 32, static_cast<uint8_t>(bank & 0x7F));
  host.queueMidi(in, 0, 0xC0, static_cast<uint8_t>(program), 0, 2);
  host.render(in, nullptr, nullptr, host.quantum(in));
  host.idle();
}

} // namespace

bool PresetByName::choose(SimHost& host, Instance& in, int32_t index, const std::string& name, std::string& error) {
  std::vector<unsigned char> record;
  for (int attempt = 0; attempt <= kRetries; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sendProgram(host, in, index);
    record.clear();
    if (host.getChunk(in, kPresetNameChunkID, record) == 0 && matches(nameIn(record), name)) return true;
  }
  error = "preset \"" + name + "\" did not load from a program change";
  return false;
}

namespace {

// Walks the library on the probe, program after program, and hands each
// place and the name it showed ("" when it showed none) to visit, until
// visit says stop or the library ends. False with a reason when the chunk
// cannot be used.
template <class Visit>
bool walkLibrary(SimHost& host, Instance& probe, std::string& error, Visit visit) {
  const auto ids = host.chunkIDs(probe);
  if (std::find(ids.begin(), ids.end(), PresetByName::kPresetNameChunkID) == ids.end()) {
    error = "the plug-in keeps no preset name, so no preset can be chosen by name";
    return false;
  }
  std::vector<unsigned char> record;
  if (int32_t status = host.getChunk(probe, PresetByName::kPresetNameChunkID, record); status != 0) {
    error = "the plug-in gave no preset name (" + std::to_string(status) + ")";
    return false;
  }
  const std::vector<unsigned char> cleared = PresetByName::withName(record, kNoPreset);
  int32_t emptyRun = 0;
  for (int32_t i = 0; i < PresetByName::kMaxPresets; ++i) {
    std::string found = kNoPreset;
    for (int attempt = 0; attempt <= kRetries && found == kNoPreset; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (host.setChunk(probe, PresetByName::kPresetNameChunkID, cleared) != 0) {
        error = "the plug-in refused its preset-name chunk";
        return false;
      }
      sendProgram(host, probe, i);
      record.clear();
      if (host.getChunk(probe, PresetByName::kPresetNameChunkID, record) != 0) {
        error = "the plug-in gave no preset name";
        return false;
      }
      found = PresetByName::nameIn(record);
    }
    if (found == kNoPreset) {
      if (++emptyRun >= PresetByName::kEndOfLibrary) break;
      if (!visit(i, std::string())) return true;
      continue;
    }
    emptyRun = 0;
    if (!visit(i, found)) return true;
  }
  return true;
}

std::string placeText(int32_t index) {
  return "bank " + std::to_string(index / 128) + " program " + std::to_string(index % 128);
}

} // namespace

bool PresetByName::matches(const std::string& shown, const std::string& wanted) {
  if (shown.empty()) return false;
  if (shown == wanted) return true;
  // The chunk keeps the first kPresetNameSize bytes of a longer name.
  return shown.size() == static_cast<size_t>(kPresetNameSize) && wanted.size() > shown.size() &&
         wanted.compare(0, shown.size(), shown) == 0;
}

bool PresetByName::list(SimHost& host, int32_t type, std::vector<Entry>& presets, std::string& error) {
  presets.clear();
  ProbeInstance probe(host, type);
  std::vector<Entry> pending; // programs that showed nothing, until a preset follows them
  const bool ok = walkLibrary(host, *probe, error, [&](int32_t i, const std::string& name) {
    if (name.empty()) {
      pending.push_back({i, std::string()});
      return true;
    }
    presets.insert(presets.end(), pending.begin(), pending.end());
    pending.clear();
    presets.push_back({i, name});
    return true;
  });
  return ok;
}

std::string PresetByName::listText(const std::vector<Entry>& presets) {
  std::string text;
  for (const Entry& e : presets)
    if (!e.name.empty()) text += (text.empty() ? "" : ", ") + e.name;
  return text;
}

bool PresetByName::load(SimHost& host, int32_t type, const std::string& name, HostState& state, std::string& error,
                        int32_t* index) {
  // Exact names first; a name longer than the chunk holds is matched by
  // its beginning, and must then be the only preset that begins so.
  std::vector<Entry> seen, unloaded, pending, cut;
  int32_t exact = -1;
  {
    ProbeInstance probe(host, type);
    const bool ok = walkLibrary(host, *probe, error, [&](int32_t i, const std::string& found) {
      if (found.empty()) {
        pending.push_back({i, std::string()});
        return true;
      }
      unloaded.insert(unloaded.end(), pending.begin(), pending.end());
      pending.clear();
      seen.push_back({i, found});
      if (found == name) {
        exact = i;
        return false;
      }
      if (matches(found, name)) cut.push_back({i, found});
      return true;
    });
    if (!ok) return false;
    if (exact >= 0) {
      if (index) *index = exact;
      return state.capture(host, *probe, error);
    }
  }
  if (cut.size() == 1) {
    ProbeInstance probe(host, type);
    if (!choose(host, *probe, cut[0].index, name, error)) return false;
    if (index) *index = cut[0].index;
    return state.capture(host, *probe, error);
  }
  if (cut.size() > 1) {
    error = "\"" + name + "\" cannot be told apart from " + std::to_string(cut.size()) +
            " presets: the plug-in tells a host the first " + std::to_string(kPresetNameSize) +
            " bytes of a preset's name, and they begin alike (";
    for (size_t k = 0; k < cut.size(); ++k) error += (k ? ", " : "") + placeText(cut[k].index);
    error += "); rename one";
    return false;
  }
  if (unloaded.empty()) {
    error = "no preset named \"" + name + "\"";
  } else {
    error = "preset \"" + name + "\" not found among the presets that load; " + std::to_string(unloaded.size()) +
            " preset" + (unloaded.size() == 1 ? "" : "s") + " of the library could not be loaded (";
    for (size_t k = 0; k < unloaded.size() && k < 4; ++k) error += (k ? ", " : "") + placeText(unloaded[k].index);
    error += unloaded.size() > 4 ? ", ...; " : "; ";
    error += "the plug-in says why)";
  }
  error += seen.empty() ? "; the library holds no preset that loads"
                        : "; the presets are: " + listText(seen) + " (zarn-host info lists them with their programs)";
  return false;
}

} // namespace simhost
