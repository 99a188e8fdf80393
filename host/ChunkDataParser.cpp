#include "host/ChunkDataParser.h"

#include <cstring>

namespace {

constexpr size_t kMaxText = 255;

void PutWord(unsigned char*& p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
  p += 4;
}

void PutText(unsigned char*& p, const std::string& s) {
  *p++ = static_cast<unsigned char>(s.size());
  std::memcpy(p, s.data(), s.size());
  p += s.size();
}

// Reads from [fPos, fEnd); every read fails once the data run out.
struct SReader {
  const unsigned char* fPos;
  const unsigned char* fEnd;

  bool Has(size_t n) const { return static_cast<size_t>(fEnd - fPos) >= n; }
  bool Byte(unsigned char& b) {
    if (!Has(1)) return false;
    b = *fPos++;
    return true;
  }
  bool Word(uint32_t& v) {
    if (!Has(4)) return false;
    v = (uint32_t(fPos[0]) << 24) | (uint32_t(fPos[1]) << 16) | (uint32_t(fPos[2]) << 8) | uint32_t(fPos[3]);
    fPos += 4;
    return true;
  }
  bool Text(std::string& s) {
    unsigned char n;
    if (!Byte(n) || !Has(n)) return false;
    s.assign(reinterpret_cast<const char*>(fPos), n);
    fPos += n;
    return true;
  }
};

std::string Cut(const std::string& s) { return s.size() > kMaxText ? s.substr(0, kMaxText) : s; }

} // namespace

ChunkDataParser::SValue& ChunkDataParser::Slot(const std::string& name, unsigned char tag) {
  std::string n = Cut(name.empty() ? std::string(1, '\0') : name);
  auto [at, added] = fIndex.try_emplace(n, fValues.size());
  if (added) fValues.emplace_back();
  SValue& v = fValues[at->second];
  v = SValue();
  v.fName = std::move(n);
  v.fTag = tag;
  return v;
}

const ChunkDataParser::SValue* ChunkDataParser::Find(const std::string& name, unsigned char tag) const {
  auto at = fIndex.find(name);
  if (at == fIndex.end()) return nullptr;
  const SValue& v = fValues[at->second];
  return v.fTag == tag ? &v : nullptr;
}

void ChunkDataParser::AddLong(const std::string& name, int32_t value) { Slot(name, kLongTag).fLong = value; }
void ChunkDataParser::AddDouble(const std::string& name, double value) { Slot(name, kDoubleTag).fDouble = value; }
void ChunkDataParser::AddString(const std::string& name, const std::string& value) {
  Slot(name, kStringTag).fString = Cut(value);
}

bool ChunkDataParser::FindLong(const std::string& name, int32_t& value) const {
  const SValue* v = Find(name, kLongTag);
  if (v) value = v->fLong;
  return v != nullptr;
}

bool ChunkDataParser::FindDouble(const std::string& name, double& value) const {
  const SValue* v = Find(name, kDoubleTag);
  if (v) value = v->fDouble;
  return v != nullptr;
}

bool ChunkDataParser::FindString(const std::string& name, std::string& value) const {
  const SValue* v = Find(name, kStringTag);
  if (v) value = v->fString;
  return v != nullptr;
}

bool ChunkDataParser::HasName(const std::string& name) const { return fIndex.count(name) != 0; }

size_t ChunkDataParser::GetDataSize() const {
  size_t size = 8;
  for (const SValue& v : fValues) {
    size += 1 + v.fName.size() + 1;
    switch (v.fTag) {
    case kLongTag: size += 4; break;
    case kDoubleTag: size += 8; break;
    default: size += 1 + v.fString.size(); break;
    }
  }
  return size;
}

void ChunkDataParser::WriteData(unsigned char* data) const {
  unsigned char* p = data;
  PutWord(p, kVersion);
  PutWord(p, static_cast<uint32_t>(fValues.size()));
  for (const SValue& v : fValues) {
    PutText(p, v.fName);
    *p++ = v.fTag;
    switch (v.fTag) {
    case kLongTag: PutWord(p, static_cast<uint32_t>(v.fLong)); break;
    case kDoubleTag: {
      uint64_t bits;
      std::memcpy(&bits, &v.fDouble, 8);
      PutWord(p, static_cast<uint32_t>(bits >> 32));
      PutWord(p, static_cast<uint32_t>(bits));
      break;
    }
    default: PutText(p, v.fString); break;
    }
  }
}

bool ChunkDataParser::ParseData(const unsigned char* data, size_t size) {
  Clear();
  if (!data && size) return false;
  SReader r{data, data + size};
  uint32_t version, count;
  if (!r.Word(version) || version != kVersion || !r.Word(count)) return false;
  // Each entry takes at least 4 bytes (a name of one byte and an empty
  // string: length, name, tag, length); a count beyond that cannot be right.
  if (count > size / 4) return false;
  std::vector<SValue> values;
  std::unordered_map<std::string, size_t> index;
  values.reserve(count);
  index.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    SValue v;
    if (!r.Text(v.fName) || v.fName.empty() || !r.Byte(v.fTag)) return false;
    // A name given twice makes the data malformed, whichever value is last.
    if (!index.try_emplace(v.fName, values.size()).second) return false;
    switch (v.fTag) {
    case kLongTag: {
      uint32_t w;
      if (!r.Word(w)) return false;
      v.fLong = static_cast<int32_t>(w);
      break;
    }
    case kDoubleTag: {
      uint32_t hi, lo;
      if (!r.Word(hi) || !r.Word(lo)) return false;
      uint64_t bits = (uint64_t(hi) << 32) | lo;
      std::memcpy(&v.fDouble, &bits, 8);
      break;
    }
    case kStringTag:
      if (!r.Text(v.fString)) return false;
      break;
    default: return false;
    }
    values.push_back(std::move(v));
  }
  if (r.fPos != r.fEnd) return false;
  fValues = std::move(values);
  fIndex = std::move(index);
  return true;
}

std::string ChunkDataParser::NameFromID(uint32_t id) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>(id >> (24 - 8 * i));
  return s;
}
