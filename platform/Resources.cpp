#include "platform/Resources.h"

#include "platform/RegularFile.h"

#include <memory>
#include <fstream>
#include <iterator>

namespace platform {

std::string resourceFileName(uint32_t type, int16_t id) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) name += static_cast<char>(type >> shift);
  return name + "." + std::to_string(id);
}

std::optional<std::vector<uint8_t>> getResource(uint32_t type, int16_t id) {
  Bundle* bundle = resourceMapBundle(currentResourceFile());
  if (!bundle) return std::nullopt;
  std::string path = bundle->resourcePath(resourceFileName(type, id));
  if (path.empty()) return std::nullopt;
  const auto stream = newRegularFileStream(path);
  std::istream& in = *stream;
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace platform
