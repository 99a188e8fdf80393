// A snapshot runs the plug-in in a private home of its own in the
// temporary folder (megabytes: presets, tables, settings). That home must
// not outlive it: a snapshot ended by SIGTERM removes it, and one killed
// outright leaves it for the next snapshot to remove, as long as no live
// snapshot, in whatever process or PID namespace, still holds it.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LeftBehind.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <linux/capability.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#if defined(ZARN_BUNDLE) && defined(ZARN_HOST_EXECUTABLE)
namespace {

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool isFolder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// zarn-host snapshot as a program of its own (the plug-in is never loaded
// into the test), with its temporary folder at tmp.
pid_t startSnapshot(const zarn::test::TempDir& dir, const std::string& tmp, const std::vector<std::string>& options,
                    const std::string& home = "home") {
  std::vector<std::string> args{"snapshot", "--bundle", ZARN_BUNDLE};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(dir.file("out.png"));
  return hosttest::startHost(args, {"TMPDIR=" + tmp, "HOME=" + dir.file(home), "PATH=/usr/bin:/bin"}, "/dev/null",
                             dir.file("err.txt"));
}

// Every file, folder and link below folder with what it holds, by its
// path there.
std::map<std::string, std::string> contents(const std::string& folder) {
  std::map<std::string, std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = e.path().lexically_relative(folder).string();
    if (e.is_symlink())
      found[name] = "link to " + std::filesystem::read_symlink(e.path()).string();
    else if (e.is_directory())
      found[name] = "folder";
    else
      found[name] = (std::ostringstream() << std::ifstream(e.path(), std::ios::binary).rdbuf()).str();
  }
  return found;
}

} // namespace

TEST(SnapshotHomeTest, ASnapshotEndedBySigtermTakesItsHomeWithIt) {
  zarn::test::TempDir dir("zarn-snapshot-home");
  dir.write("tmp/.keep", "");
  dir.write("script.txt", "wait 60000\n");
  const std::string tmp = dir.file("tmp");
  const pid_t snapshot = startSnapshot(dir, tmp, {"--script", dir.file("script.txt")});
  ASSERT_GT(snapshot, 0);
  // Its home is made, and the plug-in has installed its presets there.
  const std::string home = tmp + "/zarn-snapshot-" + std::to_string(snapshot) + "-0";
  bool installed = false;
  for (int i = 0; i < 6000 && !installed; ++i) {
    installed = isFolder(home + "/.local/share/Quorvane") && isFolder(home + "/Documents");
    if (!installed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(installed) << dir.read("err.txt");
  ::kill(snapshot, SIGTERM);
  const int status = hosttest::waitForExit(snapshot);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(entries(tmp), std::vector<std::string>{".keep"});
}

TEST(SnapshotHomeTest, HomesLeftByKilledSnapshotsGoAndNoOtherFolder) {
  zarn::test::TempDir dir("zarn-snapshot-home");
  const std::string tmp = dir.file("tmp");
  const pid_t ended = zarn::test::endedProcess();
  const std::string killed = "zarn-snapshot-" + std::to_string(ended) + "-0";
  // A snapshot elsewhere (another PID namespace: its number means nothing
  // here) that is still at work.
  const std::string live = "zarn-snapshot-" + std::to_string(ended) + "-1";
  const std::string fresh = "zarn-snapshot-" + std::to_string(ended) + "-2";
  const std::string linked = "zarn-snapshot-" + std::to_string(ended) + "-3";
  for (const std::string& home : {killed, live, fresh})
    dir.write("tmp/" + home + "/.local/share/Quorvane/Zarn/Presets/Pluck.qvp", "preset");
  dir.write("tmp/zarn-snapshot-notes/todo.txt", "mine");
  dir.write("elsewhere/keep.txt", "mine");
  ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), (tmp + "/" + linked).c_str()), 0);
  for (const std::string& old : {killed, live, std::string("zarn-snapshot-notes"), linked})
    ASSERT_TRUE(zarn::test::ageFile(tmp + "/" + old, 3600));
  const zarn::test::LockHolder stillAtWork(tmp + "/" + live);
  ASSERT_TRUE(stillAtWork.holding());
  // Another user's home, left as long ago by a snapshot that is gone: not
  // this user's to judge. Only root can give a folder away.
  const std::string theirs = "zarn-snapshot-" + std::to_string(ended) + "-4";
  std::vector<std::string> kept{live, fresh, linked, "zarn-snapshot-notes"};
  if (::geteuid() == 0) {
    dir.write("tmp/" + theirs + "/.config/com.quorvane.Zarn.1.prefs", "theirs");
    ASSERT_EQ(::chown((tmp + "/" + theirs).c_str(), 65534, 65534), 0);
    ASSERT_TRUE(zarn::test::ageFile(tmp + "/" + theirs, 3600));
    kept.push_back(theirs);
    std::sort(kept.begin(), kept.end());
  }

  const pid_t snapshot = startSnapshot(dir, tmp, {});
  ASSERT_GT(snapshot, 0);
  const int status = hosttest::waitForExit(snapshot);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << dir.read("err.txt");
  EXPECT_EQ(entries(tmp), kept);
  EXPECT_EQ(dir.read("elsewhere/keep.txt"), "mine");
}

