// zarn-host edit on a private X display, run as a program: the window
// opens, the instance renders on its own thread meanwhile, and the window
// manager's close (or a signal, or a lost display) saves the state that
// render can play from.

#include "tools/host/RenderCommand.h"
#include "tests/tools/host/HostCommandRun.h"
#include "tests/tools/host/RgbPng.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadLook.h"
#include "tests/support/Waiting.h"
#include "tests/support/XPeer.h"
#include "tests/support/Xvfb.h"
#include "tests/tools/render/MidiBytes.h"
#include "platform/Clock.h"
#include "tools/host/ControlByName.h"
#include "tools/host/EditCommand.h"
#include "tools/host/HostState.h"
#include "tools/host/PacedRender.h"
#include "tools/host/PresetByName.h"
#include "tools/host/SimHost.h"

#include <png.h>

#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using hosttest::Result;
using hosttest::run;

std::string presetNameIn(const std::string& path) {
  simhost::HostState state;
  std::string error;
  if (!state.read(path, error)) return "unreadable: " + error;
  for (const auto& c : state.chunks())
    if (c.id == simhost::PresetByName::kPresetNameChunkID) return simhost::PresetByName::nameIn(c.record);
  return "";
}

} // namespace

#if defined(ZARN_BUNDLE) && defined(ZARN_HOST_EXECUTABLE)

namespace {

// zarn-host edit run as a program on `display`, its output and errors into
// files. The plug-in is never loaded into the test itself: once loaded, a
// process keeps it, with the clock it started on, and the render tests need
// it loaded on the virtual clock.
class EditProgram {
public:
  EditProgram(const std::string& display, const std::vector<std::string>& options, const std::string& errFile,
              const std::string& outFile = "/dev/null", const std::string& command = "edit",
              const std::string& path = "/usr/bin:/bin") {
    std::vector<std::string> args{command, "--bundle", ZARN_BUNDLE};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<std::string> env{"DISPLAY=" + display, "PATH=" + path};
    if (const char* home = std::getenv("HOME")) env.push_back(std::string("HOME=") + home);
    pid = hosttest::startHost(args, env, outFile, errFile);
  }
  ~EditProgram() {
    int status = 0;
    if (pid > 0) zarn::test::awaitChild(pid, status, 0);
  }
  // The waits here guard against a hang and measure no speed: a first
  // start in a fresh home builds the wave tables, which under
  // ThreadSanitizer on two busy cores took more than 10 s.
  static constexpr std::chrono::seconds cStartPatience{60};
  // Waits until its window is on the display.
  bool windowShown(const std::string& display) { return window(display).has_value(); }
  std::optional<::Window> window(const std::string& display) {
    zarn::test::XPeer peer(display);
    std::optional<::Window> w;
    zarn::test::eventually([&] { return (w = peer.namedWindow("Zarn")).has_value(); }, cStartPatience);
    return w;
  }
  // Waits until the editor is up: its skin on the screen (the window starts
  // black). Whatever the editor reacts to exists by then: it is made before
  // the window's first paint, and input that comes during the paint waits
  // in the queue behind it.
  bool editorShown(const std::string& display) {
    const auto w = window(display);
    if (!w) return false;
    zarn::test::XPeer eye(display);
    return zarn::test::eventually(
        [&] {
          const auto rgb = eye.rgb(*w, 640, 522);
          return std::any_of(rgb.begin(), rgb.end(), [](uint8_t c) { return c > 40; });
        },
        cStartPatience);
  }
  // Waits until its render has rendered sound. That its render thread
  // exists and has run says too little: the thread waits a buffer's time
  // before its first buffer, and a close meanwhile stops it with nothing
  // rendered. So the thread is looked at from outside (the command says
  // nothing until it ends): seen asleep in its wait for the next buffer
  // (a futex wait with a deadline), then asleep on the same word again
  // after a sleep more. In between it woke and went round its loop, which
  // renders a buffer before it waits again.
  bool rendering() {
    std::optional<zarn::test::ThreadLook> first;
    return zarn::test::eventually(
        [&] {
          for (const pid_t tid : zarn::test::threadsNamed(pid, simhost::PacedRender::kThreadName)) {
            const auto look = zarn::test::lookAt(pid, tid);
            if (!look || !zarn::test::inFutexWaitUntil(*look)) continue;
            if (!first) first = look;
            if (look->args[0] == first->args[0] && look->sleeps > first->sleeps) return true;
          }
          return false;
        },
        cStartPatience);
  }
  // Closes its window as a window manager does; the exit status. Whatever
  // the test did on the display before is handled first: the close comes
  // behind it in the program's queue.
  int close(const std::string& display) {
    const auto w = window(display);
    if (!w) return -1;
    zarn::test::XPeer(display).closeWindow(*w);
    return exitStatus();
  }
  // The exit status, or -1 when it does not end within 60 s or was killed.
  int exitStatus() {
    int status = 0;
    const bool ended = zarn::test::awaitChild(pid, status, static_cast<int>(cStartPatience.count()));
    pid = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t pid = -1;
};

} // namespace

#endif

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
  // An empty value (an unset shell variable) is refused, not taken for no
  // option: the state would silently go unsaved.
  const Result empty = run({"edit", "--save-state="});
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("--save-state needs a value"), std::string::npos) << empty.err;
}

