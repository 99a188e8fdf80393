#pragma once

// The named, typed values of a settings chunk's data, and their encoding.
//
// Encoding (all numbers big-endian):
//   int32 version (1), int32 count, then count entries:
//     uint8 name length (1..255), the name's bytes,
//     uint8 tag, then the value:
//       'l' int32 | 'd' IEEE double | 's' uint8 length and that many bytes
// Parsing is strict: the data must hold exactly the entries announced,
// names are unique, and a truncated, unknown or surplus byte makes the whole
// data malformed, so a caller can refuse a chunk before changing anything.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class ChunkDataParser {
public:
  static constexpr int32_t kVersion = 1;
  static constexpr unsigned char kLongTag = 'l';
  static constexpr unsigned char kDoubleTag = 'd';
  static constexpr unsigned char kStringTag = 's';

  // A value under name replaces an earlier value of that name. Names are 1
  // to 255 bytes (longer ones are cut, an empty one is one NUL byte),
  // strings at most 255 bytes.
  void AddLong(const std::string& name, int32_t value);
  void AddDouble(const std::string& name, double value);
  void AddString(const std::string& name, const std::string& value);

  // False when there is no value of that name and type.
  bool FindLong(const std::string& name, int32_t& value) const;
  bool FindDouble(const std::string& name, double& value) const;
  bool FindString(const std::string& name, std::string& value) const;
  bool HasName(const std::string& name) const;
  int32_t GetNumValues() const { return static_cast<int32_t>(fValues.size()); }
  void Clear() {
    fValues.clear();
    fIndex.clear();
  }

  // The encoded size in bytes, and the encoding itself into size bytes.
  size_t GetDataSize() const;
  void WriteData(unsigned char* data) const;
  // Replaces the values with those of the data; false for malformed data,
  // which leaves the parser empty and, when why is given, says in words
  // what is wrong with it.
  bool ParseData(const unsigned char* data, size_t size, std::string* why = nullptr);

  // A four-character code as a name: its four bytes, most significant first.
  static std::string NameFromID(uint32_t id);

private:
  struct SValue {
    std::string fName;
    unsigned char fTag = 0;
    int32_t fLong = 0;
    double fDouble = 0.0;
    std::string fString;
  };
  SValue& Slot(const std::string& name, unsigned char tag);
  const SValue* Find(const std::string& name, unsigned char tag) const;

  // The values in the order they were added or read, and where each name
  // stands among them: a chunk may announce any number of entries, and
  // neither reading nor looking up may cost more than a hash per name.
  std::vector<SValue> fValues;
  std::unordered_map<std::string, size_t> fIndex;
};
