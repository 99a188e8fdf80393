#include "tools/host/HostState.h"

#include "tools/host/HostInfo.h"
#include "tools/host/SimHost.h"

#include "platform/ReplacingFile.h"
#include "tools/render/SmallFile.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace simhost {
namespace {

constexpr char kMagic[4] = {'Z', 'H', 'S', 'T'};

void putWord(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool getWord(const std::string& in, size_t& at, uint32_t& v) {
  if (in.size() - at < 4) return false;
  v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  at += 4;
  return true;
}

} // namespace

bool HostState::capture(const SimHost& host, const Instance& in, std::string& error) {
  mChunks.clear();
  for (uint32_t id : host.chunkIDs(in)) {
    std::vector<unsigned char> record;
    if (int32_t status = host.getChunk(in, id, record); status != 0) {
      error = HostError("the plug-in gave no chunk " + fourCharText(id), status, host.failureWords(status)).what();
      mChunks.clear();
      return false;
    }
    add(id, std::move(record));
  }
  return true;
}

bool HostState::restore(const SimHost& host, const Instance& in, std::string& error) const {
  // Only the chunks the plug-in keeps, which a host saved: any other is a
  // call of the host's own (a probe of the presets, host/PresetNameChunk.h),
  // never a file's to make.
  const std::vector<uint32_t> kept = host.chunkIDs(in);
  for (const HostStateChunk& c : mChunks)
    if (std::find(kept.begin(), kept.end(), c.id) == kept.end()) {
      error = "the state holds a chunk " + fourCharText(c.id) + ", which the plug-in does not keep";
      return false;
    }
  for (const HostStateChunk& c : mChunks) {
    // A record the host itself refuses never reaches the plug-in, whose
    // words (and its status alone) would then tell nothing about it.
    if (const std::string damage = SimHost::chunkRecordDamage(c.record); !damage.empty()) {
      error = "chunk " + fourCharText(c.id) + " is damaged: " + damage +
              "; the host found it before giving it to the plug-in";
      return false;
    }
    if (int32_t status = host.setChunk(in, c.id, c.record); status != 0) {
      error = HostError("the plug-in refused chunk " + fourCharText(c.id), status, host.failureWords(status)).what();
      return false;
    }
  }
  return true;
}

std::string HostState::serialize() const {
  std::string out(kMagic, sizeof kMagic);
  putWord(out, kVersion);
  putWord(out, static_cast<uint32_t>(mChunks.size()));
  for (const HostStateChunk& c : mChunks) {
    putWord(out, c.id);
    putWord(out, static_cast<uint32_t>(c.record.size()));
    out.append(c.record.begin(), c.record.end());
  }
  return out;
}

bool HostState::parse(const std::string& bytes, std::string& error) {
  mChunks.clear();
  auto fail = [&](const std::string& why) {
    mChunks.clear();
    error = "not a state file: " + why;
    return false;
  };
  if (bytes.size() < 12 || bytes.compare(0, 4, kMagic, 4) != 0) return fail("no header");
  size_t at = 4;
  uint32_t version = 0, count = 0;
  getWord(bytes, at, version);
  getWord(bytes, at, count);
  if (version != kVersion) return fail("version " + std::to_string(version) + " is unknown");
  if (count > kMaxChunks) return fail("too many chunks");
  std::set<uint32_t> seen;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = 0, size = 0;
    if (!getWord(bytes, at, id) || !getWord(bytes, at, size)) return fail("cut short");
    if (size > bytes.size() - at) return fail("chunk " + fourCharText(id) + " runs past the end");
    if (!seen.insert(id).second) return fail("chunk " + fourCharText(id) + " appears twice");
    add(id, std::vector<unsigned char>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(at + size)));
    at += size;
  }
  if (at != bytes.size()) return fail("bytes after the last chunk");
  return true;
}

bool HostState::write(const std::string& path, std::string& error, std::string* kept) const {
  // A unique temporary file beside the target, made exclusively, flushed to
  // the disk and renamed over it: a failed write never leaves half a state
  // where a good one was, nothing is written through a link planted at the
  // temporary name, and a link the user made at the state's name leads to
  // the file replaced (platform/ReplacingFile.h).
  platform::ReplacingFile file;
  const std::string bytes = serialize();
  const bool written = file.create(path) && file.writeAll(bytes.data(), bytes.size()) && file.commit();
  if (kept) *kept = file.keptPath();
  if (!written) error = file.error();
  return written;
}

bool HostState::writeNew(const std::string& path, bool& taken, std::string& error) const {
  platform::ReplacingFile file;
  const std::string bytes = serialize();
  taken = false;
  if (!file.create(path) || !file.writeAll(bytes.data(), bytes.size()) || !file.commitAsNew()) {
    taken = file.taken();
    error = file.error();
    return false;
  }
  return true;
}

bool HostState::read(const std::string& path, std::string& error) {
  std::string bytes;
  if (!renderio::readSmallFile(path, kMaxFileBytes, "a state file", bytes, error)) return false;
  if (!parse(bytes, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

} // namespace simhost
