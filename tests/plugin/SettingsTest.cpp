// The global settings in the preferences store, and the MIDI controller map
// file with its factory copy among the bundle's resources.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Folders.h"
#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "platform/PreferencesStore.h"
#include "plugin/ControllerMapping.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

using namespace genericplugintest;
using namespace presettest;
using zarn::test::TempDir;
using zarn::test::TestBundle;

namespace {

// Answers like a reader (the stored value, else the default) or stores like
// a writer, and logs every name with the kind of value passed.
class RecordingSerializer : public SettingSerializer {
public:
  explicit RecordingSerializer(bool writer) : mWriter(writer) {}

  bool isWriter() override { return mWriter; }
  void serializeBinary(const std::string& name, std::vector<char>&) override { log.push_back(name + ":binary"); }
  int serializeInt(const std::string& name, int value, int def) override {
    log.push_back(name + ":int");
    if (mWriter) return ints[name] = value;
    auto it = ints.find(name);
    return it != ints.end() ? it->second : def;
  }
  std::string serializeString(const std::string& name, const std::string& value, const std::string& def) override {
    log.push_back(name + ":string");
    if (mWriter) return strings[name] = value;
    auto it = strings.find(name);
    return it != strings.end() ? it->second : def;
  }
  using SettingSerializer::serializeInt;
  using SettingSerializer::serializeString;

  std::vector<std::string> log;
  std::map<std::string, int> ints;
  std::map<std::string, std::string> strings;

private:
  bool mWriter;
};

std::string runningVersion() { return VersionInfo("Tester").getVersion().getText(); }
std::string preferencesFile() { return platform::PreferencesStore(VersionInfo("Tester").getSettingsPath()).filePath(); }
std::string mapFile() { return VersionInfo("Tester").getDataFolder() + "/MidiControllerMap.qvm"; }

std::string readFile(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
  createFolder(path.substr(0, path.rfind('/')));
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A fresh installation: no preferences and no saved controller map.
void forgetEverything() {
  std::remove(preferencesFile().c_str());
  std::remove(mapFile().c_str());
}

std::vector<int> entriesOf(const ControllerMapping& m) {
  std::vector<int> v;
  for (int c = 0; c < ControllerMapping::cControllerCount; ++c) v.push_back(m.getParameterIndex(c));
  return v;
}

std::vector<int> entries(std::initializer_list<std::pair<int, int>> connections) {
  std::vector<int> v(ControllerMapping::cControllerCount, -1);
  for (const auto& [controller, index] : connections) v[static_cast<size_t>(controller)] = index;
  return v;
}

// Owners that count the notifications of every setting.
struct SettingOwners {
  SettingOwners() {
    GenericPlugin::Settings& s = *GenericPlugin::sSettings;
    s.HelpFileName.setOwner(&help);
    s.SavePresetItemEnabled.setOwner(&save);
    s.ViewProgramNumbersEnabled.setOwner(&numbers);
    s.showInteractiveHelp.setOwner(&interactive);
    s.showWelcomeHint.setOwner(&welcome);
  }
  ~SettingOwners() {
    GenericPlugin::Settings& s = *GenericPlugin::sSettings;
    s.HelpFileName.setOwner(nullptr);
    s.SavePresetItemEnabled.setOwner(nullptr);
    s.ViewProgramNumbersEnabled.setOwner(nullptr);
    s.showInteractiveHelp.setOwner(nullptr);
    s.showWelcomeHint.setOwner(nullptr);
  }
  CountingOwner help, save, numbers, interactive, welcome;
};

void setSettings(const std::string& help, bool save, bool numbers, bool interactive, bool welcome) {
  GenericPlugin::Settings& s = *GenericPlugin::sSettings;
  s.HelpFileName = help;
  s.SavePresetItemEnabled = save;
  s.ViewProgramNumbersEnabled = numbers;
  s.showInteractiveHelp = interactive;
  s.showWelcomeHint = welcome;
}

} // namespace

TEST(SettingsTest, TheSettingsPassGoesThroughEveryKeyInItsOrder) {
  TestProduct plugin;
  TempDir library("zarn-library");
  setSettings("", false, false, true, false);
  SettingOwners owners;

  RecordingSerializer reader(false);
  reader.strings["HelpFileName"] = "Book";
  reader.ints["SavePresetItemEnabled"] = 1;
  reader.ints["ViewProgramNumbersEnabled"] = 1;
  reader.ints["showInteractiveHelp"] = 0;
  reader.ints["showWelcomeHint"] = 0;
  reader.strings["PresetFolder"] = library.path() + "/";
  reader.strings["CurrentVersion"] = runningVersion();
  plugin.GenericPlugin::serialize(&reader);

  const std::vector<std::string> order = {"HelpFileName:string",      "SavePresetItemEnabled:int",
                                          "ViewProgramNumbersEnabled:int", "showInteractiveHelp:int",
                                          "showWelcomeHint:int",      "PresetFolder:string",
                                          "CurrentVersion:string"};
  EXPECT_EQ(reader.log, order);
  const GenericPlugin::Settings& s = *GenericPlugin::sSettings;
  EXPECT_EQ(s.HelpFileName.get(), "Book");
  EXPECT_TRUE(s.SavePresetItemEnabled.get());
  EXPECT_TRUE(s.ViewProgramNumbersEnabled.get());
  EXPECT_FALSE(s.showInteractiveHelp.get());
  EXPECT_FALSE(s.showWelcomeHint.get());
  EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(), library.path() + "/");
  EXPECT_FALSE(GenericPlugin::sVersionInfo->isFirstRun());
  EXPECT_EQ(owners.help.changes, 1);
  EXPECT_EQ(owners.save.changes, 1);
  EXPECT_EQ(owners.numbers.changes, 1);
  EXPECT_EQ(owners.interactive.changes, 1);
  EXPECT_EQ(owners.welcome.changes, 0);

