// What a save leaves of who may use the file it replaces: its access list,
// its extended attributes and its mode, through the writers that save a
// user's files (a rendered sound or a state: platform::ReplacingFile; a
// preset or the controller map: BinaryFileWriter). Who may read and write
// the file afterwards is asked of the kernel, by children that become the
// users the list names, a member of the file's group, and another user.
//
// The access lists are written here as the kernel takes them (version 2,
// then tag, permissions and id of each entry, little-endian), so nothing
// of the code under test makes the expected bytes.
//
// Where an attribute must not be carried over (a file system or a kernel
// that refuses it), the refusal is made here: this program's own
// fsetxattr, which the writers call, refuses one name while asked to and
// otherwise passes every call to the kernel.

#include "base/BinaryData.h"
#include "platform/ReplacingFile.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// The attribute refused (nullptr for none), and the reason given.
std::atomic<const char*> gRefusedName{nullptr};
int gRefusedError = 0;

// Refuses name with error while it lives.
struct Refusal {
  Refusal(const char* name, int error) {
    gRefusedError = error;
    gRefusedName = name;
  }
  ~Refusal() { gRefusedName = nullptr; }
};

} // namespace

extern "C" int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) noexcept {
  if (const char* refused = gRefusedName.load(); refused && std::strcmp(name, refused) == 0) {
    errno = gRefusedError;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsetxattr, fd, name, value, size, flags));
}

namespace {

using zarn::test::TempDir;

constexpr const char* cAccess = "system.posix_acl_access";
constexpr const char* cDefault = "system.posix_acl_default";

// The ids the lists and the children use; none need exist in the user
// database.
constexpr uid_t cOwner = 2000;
constexpr gid_t cFileGroup = 4321;
constexpr uid_t cNamedUser = 1234;
constexpr gid_t cNamedGroup = 4444;

struct Identity {
  const char* who;
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;
};
const std::vector<Identity> cIdentities = {
    {"the owner", cOwner, cOwner, {}},
    {"the named user", cNamedUser, cNamedUser, {}},
    {"the named user, in the file's group", cNamedUser, cNamedUser, {cFileGroup}},
    {"a member of the file's group", 5678, 5678, {cFileGroup}},
    {"a member of the named group", 5680, 5680, {cNamedGroup}},
    {"another user", 5679, 5679, {}},
};

// One access list entry; id is left out (undefined) for the entries that
// name nobody.
struct Entry {
  uint16_t tag;
  uint16_t permissions;
  uint32_t id = 0xFFFFFFFF;
};
constexpr uint16_t cUserObj = 0x01, cUser = 0x02, cGroupObj = 0x04, cGroup = 0x08, cMask = 0x10, cOther = 0x20;

std::string littleEndian(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
  return s;
}

std::string accessList(const std::vector<Entry>& entries) {
  std::string bytes = littleEndian(2, 4);
  for (const Entry& e : entries)
    bytes += littleEndian(e.tag, 2) + littleEndian(e.permissions, 2) + littleEndian(e.id, 4);
  return bytes;
}

// The value of path's attribute name, or "(none: reason)".
std::string attribute(const std::string& path, const char* name) {
  char buffer[4096];
  const ssize_t n = ::lgetxattr(path.c_str(), name, buffer, sizeof buffer);
  if (n < 0) return std::string("(none: ") + std::strerror(errno) + ")";
  return std::string(buffer, static_cast<size_t>(n));
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What who may do with the file at path, asked by opening it in a child
// that has become him: "rw", "r-", "-w" or "--"; "?" and the reason for
// anything but a refusal by permissions.
std::string accessOf(const std::string& path, const Identity& who) {
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    if (::setgroups(who.groups.size(), who.groups.data()) != 0 || ::setresgid(who.gid, who.gid, who.gid) != 0 ||
        ::setresuid(who.uid, who.uid, who.uid) != 0)
      return std::string("? cannot become ") + who.who + ": " + std::strerror(errno);
    std::string access;
    for (const int flags : {O_RDONLY, O_WRONLY}) {
      const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        ::close(fd);
        access += flags == O_RDONLY ? 'r' : 'w';
      } else if (errno == EACCES) {
        access += '-';
      } else {
        return "? " + std::string(std::strerror(errno));
      }
    }
    return access;
  });
  return r.finished ? r.output : "? no answer";
}