// The host's buffer is a whole number of the plug-in's 32-sample quanta, 512
// frames unless given; another size is a command line the command refuses.
TEST(EditCommandTest, TakesAHostBufferOfWholeQuanta) {
  simhost::EditOptions options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(simhost::parseEditOptions({}, options, help, error)) << error;
  EXPECT_EQ(options.bufferFrames, 512);
  ASSERT_TRUE(simhost::parseEditOptions({"--buffer-size=1024"}, options, help, error)) << error;
  EXPECT_EQ(options.bufferFrames, 1024);
  ASSERT_TRUE(simhost::parseEditOptions({"--buffer-size", "32"}, options, help, error)) << error;
  EXPECT_EQ(options.bufferFrames, 32);
  for (const char* bad : {"100", "0", "-64", "8224", "512x", "abc"}) {
    const Result r = run({"edit", "--buffer-size", bad});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--buffer-size must be a multiple of 32 from 32 to 8192, not " + std::string(bad)),
              std::string::npos)
        << r.err;
  }
  EXPECT_NE(run({"edit", "--help"}).out.find("--buffer-size N"), std::string::npos);
}

// The window closes while the paced render plays a song; the state is saved
// on close, loads and saves into the same file unchanged, renders, and a
// state that cannot be written fails with the reason.
TEST(EditCommandThreadTest, ClosingTheWindowSavesTheStateWhileTheRenderRuns) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  // Two notes a beat apart, played in a loop.
  dir.write("song.mid", midibytes::header(0, 1, 480) +
                            midibytes::track({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40, 0x00, 0x90, 0x43,
                                              0x64, 0x83, 0x60, 0x80, 0x43, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
  const std::string state = dir.file("sound.state");
  {
    EditProgram edit(display, {"--preset", "Acid Bass", "--midi", dir.file("song.mid"), "--save-state", state},
                     dir.file("err"), dir.file("out"));
    ASSERT_TRUE(edit.windowShown(display)) << dir.read("err");
    ASSERT_TRUE(edit.rendering()) << "the render never rendered a buffer";
    ASSERT_EQ(edit.close(display), 0) << dir.read("err");
  }
  EXPECT_EQ(presetNameIn(state), "Acid Bass");
  // The render kept to the wall clock: never ahead of it.
  double rendered = 0, open = 0;
  ASSERT_EQ(std::sscanf(dir.read("out").c_str(), "rendered %lf s of sound in %lf s", &rendered, &open), 2)
      << dir.read("out");
  EXPECT_GT(rendered, 0.0);
  EXPECT_LE(rendered, open + 0.05);
  const std::string first = dir.read("sound.state");

  {
    EditProgram edit(display, {"--load-state", state, "--save-state", state}, dir.file("err"));
    ASSERT_EQ(edit.close(display), 0) << dir.read("err");
  }
  EXPECT_EQ(dir.read("sound.state"), first);
  EXPECT_FALSE(std::filesystem::exists(state + ".tmp"));

  Result r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.1", "--load-state", state,
                  dir.file("song.mid"), dir.file("out.wav")});
  EXPECT_EQ(r.status, 0) << r.err;

  // A folder that goes away while the window is open: the session's state
  // is kept in the home folder, and the command says where and fails.
  std::filesystem::create_directory(dir.file("going"));
  const std::string going = dir.file("going/sound.state");
  {
    EditProgram edit(display, {"--preset", "Acid Bass", "--save-state", going}, dir.file("err"));
    ASSERT_TRUE(edit.windowShown(display));
    std::filesystem::remove_all(dir.file("going"));
    EXPECT_EQ(edit.close(display), 1);
  }
  const std::string said = dir.read("err");
  EXPECT_NE(said.find("cannot write " + going + ": No such file or directory"), std::string::npos) << said;
  const std::string keptIn = "; the state was kept in ";
  const size_t at = said.find(keptIn);
  ASSERT_NE(at, std::string::npos) << said;
  const std::string kept = said.substr(at + keptIn.size(), said.find('\n', at) - at - keptIn.size());
  EXPECT_EQ(kept.rfind(std::string(std::getenv("HOME")) + "/sound.state.unsaved-", 0), 0u) << kept;
  EXPECT_EQ(presetNameIn(kept), "Acid Bass");
  std::filesystem::remove(kept);

  // A folder made at the state's name meanwhile: the state is kept beside
  // it, under a name that no earlier session's kept state holds.
  std::filesystem::create_directory(dir.file("kept"));
  dir.write("kept/sound.state.unsaved", "an earlier session's state");
  const std::string blocked = dir.file("kept/sound.state");
  {
    EditProgram edit(display, {"--preset", "Acid Bass", "--save-state", blocked}, dir.file("err-kept"));
    ASSERT_TRUE(edit.windowShown(display));
    std::filesystem::create_directory(blocked);
    EXPECT_EQ(edit.close(display), 1);
  }
  EXPECT_EQ(dir.read("kept/sound.state.unsaved"), "an earlier session's state");
  EXPECT_NE(dir.read("err-kept").find("; the state was kept in " + blocked + ".unsaved-2\n"), std::string::npos)
      << dir.read("err-kept");
  EXPECT_EQ(presetNameIn(blocked + ".unsaved-2"), "Acid Bass");
#endif
}