// A snapshot that cannot make its private home (TMPDIR names no folder, or
// a file, or a folder it may not write in) is refused, saying where and
// why. It never runs the plug-in in the user's own home instead, where it
// would change the settings and, in a fresh home, install the factory
// presets: every file there is as it was, byte for byte, and a fresh home
// stays empty, also when a preset of the user's library is asked for.
TEST(SnapshotHomeTest, ASnapshotWithoutAPrivateHomeIsRefusedAndTheUsersHomeIsUntouched) {
  zarn::test::TempDir dir("zarn-snapshot-home");
  // A home the plug-in has run in: its settings, presets and tables.
  const pid_t info = hosttest::startHost({"info", "--bundle", ZARN_BUNDLE},
                                         {"HOME=" + dir.file("used"), "PATH=/usr/bin:/bin"}, "/dev/null",
                                         dir.file("err.txt"));
  ASSERT_GT(info, 0);
  const int infoStatus = hosttest::waitForExit(info);
  ASSERT_TRUE(WIFEXITED(infoStatus) && WEXITSTATUS(infoStatus) == 0) << dir.read("err.txt");
  std::filesystem::create_directory(dir.file("fresh"));
  dir.write("a-file", "not a folder");
  // Empty, so that the test's folder goes whatever happens.
  std::filesystem::create_directory(dir.file("closed"));
  ASSERT_EQ(::chmod(dir.file("closed").c_str(), 0500), 0);
  const auto used = contents(dir.file("used")), fresh = contents(dir.file("fresh"));
  ASSERT_GT(used.size(), 10u);
  ASSERT_TRUE(fresh.empty());

  struct Case {
    std::string tmp;
    const char* home;
    std::vector<std::string> options;
    int error;
  };
  const std::vector<Case> cases = {
      {dir.file("none"), "used", {}, ENOENT},
      {dir.file("none"), "fresh", {}, ENOENT},
      {dir.file("a-file"), "used", {}, ENOTDIR},
      {dir.file("closed"), "fresh", {}, EACCES},
      {dir.file("none"), "fresh", {"--preset", "Sub Bass"}, ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmp + ", home " + c.home);
    const zarn::test::ChildResult child = zarn::test::runInChild([&] {
      // Root may write in any folder: without the capabilities that let it
      // pass permissions, in this process and the programs it starts.
      if (c.error == EACCES && ::geteuid() == 0 &&
          (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 || ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH) != 0))
        return std::string("root cannot give up its capabilities here");
      const pid_t snapshot = startSnapshot(dir, c.tmp, c.options, c.home);
      return std::to_string(snapshot > 0 ? hosttest::waitForExit(snapshot) : -1);
    });
    ASSERT_TRUE(child.finished);
    if (child.output.find("root cannot") == 0) {
      std::cout << "not tried: " << child.output << "\n";
      continue;
    }
    const int status = std::stoi(child.output);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    const std::string said = dir.read("err.txt");
    const std::string reason =
        "zarn-host snapshot: cannot make a folder in " + c.tmp + " (TMPDIR): " + std::strerror(c.error) + "; ";
    EXPECT_EQ(said.compare(0, reason.size(), reason), 0) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_TRUE(contents(dir.file("used")) == used);
    EXPECT_EQ(contents(dir.file("fresh")), fresh);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.png")));
  }
}
#endif
