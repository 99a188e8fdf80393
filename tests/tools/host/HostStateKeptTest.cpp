// A state saved over another user's state file, which this user may write
// through its group, is written into in place; where that cannot be done
// (here: no room on the disk), the writer keeps the whole state beside it
// and HostState::write says where, so that the editor reports that one
// file and keeps no second copy of its own.

#include "tools/host/HostState.h"

#include "platform/ReplacingFileSeams.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OtherUsers.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

TEST(HostStateKeptTest, AStateThatCannotBeWrittenInPlaceIsKeptOnceAndSaidWhere) {
  if (::geteuid() != 0) GTEST_SKIP() << "it needs root to have a file of another user and to become its writer";
  using namespace zarn::test;
  TempDir dir("state-kept");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  dir.write("sound.state", "her state");
  const std::string path = dir.file("sound.state");
  ASSERT_EQ(::chown(path.c_str(), cHer, cStudio), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
  simhost::HostState state;
  state.add(0x51565031, std::vector<unsigned char>(4096, 7));

  const ChildResult r = runInChild([&] {
    if (!become({"the writer", cNobody, cNogroup, {cStudio}})) return std::string("cannot become the writer");
    platform::seams::gInPlace.reserve = [](int, off_t) { return errno = ENOSPC, -1; };
    std::string error, kept;
    const bool written = state.write(path, error, &kept);
    return std::string(written ? "written" : "refused") + "|" + kept + "|" + error;
  });
  ASSERT_TRUE(r.finished) << r.output;
  const std::string kept = path + ".unsaved";
  EXPECT_EQ(r.output, "refused|" + kept + "|cannot write " + path +
                          ": No space left on device; it keeps its old contents; the complete file is kept in " + kept);
  EXPECT_EQ(dir.read("sound.state"), "her state");
  EXPECT_EQ(dir.read("sound.state.unsaved"), state.serialize());
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"sound.state", "sound.state.unsaved"}));
}