// A state that could not be saved where asked is refused before the window
// opens (no display needed), not said when it closes on the session's work.
TEST(EditCommandTest, ASaveStateThatCannotBeWrittenIsRefusedBeforeTheWindowOpens) {
  zarn::test::ScopedEnvironment display("DISPLAY", std::nullopt);
  zarn::test::TempDir dir;
  const std::string missing = dir.file("missing/sound.state");
  const Result noFolder = run({"edit", "--save-state", missing});
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(noFolder.err, "zarn-host edit: --save-state: cannot write " + missing + ": there is no folder " +
                              dir.file("missing") + "; make it first or give another place\n");
  const Result aFolder = run({"edit", "--save-state", dir.path()});
  EXPECT_EQ(aFolder.status, 1);
  EXPECT_NE(aFolder.err.find("cannot write " + dir.path() + ": it is a folder"), std::string::npos) << aFolder.err;
  // A MIDI file that cannot be used is said once, by name, also before.
  dir.write("notes.txt", "not a song");
  const Result notASong = run({"edit", "--midi", dir.file("notes.txt")});
  EXPECT_EQ(notASong.status, 1);
  EXPECT_EQ(std::count(notASong.err.begin(), notASong.err.end(), '\n'), 1) << notASong.err;
  const std::string named = dir.file("notes.txt") + ": ";
  ASSERT_NE(notASong.err.find(named), std::string::npos) << notASong.err;
  EXPECT_EQ(notASong.err.find(named), notASong.err.rfind(named)) << notASong.err;
  std::filesystem::remove(dir.file("notes.txt"));
  // A writable place goes on to the display (none here), leaving no file.
  const Result fine = run({"edit", "--save-state", dir.file("s.state")});
  EXPECT_NE(fine.err.find("no display"), std::string::npos) << fine.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}