// Each identity's access, in cIdentities' order.
std::vector<std::string> accessOfEveryone(const std::string& path) {
  std::vector<std::string> all;
  for (const Identity& who : cIdentities) all.push_back(std::string(who.who) + ": " + accessOf(path, who));
  return all;
}

std::vector<std::string> labelled(const std::vector<std::string>& access) {
  std::vector<std::string> all;
  for (size_t i = 0; i < cIdentities.size(); ++i) all.push_back(std::string(cIdentities[i].who) + ": " + access[i]);
  return all;
}

// Those of after who may do what they were refused in before.
std::string gains(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::string gained;
  for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
    const std::string was = before[i].substr(before[i].size() - 2), is = after[i].substr(after[i].size() - 2);
    for (size_t k = 0; k < 2; ++k)
      if (was[k] == '-' && is[k] != '-') gained += after[i] + "; ";
  }
  return gained;
}

struct Writer {
  const char* name;
  std::function<bool(const std::string& path)> write;
};
const std::vector<Writer> cWriters = {
    {"a sound or a state",
     [](const std::string& path) {
       platform::ReplacingFile file;
       return file.create(path) && file.writeAll("new bytes", 9) && file.commit();
     }},
    {"a preset or the controller map",
     [](const std::string& path) {
       BinaryFileWriter file(path);
       file.writeHeader("ZRNp", 1);
       file.writeInt(42);
       return file.commit();
     }},
};

// A file system that keeps user attributes and access lists, else why
// not.
std::string attributesUnsupported(const TempDir& dir) {
  dir.write("probe", "");
  const std::string probe = dir.file("probe");
  const std::string list = accessList({{cUserObj, 6}, {cGroupObj, 4}, {cOther, 0}});
  if (::setxattr(probe.c_str(), "user.probe", "x", 1, 0) != 0)
    return std::string("the temporary folder's file system keeps no user attributes: ") + std::strerror(errno);
  if (::setxattr(probe.c_str(), cAccess, list.data(), list.size(), 0) != 0)
    return std::string("the temporary folder's file system keeps no access lists: ") + std::strerror(errno);
  ::unlink(probe.c_str());
  return "";
}

// The list of the report: the owner and a named user may write; the group
// may read; the mask lets the named user write, so the mode shows 0660.
const std::string cSharedList = accessList(
    {{cUserObj, 6}, {cUser, 6, cNamedUser}, {cGroupObj, 4}, {cMask, 6}, {cOther, 0}});
// A folder's default list giving the named user all.
const std::string cFolderDefault =
    accessList({{cUserObj, 7}, {cUser, 7, cNamedUser}, {cGroupObj, 5}, {cMask, 7}, {cOther, 0}});

struct Case {
  const char* what;
  std::string list;       // the old file's access list ("" for none)
  mode_t mode;            // the old file's mode, once its list is set
  bool folderDefault;     // its folder has cFolderDefault
  bool refuse;            // the new file is refused an access list
  mode_t modeAfter;       // the new file's mode
  std::vector<std::string> before, after; // each identity's access
};

} // namespace