  // The same values again change nothing and notify nobody.
  plugin.GenericPlugin::serialize(&reader);
  EXPECT_EQ(owners.help.changes + owners.save.changes + owners.numbers.changes + owners.interactive.changes, 4);

  // A writer gets what the settings hold and the library's folder.
  RecordingSerializer writer(true);
  plugin.GenericPlugin::serialize(&writer);
  EXPECT_EQ(writer.log, order);
  EXPECT_EQ(writer.strings["HelpFileName"], "Book");
  EXPECT_EQ(writer.ints["SavePresetItemEnabled"], 1);
  EXPECT_EQ(writer.ints["ViewProgramNumbersEnabled"], 1);
  EXPECT_EQ(writer.ints["showInteractiveHelp"], 0);
  EXPECT_EQ(writer.ints["showWelcomeHint"], 0);
  EXPECT_EQ(writer.strings["PresetFolder"], library.path() + "/");
  EXPECT_EQ(writer.strings["CurrentVersion"], runningVersion());

  // The writer's pass does not scan the library again: it would list what
  // is listed, at the cost of a whole scan when the library links to a
  // large tree. A reader's pass does.
  library.write("Late.qvp", "");
  RecordingSerializer again(true);
  plugin.GenericPlugin::serialize(&again);
  EXPECT_EQ(GenericPlugin::sPresetManager->findPresetByName("Late"), nullptr);
  plugin.GenericPlugin::serialize(&reader);
  EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Late"), nullptr);
  GenericPlugin::sPresetManager->initialize("");
}

TEST(SettingsTest, MissingKeysKeepTheSettingsAndAFirstRunShowsTheWelcomeHint) {
  TestProduct plugin;
  setSettings("Book", true, false, false, false);
  SettingOwners owners;

  RecordingSerializer empty(false);
  plugin.GenericPlugin::serialize(&empty);
  const GenericPlugin::Settings& s = *GenericPlugin::sSettings;
  EXPECT_EQ(s.HelpFileName.get(), "Book");
  EXPECT_TRUE(s.SavePresetItemEnabled.get());
  EXPECT_FALSE(s.ViewProgramNumbersEnabled.get());
  EXPECT_FALSE(s.showInteractiveHelp.get());
  // Nothing stored under the version: a first run.
  EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
  EXPECT_TRUE(s.showWelcomeHint.get());
  EXPECT_EQ(owners.welcome.changes, 1);
  EXPECT_EQ(owners.help.changes + owners.save.changes + owners.numbers.changes + owners.interactive.changes, 0);
  EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(), GenericPlugin::sVersionInfo->getDefaultPresetFolder());

  // A stored empty folder names no library: the default is taken.
  GenericPlugin::sPresetManager->initialize("");
  RecordingSerializer blank(false);
  blank.strings["PresetFolder"] = "";
  plugin.GenericPlugin::serialize(&blank);
  EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(), GenericPlugin::sVersionInfo->getDefaultPresetFolder());
}

