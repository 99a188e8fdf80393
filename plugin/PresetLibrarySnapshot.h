#pragma once

// What the preset library held when it was last read, for the render
// thread: a MIDI program change must take effect at its own sample, and
// the render thread may neither open a file, nor allocate, nor wait for a
// lock. So every preset of the library is read beforehand, in library
// order (name, path, and the values the file holds, or why it was refused)
// into one snapshot, and the render thread only reads a snapshot.
//
// A snapshot never changes once made. PresetSnapshotPublisher makes one
// per library for every instance of the process, publishes it through an
// atomic pointer and replaces it whole when the library is read again; the
// replaced one is deleted, off every render thread, once no render thread
// holds it.
//
// Entry i is the preset of bank i / 128, program i % 128
// (PresetManager::programsPerBank), as the library numbers them.

#include "plugin/PresetLoader.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class PresetLibrarySnapshot {
public:
  struct Entry {
    // The preset's name (Preset::getName).
    std::string name;
    // Its path below the library's root (PresetManager::getPresetPath).
    std::string relativePath;
    // The file's full path.
    std::string path;
    // What the file holds, when failure.kind is none.
    PresetData data;
    // Why the file was refused; kind none when it was read.
    PresetLoadFailure failure;
  };

  // generation: the library's (PresetManager::getGeneration) when it was
  // listed.
  PresetLibrarySnapshot(uint32_t generation, std::vector<Entry> entries)
      : mGeneration(generation), mEntries(std::move(entries)) {}

  PresetLibrarySnapshot(const PresetLibrarySnapshot&) = delete;
  PresetLibrarySnapshot& operator=(const PresetLibrarySnapshot&) = delete;

  uint32_t getGeneration() const { return mGeneration; }
  // Every preset in library order.
  const std::vector<Entry>& getEntries() const { return mEntries; }
  // The preset of that bank and program, or null. Any thread; allocates
  // nothing.
  const Entry* find(int bank, int program) const {
    if (bank < 0 || program < 0 || program >= cProgramsPerBank) return nullptr;
    const int64_t index = static_cast<int64_t>(bank) * cProgramsPerBank + program;
    return index < static_cast<int64_t>(mEntries.size()) ? &mEntries[static_cast<size_t>(index)] : nullptr;
  }

  static constexpr int cProgramsPerBank = 128;

private:
  uint32_t mGeneration;
  std::vector<Entry> mEntries;
};
