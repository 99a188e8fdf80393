// zarn-host render played in-process: its command line, where the notes of a
// song land in the WAV file, and the state it saves and loads.

#include "tools/host/RenderCommand.h"
#include "tests/tools/host/HostCommandRun.h"

#include "host/HostInterface.h"
#include "platform/Clock.h"
#include "tests/support/FolderFlags.h"
#include "tests/support/LeftBehind.h"
#include "tests/support/TempDir.h"
#include "tests/tools/render/MidiBytes.h"
#include "tools/host/HostState.h"
#include "tools/host/PresetByName.h"
#include "tools/render/MidiFile.h"
#include "tools/render/WavReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <linux/fs.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using midibytes::bytes;

using hosttest::Result;
using hosttest::run;

std::string bridgeBundle() {
#ifdef ZARN_BRIDGE_TEST_BUNDLE
  return ZARN_BRIDGE_TEST_BUNDLE;
#else
  return "";
#endif
}

// One track at 480 ticks to the quarter and the default 120 quarters per
// minute (a tick is 1/960 s): note 60 from tick 100 to 250, note 72 from
// tick 300 to 333 (a note-on of velocity 0 ends it), a controller and a
// pitch bend between.
std::string songBytes() {
  return midibytes::header(0, 1, 480) +
         midibytes::track({0x00, 0xB0, 0x07, 0x64,           // volume at tick 0
                           0x64, 0x90, 0x3C, 0x64,           // +100: note 60 on
                           0x81, 0x16, 0x80, 0x3C, 0x40,     // +150: note 60 off
                           0x32, 0xE0, 0x00, 0x50,           // +50: pitch bend
                           0x00, 0x90, 0x48, 0x50,           // note 72 on
                           0x21, 0x90, 0x48, 0x00,           // +33: note 72 off (velocity 0)
                           0x00, 0xFF, 0x2F, 0x00});
}

class RenderCommandTest : public ::testing::Test {
protected:
  void SetUp() override {
    mDir.write("song.mid", songBytes());
    mDir.write("garbage.mid", "MThd this is no MIDI file");
  }
  std::string file(const std::string& name) const { return mDir.file(name); }

  // Renders the song through the bridge's test bundle; the extra arguments
  // go before the files.
  Result renderSong(std::vector<std::string> extra, const std::string& output) {
    std::vector<std::string> args{"render", "--quiet", "--bundle", bridgeBundle(), "--tail", "0.01"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(file("song.mid"));
    args.push_back(file(output));
    return run(args);
  }

  renderio::WavData readWav(const std::string& name) {
    renderio::WavData data;
    renderio::WavReader reader;
    EXPECT_TRUE(reader.read(file(name), data)) << reader.error();
    return data;
  }

  zarn::test::TempDir mDir{"render-command"};
};

// What the bridge's test instrument writes on its first channel at the k-th
// sample of a note (Flat mode, no offset or octave).
float flatSample(float level, int note) { return level * static_cast<float>(note + 1) / 128.0f; }

bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

} // namespace

TEST_F(RenderCommandTest, BadCommandLinesFailWithOneLineReasons) {
  const std::string song = file("song.mid"), out = file("out.wav");
  const std::string gain = ZARN_TEST_GAIN_BUNDLE;
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {{"render"}, "needs INPUT.mid and OUTPUT.wav"},
      {{"render", song}, "needs INPUT.mid and OUTPUT.wav"},
      {{"render", song, out, "extra"}, "too many arguments"},
      {{"render", "--volume", "3", song, out}, "unknown option --volume"},
      {{"render", "--rate", "fast", song, out}, "--rate fast"},
      {{"render", "--rate", "44100.5", song, out}, "--rate 44100.5"},
      {{"render", "--rate", "0", song, out}, "--rate 0"},
      {{"render", "--tail", "-1", song, out}, "--tail -1"},
      {{"render", "--tail", song, out}, "--tail"},
      {{"render", "--set", "Level", song, out}, "is not NAME=VALUE"},
      {{"render", "--set", "=1", song, out}, "\"=1\": the name is missing"},
      {{"render", song, out, "--bundle"}, "--bundle needs a value"},
      {{"render", "--bundle", gain, file("missing.mid"), out}, "missing.mid"},
      {{"render", "--bundle", gain, file("garbage.mid"), out}, "garbage.mid"},
      {{"render", "--bundle", file("nowhere.bundle"), song, out}, "nowhere.bundle"},
      {{"render", "--bundle", gain, "--set", "Loudness=1", song, out}, "no parameter named \"Loudness\""},
      {{"render", "--bundle", gain, "--set", "Gain=2.5", song, out}, "out of range"},
      // A power of ten is a number too, and this one too large.
      {{"render", "--bundle", gain, "--set", "Gain=1e5", song, out}, "Gain: 1e5 is out of range"},
      {{"render", "--bundle", gain, "--set", "Gain=loud", song, out}, "is not a number"},
      {{"render", "--bundle", gain, "--set", "Master Bypass=maybe", song, out}, "out of range"},
      // The gain shows no unit: text after the number is refused, not ignored.
      {{"render", "--bundle", gain, "--set", "Gain=0.5 dB", song, out}, "is not in the control's unit"},
      {{"render", "--bundle", gain, "--preset", "Warm Pad", song, out}, "keeps no preset name"},
      {{"render", "--bundle", gain, "--load-state", file("missing.state"), song, out}, "missing.state"},
      {{"bounce", song, out}, "unknown command bounce"},
      {{"info", "--verbose"}, "unknown option --verbose"},
      {{"info", "extra"}, "unexpected argument extra; give a bundle with --bundle PATH"},
      {{"info", "--bundle", gain, "extra"}, "unexpected argument extra"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Result r = run(c.args);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_TRUE(isOneLine(r.err)) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // Nothing is written when the command fails.
  EXPECT_EQ(mDir.read("out.wav"), "");

  // A malformed song's reason names its file once.
  const Result r = run({"render", "--bundle", gain, file("garbage.mid"), out});
  const std::string path = file("garbage.mid");
  const size_t at = r.err.find(path);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(path, at + 1), std::string::npos) << r.err;
}

