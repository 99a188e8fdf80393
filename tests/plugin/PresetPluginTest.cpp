// The plug-in's own preset operations: loading by path, by name and by MIDI
// program change, saving into the library, and the current-preset record
// and notifications that follow them.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "platform/Alerts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <vector>

using namespace genericplugintest;
using namespace presettest;
using zarn::test::TempDir;

namespace {

// A product with recording adapter and listener, on a library in a
// temporary folder.
class Library {
public:
  Library() { attach(*plugin); }
  ~Library() {
    plugin->setListener(nullptr);
    // The shared library must not keep pointing into a folder that is gone.
    GenericPlugin::sPresetManager->initialize("");
  }

  void attach(TestProduct& p) {
    p.registerPluginAdapter(&adapter);
    p.setListener(&listener);
  }
  // Writes a preset file below the root; rescan() lists it.
  void add(const std::string& relative, const std::vector<float>& values, int version = 1) {
    dir.write(relative, presetBytes("QTst", version, values));
  }
  void rescan() { GenericPlugin::sPresetManager->initialize(root()); }
  std::string root() const { return dir.path() + "/"; }
  Preset* find(const std::string& name) const { return GenericPlugin::sPresetManager->findPresetByName(name); }
  void forgetCalls() {
    adapter.count = 0;
    adapter.allParameters = 0;
    adapter.presetChanges = 0;
    listener.count = 0;
  }
  PresetContext& context() const { return *plugin->getPresetContext(); }

  std::unique_ptr<TestProduct> plugin = std::make_unique<TestProduct>();
  RecordingAdapter adapter;
  RecordingListener listener;
  TempDir dir{"zarn-library"};
};

// Loads older files: version 4 as they are, version 1 with the shape moved
// up one step, as a product does whose parameters changed meaning.
class UpgradingProduct : public TestProduct {
public:
  bool doLoadPreset(Preset* preset, PresetLoadFailure& failure) override {
    if (loadPresetWithVersion(preset, 4)) return true;
    if (!loadPresetWithVersion(preset, 1, &failure)) return false;
    shape.setValue(shape.getValue() + 1.0f, 0);
    return true;
  }
};

} // namespace

TEST(PresetPluginTest, LoadingMakesThePresetCurrentAndIsAnnouncedOnce) {
  Library lib;
  lib.add("Bass/Deep.qvp", {0.2f, 80.0f, 1.0f, 0.7f});
  lib.rescan();
  Preset* deep = lib.find("Deep");
  ASSERT_NE(deep, nullptr);

  lib.plugin->gain.setValue(0.9f, 0);
  ASSERT_TRUE(lib.context().presetModified.get());
  CountingOwner owner;
  lib.context().presetName.setOwner(&owner);
  lib.forgetCalls();

  ASSERT_TRUE(lib.plugin->loadPreset(deep));
  EXPECT_FLOAT_EQ(lib.plugin->gain.getValue(), 0.2f);
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 80.0f);
  EXPECT_FLOAT_EQ(lib.plugin->shape.getValue(), 1.0f);
  EXPECT_FLOAT_EQ(lib.plugin->drive.getValue(), 0.7f);
  EXPECT_EQ(lib.context().presetName.get(), "Deep");
  EXPECT_EQ(lib.context().presetPath.get(), "Bass/Deep.qvp");
  EXPECT_FALSE(lib.context().presetModified.get());
  EXPECT_EQ(owner.changes, 1);

  // All parameters once, then the preset change; the editor hears the same.
  ASSERT_EQ(lib.adapter.calls(), 1);
  EXPECT_EQ(lib.adapter.indexes[0], -1);
  EXPECT_EQ(lib.adapter.presetChanges.load(), 1);
  ASSERT_EQ(lib.listener.calls(), 2);
  EXPECT_EQ(lib.listener.events[0].code, cParameterChangeEvent);
  EXPECT_EQ(lib.listener.events[0].value, -1);
  EXPECT_EQ(lib.listener.events[1].code, cPresetChangeEvent);
  EXPECT_EQ(lib.listener.events[1].value, 0);

  // The same preset again changes no value: only the preset change is told.
  lib.forgetCalls();
  ASSERT_TRUE(lib.plugin->loadPreset(deep));
  EXPECT_EQ(lib.adapter.calls(), 0);
  EXPECT_EQ(lib.adapter.presetChanges.load(), 1);
  ASSERT_EQ(lib.listener.calls(), 1);
  EXPECT_EQ(lib.listener.events[0].code, cPresetChangeEvent);
  EXPECT_EQ(owner.changes, 1);
  lib.context().presetName.setOwner(nullptr);
}

