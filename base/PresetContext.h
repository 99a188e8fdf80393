#pragma once

// The preset currently loaded into one plug-in instance. The plug-in core
// writes the values; whoever wants to hear of their changes becomes a
// property's owner.
//
// The context belongs to the host's main thread: its texts are strings,
// which another thread must never write while the main thread may read
// them. A thread that changes the context otherwise (the render thread, when
// a MIDI program change loads a preset) records the change in a
// PresetContextHandOff, and the main thread applies it.

#include "base/Property.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

class PresetContext {
public:
  PresetContext() = default;
  PresetContext(const PresetContext&) = delete;
  PresetContext& operator=(const PresetContext&) = delete;

  // The preset's name.
  Property<std::string> presetName;
  // The preset's path below the library's root (PresetManager::getPresetPath).
  Property<std::string> presetPath;
  // Whether parameters changed since the preset was loaded or saved.
  Property<bool> presetModified{nullptr, false};
};

// Carries changes of a PresetContext from one publishing thread to the
// context's own thread without a lock and without allocating: the latest
// name and path in fixed buffers (three of them, so that neither side ever
// waits for the other), and the latest change of the modified flag in an
// atomic. Only the latest of several published changes survives, which is
// all the context can show anyway.
//
// One thread at a time publishes (publish, markModified) and one thread
// takes (takeNameAndPath, takeModified).
class PresetContextHandOff {
public:
  // Room for a file name and for a path as the file system allows them,
  // each with its terminating NUL.
  static constexpr size_t cNameCapacity = 256;
  static constexpr size_t cPathCapacity = 4096;

  // What takeModified reports.
  enum ModifiedChange { cModifiedUnchanged = 0, cModifiedSet = 1, cModifiedCleared = 2 };

  PresetContextHandOff() = default;
  PresetContextHandOff(const PresetContextHandOff&) = delete;
  PresetContextHandOff& operator=(const PresetContextHandOff&) = delete;

  // Publishing thread: a preset was loaded or saved under this name and
  // path, so the modified flag is cleared too. A text that does not fit is
  // handed on as empty on both counts (no preset known) rather than cut: a
  // shortened path would name another file. Returns whether both fitted.
  bool publish(const std::string& name, const std::string& path) {
    // Cleared before the texts show: whoever takes the texts also sees this
    // clearing, or a later change of the flag.
    mModified.store(cModifiedCleared, std::memory_order_release);
    Record& r = mSlots[mWriting];
    const bool fits = name.size() < cNameCapacity && path.size() < cPathCapacity;
    if (fits) {
      std::memcpy(r.name, name.data(), name.size());
      r.name[name.size()] = 0;
      r.nameLength = name.size();
      std::memcpy(r.path, path.data(), path.size());
      r.path[path.size()] = 0;
      r.pathLength = path.size();
    } else {
      r.name[0] = r.path[0] = 0;
      r.nameLength = r.pathLength = 0;
    }
    const int previous = mMiddle.exchange(mWriting | cFresh, std::memory_order_acq_rel);
    mWriting = previous & cSlotMask;
    return fits;
  }

  // Publishing thread: parameters changed.
  void markModified() { mModified.store(cModifiedSet, std::memory_order_release); }

  // Taking thread: the latest published name and path, when any was
  // published since the last call; false (and the arguments untouched)
  // otherwise.
  bool takeNameAndPath(std::string& name, std::string& path) {
    if (!(mMiddle.load(std::memory_order_acquire) & cFresh)) return false;
    // Only this thread clears the fresh bit, so it is still set.
    const int previous = mMiddle.exchange(mReading, std::memory_order_acq_rel);
    mReading = previous & cSlotMask;
    const Record& r = mSlots[mReading];
    name.assign(r.name, r.nameLength);
    path.assign(r.path, r.pathLength);
    return true;
  }

  // Taking thread: the latest change of the modified flag since the last
  // call. Take the texts first: the flag's change that goes with them is
  // then taken too.
  ModifiedChange takeModified() {
    return static_cast<ModifiedChange>(mModified.exchange(cModifiedUnchanged, std::memory_order_acq_rel));
  }

  // Any thread: whether anything waits to be taken.
  bool isPending() const {
    return (mMiddle.load(std::memory_order_acquire) & cFresh) ||
           mModified.load(std::memory_order_acquire) != cModifiedUnchanged;
  }

private:
  static constexpr int cSlotMask = 3;
  static constexpr int cFresh = 4;

  struct Record {
    size_t nameLength = 0;
    size_t pathLength = 0;
    char name[cNameCapacity] = {};
    char path[cPathCapacity] = {};
  };

  Record mSlots[3];
  int mWriting = 0; // publishing thread's slot
  int mReading = 1; // taking thread's slot
  // The slot between the two, with cFresh while it holds a record not yet
  // taken.
  std::atomic<int> mMiddle{2};
  std::atomic<int> mModified{cModifiedUnchanged};
};
