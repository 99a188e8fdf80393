// The filter between a settings pass and the store: what a pass read is
// recorded, and a later writing pass hands on only what differs from it.

#include "base/SettingChangeFilter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A store in memory that answers like a reader or logs like a writer.
class MemorySerializer : public SettingSerializer {
public:
  explicit MemorySerializer(bool writer) : mWriter(writer) {}
  bool isWriter() override { return mWriter; }
  void serializeBinary(const std::string&, std::vector<char>&) override {}
  int serializeInt(const std::string& name, int value, int def) override {
    if (mWriter) {
      written.push_back(name + "=" + std::to_string(value));
      return value;
    }
    auto it = ints.find(name);
    return it != ints.end() ? it->second : def;
  }
  std::string serializeString(const std::string& name, const std::string& value, const std::string& def) override {
    if (mWriter) {
      written.push_back(name + "=" + value);
      return value;
    }
    auto it = strings.find(name);
    return it != strings.end() ? it->second : def;
  }
  using SettingSerializer::serializeInt;
  using SettingSerializer::serializeString;

  std::map<std::string, int> ints;
  std::map<std::string, std::string> strings;
  std::vector<std::string> written;

private:
  bool mWriter;
};

} // namespace

TEST(SettingChangeFilterTest, AWriterIsHandedOnlyWhatDiffersFromWhatWasRead) {
  SettingChangeFilter::Record record;
  MemorySerializer store(false);
  store.ints["hints"] = 0;
  store.strings["folder"] = "/a/";
  {
    SettingChangeFilter read(store, record);
    // The stored value comes back and is what is recorded, not the value
    // passed in; a missing key records the default it gave.
    EXPECT_FALSE(read.serializeBool("hints", true));
    EXPECT_EQ(read.serializeString("folder", "/x/", ""), "/a/");
    EXPECT_EQ(read.serializeString("version", "2.0", ""), "");
    EXPECT_EQ(read.serializeInt("count", 5, 9), 9);
  }
  MemorySerializer writer(true);
  {
    SettingChangeFilter write(writer, record);
    EXPECT_FALSE(write.serializeBool("hints", false));      // as read
    EXPECT_EQ(write.serializeString("folder", "/b/"), "/b/"); // changed
    EXPECT_EQ(write.serializeString("version", ""), "");     // as read: missing
    EXPECT_EQ(write.serializeString("count", "9"), "9");     // another type
    EXPECT_EQ(write.serializeInt("new", 1), 1);              // never read
  }
  EXPECT_EQ(writer.written, (std::vector<std::string>{"folder=/b/", "count=9", "new=1"}));

  // What was written is the record now: the same pass again writes nothing.
  MemorySerializer again(true);
  {
    SettingChangeFilter write(again, record);
    write.serializeBool("hints", false);
    write.serializeString("folder", "/b/");
    write.serializeInt("new", 1);
  }
  EXPECT_TRUE(again.written.empty());
}
