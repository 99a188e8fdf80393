#pragma once

// A preset library: the folder tree under one root (this object is the root
// folder), numbered as one list for MIDI bank and program selection.
//
// Library order is a post-order walk of the tree: each folder's sub-folders
// in their sorted order (each with its own sub-folders first), then the
// folder's own presets. The library's own folders come first; the folders
// reached through symbolic links follow them, in the same walk, so that a
// link never moves the numbers of the library's own presets. Preset i of
// that list is bank i / 128, program i % 128.
//
// Threads: rescans (initialize, clear) and queries may come from different
// threads. A query and the use of the Preset it returns are safe only while
// the caller's thread either is the one that rescans or holds a ReadAccess
// on the manager. A rescan builds the new tree first, then waits for the
// current readers to leave before it swaps the trees, and deletes the old
// tree afterwards; while it swaps, new readers are refused rather than kept
// waiting, so a thread that must never wait takes ReadAccess with tryOnly
// and gives up when the library is busy. (The plug-in's render thread does
// not ask the library at all: it reads what was copied out of it, and
// getGeneration tells when that copy is out of date.) A thread that holds a
// ReadAccess must not rescan the library.

#include "base/PresetFolder.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

class CriticalSection;
class Preset;

class PresetManager : public PresetFolder {
public:
  enum FindOption : int {
    findBefore = 0, // the preset before the one at the path, wrapping around
    findAt = 1,     // the preset at the path
    findAfter = 2   // the preset after the one at the path, wrapping around
  };

  enum LookupResult { found, notFound, busy };

  // Told when the library's tree was replaced (initialize, clear), on the
  // thread that replaced it, after readers see the new tree. Two threads
  // that replace it may tell an observer at the same time: an observer
  // that works long (reading every preset) is not made to wait for the
  // other's work, and sees to its own exclusion.
  class Observer {
  public:
    virtual void presetLibraryReplaced(PresetManager& manager) = 0;

  protected:
    ~Observer() = default;
  };

  // A scope in which the library's tree is not replaced or deleted.
  class ReadAccess {
  public:
    enum Mode {
      tryOnly, // never waits; not granted while a rescan swaps the trees
      wait     // waits until granted; not for the render thread
    };
    explicit ReadAccess(const PresetManager& manager, Mode mode = tryOnly);
    ~ReadAccess();
    ReadAccess(const ReadAccess&) = delete;
    ReadAccess& operator=(const ReadAccess&) = delete;

    bool isGranted() const { return mGranted; }
    explicit operator bool() const { return mGranted; }

  private:
    const PresetManager& mManager;
    bool mGranted;
  };

  static constexpr int scanBudgetMs = 2500;
  static constexpr int programsPerBank = 128;

  // A non-empty path is scanned at once, but not numbered.
  PresetManager(const std::string& path, const std::string& extension);
  ~PresetManager();

  // Scans the tree under path and numbers all presets.
  void initialize(const std::string& path);
  // Deletes the whole tree.
  void clear();

  // Replaces the list's content with all presets in library order.
  void buildPresetList(std::vector<Preset*>& list) const;

  // Position bank * 128 + program of the library order, or null. Allocates
  // nothing.
  Preset* findPresetByBankAndProgram(int bank, int program) const;
  // The first preset in library order whose name is exactly name, or null.
  Preset* findPresetByName(const std::string& name) const;
  // relativePath is taken below the root (as getPresetPath gives it). Null
  // when no preset has that path or the option is none of FindOption's.
  Preset* findPresetByPath(const std::string& relativePath, FindOption option) const;
  // The preset's path below the root; the full path when the preset is not
  // inside the root folder.
  std::string getPresetPath(const Preset* preset) const;
  // The full path of a path that getPresetPath gave: the root's path
  // followed by it, or the path as it stands when it is a full one already
  // (a preset outside the root folder). Empty stays empty.
  std::string getFullPresetPath(const std::string& presetPath) const;

  // A lookup that never waits. On found, copies the
  // preset and its path below the root, so the caller may load the file
  // without holding the library. busy: a rescan is swapping the trees.
  LookupResult tryFindPresetByBankAndProgram(int bank, int program, Preset& copy,
                                             std::string& relativePath) const;

  const std::string& getManagerExtension() const { return mExtension; }
  // Any thread. An observer removed is not called once removeObserver has
  // returned; it must not be removed from inside its own call.
  void addObserver(Observer* observer);
  void removeObserver(Observer* observer);
  // Any thread: grows by one each time the tree is replaced (initialize,
  // clear), so that whoever keeps something drawn from the library can tell
  // it is out of date.
  uint32_t getGeneration() const { return mGeneration.load(std::memory_order_acquire); }

private:
  bool tryBeginRead() const;
  void endRead() const;
  // Replaces the root's whole content (or only its lists) with replacement's
  // once no reader is inside; replacement then holds the old tree.
  void replaceTree(PresetFolder& replacement, bool listsOnly);
  void notifyObservers();

  std::string mExtension;
  CriticalSection* mWriteLock;
  mutable std::atomic<int> mReaders{0};
  std::atomic<bool> mSwapping{false};
  std::atomic<uint32_t> mGeneration{0};
  // Shared while observers are told, exclusive while the list changes.
  std::shared_mutex mObserverLock;
  std::vector<Observer*> mObservers;
};
