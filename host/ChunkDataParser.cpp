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

// A name as words may show it: a damaged chunk's bytes may be anything.
std::string Printable(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      static const char digits[] = "0123456789abcdef";
      out += "\\x";
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return out;
}

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

bool ChunkDataParser::ParseData(const unsigned char* data, size_t size, std::string* why) {
  Clear();
  auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (!data && size) return fail("it has no data");
  SReader r{data, data + size};
  uint32_t version, count;
  if (!r.Word(version)) return fail("its data is cut short before the first entry");
  if (version != kVersion)
    return fail("its data is of version " + std::to_string(version) + " (version " + std::to_string(kVersion) +
                " is read)");
  if (!r.Word(count)) return fail("its data is cut short before the first entry");
  // Each entry takes at least 4 bytes (a name of one byte and an empty
  // string: length, name, tag, length); a count beyond that cannot be right.
  if (count > size / 4)
    return fail("its data is cut short: it announces " + std::to_string(count) + " entries in " +
                std::to_string(size) + " bytes");
  std::vector<SValue> values;
  std::unordered_map<std::string, size_t> index;
  values.reserve(count);
  index.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    SValue v;
    // Words only for a failure: a good chunk costs no text per entry.
    auto entry = [&](bool named) {
      return "entry " + std::to_string(i + 1) + " of " + std::to_string(count) +
             (named ? " (\"" + Printable(v.fName) + "\")" : "");
    };
    if (!r.Text(v.fName) || !r.Byte(v.fTag)) return fail(entry(false) + " is cut short");
    if (v.fName.empty()) return fail(entry(false) + " has no name");
    // A name given twice makes the data malformed, whichever value is last.
    if (!index.try_emplace(v.fName, values.size()).second) return fail(entry(true) + " repeats an earlier name");
    bool whole = true;
    switch (v.fTag) {
    case kLongTag: {
      uint32_t w = 0;
      whole = r.Word(w);
      v.fLong = static_cast<int32_t>(w);
      break;
    }
    case kDoubleTag: {
      uint32_t hi = 0, lo = 0;
      whole = r.Word(hi) && r.Word(lo);
      uint64_t bits = (uint64_t(hi) << 32) | lo;
      std::memcpy(&v.fDouble, &bits, 8);
      break;
    }
    case kStringTag:
      whole = r.Text(v.fString);
      break;
    default:
      return fail(entry(true) + " is of an unknown type " + std::to_string(v.fTag));
    }
    if (!whole) return fail(entry(true) + " is cut short");
    values.push_back(std::move(v));
  }
  if (const auto over = r.fEnd - r.fPos; over != 0)
    return fail(std::to_string(over) + (over == 1 ? " byte follows" : " bytes follow") + " the last of its " +
                std::to_string(count) + " entries");
  fValues = std::move(values);
  fIndex = std::move(index);
  return true;
}

std::string ChunkDataParser::NameFromID(uint32_t id) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>(id >> (24 - 8 * i));
  return s;
}
