// The settings chunks one at a time, as a host restoring a document hands
// them to the plug-in: byte 0 picks one of the instance's chunks, the rest
// is its data after the record's header. The same data also goes through
// the named-value parser alone.

#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzSupport.h"
#include "host/ChunkDataParser.h"
#include "tools/host/HostInfo.h"

#include <cstring>
#include <vector>

namespace {

const std::vector<uint32_t>& chunkIDs() {
  static const std::vector<uint32_t> ids = fuzz::host().chunkIDs(fuzz::instance());
  return ids;
}

// A record of the chunk as the plug-in wrote it, with the data replaced.
std::vector<unsigned char> record(uint32_t id, const uint8_t* data, size_t size) {
  std::vector<unsigned char> r;
  fuzz::host().getChunk(fuzz::instance(), id, r);
  r.resize(kChunkHeaderSize);
  r.insert(r.end(), data, data + size);
  // The size word is the host's own: the whole record, header included.
  const int32_t total = static_cast<int32_t>(r.size());
  std::memcpy(r.data(), &total, sizeof total);
  return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || chunkIDs().empty()) return 0;
  ChunkDataParser parser;
  if (parser.ParseData(data + 1, size - 1)) {
    int32_t number = 0;
    parser.FindLong("Instance ID", number);
    std::vector<unsigned char> back(parser.GetDataSize());
    parser.WriteData(back.data());
  }
  const uint32_t id = chunkIDs()[data[0] % chunkIDs().size()];
  fuzz::host().setChunk(fuzz::instance(), id, record(id, data + 1, size - 1));
  fuzz::host().queueMidi(fuzz::instance(), 0, 0x90, 64, 90);
  fuzz::renderQuantum();
  fuzz::quiet();
  return 0;
}

void prepare() { chunkIDs(); }

void writeSeeds(const std::string& folder) {
  const std::vector<uint32_t>& ids = chunkIDs();
  for (size_t i = 0; i < ids.size(); ++i) {
    std::vector<unsigned char> r;
    if (fuzz::host().getChunk(fuzz::instance(), ids[i], r) != 0 || r.size() < size_t(kChunkHeaderSize)) continue;
    std::string bytes(1, static_cast<char>(i));
    bytes.append(r.begin() + kChunkHeaderSize, r.end());
    std::string name = simhost::fourCharText(ids[i]);
    std::erase(name, '\'');
    fuzz::writeFile(folder + "/" + std::to_string(i) + "-" + name, bytes);
  }
}
