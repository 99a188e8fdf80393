#include "platform/PreferencesStore.h"

#include "platform/Alerts.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadLook.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <optional>
#include <string>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using platform::PreferencesStore;

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

// A configuration folder of its own for each test.
struct ConfigFolder {
  zarn::test::TempDir dir{"zarn-config"};
  zarn::test::ScopedEnvironment env{"XDG_CONFIG_HOME", dir.file("config")};
};

} // namespace

TEST(PreferencesStoreTest, WritesTheDocumentedLayout) {
  ConfigFolder config;
  PreferencesStore store("com.quorvane.Zarn.1");
  EXPECT_EQ(store.filePath(), config.dir.file("config/com.quorvane.Zarn.1.prefs"));
  store.setString("PresetFolder", "/home/u/Presets/Quorvane Zarn/");
  store.setInteger("showWelcomeHint", 1);
  store.setInteger("Min", INT_MIN);
  store.setString("Odd key%", "a\nb\x7f\xC3\xA9");
  store.setString("Empty", "");
  EXPECT_TRUE(store.hasChanges());
  // The folder is made on the first write.
  EXPECT_TRUE(store.synchronize());
  EXPECT_FALSE(store.hasChanges());
  EXPECT_EQ(config.dir.read("config/com.quorvane.Zarn.1.prefs"),
            "QuorvanePreferences 1\n"
            "s Empty \n"
            "i Min -2147483648\n"
            "s Odd%20key%25 a%0Ab%7F\xC3\xA9\n"
            "s PresetFolder /home/u/Presets/Quorvane%20Zarn/\n"
            "i showWelcomeHint 1\n"
            "end\n");
}

TEST(PreferencesStoreTest, EveryByteRoundTrips) {
  ConfigFolder config;
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  {
    PreferencesStore store("d");
    store.setString(all, all);
    store.setInteger("max", INT_MAX);
    store.setInteger("min", INT_MIN);
    ASSERT_TRUE(store.synchronize());
  }
  PreferencesStore store("d");
  std::string s;
  int32_t i = 0;
  ASSERT_TRUE(store.getString(all, s));
  EXPECT_EQ(s, all);
  EXPECT_TRUE(store.getInteger("max", i));
  EXPECT_EQ(i, INT_MAX);
  EXPECT_TRUE(store.getInteger("min", i));
  EXPECT_EQ(i, INT_MIN);
  // Typed: an integer is no string and the other way round.
  EXPECT_FALSE(store.getString("max", s));
  EXPECT_FALSE(store.getInteger(all, i));
}

// The last byte of a key or value may be one that is escaped: a folder
// typed with a blank at its end, a name ending in '%'.
TEST(PreferencesStoreTest, AnEscapeEndingAKeyOrValueIsRead) {
  ConfigFolder config;
  config.dir.write("config/d.prefs", "QuorvanePreferences 1\n"
                                     "s Folder%20 /home/u/My%20Presets%20\n"
                                     "s 100%25 line%0A\n"
                                     "i x%09 7\n"
                                     "end\n");
  {
    PreferencesStore store("d");
    std::string s;
    int32_t i = 0;
    EXPECT_TRUE(store.getString("Folder ", s));
    EXPECT_EQ(s, "/home/u/My Presets ");
    EXPECT_TRUE(store.getString("100%", s));
    EXPECT_EQ(s, "line\n");
    EXPECT_TRUE(store.getInteger("x\t", i));
    EXPECT_EQ(i, 7);
    // Nothing was damaged: a write keeps no copy of the file.
    store.setInteger("y", 1);
    ASSERT_TRUE(store.synchronize()) << store.lastError();
  }
  EXPECT_EQ(entries(config.dir.file("config")), std::vector<std::string>{"d.prefs"});
  PreferencesStore again("d");
  std::string s;
  EXPECT_TRUE(again.getString("Folder ", s));
  EXPECT_EQ(s, "/home/u/My Presets ");
}