// Root makes files of other owners and becomes the users who try them;
// an ordinary user only checks what the file keeps, as its owner.
TEST(ExtendedAttributesTest, ASaveKeepsWhoMayUseTheFileNobodyGainsOrLosesAccess) {
  TempDir probe("attributes");
  if (const std::string why = attributesUnsupported(probe); !why.empty()) GTEST_SKIP() << why;
  const bool root = ::geteuid() == 0;
  const std::vector<Case> cases = {
      {"the access list of the report, with the set-user-id bit", cSharedList, 04660, false, false, 04660,
       {"rw", "rw", "rw", "r-", "--", "--"}, {"rw", "rw", "rw", "r-", "--", "--"}},
      {"a list that names a group and denies a user what the group has",
       accessList({{cUserObj, 6}, {cUser, 0, cNamedUser}, {cGroupObj, 6}, {cGroup, 4, cNamedGroup}, {cMask, 6},
                   {cOther, 0}}),
       0660, false, false, 0660, {"rw", "--", "--", "rw", "r-", "--"}, {"rw", "--", "--", "rw", "r-", "--"}},
      {"a list carried over replaces the one the folder gives", cSharedList, 0660, true, false, 0660,
       {"rw", "rw", "rw", "r-", "--", "--"}, {"rw", "rw", "rw", "r-", "--", "--"}},
      {"a file without a list gets none from its folder", "", 0640, true, false, 0640,
       {"rw", "--", "r-", "r-", "--", "--"}, {"rw", "--", "r-", "r-", "--", "--"}},
      // Where the list cannot be carried over: the group keeps its own
      // entry's bits, not the mask's; the named user falls to the group's
      // bits or the others'.
      {"a list refused: the group keeps the group entry's bits, the named user loses his", cSharedList, 0660, true,
       true, 0640, {"rw", "rw", "rw", "r-", "--", "--"}, {"rw", "--", "r-", "r-", "--", "--"}},
      // A user the list denies might be in the group; a named group might
      // hold others: nobody of them may gain what the list kept from them.
      {"a list refused that denies a user and a group",
       accessList({{cUserObj, 6}, {cUser, 0, cNamedUser}, {cGroupObj, 6}, {cGroup, 0, cNamedGroup}, {cMask, 6},
                   {cOther, 4}}),
       0664, false, true, 0600, {"rw", "--", "--", "rw", "--", "r-"}, {"rw", "--", "--", "--", "--", "--"}},
  };
  const std::string origin = "https://www.example.com/take-3.wav";
  for (const Writer& writer : cWriters) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(writer.name) + ": " + c.what);
      TempDir dir("attributes");
      // Others may pass through to the file, as through a shared folder.
      ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
      dir.write("sub/named", "old");
      const std::string named = dir.file("sub/named");
      ASSERT_EQ(::chmod(dir.file("sub").c_str(), 0711), 0);
      if (root) {
        ASSERT_EQ(::chown(named.c_str(), cOwner, cFileGroup), 0);
      }
      ASSERT_EQ(::chmod(named.c_str(), c.mode), 0);
      if (!c.list.empty()) {
        ASSERT_EQ(::setxattr(named.c_str(), cAccess, c.list.data(), c.list.size(), 0), 0);
      }
      ASSERT_EQ(::setxattr(named.c_str(), "user.origin", origin.data(), origin.size(), 0), 0);
      // Attributes only root may set, set where this process may.
      std::map<std::string, std::string> privileged;
      const std::string trusted = "kept by root";
      if (::setxattr(named.c_str(), "trusted.zarn.take", trusted.data(), trusted.size(), 0) == 0)
        privileged["trusted.zarn.take"] = attribute(named, "trusted.zarn.take");
      // A file's capabilities (version 2, one capability permitted): a
      // change of owner drops them.
      const std::string capabilities = littleEndian(0x02000000, 4) + littleEndian(1u << 10, 4) +
                                       littleEndian(0, 4) + littleEndian(0, 4) + littleEndian(0, 4);
      if (::setxattr(named.c_str(), "security.capability", capabilities.data(), capabilities.size(), 0) == 0)
        privileged["security.capability"] = attribute(named, "security.capability");
      // The folder's default list is set after the old file is made, so it
      // is only the new file that would inherit it.
      if (c.folderDefault) {
        ASSERT_EQ(::setxattr(dir.file("sub").c_str(), cDefault, cFolderDefault.data(), cFolderDefault.size(), 0), 0);
      }
      ASSERT_EQ(modeOf(named), c.mode);
      if (root) {
        ASSERT_EQ(accessOfEveryone(named), labelled(c.before));
      }

      {
        const Refusal refusal(c.refuse ? cAccess : nullptr, ENOTSUP);
        ASSERT_TRUE(writer.write(named));
      }

      EXPECT_NE(dir.read("sub/named"), "old");
      EXPECT_EQ(attribute(named, cAccess), c.list.empty() || c.refuse ? "(none: No data available)" : c.list);
      EXPECT_EQ(attribute(named, "user.origin"), origin);
      for (const auto& [name, value] : privileged) EXPECT_EQ(attribute(named, name.c_str()), value) << name;
      EXPECT_EQ(modeOf(named), c.modeAfter);
      if (!root) continue;
      struct stat st {};
      ASSERT_EQ(::stat(named.c_str(), &st), 0);
      EXPECT_EQ(st.st_uid, cOwner);
      EXPECT_EQ(st.st_gid, cFileGroup);
      const std::vector<std::string> after = accessOfEveryone(named);
      EXPECT_EQ(after, labelled(c.after));
      EXPECT_EQ(gains(labelled(c.before), after), "");
    }
  }
  if (!root) std::printf("(who may use the files afterwards is asked only as root: it takes other users)\n");
}

