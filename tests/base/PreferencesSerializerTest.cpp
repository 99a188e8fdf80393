#include "base/PreferencesSerializer.h"

#include "base/Folders.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

// Each test writes its own domain, so tests never see each other's values.
std::string domain(const std::string& name) { return "com.quorvane.test." + name + ".1"; }

std::string storeFile(const std::string& d) { return platform::PreferencesStore(d).filePath(); }

// A settings routine as the plug-in writes one: one call per name, keeping
// what comes back.
struct Settings {
  int count = 3;
  bool flag = false;
  double amount = 0.25;
  std::string text = "start";

  void serialize(SettingSerializer& s) {
    count = s.serializeInt("Count", count);
    flag = s.serializeBool("Flag", flag);
    amount = s.serializeFloat("Amount", amount);
    text = s.serializeString("Text", text);
  }
};

// Keeps strings in memory: the base class's reduction of everything else to
// strings, seen from outside.
class MemorySerializer : public SettingSerializer {
public:
  explicit MemorySerializer(bool writer) : mWriter(writer) {}
  bool isWriter() override { return mWriter; }
  void serializeBinary(const std::string&, std::vector<char>&) override {}
  std::string serializeString(const std::string& name, const std::string& value,
                              const std::string& def) override {
    if (mWriter) return values[name] = value;
    auto it = values.find(name);
    return it == values.end() ? def : it->second;
  }
  std::map<std::string, std::string> values;

private:
  bool mWriter;
};

} // namespace

TEST(SettingSerializerTest, BaseReducesEverythingToStrings) {
  MemorySerializer w(true);
  EXPECT_EQ(w.serializeInt("I", -42), -42);
  EXPECT_TRUE(w.serializeBool("B", true));
  EXPECT_DOUBLE_EQ(w.serializeFloat("F", 0.1), 0.1);
  EXPECT_EQ(w.values["I"], "-42");
  EXPECT_EQ(w.values["B"], "1");
  EXPECT_EQ(w.values["F"], "0.1");
  // Fifteen significant digits are kept: 2/3 is stored rounded in the last,
  // and the writer gives back what it stored.
  EXPECT_NEAR(w.serializeFloat("Third", 2.0 / 3.0), 2.0 / 3.0, 1e-15);
  EXPECT_EQ(w.values["Third"], "0.666666666666667");

  MemorySerializer r(false);
  r.values = w.values;
  r.values["Bad"] = "x1";
  EXPECT_EQ(r.serializeInt("I", 0), -42);
  EXPECT_TRUE(r.serializeBool("B", false));
  EXPECT_EQ(r.serializeFloat("F", 9.0), 0.1);
  EXPECT_NEAR(r.serializeFloat("Third", 9.0), 2.0 / 3.0, 1e-15);
  EXPECT_EQ(r.serializeInt("Bad", 4, 8), 8);
  EXPECT_EQ(r.serializeFloat("Bad", 4.0, 8.0), 8.0);
  EXPECT_EQ(r.serializeInt("Missing", 5), 5);
  EXPECT_EQ(r.serializeInt("Missing", 5, 7), 7);
  EXPECT_FALSE(r.serializeBool("Missing", true, false));
}

TEST(PreferencesSerializerTest, MissingKeysGiveTheDefault) {
  PreferencesReader r(domain("missing"));
  EXPECT_FALSE(r.isWriter());
  EXPECT_EQ(r.serializeInt("X", 5), 5);
  EXPECT_EQ(r.serializeInt("X", 5, 7), 7);
  EXPECT_EQ(r.serializeString("X", "v", "d"), "d");
  EXPECT_TRUE(r.serializeBool("X", false, true));
  EXPECT_EQ(r.serializeFloat("X", 1.5, 2.5), 2.5);
  std::vector<char> data{'a'};
  r.serializeBinary("X", data);
  EXPECT_EQ(data, std::vector<char>{'a'});
}

TEST(PreferencesSerializerTest, OneRoutineSavesAndLoads) {
  const std::string d = domain("roundtrip");
  Settings saved;
  saved.count = -7;
  saved.flag = true;
  saved.amount = 0.1;
  saved.text = "Presets/Quorvane Zarn/ 100% \xC3\xA9\ttab\nline";
  {
    std::unique_ptr<SettingSerializer> w(createSettingWriter(d));
    EXPECT_TRUE(w->isWriter());
    Settings copy = saved;
    copy.serialize(*w);
    // A writer gives every value back unchanged.
    EXPECT_EQ(copy.count, saved.count);
    EXPECT_EQ(copy.text, saved.text);
  }
  Settings loaded;
  std::unique_ptr<SettingSerializer> r(createSettingReader(d));
  loaded.serialize(*r);
  EXPECT_EQ(loaded.count, -7);
  EXPECT_TRUE(loaded.flag);
  EXPECT_EQ(loaded.amount, 0.1);
  EXPECT_EQ(loaded.text, saved.text);

  // The stored types: integers for int and bool, the "%.15lg" text for
  // floats.
  platform::PreferencesStore store(d);
  int32_t i = 0;
  std::string s;
  EXPECT_TRUE(store.getInteger("Flag", i));
  EXPECT_EQ(i, 1);
  EXPECT_TRUE(store.getInteger("Count", i));
  EXPECT_EQ(i, -7);
  EXPECT_TRUE(store.getString("Amount", s));
  EXPECT_EQ(s, "0.1");
}