// Every file render writes replaces what was there whole or not at all,
// never through a link planted beside it, and keeps what the user set on
// it: its mode, and a link the user made to a state kept elsewhere.
TEST_F(RenderCommandTest, OutputFilesAreReplacedWholeOrNotAtAll) {
  namespace fs = std::filesystem;
  const std::string gain = ZARN_TEST_GAIN_BUNDLE;
  mDir.write("victim", "not to be written");
  fs::create_symlink(file("victim"), file("sound.state.tmp"));
  mDir.write("kept/real.state", "an older state");
  fs::create_symlink("kept/real.state", file("linked.state"));
  struct SavedState {
    const char* named;
    const char* holder; // the file that holds the state afterwards
    bool mine;          // the user made it private before the render
  };
  for (const SavedState& s : {SavedState{"sound.state", "sound.state", false},
                              SavedState{"sound.state", "sound.state", true},
                              SavedState{"linked.state", "kept/real.state", true}}) {
    SCOPED_TRACE(s.named);
    if (s.mine) {
      ASSERT_EQ(::chmod(file(s.holder).c_str(), 0600), 0);
    }
    const Result r = run({"render", "--quiet", "--bundle", gain, "--tail", "0", "--save-state", file(s.named),
                          file("song.mid"), file("out.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::is_symlink(file(s.named)), std::string(s.named) != s.holder);
    simhost::HostState saved;
    std::string error;
    EXPECT_TRUE(saved.read(file(s.holder), error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(file(s.holder).c_str(), &st), 0);
    if (s.mine) {
      EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
  }
  EXPECT_EQ(mDir.read("victim"), "not to be written");
  EXPECT_TRUE(fs::is_symlink(file("sound.state.tmp")));

  // Paths that cannot be written: the reason names the path and the cause,
  // and no file is left behind.
  Result r = run({"render", "--bundle", gain, "--save-state", file("no/folder/x.state"), file("song.mid"),
                  file("out.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--save-state: cannot write " + file("no/folder/x.state") + ": there is no folder " +
                       file("no/folder") + "; make it first or give another place"),
            std::string::npos)
      << r.err;
  const std::string previous = mDir.read("out.wav");
  ASSERT_FALSE(previous.empty());
  r = run({"render", "--bundle", gain, file("song.mid"), file("no/folder/out.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write " + file("no/folder/out.wav") + ": there is no folder"), std::string::npos)
      << r.err;
  // A folder as the output is refused before anything is rendered.
  fs::create_directory(file("folder.wav"));
  r = run({"render", "--bundle", gain, file("song.mid"), file("folder.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zarn-host render: cannot write " + file("folder.wav") + ": it is a folder; give the name of a file in it\n");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(fs::is_empty(file("folder.wav")));
  fs::remove(file("folder.wav"));

  // A render that fails half way (the disk fills: a file size limit) leaves
  // the earlier output as it was.
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 16 * 1024;
  setrlimit(RLIMIT_FSIZE, &limited);
  r = run({"render", "--quiet", "--bundle", gain, "--tail", "1", file("song.mid"), file("out.wav")});
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
  EXPECT_EQ(mDir.read("out.wav"), previous);
  EXPECT_EQ(std::distance(fs::directory_iterator(mDir.path()), {}), 8); // no temporary file is left

  // The output may not be the input, by whatever name.
  const std::string song = mDir.read("song.mid");
  fs::create_symlink(file("song.mid"), file("song-link.wav"));
  for (const std::string& output : {file("song.mid"), file("song-link.wav"), mDir.path() + "/./song.mid"}) {
    r = run({"render", "--bundle", gain, file("song.mid"), output});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("OUTPUT.wav and INPUT.mid name one file"), std::string::npos) << r.err;
  }
  EXPECT_EQ(mDir.read("song.mid"), song);

  // Any name the file system takes is written; a longer one is refused at
  // once, as a name too long.
  fs::create_directory(file("long"));
  const size_t most = static_cast<size_t>(::pathconf(file("long").c_str(), _PC_NAME_MAX));
  const std::string sound = "long/" + std::string(most - 4, 'w') + ".wav", state = "long/" + std::string(most, 's');
  r = run({"render", "--quiet", "--bundle", gain, "--tail", "0", "--save-state", file(state), file("song.mid"),
           file(sound)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readWav(sound).frames, readWav("out.wav").frames);
  simhost::HostState longState;
  std::string error;
  EXPECT_TRUE(longState.read(file(state), error)) << error;
  const std::string longer = file(state + "s");
  r = run({"render", "--quiet", "--bundle", gain, "--save-state", longer, file("song.mid"), file(sound)});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zarn-host render: --save-state: cannot write " + longer + ": its name is too long (" +
                       std::to_string(most + 1) + " bytes; the file system takes at most " + std::to_string(most) +
                       "); give another name\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(file("long")), {}), 2);
}

// A folder with the append-only attribute takes new files but lets none be
// renamed or removed, root's neither: a render into it, or a state saved
// there, is refused before any work, in words and with the exit status of
// every output that cannot be written, and leaves nothing in the folder
// (it used to render to the end, fail with "Operation not permitted" and
// leave two temporary files there that nothing could remove).
TEST_F(RenderCommandTest, AnAppendOnlyFolderIsRefusedBeforeAnyWork) {
  namespace fs = std::filesystem;
  const std::string gain = ZARN_TEST_GAIN_BUNDLE;
  fs::create_directory(file("kept"));
  const zarn::test::ScopedFolderFlag flag(file("kept"), FS_APPEND_FL);
  if (!flag.failure().empty()) GTEST_SKIP() << flag.failure();
  const std::string why = ": the folder " + file("kept") +
                          " has the append-only attribute: files can be added to it but not renamed or removed; "
                          "give another place\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"render", "--bundle", gain, file("song.mid"), file("kept/out.wav")},
       "zarn-host render: cannot write " + file("kept/out.wav") + why},
      {{"render", "--bundle", gain, "--save-state", file("kept/out.state"), file("song.mid"), file("out.wav")},
       "zarn-host render: --save-state: cannot write " + file("kept/out.state") + why},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const Result r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::is_empty(file("kept")));
    EXPECT_FALSE(fs::exists(file("out.wav")));
  }
}

// A render ended by a signal while it writes leaves the earlier output as
// it was and no temporary file in its folder (hidden, hundreds of
// megabytes, and in a folder no sweep looks in), and ends as the signal
// says (a shell shows 128 + its number); the state it saved before the
// render stays. That is every signal whose default action ends a process:
// SIGTERM, Ctrl-C, the terminal closed, Ctrl-\\, the users' signals, the
// timers', a limit reached (sent, or the file size limit itself), the
// real-time ones, an abort, and a reader of its messages (head, a pager)
// that closes the pipe.
TEST_F(RenderCommandTest, ARenderEndedByASignalLeavesTheEarlierOutputAndNoTemporaryFile) {
#ifndef ZARN_HOST_EXECUTABLE
  GTEST_SKIP() << "zarn-host is not built";
#else
  const char* home = std::getenv("HOME");
  enum class How { Sent, PipeClosed, SizeLimit };
  struct Case {
    int signal;
    How how;
  };
  std::vector<Case> cases;
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGXFSZ, SIGXCPU, SIGABRT,
                      SIGSEGV, SIGRTMIN + 2})
    cases.push_back({s, How::Sent});
  cases.push_back({SIGPIPE, How::PipeClosed});
  cases.push_back({SIGXFSZ, How::SizeLimit});
  // No core file of a render that was told to dump one.
  rlimit savedCore{};
  ::getrlimit(RLIMIT_CORE, &savedCore);
  rlimit noCore = savedCore;
  noCore.rlim_cur = 0;
  ::setrlimit(RLIMIT_CORE, &noCore);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) +
                 (c.how == How::PipeClosed ? ", the pipe closed" : c.how == How::SizeLimit ? ", the size limit" : ""));
    zarn::test::TempDir out("render-signal");
    out.write("o.wav", "the earlier render");
    // Ten minutes of tail at 384 kHz (1.8 GB): far more than is written
    // before the signal. Its progress goes to a pipe the test closes, or
    // (--quiet) nothing goes anywhere but errors.
    std::vector<std::string> args{"render", "--bundle", ZARN_TEST_GAIN_BUNDLE, "--rate", "384000", "--tail", "600",
                                  "--save-state", out.file("s.state"), file("song.mid"), out.file("o.wav")};
    if (c.how != How::PipeClosed) args.insert(args.begin() + 1, "--quiet");
    int messages[2] = {-1, -1};
    if (c.how == How::PipeClosed) {
      ASSERT_EQ(::pipe2(messages, O_CLOEXEC), 0);
    }
    rlimit savedSize{};
    ::getrlimit(RLIMIT_FSIZE, &savedSize);
    if (c.how == How::SizeLimit) {
      rlimit limited = savedSize;
      limited.rlim_cur = 1u << 20;
      ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    const pid_t render =
        hosttest::startHost(args, {std::string("HOME=") + (home ? home : "/"), "PATH=/usr/bin:/bin"}, "/dev/null",
                            file("err.txt"), messages[1]);
    ::setrlimit(RLIMIT_FSIZE, &savedSize);
    if (messages[1] >= 0) ::close(messages[1]);
    ASSERT_GT(render, 0);
    // Signalled once its temporary WAV file holds a megabyte (the size
    // limit ends it there on its own).
    bool writing = c.how == How::SizeLimit;
    for (int i = 0; i < 6000 && !writing; ++i) {
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(out.path(), ec)) {
        // Not the one made and removed at once to see that the folder takes
        // a file (gone meanwhile: no size).
        const uintmax_t size = e.path().filename().string().rfind(".o.wav.", 0) == 0 ? e.file_size(ec) : 0;
        writing = writing || (!ec && size > (1u << 20));
      }
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!writing) ::kill(render, SIGKILL);
    if (c.how == How::Sent) ::kill(render, c.signal);
    // The reader goes: the next progress line meets a closed pipe.
    if (messages[0] >= 0) ::close(messages[0]);
    const int status = hosttest::waitForExit(render);
    ASSERT_TRUE(writing) << mDir.read("err.txt");
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's handler was there first: it has the fault, reports it
    // and ends the render its own way.
    if (c.signal == SIGSEGV) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    } else
#endif
    {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status << " " << mDir.read("err.txt");
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(out.path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"o.wav", "s.state"}));
    EXPECT_EQ(out.read("o.wav"), "the earlier render");
  }
  ::setrlimit(RLIMIT_CORE, &savedCore);
#endif
}