// A new file is made the folder's way: a default list there is its list,
// as for any file made in that folder.
TEST(ExtendedAttributesTest, ANewFileTakesItsFoldersDefaultList) {
  TempDir dir("attributes");
  if (const std::string why = attributesUnsupported(dir); !why.empty()) GTEST_SKIP() << why;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
  ASSERT_EQ(::setxattr(dir.path().c_str(), cDefault, cFolderDefault.data(), cFolderDefault.size(), 0), 0);
  for (size_t w = 0; w < cWriters.size(); ++w) {
    SCOPED_TRACE(cWriters[w].name);
    const std::string named = dir.file("new-" + std::to_string(w));
    const Writer& writer = cWriters[w];
    ASSERT_TRUE(writer.write(named));
    // The folder's list, with the mask cut to the mode asked for (0666):
    // the named user may read and write.
    EXPECT_EQ(attribute(named, cAccess),
              accessList({{cUserObj, 6}, {cUser, 7, cNamedUser}, {cGroupObj, 5}, {cMask, 6}, {cOther, 0}}));
    EXPECT_EQ(modeOf(named), 0660u);
    if (::geteuid() == 0) {
      EXPECT_EQ(accessOf(named, cIdentities[1]), "rw");
      EXPECT_EQ(accessOf(named, cIdentities.back()), "--");
    }
  }
}

// The user may remove the old file while the new one is written (a render
// of minutes): the save still puts the new one in its place.
TEST(ExtendedAttributesTest, AFileRemovedWhileItsReplacementIsWrittenIsStillSaved) {
  TempDir dir("attributes");
  dir.write("named", "old");
  platform::ReplacingFile file;
  ASSERT_TRUE(file.create(dir.file("named")));
  ASSERT_TRUE(file.writeAll("new bytes", 9));
  ASSERT_EQ(::unlink(dir.file("named").c_str()), 0);
  EXPECT_TRUE(file.commit()) << file.error();
  EXPECT_EQ(dir.read("named"), "new bytes");
}

// An attribute this process may not set is left behind and the file saved;
// one the disk has no room for fails the save, and the old file stays as
// it was, with its attributes.
TEST(ExtendedAttributesTest, AnAttributeRefusedForRightsIsLeftAnyOtherFailureKeepsTheOldFile) {
  TempDir probe("attributes");
  if (const std::string why = attributesUnsupported(probe); !why.empty()) GTEST_SKIP() << why;
  struct Case {
    const char* name;
    int error;
    bool saved;
  };
  const std::vector<Case> cases = {
      {"user.origin", EPERM, true},
      {"user.origin", ENOTSUP, true},
      {"user.origin", ENOSPC, false},
      {"user.origin", EDQUOT, false},
      {"user.tag", E2BIG, false},
  };
  for (const Writer& writer : cWriters) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(writer.name) + ": " + c.name + " refused with " + std::strerror(c.error));
      TempDir dir("attributes");
      dir.write("named", "old");
      const std::string named = dir.file("named");
      ASSERT_EQ(::setxattr(named.c_str(), "user.origin", "take 3", 6, 0), 0);
      ASSERT_EQ(::setxattr(named.c_str(), "user.tag", "drums", 5, 0), 0);
      {
        const Refusal refusal(c.name, c.error);
        EXPECT_EQ(writer.write(named), c.saved);
      }
      EXPECT_EQ(dir.read("named") == "old", !c.saved);
      // The one refused is left behind by a save; the others are kept.
      EXPECT_EQ(attribute(named, "user.origin"), c.saved && std::strcmp(c.name, "user.origin") == 0
                                                     ? "(none: No data available)"
                                                     : "take 3");
      EXPECT_EQ(attribute(named, "user.tag"), "drums");
      // Nothing is left of the new file.
      size_t files = 0;
      for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
      EXPECT_EQ(files, 1u);
    }
  }
}
