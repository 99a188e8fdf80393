// The bundle's editor with each of its skin pictures missing, then cut
// short, opened the host's way: the editor refuses with the picture's name
// and what is wrong with it, the host's call comes back, and the same
// instance goes on playing and opens its editor once the picture is back.
// (The sanitizer builds also see that nothing is freed twice or leaked.)
// The command-line tool says the same in one line and leaves nothing in the
// temporary folder.

#include "platform/HeadlessWindowServer.h"
#include "platform/PngWriter.h"
#include "platform/RunLoop.h"
#include "tools/host/EditorWindow.h"
#include "tools/host/SimHost.h"

#include "tests/support/TempDir.h"
#include "tests/tools/host/HostCommandRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#ifdef ZARN_BUNDLE
namespace {

namespace fs = std::filesystem;

// A copy of the bundle whose pictures may be changed: its own pictures,
// everything else linked.
std::string copyOfTheBundle(const zarn::test::TempDir& dir) {
  const fs::path from(ZARN_BUNDLE), to = fs::path(dir.path()) / "Zarn.bundle";
  fs::create_directories(to / "Resources");
  for (const auto& entry : fs::directory_iterator(from))
    if (entry.path().filename() != "Resources") fs::create_symlink(entry.path(), to / entry.path().filename());
  for (const auto& entry : fs::directory_iterator(from / "Resources")) {
    const fs::path copy = to / "Resources" / entry.path().filename();
    if (entry.path().extension() == ".png")
      fs::copy_file(entry.path(), copy);
    else
      fs::create_symlink(entry.path(), copy);
  }
  return to.string();
}

// The loudest sample of a second with a note held.
float peakOfANote(simhost::SimHost& host, simhost::Instance& in) {
  std::vector<float> left(44100), right(44100);
  host.queueMidi(in, 0, 0x90, 60, 100);
  float* outputs[2] = {left.data(), right.data()};
  host.render(in, nullptr, outputs, 44100);
  host.queueMidi(in, 0, 0x80, 60, 0);
  float* none[2] = {nullptr, nullptr};
  host.render(in, nullptr, none, 44100);
  float peak = 0.0f;
  for (float s : left) peak = std::max(peak, std::fabs(s));
  return peak;
}

// The checks run in a process of their own: a process keeps the plug-in it
// loaded once, with the (copied, then removed) bundle it came from, and the
// other tests of this program load the build's bundle. Each failed check is
// a line on the standard error; the number of them is the exit status
// (the process ends normally, so that the leak checker has its say).
int everyPictureMissingOrCutShort() {
  int failures = 0;
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) {
      std::fprintf(stderr, "FAILED: %s\n", what.c_str());
      ++failures;
    }
  };
  zarn::test::TempDir dir("zarn-skin");
  const fs::path resources = fs::path(copyOfTheBundle(dir)) / "Resources";
  std::vector<fs::path> pictures;
  for (const auto& entry : fs::directory_iterator(resources))
    if (entry.path().extension() == ".png") pictures.push_back(entry.path());
  std::sort(pictures.begin(), pictures.end());
  // The background first (see below).
  std::stable_partition(pictures.begin(), pictures.end(),
                        [](const fs::path& p) { return p.filename() == "Background.png"; });
  check(pictures.size() > 50 && pictures[0].filename() == "Background.png", "the bundle's pictures: " + std::to_string(pictures.size()));

  platform::RunLoop loop;
  platform::HeadlessWindowServer server(loop);
  platform::WindowServer::setCurrent(&server);
  {
    simhost::SimHost host;
    if (host.load(resources.parent_path().string()) != 0) return 100;
    simhost::Instance& in = *host.createInstance(1);
    const float before = peakOfANote(host, in);
    check(before > 0.01f, "a note sounds: " + std::to_string(before));

    // Opens the editor, which must refuse; returns what it said.
    auto refusal = [&](const std::string& picture) -> std::string {
      try {
        simhost::EditorWindow window(host, in, server, {0, 0});
      } catch (const simhost::HostError& e) {
        check(e.status() == -7401, picture + ": status " + std::to_string(e.status()));
        return e.what();
      }
      check(false, "the editor opened without " + picture);
      return "";
    };
    auto says = [&](const std::string& said, const std::string& words) {
      check(said.find(words) != std::string::npos, "\"" + said + "\" does not say \"" + words + "\"");
    };

    const fs::path aside = fs::path(dir.path()) / "aside.png";
    const fs::path background = resources / "Background.png";
    const fs::path fullBackground = fs::path(dir.path()) / "Background.png";
    for (const fs::path& picture : pictures) {
      // Every opening reads the background first, and the whole panel's
      // picture is most of the reading; once it has had its own turn, a
      // small one stands in for it (the window does not take its size).
      if (picture.filename() != "Background.png" && !fs::exists(fullBackground)) {
        fs::rename(background, fullBackground);
        const std::vector<uint8_t> grey(8 * 8 * 4, 128);
        const std::vector<unsigned char> small = encodePng(8, 8, grey.data(), true);
        std::ofstream(background, std::ios::binary).write(reinterpret_cast<const char*>(small.data()),
                                                          static_cast<std::streamsize>(small.size()));
      }
      const std::string name = picture.filename().string();
      fs::rename(picture, aside);
      says(refusal(name), "the picture " + name + " is missing from the plug-in's Resources folder");

      // Cut short after two thirds: the header reads, the pixels do not.
      fs::copy_file(aside, picture);
      fs::resize_file(picture, fs::file_size(aside) * 2 / 3);
      const std::string damaged = refusal(name + " cut short");
      says(damaged, "the picture " + name + " in the plug-in's Resources folder cannot be read");
      says(damaged, "it is damaged or cut short: reinstall the plug-in (-7401)");
      fs::remove(picture);
      fs::rename(aside, picture);
    }

    fs::remove(background);
    fs::rename(fullBackground, background);

    // A picture the reader does not take says so, and what to do.
    fs::copy_file(background, aside);
    {
      std::fstream png(background, std::ios::in | std::ios::out | std::ios::binary);
      png.seekp(28); // the header's interlace method
      png.put(char(1));
    }
    says(refusal("an interlaced Background.png"),
         "the picture Background.png in the plug-in's Resources folder cannot be read (Unsupported PNG format: "
         "interlaced); save it as an 8-bit RGB or RGBA PNG without interlacing (-7401)");
    fs::remove(background);
    fs::rename(aside, background);

    // The instance that failed them all plays as before and opens its
    // editor with its pictures back.
    const float after = peakOfANote(host, in);
    check(std::fabs(after - before) <= before * 0.2f,
          "the peak after " + std::to_string(after) + " against " + std::to_string(before));
    try {
      simhost::EditorWindow window(host, in, server, {0, 0});
    } catch (const std::exception& e) {
      check(false, std::string("the whole skin: ") + e.what());
    }
  }
  platform::WindowServer::setCurrent(nullptr);
  return std::min(failures, 99);
}

} // namespace