// A render killed outright (SIGKILL: no handler runs) leaves its temporary
// file, hundreds of megabytes, in a folder no start-up sweep looks in; the
// next command writing into that folder removes it once it has been left
// alone a while. Not a file a live writer holds, another user's, or
// another program's that looks like it.
TEST_F(RenderCommandTest, TheNextRenderIntoAFolderRemovesWhatAKilledRenderLeftThere) {
#ifndef ZARN_HOST_EXECUTABLE
  GTEST_SKIP() << "zarn-host is not built";
#else
  const char* home = std::getenv("HOME");
  zarn::test::TempDir out("render-killed");
  out.write("o.wav", "the earlier render");
  const pid_t render = hosttest::startHost({"render", "--quiet", "--bundle", ZARN_TEST_GAIN_BUNDLE, "--rate", "384000",
                                            "--tail", "600", file("song.mid"), out.file("o.wav")},
                                           {std::string("HOME=") + (home ? home : "/"), "PATH=/usr/bin:/bin"},
                                           "/dev/null", file("err.txt"));
  ASSERT_GT(render, 0);
  std::string left;
  for (int i = 0; i < 6000 && left.empty(); ++i) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(out.path(), ec))
      if (e.path().filename().string().rfind(".o.wav.", 0) == 0 && e.file_size(ec) > (1u << 20) && !ec)
        left = e.path().filename();
    if (left.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(render, SIGKILL);
  const int status = hosttest::waitForExit(render);
  ASSERT_FALSE(left.empty()) << mDir.read("err.txt");
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  ASSERT_TRUE(std::filesystem::exists(out.file(left)));
  const uintmax_t size = std::filesystem::file_size(out.file(left));

  // Left an hour ago; beside it, what stays.
  ASSERT_TRUE(zarn::test::ageFile(out.file(left), 3600));
  const pid_t gone = zarn::test::endedProcess();
  const std::string held = zarn::test::temporaryName("b.wav", gone, 0);
  const std::string lookAlike = zarn::test::oldTemporaryName("o.wav", gone, 1);
  const std::string theirs = zarn::test::temporaryName("c.wav", gone, 0);
  for (const std::string& f : {held, lookAlike, theirs}) {
    out.write(f, "bytes");
    ASSERT_TRUE(zarn::test::ageFile(out.file(f), 3600));
  }
  const zarn::test::LockHolder writer(out.file(held));
  ASSERT_TRUE(writer.holding());
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(out.file(theirs).c_str(), 65534, 65534), 0);
  }

  // Another output into the same folder.
  const Result r = run({"render", "--quiet", "--bundle", ZARN_TEST_GAIN_BUNDLE, "--tail", "0.01", file("song.mid"),
                        out.file("p.wav")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(std::filesystem::exists(out.file(left))) << left << ", " << size << " bytes";
  EXPECT_TRUE(std::filesystem::exists(out.file(held))) << "a live writer's";
  EXPECT_TRUE(std::filesystem::exists(out.file(lookAlike))) << "another program's";
  // Only root can give a file away; run as an ordinary user, the file is
  // that user's own and goes with the rest.
  EXPECT_EQ(std::filesystem::exists(out.file(theirs)), root) << "another user's";
  EXPECT_EQ(out.read("o.wav"), "the earlier render");
#endif
}

// A WAV file cannot pass 4 GiB, and the render's length is known from the
// song, the tail and the rate before it starts: a longer render is refused
// then, not after minutes and gigabytes of a temporary file.
TEST_F(RenderCommandTest, ARenderPastTheLargestWavFileIsRefusedAtOnce) {
  // 1,000 s of silence (960,000 ticks at 960 a second) and a 600 s tail at
  // 384 kHz: 1,600 s of float stereo is 4.9 GB; 1,398 s is the most.
  mDir.write("long.mid", midibytes::header(0, 1, 480) + midibytes::track({0xBA, 0xCC, 0x00, 0xFF, 0x2F, 0x00}));
  const Result r = hosttest::runInChild({"render", "--bundle", ZARN_TEST_GAIN_BUNDLE, "--rate", "384000", "--tail",
                                         "600", file("long.mid"), file("long.wav")},
                                        20);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(isOneLine(r.err)) << r.err;
  EXPECT_NE(r.err.find("would last 1600.00 s, past the 4 GiB a WAV file can hold (1398.10 s of stereo at 384000 Hz)"),
            std::string::npos)
      << r.err;
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(mDir.path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"garbage.mid", "long.mid", "song.mid"}));
}

