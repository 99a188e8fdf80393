// Counting wrappers of the C library's ways to open a file, to take a mutex
// or a read-write lock (std::shared_mutex) and to yield the processor (what
// std::this_thread::yield and a spinning wait call), for AllocationCounter:
// a render path must do none of them. Each wrapper
// counts when its thread is inside a counter's lifetime, then calls the
// function it stands in for (the next definition, which under a sanitizer
// is the sanitizer's own). unlinkat is counted always, for the tests of
// what a removal tries, and hooked (OpenHooks.h).
//
// This file includes no system header that declares the wrapped functions:
// their declarations carry attributes (fortified inline versions, exception
// specifications) that a definition here would have to repeat exactly.
// Only their names matter to the linker.

#include "tests/support/OpenHooks.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>

namespace zarn::test::hooks {

thread_local bool tCounting = false;
long gOpens = 0;
long gLocks = 0;
OpenHook gBeforeOpen = nullptr;
OpenHook gAfterOpen = nullptr;
long gUnlinkAts = 0;
UnlinkAtHook gBeforeUnlinkAt = nullptr;

} // namespace zarn::test::hooks

namespace {

using zarn::test::hooks::tCounting;

void count(long& counter) {
  if (tCounting) __atomic_fetch_add(&counter, 1, __ATOMIC_RELAXED);
}

// An open of path, with the test's hooks around it.
template <class Open> int hooked(const char* path, Open call) {
  if (const auto before = __atomic_load_n(&zarn::test::hooks::gBeforeOpen, __ATOMIC_ACQUIRE)) before(path, -1);
  const int result = call();
  if (const auto after = __atomic_load_n(&zarn::test::hooks::gAfterOpen, __ATOMIC_ACQUIRE)) {
    const int error = errno;
    after(path, result);
    errno = error;
  }
  return result;
}

// The next definition of name, looked up once; no function-local static,
// whose guard may itself take a mutex.
template <class F> F next(F& slot, const char* name) {
  F f = __atomic_load_n(&slot, __ATOMIC_ACQUIRE);
  if (!f) {
    f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    __atomic_store_n(&slot, f, __ATOMIC_RELEASE);
  }
  return f;
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using FopenFn = void* (*)(const char*, const char*);
using MutexFn = int (*)(void*);
using TimedLockFn = int (*)(void*, const void*);
using ClockLockFn = int (*)(void*, int, const void*);
using YieldFn = int (*)();
using UnlinkAtFn = int (*)(int, const char*, int);

OpenFn sOpen, sOpen64;
OpenAtFn sOpenAt, sOpenAt64;
FopenFn sFopen, sFopen64;
MutexFn sLock, sTryLock;
MutexFn sReadLock, sWriteLock, sTryReadLock, sTryWriteLock;
TimedLockFn sTimedReadLock, sTimedWriteLock;
ClockLockFn sClockReadLock, sClockWriteLock;
YieldFn sYield;
UnlinkAtFn sUnlinkAt;

// Looked up before main: a signal handler removes files with unlinkat, and
// the lookup is no call for a handler to make.
__attribute__((constructor)) void lookUpUnlinkAt() { next(sUnlinkAt, "unlinkat"); }

// The mode argument is read only when the flags ask for one (O_CREAT,
// O_TMPFILE); reading it always is harmless on the platforms we build for,
// as the callee ignores it otherwise.
unsigned modeOf(va_list args) { return va_arg(args, unsigned); }

} // namespace

using zarn::test::hooks::gLocks;
using zarn::test::hooks::gOpens;

extern "C" {

int open(const char* path, int flags, ...) {
  count(gOpens);
  va_list args;
  va_start(args, flags);
  const unsigned mode = modeOf(args);
  va_end(args);
  return hooked(path, [&] { return next(sOpen, "open")(path, flags, mode); });
}

int open64(const char* path, int flags, ...) {
  count(gOpens);
  va_list args;
  va_start(args, flags);
  const unsigned mode = modeOf(args);
  va_end(args);
  return hooked(path, [&] { return next(sOpen64, "open64")(path, flags, mode); });
}

int openat(int folder, const char* path, int flags, ...) {
  count(gOpens);
  va_list args;
  va_start(args, flags);
  const unsigned mode = modeOf(args);
  va_end(args);
  return hooked(path, [&] { return next(sOpenAt, "openat")(folder, path, flags, mode); });
}

int openat64(int folder, const char* path, int flags, ...) {
  count(gOpens);
  va_list args;
  va_start(args, flags);
  const unsigned mode = modeOf(args);
  va_end(args);
  return hooked(path, [&] { return next(sOpenAt64, "openat64")(folder, path, flags, mode); });
}

void* fopen(const char* path, const char* mode) {
  count(gOpens);
  return next(sFopen, "fopen")(path, mode);
}

void* fopen64(const char* path, const char* mode) {
  count(gOpens);
  return next(sFopen64, "fopen64")(path, mode);
}

int pthread_mutex_lock(void* mutex) {
  count(gLocks);
  return next(sLock, "pthread_mutex_lock")(mutex);
}

int pthread_mutex_trylock(void* mutex) {
  count(gLocks);
  return next(sTryLock, "pthread_mutex_trylock")(mutex);
}

// Read-write locks, shared or exclusive, taken, tried or awaited.
int pthread_rwlock_rdlock(void* lock) {
  count(gLocks);
  return next(sReadLock, "pthread_rwlock_rdlock")(lock);
}

int pthread_rwlock_wrlock(void* lock) {
  count(gLocks);
  return next(sWriteLock, "pthread_rwlock_wrlock")(lock);
}

int pthread_rwlock_tryrdlock(void* lock) {
  count(gLocks);
  return next(sTryReadLock, "pthread_rwlock_tryrdlock")(lock);
}

int pthread_rwlock_trywrlock(void* lock) {
  count(gLocks);
  return next(sTryWriteLock, "pthread_rwlock_trywrlock")(lock);
}

int pthread_rwlock_timedrdlock(void* lock, const void* until) {
  count(gLocks);
  return next(sTimedReadLock, "pthread_rwlock_timedrdlock")(lock, until);
}

int pthread_rwlock_timedwrlock(void* lock, const void* until) {
  count(gLocks);
  return next(sTimedWriteLock, "pthread_rwlock_timedwrlock")(lock, until);
}

int pthread_rwlock_clockrdlock(void* lock, int clock, const void* until) {
  count(gLocks);
  return next(sClockReadLock, "pthread_rwlock_clockrdlock")(lock, clock, until);
}

int pthread_rwlock_clockwrlock(void* lock, int clock, const void* until) {
  count(gLocks);
  return next(sClockWriteLock, "pthread_rwlock_clockwrlock")(lock, clock, until);
}

int unlinkat(int folder, const char* path, int flags) {
  __atomic_fetch_add(&zarn::test::hooks::gUnlinkAts, 1, __ATOMIC_RELAXED);
  if (const auto before = __atomic_load_n(&zarn::test::hooks::gBeforeUnlinkAt, __ATOMIC_ACQUIRE)) before(folder, path);
  return next(sUnlinkAt, "unlinkat")(folder, path, flags);
}

// A yield is how a spinning wait for another thread waits.
int sched_yield() {
  count(gLocks);
  return next(sYield, "sched_yield")();
}

} // extern "C"
