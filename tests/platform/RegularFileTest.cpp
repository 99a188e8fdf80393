#include "platform/RegularFile.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using zarn::test::ChildResult;
using zarn::test::runInChild;
using zarn::test::TempDir;

namespace {

// What the opener says of a path, or "hung" when it waited.
std::string whatOpeningSays(const std::string& path) {
  const ChildResult r = runInChild([&] {
    std::string reason;
    const platform::FileDescriptor fd = platform::openRegularFile(path, &reason);
    return fd ? std::string("opened") : "refused: " + reason;
  });
  return r.finished ? r.output : "hung";
}

} // namespace

TEST(RegularFileTest, FifosDevicesAndFoldersAreRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  dir.write("Folder/x", "");
  EXPECT_EQ(whatOpeningSays(dir.file("pipe")), "refused: is not a file");
  EXPECT_EQ(whatOpeningSays("/dev/zero"), "refused: is not a file");
  EXPECT_EQ(whatOpeningSays(dir.file("Folder")), "refused: is not a file");
  EXPECT_EQ(whatOpeningSays(dir.file("missing")), std::string("refused: ") + std::strerror(ENOENT));
  EXPECT_EQ(whatOpeningSays(""), std::string("refused: ") + std::strerror(ENOENT));

  // The stream form: failed, reads give nothing.
  std::string reason;
  const ChildResult r = runInChild([&] {
    const auto s = platform::newRegularFileStream(dir.file("pipe"), &reason);
    char c = 'x';
    s->read(&c, 1);
    return std::string(s->fail() ? "failed " : "read ") + reason + " " + c;
  });
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.output, "failed is not a file x");
}

TEST(RegularFileTest, ARegularFileReadsAndSeeksLikeAFileStream) {
  TempDir dir;
  // Longer than the stream's buffer, so reads and seeks cross refills.
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += static_cast<char>('a' + i % 26);
  dir.write("data", bytes);
  ASSERT_EQ(::symlink(dir.file("data").c_str(), dir.file("link").c_str()), 0);

  std::string reason = "left over";
  const auto in = platform::newRegularFileStream(dir.file("link"), &reason);
  ASSERT_TRUE(*in);
  EXPECT_EQ(reason, "");
  std::string head(10000, '\0');
  in->read(head.data(), 10000);
  EXPECT_EQ(head, bytes.substr(0, 10000));
  EXPECT_EQ(in->tellg(), std::streampos(10000));
  in->seekg(0, std::ios::end);
  EXPECT_EQ(in->tellg(), std::streampos(20000));
  in->seekg(8190);
  std::string middle(5, '\0');
  in->read(middle.data(), 5);
  EXPECT_EQ(middle, bytes.substr(8190, 5));
  in->seekg(-3, std::ios::cur);
  EXPECT_EQ(in->get(), bytes[8192]);
  in->seekg(19998);
  std::string tail(4, '\0');
  in->read(tail.data(), 4);
  EXPECT_EQ(in->gcount(), 2);
  EXPECT_TRUE(in->eof());
  EXPECT_EQ(tail.substr(0, 2), bytes.substr(19998));

  // Whatever it opens is the file it checked, and it reads with blocking
  // calls (O_NONBLOCK is off again).
  const platform::FileDescriptor fd = platform::openRegularFile(dir.file("data"));
  ASSERT_TRUE(fd);
  EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);
}
