#include "base/BinaryData.h"

#include "base/Folders.h"
#include "base/PathUtils.h"
#include "base/PlatformPaths.h"
#include "platform/TemporaryFiles.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <limits>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

// What a writer produced in memory.
template <typename F> std::string written(F f) {
  auto* out = new std::ostringstream;
  {
    BinaryDataWriter w(out);
    f(w);
    return out->str();
  }
}

int countEntries(const std::string& folder) {
  int n = 0;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
    closedir(d);
  }
  return n;
}

} // namespace

TEST(BinaryDataTest, WritesTheContainerByteForByte) {
  EXPECT_EQ(written([](BinaryDataWriter& w) { w.writeHeader("QVil", 1); }),
            bytes({'Q', 'V', 'i', 'l', 1, 0, 0, 0}));
  EXPECT_EQ(written([](BinaryDataWriter& w) { w.writeHeader("ab", 7); }), bytes({'a', 'b', 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(written([](BinaryDataWriter& w) { w.writeHeader("abcdef", 0x01020304); }),
            bytes({'a', 'b', 'c', 'd', 4, 3, 2, 1}));
  EXPECT_EQ(written([](BinaryDataWriter& w) { w.writeHeader("", -1); }),
            bytes({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(written([](BinaryDataWriter& w) { w.writeFloat(1.0f); }), bytes({0, 0, 0x80, 0x3F}));
  EXPECT_EQ(written([](BinaryDataWriter& w) { w.writeFloat(-2.5f); }), bytes({0, 0, 0x20, 0xC0}));
  EXPECT_EQ(written([](BinaryDataWriter& w) {
              w.writeInt(-2);
              w.writeInt(0x12345678);
            }),
            bytes({0xFE, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12}));
}

TEST(BinaryDataTest, HeaderTagIsComparedAsFourCharacters) {
  auto check = [](const std::string& file, const std::string& tag) {
    BinaryDataReader r(new std::istringstream(file));
    return r.headerValid(tag);
  };
  const std::string ab = bytes({'a', 'b', 0, 0, 7, 0, 0, 0});
  EXPECT_TRUE(check(ab, "ab"));
  EXPECT_FALSE(check(ab, "abc"));
  EXPECT_FALSE(check(ab, "a"));
  // Bytes after a NUL that both share are not compared.
  EXPECT_TRUE(check(bytes({'a', 'b', 0, 'z', 7, 0, 0, 0}), "ab"));
  EXPECT_TRUE(check(bytes({'Q', 'V', 'i', 'l', 1, 0, 0, 0}), "QVil"));
  EXPECT_FALSE(check(bytes({'Q', 'V', 'i', 'x', 1, 0, 0, 0}), "QVil"));
  EXPECT_FALSE(check(bytes({'q', 'V', 'i', 'l', 1, 0, 0, 0}), "QVil"));
  // Only the first four characters of a longer tag count.
  EXPECT_TRUE(check(bytes({'Q', 'V', 'i', 'l', 1, 0, 0, 0}), "QVilX"));

  BinaryDataReader r(new std::istringstream(bytes({'Q', 'V', 'i', 'l', 9, 0, 0, 0})));
  EXPECT_EQ(r.getVersion(), -1);
  EXPECT_TRUE(r.headerValid("QVil"));
  EXPECT_EQ(r.getVersion(), 9);
  EXPECT_FALSE(r.failed());
}

TEST(BinaryDataTest, TruncatedDataIsReportedAndReadsAsZero) {
  {
    // Six bytes: the version's two present bytes are kept, the rest is 0.
    BinaryDataReader r(new std::istringstream(bytes({'Q', 'V', 'i', 'l', 0x34, 0x12})));
    EXPECT_FALSE(r.headerValid("QVil"));
    EXPECT_EQ(r.getVersion(), 0x1234);
    EXPECT_TRUE(r.failed());
  }
  {
    BinaryDataReader r(new std::istringstream(bytes({'Q', 'V', 'i', 'l', 1, 0, 0, 0, 0x01, 0x02})));
    EXPECT_TRUE(r.headerValid("QVil"));
    EXPECT_FALSE(r.failed());
    EXPECT_EQ(r.readInt(), 0x0201);
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.readInt(), 0);
    EXPECT_EQ(r.readFloat(), 0.0f);
  }
  {
    BinaryDataReader r(new std::istringstream(std::string()));
    EXPECT_FALSE(r.headerValid(""));
    EXPECT_EQ(r.getVersion(), 0);
  }
}

TEST(BinaryDataTest, FileRoundTripIsExact) {
  zarn::test::TempDir dir;
  const std::string path = dir.file("values.qvp");
  const float denormal = std::numeric_limits<float>::denorm_min();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  {
    BinaryFileWriter w(path);
    w.writeHeader("QVpr", 3);
    w.writeInt(std::numeric_limits<int>::min());
    w.writeInt(std::numeric_limits<int>::max());
    w.writeFloat(0.1f);
    w.writeFloat(-0.0f);
    w.writeFloat(denormal);
    w.writeFloat(nan);
    EXPECT_FALSE(w.failed());
  }
  const std::string file = dir.read("values.qvp");
  ASSERT_EQ(file.size(), 32u);
  EXPECT_EQ(file.substr(0, 16), bytes({'Q', 'V', 'p', 'r', 3, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}));
  EXPECT_EQ(file.substr(16, 4), bytes({0xCD, 0xCC, 0xCC, 0x3D})); // 0.1f

  BinaryFileReader r(path);
  ASSERT_TRUE(r.headerValid("QVpr"));
  EXPECT_EQ(r.getVersion(), 3);
  EXPECT_EQ(r.readInt(), std::numeric_limits<int>::min());
  EXPECT_EQ(r.readInt(), std::numeric_limits<int>::max());
  EXPECT_EQ(r.readFloat(), 0.1f);
  float negativeZero = r.readFloat();
  EXPECT_TRUE(negativeZero == 0.0f && std::signbit(negativeZero));
  EXPECT_EQ(r.readFloat(), denormal);
  EXPECT_TRUE(std::isnan(r.readFloat()));
  EXPECT_FALSE(r.failed());
  r.readInt();
  EXPECT_TRUE(r.failed());

  // Written again through the writer, the bytes are the same.
  BinaryFileReader again(path);
  again.headerValid("QVpr");
  const std::string copy = dir.file("copy.qvp");
  {
    BinaryFileWriter w(copy);
    w.writeHeader("QVpr", again.getVersion());
    for (int i = 0; i < 2; ++i) w.writeInt(again.readInt());
    for (int i = 0; i < 4; ++i) w.writeFloat(again.readFloat());
  }
  EXPECT_EQ(dir.read("copy.qvp"), file);
}

TEST(BinaryDataTest, MissingOrForeignFilesAreFailures) {
  zarn::test::TempDir dir;
  BinaryFileReader missing(dir.file("none.qvp"));
  EXPECT_FALSE(missing.headerValid("QVpr"));
  EXPECT_EQ(missing.readInt(), 0);
  EXPECT_TRUE(missing.failed());

  dir.write("foreign.qvp", "<?xml version=\"1.0\"?><preset/>");
  BinaryFileReader foreign(dir.file("foreign.qvp"));
  EXPECT_FALSE(foreign.headerValid("QVpr"));
}

TEST(BinaryDataTest, FileWriterReplacesTheFileOnlyWhenComplete) {
  zarn::test::TempDir dir;
  dir.write("map.qvm", "old contents");
  chmod(dir.file("map.qvm").c_str(), 0640);
  {
    BinaryFileWriter w(dir.file("map.qvm"));
    w.writeHeader("QVmc", 1);
    w.writeInt(5);
    // Until it is committed the old file is intact, and nothing but the
    // hidden temporary file sits next to it.
    EXPECT_EQ(dir.read("map.qvm"), "old contents");
    EXPECT_EQ(countEntries(dir.path()), 2);
    // Named so that a later start can tell it is this process's.
    bool named = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "map.qvm") {
        named = platform::temporaryFileOwner(name) == ::getpid() && name.rfind(".map.qvm.", 0) == 0;
        EXPECT_TRUE(named) << name;
      }
    }
    EXPECT_TRUE(named);
    EXPECT_TRUE(w.commit());
    EXPECT_EQ(countEntries(dir.path()), 1);
    // Later writes change nothing.
    w.writeInt(6);
  }
  EXPECT_EQ(dir.read("map.qvm"), bytes({'Q', 'V', 'm', 'c', 1, 0, 0, 0, 5, 0, 0, 0}));
  struct stat st;
  ASSERT_EQ(stat(dir.file("map.qvm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A folder that does not exist: the writer fails and says so.
  {
    BinaryFileWriter w(dir.file("missing/map.qvm"));
    w.writeHeader("QVmc", 1);
    EXPECT_TRUE(w.failed());
    EXPECT_FALSE(w.commit());
  }
  EXPECT_FALSE(fileExists(dir.file("missing/map.qvm")));

  // A target that cannot be replaced (a folder of that name): the commit
  // fails, the folder stays and no temporary file is left behind.
  mkdir(dir.file("taken").c_str(), 0755);
  {
    BinaryFileWriter w(dir.file("taken"));
    w.writeHeader("QVmc", 1);
    EXPECT_FALSE(w.commit());
  }
  EXPECT_TRUE(folderExists(dir.file("taken")));
  EXPECT_EQ(countEntries(dir.path()), 2);
}

// Presets and the controller map are the user's files: saved again, each
// keeps what the user set on it, as the render tools' files do.
TEST(BinaryDataTest, FileWriterKeepsWhatTheUserSetOnTheFile) {
  zarn::test::expectReplacedFilesKept(
      [](const std::string& path) {
        BinaryFileWriter w(path);
        w.writeHeader("QVpr", 7);
        return w.commit();
      },
      bytes({'Q', 'V', 'p', 'r', 7, 0, 0, 0}));
}

// A preset or the controller map is saved only into a regular file or where
// nothing is: never over a device, a FIFO or a folder the name leads to.
TEST(BinaryDataTest, FileWriterSavesOnlyIntoARegularFile) {
  zarn::test::Saver saver;
  saver.write = [](const std::string& path, const std::function<void()>& between) {
    BinaryFileWriter w(path);
    w.writeHeader("QVpr", 7);
    between();
    return w.commit();
  };
  saver.written = bytes({'Q', 'V', 'p', 'r', 7, 0, 0, 0});
  saver.hasMoment = true;
  zarn::test::expectOnlyRegularFilesSaved(saver);
}

TEST(BinaryDataTest, ResourceReaderReadsFromTheBundle) {
  zarn::test::TestBundle bundle("com.quorvane.test.binarydata");
  bundle.writeResource("Ulk.fil", bytes({'Q', 'V', 'f', 'l', 2, 0, 0, 0, 0, 0, 0x80, 0x3F}));
  BinaryResourceReader r("Ulk.fil");
  ASSERT_TRUE(r.headerValid("QVfl"));
  EXPECT_EQ(r.getVersion(), 2);
  EXPECT_EQ(r.readFloat(), 1.0f);
  EXPECT_FALSE(r.failed());

  try {
    BinaryResourceReader missing("Missing.fil");
    FAIL() << "a missing resource must throw";
  } catch (const EResource& e) {
    EXPECT_STREQ(e.what(), "Resource not found");
  }
}