// Reading from a FIFO would wait for a writer forever: refused at once. The
// inputs are read before the bundle loads, so a bundle that is not there
// is not even reached (the refusal is the one line said).
TEST_F(RenderCommandTest, InputsThatAreNotFilesAreRefused) {
  ASSERT_EQ(::mkfifo(file("pipe").c_str(), 0600), 0);
  const std::string gain = ZARN_TEST_GAIN_BUNDLE, missing = file("Missing.bundle");
  const std::string song = file("song.mid"), out = file("out.wav"), png = file("out.png");
  // With a bundle that does not exist, only a refusal of the input itself
  // shows that the input was read before the bundle was looked for (and,
  // for edit, before a display).
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"render", "--bundle", gain, "--load-state", file("pipe"), song, out}, file("pipe") + " is not a file"},
      {{"render", "--bundle", gain, file("pipe"), out}, file("pipe") + " is not a file"},
      {{"render", "--bundle", gain, "--load-state", mDir.path(), song, out}, mDir.path() + " is not a file"},
      {{"render", "--bundle", missing, "--load-state", file("pipe"), song, out}, file("pipe") + " is not a file"},
      {{"render", "--bundle", missing, "--load-state", "/dev/zero", song, out}, "/dev/zero is not a file"},
      {{"render", "--bundle", missing, "--load-state", file("garbage.mid"), song, out}, file("garbage.mid") + ": "},
      {{"snapshot", "--bundle", missing, "--load-state", file("pipe"), png}, file("pipe") + " is not a file"},
      {{"snapshot", "--bundle", missing, "--load-state", file("garbage.mid"), png}, file("garbage.mid") + ": "},
      {{"edit", "--bundle", missing, "--load-state", "/dev/zero"}, "/dev/zero is not a file"},
      {{"edit", "--bundle", missing, "--load-state", file("garbage.mid")}, file("garbage.mid") + ": "},
  };
  for (const auto& [command, said] : cases) {
    const Result r = run(command);
    EXPECT_EQ(r.status, 1) << command[0] << " " << command[2] << " " << command[4];
    EXPECT_TRUE(isOneLine(r.err) && r.err.find(said) != std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(png));
}

TEST_F(RenderCommandTest, BridgeParametersAreCheckedAgainstTheirRanges) {
  if (bridgeBundle().empty()) GTEST_SKIP() << "the bridge's test bundle is not built";
  for (const char* bad : {"Level=1.01", "Level=-0.1", "Offset=-2", "Octave=3", "Octave=-3", "Mode=Sawtooth",
                          "Mode=4"}) {
    SCOPED_TRACE(bad);
    const Result r = renderSong({"--set", bad}, "bad.wav");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("out of range"), std::string::npos) << r.err;
  }
  const Result r = renderSong({"--preset", "No Such Sound"}, "bad.wav");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("no preset named \"No Such Sound\""), std::string::npos) << r.err;
}

