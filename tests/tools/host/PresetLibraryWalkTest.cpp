// The preset library as zarn-host reaches it through the synthesizer's
// bundle: what "info" lists and what "render --preset" does, for libraries
// of odd shapes that real machines have. Each shape is set up in a home of
// its own, after the plug-in's first run there has put the factory presets
// in place (16 presets: _Basics 2, Bass 3, Brass and Strings 2, Effects 3,
// Lead 2, Pad 2, Plucks 2, in that order).

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/tools/render/MidiBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <optional>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A factory preset's bytes with its first value (after the tag, the version
// and the count) not a number: a preset the plug-in refuses.
std::string damaged(const std::string& preset) {
  std::string bytes = preset;
  const float nan = std::nanf("");
  if (bytes.size() >= 16) std::memcpy(bytes.data() + 12, &nan, sizeof nan);
  return bytes;
}

const std::string kNaN = "its value for the parameter \"Noise Level\" is not a number";
const std::string kCut64 = "Pluck, kept under a name that runs on for more than sixty-four b";

// What the commands load from the build: the synthesizer's bundle and the
// simulated host's engine libraries.
struct Build {
  std::string bundle, frameworks;
  // Copies both into folder; the copies are then what is loaded.
  void copyTo(const fs::path& folder) {
    fs::copy(bundle, folder / "Zarn.bundle", fs::copy_options::recursive);
    fs::copy(frameworks, folder / "Frameworks", fs::copy_options::recursive);
    bundle = folder / "Zarn.bundle";
    frameworks = folder / "Frameworks";
  }
};

struct Library {
  std::string bundle; // the synthesizer's bundle, as --bundle takes it
  fs::path root;      // the library's folder
  fs::path outside;   // a folder beside the home, for links to lead to
  std::string preset(const std::string& relative) const { return readFile(root / relative); }
};

struct PresetRun {
  std::string name;
  bool succeeds;
  std::string said; // in the command's message ("" when it succeeds)
};

struct Shape {
  std::string name;
  std::function<void(const Library&)> setUp;
  std::vector<std::string> listed;    // lines (or parts of lines) info prints
  std::vector<std::string> notListed; // texts info must not print
  std::vector<PresetRun> presets;
  std::string alerted; // what the plug-in says on standard error ("" for nothing asked)
  bool asNobody = false;
};

std::string song(const zarn::test::TempDir& dir) {
  const std::string path = dir.file("song.mid");
  writeFile(path, midibytes::header(0, 1, 480) + midibytes::track({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C,
                                                                   0x40, 0x00, 0xFF, 0x2F, 0x00}));
  return path;
}

// The user (and group) a test becomes, as root, for permissions to count.
constexpr uid_t kNobody = 65534;

// Whether the user nobody may pass through the folder and every folder on
// the way to it (by their permission bits), and run the plug-in's program
// from it (some systems mount their temporary folders noexec).
bool nobodyMayPass(const fs::path& folder) {
  struct statvfs mount;
  if (::statvfs(folder.c_str(), &mount) != 0 || (mount.f_flag & ST_NOEXEC) != 0) return false;
  std::error_code ec;
  for (fs::path step = fs::canonical(folder, ec); !ec; step = step.parent_path()) {
    struct stat st;
    if (::stat(step.c_str(), &st) != 0) return false;
    const mode_t bit = st.st_uid == kNobody ? S_IXUSR : st.st_gid == kNobody ? S_IXGRP : S_IXOTH;
    if ((st.st_mode & bit) == 0) return false;
    if (step == step.root_path()) return true;
  }
  return false;
}

// Where a child that gives up root can still reach its files: the
// temporary folder, unless it lies in a folder only its owner may enter (a
// user may point TMPDIR into a private one), else the first of the
// system's own that nobody may reach; "" when none is.
std::string folderNobodyReaches() {
  std::error_code ec;
  const fs::path temporary = fs::temp_directory_path(ec);
  for (const fs::path& folder : {ec ? fs::path("/tmp") : temporary, fs::path("/tmp"), fs::path("/var/tmp"),
                                 fs::path("/dev/shm")})
    if (nobodyMayPass(folder)) return folder.string();
  return "";
}

