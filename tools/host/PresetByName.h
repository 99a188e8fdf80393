#pragma once

// Loading a plug-in's preset by its name from the host's side. The host
// has no call that loads a preset; what it has is MIDI (bank select and
// program change pick preset i of the plug-in's library as bank i / 128,
// program i % 128) and the preset-name chunk, which tells which preset the
// instance holds. So a probe instance is walked through the library, one
// program change per quantum, until its preset-name chunk shows the name
// wanted; its state then carries the preset's values (in the controls
// chunk) to the instance that renders. A preset file the plug-in cannot
// load shows no name: the plug-in says which file and why on its own, and
// the search goes on past it.

#include "tools/host/HostState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace simhost {

class Instance;
class SimHost;

class PresetByName {
public:
  static constexpr uint32_t kPresetNameChunkID = 0x51565072; // 'QVPr'
  static constexpr int32_t kPresetNameSize = 64;
  // The library is searched no further than this many presets.
  static constexpr int32_t kMaxPresets = 128 * 128;
  // This many programs in a row without a preset end the library. A
  // program whose file the plug-in cannot load shows no preset either, so
  // a single one does not end the search: the presets after it are found.
  static constexpr int32_t kEndOfLibrary = 3;

  // A place in the library and what the preset there showed (names empty
  // when the plug-in could not load it).
  struct Entry {
    int32_t index = 0; // bank * 128 + program
    // The preset file's own name (without extension) when the chunk tells
    // the preset's path, else the name the chunk keeps.
    std::string name;
    // The name the chunk keeps: at most kPresetNameSize bytes of it.
    std::string stored;
  };
  // The path field after the name: the preset's path below the library.
  static constexpr int32_t kPresetPathSize = 1024;

  // Whether a preset is the one wanted: by its file's name, or by the name
  // the chunk keeps; without the file's name, a name longer than the chunk
  // holds by its beginning.
  static bool matches(const Entry& shown, const std::string& wanted);
  // Every place of the library, in order, up to its last preset; false with
  // a reason when the plug-in keeps no preset name.
  static bool list(SimHost& host, int32_t type, std::vector<Entry>& presets, std::string& error);
  // The names of the presets that load, separated by commas.
  static std::string listText(const std::vector<Entry>& presets);

  // The state of an instance of the type that holds the preset; false with a
  // reason when the plug-in keeps no preset name or no preset has the name
  // (the reason then lists the presets there are). A name longer than the
  // chunk holds is found by its beginning when no other preset begins so.
  // With index, the preset's place in the library (bank * 128 + program).
  static bool load(SimHost& host, int32_t type, const std::string& name, HostState& state, std::string& error,
                   int32_t* index = nullptr);
  // Makes the instance load preset index itself, as a program change from
  // its MIDI input does, so that it holds the preset as chosen, not as
  // changed: restoring a state sets every control and marks the preset
  // modified. False with a reason when the instance does not end up
  // showing name.
  static bool choose(SimHost& host, Instance& in, int32_t index, const std::string& name, std::string& error);

  // The name in a preset-name chunk record (header included); "" when the
  // record is too short.
  static std::string nameIn(const std::vector<unsigned char>& record);
  // The file's own name (its path's last part without extension) when the
  // record carries the preset's path after the name; else "".
  static std::string fileNameIn(const std::vector<unsigned char>& record);
  static Entry entryOf(int32_t index, const std::vector<unsigned char>& record);
  // A preset-name chunk record holding name (and no path), on the header of
  // record.
  static std::vector<unsigned char> withName(std::vector<unsigned char> record, const std::string& name);
};

} // namespace simhost
