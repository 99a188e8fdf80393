// The copy of a damaged file kept beside it: a new file at the first free
// name, never over anything that stands at a name, a copy kept before
// above all.

#include "platform/FileKeeping.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every entry below the folder but the one kept: its kind and what it
// holds (a file's bytes, a link's target).
std::map<std::string, std::string> everythingBut(const zarn::test::TempDir& dir, const std::string& kept) {
  std::map<std::string, std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    const std::string name = fs::relative(e.path(), dir.path()).string();
    if (e.path().string() == kept) continue;
    if (e.is_symlink())
      found[name] = "link to " + fs::read_symlink(e.path()).string();
    else if (e.is_regular_file())
      found[name] = "file: " + dir.read(name);
    else if (e.is_fifo())
      found[name] = "FIFO";
    else
      found[name] = e.is_directory() ? "folder" : "other";
  }
  return found;
}

} // namespace

TEST(FileKeepingTest, KeepsEachCopyUnderANameOfItsOwnAndReplacesNothing) {
  const std::string damaged = "a damaged file\n\x01\xff";
  struct Case {
    const char* what;
    std::function<void(const zarn::test::TempDir&)> setUp;
    std::string keptAt; // below the folder
    bool made = true;   // false: a copy there already was taken as it is
  };
  const std::vector<Case> cases = {
      {"nothing there: the name itself", [](const zarn::test::TempDir&) {}, "d.prefs.damaged"},
      {"an earlier copy of another damage stays: the second name",
       [](const zarn::test::TempDir& d) { d.write("d.prefs.damaged", "the first damage"); }, "d.prefs.damaged-2"},
      {"two earlier copies: the third name",
       [](const zarn::test::TempDir& d) {
         d.write("d.prefs.damaged", "the first damage");
         d.write("d.prefs.damaged-2", "the second damage");
       },
       "d.prefs.damaged-3"},
      {"the first free name, where one was removed",
       [](const zarn::test::TempDir& d) { d.write("d.prefs.damaged-2", "the second damage"); }, "d.prefs.damaged"},
      {"a copy of these very bytes is kept already: taken as it is",
       [&](const zarn::test::TempDir& d) {
         d.write("d.prefs.damaged", "the first damage");
         d.write("d.prefs.damaged-2", damaged);
       },
       "d.prefs.damaged-2", false},
      {"a link to another file stays, and that file too",
       [](const zarn::test::TempDir& d) {
         d.write("elsewhere/file", "another file");
         fs::create_symlink("elsewhere/file", d.file("d.prefs.damaged"));
       },
       "d.prefs.damaged-2"},
      {"a link that leads nowhere makes no file where it leads",
       [](const zarn::test::TempDir& d) { fs::create_symlink("elsewhere/gone", d.file("d.prefs.damaged")); },
       "d.prefs.damaged-2"},
      {"a FIFO stays a FIFO",
       [](const zarn::test::TempDir& d) { ASSERT_EQ(::mkfifo(d.file("d.prefs.damaged").c_str(), 0600), 0); },
       "d.prefs.damaged-2"},
      {"a folder stays a folder",
       [](const zarn::test::TempDir& d) { d.write("d.prefs.damaged/inside", "kept"); }, "d.prefs.damaged-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zarn::test::TempDir dir("damaged");
    dir.write("d.prefs", damaged);
    c.setUp(dir);
    const std::string kept = dir.file(c.keptAt);
    const auto before = everythingBut(dir, kept);
    std::string keptAt = "not told", reason;
    ASSERT_TRUE(platform::keepCopyBeside(dir.file("d.prefs"), dir.file("d.prefs.damaged"), keptAt, &reason))
        << reason;
    EXPECT_EQ(keptAt, kept);
    EXPECT_EQ(dir.read(c.keptAt), damaged);
    struct stat st {};
    ASSERT_EQ(::lstat(kept.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    if (c.made) {
      EXPECT_EQ(st.st_mode & 07077, 0u) << "a copy of the user's file is his alone";
    }
    // Everything else stays as it stood, the file copied too; no
    // temporary file is left.
    EXPECT_EQ(everythingBut(dir, kept), before);
  }
}

TEST(FileKeepingTest, WhenEveryNameIsTakenNothingIsReplacedAndTheReasonSaysSo) {
  zarn::test::TempDir dir("damaged");
  dir.write("d.prefs", "damaged");
  dir.write("d.prefs.damaged", "kept 1");
  for (int n = 2; n <= platform::cMaxKeptCopies; ++n)
    dir.write("d.prefs.damaged-" + std::to_string(n), "kept " + std::to_string(n));
  std::string keptAt, reason;
  EXPECT_FALSE(platform::keepCopyBeside(dir.file("d.prefs"), dir.file("d.prefs.damaged"), keptAt, &reason));
  EXPECT_EQ(keptAt, "");
  EXPECT_EQ(reason, "every name from " + dir.file("d.prefs.damaged") + " to " + dir.file("d.prefs.damaged") + "-100" +
                        " is taken; remove the copies no longer needed");
  EXPECT_EQ(dir.read("d.prefs.damaged"), "kept 1");
  EXPECT_EQ(dir.read("d.prefs.damaged-100"), "kept 100");
  EXPECT_FALSE(fs::exists(dir.file("d.prefs.damaged-101")));
  // A file that is no regular file is not copied.
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(platform::keepCopyBeside(dir.file("fifo"), dir.file("fifo.damaged"), keptAt, &reason));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("fifo.damaged"))));
}