TEST_F(RenderCommandTest, OptionsAreReadOverTheirWholeRanges) {
  simhost::RenderOptions options;
  bool help = false;
  std::string error;
  // The ends of the ranges --help gives, and values given as --name=VALUE.
  ASSERT_TRUE(simhost::parseRenderOptions({"--rate", "8000", "--tail=600", "--preset=Warm Pad", "--set=Level=0.5",
                                           "--load-state=a.state", "in.mid", "out.wav"},
                                          options, help, error))
      << error;
  EXPECT_EQ(options.sampleRate, 8000);
  EXPECT_EQ(options.tailSeconds, 600.0);
  EXPECT_EQ(options.preset, "Warm Pad");
  EXPECT_EQ(options.settings, std::vector<std::string>{"Level=0.5"});
  EXPECT_EQ(options.loadState, "a.state");
  // After "--" even names that start with a dash are files.
  options = {};
  ASSERT_TRUE(simhost::parseRenderOptions({"--rate=384000", "--", "-in.mid", "--out.wav"}, options, help, error))
      << error;
  EXPECT_EQ(options.sampleRate, 384000);
  EXPECT_EQ(options.input, "-in.mid");
  EXPECT_EQ(options.output, "--out.wav");

  const std::vector<std::vector<std::string>> refused = {
      {"--rate", "7999"}, {"--rate", "384001"}, {"--tail", "600.5"}, {"--load-state="}, {"--save-state", ""}};
  for (std::vector<std::string> args : refused) {
    SCOPED_TRACE(testing::PrintToString(args));
    const std::string option = args[0].substr(0, args[0].find('='));
    args.insert(args.end(), {"in.mid", "out.wav"});
    options = {};
    error.clear();
    EXPECT_FALSE(simhost::parseRenderOptions(args, options, help, error));
    EXPECT_NE(error.find(option), std::string::npos) << error;
  }
}

