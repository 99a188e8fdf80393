#pragma once

// Resources by type and number, read from the bundle whose resource map is
// current (ResourceFile.h). Each resource is one file directly in the
// bundle's "Resources" folder, named by its four-character type, a dot and
// its number: "PICT.1000", "ppat.1001", "STR#.128". The application's own
// map (reference 0) holds none.

#include "platform/ResourceFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The file name of a resource: "PICT.1000".
std::string resourceFileName(uint32_t type, int16_t id);
// The bytes of the resource, or nothing when the current map lacks it.
std::optional<std::vector<uint8_t>> getResource(uint32_t type, int16_t id);

// Four-character codes in text order, as big-endian numbers.
constexpr uint32_t fourCharCode(const char (&c)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8 | static_cast<uint8_t>(c[3]);
}

} // namespace platform