TEST(PresetPluginTest, AFailedLoadKeepsTheCurrentPresetAndTellsNobody) {
  Library lib;
  lib.add("Deep.qvp", {0.2f, 80.0f, 1.0f, 0.7f});
  const std::string cut = presetBytes("QTst", 1, {0.3f, 90.0f, 2.0f, 0.1f});
  lib.dir.write("Cut.qvp", cut.substr(0, cut.size() - 2));
  lib.dir.write("Other.qvp", presetBytes("QZar", 1, {0.3f, 90.0f, 2.0f, 0.1f}));
  lib.add("Old.qvp", {0.3f, 90.0f, 2.0f, 0.1f}, 3);
  lib.rescan();
  ASSERT_TRUE(lib.plugin->loadPreset(lib.find("Deep")));
  lib.plugin->cutoff.setValue(85.0f, 0);
  lib.forgetCalls();

  for (const char* name : {"Cut", "Other", "Old"}) {
    ASSERT_NE(lib.find(name), nullptr) << name;
    EXPECT_FALSE(lib.plugin->loadPreset(lib.find(name))) << name;
  }
  Preset missing(lib.root() + "Missing.qvp");
  EXPECT_FALSE(lib.plugin->loadPreset(&missing));
  EXPECT_FALSE(lib.plugin->loadPreset(nullptr));

  EXPECT_FLOAT_EQ(lib.plugin->gain.getValue(), 0.2f);
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 85.0f);
  EXPECT_EQ(lib.context().presetName.get(), "Deep");
  EXPECT_EQ(lib.context().presetPath.get(), "Deep.qvp");
  EXPECT_TRUE(lib.context().presetModified.get());
  EXPECT_EQ(lib.adapter.calls(), 0);
  EXPECT_EQ(lib.adapter.presetChanges.load(), 0);
  EXPECT_EQ(lib.listener.calls(), 0);
  EXPECT_EQ(lib.plugin->getUpdateDepth(), 0);
}

// Each reason a file is refused for, said once per file, with its path.
TEST(PresetPluginTest, AFailedLoadTellsTheUserWhichFileAndWhy) {
  Library lib;
  const std::string cut = presetBytes("QTst", 1, {0.3f, 90.0f, 2.0f, 0.1f});
  lib.dir.write("Cut.qvp", cut.substr(0, cut.size() - 2));
  lib.dir.write("Stub.qvp", cut.substr(0, 6));
  lib.dir.write("Other.qvp", presetBytes("QZar", 1, {0.3f, 90.0f, 2.0f, 0.1f}));
  lib.add("Old.qvp", {0.3f, 90.0f, 2.0f, 0.1f}, 3);
  lib.rescan();
  std::vector<std::string> alerts;
  platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
  for (const char* name : {"Cut", "Stub", "Other", "Old", "Cut"}) EXPECT_FALSE(lib.plugin->loadPresetWithName(name));
  Preset missing(lib.root() + "Missing.qvp");
  EXPECT_FALSE(lib.plugin->loadPreset(&missing));
  platform::setAlertHandler(nullptr);

  const std::string& root = lib.root();
  ASSERT_EQ(alerts.size(), 5u); // the second try of Cut.qvp is not said again
  EXPECT_EQ(alerts[0], "The preset \"Cut\" could not be loaded from " + root +
                           "Cut.qvp: it is cut short before the last of its 4 values.");
  EXPECT_EQ(alerts[1], "The preset \"Stub\" could not be loaded from " + root +
                           "Stub.qvp: it is cut short within its header.");
  EXPECT_EQ(alerts[2], "The preset \"Other\" could not be loaded from " + root +
                           "Other.qvp: it is not a preset of this plug-in.");
  EXPECT_EQ(alerts[3], "The preset \"Old\" could not be loaded from " + root +
                           "Old.qvp: it has version 3, and this plug-in reads version 1.");
  EXPECT_EQ(alerts[4], "The preset \"Missing\" could not be loaded from " + root +
                           "Missing.qvp: it cannot be opened (No such file or directory).");
  // A name that no preset has is no damaged file.
  EXPECT_FALSE(lib.plugin->loadPresetWithName("Nowhere"));
  EXPECT_EQ(alerts.size(), 5u);
}

