// Two processes with the plug-in loaded on one account (two hosts open at
// once): each reads the settings and the MIDI map when its first instance
// starts and writes them when its last one ends. What one of them changed
// must survive the other's end, and a process that changed nothing leaves
// the files as they are. The processes are real ones (fork), each with its
// own shared objects, ending in the order the test tells them.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Folders.h"
#include "base/VersionInfo.h"
#include "platform/Alerts.h"
#include "platform/PreferencesStore.h"
#include "plugin/ControllerMapping.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace genericplugintest;
using namespace presettest;
using zarn::test::ScopedEnvironment;
using zarn::test::TempDir;

namespace {

struct Account {
  TempDir home{"zarn-shared"};
  ScopedEnvironment h{"HOME", home.path()};
  ScopedEnvironment c{"XDG_CONFIG_HOME", std::nullopt};
  ScopedEnvironment d{"XDG_DATA_HOME", std::nullopt};
  ScopedEnvironment k{"XDG_CACHE_HOME", std::nullopt};
  ScopedEnvironment doc{"XDG_DOCUMENTS_DIR", std::nullopt};
  zarn::test::TestBundle bundle{"com.quorvane.test.sharedhome"};
  std::vector<std::string> alerts;

  Account() {
    bundle.writeResource("MidiControllerMap.qvm", mapBytes(std::vector<int>(127, -1)));
    platform::setAlertHandler([this](const std::string& m) { alerts.push_back(m); });
  }
  ~Account() { platform::setAlertHandler(nullptr); }

  std::string preferences() const { return home.file(".config/com.quorvane.Tester.1.prefs"); }
  std::string map() const { return home.file(".local/share/Quorvane/Tester/MidiControllerMap.qvm"); }
  // The integer stored under key, as the file now holds it; -1 for none.
  int stored(const std::string& key) const {
    int32_t value = -1;
    platform::PreferencesStore(getProductSettingsPath("Tester", 1)).getInteger(key, value);
    return value;
  }
};

// A process with the plug-in loaded: started, it has read the settings and
// the map and waits; ended, it makes its changes and ends its instance,
// which writes what it writes, and the process exits. Its exit status is
// the number of alerts it raised.
class PlugInProcess {
public:
  explicit PlugInProcess(std::function<void(TestProduct&)> changes = nullptr) {
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0) return;
    mPid = ::fork();
    if (mPid == 0) {
      ::close(ready[0]);
      ::close(go[1]);
      std::vector<std::string> alerts;
      platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
      {
        TestProduct plugin;
        char c = 'r';
        if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(100);
        if (changes) changes(plugin);
      }
      ::_exit(static_cast<int>(alerts.size()));
    }
    ::close(ready[1]);
    ::close(go[0]);
    mGo = go[1];
    char c;
    mStarted = mPid > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~PlugInProcess() {
    if (mGo >= 0) end();
  }
  PlugInProcess(const PlugInProcess&) = delete;
  PlugInProcess& operator=(const PlugInProcess&) = delete;

  bool started() const { return mStarted; }
  // Its exit status (the alerts it raised), or -1 when it did not exit.
  int end() {
    char c = 'g';
    const bool told = ::write(mGo, &c, 1) == 1;
    ::close(mGo);
    mGo = -1;
    int status = 0;
    if (!told || !zarn::test::awaitChild(mPid, status) || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

private:
  pid_t mPid = -1;
  int mGo = -1;
  bool mStarted = false;
};

struct FileIdentity {
  ino_t inode = 0;
  timespec modified{};
  off_t size = 0;
  bool operator==(const FileIdentity& o) const {
    return inode == o.inode && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           size == o.size;
  }
};

FileIdentity identity(const std::string& path) {
  struct stat st;
  FileIdentity id;
  if (::stat(path.c_str(), &st) == 0) id = FileIdentity{st.st_ino, st.st_mtim, st.st_size};
  return id;
}

std::vector<int> only(std::initializer_list<std::pair<int, int>> connections) {
  std::vector<int> v(ControllerMapping::cControllerCount, -1);
  for (const auto& [controller, index] : connections) v[static_cast<size_t>(controller)] = index;
  return v;
}

} // namespace

TEST(SharedHomeTest, EachProcessKeepsWhatTheOtherChanged) {
  Account account;
  // The first run: the settings and the map are the user's from now on.
  {
    TestProduct plugin;
    GenericPlugin::sControllerMapping->setConnection(20, plugin.cutoff.getIndex());
  }
  // What the first run changed is stored (the welcome hint it shows); the
  // hints, on as they were by default, need no line.
  ASSERT_EQ(account.stored("showWelcomeHint"), 1);
  EXPECT_EQ(account.stored("showInteractiveHelp"), -1);
  ASSERT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), mapBytes(only({{20, 1}})));

