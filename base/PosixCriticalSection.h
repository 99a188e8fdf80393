#pragma once

// The re-entrant lock behind CriticalSection: a POSIX mutex of the recursive
// type.

#include "base/PlatformServices.h"

#include <pthread.h>

class PosixCriticalSection : public CriticalSection {
public:
  PosixCriticalSection();
  // The lock must not be owned by any thread when it is destroyed.
  ~PosixCriticalSection() override;
  PosixCriticalSection(const PosixCriticalSection&) = delete;
  PosixCriticalSection& operator=(const PosixCriticalSection&) = delete;

  void enter() override;
  void leave() override;
  // Enters without waiting when no other thread owns the lock; true when the
  // calling thread now owns it (one more level to leave).
  bool tryEnter();

private:
  pthread_mutexattr_t mAttributes; // lives as long as the mutex
  pthread_mutex_t mMutex;
};
