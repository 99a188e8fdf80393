// The first run of an installation on a fresh account, and what the user is
// told when the plug-in cannot keep its files.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Folders.h"
#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "platform/Alerts.h"
#include "platform/PreferencesStore.h"
#include "plugin/ControllerMapping.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LeftBehind.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace genericplugintest;
using namespace presettest;
using zarn::test::ageFile;
using zarn::test::endedProcess;
using zarn::test::temporaryName;
using zarn::test::ScopedEnvironment;
using zarn::test::TempDir;

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// A fresh account of the test's own: HOME in a temporary folder, no XDG
// variable, nothing made yet; and a bundle with factory files to install.
struct FreshAccount {
  TempDir home{"zarn-fresh"};
  ScopedEnvironment h{"HOME", home.path()};
  ScopedEnvironment c{"XDG_CONFIG_HOME", std::nullopt};
  ScopedEnvironment d{"XDG_DATA_HOME", std::nullopt};
  ScopedEnvironment k{"XDG_CACHE_HOME", std::nullopt};
  ScopedEnvironment doc{"XDG_DOCUMENTS_DIR", std::nullopt};
  zarn::test::TestBundle bundle{"com.quorvane.test.firstrun"};
  std::vector<std::string> alerts;

  FreshAccount() {
    bundle.writeResource("FactoryPresets/Leads/Bright.qvp", "preset");
    bundle.writeResource("ApplicationData/Tables/readme.txt", "data");
    platform::setAlertHandler([this](const std::string& m) { alerts.push_back(m); });
  }
  ~FreshAccount() { platform::setAlertHandler(nullptr); }

  std::string presets() const { return home.file(".local/share/Presets/Quorvane/Quorvane Tester/"); }
  std::string data() const { return home.file(".local/share/Quorvane/Tester"); }
  std::string preferences() const { return home.file(".config/com.quorvane.Tester.1.prefs"); }
  std::string stored(const std::string& key) const {
    std::string value;
    platform::PreferencesStore(getProductSettingsPath("Tester", 1)).getString(key, value);
    return value;
  }
};

std::string running() { return VersionInfo("Tester").getVersion().getText(); }

} // namespace

TEST(FirstRunTest, AFreshAccountGetsEverythingInItsOwnFolders) {
  FreshAccount account;
  {
    TestProduct plugin;
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(), account.presets());
    EXPECT_TRUE(exists(account.presets() + "Leads/Bright.qvp"));
    EXPECT_TRUE(exists(account.data() + "/Tables/readme.txt"));
    EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Bright"), nullptr);
  }
  EXPECT_TRUE(account.alerts.empty()) << account.alerts.front();
  EXPECT_EQ(account.stored("CurrentVersion"), running());
  EXPECT_EQ(account.stored("PresetFolder"), account.presets());
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm").size(), 516u);
  {
    TestProduct plugin;
    EXPECT_FALSE(GenericPlugin::sVersionInfo->isFirstRun());
  }
  EXPECT_TRUE(account.alerts.empty());
}

TEST(FirstRunTest, AFailedInstallIsSaidAndTriedAgainAtTheNextStart) {
  FreshAccount account;
  // A plain file where the data folder's parent should be: no folder can
  // be made below it, not even by root, whatever the permission bits say.
  account.home.write("blocked", "a file");
  {
    ScopedEnvironment data("XDG_DATA_HOME", account.home.file("blocked/share"));
    {
      TestProduct plugin;
      EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    }
    // Said once for the install (with the path and the system's reason)
    // and once for each file that could not be saved on the way out.
    ASSERT_EQ(account.alerts.size(), 2u);
    EXPECT_NE(account.alerts[0].find("try again"), std::string::npos) << account.alerts[0];
    EXPECT_NE(account.alerts[0].find(account.home.file("blocked/share")), std::string::npos) << account.alerts[0];
    EXPECT_NE(account.alerts[0].find("Not a directory"), std::string::npos) << account.alerts[0];
    EXPECT_NE(account.alerts[1].find("MIDI controller map could not be saved"), std::string::npos);
    // The run is not recorded as done, and the folder that could not be
    // made is not remembered as the user's.
    EXPECT_TRUE(exists(account.preferences()));
    EXPECT_NE(account.stored("CurrentVersion"), running());
    EXPECT_EQ(account.stored("PresetFolder"), "");
  }
  account.alerts.clear();
  {
    TestProduct plugin;
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_TRUE(exists(account.presets() + "Leads/Bright.qvp"));
    EXPECT_TRUE(exists(account.data() + "/Tables/readme.txt"));
  }
  EXPECT_TRUE(account.alerts.empty());
  EXPECT_EQ(account.stored("CurrentVersion"), running());
}