TEST_F(RenderCommandTest, NotesStartAtTheirEventsSampleOffsets) {
  if (bridgeBundle().empty()) GTEST_SKIP() << "the bridge's test bundle is not built";
  renderio::MidiFile song;
  ASSERT_TRUE(song.read(file("song.mid"), 48000.0)) << song.error();
  std::vector<int64_t> ons, offs;
  for (const renderio::MidiEvent& e : song.events()) {
    if (e.type() == renderio::MidiEvent::Type::NoteOn) ons.push_back(e.sample);
    if (e.type() == renderio::MidiEvent::Type::NoteOff) offs.push_back(e.sample);
  }
  ASSERT_EQ(ons.size(), 2u);
  ASSERT_EQ(offs.size(), 2u);
  // Not on quantum boundaries, so a note placed at its quantum's start shows.
  EXPECT_NE(ons[0] % 32, 0);
  EXPECT_NE(ons[1] % 32, 0);

  const Result r = renderSong({"--rate", "48000", "--set", "Level=1", "--set", "Mode=flat"}, "notes.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  // --quiet: not a word.
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  const renderio::WavData wav = readWav("notes.wav");
  EXPECT_EQ(wav.sampleRate, 48000);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_TRUE(wav.isFloat);
  EXPECT_EQ(wav.frames, song.lengthSamples() + 480);

  for (int64_t i = 0; i < wav.frames; ++i) {
    float expected = 0.0f;
    if (i >= ons[0] && i < offs[0]) expected = flatSample(1.0f, 60);
    if (i >= ons[1] && i < offs[1]) expected = flatSample(1.0f, 72);
    ASSERT_FLOAT_EQ(wav.at(i, 0), expected) << "sample " << i;
    ASSERT_FLOAT_EQ(wav.at(i, 1), expected * 0.5f) << "sample " << i;
  }
}

TEST_F(RenderCommandTest, ParameterValuesReachTheSound) {
  if (bridgeBundle().empty()) GTEST_SKIP() << "the bridge's test bundle is not built";
  const Result r = renderSong({"--set", "Level=0.25", "--set", "Octave=-1", "--set", "Offset=0.5"}, "set.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  renderio::MidiFile song;
  ASSERT_TRUE(song.read(file("song.mid"), 44100.0));
  const int64_t on = song.events()[1].sample;
  const renderio::WavData wav = readWav("set.wav");
  // Octave -1 plays note 48; the offset adds 0.5 / 8.
  EXPECT_NEAR(wav.at(on, 0), flatSample(0.25f, 48) + 0.0625f, 1e-4);
  EXPECT_NEAR(wav.at(on - 1, 0), 0.0f, 1e-6);

  // The lowest ends of the ranges are values like any other: no level, and
  // the offset's -1 / 8.
  const Result low = renderSong({"--set", "Level=0", "--set", "Offset=-1"}, "low.wav");
  ASSERT_EQ(low.status, 0) << low.err;
  EXPECT_NEAR(readWav("low.wav").at(on, 0), -0.125f, 1e-4);
}

TEST_F(RenderCommandTest, LoadingASavedStateRendersTheSameSamples) {
  if (bridgeBundle().empty()) GTEST_SKIP() << "the bridge's test bundle is not built";
  Result r = renderSong({"--set", "Level=0.75", "--set", "Mode=Steps", "--set", "Octave=1", "--save-state",
                         file("sound.state")},
                        "first.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  simhost::HostState state;
  std::string error;
  ASSERT_TRUE(state.read(file("sound.state"), error)) << error;
  EXPECT_FALSE(state.empty());

  r = renderSong({"--load-state", file("sound.state")}, "second.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  r = renderSong({}, "plain.wav");
  ASSERT_EQ(r.status, 0) << r.err;

  const renderio::WavData first = readWav("first.wav"), second = readWav("second.wav"), plain = readWav("plain.wav");
  ASSERT_EQ(first.samples.size(), second.samples.size());
  EXPECT_TRUE(first.samples == second.samples);
  // The state carried the sound: without it the render differs.
  EXPECT_FALSE(first.samples == plain.samples);
  EXPECT_GT(*std::max_element(first.samples.begin(), first.samples.end()), 0.0f);
}

TEST_F(RenderCommandTest, DamagedStateFilesAreRefused) {
  simhost::HostState state;
  state.add(7, {1, 2, 3, 4});
  state.add(0x51565072, std::vector<unsigned char>(120, 9));
  const std::string good = state.serialize();
  simhost::HostState back;
  std::string error;
  ASSERT_TRUE(back.parse(good, error)) << error;
  EXPECT_EQ(back.chunks(), state.chunks());

  std::string repeated = good;
  repeated[12] = 0x72, repeated[13] = 0x50, repeated[14] = 0x56, repeated[15] = 0x51; // first id = second id
  const std::vector<std::string> bad = {
      "",
      "ZHST",
      "ZHSU" + good.substr(4),
      good.substr(0, 4) + bytes({2, 0, 0, 0}) + good.substr(8),
      good.substr(0, good.size() - 1),
      good + "x",
      good.substr(0, 8) + bytes({0xFF, 0xFF, 0xFF, 0xFF}) + good.substr(12),
      good.substr(0, 16) + bytes({0xFF, 0xFF, 0xFF, 0x7F}) + good.substr(20),
      repeated,
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    error.clear();
    EXPECT_FALSE(back.parse(bad[i], error));
    EXPECT_NE(error.find("not a state file"), std::string::npos) << error;
    EXPECT_TRUE(back.empty());
  }

  mDir.write("bad.state", bad[4]);
  const Result r = run({"render", "--bundle", ZARN_TEST_GAIN_BUNDLE, "--load-state", file("bad.state"),
                        file("song.mid"), file("out.wav")});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("not a state file"), std::string::npos) << r.err;
}

// A state file whose chunk record does not fit the size it gives is
// refused by the host before the plug-in sees the record: the render says
// what is wrong with which chunk, and that the host found it (the
// plug-in's status alone told nothing), and writes no sound.
TEST_F(RenderCommandTest, AChunkTheHostFindsDamagedIsSaidInWords) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  Result r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0", "--save-state", file("good.state"),
                  file("song.mid"), file("good.wav")});
  ASSERT_EQ(r.status, 0) << r.err;
  simhost::HostState good;
  std::string error;
  ASSERT_TRUE(good.read(file("good.state"), error)) << error;
  size_t size = 0;
  for (const simhost::HostStateChunk& c : good.chunks())
    if (c.id == simhost::PresetByName::kPresetNameChunkID) size = c.record.size();
  ASSERT_GT(size, 4u);
  const std::string sizeText = std::to_string(size);

  // The preset-name chunk's record, changed.
  struct Case {
    std::function<void(std::vector<unsigned char>&)> damage;
    std::string said;
  };
  auto sizeWord = [](std::vector<unsigned char>& record, int32_t value) { std::memcpy(record.data(), &value, 4); };
  const std::vector<Case> cases = {
      {[&](std::vector<unsigned char>& record) { sizeWord(record, static_cast<int32_t>(size) + 1000); },
       "its record gives its size as " + std::to_string(size + 1000) + " bytes, but only " + sizeText + " are there"},
      {[&](std::vector<unsigned char>& record) { sizeWord(record, -5); }, "its record gives its size as -5 bytes"},
      {[](std::vector<unsigned char>& record) { record.resize(2); },
       "its record holds 2 bytes, too few for the size it begins with"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    simhost::HostState damaged;
    for (simhost::HostStateChunk chunk : good.chunks()) {
      if (chunk.id == simhost::PresetByName::kPresetNameChunkID) c.damage(chunk.record);
      damaged.add(chunk.id, chunk.record);
    }
    ASSERT_TRUE(damaged.write(file("damaged.state"), error)) << error;
    r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0", "--load-state", file("damaged.state"),
             file("song.mid"), file("out.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zarn-host render: " + file("damaged.state") + ": chunk 'QVPr' is damaged: " + c.said +
                         "; the host found it before giving it to the plug-in\n");
    EXPECT_FALSE(std::filesystem::exists(file("out.wav")));
  }
#endif
}

TEST_F(RenderCommandTest, HelpAndSummary) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"render", "--help"}, {"info", "--help"}}) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: zarn-host"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
  const Result r = run({"render", "--bundle", ZARN_TEST_GAIN_BUNDLE, "--tail", "1", "--set", "gain=0.5",
                        file("song.mid"), file("gain.wav")});
  ASSERT_EQ(r.status, 0) << r.err;
  // The length (song plus tail), the peak (silence: the effect has no input
  // here) and the speed.
  EXPECT_NE(r.out.find("gain.wav: 1.35 s (59397 samples at 44100 Hz), peak 0.0000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("x real time"), std::string::npos) << r.out;
}

TEST_F(RenderCommandTest, SynthesizerPresetsAreFoundByName) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  auto renderZarn = [&](std::vector<std::string> extra, const std::string& output) {
    std::vector<std::string> args{"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.2"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(file("song.mid"));
    args.push_back(file(output));
    return run(args);
  };
  Result r = renderZarn({"--preset", "Acid Bass", "--save-state", file("acid.state")}, "acid.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(renderZarn({"--preset", "Sub Bass"}, "sub.wav").status, 0);
  ASSERT_EQ(renderZarn({}, "plain.wav").status, 0);
  ASSERT_EQ(renderZarn({"--load-state", file("acid.state")}, "again.wav").status, 0);

  const renderio::WavData acid = readWav("acid.wav"), sub = readWav("sub.wav"), plain = readWav("plain.wav"),
                          again = readWav("again.wav");
  EXPECT_GT(*std::max_element(acid.samples.begin(), acid.samples.end()), 0.01f);
  EXPECT_FALSE(acid.samples == sub.samples);
  EXPECT_FALSE(acid.samples == plain.samples);
  EXPECT_TRUE(acid.samples == again.samples);

  // The state names the preset its sound came from.
  simhost::HostState state;
  std::string error;
  ASSERT_TRUE(state.read(file("acid.state"), error)) << error;
  const auto& chunks = state.chunks();
  auto name = std::find_if(chunks.begin(), chunks.end(),
                           [](const simhost::HostStateChunk& c) { return c.id == simhost::PresetByName::kPresetNameChunkID; });
  ASSERT_NE(name, chunks.end());
  EXPECT_EQ(simhost::PresetByName::nameIn(name->record), "Acid Bass");

  r = renderZarn({"--preset", "Acid Bas"}, "none.wav");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("no preset named \"Acid Bas\""), std::string::npos) << r.err;

  // A preset cut short: the command says which file and why, in the
  // plug-in's words (the plug-in keeps them for the host rather than
  // alerting), the search does not mistake the file for the end of the
  // library, and the presets after it are still found.
  std::string acidPath;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::getenv("HOME")))
    if (entry.path().filename() == "Acid Bass.qvp") acidPath = entry.path().string();
  ASSERT_FALSE(acidPath.empty());
  // The file is put back afterwards: the tests share a home.
  std::string acidBytes;
  {
    std::ifstream in(acidPath, std::ios::binary);
    acidBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::filesystem::resize_file(acidPath, 30);
  testing::internal::CaptureStderr();
  r = renderZarn({"--preset", "Acid Bass"}, "cut.wav");
  const Result after = renderZarn({"--preset", "Sub Bass"}, "sub2.wav");
  const std::string said = testing::internal::GetCapturedStderr();
  std::ofstream(acidPath, std::ios::binary | std::ios::trunc) << acidBytes;
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.err.find("no preset named"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("preset \"Acid Bass\" (Bass/Acid Bass.qvp, bank 0 program "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(") could not be loaded: it is cut short before the last of its "), std::string::npos) << r.err;
  EXPECT_EQ(said.find("Acid Bass"), std::string::npos) << said;
  ASSERT_EQ(after.status, 0) << after.err;
  EXPECT_TRUE(readWav("sub2.wav").samples == sub.samples);
#endif
}

TEST_F(RenderCommandTest, SynthesizerRendersRepeatToTheSampleWithRandomLfos) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  // "PWM Pad" moves Osc 1's pulse width with LFO 2, here a sample-and-hold
  // whose random steps are seeded from the clock.
  auto renderZarn = [&](const std::string& output) {
    return run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.5", "--preset", "PWM Pad", "--set",
                "LFO 2 WaveForm=SampleHold", "--set", "LFO 2 Frequency=0.8", file("song.mid"), file(output)});
  };
  Result r = renderZarn("first.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  // The second render starts in another second of the wall clock.
  const std::time_t first = std::time(nullptr);
  while (std::time(nullptr) == first) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  r = renderZarn("second.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  const renderio::WavData a = readWav("first.wav"), b = readWav("second.wav");
  EXPECT_GT(*std::max_element(a.samples.begin(), a.samples.end()), 0.01f);
  EXPECT_TRUE(a.samples == b.samples);
  // Only the bundle's loading saw the virtual clock.
  EXPECT_EQ(std::getenv(platform::cVirtualClockVariable), nullptr);
#endif
}

// The transport follows the song: bar 1 in 4/4 at 120 quarters a minute
// (2 s), then 3/4 at 60. The synthesizer's first LFO, a square wave synced
// to a bar of four beats, turns the volume up for the second half of each
// cycle: loud from beat 3 of bar 1 (1 s). After the change the song
// position counts beats of 3/4 (bar 2 starts at beat 2 x 3 = 6, still in a
// second half), a second each: quiet from beat 8 (4 s), loud from beat 10
// (6 s), quiet from beat 12 (8 s). A host that kept the first tempo or
// meter, or timed the bars at another sample rate, moves these edges.
TEST_F(RenderCommandTest, SynthesizerLfoFollowsTheSongsTempoAndMeter) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  // Note 57 from the start to 7 quarters after the change, at 9 s.
  mDir.write("changes.mid", midibytes::header(0, 1, 480) +
                                midibytes::track({0x00, 0x90, 0x39, 0x64,                         // note on
                                                  0x8F, 0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08, // +1920: 3/4
                                                  0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,       // 1000000 us a quarter
                                                  0x9A, 0x20, 0x80, 0x39, 0x40,                   // +3360: note off
                                                  0x00, 0xFF, 0x2F, 0x00}));
  const Result r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--rate", "48000", "--tail", "0", "--set",
                        "LFO 1 SyncMode=Synchronized", "--set", "LFO 1 SyncFreq=1 bar", "--set",
                        "LFO 1 WaveForm=Square", "--set", "Slot 1 Source=LFO 1", "--set", "Slot 1 Target=Volume",
                        "--set", "Slot 1 Level=1", file("changes.mid"), file("lfo.wav")});
  ASSERT_EQ(r.status, 0) << r.err;
  const renderio::WavData wav = readWav("lfo.wav");
  ASSERT_EQ(wav.frames, 9 * 48000);
  // Tenths of a second, away from the edges, loud (quiet is a tenth as loud).
  auto loud = [&](int tenth) {
    double sum = 0.0;
    for (int64_t i = tenth * 4800; i < (tenth + 1) * 4800; ++i) sum += double(wav.at(i, 0)) * wav.at(i, 0);
    return std::sqrt(sum / 4800) > 0.3;
  };
  for (int tenth = 0; tenth < 90; ++tenth) {
    if (tenth % 10 == 0 || tenth % 10 == 9) continue; // the edges fall on whole seconds
    const int second = tenth / 10;
    const bool expected = (second >= 1 && second < 4) || (second >= 6 && second < 8);
    EXPECT_EQ(loud(tenth), expected) << tenth / 10.0 << " s";
  }