TEST(PresetPluginTest, PresetsAreFoundByName) {
  Library lib;
  lib.add("Pads/Warm.qvp", {0.4f, 400.0f, 4.0f, 0.4f});
  lib.add("Leads/Bright.qvp", {0.6f, 6000.0f, 6.0f, 0.6f});
  lib.rescan();

  ASSERT_TRUE(lib.plugin->loadPresetWithName("Warm"));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 400.0f);
  EXPECT_EQ(lib.context().presetPath.get(), "Pads/Warm.qvp");
  ASSERT_TRUE(lib.plugin->loadPresetWithName("Bright"));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 6000.0f);
  EXPECT_EQ(lib.context().presetName.get(), "Bright");

  lib.forgetCalls();
  EXPECT_FALSE(lib.plugin->loadPresetWithName("bright"));
  EXPECT_FALSE(lib.plugin->loadPresetWithName(""));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 6000.0f);
  EXPECT_EQ(lib.context().presetName.get(), "Bright");
  EXPECT_EQ(lib.adapter.presetChanges.load(), 0);
  EXPECT_EQ(lib.listener.calls(), 0);
}

TEST(PresetPluginTest, ProgramChangesLoadByBankAndProgramInLibraryOrder) {
  Library lib;
  char name[32];
  for (int i = 0; i < 140; ++i) {
    std::snprintf(name, sizeof name, "P%03d.qvp", i);
    lib.add(name, {0.5f, 100.0f + static_cast<float>(i), 0.0f, 0.25f});
  }
  lib.rescan();

  ASSERT_TRUE(lib.plugin->receiveProgramChange(1, 5));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 233.0f);
  EXPECT_EQ(lib.context().presetName.get(), "P133");
  EXPECT_EQ(lib.context().presetPath.get(), "P133.qvp");

  // Positions past the library, and programs outside a bank, are nothing.
  lib.forgetCalls();
  EXPECT_FALSE(lib.plugin->receiveProgramChange(1, 12));
  EXPECT_FALSE(lib.plugin->receiveProgramChange(0, 128));
  EXPECT_FALSE(lib.plugin->receiveProgramChange(0, -1));
  EXPECT_FALSE(lib.plugin->receiveProgramChange(-1, 130));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 233.0f);
  EXPECT_EQ(lib.adapter.presetChanges.load(), 0);

  // Through MIDI on the render path: bank select LSB 1, program 11.
  lib.plugin->send(0xB0, 0, 0, 0);
  lib.plugin->send(0xB0, 32, 1, 0);
  lib.plugin->send(0xC0, 11, 0, 10);
  lib.plugin->render(64);
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 239.0f);
  EXPECT_EQ(lib.context().presetName.get(), "P139");
  EXPECT_EQ(lib.adapter.presetChanges.load(), 1);
  EXPECT_EQ(lib.adapter.allParameters.load(), 1);
  lib.plugin->render(16);
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.engineValue.load(), 239.0f);
}

TEST(PresetPluginTest, SavingWritesThePresetListsItAtOnceAndMakesItCurrent) {
  Library lib;
  lib.add("Mine/First.qvp", {0.5f, 1000.0f, 0.0f, 0.25f});
  lib.rescan();
  lib.plugin->gain.setValue(0.125f, 0);
  lib.plugin->cutoff.setValue(440.0f, 0);
  lib.forgetCalls();

  Preset fresh(lib.root() + "Mine/New.qvp");
  ASSERT_TRUE(lib.plugin->savePreset(&fresh));
  const std::string bytes = lib.dir.read("Mine/New.qvp");
  EXPECT_EQ(bytes.size(), 12u + 4u * static_cast<size_t>(lib.plugin->getNumParameters()));
  EXPECT_EQ(bytes, presetBytes("QTst", 1, {0.125f, 440.0f, 0.0f, 0.25f}));
  Preset* listed = lib.find("New");
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(listed->getBank(), 0);
  EXPECT_EQ(listed->getProgram(), 1);
  EXPECT_EQ(lib.context().presetName.get(), "New");
  EXPECT_EQ(lib.context().presetPath.get(), "Mine/New.qvp");
  EXPECT_FALSE(lib.context().presetModified.get());
  EXPECT_EQ(lib.adapter.calls(), 0);
  EXPECT_EQ(lib.adapter.presetChanges.load(), 1);
  ASSERT_EQ(lib.listener.calls(), 1);
  EXPECT_EQ(lib.listener.events[0].code, cPresetChangeEvent);

  // Saving over a preset of the library itself: the rescan replaces the
  // very object that was passed in.
  lib.plugin->shape.setValue(5.0f, 0);
  ASSERT_TRUE(lib.plugin->savePreset(listed));
  EXPECT_EQ(lib.context().presetName.get(), "New");
  EXPECT_EQ(lib.context().presetPath.get(), "Mine/New.qvp");
  EXPECT_EQ(lib.dir.read("Mine/New.qvp"), presetBytes("QTst", 1, {0.125f, 440.0f, 5.0f, 0.25f}));

  // What was saved loads back to the same values and saves to the same
  // bytes.
  lib.plugin->shape.setValue(0.0f, 0);
  ASSERT_TRUE(lib.plugin->loadPresetWithName("New"));
  EXPECT_FLOAT_EQ(lib.plugin->shape.getValue(), 5.0f);
  Preset copy(lib.root() + "Copy.qvp");
  ASSERT_TRUE(lib.plugin->savePreset(&copy));
  EXPECT_EQ(lib.dir.read("Copy.qvp"), lib.dir.read("Mine/New.qvp"));
}