// Preferences left by an earlier build that fell back to a documents folder
// at the root of the file system and called the first run done: the library
// moves to the user's own folder and the factory presets are installed.
TEST(FirstRunTest, ALibraryAtTheRootDocumentsFolderIsRepairedOnUpgrade) {
  FreshAccount account;
  account.home.write(".config/com.quorvane.Tester.1.prefs",
                     "QuorvanePreferences 1\ns CurrentVersion " + running() +
                         "\ns PresetFolder /Documents/Quorvane/Tester/\nend\n");
  {
    TestProduct plugin;
    EXPECT_TRUE(GenericPlugin::sVersionInfo->isFirstRun());
    EXPECT_EQ(GenericPlugin::sPresetManager->getFolderPath(), account.presets());
    EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Bright"), nullptr);
  }
  EXPECT_TRUE(account.alerts.empty()) << account.alerts.front();
  EXPECT_EQ(account.stored("PresetFolder"), account.presets());
  TestProduct again;
  EXPECT_FALSE(GenericPlugin::sVersionInfo->isFirstRun());
}

// Said as a sentence with what failed (here the folder on the file's way)
// and why, or, when no file can be named, with why not.
TEST(FirstRunTest, PreferencesThatCannotBeSavedAreSaid) {
  FreshAccount account;
  account.home.write("blocked", "a file");
  {
    ScopedEnvironment config("XDG_CONFIG_HOME", account.home.file("blocked/config"));
    TestProduct plugin;
  }
  ASSERT_EQ(account.alerts.size(), 1u);
  EXPECT_EQ(account.alerts[0], "The preferences could not be saved to " + account.home.file("blocked/config") +
                                   ": Not a directory");
  account.alerts.clear();
  {
    // Folders of "/" are none: no file can be named.
    ScopedEnvironment config("XDG_CONFIG_HOME", "/");
    ScopedEnvironment data("XDG_DATA_HOME", "/");
    TestProduct plugin;
  }
  const std::vector<std::string> unsaved(account.alerts.end() - std::min<size_t>(account.alerts.size(), 2),
                                         account.alerts.end());
  EXPECT_EQ(unsaved, (std::vector<std::string>{
                         "The preferences could not be saved: no configuration folder is known for this user",
                         "The MIDI controller map could not be saved: no data folder is known for this user"}));
}

TEST(FirstRunTest, AUsersDamagedOrOtherVersionsMapIsNeverLostWithoutAWord) {
  FreshAccount account;
  account.bundle.writeResource("MidiControllerMap.qvm", mapBytes(std::vector<int>(127, -1)));
  const std::string map = account.data() + "/MidiControllerMap.qvm";
  const std::string damaged = mapBytes(std::vector<int>(127, 2)).substr(0, 300);
  account.home.write(".local/share/Quorvane/Tester/MidiControllerMap.qvm", damaged);
  {
    TestProduct plugin;
    // Unreadable: the factory map is used meanwhile.
    EXPECT_EQ(GenericPlugin::sControllerMapping->getParameterIndex(0), -1);
    GenericPlugin::sControllerMapping->setConnection(20, plugin.cutoff.getIndex());
  }
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm.damaged"), damaged);
  std::vector<int> learned(127, -1);
  learned[20] = 1;
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), mapBytes(learned));
  ASSERT_EQ(account.alerts.size(), 1u);
  EXPECT_NE(account.alerts[0].find(map + ".damaged"), std::string::npos) << account.alerts[0];

  // Another version's map, newer (2) or nonsense (-1), is not read, since
  // its layout is unknown: the factory map serves meanwhile. It is never
  // written over; the user is told why the session's map was not saved.
  for (int version : {2, -1}) {
    SCOPED_TRACE(version);
    account.alerts.clear();
    const std::string other = mapBytes(learned, version) + std::string(40, '\x01');
    account.home.write(".local/share/Quorvane/Tester/MidiControllerMap.qvm", other);
    {
      TestProduct plugin;
      EXPECT_EQ(GenericPlugin::sControllerMapping->getParameterIndex(20), -1);
      GenericPlugin::sControllerMapping->setConnection(21, plugin.gain.getIndex());
      EXPECT_FALSE(plugin.saveMidiSettings());
    }
    EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), other);
    // Said at the start, naming the file and both versions; then the
    // editor's save (said once in the process), and not again on the way
    // out.
    ASSERT_EQ(account.alerts.size(), version == 2 ? 2u : 1u);
    EXPECT_EQ(account.alerts[0], "The MIDI controller map " + map + " is of version " + std::to_string(version) +
                                     ", and Quorvane Tester reads version 1 only: the file is left as it is, "
                                     "and the controllers learned in it are not used.");
    if (version == 2) {
      EXPECT_EQ(account.alerts[1], "The MIDI controller map could not be saved to " + map +
                                       ": the file was written by another version and is left as it is");
    }
  }
}

