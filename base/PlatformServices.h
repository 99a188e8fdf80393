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
  enum Type { files = 0, folders = 1 };
  virtual ~FileEnumerator() = default;
  virtual bool findNext() = 0;
  virtual std::string getFileName() = 0;
};

CriticalSection* createCriticalSection();
IntervalTimer* createIntervalTimer();
// pattern: folder + "/" + mask, as "/x/Presets/*.qvp" or "/x/Presets/*".
FileEnumerator* createFileEnumerator(const std::string& pattern, FileEnumerator::Type type);

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
