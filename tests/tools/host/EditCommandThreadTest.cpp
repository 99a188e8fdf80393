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

#if defined(ZARN_BUNDLE) && defined(ZARN_HOST_PROGRAM)

namespace {

// zarn-host edit run as a program on `display`, its errors into a file.
class EditProgram {
public:
  EditProgram(const std::string& display, const std::vector<std::string>& options, const std::string& errFile) {
    std::vector<std::string> args{ZARN_HOST_PROGRAM, "edit", "--bundle", ZARN_BUNDLE};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"DISPLAY=" + display, "PATH=/usr/bin:/bin"};
    if (const char* home = std::getenv("HOME")) env.push_back(std::string("HOME=") + home);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT, 0600);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~EditProgram() {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Waits until its window is on the display.
  bool windowShown(const std::string& display) {
    zarn::test::XPeer peer(display);
    for (int i = 0; i < 1000; ++i) {
      if (peer.namedWindow("Zarn")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // The exit status, or -1 when it does not end within 10 s or was killed.
  int exitStatus() {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  pid_t pid = -1;
};

} // namespace

#endif

// A display that goes away ends the program, but not before the state is
// saved; so does SIGTERM (and Ctrl-C), which ends it cleanly.
TEST(EditCommandTest, ALostDisplayOrASignalSavesTheStateFirst) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_PROGRAM)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  auto xvfb = std::make_unique<zarn::test::Xvfb>();
  ZARN_REQUIRE_XVFB(*xvfb);
  zarn::test::TempDir dir;
  const std::string lost = dir.file("lost.state"), stopped = dir.file("stopped.state");
  {
    EditProgram edit(xvfb->display(), {"--preset", "Acid Bass", "--save-state", stopped}, dir.file("err1"));
    ASSERT_TRUE(edit.windowShown(xvfb->display()));
    kill(edit.pid, SIGTERM);
    EXPECT_EQ(edit.exitStatus(), 0) << dir.read("err1");
    EXPECT_EQ(presetNameIn(stopped), "Acid Bass");
  }
  EditProgram edit(xvfb->display(), {"--preset", "Acid Bass", "--save-state", lost}, dir.file("err2"));
  ASSERT_TRUE(edit.windowShown(xvfb->display()));
  xvfb.reset();
  EXPECT_EQ(edit.exitStatus(), 1);
  EXPECT_EQ(presetNameIn(lost), "Acid Bass");
  EXPECT_NE(dir.read("err2").find("the connection to the display was lost"), std::string::npos) << dir.read("err2");
#endif
}
