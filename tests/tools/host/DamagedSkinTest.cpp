// The bundle's editor with each of its skin pictures missing, then cut
// short, opened the host's way: the editor refuses with the picture's name
// and what is wrong with it, the host's call comes back, and the same
// instance goes on playing and opens its editor once the picture is back.
// (The sanitizer builds also see that nothing is freed twice or leaked.)

#include "platform/HeadlessWindowServer.h"
#include "platform/RunLoop.h"
#include "tools/host/EditorWindow.h"
#include "tools/host/SimHost.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#ifdef ZARN_BUNDLE
namespace {

namespace fs = std::filesystem;

// A copy of the bundle whose pictures may be changed: its own Resources,
// the program and the information file linked.
std::string copyOfTheBundle(const zarn::test::TempDir& dir) {
  const fs::path from(ZARN_BUNDLE), to = fs::path(dir.path()) / "Zarn.bundle";
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    if (entry.path().filename() == "Resources")
      fs::copy(entry.path(), to / "Resources", fs::copy_options::recursive);
    else
      fs::create_symlink(entry.path(), to / entry.path().filename());
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

} // namespace

TEST(DamagedSkinTest, EveryPictureMissingOrCutShortFailsTheEditorByNameAndThePlugInPlaysOn) {
  zarn::test::TempDir dir("zarn-skin");
  const fs::path resources = fs::path(copyOfTheBundle(dir)) / "Resources";
  std::vector<fs::path> pictures;
  for (const auto& entry : fs::directory_iterator(resources))
    if (entry.path().extension() == ".png") pictures.push_back(entry.path());
  std::sort(pictures.begin(), pictures.end());
  ASSERT_GT(pictures.size(), 50u);

  platform::RunLoop loop;
  platform::HeadlessWindowServer server(loop);
  platform::WindowServer::setCurrent(&server);
  {
    simhost::SimHost host;
    ASSERT_EQ(host.load(resources.parent_path().string()), 0);
    simhost::Instance& in = *host.createInstance(1);
    const float before = peakOfANote(host, in);
    ASSERT_GT(before, 0.01f);

    // Opens the editor, which must refuse; returns what it said.
    auto refusal = [&](const std::string& picture) -> std::string {
      try {
        simhost::EditorWindow window(host, in, server, {0, 0});
      } catch (const simhost::HostError& e) {
        EXPECT_EQ(e.status(), -7401) << picture;
        return e.what();
      }
      ADD_FAILURE() << "the editor opened without " << picture;
      return "";
    };

    const fs::path aside = fs::path(dir.path()) / "aside.png";
    for (const fs::path& picture : pictures) {
      const std::string name = picture.filename().string();
      fs::rename(picture, aside);
      const std::string missing = refusal(name);
      EXPECT_NE(missing.find("the picture " + name + " is missing"), std::string::npos) << missing;

      // Cut short after two thirds: the header reads, the pixels do not.
      fs::copy_file(aside, picture);
      fs::resize_file(picture, fs::file_size(aside) * 2 / 3);
      const std::string damaged = refusal(name);
      EXPECT_NE(damaged.find("the picture " + name + " in the plug-in's Resources folder cannot be read"),
                std::string::npos)
          << damaged;
      EXPECT_NE(damaged.find("damaged or cut short"), std::string::npos) << damaged;
      fs::remove(picture);
      fs::rename(aside, picture);
    }

    // The instance that failed them all plays as before and opens its
    // editor with its pictures back.
    EXPECT_NEAR(peakOfANote(host, in), before, before * 0.2f);
    EXPECT_NO_THROW(simhost::EditorWindow(host, in, server, {0, 0}));
  }
  platform::WindowServer::setCurrent(nullptr);
}
#endif