// Takes the folders out of sight of this process (a child about to give up
// root) and of what it starts, as if they lay in a folder only root may
// enter, where the system lets it have mounts of its own; a folder that
// holds keep stays in sight.
void hideFromThisProcess(const std::vector<fs::path>& folders, const fs::path& keep) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
  const fs::path kept = fs::weakly_canonical(keep);
  for (const fs::path& folder : folders) {
    const fs::path hidden = fs::weakly_canonical(folder);
    if (std::mismatch(hidden.begin(), hidden.end(), kept.begin(), kept.end()).first != hidden.end())
      (void)::mount("none", hidden.c_str(), "tmpfs", 0, "mode=0700");
  }
}

// Runs body in a child process, in a home of its own where the plug-in's
// first run has put the factory presets, with standard error kept in
// stderr.txt of the folder, and, as root, as the user nobody when asked
// (permissions then count); returns what body returns. Nobody must be able
// to reach the folder and what the build loads: it loses sight of the
// build folder and the sources.
std::string inHomeOfItsOwn(const zarn::test::TempDir& dir, const Build& build, bool asNobody,
                           const std::function<std::string(const Library&)>& body) {
  const zarn::test::ChildResult r = zarn::test::runInChild([&]() -> std::string {
    const fs::path home = fs::path(dir.path()) / "home";
    fs::create_directories(home);
    if (asNobody && ::geteuid() == 0) {
      fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
      for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        (void)::chown(e.path().c_str(), kNobody, kNobody);
      (void)::chown(dir.path().c_str(), kNobody, kNobody);
      std::vector<fs::path> clone{fs::path(ZARN_BUNDLE).parent_path()};
      if (const char* sources = std::getenv("ZARN_SOURCE_DIR")) clone.push_back(sources);
      hideFromThisProcess(clone, dir.path());
      // The test's working folder may be one that nobody cannot enter.
      if (::chdir(dir.path().c_str()) != 0 || ::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
          ::setuid(kNobody) != 0)
        return "could not become nobody";
    }
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("ZARN_ENGINE_FRAMEWORKS", build.frameworks.c_str(), 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"})
      ::unsetenv(name);
    const int fd = ::open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, 2) < 0) return "no standard error";
    // The first run puts the factory presets in place.
    const hosttest::Result first = hosttest::run({"info", "--bundle", build.bundle});
    if (first.status != 0) return "the first run failed: " + first.err;
    Library library;
    library.bundle = build.bundle;
    for (const auto& e : fs::recursive_directory_iterator(home))
      if (e.path().filename() == "Clean.qvp") library.root = e.path().parent_path().parent_path();
    if (library.root.empty()) return "no factory presets";
    library.outside = fs::path(dir.path()) / "outside";
    fs::create_directories(library.outside);
    ::lseek(2, 0, SEEK_SET);
    if (::ftruncate(2, 0) != 0) return "standard error kept";
    return body(library);
  });
  if (!r.finished) return "the child did not finish: " + r.output;
  return r.output;
}