#ifdef ZARN_HOST_EXECUTABLE
// The command-line tool with a picture missing (the background too, which
// the window is sized by) or with a plug-in that has no editor: one line
// that says which, a failure status, and its private home gone from the
// temporary folder.
TEST(DamagedSkinTest, ASnapshotThatCannotOpenTheEditorSaysWhyAndLeavesNothingBehind) {
  const std::string missing = "zarn-host snapshot: the editor could not be opened: the picture ";
  const std::string reinstall = " is missing from the plug-in's Resources folder (Resource not found); reinstall the "
                                "plug-in (-7401)\n";
  struct Case {
    std::string picture; // removed from a copy of the bundle; empty: the test bundle without an editor
    std::string said;
  };
  const Case cases[] = {
      {"LightOn.png", missing + "LightOn.png" + reinstall},
      {"Background.png", missing + "Background.png" + reinstall},
      {"", "zarn-host snapshot: the plug-in has no editor (-7401)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picture.empty() ? "no editor" : c.picture);
    zarn::test::TempDir dir("zarn-skin");
    std::string bundle = ZARN_TEST_GAIN_BUNDLE;
    if (!c.picture.empty()) {
      bundle = copyOfTheBundle(dir);
      fs::remove(fs::path(bundle) / "Resources" / c.picture);
    }
    fs::create_directory(dir.file("tmp"));
    const pid_t pid =
        hosttest::startHost({"snapshot", "--bundle", bundle, dir.file("out.png")},
                            {"PATH=/usr/bin:/bin", "HOME=" + dir.path(), "TMPDIR=" + dir.file("tmp")}, "/dev/null",
                            dir.file("err"));
    ASSERT_GT(pid, 0);
    const int status = hosttest::waitForExit(pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(dir.read("err"), c.said);
    EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
    EXPECT_FALSE(fs::exists(dir.file("out.png")));
  }
}
#endif

TEST(DamagedSkinTest, EveryPictureMissingOrCutShortFailsTheEditorByNameAndThePlugInPlaysOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(everyPictureMissingOrCutShort()), testing::ExitedWithCode(0), "");
}
#endif
