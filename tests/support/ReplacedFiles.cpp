#include "tests/support/ReplacedFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zarn::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t cNobody = 65534;

mode_t currentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// The program's temporary files anywhere below folder.
std::vector<std::string> temporaryFilesIn(const std::string& folder) {
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().filename().string().find(".quorvane-part") != std::string::npos) left.push_back(entry.path());
  return left;
}

} // namespace

void expectReplacedFilesKept(const std::function<bool(const std::string& path)>& write, const std::string& written) {
  const bool root = ::geteuid() == 0;
  // The longest name the temporary folder's file system takes (255 on
  // most), and one byte more.
  TempDir probe("replaced");
  const long most = ::pathconf(probe.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(most, 16);
  const std::string longest(static_cast<size_t>(most), 'n'), tooLong(static_cast<size_t>(most) + 1, 'n');
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> setUp; // makes "named" and what it leads to
    bool writes;
    std::string holder; // the file that holds the new bytes afterwards
    mode_t mode;        // its mode then (~0: the usual mode of a new file)
    std::vector<std::string> links; // each still a link, to the same place
  };
  const mode_t fresh = 0666 & ~currentUmask();
  const std::vector<Case> cases = {
      {"a private file stays private",
       [](const TempDir& d) {
         d.write("named", "old");
         ::chmod(d.file("named").c_str(), 0600);
       },
       true, "named", 0600, {}},
      // Root may write it, as root may open it for writing; a user who
      // made it read-only keeps it as it was.
      {"a read-only file is written by root only, and keeps its mode",
       [](const TempDir& d) {
         d.write("named", "old");
         ::chmod(d.file("named").c_str(), 0444);
       },
       root, "named", 0444, {}},
      {"a link stays a link; the file it names is written and keeps its mode",
       [](const TempDir& d) {
         d.write("sub/target", "old");
         ::chmod(d.file("sub/target").c_str(), 0640);
         fs::create_symlink("sub/target", d.file("named"));
       },
       true, "sub/target", 0640, {"named"}},
      {"a chain of links, relative to each link's folder",
       [](const TempDir& d) {
         d.write("far/end", "old");
         ::chmod(d.file("far/end").c_str(), 0604);
         fs::create_directory(d.file("mid"));
         fs::create_symlink("../far/end", d.file("mid/hop"));
         fs::create_symlink(d.file("mid/hop"), d.file("named"));
       },
       true, "far/end", 0604, {"named", "mid/hop"}},
      {"a link to a file not made yet makes that file",
       [](const TempDir& d) {
         fs::create_directory(d.file("sub"));
         fs::create_symlink("sub/new", d.file("named"));
       },
       true, "sub/new", ~mode_t(0), {"named"}},
      {"a link into a folder that is not there fails and stays",
       [](const TempDir& d) { fs::create_symlink("none/new", d.file("named")); }, false, "", 0, {"named"}},
      {"links in a loop fail and stay",
       [](const TempDir& d) {
         fs::create_symlink("other", d.file("named"));
         fs::create_symlink("named", d.file("other"));
       },
       false, "", 0, {"named", "other"}},
      {"a name as long as the file system takes",
       [&](const TempDir& d) { fs::create_symlink(longest, d.file("named")); }, true, longest, ~mode_t(0), {"named"}},
      {"a file of that name is replaced and keeps its mode",
       [&](const TempDir& d) {
         d.write(longest, "old");
         ::chmod(d.file(longest).c_str(), 0600);
         fs::create_symlink(longest, d.file("named"));
       },
       true, longest, 0600, {"named"}},
      {"a name longer than the file system takes fails",
       [&](const TempDir& d) { fs::create_symlink(tooLong, d.file("named")); }, false, "", 0, {"named"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir("replaced");
    c.setUp(dir);
    std::vector<std::pair<std::string, std::string>> links;
    for (const std::string& link : c.links) links.emplace_back(link, fs::read_symlink(dir.file(link)).string());
    EXPECT_EQ(write(dir.file("named")), c.writes);
    for (const auto& [link, to] : links) {
      ASSERT_TRUE(fs::is_symlink(dir.file(link))) << link;
      EXPECT_EQ(fs::read_symlink(dir.file(link)).string(), to) << link;
    }
    if (c.writes) {
      EXPECT_EQ(dir.read(c.holder), written);
      EXPECT_EQ(statOf(dir.file(c.holder)).st_mode & 07777, c.mode == ~mode_t(0) ? fresh : c.mode);
    } else if (fs::is_regular_file(fs::symlink_status(dir.file("named")))) {
      EXPECT_EQ(dir.read("named"), "old");
    }
    EXPECT_EQ(temporaryFilesIn(dir.path()), std::vector<std::string>());
    // Nothing was made where the failures would have written.
    EXPECT_FALSE(fs::exists(dir.file("none")));
  }

  // A file its user made read-only is kept from a writer who meets the
  // permissions as its owner does (root too, without the capabilities that
  // pass them by): the writer fails and the file stays as it was.
  {
    TempDir dir("replaced");
    dir.write("named", "old");
    ASSERT_EQ(::chmod(dir.file("named").c_str(), 0444), 0);
    const ChildResult r = runInChild([&] {
      if (!meetPermissionsAsOwner()) return std::string("permissions are passed by");
      return std::string(write(dir.file("named")) ? "written" : "refused");
    });
    EXPECT_EQ(r.output, "refused");
    EXPECT_EQ(dir.read("named"), "old");
    EXPECT_EQ(statOf(dir.file("named")).st_mode & 07777, 0444u);
    EXPECT_EQ(temporaryFilesIn(dir.path()), std::vector<std::string>());
  }

  if (!root) return;
  // Root writing a user's file leaves it the user's, with the user's mode:
  // a state of 0600 the user could no longer read would be lost to him.
  {
    TempDir dir("replaced");
    dir.write("named", "old");
    ASSERT_EQ(::chown(dir.file("named").c_str(), cNobody, cNobody), 0);
    ASSERT_EQ(::chmod(dir.file("named").c_str(), 0600), 0);
    EXPECT_TRUE(write(dir.file("named")));
    EXPECT_EQ(dir.read("named"), written);
    const struct stat st = statOf(dir.file("named"));
    EXPECT_EQ(st.st_uid, cNobody);
    EXPECT_EQ(st.st_gid, cNobody);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
  // A stranger's link in a folder all may write to (as /tmp) is not
  // followed: it may have been planted to have root write over another
  // file. Neither the link nor that file changes.
  {
    TempDir dir("replaced");
    dir.write("victim", "not to be written");
    fs::create_directory(dir.file("shared"));
    ASSERT_EQ(::chmod(dir.file("shared").c_str(), 01777), 0);
    fs::create_symlink(dir.file("victim"), dir.file("shared/named"));
    ASSERT_EQ(::lchown(dir.file("shared/named").c_str(), cNobody, cNobody), 0);
    EXPECT_FALSE(write(dir.file("shared/named")));
    EXPECT_TRUE(fs::is_symlink(dir.file("shared/named")));
    EXPECT_EQ(dir.read("victim"), "not to be written");
    EXPECT_EQ(temporaryFilesIn(dir.path()), std::vector<std::string>());
  }
}

} // namespace zarn::test