// Sets the shape up and checks what info lists, what --preset does and what
// the plug-in says; returns what did not hold, one line each.
std::string runShape(const Shape& shape) {
  // A clone may lie in a folder that only its owner may enter (as /root,
  // or a `mktemp -d` folder), and TMPDIR may point into it: then the user
  // nobody can reach neither what the build folder holds nor the
  // temporary folder. So nobody is handed a folder of its own that it can
  // reach, and beside it a copy of what the commands load, owned by root as
  // an installed plug-in is. The test meets that case wherever the clone
  // lies: what it copies lies in such a private folder, TMPDIR points into
  // it, and the child loses sight of the build folder and the sources
  // (where the system lets it mount).
  const bool dropsRoot = shape.asNobody && ::geteuid() == 0;
  std::optional<zarn::test::TempDir> privateClone, installed;
  std::optional<zarn::test::ScopedEnvironment> privateTemporary;
  Build build{ZARN_BUNDLE, ZARN_ENGINE_FRAMEWORKS};
  std::string nobodysFolder;
  if (dropsRoot) {
    privateClone.emplace("private-clone");
    fs::create_directories(privateClone->file("build"));
    fs::create_directories(privateClone->file("tmp"));
    build.copyTo(privateClone->file("build"));
    privateTemporary.emplace("TMPDIR", privateClone->file("tmp"));
    nobodysFolder = folderNobodyReaches();
    if (nobodysFolder.empty()) return "no temporary folder that nobody may reach";
    installed.emplace("library-walk-build", nobodysFolder);
    fs::permissions(installed->path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    build.copyTo(installed->path());
  }
  zarn::test::TempDir dir("library-walk", nobodysFolder);
  privateTemporary.reset();
  const std::string midi = song(dir);
  return inHomeOfItsOwn(dir, build, shape.asNobody, [&](const Library& library) {
    shape.setUp(library);
    std::string wrong;
    const hosttest::Result info = hosttest::run({"info", "--bundle", library.bundle});
    const std::string list = info.out.substr(std::min(info.out.find("    presets: "), info.out.size()));
    for (const std::string& line : shape.listed)
      if (list.find(line) == std::string::npos) wrong += "info lists no \"" + line + "\"\n";
    for (const std::string& text : shape.notListed)
      if (list.find(text) != std::string::npos) wrong += "info lists \"" + text + "\"\n";
    for (const PresetRun& p : shape.presets) {
      const hosttest::Result run = hosttest::run({"render", "--quiet", "--bundle", library.bundle, "--tail", "0",
                                                  "--preset", p.name, midi, dir.file("out.wav")});
      if ((run.status == 0) != p.succeeds)
        wrong += "--preset \"" + p.name + "\" exits " + std::to_string(run.status) + ": " + run.err;
      if (!p.said.empty() && run.err.find(p.said) == std::string::npos)
        wrong += "--preset \"" + p.name + "\" does not say \"" + p.said + "\": " + run.err;
      // snapshot looks the preset up in the same library, before it opens
      // an editor: what render refuses, it refuses alike.
      if (p.succeeds) continue;
      const hosttest::Result shot =
          hosttest::run({"snapshot", "--bundle", library.bundle, "--preset", p.name, dir.file("out.png")});
      if (shot.status == 0 || shot.err.find(p.said) == std::string::npos)
        wrong += "snapshot --preset \"" + p.name + "\" exits " + std::to_string(shot.status) + ": " + shot.err;
    }
    const std::string alerts = readFile(dir.file("stderr.txt"));
    if (shape.alerted.empty() ? !alerts.empty() : alerts.find(shape.alerted) == std::string::npos)
      wrong += "the plug-in said: \"" + alerts + "\"\n";
    if (!wrong.empty()) wrong += "info:\n" + list.substr(0, 4000);
    return wrong;
  });
}

// The shapes of library the commands must walk. Each is a case of its own
// (it sets up a home of its own anyway), so that the program's shards share
// them out.
std::vector<Shape> libraryShapes() {
  const std::vector<Shape> shapes = {
      {"three damaged presets in a row, then good ones",
       [](const Library& l) {
         for (const char* name : {"Bad A", "Bad B", "Bad C"})
           writeFile(l.root / "Bad" / (std::string(name) + ".qvp"), damaged(l.preset("Plucks/Pluck.qvp")));
       },
       {"presets: 19 ", "0, 2: Bad A (does not load: " + kNaN + ")\n", "0, 4: Bad C (does not load: ",
        "0, 18: Pluck\n"},
       {},
       {{"Pluck", true, ""}, {"Warm Pad", true, ""}, {"Bad B", false, "could not be loaded: " + kNaN}},
       "",
       false},
      {"a damaged preset at the end",
       [](const Library& l) { writeFile(l.root / "Zzz" / "Pluck NaN.qvp", damaged(l.preset("Plucks/Pluck.qvp"))); },
       {"presets: 17 ", "0, 16: Pluck NaN (does not load: " + kNaN + ")\n"},
       {},
       {{"Pluck NaN", false, "preset \"Pluck NaN\" (Zzz/Pluck NaN.qvp, bank 0 program 16) could not be loaded: " + kNaN},
        {"Pluck", true, ""}},
       "",
       false},
      {"10,000 junk files in one folder",
       [](const Library& l) {
         fs::create_directories(l.root / "Junk");
         char name[32];
         for (int i = 0; i < 10000; ++i) {
           std::snprintf(name, sizeof name, "J%05d.qvp", i);
           std::ofstream(l.root / "Junk" / name) << "junk";
         }
       },
       // Junk comes after Effects: programs 10 to 10009; Pluck is the last.
       {"presets: 10016 ", "0, 10: J00000 (does not load: ", "78, 25: J09999 (does not load: ", "78, 31: Pluck\n"},
       {},
       {{"Pluck", true, ""}},
       "",
       false},
      {"a link to a tree that sorts before the library's own folders",
       [](const Library& l) {
         writeFile(l.outside / "Shared" / "Linked One.qvp", l.preset("Bass/Sub Bass.qvp"));
         writeFile(l.outside / "Shared" / "Linked Two.qvp", l.preset("Bass/Sub Bass.qvp"));
         fs::create_directory_symlink(l.outside / "Shared", l.root / "Aaa");
       },
       {"presets: 18 ", "0, 2: Acid Bass\n", "0, 15: Pluck\n", "0, 16: Linked One\n", "0, 17: Linked Two\n"},
       {},
       {{"Linked Two", true, ""}},
       "",
       false},
      {"a preset name holding a newline",
       [](const Library& l) { writeFile(l.root / "Bass" / "Odd\n0, 99: Fake.qvp", l.preset("Bass/Sub Bass.qvp")); },
       {"presets: 17 ", ": Odd\\n0, 99: Fake\n"},
       {"\n0, 99: Fake", "\n      0, 99: "},
       {},
       "",
       false},
      {"two long names alike for the 64 bytes a host sees",
       [](const Library& l) {
         writeFile(l.root / "Long" / (kCut64 + "ytes, one.qvp"), l.preset("Plucks/Pluck.qvp"));
         writeFile(l.root / "Long" / (kCut64 + "ytes, two.qvp"), l.preset("Bass/Sub Bass.qvp"));
       },
       {"presets: 18 ", ": " + kCut64 + "ytes, one\n", ": " + kCut64 + "ytes, two\n"},
       {},
       {{kCut64, false, "fits 2 presets: \"" + kCut64 + "ytes, one\" (Long/"},
        {kCut64 + "ytes, two", true, ""}},
       "",
       false},
      {"two presets of one name in two folders",
       [](const Library& l) { writeFile(l.root / "Bass" / "Pluck.qvp", l.preset("Bass/Sub Bass.qvp")); },
       {"presets: 17 ", "0, 3: Pluck (in Bass/Pluck.qvp)\n", "0, 16: Pluck (in Plucks/Pluck.qvp)\n"},
       {},
       {{"Bass/Pluck", true, ""},
        {"Plucks/Pluck", true, ""},
        {"Pad/Pluck", false, "no preset named \"Pad/Pluck\""},
        {"Pluck", false,
         "\"Pluck\" fits 2 presets: Bass/Pluck (bank 0 program 3), Plucks/Pluck (bank 0 program 16); choose one as "
         "FOLDER/NAME"}},
       "",
       false},
      {"one name at the library's top, in a folder, and damaged",
       [](const Library& l) {
         writeFile(l.root / "Pluck.qvp", l.preset("Bass/Sub Bass.qvp"));
         writeFile(l.root / "Zzz" / "Pluck.qvp", damaged(l.preset("Plucks/Pluck.qvp")));
       },
       // The presets at the top come after those of the folders.
       {"presets: 18 ", "0, 15: Pluck (in Plucks/Pluck.qvp)\n", "0, 16: Pluck (in Zzz/Pluck.qvp) (does not load: ",
        "0, 17: Pluck (in Pluck.qvp)\n"},
       {},
       {{"Pluck", false,
         "\"Pluck\" fits 3 presets: Plucks/Pluck (bank 0 program 15), Zzz/Pluck (bank 0 program 16, does not "
         "load), /Pluck (bank 0 program 17); choose one as FOLDER/NAME"},
        {"/Pluck", true, ""},
        {"/Plucks/Pluck", true, ""},
        {"/Zzz/Pluck", false, "could not be loaded: " + kNaN},
        {"/Lead/Pluck", false, "no preset named \"/Lead/Pluck\""}},
       "",
       false},
      {"a FIFO and a link to a device named as presets",
       [](const Library& l) {
         fs::create_directories(l.root / "Odd");
         if (::mkfifo((l.root / "Odd" / "Fifo.qvp").c_str(), 0600) != 0) std::abort();
         fs::create_symlink("/dev/zero", l.root / "Odd" / "Zero.qvp");
       },
       // Odd comes after Lead: programs 12 and 13.
       {"presets: 18 ", "0, 12: Fifo (does not load: it is a FIFO, not a file)\n",
        "0, 13: Zero (does not load: it is a device, not a file)\n", "0, 17: Pluck\n"},
       {},
       {{"Fifo", false, "preset \"Fifo\" (Odd/Fifo.qvp, bank 0 program 12) could not be loaded: it is a FIFO, not a file"},
        {"Zero", false, "could not be loaded: it is a device, not a file"},
        {"Pluck", true, ""}},
       "",
       false},
      {"a folder that cannot be read",
       [](const Library& l) {
         writeFile(l.root / "Locked" / "Hidden.qvp", l.preset("Plucks/Pluck.qvp"));
         fs::permissions(l.root / "Locked", fs::perms::none);
       },
       {"presets: 16 "},
       {"Hidden"},
       {{"Pluck", true, ""}},
       "A preset folder could not be read, so its presets are not listed: ",
       true},
  };
  return shapes;
}

} // namespace

