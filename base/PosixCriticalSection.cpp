#include "base/PosixCriticalSection.h"

PosixCriticalSection::PosixCriticalSection() {
  pthread_mutexattr_init(&mAttributes);
  pthread_mutexattr_settype(&mAttributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mMutex, &mAttributes);
}

PosixCriticalSection::~PosixCriticalSection() {
  pthread_mutex_destroy(&mMutex);
  pthread_mutexattr_destroy(&mAttributes);
}

void PosixCriticalSection::enter() { pthread_mutex_lock(&mMutex); }

void PosixCriticalSection::leave() { pthread_mutex_unlock(&mMutex); }

bool PosixCriticalSection::tryEnter() { return pthread_mutex_trylock(&mMutex) == 0; }

CriticalSection* createCriticalSection() { return new PosixCriticalSection(); }
