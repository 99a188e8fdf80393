// What the command-line tools say to the user, read as the user reads it:
// a command line refused says what is wrong with it; a song that chooses
// its own preset over --preset says so; info names the folder the plug-in
// really reads its presets from; and a name the user made (a preset file's,
// a parameter's) is printed so that its bytes can be told apart, and can
// forge no line of text and no terminal sequence.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/TempDir.h"
#include "tests/tools/render/MidiBytes.h"
#include "tools/host/PrintableName.h"
#include "tools/render/WavReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

using hosttest::Result;
using hosttest::run;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

#ifdef ZARN_HOST_EXECUTABLE
// A program run on its own, with exactly this environment; its exit status
// (-1 when it did not exit by itself), standard output and standard error.
struct ProgramRun {
  int status = -1;
  std::string out, err;
};

ProgramRun runProgram(const std::string& program, std::vector<std::string> args, const std::vector<std::string>& env,
                      const zarn::test::TempDir& dir) {
  // startHost runs zarn-host; another program goes in its place by its
  // first argument being the program.
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> av, ev;
  for (std::string& a : argv) av.push_back(a.data());
  av.push_back(nullptr);
  std::vector<std::string> environment = env;
  for (std::string& e : environment) ev.push_back(e.data());
  ev.push_back(nullptr);
  const std::string outFile = dir.file("stdout.txt"), errFile = dir.file("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  ProgramRun r;
  if (posix_spawn(&pid, av[0], &actions, nullptr, av.data(), ev.data()) == 0) {
    const int status = hosttest::waitForExit(pid);
    r.status = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  r.out = readFile(outFile);
  r.err = readFile(errFile);
  return r;
}
#endif

// A short song: note 60 for a quarter of a second, with program changes at
// the times given (in seconds).
std::string songWithPrograms(const std::vector<std::pair<double, int>>& programs) {
  std::vector<midibytes::TimedMessage> song = {{0.01, midibytes::bytes({0x90, 60, 100})},
                                               {0.3, midibytes::bytes({0x80, 60, 64})}};
  for (const auto& [seconds, program] : programs) song.push_back({seconds, midibytes::bytes({0xC0, program})});
  return midibytes::timedSong(song);
}

} // namespace

// Escapes computed by hand from the bytes: what is not printable UTF-8 is
// shown byte by byte as \xHH, a newline as \n, a backslash doubled;
// printable UTF-8 of any length is kept.
TEST(CommandWordsTest, ANameIsPrintedSoThatItsBytesCanBeToldApart) {
  struct Case {
    std::string name, shown;
  };
  const std::vector<Case> cases = {
      {"Sub Bass", "Sub Bass"},
      {"Caf\xC3\xA9 \xE6\x9D\xB1 \xF0\x9F\x8E\xB9", "Caf\xC3\xA9 \xE6\x9D\xB1 \xF0\x9F\x8E\xB9"}, // é, a CJK sign, 🎹
      {"Caf\xFF", "Caf\\xFF"},                    // no UTF-8 at all
      {"Caf\xE9", "Caf\\xE9"},                    // Latin-1
      {"two\nlines", "two\\nlines"},              // a forged line
      {"\x1B[2Jred", "\\x1B[2Jred"},              // a terminal sequence
      {"tab\there\x7F", "tab\\x09here\\x7F"},     // C0 and DEL
      {"a\\xFF", "a\\\\xFF"},                     // a backslash: never read as an escape
      {"next\xC2\x85line", "next\\xC2\\x85line"}, // C1 control NEL
      {"left\xE2\x80\xAEthgir", "left\\xE2\\x80\\xAEthgir"},     // right-to-left override
      {"line\xE2\x80\xA8sep", "line\\xE2\\x80\\xA8sep"},         // line separator
      {"\xC0\xAF", "\\xC0\\xAF"},                                // an overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                       // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},              // past U+10FFFF
      {"cut \xE2\x82", "cut \\xE2\\x82"},                        // a sequence cut short
      {"\x80lone", "\\x80lone"},                                 // a stray continuation byte
      {"\xE2\x82\xAC\xE2", "\xE2\x82\xAC\\xE2"},                 // € then the start of a cut one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    EXPECT_EQ(simhost::printableName(c.name), c.shown);
  }
}

// Every command line below is refused before any work with exit status 2
// and the reason, the first line on standard error; nothing is written.
// Each tool runs as a program of its own.
TEST(CommandWordsTest, ACommandLineThatCannotBeUsedIsRefusedWithWhatIsWrong) {
#ifndef ZARN_HOST_EXECUTABLE
  GTEST_SKIP() << "zarn-host is not built";
#else
  zarn::test::TempDir dir{"command-words"};
  dir.write("song.mid", songWithPrograms({}));
  dir.write("home/.keep", "");
  const std::string song = dir.file("song.mid"), out = dir.file("out.wav"), png = dir.file("out.png");
  const std::vector<std::string> env{"HOME=" + dir.file("home"), "PATH=/usr/bin:/bin"};
  const std::string host = ZARN_HOST_EXECUTABLE;
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string said; // the first line on standard error
  };
  std::vector<Case> cases = {
      {host, {"render", song, ""}, "zarn-host render: the name given for OUTPUT.wav is empty"},
      {host, {"render", "", out}, "zarn-host render: the name given for INPUT.mid is empty"},
      {host, {"render", "--set", "Volume=", song, out}, "zarn-host render: \"Volume=\": the value is missing"},
      {host, {"render", "--set", "Volume = ", song, out}, "zarn-host render: \"Volume = \": the value is missing"},
      {host, {"render", "--set", "=0.5", song, out}, "zarn-host render: \"=0.5\": the name is missing"},
      {host, {"render", "--set", "=", song, out}, "zarn-host render: \"=\": the name and the value are missing"},
      {host, {"render", "--set", "Volume", song, out}, "zarn-host render: \"Volume\" is not NAME=VALUE"},
      {host, {"render", "--set", "Vol\xFF\nume", song, out}, "zarn-host render: \"Vol\\xFF\\nume\" is not NAME=VALUE"},
      {host, {"snapshot", ""}, "zarn-host snapshot: the name given for OUT.png is empty"},
  };
  struct Zoom {
    std::string text;
    bool taken;
  };
  struct Tool {
    std::string name, program;
    int most;
  };
  std::vector<Tool> tools;
#ifdef ZARN_GALLERY_EXECUTABLE
  tools.push_back({"zarn-gallery", ZARN_GALLERY_EXECUTABLE, 8});
#endif
#ifdef ZARN_RASTER_SHEET_EXECUTABLE
  tools.push_back({"zarn-raster-sheet", ZARN_RASTER_SHEET_EXECUTABLE, 32});
#endif
  for (const Tool& tool : tools)
    for (const std::string& zoom : {std::string("1e9"), std::string("2abc"), std::string("2.9"), std::string("0"),
                                    std::to_string(tool.most + 1), std::string("-2"), std::string("+2"),
                                    std::string(" 2"), std::string(""), std::string("99999999999999999999")})
      cases.push_back({tool.program, {png, "--zoom", zoom},
                       tool.name + ": --zoom " + zoom + " is not a whole number from 1 to " +
                           std::to_string(tool.most)});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const ProgramRun r = runProgram(c.program, c.args, env, dir);
    EXPECT_EQ(r.status, 2) << r.err;
    // The reason, then perhaps where to read more.
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(png));
    fs::remove(png);
    EXPECT_EQ(r.err.substr(0, c.said.size()), c.said) << r.err;
    if (r.err.size() > c.said.size()) {
      const std::string rest = r.err.substr(c.said.size());
      EXPECT_TRUE(rest.rfind("\n", 0) == 0 || rest.rfind(" (see ", 0) == 0) << r.err;
    }
  }
  // The whole numbers in range are taken: the picture is drawn that many
  // times as large as at 1.
  for (const Tool& tool : tools) {
    SCOPED_TRACE(tool.name);
    auto width = [&](const std::vector<std::string>& zoom) {
      std::vector<std::string> args{png};
      args.insert(args.end(), zoom.begin(), zoom.end());
      const ProgramRun r = runProgram(tool.program, args, env, dir);
      EXPECT_EQ(r.status, 0) << r.err;
      const std::string bytes = readFile(png);
      fs::remove(png);
      // The PNG's IHDR: the width, big-endian, from byte 16.
      if (bytes.size() < 24) return 0u;
      unsigned w = 0;
      for (int i = 16; i < 20; ++i) w = (w << 8) | static_cast<unsigned char>(bytes[size_t(i)]);
      return w;
    };
    const unsigned one = width({});
    ASSERT_GT(one, 0u);
    EXPECT_EQ(width({"--zoom", "2"}), 2 * one);
    EXPECT_EQ(width({"--zoom", "03"}), 3 * one);
  }