TEST(PreferencesStoreTest, ABadLineCostsOnlyItselfAndTheDamagedFileIsKeptOnce) {
  ConfigFolder config;
  std::vector<std::string> alerts;
  platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
  const std::string damaged = "QuorvanePreferences 1\n"
                              "i a 1\n"
                              "x junk line\n"
                              "ix 5\n" // no blank after the type
                              "s b two\n"
                              "i c 1x\n"
                              "s FutureKey kept%20as%20it%20is\n"
                              "s d a b c\n" // a raw blank in a value
                              "end\n";
  config.dir.write("config/d.prefs", damaged);
  {
    PreferencesStore store("d");
    int32_t i = 0;
    std::string s;
    EXPECT_TRUE(store.getInteger("a", i));
    EXPECT_EQ(i, 1);
    EXPECT_TRUE(store.getString("b", s));
    EXPECT_EQ(s, "two");
    EXPECT_FALSE(store.getInteger("c", i));
    EXPECT_FALSE(store.getString("d", s));
    // Reading alone changes nothing on disk and says nothing.
    EXPECT_TRUE(alerts.empty());
    store.setInteger("a", 2);
    ASSERT_TRUE(store.synchronize()) << store.lastError();
  }
  // The key this version does not know is written back; the bad lines go,
  // and the file they were in is kept beside.
  EXPECT_EQ(config.dir.read("config/d.prefs"), "QuorvanePreferences 1\n"
                                               "s FutureKey kept%20as%20it%20is\n"
                                               "i a 2\n"
                                               "s b two\n"
                                               "end\n");
  EXPECT_EQ(config.dir.read("config/d.prefs.damaged"), damaged);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_NE(alerts[0].find(config.dir.file("config/d.prefs.damaged")), std::string::npos);
  {
    PreferencesStore store("d");
    store.setInteger("a", 3);
    ASSERT_TRUE(store.synchronize());
  }
  EXPECT_EQ(alerts.size(), 1u); // said once
  EXPECT_EQ(config.dir.read("config/d.prefs.damaged"), damaged);
  platform::setAlertHandler(nullptr);
}

// The file damaged again after its first copy was kept: the second copy
// goes beside the first, which holds what the first alert promised, and
// each alert names the copy it made. A third damage takes the third name.
TEST(PreferencesStoreTest, EachDamageIsKeptUnderANameOfItsOwn) {
  ConfigFolder config;
  std::vector<std::string> alerts;
  platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
  const std::vector<std::string> damages = {"QuorvanePreferences 1\ni a 1\nx first junk\nend\n",
                                            "QuorvanePreferences 1\ni a 2\nx second junk\nend\n",
                                            "QuorvanePreferences 1\ni a 3\n"};
  const std::vector<std::string> copies = {"config/d.prefs.damaged", "config/d.prefs.damaged-2",
                                           "config/d.prefs.damaged-3"};
  for (size_t i = 0; i < damages.size(); ++i) {
    SCOPED_TRACE(copies[i]);
    config.dir.write("config/d.prefs", damages[i]);
    PreferencesStore store("d");
    store.setInteger("b", static_cast<int32_t>(i));
    ASSERT_TRUE(store.synchronize()) << store.lastError();
    ASSERT_EQ(alerts.size(), i + 1);
    EXPECT_EQ(alerts[i], "The preferences file " + config.dir.file("config/d.prefs") +
                             " was damaged. The settings that could be read were kept; the damaged file was kept as " +
                             config.dir.file(copies[i]) + ".");
  }
  // Each damaged file byte for byte, under the name its alert gave.
  for (size_t i = 0; i < damages.size(); ++i) EXPECT_EQ(config.dir.read(copies[i]), damages[i]) << copies[i];
  platform::setAlertHandler(nullptr);
}

