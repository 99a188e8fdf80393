// zarn-host edit on a private X display: the window opens, the instance
// renders on its own thread meanwhile, and the window manager's close saves
// the state that render can play from.

#include "tools/host/RenderCommand.h"

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/XPeer.h"
#include "tests/support/Xvfb.h"
#include "tests/tools/render/MidiBytes.h"
#include "tools/host/HostState.h"
#include "tools/host/PresetByName.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

struct Result {
  int status = 0;
  std::string out, err;
};

Result run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Result r;
  r.status = simhost::runHostCommand(args, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// Runs `edit` while another client of the display waits for its window,
// lets it live `lifeMs` and closes it the way a window manager does.
Result editAndClose(const std::vector<std::string>& options, int lifeMs, bool& windowSeen) {
  const std::string name = zarn::test::Xvfb::shared().display();
  windowSeen = false;
  std::thread wm([&] {
    zarn::test::XPeer peer(name);
    for (int i = 0; i < 500; ++i) {
      if (const auto w = peer.namedWindow("Zarn")) {
        windowSeen = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(lifeMs));
        peer.closeWindow(*w);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  std::vector<std::string> args{"edit"};
  args.insert(args.end(), options.begin(), options.end());
  Result r = run(args);
  wm.join();
  return r;
}

std::string presetNameIn(const std::string& path) {
  simhost::HostState state;
  std::string error;
  if (!state.read(path, error)) return "unreadable: " + error;
  for (const auto& c : state.chunks())
    if (c.id == simhost::PresetByName::kPresetNameChunkID) return simhost::PresetByName::nameIn(c.record);
  return "";
}

} // namespace

// Without a display the command says so in one line and fails; a command
// line it cannot use fails with 2.
TEST(EditCommandTest, RefusesWithoutADisplay) {
  zarn::test::ScopedEnvironment display("DISPLAY", std::nullopt);
  Result r = run({"edit"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zarn-host edit: no display to open the editor on (DISPLAY is not set)\n");
  zarn::test::ScopedEnvironment forced("ZARN_WINDOW", "headless");
  zarn::test::ScopedEnvironment some("DISPLAY", ":0");
  EXPECT_EQ(run({"edit"}).err, "zarn-host edit: no display to open the editor on (ZARN_WINDOW=headless)\n");
  EXPECT_EQ(run({"edit", "--preset", "A", "--load-state", "s"}).status, 2);
  EXPECT_EQ(run({"edit", "--midi"}).status, 2);
}

// The window closes while the paced render plays a song; the state is saved
// on close, loads and saves into the same file unchanged, renders, and a
// state that cannot be written fails with the reason.
TEST(EditCommandThreadTest, ClosingTheWindowSavesTheStateWhileTheRenderRuns) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  zarn::test::ScopedEnvironment display("DISPLAY", zarn::test::Xvfb::shared().display());
  zarn::test::TempDir dir;
  // Two notes a beat apart, played in a loop.
  dir.write("song.mid", midibytes::header(0, 1, 480) +
                            midibytes::track({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40, 0x00, 0x90, 0x43,
                                              0x64, 0x83, 0x60, 0x80, 0x43, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
  const std::string state = dir.file("sound.state");
  bool seen = false;
  Result r = editAndClose({"--bundle", ZARN_BUNDLE, "--preset", "Acid Bass", "--midi", dir.file("song.mid"),
                           "--save-state", state},
                          400, seen);
  ASSERT_TRUE(seen);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(presetNameIn(state), "Acid Bass");
  // The render kept to the wall clock: never ahead of it.
  double rendered = 0, open = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "rendered %lf s of sound in %lf s", &rendered, &open), 2) << r.out;
  EXPECT_GT(rendered, 0.0);
  EXPECT_LE(rendered, open + 0.05);
  const std::string first = dir.read("sound.state");

  r = editAndClose({"--bundle", ZARN_BUNDLE, "--load-state", state, "--save-state", state}, 100, seen);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("sound.state"), first);
  EXPECT_FALSE(std::filesystem::exists(state + ".tmp"));

  r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.1", "--load-state", state,
           dir.file("song.mid"), dir.file("out.wav")});
  EXPECT_EQ(r.status, 0) << r.err;

  r = editAndClose({"--bundle", ZARN_BUNDLE, "--save-state", dir.file("missing/sound.state")}, 50, seen);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write " + dir.file("missing/sound.state") + ": No such file or directory"),
            std::string::npos)
      << r.err;
#endif
}

// A display that goes away ends the program, but not before the state is
// saved.
TEST(EditCommandTest, ALostDisplaySavesTheStateFirst) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_PROGRAM)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  auto xvfb = std::make_unique<zarn::test::Xvfb>();
  ZARN_REQUIRE_XVFB(*xvfb);
  zarn::test::TempDir dir;
  const std::string state = dir.file("lost.state");
  std::vector<std::string> args{ZARN_HOST_PROGRAM, "edit", "--bundle", ZARN_BUNDLE, "--preset", "Acid Bass",
                                "--save-state", state};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env{"DISPLAY=" + xvfb->display(), "PATH=/usr/bin:/bin"};
  if (const char* home = std::getenv("HOME")) env.push_back(std::string("HOME=") + home);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, dir.file("err").c_str(), O_WRONLY | O_CREAT, 0600);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  {
    zarn::test::XPeer peer(xvfb->display());
    bool seen = false;
    for (int i = 0; i < 1000 && !seen; ++i) {
      seen = peer.namedWindow("Zarn").has_value();
      if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(seen);
  }
  xvfb.reset();
  int status = 0;
  for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "zarn-host edit went on without its display";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(presetNameIn(state), "Acid Bass");
  EXPECT_NE(dir.read("err").find("the connection to the display was lost"), std::string::npos) << dir.read("err");
#endif
}