// A display that goes away ends the program, but not before the state is
// saved; so do SIGTERM, Ctrl-C and a closed terminal (SIGHUP), which end it
// cleanly.
TEST(EditCommandTest, ALostDisplayOrASignalSavesTheStateFirst) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  auto xvfb = std::make_unique<zarn::test::Xvfb>();
  ZARN_REQUIRE_XVFB(*xvfb);
  zarn::test::TempDir dir;
  const std::string lost = dir.file("lost.state");
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    const std::string stopped = dir.file("stopped-" + std::to_string(signal) + ".state");
    EditProgram edit(xvfb->display(), {"--preset", "Acid Bass", "--save-state", stopped}, dir.file("err1"));
    ASSERT_TRUE(edit.windowShown(xvfb->display()));
    kill(edit.pid, signal);
    EXPECT_EQ(edit.exitStatus(), 0) << dir.read("err1");
    EXPECT_EQ(presetNameIn(stopped), "Acid Bass");
    // The same state, whichever signal ended the program.
    EXPECT_TRUE(dir.read("stopped-" + std::to_string(signal) + ".state") ==
                dir.read("stopped-" + std::to_string(SIGTERM) + ".state"));
  }
  EditProgram edit(xvfb->display(), {"--preset", "Acid Bass", "--save-state", lost}, dir.file("err2"));
  ASSERT_TRUE(edit.windowShown(xvfb->display()));
  xvfb.reset();
  EXPECT_EQ(edit.exitStatus(), 1);
  EXPECT_EQ(presetNameIn(lost), "Acid Bass");
  EXPECT_NE(dir.read("err2").find("the connection to the display was lost"), std::string::npos) << dir.read("err2");
#endif
}

// The state's name made a link to a FIFO or a device while the window is
// open: at SIGTERM the save is refused in words, the FIFO or device stays
// what it was, the session's state is kept beside the name, and the command
// fails without saying it saved the state.
TEST(EditCommandTest, AStateWhoseNameNowLeadsToNoFileIsRefusedAtTheSave) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  struct Case {
    const char* what;
    const char* name;
    std::function<bool(const std::string&)> make; // makes what the link will lead to
    mode_t type;
    const char* said;
  };
  const std::vector<Case> cases = {
      {"a FIFO", "fifo", [](const std::string& at) { return ::mkfifo(at.c_str(), 0644) == 0; }, S_IFIFO,
       ", a FIFO (a named pipe), not a regular file"},
      {"a device", "device",
       [](const std::string& at) { return ::mknod(at.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0; }, S_IFCHR,
       ", a character device, not a regular file"},
  };
  // What cannot be made here is skipped in the test's result (after the
  // cases that can be made are checked), not passed.
  std::string unmade;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = c.name;
    const std::string state = dir.file(name + ".state"), target = dir.file(name + ".target");
    if (!c.make(target)) {
      unmade += std::string(unmade.empty() ? "" : "; ") + c.what +
                " cannot be made here (mknod needs root and a system that allows it)";
      continue;
    }
    dir.write(name + ".state", "a plain file at the start");
    {
      EditProgram edit(display, {"--preset", "Acid Bass", "--save-state", state}, dir.file(name + ".err"),
                       dir.file(name + ".out"));
      ASSERT_TRUE(edit.windowShown(display));
      ASSERT_EQ(::unlink(state.c_str()), 0);
      ASSERT_EQ(::symlink(target.c_str(), state.c_str()), 0);
      kill(edit.pid, SIGTERM);
      EXPECT_EQ(edit.exitStatus(), 1);
    }
    const std::string said = dir.read(name + ".err");
    EXPECT_NE(said.find("cannot write " + state + ": it leads to " + target + c.said), std::string::npos) << said;
    EXPECT_NE(said.find("; the state was kept in " + state + ".unsaved\n"), std::string::npos) << said;
    EXPECT_EQ(dir.read(name + ".out").find("saved the state"), std::string::npos) << dir.read(name + ".out");
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, c.type);
    EXPECT_TRUE(std::filesystem::is_symlink(state));
    EXPECT_EQ(presetNameIn(state + ".unsaved"), "Acid Bass");
  }
  if (!unmade.empty()) GTEST_SKIP() << unmade;