TEST(PreferencesStoreTest, AFileCutShortKeepsItsWholeLinesOnly) {
  ConfigFolder config;
  {
    PreferencesStore store("d");
    store.setInteger("a", 1234);
    store.setString("b", "/home/u/Presets/");
    ASSERT_TRUE(store.synchronize());
  }
  const std::string whole = config.dir.read("config/d.prefs");
  for (size_t n = 0; n < whole.size(); ++n) {
    config.dir.write("config/d.prefs", whole.substr(0, n));
    PreferencesStore store("d");
    int32_t i = 0;
    std::string s;
    // A value is read whole or not at all: a cut never shortens it.
    if (store.getInteger("a", i)) {
      EXPECT_EQ(i, 1234) << n;
    }
    if (store.getString("b", s)) {
      EXPECT_EQ(s, "/home/u/Presets/") << n;
    }
    const bool aLineComplete = whole.substr(0, n).find("i a 1234\n") != std::string::npos;
    EXPECT_EQ(store.getInteger("a", i), aLineComplete) << n;
  }
  // Something else entirely under that name holds nothing.
  config.dir.write("config/d.prefs", "\x89PNG\r\n\x1a\n");
  int32_t i = 0;
  EXPECT_FALSE(PreferencesStore("d").getInteger("a", i));
  config.dir.write("config/d.prefs", "QuorvanePreferences 1\ni a 7\ni a 8\nend\n");
  EXPECT_TRUE(PreferencesStore("d").getInteger("a", i));
  EXPECT_EQ(i, 8);
}

// A file cut at a line boundary has only whole lines, but those after the
// cut are gone: only the missing end line tells, and then the user must
// hear of it and keep the file as it was. So with lines after the end, or
// a header line that says more than the version: something else wrote
// there, and the file is not what this version wrote.
TEST(PreferencesStoreTest, AFileWithoutItsEndLineIsKeptAsDamaged) {
  const std::string whole = "QuorvanePreferences 1\n"
                            "i a 1234\n"
                            "s b /home/u/Presets/\n"
                            "end\n";
  // Writes file, stores one value and gives back what is then on disk.
  auto rewritten = [](const std::string& file) {
    SCOPED_TRACE(file);
    ConfigFolder config;
    std::vector<std::string> alerts;
    platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
    config.dir.write("config/d.prefs", file);
    {
      PreferencesStore store("d");
      store.setInteger("c", 5);
      EXPECT_TRUE(store.synchronize()) << store.lastError();
    }
    EXPECT_EQ(config.dir.read("config/d.prefs.damaged"), file);
    EXPECT_EQ(alerts.size(), 1u);
    platform::setAlertHandler(nullptr);
    return config.dir.read("config/d.prefs");
  };
  // Cut after the header, after the first entry and after the second.
  for (size_t n = whole.find('\n') + 1; n < whole.size(); n = whole.find('\n', n) + 1) {
    const std::string cut = whole.substr(0, n);
    const bool a = cut.find("i a 1234\n") != std::string::npos;
    const bool b = cut.find("s b /home/u/Presets/\n") != std::string::npos;
    EXPECT_EQ(rewritten(cut), std::string("QuorvanePreferences 1\n") + (a ? "i a 1234\n" : "") +
                                  (b ? "s b /home/u/Presets/\n" : "") +
                                  "i c 5\n"
                                  "end\n");
  }
  const std::string body = whole.substr(whole.find('\n') + 1);
  for (const std::string& odd : {whole + "i z 1\n", whole + "end\n", whole + "i z", "QuorvanePreferences 1 \n" + body}) {
    // Every entry is still read, and kept.
    EXPECT_NE(rewritten(odd).find("i a 1234\ns b /home/u/Presets/\n"), std::string::npos) << odd;
  }
}