#endif
}

// A preset whose file holds a value that is not a number is refused by
// --preset as a damaged one is: the command fails, naming the file and the
// parameter. Before, the value silently kept whatever the
// instance had, and the render succeeded with a sound the preset never had.
TEST_F(RenderCommandTest, APresetHoldingNoNumberIsRefusedByName) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  auto renderZarn = [&](const std::string& preset, const std::string& output) {
    return run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.2", "--preset", preset, file("song.mid"),
                file(output)});
  };
  // The factory presets are put in place by the first run.
  ASSERT_EQ(renderZarn("Sub Bass", "sub.wav").status, 0);
  std::string path;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::getenv("HOME")))
    if (entry.path().filename() == "Sub Bass.qvp") path = entry.path().string();
  ASSERT_FALSE(path.empty());
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // After the tag, the version and the count: value 0, "Noise Level".
  ASSERT_GT(bytes.size(), 16u);
  std::string damaged = bytes;
  const float nan = std::nanf("");
  std::memcpy(damaged.data() + 12, &nan, sizeof nan);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << damaged;
  }
  testing::internal::CaptureStderr();
  const Result r = renderZarn("Sub Bass", "nan.wav");
  const std::string said = testing::internal::GetCapturedStderr();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("could not be loaded: its value for the parameter \"Noise Level\" is not a number"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(said.find("Sub Bass"), std::string::npos) << said;
#endif
}

