// The instance's life cycle and the objects shared by every instance.

#include "tests/plugin/GenericPluginTestDriver.h"

#include "base/Folders.h"
#include "base/PlatformUtils.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "platform/Bundle.h"
#include "platform/PreferencesStore.h"
#include "plugin/ControllerMapping.h"
#include "plugin/MidiDecoder.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace genericplugintest;

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Forgets the test product's stored preferences, so that the next first
// instance sees a fresh installation.
void forgetPreferences() {
  platform::PreferencesStore store(getProductSettingsPath("Tester", 1));
  std::remove(store.filePath().c_str());
}

// A plug-in bundle in a temporary folder, registered as the module while
// the object lives.
class TestBundle {
public:
  explicit TestBundle(const std::string& info) {
    mDir.write("Zarn.bundle/Info.txt", info);
    mDir.write("Zarn.bundle/Resources/FactoryPresets/Leads/Bright.qvp", "preset");
    mDir.write("Zarn.bundle/Resources/FactoryPresets/Pads/Warm.qvp", "preset");
    mDir.write("Zarn.bundle/Resources/ApplicationData/Tables/readme.txt", "data");
    registerModuleInstance(platform::Bundle::open(mDir.file("Zarn.bundle")));
  }
  ~TestBundle() { registerModuleInstance(nullptr); }
  std::string file(const std::string& relative) const { return mDir.file(relative); }

private:
  zarn::test::TempDir mDir{"zarn-bundle"};
};

// A home of the test's own, as a new account has it (HOME alone, nothing
// in it): what an earlier test or an earlier run saved there, the settings
// and the controller map, is not found.
struct OwnHome {
  zarn::test::TempDir home{"zarn-own-home"};
  zarn::test::ScopedEnvironment h{"HOME", home.path()};
  zarn::test::ScopedEnvironment c{"XDG_CONFIG_HOME", std::nullopt};
  zarn::test::ScopedEnvironment d{"XDG_DATA_HOME", std::nullopt};
  zarn::test::ScopedEnvironment k{"XDG_CACHE_HOME", std::nullopt};
  zarn::test::ScopedEnvironment doc{"XDG_DOCUMENTS_DIR", std::nullopt};
};

} // namespace

TEST(GenericPluginLifeCycleTest, SharedObjectsLiveFromTheFirstInitializeToTheLastFinalize) {
  OwnHome account;
  ASSERT_EQ(GenericPlugin::instanceCount(), 0);
  ASSERT_EQ(GenericPlugin::sSettings, nullptr);
  gCounts = LifeCycleCounts();

  auto first = std::make_unique<TestProduct>();
  EXPECT_EQ(GenericPlugin::instanceCount(), 1);
  EXPECT_EQ(gCounts.creates, 1);
  EXPECT_EQ(gCounts.settingsReads, 1);
  // No saved map yet: the factory map is loaded instead.
  EXPECT_EQ(gCounts.midiLoads, 1);
  EXPECT_EQ(gCounts.midiFactoryLoads, 1);
  ASSERT_NE(GenericPlugin::sSettings, nullptr);
  ASSERT_NE(GenericPlugin::sVersionInfo, nullptr);
  ASSERT_NE(GenericPlugin::sPresetManager, nullptr);
  ASSERT_NE(GenericPlugin::sControllerMapping, nullptr);
  EXPECT_EQ(GenericPlugin::sVersionInfo->getShortProductName(), "Tester");
  EXPECT_EQ(GenericPlugin::sPresetManager->getManagerExtension(), ".qvp");
  EXPECT_NE(GenericPlugin::sVersionInfo->getBuildDate(), "");
  EXPECT_EQ(GenericPlugin::sControllerMapping->getParameterIndex(7), -1);
  GenericPlugin::Settings* settings = GenericPlugin::sSettings;
  ControllerMapping* mapping = GenericPlugin::sControllerMapping;

  auto second = std::make_unique<TestProduct>();
  EXPECT_EQ(GenericPlugin::instanceCount(), 2);
  EXPECT_EQ(gCounts.creates, 1);
  EXPECT_EQ(gCounts.settingsReads, 1);
  EXPECT_EQ(gCounts.midiLoads, 1);
  EXPECT_EQ(GenericPlugin::sSettings, settings);
  EXPECT_EQ(GenericPlugin::sControllerMapping, mapping);

  first.reset();
  EXPECT_EQ(GenericPlugin::instanceCount(), 1);
  EXPECT_EQ(gCounts.releases, 0);
  EXPECT_EQ(gCounts.settingsWrites, 0);
  EXPECT_EQ(gCounts.midiSaves, 0);
  EXPECT_EQ(GenericPlugin::sSettings, settings);
  // The remaining instance still works on the shared map.
  second->render(64);

  second.reset();
  EXPECT_EQ(GenericPlugin::instanceCount(), 0);
  EXPECT_EQ(gCounts.releases, 1);
  // Written once, by the last one out.
  EXPECT_EQ(gCounts.settingsWrites, 1);
  EXPECT_EQ(gCounts.midiSaves, 1);
  EXPECT_EQ(GenericPlugin::sSettings, nullptr);
  EXPECT_EQ(GenericPlugin::sVersionInfo, nullptr);
  EXPECT_EQ(GenericPlugin::sPresetManager, nullptr);
  EXPECT_EQ(GenericPlugin::sControllerMapping, nullptr);

  // A later first instance makes them again.
  auto third = std::make_unique<TestProduct>();
  EXPECT_EQ(gCounts.creates, 2);
  EXPECT_EQ(gCounts.settingsReads, 2);
  EXPECT_NE(GenericPlugin::sSettings, nullptr);
  third.reset();
  EXPECT_EQ(gCounts.releases, 2);
  EXPECT_EQ(gCounts.settingsWrites, 2);
}