TEST(PreferencesStoreTest, ANewerVersionsFileIsReadButNeverRewritten) {
  ConfigFolder config;
  const std::string newer = "QuorvanePreferences 2\ni a 1\nf ratio 1.5\ns b two\nend\n";
  config.dir.write("config/d.prefs", newer);
  PreferencesStore store("d");
  int32_t i = 0;
  std::string s;
  EXPECT_TRUE(store.getInteger("a", i));
  EXPECT_EQ(i, 1);
  EXPECT_TRUE(store.getString("b", s));
  store.setInteger("a", 5);
  EXPECT_FALSE(store.synchronize());
  EXPECT_NE(store.lastError().find("newer version"), std::string::npos);
  EXPECT_TRUE(store.hasChanges());
  EXPECT_EQ(config.dir.read("config/d.prefs"), newer);
  EXPECT_EQ(entries(config.dir.file("config")), std::vector<std::string>{"d.prefs"});
}

TEST(PreferencesStoreTest, SynchronizeMergesWithWhatIsOnDisk) {
  ConfigFolder config;
  PreferencesStore first("d"), second("d");
  first.setInteger("a", 1);
  first.setInteger("gone", 5);
  ASSERT_TRUE(first.synchronize());
  second.setInteger("b", 2);
  second.remove("gone");
  ASSERT_TRUE(second.synchronize());
  PreferencesStore reader("d");
  int32_t i = 0;
  EXPECT_TRUE(reader.getInteger("a", i));
  EXPECT_TRUE(reader.getInteger("b", i));
  EXPECT_FALSE(reader.getInteger("gone", i));
  // Pending changes win over the file when it is read again.
  first.setInteger("a", 3);
  first.reload();
  EXPECT_TRUE(first.getInteger("a", i));
  EXPECT_EQ(i, 3);
  // Nothing but the one file is ever left in the folder.
  EXPECT_TRUE(first.synchronize());
  EXPECT_EQ(entries(config.dir.file("config")), std::vector<std::string>{"d.prefs"});
}