TEST(SettingsTest, AFreshInstallationStartsWithTheDefaultsAndTheFactoryMap) {
  forgetEverything();
  TestBundle bundle("com.quorvane.test.settings.fresh");
  bundle.writeResource("MidiControllerMap.qvm", mapBytes(entries({{1, 2}, {74, 1}})));
  {
    TestProduct plugin;
    const GenericPlugin::Settings& s = *GenericPlugin::sSettings;
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_TRUE(s.showInteractiveHelp.get());
    EXPECT_TRUE(s.showWelcomeHint.get());
    EXPECT_FALSE(s.SavePresetItemEnabled.get());
    EXPECT_FALSE(s.ViewProgramNumbersEnabled.get());
    EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(),
              GenericPlugin::sVersionInfo->getDefaultPresetFolder());
    EXPECT_EQ(entriesOf(*GenericPlugin::sControllerMapping), entries({{1, 2}, {74, 1}}));
    // The editor switches the hint off once it has been shown.
    GenericPlugin::sSettings->showWelcomeHint = false;
  }
  // The last instance stored the map and the settings; the next start is no
  // first run, so the hint stays off.
  EXPECT_EQ(readFile(mapFile()), mapBytes(entries({{1, 2}, {74, 1}})));
  {
    TestProduct plugin;
    EXPECT_FALSE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_FALSE(GenericPlugin::sSettings->showWelcomeHint.get());
  }
  forgetEverything();
}

TEST(SettingsTest, TheWelcomeHintIsForcedOnTheFirstRunOfAVersionOnly) {
  forgetEverything();
  const std::string domain = VersionInfo("Tester").getSettingsPath();
  {
    platform::PreferencesStore store(domain);
    store.setInteger("showWelcomeHint", 0);
    store.setString("CurrentVersion", "0.99");
    ASSERT_TRUE(store.synchronize());
  }
  {
    TestProduct plugin;
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_TRUE(GenericPlugin::sSettings->showWelcomeHint.get());
  }
  {
    platform::PreferencesStore store(domain);
    store.setInteger("showWelcomeHint", 0);
    store.setString("CurrentVersion", runningVersion());
    ASSERT_TRUE(store.synchronize());
  }
  {
    TestProduct plugin;
    EXPECT_FALSE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_FALSE(GenericPlugin::sSettings->showWelcomeHint.get());
  }
  forgetEverything();
}

TEST(SettingsTest, StoredSettingsSurviveARestartByteForByte) {
  forgetEverything();
  TempDir library("zarn-library");
  library.write("Bass/Deep.qvp", presetBytes("QTst", 1, {0.1f}));
  {
    TestProduct plugin;
    setSettings("Manual", true, true, false, false);
    GenericPlugin::sPresetManager->initialize(library.path() + "/");
  }
  const std::string stored = readFile(preferencesFile());
  ASSERT_FALSE(stored.empty());
  {
    TestProduct plugin;
    const GenericPlugin::Settings& s = *GenericPlugin::sSettings;
    EXPECT_EQ(s.HelpFileName.get(), "Manual");
    EXPECT_TRUE(s.SavePresetItemEnabled.get());
    EXPECT_TRUE(s.ViewProgramNumbersEnabled.get());
    EXPECT_FALSE(s.showInteractiveHelp.get());
    EXPECT_FALSE(s.showWelcomeHint.get());
    EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(), library.path() + "/");
    // The library was scanned at the stored folder.
    EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Deep"), nullptr);
  }
  EXPECT_EQ(readFile(preferencesFile()), stored);
  forgetEverything();
}

TEST(MidiMapSettingsTest, TheSavedMapIs516BytesAndLoadsBackByteForByte) {
  forgetEverything();
  TestProduct plugin;
  ControllerMapping& map = *GenericPlugin::sControllerMapping;
  map.reset();
  ASSERT_TRUE(map.setConnection(7, plugin.gain.getIndex()));
  ASSERT_TRUE(map.setConnection(74, plugin.cutoff.getIndex()));
  ASSERT_TRUE(map.setConnection(0, plugin.drive.getIndex()));
  plugin.saveMidiSettings();
  const std::string bytes = readFile(mapFile());
  EXPECT_EQ(bytes.size(), 516u);
  EXPECT_EQ(bytes, mapBytes(entries({{7, 0}, {74, 1}, {0, 3}})));

  map.reset();
  ASSERT_TRUE(plugin.loadMidiSettings());
  EXPECT_EQ(entriesOf(map), entries({{7, 0}, {74, 1}, {0, 3}}));
  std::remove(mapFile().c_str());
  plugin.saveMidiSettings();
  EXPECT_EQ(readFile(mapFile()), bytes);

  // Version 1 is written, and only version 1 is read: another version's
  // map changes nothing.
  writeFile(mapFile(), mapBytes(entries({{5, 2}}), 7));
  EXPECT_FALSE(plugin.loadMidiSettings());
  EXPECT_EQ(entriesOf(map), entries({{7, 0}, {74, 1}, {0, 3}}));
  forgetEverything();
}