#endif
}

#ifdef ZARN_BUNDLE

// Only the executable-run test needs the host program; these run zarn-host
// in-process from the test's home, where the plug-in's first run has put
// the factory presets.
namespace {

const std::string kBundle = ZARN_BUNDLE;

// zarn-host info in a child process: loaded here without the virtual
// clock a render loads it with, the bundle would stay loaded with the
// wall clock, and renders after it in this process would no longer repeat.
Result info() { return hosttest::runInChild({"info", "--bundle", kBundle}); }

// The program that chooses a preset of bank 0, by zarn-host info's list;
// -1 when it does not list it.
int programOf(const std::string& name) {
  const Result info = ::info();
  EXPECT_EQ(info.status, 0) << info.err;
  const size_t at = info.out.find(": " + name + "\n");
  if (at == std::string::npos) return -1;
  int bank = -1, program = -1;
  if (std::sscanf(info.out.c_str() + info.out.rfind('\n', at) + 1, " %d, %d:", &bank, &program) != 2 || bank != 0)
    return -1;
  return program;
}

renderio::WavData readWav(const std::string& path) {
  renderio::WavData data;
  renderio::WavReader reader;
  EXPECT_TRUE(reader.read(path, data)) << reader.error();
  return data;
}

} // namespace

// A song that sends its own program change (as a tune written with a
// program at its head does, a tick after the start) loads that preset over
// --preset, as a host plays it; the render says so once, with the time and
// the preset the song chose, even under --quiet, and says nothing when the
// song chooses what the command line chose, or when the command line chose
// nothing.
TEST(CommandWordsTest, ASongThatChoosesItsOwnPresetSaysSoOnce) {
  zarn::test::TempDir dir{"song-preset"};
  const int lead = programOf("Square Lead"), brass = programOf("Brass");
  ASSERT_GE(lead, 0);
  ASSERT_GE(brass, 0);
  const double tick = 1e-4; // one tick of the song's time base
  dir.write("lead.mid", songWithPrograms({{tick, lead}}));
  dir.write("lead-then-brass.mid", songWithPrograms({{tick, lead}, {0.2, brass}}));
  dir.write("late.mid", songWithPrograms({{0.25, lead}}));
  const std::string warning = "zarn-host render: warning: the song chooses the preset ";

  struct Case {
    std::string song;
    std::vector<std::string> options;
    std::string said; // "" for nothing
  };
  const std::vector<Case> cases = {
      {"lead.mid", {"--preset", "Pluck"},
       warning + "\"Square Lead\" (Lead/Square Lead) at 0.00 s, in place of --preset \"Pluck\"\n"},
      {"lead.mid", {"--quiet", "--preset", "Pluck"},
       warning + "\"Square Lead\" (Lead/Square Lead) at 0.00 s, in place of --preset \"Pluck\"\n"},
      // Two changes: said once, for the first.
      {"lead-then-brass.mid", {"--preset", "Warm Pad"},
       warning + "\"Square Lead\" (Lead/Square Lead) at 0.00 s, in place of --preset \"Warm Pad\"\n"},
      {"late.mid", {"--preset", "Plucks/Pluck", "--set", "Volume=0.5"},
       warning + "\"Square Lead\" (Lead/Square Lead) at 0.25 s, in place of --preset \"Plucks/Pluck\" and the "
                 "values of --set\n"},
      {"late.mid", {"--set", "Volume=0.5"},
       warning + "\"Square Lead\" (Lead/Square Lead) at 0.25 s, in place of the values of --set\n"},
      {"lead.mid", {"--preset", "Square Lead"}, ""},
      {"lead.mid", {}, ""},
  };
  auto render = [&](const std::string& song, const std::vector<std::string>& options, const std::string& output) {
    std::vector<std::string> args{"render", "--bundle", kBundle, "--tail", "0.1"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(dir.file(song));
    args.push_back(dir.file(output));
    return run(args);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.song + " " + testing::PrintToString(c.options));
    const Result r = render(c.song, c.options, "out.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, c.said);
  }
  // The song's change wins, as before: from two other presets, the song
  // sounds the same; without its change, they differ.
  ASSERT_EQ(render("lead.mid", {"--preset", "Pluck"}, "pluck.wav").status, 0);
  ASSERT_EQ(render("lead.mid", {"--preset", "Warm Pad"}, "pad.wav").status, 0);
  const std::vector<float> pluck = readWav(dir.file("pluck.wav")).samples;
  ASSERT_GT(*std::max_element(pluck.begin(), pluck.end()), 0.01f);
  EXPECT_TRUE(pluck == readWav(dir.file("pad.wav")).samples);
  dir.write("plain.mid", songWithPrograms({}));
  ASSERT_EQ(render("plain.mid", {"--preset", "Pluck"}, "pluck.wav").status, 0);
  ASSERT_EQ(render("plain.mid", {"--preset", "Warm Pad"}, "pad.wav").status, 0);
  EXPECT_FALSE(readWav(dir.file("pluck.wav")).samples == readWav(dir.file("pad.wav")).samples);
}

// A song whose own program change loads the very preset the command line
// chose, again, puts back that preset's values over what --set or
// --load-state made of it, as a host plays it: the render sounds as the
// preset alone, and says once that those values were replaced. Nothing is
// said where the command line set no values of its own over the preset.
TEST(CommandWordsTest, ASongThatLoadsTheChosenPresetAgainSaysItsValuesAreReplaced) {
  zarn::test::TempDir dir{"song-same-preset"};
  const int sub = programOf("Sub Bass");
  ASSERT_GE(sub, 0);
  dir.write("sub.mid", songWithPrograms({{1e-4, sub}}));
  dir.write("plain.mid", songWithPrograms({}));
  auto render = [&](const std::string& song, const std::vector<std::string>& options, const std::string& output) {
    std::vector<std::string> args{"render", "--quiet", "--bundle", kBundle, "--tail", "0.1"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(dir.file(song));
    args.push_back(dir.file(output));
    return run(args);
  };
  auto peakDb = [&](const std::string& wav) {
    const std::vector<float> s = readWav(dir.file(wav)).samples;
    float peak = 0.0f;
    for (float x : s) peak = std::max(peak, std::fabs(x));
    return 20.0 * std::log10(std::max(peak, 1e-9f));
  };
  // The sounds to tell apart: the preset's own, and the one --set makes of
  // it; and a state that holds the latter.
  Result r = render("plain.mid", {"--preset", "Sub Bass"}, "own.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  r = render("plain.mid", {"--preset", "Sub Bass", "--set", "Volume=0.2", "--save-state", dir.file("quiet.state")},
             "set.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  const double own = peakDb("own.wav"), set = peakDb("set.wav");
  ASSERT_GT(own - set, 10.0) << "--set Volume=0.2 should make Sub Bass much quieter";

  const std::string reloads = "zarn-host render: warning: the song's program change at 0.00 s reloads the preset "
                              "\"Sub Bass\" (Bass/Sub Bass): ";
  const std::string replaced = " are replaced by the preset's own\n";
  struct Case {
    std::vector<std::string> options;
    std::string said; // "" for nothing
  };
  const std::vector<Case> cases = {
      {{"--preset", "Sub Bass", "--set", "Volume=0.2"}, reloads + "the values of --set" + replaced},
      {{"--load-state", dir.file("quiet.state")}, reloads + "the values of --load-state" + replaced},
      {{"--load-state", dir.file("quiet.state"), "--set", "Volume=0.3"},
       reloads + "the values of --load-state and --set" + replaced},
      // The preset's values already replaced the state's.
      {{"--load-state", dir.file("quiet.state"), "--preset", "Sub Bass"}, ""},
      {{"--preset", "Sub Bass"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    r = render("sub.mid", c.options, "out.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, c.said);
    // The song's change wins: the preset's own sound, whatever was set.
    EXPECT_TRUE(readWav(dir.file("out.wav")).samples == readWav(dir.file("own.wav")).samples);
    EXPECT_NEAR(peakDb("out.wav"), own, 0.01);
  }
}

// info names the folder the plug-in reads its presets from, as the
// plug-in tells it: the user's default one on a fresh account, and the
// one the preferences have moved it to after that, which no default
// computed beside the plug-in would give.
TEST(CommandWordsTest, InfoNamesTheFolderThePlugInReadsItsPresetsFrom) {
#ifndef ZARN_HOST_EXECUTABLE
  GTEST_SKIP() << "zarn-host is not built";
#else
  zarn::test::TempDir dir{"info-folder"};
  const std::string home = dir.file("home");
  fs::create_directories(home);
  const std::vector<std::string> env{"HOME=" + home, "PATH=/usr/bin:/bin"};
  ProgramRun r = runProgram(ZARN_HOST_EXECUTABLE, {"info", "--bundle", kBundle}, env, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string library = home + "/.local/share/Presets/Quorvane/Quorvane Zarn/";
  EXPECT_EQ(count(r.out, "    preset folder: " + library + "\n"), 1u) << r.out;
  EXPECT_TRUE(fs::exists(library + "Bass/Sub Bass.qvp"));

  // The preferences move the library to a folder of the user's choosing,
  // holding one preset.
  const std::string prefsPath = home + "/.config/com.quorvane.Zarn.1.prefs";
  std::string prefs = readFile(prefsPath);
  const std::string stored = "\ns PresetFolder ";
  const size_t at = prefs.find(stored);
  ASSERT_NE(at, std::string::npos) << prefs;
  const size_t end = prefs.find('\n', at + 1);
  const std::string mine = home + "/mine/";
  prefs.replace(at + stored.size(), end - at - stored.size(), mine);
  std::ofstream(prefsPath, std::ios::binary | std::ios::trunc) << prefs;
  fs::create_directories(mine + "Keys");
  fs::copy_file(library + "Bass/Sub Bass.qvp", mine + "Keys/Low.qvp");
  r = runProgram(ZARN_HOST_EXECUTABLE, {"info", "--bundle", kBundle}, env, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count(r.out, "    preset folder: " + mine + "\n"), 1u) << r.out;
  EXPECT_EQ(r.out.find(library), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(": Low\n"), std::string::npos) << r.out;
#endif
}

// A name no preset has is answered with the presets there are, each as
// --preset takes it apart from its namesakes (FOLDER/NAME), and with the
// bytes of a file's name that are no printable UTF-8 escaped, in the
// answer as in info's list.
TEST(CommandWordsTest, AnUnknownPresetIsAnsweredWithFoldersAndPrintableNames) {
  zarn::test::TempDir dir{"unknown-preset"};
  dir.write("song.mid", songWithPrograms({}));
  // The first run puts the factory presets in place.
  ASSERT_EQ(run({"render", "--quiet", "--bundle", kBundle, "--tail", "0", dir.file("song.mid"), dir.file("a.wav")})
                .status,
            0);
  const hosttest::LibraryFolder mine("Mine");
  ASSERT_FALSE(mine.path().empty());
  fs::copy_file(mine.subBass(), mine.path() / "Clean.qvp");
  fs::copy_file(mine.subBass(), mine.path() / "Caf\xFF.qvp");
  fs::copy_file(mine.subBass(), mine.path() / "Caf\xC3\xA9.qvp");
  fs::copy_file(mine.subBass(), mine.path() / "Two\nLines.qvp");

  const Result r = run({"render", "--bundle", kBundle, "--preset", "No Such Sound", dir.file("song.mid"),
                        dir.file("none.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count(r.err, "\n"), 1u) << r.err;
  for (const char* shown : {"_Basics/Clean", "Mine/Clean", "Bass/Sub Bass", "Mine/Caf\\xFF",
                                   "Mine/Caf\xC3\xA9", "Mine/Two\\nLines"})
    EXPECT_EQ(count(r.err, shown), 1u) << shown << " in " << r.err;
  EXPECT_EQ(r.err.find('\xFF'), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(", Clean"), std::string::npos) << r.err;

  const Result info = ::info();
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find(": Caf\\xFF\n"), std::string::npos) << info.out;
  EXPECT_EQ(info.out.find('\xFF'), std::string::npos);
}

#endif
