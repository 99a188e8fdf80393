#pragma once

// The state of one instance as the simulated host keeps it: every chunk the
// instance offers, each as the whole record the plug-in wrote (header
// included). Saved in a small file of our own:
//
//   "ZHST"               4 bytes
//   version              uint32, little-endian, 1
//   count                uint32, little-endian
//   count times:
//     chunk identifier   uint32, little-endian
//     size               uint32, little-endian
//     the record         size bytes, as the plug-in gave it
//
// Reading refuses anything else (another magic or version, a size past the
// end, bytes after the last chunk, a repeated identifier) with a one-line
// reason, so a damaged file never reaches the plug-in.

#include <cstdint>
#include <string>
#include <vector>

namespace simhost {

class Instance;
class SimHost;

struct HostStateChunk {
  uint32_t id = 0;
  std::vector<unsigned char> record;
  bool operator==(const HostStateChunk&) const = default;
};

class HostState {
public:
  static constexpr uint32_t kVersion = 1;
  static constexpr size_t kMaxFileBytes = 64u << 20;
  static constexpr uint32_t kMaxChunks = 4096;

  const std::vector<HostStateChunk>& chunks() const { return mChunks; }
  void add(uint32_t id, std::vector<unsigned char> record) { mChunks.push_back({id, std::move(record)}); }
  bool empty() const { return mChunks.empty(); }

  // Every chunk of the instance; false with a reason when one is refused.
  bool capture(const SimHost& host, const Instance& in, std::string& error);
  // Gives every chunk back to the instance, in the order kept; false with a
  // reason at the first the plug-in refuses or that the host finds damaged
  // before it gives it (a record whose size does not fit it: said in words,
  // as the host's, not the plug-in's), or, before any is given, when one is
  // of an id the plug-in does not list among its chunks.
  bool restore(const SimHost& host, const Instance& in, std::string& error) const;

  std::string serialize() const;
  bool parse(const std::string& bytes, std::string& error);
  // kept (if given) gets where the writer kept the whole state when it
  // could not put it at path (error then says so too), else "".
  bool write(const std::string& path, std::string& error, std::string* kept = nullptr) const;
  // As write, but only where no file is yet; taken says whether that was
  // why it failed.
  bool writeNew(const std::string& path, bool& taken, std::string& error) const;
  bool read(const std::string& path, std::string& error);

private:
  std::vector<HostStateChunk> mChunks;
};

} // namespace simhost
