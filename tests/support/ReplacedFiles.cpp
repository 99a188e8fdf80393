#include "tests/support/ReplacedFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/SkippedCases.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

namespace {

// What stands at a path, without following a link there: its type, the
// device it stands for, its bytes (a regular file) or its link text.
struct Standing {
  mode_t type = 0; // 0: nothing
  dev_t device = 0;
  std::string content;
  bool operator==(const Standing&) const = default;
};

Standing standingAt(const std::string& path) {
  Standing s;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return s;
  s.type = st.st_mode & S_IFMT;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) s.device = st.st_rdev;
  if (S_ISLNK(st.st_mode)) s.content = fs::read_symlink(path).string();
  if (S_ISREG(st.st_mode)) {
    std::ifstream in(path, std::ios::binary);
    s.content.assign(std::istreambuf_iterator<char>(in), {});
  }
  return s;
}

// Everything below folder, by its path relative to it.
std::vector<std::pair<std::string, Standing>> everythingIn(const std::string& folder) {
  std::vector<std::pair<std::string, Standing>> all;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    all.emplace_back(fs::relative(entry.path(), folder).string(), standingAt(entry.path()));
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return all;
}

} // namespace

void expectOnlyRegularFilesSaved(const Saver& saver) {
  SkippedCases skipped;
  const bool root = ::geteuid() == 0;
  const mode_t fresh = saver.newMode & ~currentUmask();
  const std::string& name = saver.name;
  const std::function<void()> nothing = [] {};
  enum class Outcome { writes, refused };
  struct Case {
    const char* what;
    std::function<std::string(const TempDir&)> setUp; // "" or why the case cannot be made here
    Outcome outcome;
    std::string holder = ""; // what holds the new bytes when written
    mode_t mode = 0;         // its mode then (0: that of a new file)
    bool atMoment = false;   // the set-up runs between making the file and putting it in place
    bool asNobody = false;   // the save runs as the user nobody
    std::string path = "";   // the path given, when not the name in the case's folder
  };
  auto fifo = [](const std::string& at) { return ::mkfifo(at.c_str(), 0644) == 0 ? "" : "no FIFO can be made"; };
  const std::vector<Case> cases = {
      {"nothing at the name: a new file", [](const TempDir&) { return std::string(); }, Outcome::writes, name},
      {"a file at the name is replaced and keeps its mode",
       [&](const TempDir& d) {
         d.write(name, saver.old);
         ::chmod(d.file(name).c_str(), 0640);
         return std::string();
       },
       Outcome::writes, name, 0640},
      {"a link is followed and stays a link; the file it names keeps its mode",
       [&](const TempDir& d) {
         d.write("sub/target", saver.old);
         ::chmod(d.file("sub/target").c_str(), 0604);
         fs::create_symlink("sub/target", d.file(name));
         return std::string();
       },
       Outcome::writes, "sub/target", 0604},
      {"a FIFO at the name is refused and stays a FIFO", [&](const TempDir& d) { return fifo(d.file(name)); },
       Outcome::refused},
      {"a FIFO behind a link is refused",
       [&](const TempDir& d) {
         fs::create_directory(d.file("sub"));
         fs::create_symlink("sub/fifo", d.file(name));
         return fifo(d.file("sub/fifo"));
       },
       Outcome::refused},
      {"a device behind a link is refused and stays a device",
       [&](const TempDir& d) {
         fs::create_directory(d.file("sub"));
         fs::create_symlink("sub/null", d.file(name));
         // The same device as /dev/null, made in the test's own folder.
         if (::mknod(d.file("sub/null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
           return std::string("mknod is not allowed here (it needs root and a system that lets it make devices)");
         return std::string();
       },
       Outcome::refused},
      {"a folder behind a link is refused",
       [&](const TempDir& d) {
         d.write("sub/folder/inside", "kept");
         fs::create_symlink("sub/folder", d.file(name));
         return std::string();
       },
       Outcome::refused},
      {"a file turned into a link to a FIFO while it is written is refused",
       [&](const TempDir& d) {
         if (!fs::exists(d.file("sub"))) fs::create_directory(d.file("sub"));
         const std::string made = fifo(d.file("sub/fifo"));
         fs::remove(d.file(name));
         fs::create_symlink("sub/fifo", d.file(name));
         return made;
       },
       Outcome::refused, "", 0, true},
      {"a file turned into a link to a device while it is written is refused",
       [&](const TempDir& d) {
         if (!fs::exists(d.file("sub"))) fs::create_directory(d.file("sub"));
         fs::remove(d.file(name));
         fs::create_symlink("sub/null", d.file(name));
         if (::mknod(d.file("sub/null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
           return std::string("mknod is not allowed here (it needs root and a system that lets it make devices)");
         return std::string();
       },
       Outcome::refused, "", 0, true},
      // Nothing is written where the name did not lead when the file was
      // made: the file it leads to now keeps its bytes.
      {"a file turned into a link to another file while it is written is refused",
       [&](const TempDir& d) {
         d.write("sub/other", "another file");
         fs::remove(d.file(name));
         fs::create_symlink("sub/other", d.file(name));
         return std::string();
       },
       Outcome::refused, "", 0, true},
      // The kernel would refuse the rename at the end; the save refuses at
      // once, and nothing changes.
      {"another user's file in a folder with the sticky bit is refused",
       [&](const TempDir& d) {
         if (!root) return std::string("it needs root to have a file of another user");
         fs::create_directory(d.file("shared"));
         ::chmod(d.file("shared").c_str(), 01777);
         ::chmod(d.path().c_str(), 0755);
         d.write("shared/" + name, saver.old);
         ::chmod(d.file("shared/" + name).c_str(), 0666);
         return std::string();
       },
       Outcome::refused, "", 0, false, true, "shared/" + name},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.atMoment && !saver.hasMoment) continue; // no moment between making the file and putting it in place
    TempDir dir("saved");
    // A file there from the start, for the cases that change it meanwhile.
    if (c.atMoment) dir.write(name, saver.old);
    const std::string why = c.atMoment ? std::string() : c.setUp(dir);
    if (!why.empty()) {
      skipped.add(c.what, why);
      continue;
    }
    const std::string path = dir.file(c.path.empty() ? name : c.path);
    const auto before = everythingIn(dir.path());
    std::string between;
    std::vector<std::pair<std::string, Standing>> changed; // as the change left it
    const std::function<void()> atMoment = [&] {
      between = c.setUp(dir);
      changed = everythingIn(dir.path());
      // The writer's own temporary file is not the user's.
      std::erase_if(changed, [](const auto& e) { return e.first.find(".quorvane-part") != std::string::npos; });
    };
    bool wrote;
    if (c.asNobody) {
      const ChildResult r = runInChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(cNobody) != 0 || ::setuid(cNobody) != 0)
          return std::string("could not become nobody");
        if (::access(dir.path().c_str(), X_OK) != 0) return std::string("nobody cannot reach the test's folder");
        return std::string(saver.write(path, nothing) ? "written" : "refused");
      });
      if (r.output != "written" && r.output != "refused") {
        skipped.add(c.what, r.output);
        continue;
      }
      wrote = r.output == "written";
    } else {
      wrote = saver.write(path, c.atMoment ? atMoment : nothing);
    }
    if (!between.empty()) {
      skipped.add(c.what, between);
      continue;
    }
    EXPECT_EQ(temporaryFilesIn(dir.path()), std::vector<std::string>());
    if (c.outcome == Outcome::writes && (saver.replaces || (c.holder == name && !c.mode))) {
      EXPECT_TRUE(wrote);
      EXPECT_EQ(dir.read(c.holder), saver.written);
      EXPECT_EQ(statOf(dir.file(c.holder)).st_mode & 07777, c.mode ? c.mode : fresh);
      if (c.holder != name) {
        EXPECT_TRUE(fs::is_symlink(dir.file(name)));
      }
      continue;
    }
    // Refused, or kept by a writer that only adds new files: everything
    // stays as it stood, devices, FIFOs and links too (for a change made
    // while the file was written, as the change left it).
    if (saver.replaces)
      EXPECT_FALSE(wrote);
    else
      EXPECT_TRUE(wrote) << "what stands there is kept, as any file there is";
    const auto after = everythingIn(dir.path());
    EXPECT_TRUE(after == (c.atMoment ? changed : before));
    if (c.atMoment) {
      EXPECT_EQ(standingAt(dir.file(name)).type, mode_t(S_IFLNK));
    }
  }

  // A /proc/self/fd entry of a file deleted since it was opened reads
  // "DIR/gone (deleted)": following that text would make a new file of
  // that name. Reached through a link at the name, as a user would hand it
  // on.
  {
    SCOPED_TRACE("a /proc/self/fd entry of a deleted file is refused");
    TempDir dir("saved");
    const int fd = ::open(dir.file("gone").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::unlink(dir.file("gone").c_str()), 0);
    fs::create_symlink("/proc/self/fd/" + std::to_string(fd), dir.file(name));
    const bool wrote = saver.write(dir.file(name), nothing);
    EXPECT_EQ(wrote, !saver.replaces);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("gone (deleted)"))));
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(temporaryFilesIn(dir.path()), std::vector<std::string>());
    ::close(fd);
  }
  skipped.report();
}

} // namespace zarn::test