TEST(PreferencesStoreTest, FailedWriteKeepsTheOldFileAndTheChanges) {
  ConfigFolder config;
  // A folder where the file should be cannot be replaced.
  ASSERT_EQ(mkdir(config.dir.file("config").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(config.dir.file("config/d.prefs").c_str(), 0700), 0);
  PreferencesStore store("d");
  store.setInteger("a", 1);
  EXPECT_FALSE(store.synchronize());
  EXPECT_EQ(store.lastError().substr(0, store.filePath().size() + 2), store.filePath() + ": ");
  EXPECT_TRUE(store.hasChanges());
  EXPECT_EQ(entries(config.dir.file("config")), std::vector<std::string>{"d.prefs"});

  for (const char* bad : {"", ".", "..", "a/b", "tab\there"}) {
    PreferencesStore s(bad);
    EXPECT_EQ(s.filePath(), "") << bad;
    s.setInteger("a", 1);
    EXPECT_FALSE(s.synchronize()) << bad;
  }
}

// What failed is said as such: the folder that could not be made with
// mkdir's own reason (not the file that is then missing), a folder below a
// file, no folder known at all, a domain that names no file.
TEST(PreferencesStoreTest, AWriteThatCannotBeginSaysWhatFailed) {
  struct Case {
    const char* what;
    std::optional<std::string> home, config; // below DIR, or "/" alone; nullopt: unset
    const char* domain;
    std::string said; // DIR for the case's folder
  };
  const std::vector<Case> cases = {
      {"a home that takes no new folder", "ro", std::nullopt, "d",
       "DIR/ro/.config: Permission denied"},
      {"a folder deep below one that takes none", "ro", "ro/a/b", "d",
       "DIR/ro/a: Permission denied"},
      {"a file in a folder's place", "ro", "blocked/config", "d", "DIR/blocked/config: Not a directory"},
      {"no configuration folder known", "ro", "/", "d", "no configuration folder is known for this user"},
      {"a domain that names no file", "ro", "config", "a/b", "the settings domain names no file"},
  };
  for (const Case& c : cases) {
    zarn::test::TempDir dir("zarn-config");
    dir.write("blocked", "a file");
    ASSERT_EQ(mkdir(dir.file("ro").c_str(), 0500), 0);
    auto place = [&](const std::optional<std::string>& p) -> std::optional<std::string> {
      if (!p) return std::nullopt;
      return *p == "/" ? *p : dir.file(*p);
    };
    const zarn::test::ChildResult r = zarn::test::runInChild([&] {
      if (!zarn::test::meetPermissionsAsOwner()) return std::string("permissions are passed by");
      zarn::test::ScopedEnvironment home("HOME", place(c.home));
      zarn::test::ScopedEnvironment config("XDG_CONFIG_HOME", place(c.config));
      PreferencesStore store(c.domain);
      store.setInteger("a", 1);
      if (store.synchronize()) return std::string("written");
      std::string said = store.lastError();
      for (size_t at = said.find(dir.path()); at != std::string::npos; at = said.find(dir.path(), at))
        said.replace(at, dir.path().size(), "DIR");
      return said;
    });
    EXPECT_EQ(r.output, c.said) << c.what;
    ASSERT_EQ(chmod(dir.file("ro").c_str(), 0700), 0);
  }
}

TEST(PreferencesStoreTest, ConfigurationFolderFollowsXdgRules) {
  zarn::test::TempDir home;
  zarn::test::ScopedEnvironment h("HOME", home.path());
  {
    zarn::test::ScopedEnvironment c("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(PreferencesStore::folder(), home.path() + "/.config");
  }
  {
    // Relative values are ignored.
    zarn::test::ScopedEnvironment c("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(PreferencesStore::folder(), home.path() + "/.config");
  }
  zarn::test::ScopedEnvironment c("XDG_CONFIG_HOME", home.path() + "/cfg/");
  EXPECT_EQ(PreferencesStore::folder(), home.path() + "/cfg");
}

// Another process merging into the file at the same moment: while it holds
// the lock beside the file, a store waits, and then merges into what that
// process wrote, not into what was there before. (The test makes its write
// once the store is seen pausing between its tries for the lock; the
// outcome would be the same had the store come later.)
TEST(PreferencesStoreTest, AStoreMergesAfterAnotherProcessHoldingTheLock) {
  ConfigFolder config;
  {
    PreferencesStore first("d");
    first.setInteger("x", 1);
    ASSERT_TRUE(first.synchronize());
  }
  const std::string lockFile = config.dir.file("config/.d.prefs.lock");
  const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    PreferencesStore store("d");
    store.setInteger("y", 2);
    ::_exit(store.synchronize() ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  EXPECT_TRUE(zarn::test::eventually([&] {
    const auto look = zarn::test::lookAt(child, child);
    return look && zarn::test::inPause(*look);
  })) << "the store was never seen waiting for the lock";
  // The other process's write, as a store makes it: a new file renamed
  // over the old one; then it lets go as a store does.
  config.dir.write("config/d.prefs.new", "QuorvanePreferences 1\ni x 5\nend\n");
  ASSERT_EQ(::rename(config.dir.file("config/d.prefs.new").c_str(), config.dir.file("config/d.prefs").c_str()), 0);
  ::unlink(lockFile.c_str());
  ::close(lock);
  int status = 0;
  ASSERT_TRUE(zarn::test::awaitChild(child, status)) << "the store did not end once the lock was free";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(config.dir.read("config/d.prefs"), "QuorvanePreferences 1\ni x 5\ni y 2\nend\n");
  EXPECT_EQ(entries(config.dir.file("config")), std::vector<std::string>{"d.prefs"});
}

// Another process stalls holding the lock (its fsync on a slow disk, or a
// debugger) for longer than a store waits. The store must not write
// without the lock: the holder's rename, made from what it read before,
// would drop its key. It fails, says so, and the next store of the domain
// in this process writes the key after the holder is done.
TEST(PreferencesStoreTest, AStalledHolderOfTheLockCostsNoKey) {
  ConfigFolder config;
  {
    PreferencesStore first("d");
    first.setInteger("x", 1);
    ASSERT_TRUE(first.synchronize());
  }
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    // A store's merge, as another process makes it: lock, read, (stall),
    // write a new file over the old one, let go. It stalls until the test
    // has seen the store give up; a store that never gives up gets the
    // lock once the holder's patience ends, and the case fails on that.
    ::close(release[1]);
    const std::string lockFile = config.dir.file("config/.d.prefs.lock");
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) ::_exit(2);
    const std::string before = config.dir.read("config/d.prefs");
    if (::write(ready[1], "r", 1) != 1) ::_exit(2);
    pollfd released{release[0], POLLIN, 0};
    ::poll(&released, 1, static_cast<int>(std::chrono::milliseconds(zarn::test::cPatience).count()));
    config.dir.write("config/d.prefs.new", "QuorvanePreferences 1\ni x 5\nend\n");
    ::rename(config.dir.file("config/d.prefs.new").c_str(), config.dir.file("config/d.prefs").c_str());
    ::unlink(lockFile.c_str());
    ::_exit(before.empty() ? 2 : 0);
  }
  ASSERT_GT(holder, 0);
  ::close(ready[1]);
  ::close(release[0]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);

  {
    PreferencesStore store("d");
    store.setInteger("y", 2);
    // Every pause of the store between its tries oversleeps by up to
    // 100 ms, as on a busy machine: its wait still ends after the seconds
    // it says, by the clock (300 pauses would take more than 30 s).
    ASSERT_EQ(::prctl(PR_SET_TIMERSLACK, 100'000'000UL), 0);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(store.synchronize());
    const auto waited = std::chrono::steady_clock::now() - asked;
    ::prctl(PR_SET_TIMERSLACK, 0UL); // the thread's default again
    EXPECT_GE(waited, std::chrono::seconds(3));
    EXPECT_LT(waited, zarn::test::cPatience);
    EXPECT_NE(store.lastError().find("more than 3 seconds; the changes are kept"), std::string::npos)
        << store.lastError();
    EXPECT_TRUE(store.hasChanges());
  }
  EXPECT_EQ(::write(release[1], "g", 1), 1);
  ::close(release[1]);
  int status = 0;
  ASSERT_TRUE(zarn::test::awaitChild(holder, status)) << "the holder did not let go";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(config.dir.read("config/d.prefs"), "QuorvanePreferences 1\ni x 5\nend\n");

  // The next save of the domain in this process carries the kept key.
  PreferencesStore next("d");
  int32_t y = 0;
  EXPECT_TRUE(next.getInteger("y", y));
  EXPECT_EQ(y, 2);
  next.setString("z", "later");
  EXPECT_TRUE(next.synchronize()) << next.lastError();
  EXPECT_EQ(config.dir.read("config/d.prefs"), "QuorvanePreferences 1\ni x 5\ni y 2\ns z later\nend\n");
  // Written once, kept no longer.
  EXPECT_FALSE(PreferencesStore("d").hasChanges());
}

// The preferences are saved as every file of the user: a link at their name
// (a dotfiles set-up) stays a link and the file it names keeps its mode;
// only a regular file or nothing is ever replaced.
TEST(PreferencesStoreTest, SavesOnlyIntoARegularFileAndFollowsALink) {
  zarn::test::Saver saver;
  saver.name = "d.prefs";
  saver.write = [](const std::string& path, const std::function<void()>&) {
    zarn::test::ScopedEnvironment config("XDG_CONFIG_HOME", path.substr(0, path.rfind('/')));
    PreferencesStore store("d");
    store.setString("k", "v w");
    return store.synchronize();
  };
  // A file of no keys before, so nothing else is merged in.
  saver.old = "QuorvanePreferences 1\nend\n";
  saver.written = "QuorvanePreferences 1\ns k v%20w\nend\n";
  saver.newMode = 0600;
  zarn::test::expectOnlyRegularFilesSaved(saver);
}