class PresetLibraryShapeTest : public ::testing::TestWithParam<size_t> {};

TEST_P(PresetLibraryShapeTest, InfoAndPresetReachEveryPresetOfTheLibrary) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  const Shape shape = libraryShapes().at(GetParam());
  EXPECT_EQ(runShape(shape), "") << shape.name;
#endif
}

INSTANTIATE_TEST_SUITE_P(Shapes, PresetLibraryShapeTest, ::testing::Range<size_t>(0, libraryShapes().size()));

// Each command reads the library once, whatever instances it makes and drops:
// a library that links to a large tree costs a command one scan's time, not
// two or three. Counted as the opens of a folder that only the library's
// scan reads (a linked one): a scan lists it twice in a row (its folders,
// then its presets), which the kernel reports as one open, and each
// instance then reads the preset file in it, which parts the scans.
TEST(PresetLibraryWalkTest, EachCommandReadsTheLibraryOnce) {
#ifndef ZARN_BUNDLE
  GTEST_SKIP() << "the synthesizer's bundle is not built";
#else
  zarn::test::TempDir dir("library-walk");
  const std::string midi = song(dir);
  const Build build{ZARN_BUNDLE, ZARN_ENGINE_FRAMEWORKS};
  const std::string counts = inHomeOfItsOwn(dir, build, false, [&](const Library& library) {
    writeFile(library.outside / "Shared" / "Linked.qvp", library.preset("Bass/Sub Bass.qvp"));
    fs::create_directory_symlink(library.outside / "Shared", library.root / "Linked");
    const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher < 0 || ::inotify_add_watch(watcher, (library.outside / "Shared").c_str(), IN_OPEN) < 0)
      return std::string("no watch");
    // The opens of the folder itself (not of the files in it).
    auto folderOpens = [&] {
      int opens = 0;
      alignas(inotify_event) char buffer[4096];
      ssize_t n;
      while ((n = ::read(watcher, buffer, sizeof buffer)) > 0)
        for (char* p = buffer; p < buffer + n;) {
          const auto* e = reinterpret_cast<const inotify_event*>(p);
          if ((e->mask & IN_ISDIR) && e->len == 0) ++opens;
          p += sizeof(inotify_event) + e->len;
        }
      return opens;
    };
    std::string said;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0", midi,
                                   dir.file("out.wav")},
          std::vector<std::string>{"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0", "--preset", "Linked",
                                   midi, dir.file("out.wav")},
          std::vector<std::string>{"info", "--bundle", ZARN_BUNDLE}}) {
      folderOpens();
      const int status = hosttest::run(args).status;
      said += std::to_string(status) + ":" + std::to_string(folderOpens()) + " ";
    }
    return said;
  });
  // Exit status and opens of render, render --preset and info.
  EXPECT_EQ(counts, "0:1 0:1 0:1 ");
#endif
}
