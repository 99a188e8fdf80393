#pragma once

// Loading a plug-in's preset by its name from the host's side. The host
// has no call that loads a preset; what it has is MIDI (bank select and
// program change pick preset i of the plug-in's library as bank i / 128,
// program i % 128) and the preset-name chunk, which tells which preset the
// instance holds (host/PresetNameChunk.h). So a probe instance is walked
// through the library, one program change per quantum, from its first
// preset to its end: after each, the chunk shows the preset's name, or the
// file the plug-in could not load there and why, or neither (the library
// has ended). The probe asks the plug-in to keep its refusals for the host,
// so that a command says only what concerns the preset it was asked for.
// The preset chosen is then loaded on the probe as a program change loads
// it, and the probe's state carries its values (in the controls chunk) to
// the instance that renders.
//
// Threads: the caller's, which must be the one that loaded the bundle.

#include "host/PresetNameChunk.h"
#include "tools/host/HostState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace simhost {

class Instance;
class SimHost;

class PresetByName {
public:
  static constexpr uint32_t kPresetNameChunkID = presetchunk::kID;
  static constexpr int32_t kPresetNameSize = presetchunk::kNameSize;
  static constexpr int32_t kPresetPathSize = presetchunk::kPathSize;
  // The library is searched no further than this many presets.
  static constexpr int32_t kMaxPresets = 128 * 128;

  // A place in the library and what the preset there showed.
  struct Entry {
    int32_t index = 0; // bank * 128 + program
    // The preset file's own name (without extension) when the chunk tells
    // the preset's path, else the name the chunk keeps.
    std::string name;
    // The name the chunk keeps: at most kPresetNameSize bytes of it; empty
    // for a file that does not load.
    std::string stored;
    // The preset's path below the library ("" when the chunk holds none).
    std::string path;
    // Why the plug-in could not load the file; empty for one that loads.
    std::string refusal;

    bool loads() const { return refusal.empty(); }
  };

  // Whether a preset is the one wanted: by its file's name, by the name the
  // chunk keeps, by its path below the library without the extension
  // (FOLDER/NAME; its last folders are enough, and a leading '/' anchors
  // them at the library's top, so "/NAME" names a preset there), or,
  // without the file's name, a name longer than the chunk holds by its
  // beginning.
  static bool matches(const Entry& shown, const std::string& wanted);
  // Every preset of the library, in order, to its end, those that do not
  // load included; false with a reason when the plug-in keeps no preset
  // name. With folder, the folder the plug-in reads the library from, as
  // it tells it ("" when it does not).
  static bool list(SimHost& host, int32_t type, std::vector<Entry>& presets, std::string& error,
                   std::string* folder = nullptr);
  // The presets that load, each as --preset takes it apart from others of
  // its name (FOLDER/NAME, "/NAME" at the library's top; the name alone
  // when the plug-in tells no path), separated by commas.
  static std::string listText(const std::vector<Entry>& presets);
  // A preset as --preset takes it apart from others of its name, printable.
  static std::string pathName(const Entry& preset);

  // The state of an instance of the type that holds the preset; false with a
  // reason when the plug-in keeps no preset name, when no preset has the
  // name (the reason then lists the presets there are), when the preset
  // named does not load (the reason says why), or when the name fits more
  // than one preset equally (the reason lists them, each as FOLDER/NAME
  // where that tells them apart): two presets of the very name too, which
  // FOLDER/NAME (or "/NAME" for one at the library's top) chooses between.
  // A name longer than the chunk holds, or the bytes it holds, is found by
  // its beginning when no other preset begins so. With index, the preset's
  // place in the library (bank * 128 + program).
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
  // The library's folder a probed plug-in tells in the record; else "".
  static std::string libraryFolderIn(const std::vector<unsigned char>& record);
  // What program index showed: a preset, a file that does not load, or
  // (an entry without names) nothing.
  static Entry entryOf(int32_t index, const std::vector<unsigned char>& record);
  // A preset-name chunk record holding name (and no path), on the header of
  // record.
  static std::vector<unsigned char> withName(std::vector<unsigned char> record, const std::string& name);
};

} // namespace simhost