TEST(GenericPluginLifeCycleTest, InitializeMakesTheInstanceObjectsAndFinalizeDeletesThem) {
  TestProduct::Options options;
  options.maxBlockSize = 100;
  auto plugin = std::make_unique<TestProduct>(options);
  wave::Environment* env = plugin->getEnvironment();
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(env->maxBlockSize, 100);
  EXPECT_EQ(env->sampleRate, 44100.0f);
  ASSERT_NE(plugin->getMidiDecoder(), nullptr);
  EXPECT_EQ(plugin->getMidiDecoder()->getMusicEventReceiver(), plugin->getMusicEventReceiver());
  ASSERT_NE(plugin->getPresetContext(), nullptr);
  EXPECT_EQ(plugin->getPresetContext()->presetName.get(), "");
  EXPECT_EQ(plugin->getPresetContext()->presetPath.get(), "");
  EXPECT_FALSE(plugin->getPresetContext()->presetModified.get());
  EXPECT_EQ(plugin->getChannelCount(), 1);
  EXPECT_EQ(plugin->getChannels().size(), 1u);

  // Destroying the product finalizes it.
  plugin.reset();
  EXPECT_EQ(GenericPlugin::instanceCount(), 0);
}

TEST(GenericPluginLifeCycleTest, ABlockSizeBelowOneRendersSampleBySample) {
  TestProduct::Options options;
  options.maxBlockSize = 0;
  TestProduct plugin(options);
  EXPECT_EQ(plugin.getEnvironment()->maxBlockSize, 1);
  plugin.render(5);
  EXPECT_EQ(plugin.source->sliceCount, 5);
  EXPECT_EQ(plugin.outputs[0][4], 4.0f);
}

TEST(GenericPluginLifeCycleTest, TheBaseClassAnswersForAPlainEffect) {
  BareProduct plugin;
  plugin.initialize("Bare", 64);
  EXPECT_EQ(plugin.getType(), 1);
  EXPECT_EQ(plugin.getCategory(), 0);
  EXPECT_EQ(plugin.getInterfaceHeight(), 0);
  EXPECT_EQ(plugin.getInterfaceWidth(), 0);
  EXPECT_FALSE(plugin.hasSideChain());
  EXPECT_EQ(plugin.getPluginFlag(), 0);
  EXPECT_EQ(plugin.getPresetManager(), GenericPlugin::sPresetManager);
  EXPECT_EQ(plugin.getPresetManager(-1), GenericPlugin::sPresetManager);
  EXPECT_NE(GenericPlugin::sPresetManager, nullptr);
  EXPECT_EQ(GenericPlugin::sPresetFileVersion, 1);
  GenericPlugin::setPresetFileVersion(4);
  EXPECT_EQ(GenericPlugin::sPresetFileVersion, 4);
  GenericPlugin::setPresetFileVersion(1);

  // The default receiver learns into the shared map, but only indexes that
  // name something: this product has no MIDI-only parameter.
  plugin.learnMidi(0x100000);
  MidiMessage cc;
  cc.status = 0xB0;
  cc.data1 = 12;
  cc.data2 = 64;
  plugin.receiveMidiMessage(cc);
  float out[8];
  float* outputs[1] = {out};
  plugin.process(nullptr, 0, outputs, 1, 8);
  EXPECT_EQ(GenericPlugin::sControllerMapping->getParameterIndex(12), -1);
  // No channel at all: silence.
  EXPECT_EQ(out[0], 0.0f);
  plugin.finalize();
  EXPECT_EQ(GenericPlugin::sPresetManager, nullptr);
}

