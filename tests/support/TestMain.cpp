// Test entry point shared by every test program.
//
// Before any test runs, HOME and the XDG folders are pointed at a fresh
// temporary folder, so that preferences, presets and caches written by the
// code under test never touch the real user's files. The folder is removed
// when the program ends.
//
// Two homes: the prepared one of a desktop (the XDG variables set, their
// folders made), and, with ZARN_TEST_FRESH_HOME=1, the home of a fresh
// account (a server, a CI box, a new container): HOME alone, empty, every
// XDG variable unset.

#include "tests/support/AllocationCounter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

namespace {

std::atomic<long> gAllocations{0};
thread_local bool tCounting = false;

} // namespace

namespace zarn::test {

// Kept by the wrappers in RealTimeHooks.cpp.
namespace hooks {
extern thread_local bool tCounting;
extern long gOpens;
extern long gLocks;
} // namespace hooks

AllocationCounter::AllocationCounter()
    : mStart(gAllocations.load()), mOpenStart(__atomic_load_n(&hooks::gOpens, __ATOMIC_RELAXED)),
      mLockStart(__atomic_load_n(&hooks::gLocks, __ATOMIC_RELAXED)) {
  tCounting = true;
  hooks::tCounting = true;
}
AllocationCounter::~AllocationCounter() {
  tCounting = false;
  hooks::tCounting = false;
}
long AllocationCounter::count() const { return gAllocations.load() - mStart; }
long AllocationCounter::opens() const { return __atomic_load_n(&hooks::gOpens, __ATOMIC_RELAXED) - mOpenStart; }
long AllocationCounter::locks() const { return __atomic_load_n(&hooks::gLocks, __ATOMIC_RELAXED) - mLockStart; }

} // namespace zarn::test

// Counting replacements of the global allocation functions. Only allocations
// on a thread inside an AllocationCounter's lifetime are counted.
void* operator new(std::size_t size) {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
  std::size_t a = static_cast<std::size_t>(align);
  std::size_t rounded = (size + a - 1) / a * a;
  if (void* p = std::aligned_alloc(a, rounded ? rounded : a)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
  zarn::test::TempDir home("zarn-home");
  setenv("HOME", home.path().c_str(), 1);
  const char* fresh = std::getenv("ZARN_TEST_FRESH_HOME");
  if (fresh && std::string(fresh) == "1") {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"})
      unsetenv(name);
  } else {
    setenv("XDG_CONFIG_HOME", (home.path() + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home.path() + "/.cache").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home.path() + "/Documents").c_str(), 1);
    for (const char* sub : {".config", ".local/share", ".cache", "Documents"})
      std::filesystem::create_directories(home.path() + "/" + sub);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
