#pragma once

// The MIDI learn table: which plug-in parameter each MIDI controller moves.
//
// One entry per controller number 0-126, each a parameter index (a plug-in
// parameter, or a MIDI-only parameter from cMidiOnlyParameterBase on) or -1
// for none. A parameter stands in at most one entry. Controller numbers
// outside 0-126 have no entry: they are ignored by every operation.
//
// The table is shared by all plug-in instances of the process. The render
// thread reads it and learns into it while the main thread edits, loads or
// resets it; every entry is a single atomic word and nothing is locked, so
// each access sees a whole index (a multi-entry change may be seen half
// done, never a torn entry).
//
// File format ("MidiControllerMap.qvm", the binary container): tag "QVCM",
// version 1, then the 127 entries as int32 in controller order: 516 bytes.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class BinaryDataReader;

class ControllerMapping {
public:
  static constexpr int cControllerCount = 127;
  static constexpr int32_t cMidiOnlyParameterBase = 0x100000;
  static constexpr int cFileVersion = 1;

  // Every controller unmapped; every index accepted.
  ControllerMapping();
  ControllerMapping(const ControllerMapping&) = delete;
  ControllerMapping& operator=(const ControllerMapping&) = delete;

  static bool isValidController(int controller) { return controller >= 0 && controller < cControllerCount; }

  // The entry of the controller: the stored index or -1 (also -1 for a
  // controller without entry). The stored index is returned as the table
  // holds it, accepted or not (see acceptsIndex).
  int getParameterIndex(int controller) const;

  // Maps the controller to the index, taking the index away from any other
  // controller first. A negative index unmaps the controller. False, and
  // nothing changed, for a controller without entry or an index that the
  // mapping does not accept.
  bool setConnection(int controller, int parameterIndex);
  // Unmaps the controller.
  void removeConnection(int controller);
  // The lowest controller mapped to the index; -1 when none is.
  int getControllerNumber(int parameterIndex) const;
  // Unmaps every controller.
  void reset();

  // Tells which indexes name something for one user of the map (a plug-in
  // instance): 0 to parameterCount - 1 and cMidiOnlyParameterBase to
  // cMidiOnlyParameterBase + midiOnlyCount - 1. The map is shared, so it
  // accepts an index that any of its users has; with no user every index
  // >= 0 is accepted (the state after construction). A stored map may hold
  // any number; entries outside these ranges stay in the table (and in the
  // saved file) but are never handed on. Negative counts remove the user.
  // Main thread only (the render thread reads the result, without a lock).
  void setIndexLimits(const void* user, int parameterCount, int midiOnlyCount);
  // The user is gone; its indexes are no longer accepted on its account.
  void removeIndexLimits(const void* user);
  // The limits of one anonymous user.
  void setIndexLimits(int parameterCount, int midiOnlyCount) { setIndexLimits(nullptr, parameterCount, midiOnlyCount); }
  // True when the index is >= 0 and lies within the limits.
  bool acceptsIndex(int parameterIndex) const;
  // The controller's index when the mapping accepts it, else -1: what a
  // controller message may be turned into.
  int getMappedParameter(int controller) const;

  // Writes the map file; true when the whole file was written (an old file
  // is replaced only then). On failure reason, when given, gets the
  // system's reason.
  bool saveToFile(const std::string& path, std::string* reason = nullptr) const;

  // Reads the header and the 127 entries. Only a map read whole is taken:
  // on a foreign tag, a short or unreadable file or a null reader the
  // result is false and the table stays as it was. So it is for a version
  // other than cFileVersion, whose layout this one does not know.
  bool loadFromBinaryData(BinaryDataReader* reader);
  // loadFromBinaryData on the file; a missing file gives false.
  bool loadFromFile(const std::string& path);
  // loadFromBinaryData on the bundle resource. Throws EResource when the
  // bundle has no such resource, so the caller can tell a missing factory
  // map from a damaged one.
  bool loadFromResource(const std::string& name);

private:
  void publishLimits();

  std::atomic<int32_t> entries[cControllerCount];
  // Users and their counts; the widest of them is what is published.
  std::mutex mUsersLock;
  std::map<const void*, std::pair<int32_t, int32_t>> mUsers;
  std::atomic<int32_t> parameterLimit{-1};
  std::atomic<int32_t> midiOnlyLimit{-1};
};