// Names longer than the preset-name chunk holds are found by the file's own
// name (and by the part the chunk holds); a name that is no preset's is
// answered with the presets there are; info lists them with the bank and
// program that choose each.
TEST_F(RenderCommandTest, SynthesizerPresetsAreListedAndLongNamesFound) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  auto renderZarn = [&](std::vector<std::string> extra, const std::string& song, const std::string& output) {
    std::vector<std::string> args{"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.2"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(file(song));
    args.push_back(file(output));
    return run(args);
  };
  Result r = renderZarn({"--preset", "Sub Bass"}, "song.mid", "sub.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  const renderio::WavData sub = readWav("sub.wav");

  // A folder of the user's library with a preset of a long name.
  const hosttest::LibraryFolder longNames("Long Names");
  ASSERT_FALSE(longNames.path().empty());
  const std::filesystem::path& subPath = longNames.subBass();
  const std::filesystem::path& folder = longNames.path();
  const std::string longName = "Sub Bass, kept under a name longer than the sixty-four bytes a host sees of it";
  ASSERT_GT(longName.size(), size_t(simhost::PresetByName::kPresetNameSize));
  std::filesystem::copy_file(subPath, folder / (longName + ".qvp"));

  r = renderZarn({"--preset", longName}, "song.mid", "long.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(readWav("long.wav").samples == sub.samples);
  const std::string shown = longName.substr(0, simhost::PresetByName::kPresetNameSize);
  r = renderZarn({"--preset", shown}, "song.mid", "shown.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(readWav("shown.wav").samples == sub.samples);

  // info: every preset with its bank and program; the program listed for
  // Sub Bass, sent by a song, gives the sound --preset gives.
  const Result info = run({"info", "--bundle", ZARN_BUNDLE});
  ASSERT_EQ(info.status, 0) << info.err;
  const size_t list = info.out.find("    presets: ");
  ASSERT_NE(list, std::string::npos) << info.out;
  const std::string presets = info.out.substr(list);
  // A chunk that carries the preset's path gives the file's own name; one
  // of the name alone gives the bytes it keeps, and says so.
  simhost::HostState saved;
  std::string error;
  ASSERT_EQ(renderZarn({"--preset", "Sub Bass", "--save-state", file("sub.state")}, "song.mid", "again.wav").status, 0);
  ASSERT_TRUE(saved.read(file("sub.state"), error)) << error;
  bool carriesPath = false;
  for (const simhost::HostStateChunk& c : saved.chunks())
    if (c.id == simhost::PresetByName::kPresetNameChunkID)
      carriesPath = c.record.size() > size_t(kChunkHeaderSize + simhost::PresetByName::kPresetNameSize);
  if (carriesPath)
    EXPECT_NE(presets.find(": " + longName + "\n"), std::string::npos) << presets;
  else
    EXPECT_NE(presets.find(": " + shown + " (as far as a host sees"), std::string::npos) << presets;
  // Each file shows by its name, those that do not load (a file damaged by
  // a test before, when the tests share a home) too.
  size_t files = 0, named = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(subPath.parent_path().parent_path()))
    if (entry.path().extension() == ".qvp") {
      ++files;
      const std::string stem = entry.path().stem().string();
      named += presets.find(": " + stem.substr(0, simhost::PresetByName::kPresetNameSize)) != std::string::npos;
    }
  EXPECT_GT(files, 10u);
  EXPECT_EQ(named, files) << presets;
  const size_t at = presets.find(": Sub Bass\n");
  ASSERT_NE(at, std::string::npos) << presets;
  const size_t lineStart = presets.rfind('\n', at) + 1;
  int bank = -1, program = -1;
  ASSERT_EQ(std::sscanf(presets.c_str() + lineStart, " %d, %d:", &bank, &program), 2) << presets;
  ASSERT_EQ(bank, 0);
  ASSERT_TRUE(program >= 0 && program < 128);
  mDir.write("program.mid", midibytes::header(0, 1, 480) +
                                midibytes::track({0x00, 0xC0, static_cast<unsigned char>(program),  // the program
                                                  0x00, 0xB0, 0x07, 0x64,                           // volume
                                                  0x64, 0x90, 0x3C, 0x64, 0x81, 0x16, 0x80, 0x3C, 0x40, //
                                                  0x32, 0xE0, 0x00, 0x50, 0x00, 0x90, 0x48, 0x50,       //
                                                  0x21, 0x90, 0x48, 0x00, 0x00, 0xFF, 0x2F, 0x00}));
  r = renderZarn({}, "program.mid", "program.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(readWav("program.wav").samples == sub.samples);

  // A name no preset has: the presets there are, and where to see them.
  r = renderZarn({"--preset", "No Such Sound"}, "song.mid", "none.wav");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("\"No Such Sound\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("; the presets are: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Sub Bass"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("zarn-host info"), std::string::npos) << r.err;
  EXPECT_TRUE(isOneLine(r.err)) << r.err;

  // Two presets whose names begin alike for as far as the name field
  // goes: the file's name tells them apart; without it the long name
  // cannot be told apart, and the answer says so.
  std::filesystem::copy_file(subPath, folder / (shown + " and a different end.qvp"));
  r = renderZarn({"--preset", longName}, "song.mid", "twice.wav");
  if (carriesPath) {
    EXPECT_EQ(r.status, 0) << r.err;
  } else {
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("cannot be told apart from 2 presets"), std::string::npos) << r.err;
  }
#endif
}