TEST(PreferencesSerializerTest, MistypedValuesGiveTheDefault) {
  const std::string d = domain("mistyped");
  {
    PreferencesWriter w(d);
    w.serializeString("X", "abc");
    w.serializeInt("N", 12);
  }
  PreferencesReader r(d);
  EXPECT_EQ(r.serializeString("X", "", "def"), "abc");
  EXPECT_EQ(r.serializeInt("X", 1, 2), 2);
  EXPECT_EQ(r.serializeBool("X", true, false), false);
  EXPECT_EQ(r.serializeInt("N", 1, 2), 12);
  EXPECT_EQ(r.serializeString("N", "", "def"), "def");
  EXPECT_EQ(r.serializeFloat("N", 1.0, 3.0), 3.0);
}

TEST(PreferencesSerializerTest, WriterCommitsWhenDeleted) {
  const std::string d = domain("commit");
  auto* w = createSettingWriter(d);
  w->serializeInt("A", 1);
  EXPECT_EQ(PreferencesReader(d).serializeInt("A", 0), 0);
  delete w;
  EXPECT_EQ(PreferencesReader(d).serializeInt("A", 0), 1);

  // Writers of different keys keep each other's values.
  {
    PreferencesWriter a(d), b(d);
    a.serializeInt("A", 2);
    b.serializeString("UseShortcuts", "yes");
  }
  PreferencesReader r(d);
  EXPECT_EQ(r.serializeInt("A", 0), 2);
  EXPECT_EQ(r.serializeString("UseShortcuts", ""), "yes");
}

TEST(PreferencesSerializerTest, DamagedFilesKeepWhatCanBeReadAndTheRestDefaults) {
  const std::string d = domain("damaged");
  {
    PreferencesWriter w(d);
    w.serializeInt("Count", 9);
    w.serializeString("Text", "kept");
    ASSERT_TRUE(w.synchronize());
  }
  const std::string file = storeFile(d);
  // Cut short, or replaced by something else.
  std::string whole;
  {
    FILE* f = fopen(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buffer[4096];
    size_t n = fread(buffer, 1, sizeof buffer, f);
    fclose(f);
    whole.assign(buffer, n);
  }
  {
    // Cut inside its end marker: every value line is whole and is read.
    FILE* f = fopen(file.c_str(), "wb");
    fwrite(whole.data(), 1, whole.size() - 2, f);
    fclose(f);
    PreferencesReader r(d);
    EXPECT_EQ(r.serializeInt("Count", 3), 9);
    EXPECT_EQ(r.serializeString("Text", "default"), "kept");
  }
  for (const std::string& damaged : {std::string("\x89PNG\r\n"), std::string()}) {
    FILE* f = fopen(file.c_str(), "wb");
    fwrite(damaged.data(), 1, damaged.size(), f);
    fclose(f);
    PreferencesReader r(d);
    EXPECT_EQ(r.serializeInt("Count", 3), 3);
    EXPECT_EQ(r.serializeString("Text", "default"), "default");
  }
  // The next save makes it whole again.
  {
    PreferencesWriter w(d);
    w.serializeInt("Count", 4);
  }
  EXPECT_EQ(PreferencesReader(d).serializeInt("Count", 0), 4);
}

TEST(PreferencesSerializerTest, ApplicationIdentifierOwnership) {
  const std::string d = domain("ownership");
  PlatformStringRef id = platform::PlatformString::create(d);
  {
    PreferencesWriter w(id);
    w.serializeInt("A", 11);
  }
  {
    // Switching from an owned identifier to the caller's: the caller's one
    // must survive this object (and the owned one is released).
    PreferencesReader r(domain("other"));
    r.initializeApplicationID(id);
    EXPECT_EQ(r.serializeInt("A", 0), 11);
  }
  EXPECT_EQ(id->bytes(), d);
  {
    // Leaving a domain commits what was stored under it.
    PreferencesWriter w(id);
    w.serializeInt("B", 12);
    w.initializeApplicationID(domain("ownership2"));
    w.serializeInt("C", 13);
  }
  EXPECT_EQ(PreferencesReader(id).serializeInt("B", 0), 12);
  EXPECT_EQ(PreferencesReader(id).serializeInt("C", 0), 0);
  EXPECT_EQ(PreferencesReader(domain("ownership2")).serializeInt("C", 0), 13);
  releasePlatformString(id);
}

TEST(PreferencesSerializerTest, ProductDomainNamesTheFile) {
  const std::string d = getProductSettingsPath("Zarn", 1);
  EXPECT_EQ(d, "com.quorvane.Zarn.1");
  // In the prepared home and in a fresh one alike.
  const char* config = getenv("XDG_CONFIG_HOME");
  const std::string folder = config ? std::string(config) : std::string(getenv("HOME")) + "/.config";
  EXPECT_EQ(storeFile(d), folder + "/com.quorvane.Zarn.1.prefs");
  // A domain that can name no file stores nothing and reads defaults.
  PreferencesWriter w("../escape");
  w.serializeInt("A", 1);
  EXPECT_FALSE(w.synchronize());
  EXPECT_EQ(PreferencesReader("../escape").serializeInt("A", 0), 0);
}