TEST(GenericPluginLifeCycleTest, TheBundlesHelpBookNameWinsOverTheStoredOne) {
  TestProduct::Options options;
  options.storedHelpFile = "StoredBook";
  // Start from no stored preferences, whatever tests ran before in this
  // process.
  forgetPreferences();
  {
    // No bundle identifier: the stored name stays.
    TestBundle bundle("CFBundleHelpBookName=ZarnHelp\n");
    TestProduct plugin(options);
    EXPECT_EQ(GenericPlugin::sSettings->HelpFileName.get(), "StoredBook");
  }
  {
    TestBundle bundle("CFBundleIdentifier=com.quorvane.tester\nCFBundleHelpBookName=ZarnHelp\n");
    TestProduct plugin(options);
    EXPECT_EQ(GenericPlugin::sSettings->HelpFileName.get(), "ZarnHelp");
  }
  {
    // An identifier without a help book: no name at all.
    TestBundle bundle("CFBundleIdentifier=com.quorvane.tester2\n");
    TestProduct plugin(options);
    EXPECT_EQ(GenericPlugin::sSettings->HelpFileName.get(), "");
  }
}

TEST(GenericPluginLifeCycleTest, TheFirstRunInstallsTheFactoryPresetsOnce) {
  TestBundle bundle("CFBundleIdentifier=com.quorvane.tester\n");
  zarn::test::TempDir library("zarn-presets");
  TestProduct::Options options;
  options.presetFolder = library.path() + "/";
  forgetPreferences();

  std::string dataFolder;
  {
    TestProduct plugin(options);
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_TRUE(exists(library.file("Leads/Bright.qvp")));
    // The library was rescanned: the copies are listed at once.
    EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Bright"), nullptr);
    EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Warm"), nullptr);
    dataFolder = GenericPlugin::sVersionInfo->getDataFolder();
    EXPECT_TRUE(exists(dataFolder + "/Tables/readme.txt"));
  }

  // The last instance stored the running version: a later start is not a
  // first run and copies nothing.
  std::remove(library.file("Leads/Bright.qvp").c_str());
  std::remove((dataFolder + "/Tables/readme.txt").c_str());
  {
    TestProduct plugin(options);
    EXPECT_FALSE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_FALSE(exists(library.file("Leads/Bright.qvp")));
    EXPECT_FALSE(exists(dataFolder + "/Tables/readme.txt"));
    EXPECT_EQ(GenericPlugin::sPresetManager->findPresetByName("Bright"), nullptr);
    EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Warm"), nullptr);
  }
  forgetPreferences();
}

TEST(GenericPluginLifeCycleTest, AFirstRunWithoutPresetFolderCopiesNothingIntoTheWorkingFolder) {
  TestBundle bundle("CFBundleIdentifier=com.quorvane.tester\n");
  zarn::test::TempDir work("zarn-work");
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(work.path().c_str()), 0);
  forgetPreferences();
  {
    TestProduct plugin; // the library has no root folder
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
  }
  EXPECT_FALSE(exists(work.file("Leads")));
  EXPECT_FALSE(exists(work.file("Pads")));
  ASSERT_EQ(::chdir(previous), 0);
  forgetPreferences();
}

namespace {

// A product with one parameter of its own, built but never initialized, as
// a host builds an instance before it starts it.
class OneParameterProduct : public BareProduct {
public:
  DriverParameter only{this, "Only", 0.0f, 1.0f, 0.5f};
};

} // namespace

TEST(GenericPluginLifeCycleTest, AnotherInstanceNeverNarrowsWhatTheSharedMapAccepts) {
  TestProduct first;
  ControllerMapping& map = *GenericPlugin::sControllerMapping;
  map.reset();
  ASSERT_TRUE(map.setConnection(7, first.drive.getIndex()));
  first.learnMidi(first.shape.getIndex());
  {
    // Registering its one parameter must not cut the first instance's
    // parameters out of the shared map: the armed learn completes, and the
    // mapped controller moves its parameter.
    OneParameterProduct second;
    first.send(0xB0, 9, 127, 0);
    first.send(0xB0, 7, 127, 4);
    first.render(16);
    EXPECT_EQ(map.getParameterIndex(9), first.shape.getIndex());
    EXPECT_FLOAT_EQ(first.shape.getValue(), 8.0f);
    EXPECT_FLOAT_EQ(first.drive.getValue(), 1.0f);

    // A learn that no live instance can take stays armed, not lost.
    first.learnMidi(0x100000);
    first.send(0xB0, 10, 64, 0);
    first.render(16);
    EXPECT_EQ(map.getParameterIndex(10), -1);
    EXPECT_EQ(first.receiver->getLearnTarget(), 0x100000);
    first.learnMidi(-1);
  }
  {
    // A second full instance comes and goes: the first keeps its map.
    TestProduct third;
  }
  first.send(0xB0, 7, 0, 0);
  first.render(16);
  EXPECT_FLOAT_EQ(first.drive.getValue(), 0.0f);
  map.reset();
}