#endif
}

// A knob dragged in the window on the display changes the sound the closed
// editor leaves: the output volume, dragged up, is louder in the saved state
// than in one saved untouched.
TEST(EditCommandTest, AKnobDraggedInTheWindowChangesTheSavedSound) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  // The editor's window asks for (80, 60); the volume knob's centre lies at
  // (610, 81) in it.
  const zarn::test::ScreenPoint knob{80 + 610, 60 + 81};
  {
    EditProgram edit(display, {"--save-state", dir.file("touched.state")}, dir.file("err"));
    ASSERT_TRUE(edit.editorShown(display));
    zarn::test::XPeer hand(display);
    hand.move(knob);
    hand.button(1, true);
    for (int dy = 5; dy <= 60; dy += 5) {
      hand.move({knob.x, knob.y - dy});
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    hand.button(1, false);
    hand.move({1200, 1000});
    EXPECT_EQ(edit.close(display), 0) << dir.read("err");
  }
  {
    EditProgram edit(display, {"--save-state", dir.file("untouched.state")}, dir.file("err"));
    EXPECT_EQ(edit.close(display), 0) << dir.read("err");
  }
  // Read back through the host, the plug-in loaded as the render loads it.
  zarn::test::ScopedEnvironment clock(platform::cVirtualClockVariable,
                                      std::to_string(platform::cVirtualCalendarStart));
  simhost::SimHost host;
  ASSERT_EQ(host.load(ZARN_BUNDLE), 0);
  simhost::Instance& in = *host.createInstance(1);
  const int32_t volume = simhost::findControlByName(host, in, "Volume");
  ASSERT_GT(volume, 0);
  auto volumeIn = [&](const std::string& file) {
    simhost::HostState state;
    std::string error;
    EXPECT_TRUE(state.read(dir.file(file), error) && state.restore(host, in, error)) << error;
    host.idle();
    return host.controlValue(in, volume);
  };
  const int32_t untouched = volumeIn("untouched.state"), touched = volumeIn("touched.state");
  EXPECT_GT(touched, untouched);
#endif
}

// The preset menu pops up on the display over the editor: a bank's submenu
// opens on hover and a click on its entry loads that preset, which the
// saved state then names.
TEST(EditCommandTest, APresetChosenInTheMenuIsTheSavedSound) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  EditProgram edit(display, {"--save-state", dir.file("chosen.state")}, dir.file("err"));
  ASSERT_TRUE(edit.editorShown(display));
  zarn::test::XPeer hand(display);
  hand.click({80 + 466, 60 + 18}); // the preset name in the header
  const auto menu = hand.await([&] { return hand.grabbingPopups(); });
  ASSERT_EQ(menu.size(), 1u);
  hand.move({menu[0].left + 40, menu[0].top + 4 + 20 + 10}); // the second bank, "Bass"
  const auto open = hand.await([&] {
    auto p = hand.popups();
    return p.size() == 2 ? p : decltype(p){};
  });
  ASSERT_EQ(open.size(), 2u);
  hand.click({open[1].left + 30, open[1].top + 4 + 10}); // its first preset
  // The menus go once the choice is made; the preset is loaded before the
  // close, which comes behind the click.
  EXPECT_TRUE(zarn::test::eventually([&] { return hand.popups().empty(); }));
  hand.move({1000, 700});
  EXPECT_EQ(edit.close(display), 0) << dir.read("err");
  EXPECT_EQ(presetNameIn(dir.file("chosen.state")), "Acid Bass");
