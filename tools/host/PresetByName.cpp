#include "tools/host/PresetByName.h"

#include "tools/host/PrintableName.h"
#include "tools/host/SimHost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace simhost {
namespace {

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

// The text of a field of a record (header included): "" when the record
// ends before it, or when it fills the field without an end (a path cut
// short names no file).
std::string fieldIn(const std::vector<unsigned char>& record, int32_t offset, int32_t size) {
  const size_t at = static_cast<size_t>(kChunkHeaderSize + offset);
  if (record.size() <= at) return {};
  const char* field = reinterpret_cast<const char*>(record.data() + at);
  const size_t room = std::min<size_t>(record.size() - at, static_cast<size_t>(size));
  const size_t length = strnlen(field, room);
  return length == room ? std::string() : std::string(field, length);
}

// A path's last part without its extension.
std::string fileNameOf(std::string path) {
  if (const size_t slash = path.rfind('/'); slash != std::string::npos) path.erase(0, slash + 1);
  if (const size_t dot = path.rfind('.'); dot != std::string::npos && dot > 0) path.erase(dot);
  return path;
}

// A path without its extension.
std::string stemOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot <= slash + 1)) return path;
  return path.substr(0, dot);
}

} // namespace

std::string PresetByName::nameIn(const std::vector<unsigned char>& record) {
  if (record.size() < static_cast<size_t>(presetchunk::kNameRecordSize)) return {};
  const char* field = reinterpret_cast<const char*>(record.data() + kChunkHeaderSize);
  return std::string(field, strnlen(field, kPresetNameSize));
}

std::string PresetByName::fileNameIn(const std::vector<unsigned char>& record) {
  const std::string path = fieldIn(record, presetchunk::kPathOffset, presetchunk::kPathSize);
  return path.empty() ? std::string() : fileNameOf(path);
}

std::string PresetByName::libraryFolderIn(const std::vector<unsigned char>& record) {
  return fieldIn(record, presetchunk::kLibraryOffset, presetchunk::kLibrarySize);
}

std::vector<unsigned char> PresetByName::withName(std::vector<unsigned char> record, const std::string& name) {
  record.resize(std::max(record.size(), static_cast<size_t>(presetchunk::kNameRecordSize)), 0);
  unsigned char* field = record.data() + kChunkHeaderSize;
  // The name alone: a path after it (of another preset) is cleared too.
  std::memset(field, 0, record.size() - kChunkHeaderSize);
  std::memcpy(field, name.data(), std::min<size_t>(name.size(), kPresetNameSize - 1));
  return record;
}