TEST(PresetPluginTest, AFailedSaveReportsFailureAndChangesNothing) {
  Library lib;
  lib.add("Deep.qvp", {0.2f, 80.0f, 1.0f, 0.7f});
  lib.rescan();
  ASSERT_TRUE(lib.plugin->loadPresetWithName("Deep"));
  lib.plugin->gain.setValue(0.3f, 0);
  Preset* before = lib.find("Deep");
  lib.forgetCalls();

  Preset nowhere(lib.root() + "No Such Folder/Lost.qvp");
  EXPECT_FALSE(lib.plugin->savePreset(&nowhere));
  EXPECT_FALSE(lib.plugin->savePreset(nullptr));
  EXPECT_FALSE(fileExists(nowhere.getPath()));
  EXPECT_EQ(lib.context().presetName.get(), "Deep");
  EXPECT_EQ(lib.context().presetPath.get(), "Deep.qvp");
  EXPECT_TRUE(lib.context().presetModified.get());
  EXPECT_EQ(lib.adapter.presetChanges.load(), 0);
  EXPECT_EQ(lib.listener.calls(), 0);
  // Not rescanned either: the library's objects are still the same.
  EXPECT_EQ(lib.find("Deep"), before);
}

TEST(PresetPluginTest, ThePresetFileVersionIsWrittenAndExpected) {
  Library lib;
  lib.add("One.qvp", {0.1f, 111.0f, 1.0f, 0.1f}, 1);
  lib.rescan();
  GenericPlugin::setPresetFileVersion(4);
  Preset four(lib.root() + "Four.qvp");
  EXPECT_TRUE(lib.plugin->savePreset(&four));
  EXPECT_EQ(lib.dir.read("Four.qvp"), presetBytes("QTst", 4, {0.5f, 1000.0f, 0.0f, 0.25f}));
  EXPECT_FALSE(lib.plugin->loadPresetWithName("One"));
  EXPECT_TRUE(lib.plugin->loadPresetWithVersion(lib.find("One"), 1));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 111.0f);
  EXPECT_TRUE(lib.plugin->loadPresetWithName("Four"));
  EXPECT_FLOAT_EQ(lib.plugin->cutoff.getValue(), 1000.0f);
  GenericPlugin::setPresetFileVersion(1);
}

TEST(PresetPluginTest, AProductsOwnReaderRunsInsideTheSameBatch) {
  TempDir dir("zarn-library");
  dir.write("Old.qvp", presetBytes("QTst", 1, {0.3f, 300.0f, 3.0f, 0.3f}));
  dir.write("New.qvp", presetBytes("QTst", 4, {0.4f, 400.0f, 4.0f, 0.4f}));
  dir.write("Bad.qvp", presetBytes("QTst", 2, {0.4f, 400.0f, 4.0f, 0.4f}));
  UpgradingProduct plugin;
  RecordingAdapter adapter;
  plugin.registerPluginAdapter(&adapter);

  Preset old(dir.file("Old.qvp"));
  ASSERT_TRUE(plugin.loadPreset(&old));
  EXPECT_FLOAT_EQ(plugin.cutoff.getValue(), 300.0f);
  EXPECT_FLOAT_EQ(plugin.shape.getValue(), 4.0f);
  // The file's values and the adjustment reach the host as one change.
  EXPECT_EQ(adapter.calls(), 1);
  EXPECT_EQ(adapter.allParameters.load(), 1);
  EXPECT_EQ(adapter.presetChanges.load(), 1);

  Preset current(dir.file("New.qvp"));
  ASSERT_TRUE(plugin.loadPreset(&current));
  EXPECT_FLOAT_EQ(plugin.shape.getValue(), 4.0f);
  EXPECT_FLOAT_EQ(plugin.gain.getValue(), 0.4f);
  Preset bad(dir.file("Bad.qvp"));
  EXPECT_FALSE(plugin.loadPreset(&bad));
  EXPECT_EQ(adapter.presetChanges.load(), 2);
  // Outside the library the path is the file's own.
  EXPECT_EQ(plugin.getPresetContext()->presetPath.get(), dir.file("New.qvp"));
}