#endif
}

#if defined(ZARN_BUNDLE) && defined(ZARN_HOST_EXECUTABLE)
namespace {

// Opens the preset menu by a click on the preset name in the header; the
// menu's panel, none when it does not open.
std::optional<zarn::test::ScreenRect> openPresetMenu(zarn::test::XPeer& hand) {
  hand.click({80 + 466, 60 + 18});
  const auto menu = hand.await([&] { return hand.grabbingPopups(); });
  if (menu.size() != 1) return std::nullopt;
  return menu[0];
}

// Plays the state for a moment: the render accepts it and makes sound.
void expectRenders(const zarn::test::TempDir& dir, const std::string& state) {
  dir.write("note.mid", midibytes::header(0, 1, 480) +
                            midibytes::track({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F,
                                              0x00}));
  Result r = run({"render", "--bundle", ZARN_BUNDLE, "--tail", "0.1", "--load-state", state, dir.file("note.mid"),
                  dir.file("note.wav")});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string wav = dir.read("note.wav");
  ASSERT_GT(wav.size(), 44u);
  // 16- or 32-bit samples alike: some byte of the sound is not zero.
  EXPECT_TRUE(std::any_of(wav.begin() + 44, wav.end(), [](char c) { return c != 0; }));
}

} // namespace
#endif

// A termination signal while a menu is open cancels the menu and ends the
// program as a close does, with the state saved; so does the window
// manager's close while the Save As dialog is up, and the dialog's program
// goes with it.
TEST(EditCommandTest, ASignalOrACloseDuringAMenuOrADialogSavesTheState) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  zarn::test::XPeer hand(display);
  {
    EditProgram edit(display, {"--preset", "Acid Bass", "--save-state", dir.file("menu.state")}, dir.file("err"));
    ASSERT_TRUE(edit.editorShown(display));
    ASSERT_TRUE(openPresetMenu(hand));
    const auto signalled = std::chrono::steady_clock::now();
    kill(edit.pid, SIGTERM);
    EXPECT_EQ(edit.exitStatus(), 0) << dir.read("err");
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, zarn::test::cPatience);
  }
  EXPECT_TRUE(hand.popups().empty());
  EXPECT_EQ(presetNameIn(dir.file("menu.state")), "Acid Bass");
  expectRenders(dir, dir.file("menu.state"));

  // The save dialog's program waits for ever; it says where it runs.
  dir.write("bin/zenity", "#!/bin/sh\necho $$ > \"" + dir.file("pid") + ".tmp\"\nmv \"" + dir.file("pid") +
                              ".tmp\" \"" + dir.file("pid") + "\"\nexec sleep 60\n");
  std::filesystem::permissions(dir.file("bin/zenity"), std::filesystem::perms::owner_all);
  {
    EditProgram edit(display, {"--preset", "Acid Bass", "--save-state", dir.file("dialog.state")}, dir.file("err"),
                     "/dev/null", "edit", dir.file("bin") + ":/usr/bin:/bin");
    ASSERT_TRUE(edit.editorShown(display));
    const auto menu = openPresetMenu(hand);
    ASSERT_TRUE(menu);
    hand.click({menu->left + 40, menu->bottom - 4 - 20 - 20 - 7 - 10}); // "Save As..."
    ASSERT_TRUE(zarn::test::eventually([&] { return !dir.read("pid").empty(); })) << "the dialog never ran";
    hand.move({1000, 700});
    EXPECT_EQ(edit.close(display), 0) << dir.read("err");
  }
  const pid_t dialog = std::stoi(dir.read("pid"));
  const bool dialogLeft = kill(dialog, 0) == 0;
  if (dialogLeft) kill(dialog, SIGKILL);
  EXPECT_FALSE(dialogLeft);
  EXPECT_EQ(presetNameIn(dir.file("dialog.state")), "Acid Bass");
  expectRenders(dir, dir.file("dialog.state"));
