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
    if (host.getChunk(in, kPresetNameChunkID, record) == 0 && nameIn(record) == name) return true;
  }
  error = "preset \"" + name + "\" did not load from a program change";
  return false;
}

bool PresetByName::load(SimHost& host, int32_t type, const std::string& name, HostState& state,
                        std::string& error, int32_t* index) {
  ProbeInstance probe(host, type);
  const auto ids = host.chunkIDs(*probe);
  if (std::find(ids.begin(), ids.end(), kPresetNameChunkID) == ids.end()) {
    error = "the plug-in keeps no preset name, so no preset can be chosen by name";
    return false;
  }
  std::vector<unsigned char> record;
  if (int32_t status = host.getChunk(*probe, kPresetNameChunkID, record); status != 0) {
    error = "the plug-in gave no preset name (" + std::to_string(status) + ")";
    return false;
  }
  const std::vector<unsigned char> cleared = withName(record, kNoPreset);

  // Programs that showed no preset: while more presets follow them, they
  // are files the plug-in could not load (it tells why itself); the last
  // run of them is the end of the library.
  std::vector<int32_t> empty, unloaded;
  for (int32_t i = 0; i < kMaxPresets; ++i) {
    std::string found = kNoPreset;
    for (int attempt = 0; attempt <= kRetries && found == kNoPreset; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (host.setChunk(*probe, kPresetNameChunkID, cleared) != 0) {
        error = "the plug-in refused its preset-name chunk";
        return false;
      }
      sendProgram(host, *probe, i);
      record.clear();
      if (host.getChunk(*probe, kPresetNameChunkID, record) != 0) {
        error = "the plug-in gave no preset name";
        return false;
      }
      found = nameIn(record);
    }
    if (found == kNoPreset) {
      empty.push_back(i);
      if (static_cast<int32_t>(empty.size()) >= kEndOfLibrary) break;
      continue;
    }
    unloaded.insert(unloaded.end(), empty.begin(), empty.end());
    empty.clear();
    if (found == name) {
      if (index) *index = i;
      return state.capture(host, *probe, error);
    }
  }
  if (unloaded.empty()) {
    error = "no preset named \"" + name + "\"";
  } else {
    error = "preset \"" + name + "\" not found among the presets that load; " + std::to_string(unloaded.size()) +
            " preset" + (unloaded.size() == 1 ? "" : "s") + " of the library could not be loaded (";
    for (size_t k = 0; k < unloaded.size() && k < 4; ++k)
      error += (k ? ", " : "") + std::string("bank ") + std::to_string(unloaded[k] / 128) + " program " +
               std::to_string(unloaded[k] % 128);
    error += unloaded.size() > 4 ? ", ...; " : "; ";
    error += "the plug-in says why)";
  }
  return false;
}

} // namespace simhost
