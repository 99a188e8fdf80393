#pragma once

// The platform's own string object: what the system hands out where it names
// something (a preferences domain, a bundle identifier) and what it takes
// back. It is an immutable, heap-allocated run of bytes; text is UTF-8 on
// this system, so making one from a std::string and reading it back are
// copies, never conversions.

#include <cstddef>
#include <string>

namespace platform {

class PlatformString {
public:
  // A new string owned by the caller, who deletes it (or calls
  // releasePlatformString).
  static PlatformString* create(const std::string& bytes) { return new PlatformString(bytes); }

  const std::string& bytes() const { return mBytes; }
  size_t length() const { return mBytes.size(); }

  PlatformString(const PlatformString&) = delete;
  PlatformString& operator=(const PlatformString&) = delete;

private:
  explicit PlatformString(const std::string& bytes) : mBytes(bytes) {}
  std::string mBytes;
};

} // namespace platform

// The handle used wherever the system passes a string object around; null
// stands for "no string".
using PlatformStringRef = platform::PlatformString*;

// Deletes a string made by create; null is accepted.
inline void releasePlatformString(PlatformStringRef s) { delete s; }