TEST(MidiMapSettingsTest, ACutShortMapIsRefusedAndTheFactoryMapTakesItsPlaceAtStartUp) {
  forgetEverything();
  TestBundle bundle("com.quorvane.test.settings.cut");
  bundle.writeResource("MidiControllerMap.qvm", mapBytes(entries({{1, 2}})));
  const std::string full = mapBytes(std::vector<int>(127, 3));
  {
    TestProduct plugin;
    ControllerMapping& map = *GenericPlugin::sControllerMapping;
    map.reset();
    map.setConnection(10, 1);
    writeFile(mapFile(), full.substr(0, 200));
    // A damaged file changes nothing: no controller ends up on parameter 0.
    EXPECT_FALSE(plugin.loadMidiSettings());
    EXPECT_EQ(entriesOf(map), entries({{10, 1}}));
    writeFile(mapFile(), "QVil" + full.substr(4));
    EXPECT_FALSE(plugin.loadMidiSettings());
    EXPECT_EQ(entriesOf(map), entries({{10, 1}}));
  }
  // Left behind cut short (the instance above wrote a whole one on its way
  // out), the file is replaced by the factory map at the next start.
  writeFile(mapFile(), full.substr(0, 200));
  const int factoryLoads = gCounts.midiFactoryLoads;
  {
    TestProduct plugin;
    EXPECT_EQ(gCounts.midiFactoryLoads, factoryLoads + 1);
    EXPECT_EQ(entriesOf(*GenericPlugin::sControllerMapping), entries({{1, 2}}));
  }
  forgetEverything();
}

TEST(MidiMapSettingsTest, AMissingOrDamagedFactoryMapIsReportedAndUnmapsEverything) {
  forgetEverything();
  TestProduct plugin;
  ControllerMapping& map = *GenericPlugin::sControllerMapping;
  {
    TestBundle bundle("com.quorvane.test.settings.nofactory");
    map.setConnection(3, 1);
    testing::internal::CaptureStderr();
    plugin.loadMidiFactorySettings();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "'MidiControllerMap.qvm' could not be loaded from resource\n");
    EXPECT_EQ(entriesOf(map), entries({}));
  }
  {
    TestBundle bundle("com.quorvane.test.settings.badfactory");
    bundle.writeResource("MidiControllerMap.qvm", mapBytes(entries({{1, 2}})).substr(0, 100));
    map.setConnection(3, 1);
    testing::internal::CaptureStderr();
    plugin.loadMidiFactorySettings();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "'MidiControllerMap.qvm' could not be loaded from resource\n");
    EXPECT_EQ(entriesOf(map), entries({}));
  }
  {
    TestBundle bundle("com.quorvane.test.settings.goodfactory");
    bundle.writeResource("MidiControllerMap.qvm", mapBytes(entries({{1, 2}})));
    map.setConnection(3, 1);
    testing::internal::CaptureStderr();
    plugin.loadMidiFactorySettings();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The factory map replaces the whole table.
    EXPECT_EQ(entriesOf(map), entries({{1, 2}}));
  }
}

TEST(MidiMapSettingsTest, StoredIndexesThatNameNothingAreKeptButMoveNothing) {
  forgetEverything();
  TestProduct plugin;
  ControllerMapping& map = *GenericPlugin::sControllerMapping;
  writeFile(mapFile(), mapBytes(entries({{1, 2}, {2, 4}, {3, 0x100000}, {4, -7}})));
  ASSERT_TRUE(plugin.loadMidiSettings());
  EXPECT_EQ(map.getMappedParameter(1), 2);
  EXPECT_EQ(map.getParameterIndex(2), 4);
  EXPECT_EQ(map.getMappedParameter(2), -1);
  EXPECT_EQ(map.getMappedParameter(3), -1);
  EXPECT_EQ(map.getMappedParameter(4), -1);

  plugin.send(0xB0, 1, 127, 0);
  plugin.send(0xB0, 2, 127, 0);
  plugin.send(0xB0, 3, 127, 0);
  plugin.render(16);
  EXPECT_FLOAT_EQ(plugin.shape.getValue(), 8.0f);
  EXPECT_FLOAT_EQ(plugin.gain.getValue(), 0.5f);
  EXPECT_FLOAT_EQ(plugin.cutoff.getValue(), 1000.0f);
  EXPECT_FLOAT_EQ(plugin.drive.getValue(), 0.25f);

  // What the table holds is written back as it was read.
  std::remove(mapFile().c_str());
  plugin.saveMidiSettings();
  EXPECT_EQ(readFile(mapFile()), mapBytes(entries({{1, 2}, {2, 4}, {3, 0x100000}, {4, -7}})));
  forgetEverything();
}
