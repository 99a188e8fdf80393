#pragma once

// The operating system behind three small abstract services, and a base
// class for objects that carry their own lock. Factories return heap objects
// owned by the caller.

#include <cstdint>
#include <string>

class CriticalSection {
public:
  virtual ~CriticalSection() = default;
  // Re-entrant: a thread that owns the lock may enter again and must leave
  // as often as it entered.
  virtual void enter() = 0;
  virtual void leave() = 0;
};

class IntervalTimer {
public:
  virtual ~IntervalTimer() = default;
  // Whole milliseconds since creation or the last reset.
  virtual int64_t getElapsed() = 0;
  virtual void reset() = 0;
};

class FileEnumerator {
public:
  // files: regular files (and links that lead nowhere); notFolders: those
  // and what else stands where a file could, FIFOs, devices and sockets,
  // for a caller that says why it leaves them out (opening one to read
  // could wait for ever).
  enum Type { files = 0, folders = 1, notFolders = 2 };
  virtual ~FileEnumerator() = default;
  // Moves to the next matching entry; false when none is left, and on every
  // call after that. Entries come unsorted.
  virtual bool findNext() = 0;
  // The current entry's name, without folder.
  virtual std::string getFileName() = 0;
};

CriticalSection* createCriticalSection();
IntervalTimer* createIntervalTimer();
// An enumerator over the entries of one folder (not its sub-folders) that
// are of the given type and match the mask, good for one pass. pattern is
// folder + "/" + mask, as "/x/Presets/*.qvp" or "/x/Presets/*"; a pattern
// without '/' is taken as both folder and mask. The mask's base ("*" = any)
// and extension (".*" = any or none; also the extension of a mask without a
// dot) are matched case-sensitively; a '*' elsewhere is an ordinary character.
// Names beginning with '.' are never listed. A folder that cannot be read
// yields nothing.
FileEnumerator* createFileEnumerator(const std::string& pattern, FileEnumerator::Type type);

// A base for objects that carry their own re-entrant lock.
class LockedObject {
public:
  LockedObject();
  virtual ~LockedObject();
  LockedObject(const LockedObject&) = delete;
  LockedObject& operator=(const LockedObject&) = delete;

  void lock();
  void unlock();

private:
  CriticalSection* mLock;
};
