#pragma once

// Run-time binding of one host engine library. The library is found as a
// bundle (by identifier among the bundles the process knows; the audio
// engine also as a framework folder beside the host application or in the
// host's frameworks folder), its executable is loaded, and every entry point
// is resolved by name once, into a table indexed by the entry's fixed id. A
// missing library or entry is a reported condition, never a crash.
//
// The host's frameworks folder is "/Library/Frameworks/" below the root
// named by ZARN_HOST_ROOT (the file system's root when that is not set).

#include "platform/Bundle.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A length-prefixed string constant made from a string literal.
template <size_t N> struct SPStringConstant {
  static_assert(N >= 1 && N <= 256);
  unsigned char text[N];
  constexpr SPStringConstant(const char (&s)[N]) : text{} {
    text[0] = static_cast<unsigned char>(N - 1);
    for (size_t i = 0; i + 1 < N; ++i) text[i + 1] = static_cast<unsigned char>(s[i]);
  }
};

// One row of a library's name table.
struct SDigiLibEntryName {
  int32_t fID;
  const char* fName;
};

class UDigiLibAccess {
public:
  // libraryIdentifier: the bundle identifier as a length-prefixed string;
  // not owned (static data).
  UDigiLibAccess(int32_t entryCount, const unsigned char* libraryIdentifier);
  virtual ~UDigiLibAccess();
  UDigiLibAccess(const UDigiLibAccess&) = delete;
  UDigiLibAccess& operator=(const UDigiLibAccess&) = delete;

  // Writes the length-prefixed name of entry id into name (256 bytes) and
  // returns 0, or -1 when the id has no name.
  virtual int32_t GetFunctionName(int32_t id, unsigned char* name) = 0;

  // The resolved address of entry id, null when unresolved. No range check:
  // ids come from the fixed wrapper tables.
  void* GetFunction(int32_t id) const { return fEntries[id]; }
  // Resolves entry id unless it already is: 0, or -9007 when the id has no
  // name or the library does not export it.
  int32_t BindFunction(int32_t id);
  // Finds and loads the library and resolves every entry: 0, -9064 or -9065.
  // The current resource file is the same afterwards, whatever the result.
  int32_t Load();

  int32_t GetEntryCount() const { return fEntryCount; }
  const unsigned char* GetLibraryIdentifier() const { return fLibraryIdentifier; }
  BundleRef GetBundle() const { return fBundle; }

protected:
  // The lookup every name table uses: a linear search for the row with id.
  static int32_t FindFunctionName(const SDigiLibEntryName* table, size_t rows, int32_t id, unsigned char* name);

private:
  int32_t LoadByIdentifier();
  int32_t LocateFramework(const char* fileName);
  int32_t LoadFrameworkIn(const std::string& folder, const char* fileName);

  const unsigned char* fLibraryIdentifier;
  int32_t fEntryCount;
  BundleRef fBundle = nullptr;
  void** fEntries;
};

// The text of a length-prefixed string.
std::string PStringToString(const unsigned char* p);
