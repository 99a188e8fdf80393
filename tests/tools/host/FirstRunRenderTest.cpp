// "zarn-host render" run as a new user runs it: the command-line tool in a
// process of its own, in the home of a fresh account (HOME alone, no XDG
// variable, no folder made), then with a data folder that cannot be
// written, then normally again.

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/tools/render/MidiBytes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string hostExecutable() {
#ifdef ZARN_HOST_EXECUTABLE
  return ZARN_HOST_EXECUTABLE;
#else
  return "";
#endif
}

std::string bundlePath() {
#ifdef ZARN_BUNDLE
  return ZARN_BUNDLE;
#else
  return "";
#endif
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct HostRun {
  int status = -1;
  std::string err;
};

// zarn-host with exactly this environment (and a PATH), its standard
// error kept.
HostRun runHost(const std::vector<std::string>& args, const std::vector<std::string>& environment,
            const zarn::test::TempDir& dir) {
  std::vector<std::string> argv{hostExecutable()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> av, ev;
  for (std::string& a : argv) av.push_back(a.data());
  av.push_back(nullptr);
  std::vector<std::string> env = environment;
  env.push_back("PATH=/usr/bin:/bin");
  for (std::string& e : env) ev.push_back(e.data());
  ev.push_back(nullptr);

  const std::string errFile = dir.file("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  HostRun run;
  if (posix_spawn(&pid, av[0], &actions, nullptr, av.data(), ev.data()) == 0) {
    int status = 0;
    // A first run builds the wave tables: the wait is that of the other
    // commands run as programs (hosttest::waitForExit).
    if (!zarn::test::awaitChild(pid, status, 120))
      run.status = -1; // killed after the wait: a first run that hangs
    else
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.err = readFile(errFile);
  return run;
}

// Every file below the folder, relative to it.
std::set<std::string> filesBelow(const std::string& folder) {
  std::set<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.insert(fs::relative(it->path(), folder).string());
  return files;
}

// What the preferences file stores under the key, "<missing>" when nothing.
std::string stored(const std::string& prefs, const std::string& key) {
  const std::string line = "s " + key + " ";
  const size_t at = prefs.find("\n" + line);
  if (at == std::string::npos) return "<missing>";
  const size_t start = at + 1 + line.size();
  return prefs.substr(start, prefs.find('\n', start) - start);
}

class FirstRunRenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (hostExecutable().empty() || bundlePath().empty()) GTEST_SKIP() << "zarn-host or the bundle is not built";
    // Two notes, half a second.
    dir.write("song.mid", midibytes::header(0, 1, 480) +
                              midibytes::track({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x43, 0x50, //
                                                0x83, 0x60, 0x80, 0x3C, 0x40, 0x00, 0x80, 0x43, 0x40, //
                                                0x00, 0xFF, 0x2F, 0x00}));
    factoryPresets = filesBelow(bundlePath() + "/Resources/FactoryPresets");
    ASSERT_FALSE(factoryPresets.empty());
  }

  HostRun render(const std::vector<std::string>& environment, const std::string& out) {
    return runHost({"render", "--bundle", bundlePath(), dir.file("song.mid"), dir.file(out)}, environment, dir);
  }
  std::string home(const std::string& relative) const { return dir.file("home/" + relative); }
  std::string prefs() const { return readFile(home(".config/com.quorvane.Zarn.1.prefs")); }

  zarn::test::TempDir dir{"zarn-firstrun"};
  std::set<std::string> factoryPresets;
};

} // namespace

TEST_F(FirstRunRenderTest, AFreshAccountRendersAndKeepsEverythingInItsOwnFolders) {
  fs::create_directories(home(""));
  const std::vector<std::string> fresh{"HOME=" + home("")};
  HostRun first = render(fresh, "first.wav");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_GT(readFile(dir.file("first.wav")).size(), 44u);

  // The factory presets, the table cache and the controller map are in the
  // user's folders, and the first run is recorded as done.
  EXPECT_EQ(filesBelow(home(".local/share/Presets/Quorvane/Quorvane Zarn")), factoryPresets);
  EXPECT_EQ(readFile(home(".local/share/Quorvane/Zarn/MidiControllerMap.qvm")).size(), 516u);
  EXPECT_GT(readFile(home(".local/share/Quorvane/Zarn/Zarn.dat")).size(), 1000000u);
  EXPECT_EQ(stored(prefs(), "CurrentVersion"), "1.00");
  EXPECT_EQ(stored(prefs(), "PresetFolder"), home(".local/share/Presets/Quorvane/Quorvane%20Zarn/"));

  // A data folder that cannot be written (a plain file stands where its
  // parent should be, which even root cannot get past): the song renders,
  // and the user is told once why the table cache and the map could not
  // be saved.
  const std::string map = readFile(home(".local/share/Quorvane/Zarn/MidiControllerMap.qvm"));
  std::ofstream(home("blocked")) << "a file";
  std::vector<std::string> blocked = fresh;
  blocked.push_back("XDG_DATA_HOME=" + home("blocked/share"));
  HostRun second = render(blocked, "second.wav");
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_GT(readFile(dir.file("second.wav")).size(), 44u);
  const std::string said = "The wave-table cache could not be saved to " +
                           home("blocked/share/Quorvane/Zarn/Zarn.dat") + ": " + home("blocked/share/Quorvane/Zarn") +
                           ": Not a directory; the tables are built anew at each start meanwhile.\n"
                           "The MIDI controller map could not be saved to " +
                           home("blocked/share/Quorvane/Zarn/MidiControllerMap.qvm") + ": " +
                           home("blocked/share/Quorvane/Zarn") + ": Not a directory\n";
  EXPECT_EQ(second.err, said);

  // The next run in the usable folder saves again.
  fs::remove(home(".local/share/Quorvane/Zarn/MidiControllerMap.qvm"));
  HostRun third = render(fresh, "third.wav");
  ASSERT_EQ(third.status, 0) << third.err;
  EXPECT_EQ(third.err, "");
  EXPECT_EQ(readFile(home(".local/share/Quorvane/Zarn/MidiControllerMap.qvm")), map);
}

// A FIFO where the wave-table cache goes: the tables are built, the FIFO
// stays, and the user is told once, the path said once with the reason.
TEST_F(FirstRunRenderTest, ACacheThatIsAFifoIsSaidWithItsPathOnce) {
  fs::create_directories(home(""));
  const std::vector<std::string> fresh{"HOME=" + home("")};
  HostRun first = render(fresh, "first.wav");
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string cache = home(".local/share/Quorvane/Zarn/Zarn.dat");
  ASSERT_TRUE(fs::remove(cache));
  ASSERT_EQ(::mkfifo(cache.c_str(), 0600), 0);
  HostRun second = render(fresh, "second.wav");
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err, "The wave-table cache could not be saved to " + cache +
                            ": it is a FIFO (a named pipe), not a regular file; the tables are built anew at each "
                            "start meanwhile.\n");
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(cache)));
  EXPECT_TRUE(readFile(dir.file("first.wav")) == readFile(dir.file("second.wav")));
}