// The map damaged again after its first copy was kept: the second copy
// goes beside the first, which keeps what the first alert promised, and
// each alert names the copy it made.
TEST(FirstRunTest, EachDamageOfTheMapIsKeptUnderANameOfItsOwn) {
  FreshAccount account;
  account.bundle.writeResource("MidiControllerMap.qvm", mapBytes(std::vector<int>(127, -1)));
  const std::string map = account.data() + "/MidiControllerMap.qvm";
  const std::vector<std::string> damages = {mapBytes(std::vector<int>(127, 2)).substr(0, 300),
                                            mapBytes(std::vector<int>(127, 1)).substr(0, 200)};
  const std::string kept = ".local/share/Quorvane/Tester/MidiControllerMap.qvm.damaged";
  const std::vector<std::string> copies = {kept, kept + "-2"};
  for (size_t i = 0; i < damages.size(); ++i) {
    SCOPED_TRACE(copies[i]);
    account.home.write(".local/share/Quorvane/Tester/MidiControllerMap.qvm", damages[i]);
    {
      TestProduct plugin;
      GenericPlugin::sControllerMapping->setConnection(20, plugin.cutoff.getIndex());
    }
    ASSERT_EQ(account.alerts.size(), i + 1);
    EXPECT_EQ(account.alerts[i], "The MIDI controller map " + map +
                                     " was damaged and could not be read; the damaged file was kept as " +
                                     account.home.file(copies[i]) + ".");
  }
  // Each damaged file byte for byte, under the name its alert gave.
  for (size_t i = 0; i < damages.size(); ++i) EXPECT_EQ(account.home.read(copies[i]), damages[i]) << copies[i];
}

// A process killed while it wrote a file whole leaves a temporary file
// behind. The next start removes those that no writer holds any more from
// the folders the plug-in writes to, and never a file of a writer still at
// work (in whatever process or PID namespace), nor another program's.
TEST(FirstRunTest, TemporaryFilesNoWriterHoldsAreRemovedAtStart) {
  FreshAccount account;
  { TestProduct plugin; } // the first run makes the folders
  const pid_t ended = endedProcess();
  const std::string data = account.data() + "/";
  const std::string config = account.home.file(".config/");
  const std::vector<std::string> stale = {
      data + temporaryName("MidiControllerMap.qvm", ended, 0),
      data + temporaryName("Zarn.dat", ended, 4),
      data + "Component Presets/Filters/" + temporaryName("Dark.qvf", ended, 5),
      account.presets() + temporaryName("Clean.qvp", ended, 1),
      account.presets() + "Leads/" + temporaryName("Bright.qvp", ended, 2),
      config + temporaryName("com.quorvane.Tester.1.prefs", ended, 0),
  };
  const std::string held = account.presets() + temporaryName("Pluck.qvp", 403, 0);
  const std::vector<std::string> kept = {
      held,
      // The configuration folder is everyone's: another program's file stays.
      config + temporaryName("org.example.Other.prefs", ended, 0),
      // Another program's, in a preset folder the user shares with it.
      account.presets() + ".notes.txt." + std::to_string(ended) + "-7.part",
  };
  for (const std::vector<std::string>* files : {&stale, &kept})
    for (const std::string& f : *files) {
      account.home.write(f.substr(account.home.path().size() + 1), "part");
      ASSERT_TRUE(ageFile(f, 3600));
    }
  const zarn::test::LockHolder writer(held);
  ASSERT_TRUE(writer.holding());
  { TestProduct plugin; }
  for (const std::string& f : stale) EXPECT_FALSE(exists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(exists(f)) << f;
  EXPECT_TRUE(exists(account.presets() + "Leads/Bright.qvp"));
}
