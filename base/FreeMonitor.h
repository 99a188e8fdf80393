#pragma once

// A reference-counted liveness token. Its owner creates it (holding the first
// reference) and calls releaseByOwner() from its destructor. Code that calls
// out of the owner and may see the owner destroyed during the call takes a
// reference first, touches the owner afterwards only while isAlive(), and
// ends with release(). The last release deletes the token.
//
//   FreeMonitor* m = mMonitor;
//   m->addRef();
//   passEventOn();                  // may delete this
//   if (m->isAlive()) invalidate();
//   m->release();
//
// Single-threaded: the owner and its callers share one thread.

#include <cstdint>

class FreeMonitor {
public:
  FreeMonitor() = default;
  FreeMonitor(const FreeMonitor&) = delete;
  FreeMonitor& operator=(const FreeMonitor&) = delete;

  bool isAlive() const { return alive; }
  int32_t getReferences() const { return refs; }

  void addRef() { ++refs; }
  // Drops one reference; deletes the token at the last one.
  void release() {
    if (--refs == 0) delete this;
  }
  // The owner's last word: the owner is gone, then as release().
  void releaseByOwner() {
    alive = false;
    release();
  }

private:
  // Only the last release deletes a token.
  ~FreeMonitor() = default;

  bool alive = true;
  int32_t refs = 1;
};