PresetByName::Entry PresetByName::entryOf(int32_t index, const std::vector<unsigned char>& record) {
  Entry e;
  e.index = index;
  const std::string stored = nameIn(record);
  if (stored.empty() || stored == presetchunk::kNoPresetName) {
    // Nothing loaded: a refusal, or the library's end.
    e.path = fieldIn(record, presetchunk::kRefusedPathOffset, presetchunk::kRefusedPathSize);
    if (e.path.empty()) return e;
    e.name = fileNameOf(e.path);
    e.refusal = fieldIn(record, presetchunk::kReasonOffset, presetchunk::kReasonSize);
    if (e.refusal.empty()) e.refusal = "the plug-in could not load it";
    return e;
  }
  e.stored = stored;
  e.path = fieldIn(record, presetchunk::kPathOffset, presetchunk::kPathSize);
  e.name = e.path.empty() ? stored : fileNameOf(e.path);
  return e;
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

// Walks the library on the probe, program after program, to its end. False
// with a reason when the chunk cannot be used. With folder, the library's
// folder as the probed plug-in tells it.
bool walkLibrary(SimHost& host, Instance& probe, std::vector<PresetByName::Entry>& presets, std::string& error,
                 std::string* folder = nullptr) {
  presets.clear();
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
  // Sent before each program change: the plug-in keeps what it refuses
  // for the host, with the name cleared, and a preset that loads names
  // itself.
  std::vector<unsigned char> request(kChunkHeaderSize, 0);
  auto* header = reinterpret_cast<SFicPlugInChunk*>(request.data());
  header->fSize = kChunkHeaderSize;
  header->fChunkID = presetchunk::kProbeID;
  auto look = [&](PresetByName::Entry& e, int32_t i) {
    record.clear();
    if (host.getChunk(probe, PresetByName::kPresetNameChunkID, record) != 0) {
      error = "the plug-in gave no preset name";
      return false;
    }
    e = PresetByName::entryOf(i, record);
    if (folder && folder->empty()) *folder = PresetByName::libraryFolderIn(record);
    return true;
  };
  for (int32_t i = 0; i < PresetByName::kMaxPresets; ++i) {
    if (host.setChunk(probe, presetchunk::kProbeID, request) != 0) {
      error = "the plug-in does not let a host probe its presets";
      return false;
    }
    sendProgram(host, probe, i);
    PresetByName::Entry e;
    if (!look(e, i)) return false;
    if (e.name.empty()) {
      // A program change the plug-in put off (its library busy) is acted
      // on at the next quantum; after that, nothing there is the end.
      host.render(probe, nullptr, nullptr, host.quantum(probe));
      host.idle();
      if (!look(e, i)) return false;
      if (e.name.empty()) break;
    }
    presets.push_back(std::move(e));
  }
  return true;
}

std::string placeText(int32_t index) {
  return "bank " + std::to_string(index / 128) + " program " + std::to_string(index % 128);
}

bool endsWithFolderAndName(const std::string& stem, const std::string& wanted) {
  return stem.size() > wanted.size() && stem.compare(stem.size() - wanted.size(), wanted.size(), wanted) == 0 &&
         stem[stem.size() - wanted.size() - 1] == '/';
}

// The kinds of match, the closest first: a preset matched by a closer kind
// is taken over those matched by a farther one.
enum class Match { none, whole, folderEnd, cut };

Match matchOf(const PresetByName::Entry& e, const std::string& wanted) {
  if (e.name.empty() || wanted.empty()) return Match::none;
  if (wanted.find('/') != std::string::npos) {
    const std::string stem = stemOf(e.path);
    if (e.path.empty()) return Match::none;
    if (stem == wanted) return Match::whole;
    // A leading '/' is the library's top: "/NAME" names a preset there,
    // which has no folder to give.
    if (wanted[0] == '/') return wanted.compare(1, stem.npos, stem) == 0 ? Match::whole : Match::none;
    return endsWithFolderAndName(stem, wanted) ? Match::folderEnd : Match::none;
  }
  const size_t kept = static_cast<size_t>(PresetByName::kPresetNameSize);
  // The chunk holds the whole name, or the file's own name is known.
  const bool whole = !e.path.empty() || e.stored.size() < kept;
  if (whole && e.name == wanted) return Match::whole;
  // The bytes the chunk keeps of a longer name; and, when the file's name
  // is not known, any name that begins with them.
  if (e.stored.size() == kept && wanted.compare(0, kept, e.stored) == 0 &&
      (wanted.size() == kept || e.path.empty()))
    return Match::cut;
  return Match::none;
}

std::string describe(const PresetByName::Entry& e) {
  return "\"" + printableName(e.name) + "\" (" + (e.path.empty() ? "" : printableName(e.path) + ", ") +
         placeText(e.index) + ")";
}

// A preset as --preset takes it apart from others of its name: FOLDER/NAME
// (its path below the library without the extension; "/NAME" at the
// library's top), with its place.
std::string describeByPath(const PresetByName::Entry& e) {
  return PresetByName::pathName(e) + " (" + placeText(e.index) + (e.loads() ? ")" : ", does not load)");
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
  error = "preset \"" + printableName(name) + "\" did not load from a program change";
  return false;
}

bool PresetByName::matches(const Entry& shown, const std::string& wanted) {
  return shown.loads() && matchOf(shown, wanted) != Match::none;
}

bool PresetByName::list(SimHost& host, int32_t type, std::vector<Entry>& presets, std::string& error,
                        std::string* folder) {
  if (folder) folder->clear();
  ProbeInstance probe(host, type);
  return walkLibrary(host, *probe, presets, error, folder);
}

std::string PresetByName::pathName(const Entry& e) {
  if (e.path.empty()) return "\"" + printableName(e.name) + "\"";
  return (e.path.find('/') == std::string::npos ? "/" : "") + printableName(stemOf(e.path));
}

std::string PresetByName::listText(const std::vector<Entry>& presets) {
  std::string text;
  for (const Entry& e : presets)
    if (e.loads()) text += (text.empty() ? "" : ", ") + pathName(e);
  return text;
}

bool PresetByName::load(SimHost& host, int32_t type, const std::string& name, HostState& state, std::string& error,
                        int32_t* index) {
  ProbeInstance probe(host, type);
  std::vector<Entry> presets;
  if (!walkLibrary(host, *probe, presets, error)) return false;

  // The presets of the closest kind of match.
  std::vector<const Entry*> found;
  Match best = Match::none;
  for (const Entry& e : presets) {
    const Match m = matchOf(e, name);
    if (m == Match::none || (best != Match::none && m > best)) continue;
    if (m < best || best == Match::none) found.clear();
    best = m;
    found.push_back(&e);
  }
  // A name that fits several presets is refused, however closely: taking
  // the first would render another sound than the one meant, without a
  // word. The list shows how to name each.
  const Entry* chosen = nullptr;
  if (found.size() == 1) {
    chosen = found.front();
  } else if (found.size() > 1) {
    error = "\"" + printableName(name) + "\" fits " + std::to_string(found.size()) + " presets: ";
    for (size_t k = 0; k < found.size(); ++k)
      error += (k ? ", " : "") + (best == Match::cut ? describe(*found[k]) : describeByPath(*found[k]));
    if (best == Match::cut)
      error += "; a host sees the first " + std::to_string(kPresetNameSize) +
               " bytes of a preset's name, and they begin alike: give the whole name";
    else
      error += name.find('/') == std::string::npos ? "; choose one as FOLDER/NAME" : "; give more of its folders";
    return false;
  }
  if (!chosen) {
    error = "no preset named \"" + printableName(name) + "\"";
    const std::string names = listText(presets);
    error += names.empty() ? "; the library holds no preset that loads"
                           : "; the presets are: " + names + " (zarn-host info lists them with their programs)";
    return false;
  }
  if (!chosen->loads()) {
    error = "preset " + describe(*chosen) + " could not be loaded: " + printableName(chosen->refusal);
    return false;
  }
  if (!choose(host, *probe, chosen->index, name, error)) return false;
  if (index) *index = chosen->index;
  return state.capture(host, *probe, error);
}

} // namespace simhost
