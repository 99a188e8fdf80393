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

std::string PresetByName::fileNameIn(const std::vector<unsigned char>& record) {
  const size_t at = static_cast<size_t>(kChunkHeaderSize + kPresetNameSize);
  if (record.size() <= at) return {};
  const char* field = reinterpret_cast<const char*>(record.data() + at);
  const size_t room = std::min<size_t>(record.size() - at, kPresetPathSize);
  const size_t length = strnlen(field, room);
  // No path, or one cut short by the field: no name can be taken from it.
  if (length == 0 || length == room) return {};
  std::string name(field, length);
  if (const size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::vector<unsigned char> PresetByName::withName(std::vector<unsigned char> record, const std::string& name) {
  record.resize(std::max(record.size(), static_cast<size_t>(kChunkHeaderSize + kPresetNameSize)), 0);
  unsigned char* field = record.data() + kChunkHeaderSize;
  // The name alone: a path after it (of another preset) is cleared too.
  std::memset(field, 0, record.size() - kChunkHeaderSize);
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
    if (host.getChunk(in, kPresetNameChunkID, record) == 0 && matches(entryOf(index, record), name)) return true;
  }
  error = "preset \"" + name + "\" did not load from a program change";
  return false;
}

namespace {

// Walks the library on the probe, program after program, and hands each
// place and what it showed (an entry without names when it showed none)
// to visit, until
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
    record.clear();
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
      if (!visit(PresetByName::Entry{i, {}, {}})) return true;
      continue;
    }
    emptyRun = 0;
    if (!visit(PresetByName::entryOf(i, record))) return true;
  }
  return true;
}

std::string placeText(int32_t index) {
  return "bank " + std::to_string(index / 128) + " program " + std::to_string(index % 128);
}

} // namespace

PresetByName::Entry PresetByName::entryOf(int32_t index, const std::vector<unsigned char>& record) {
  Entry e{index, fileNameIn(record), nameIn(record)};
  if (e.name.empty()) e.name = e.stored;
  return e;
}

bool PresetByName::matches(const Entry& shown, const std::string& wanted) {
  if (shown.stored.empty()) return false;
  if (wanted == shown.name || wanted == shown.stored) return true;
  // Without the file's name, a name longer than the chunk keeps is known
  // by its first kPresetNameSize bytes.
  return shown.name == shown.stored && shown.stored.size() == static_cast<size_t>(kPresetNameSize) &&
         wanted.size() > shown.stored.size() && wanted.compare(0, shown.stored.size(), shown.stored) == 0;
}

bool PresetByName::list(SimHost& host, int32_t type, std::vector<Entry>& presets, std::string& error) {
  presets.clear();
  ProbeInstance probe(host, type);
  std::vector<Entry> pending; // programs that showed nothing, until a preset follows them
  const bool ok = walkLibrary(host, *probe, error, [&](const Entry& e) {
    if (e.name.empty()) {
      pending.push_back(e);
      return true;
    }
    presets.insert(presets.end(), pending.begin(), pending.end());
    pending.clear();
    presets.push_back(e);
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
    const bool ok = walkLibrary(host, *probe, error, [&](const Entry& e) {
      if (e.name.empty()) {
        pending.push_back(e);
        return true;
      }
      unloaded.insert(unloaded.end(), pending.begin(), pending.end());
      pending.clear();
      seen.push_back(e);
      if (e.name == name || e.stored == name) {
        exact = e.index;
        return false;
      }
      if (matches(e, name)) cut.push_back(e);
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