  // B, opened after A, turns the help hints off and clears the map, and
  // ends first; A, which touched nothing, ends later.
  {
    PlugInProcess a;
    ASSERT_TRUE(a.started());
    PlugInProcess b([](TestProduct&) {
      GenericPlugin::sSettings->showInteractiveHelp = false;
      GenericPlugin::sControllerMapping->reset();
    });
    ASSERT_TRUE(b.started());
    EXPECT_EQ(b.end(), 0);
    EXPECT_EQ(account.stored("showInteractiveHelp"), 0);
    EXPECT_EQ(a.end(), 0);
  }
  EXPECT_EQ(account.stored("showInteractiveHelp"), 0);
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), mapBytes(only({})));

  // Each changes a setting of its own; A learns a controller too: its map,
  // as it stands, is the one written.
  {
    PlugInProcess a([](TestProduct& plugin) {
      GenericPlugin::sSettings->ViewProgramNumbersEnabled = true;
      GenericPlugin::sControllerMapping->setConnection(30, plugin.gain.getIndex());
    });
    ASSERT_TRUE(a.started());
    PlugInProcess b([](TestProduct&) { GenericPlugin::sSettings->SavePresetItemEnabled = true; });
    ASSERT_TRUE(b.started());
    EXPECT_EQ(b.end(), 0);
    EXPECT_EQ(a.end(), 0);
  }
  EXPECT_EQ(account.stored("ViewProgramNumbersEnabled"), 1);
  EXPECT_EQ(account.stored("SavePresetItemEnabled"), 1);
  EXPECT_EQ(account.stored("showInteractiveHelp"), 0);
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), mapBytes(only({{30, 0}})));

  // Neither changes anything: neither file is written, not even with the
  // same bytes (a full disk would have cost an alert at every end).
  const FileIdentity preferences = identity(account.preferences()), map = identity(account.map());
  ASSERT_NE(preferences.inode, 0u);
  ASSERT_NE(map.inode, 0u);
  {
    PlugInProcess a;
    ASSERT_TRUE(a.started());
    PlugInProcess b([](TestProduct&) {
      // Changed and changed back: nothing of its own to say.
      GenericPlugin::sSettings->showInteractiveHelp = true;
      GenericPlugin::sSettings->showInteractiveHelp = false;
    });
    ASSERT_TRUE(b.started());
    EXPECT_EQ(b.end(), 0);
    EXPECT_EQ(a.end(), 0);
  }
  EXPECT_TRUE(identity(account.preferences()) == preferences);
  EXPECT_TRUE(identity(account.map()) == map);
  EXPECT_TRUE(account.alerts.empty());
}

// A map that another process wrote while this one ran is that process's:
// one that found none at start-up and changed nothing leaves it alone, as
// it leaves a map that was damaged at its start and mended meanwhile.
TEST(SharedHomeTest, AMapWrittenMeanwhileIsNotReplacedByAnUnchangedOne) {
  Account account;
  {
    TestProduct plugin; // the first run writes the preferences and the map
  }
  std::remove(account.map().c_str());
  {
    PlugInProcess a;
    ASSERT_TRUE(a.started());
    PlugInProcess b([](TestProduct& plugin) { GenericPlugin::sControllerMapping->setConnection(7, plugin.drive.getIndex()); });
    ASSERT_TRUE(b.started());
    EXPECT_EQ(b.end(), 0);
    EXPECT_EQ(a.end(), 0);
  }
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), mapBytes(only({{7, 3}})));

  const std::string damaged = mapBytes(only({})).substr(0, 100);
  account.home.write(".local/share/Quorvane/Tester/MidiControllerMap.qvm", damaged);
  {
    PlugInProcess a;
    ASSERT_TRUE(a.started());
    account.home.write(".local/share/Quorvane/Tester/MidiControllerMap.qvm", mapBytes(only({{9, 2}})));
    EXPECT_EQ(a.end(), 0);
  }
  EXPECT_EQ(account.home.read(".local/share/Quorvane/Tester/MidiControllerMap.qvm"), mapBytes(only({{9, 2}})));
  EXPECT_FALSE(fileExists(account.map() + ".damaged"));
}
