// The plug-in's program cut short, as a download or a copy that stopped
// leaves it: every command must refuse it in words that say to reinstall,
// however much of it is left. The loader maps the parts its headers name
// straight from the file, so a file that still has its headers but not
// all its parts used to end the process with SIGBUS inside the load.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef ZARN_BUNDLE
namespace {

namespace fs = std::filesystem;

// A copy of the bundle whose program holds only its first length bytes.
std::string bundleCutAt(const zarn::test::TempDir& dir, uintmax_t length) {
  const fs::path from(ZARN_BUNDLE), to = fs::path(dir.path()) / "Zarn.bundle";
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from))
    if (entry.path().filename() != "Zarn.so") fs::create_symlink(entry.path(), to / entry.path().filename());
  fs::copy_file(from / "Zarn.so", to / "Zarn.so");
  fs::resize_file(to / "Zarn.so", length);
  return to.string();
}

} // namespace

TEST(DamagedBinaryTest, AProgramCutShortAtAnyLengthIsRefusedWithWordsToReinstall) {
  const uintmax_t whole = fs::file_size(fs::path(ZARN_BUNDLE) / "Zarn.so");
  // From nothing, through the headers, to a megabyte: well inside the
  // code of any build (debug information after it is never mapped).
  for (const uintmax_t length : {0, 10, 64, 1000, 5000, 65536, 1 << 20}) {
    SCOPED_TRACE("cut to " + std::to_string(length) + " of " + std::to_string(whole) + " bytes");
    zarn::test::TempDir dir("zarn-cut");
    const std::string bundle = bundleCutAt(dir, length);
    // In a child: the fault under test ends the process.
    const zarn::test::ChildResult r = zarn::test::runInChild([&] {
      const hosttest::Result result = hosttest::run({"info", "--bundle", bundle});
      return std::to_string(result.status) + "\n" + result.err;
    });
    ASSERT_TRUE(r.finished) << "the command crashed";
    EXPECT_NE(r.output.substr(0, 2), "0\n") << r.output;
    EXPECT_NE(r.output.find("Zarn.so is damaged: it is cut short"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("reinstall the plug-in"), std::string::npos) << r.output;
  }
  // The whole program still loads.
  zarn::test::TempDir dir("zarn-cut");
  const std::string bundle = bundleCutAt(dir, whole);
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    const hosttest::Result result = hosttest::run({"info", "--bundle", bundle});
    return std::to_string(result.status) + "\n" + result.err;
  });
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.output.substr(0, 2), "0\n") << r.output;
}
#endif
