// Which preset a host takes for a name, from what the preset-name chunk
// shows: the name it keeps (64 bytes at most), and, in chunks that carry it
// after the name, the preset's path below the library, whose last part is
// the file's own name.

#include "tools/host/PresetByName.h"

#include "host/HostInterface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using simhost::PresetByName;

// A chunk record: the header, the name field, and the path field when one
// is given (nullptr: a record of the name alone).
std::vector<unsigned char> record(const std::string& name, const char* path) {
  std::vector<unsigned char> r(kChunkHeaderSize + PresetByName::kPresetNameSize +
                                   (path ? PresetByName::kPresetPathSize : 0),
                               0);
  std::memcpy(r.data() + kChunkHeaderSize, name.data(),
              std::min<size_t>(name.size(), PresetByName::kPresetNameSize));
  if (path) std::memcpy(r.data() + kChunkHeaderSize + PresetByName::kPresetNameSize, path, std::strlen(path));
  return r;
}

const std::string kLong = "Sub Bass, kept under a name longer than the sixty-four bytes a host sees of it";

} // namespace

TEST(PresetByNameTest, ANameAloneMatchesWholeOrByTheBytesTheChunkKeeps) {
  const std::string kept = kLong.substr(0, PresetByName::kPresetNameSize);
  const PresetByName::Entry e = PresetByName::entryOf(3, record(kLong, nullptr));
  EXPECT_EQ(e.index, 3);
  EXPECT_EQ(e.stored, kept);
  EXPECT_EQ(e.name, kept);
  EXPECT_TRUE(PresetByName::matches(e, kept));
  EXPECT_TRUE(PresetByName::matches(e, kLong));
  EXPECT_TRUE(PresetByName::matches(e, kept + " and any end")); // the chunk cannot tell
  EXPECT_FALSE(PresetByName::matches(e, kept.substr(0, 63)));

  // A short name is matched whole only.
  const PresetByName::Entry pad = PresetByName::entryOf(0, record("Warm Pad", nullptr));
  EXPECT_TRUE(PresetByName::matches(pad, "Warm Pad"));
  EXPECT_FALSE(PresetByName::matches(pad, "Warm Pad 2"));
  EXPECT_FALSE(PresetByName::matches(pad, "Warm"));
  // A program that showed nothing matches nothing.
  EXPECT_FALSE(PresetByName::matches(PresetByName::Entry{}, ""));
}

TEST(PresetByNameTest, APathAfterTheNameGivesTheFilesOwnName) {
  const std::string kept = kLong.substr(0, PresetByName::kPresetNameSize);
  const std::string path = "Bass/" + kLong + ".qvp";
  const PresetByName::Entry e = PresetByName::entryOf(7, record(kLong, path.c_str()));
  EXPECT_EQ(e.name, kLong);
  EXPECT_EQ(e.stored, kept);
  EXPECT_TRUE(PresetByName::matches(e, kLong));
  EXPECT_TRUE(PresetByName::matches(e, kept));
  // The file's name tells two presets apart that begin alike.
  EXPECT_FALSE(PresetByName::matches(e, kept + " and another end"));
  // Dots within a name stay; only the extension goes.
  EXPECT_EQ(PresetByName::entryOf(0, record("Pad 1.5", "Pads/Pad 1.5.qvp")).name, "Pad 1.5");
  // An empty path field, or a path that fills it without an end: the name
  // the chunk keeps.
  EXPECT_EQ(PresetByName::entryOf(0, record("Pluck", "")).name, "Pluck");
  const std::string full(PresetByName::kPresetPathSize, 'x');
  EXPECT_EQ(PresetByName::entryOf(0, record("Pluck", full.c_str())).name, "Pluck");

  // The record a search clears the chunk with holds the name alone.
  const std::vector<unsigned char> cleared = PresetByName::withName(record(kLong, path.c_str()), "/");
  EXPECT_EQ(PresetByName::nameIn(cleared), "/");
  EXPECT_EQ(PresetByName::fileNameIn(cleared), "");
}