#endif
}

// While a menu is open over the editor, its lights go on moving with the
// song: the window shows more than one picture under a still menu.
TEST(EditCommandTest, TheLightsMoveUnderAnOpenMenu) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  // Short notes, one after another, in a loop.
  dir.write("song.mid", midibytes::header(0, 1, 480) +
                            midibytes::track({0x00, 0x90, 0x3C, 0x64, 0x81, 0x70, 0x80, 0x3C, 0x40, 0x00, 0x90, 0x43,
                                              0x64, 0x81, 0x70, 0x80, 0x43, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
  EditProgram edit(display, {"--preset", "Acid Bass", "--midi", dir.file("song.mid")}, dir.file("err"));
  ASSERT_TRUE(edit.editorShown(display));
  const auto window = edit.window(display);
  ASSERT_TRUE(window);
  zarn::test::XPeer hand(display);
  ASSERT_TRUE(openPresetMenu(hand));
  // Looked at until three pictures were seen (or the deadline passed), the
  // menu still open.
  std::set<std::vector<uint8_t>> pictures;
  zarn::test::eventually([&] {
    pictures.insert(hand.rgb(*window, 640, 522));
    return pictures.size() > 2;
  });
  EXPECT_FALSE(hand.popups().empty());
  EXPECT_GT(pictures.size(), 2u);
  hand.key(XK_Escape, true);
  hand.key(XK_Escape, false);
  hand.move({1000, 700});
  EXPECT_EQ(edit.close(display), 0) << dir.read("err");
#endif
}

using hosttest::readRgbPng;

namespace {

[[maybe_unused]] size_t differingPixels(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& expected) {
  size_t differing = 0;
  for (size_t i = 0; i + 2 < std::min(shown.size(), expected.size()); i += 3)
    differing += shown[i] != expected[i] || shown[i + 1] != expected[i + 1] || shown[i + 2] != expected[i + 2];
  return differing;
}

} // namespace

// The window on the display shows what the headless snapshot of the same
// state shows, pixel for pixel, but for the lights the running render
// moves (the snapshot renders nothing).
TEST(EditCommandTest, TheWindowShowsWhatTheSnapshotShows) {
#if !defined(ZARN_BUNDLE) || !defined(ZARN_HOST_EXECUTABLE)
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string display = zarn::test::Xvfb::shared().display();
  zarn::test::TempDir dir;
  {
    EditProgram snapshot(display, {dir.file("snapshot.png")}, dir.file("err"), "/dev/null", "snapshot");
    ASSERT_EQ(snapshot.exitStatus(), 0) << dir.read("err");
  }
  int width = 0, height = 0;
  const std::vector<uint8_t> expected = readRgbPng(dir.file("snapshot.png"), width, height);
  ASSERT_FALSE(expected.empty());

  std::vector<uint8_t> shown;
  {
    EditProgram edit(display, {}, dir.file("err"));
    ASSERT_TRUE(edit.editorShown(display));
    zarn::test::XPeer eye(display);
    eye.move({1000, 700}); // no hover, no hint
    const auto window = edit.window(display);
    ASSERT_TRUE(window);
    // Looked at until it shows the snapshot (the hover's paint may come
    // late on a busy machine), or the deadline passed.
    zarn::test::eventually([&] {
      shown = eye.rgb(*window, width, height);
      return shown.size() == expected.size() && differingPixels(shown, expected) < shown.size() / 3 / 500;
    });
    EXPECT_EQ(edit.close(display), 0) << dir.read("err");
  }
  ASSERT_EQ(shown.size(), expected.size());
  // Three LFO lights and the MIDI light are at most a few hundred pixels.
  EXPECT_LT(differingPixels(shown, expected), shown.size() / 3 / 500);
#endif
}