TEST_F(FirstRunRenderTest, AFirstRunThatCannotInstallIsSaidAndTriedAgain) {
  fs::create_directories(home(""));
  std::ofstream(home("blocked")) << "a file";
  HostRun first = render({"HOME=" + home(""), "XDG_DATA_HOME=" + home("blocked/share")}, "first.wav");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_GT(readFile(dir.file("first.wav")).size(), 44u);
  // Said once, with the paths and the system's reason.
  EXPECT_EQ(first.err,
            "The wave-table cache could not be saved to " + home("blocked/share/Quorvane/Zarn/Zarn.dat") + ": " +
                home("blocked/share/Quorvane/Zarn") +
                ": Not a directory; the tables are built anew at each start meanwhile.\n"
                "Quorvane Zarn could not install its factory files; it will try again at the next start. Presets: " +
                home("blocked/share/Presets/Quorvane/Quorvane Zarn") +
                ": Not a directory. The factory presets are offered from the plug-in's bundle meanwhile. "
                "Application data: " +
                home("blocked/share/Quorvane/Zarn") + ": Not a directory.\n"
                "The MIDI controller map could not be saved to " +
                home("blocked/share/Quorvane/Zarn/MidiControllerMap.qvm") + ": " + home("blocked/share/Quorvane/Zarn") +
                ": Not a directory\n");
  // Not recorded as done, and the folder that could not be made is not
  // remembered: neither key changed from what was read (nothing), so
  // neither is written.
  EXPECT_EQ(stored(prefs(), "CurrentVersion"), "<missing>");
  EXPECT_EQ(stored(prefs(), "PresetFolder"), "<missing>");

  // The factory presets are there meanwhile, from the bundle: one is
  // found by name.
  HostRun named = runHost({"render", "--bundle", bundlePath(), "--preset", "Acid Bass", dir.file("song.mid"),
                           dir.file("named.wav")},
                          {"HOME=" + home(""), "XDG_DATA_HOME=" + home("blocked/share")}, dir);
  EXPECT_EQ(named.status, 0) << named.err;

  HostRun second = render({"HOME=" + home("")}, "second.wav");
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(filesBelow(home(".local/share/Presets/Quorvane/Quorvane Zarn")), factoryPresets);
  EXPECT_EQ(stored(prefs(), "CurrentVersion"), "1.00");
  // The first sound did not depend on where the presets came from.
  EXPECT_TRUE(readFile(dir.file("first.wav")) == readFile(dir.file("second.wav")));
}
