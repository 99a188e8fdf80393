#include "base/PlatformServices.h"

LockedObject::LockedObject() : mLock(createCriticalSection()) {}

LockedObject::~LockedObject() { delete mLock; }

void LockedObject::lock() { mLock->enter(); }

void LockedObject::unlock() { mLock->leave(); }
