// A FIFO where one of the plug-in's files should be: a plain open would
// wait for a writer for ever, at start, on the GUI thread or on the render
// thread. Every reader opens its files through the one regular-file opener;
// this table puts a FIFO in the place of each, in a child process the test
// can give up on, and sees each reader go on without waiting: what it does
// instead is in the expected line ("hung" when it waited). The temporary
// folder of each case shows as DIR.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"
#include "tests/wave/OscillatorTestSupport.h"

#include "base/BinaryData.h"
#include "base/Folders.h"
#include "base/PlatformPaths.h"
#include "base/PlatformUtils.h"
#include "base/Preset.h"
#include "base/PresetManager.h"
#include "gui/Bitmap.h"
#include "gui/BitmapFiler.h"
#include "gui/MacCompatibleBitmap.h"
#include "platform/Alerts.h"
#include "platform/Bundle.h"
#include "platform/PreferencesStore.h"
#include "platform/ResourceFile.h"
#include "platform/Resources.h"
#include "platform/StandardFolders.h"
#include "plugin/ControllerMapping.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace genericplugintest;
using namespace presettest;
using zarn::test::ScopedEnvironment;
using zarn::test::TempDir;

namespace {

// What the body returned in the child, or "hung".
std::string inChild(const std::function<std::string()>& body) {
  const zarn::test::ChildResult r = zarn::test::runInChild(body);
  return r.finished ? r.output : "hung";
}

std::string fileKind(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return "nothing";
  return S_ISREG(st.st_mode) ? "a file" : S_ISFIFO(st.st_mode) ? "a FIFO" : "something else";
}

void fifo(const std::string& path) {
  ::unlink(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

// HOME in the case's folder and no XDG variable: what a product writes
// (its settings, its map) stays there, out of the home of the tests that
// follow.
struct OwnAccount {
  explicit OwnAccount(const TempDir& dir) : home("HOME", dir.path()) {}
  ScopedEnvironment home;
  ScopedEnvironment config{"XDG_CONFIG_HOME", std::nullopt};
  ScopedEnvironment data{"XDG_DATA_HOME", std::nullopt};
  ScopedEnvironment cache{"XDG_CACHE_HOME", std::nullopt};
  ScopedEnvironment documents{"XDG_DOCUMENTS_DIR", std::nullopt};
};

struct Case {
  const char* place;
  std::function<std::string(TempDir&)> run;
  std::string expected;
};

const Case cCases[] = {
    // No settings in it; a save never puts a file in its place: the user
    // made it, and the store's writes are refused in words.
    {"the preferences file",
     [](TempDir& dir) {
       ScopedEnvironment config("XDG_CONFIG_HOME", dir.file("config"));
       dir.write("config/.keep", "");
       fifo(dir.file("config/d.prefs"));
       const std::string out = inChild([] {
         platform::PreferencesStore store("d");
         int32_t i = 0;
         std::string out = store.getInteger("a", i) ? "read; " : "nothing read; ";
         // A change that changes nothing still makes a missing file.
         store.remove("a");
         out += store.synchronize() ? "written" : "not written";
         out += store.lastError().find("a FIFO") != std::string::npos ? " (a FIFO)" : " (" + store.lastError() + ")";
         store.setInteger("a", 7);
         out += store.synchronize() ? ", and again" : ", not again";
         platform::PreferencesStore again("d");
         return out + (again.getInteger("a", i) ? "; then read " + std::to_string(i) : "; then nothing");
       });
       return out + "; " + fileKind(dir.file("config/d.prefs"));
     },
     "nothing read; not written (a FIFO), not again; then nothing; a FIFO"},
    // It names no folder: the defaults serve.
    {"user-dirs.dirs",
     [](TempDir& dir) {
       ScopedEnvironment home("HOME", dir.path());
       ScopedEnvironment config("XDG_CONFIG_HOME", dir.file("cfg"));
       ScopedEnvironment documents("XDG_DOCUMENTS_DIR", std::nullopt);
       dir.write("cfg/.keep", "");
       fifo(dir.file("cfg/user-dirs.dirs"));
       return inChild([] {
         std::string path = "untouched";
         return platform::findStandardFolder(platform::StandardFolder::documents, path) ? path : "not found: " + path;
       });
     },
     "DIR/Documents"},
    // A bundle someone broke: its information file and a resource read as
    // missing.
    {"a bundle's information file and resource",
     [](TempDir& dir) {
       dir.write("F.bundle/Resources/.keep", "");
       fifo(dir.file("F.bundle/Info.txt"));
       fifo(dir.file("F.bundle/Resources/PICT.128"));
       return inChild([&] {
         platform::Bundle* b = platform::Bundle::open(dir.file("F.bundle"));
         if (!b) return std::string("no bundle");
         std::string out = b->identifier().empty() ? "no identifier" : "identifier " + b->identifier();
         const platform::ResourceFileRef map = platform::openResourceMap(b);
         platform::useResourceFile(map);
         out += platform::getResource(platform::fourCharCode("PICT"), 128) ? "; resource read" : "; no resource";
         platform::closeResourceMap(map);
         return out;
       });
     },
     "no identifier; no resource"},
    // It reads as a missing image.
    {"an image",
     [](TempDir& dir) {
       fifo(dir.file("Background.png"));
       return inChild([&] {
         gui::MacCompatibleBitmap b;
         try {
           b.loadFromFile(dir.file("Background.png"));
           return std::string("loaded");
         } catch (const gui::EBitmap& e) {
           return std::string(e.what());
         }
       });
     },
     "Unknown file format"},
    // The factory map serves; a map learned in the session cannot be saved
    // there, which is said at the end, and the FIFO is left in place.
    {"the MIDI controller map",
     [](TempDir& dir) {
       OwnAccount account(dir);
       zarn::test::TestBundle bundle("com.quorvane.test.fifo-map");
       std::vector<int> factory(127, -1);
       factory[20] = 1;
       bundle.writeResource("MidiControllerMap.qvm", mapBytes(factory));
       { TestProduct plugin; }
       const std::string map = dir.file(".local/share/Quorvane/Tester/MidiControllerMap.qvm");
       fifo(map);
       std::string out = inChild([&] {
         std::string said;
         platform::setAlertHandler([&](const std::string& m) { said += "; " + m; });
         std::string controller;
         {
           TestProduct plugin;
           controller = "controller 20: " + std::to_string(GenericPlugin::sControllerMapping->getParameterIndex(20));
           GenericPlugin::sControllerMapping->setConnection(21, plugin.gain.getIndex());
         }
         platform::setAlertHandler(nullptr);
         return controller + said;
       });
       return out + "; " + fileKind(map);
     },
     "controller 20: 1; The MIDI controller map could not be saved to DIR/.local/share/Quorvane/Tester/"
     "MidiControllerMap.qvm: it is not a file and is left as it is; a FIFO"},
    // Listed, so that the library can say why it does not load, and a load
    // of it (a program change on the render thread may ask for one) is
    // refused at once, with the reason.
    {"a preset",
     [](TempDir& dir) {
       OwnAccount account(dir);
       dir.write("Presets/Acid Bass.qvp", presetBytes("QTst", 1, {0.4f, 400.0f, 4.0f, 0.4f}));
       fifo(dir.file("Presets/AAA Fifo.qvp"));
       TestProduct plugin;
       GenericPlugin::sPresetManager->initialize(dir.file("Presets/"));
       const std::string out = inChild([&] {
         std::string said;
         platform::setAlertHandler([&](const std::string& m) { said += m; });
         std::string out = GenericPlugin::sPresetManager->findPresetByName("AAA Fifo") ? "listed; " : "not listed; ";
         out += plugin.loadPresetWithName("Acid Bass") ? "Acid Bass loaded; " : "Acid Bass refused; ";
         Preset fifo(dir.file("Presets/AAA Fifo.qvp"));
         out += plugin.loadPreset(&fifo) ? "FIFO loaded: " : "FIFO refused: ";
         platform::setAlertHandler(nullptr);
         return out + said;
       });
       // The shared library must not keep pointing into a folder that goes.
       GenericPlugin::sPresetManager->initialize("");
       return out;
     },
     "listed; Acid Bass loaded; FIFO refused: The preset \"AAA Fifo\" could not be loaded from "
     "DIR/Presets/AAA Fifo.qvp: it is a FIFO, not a file."},
    // No cache: the tables are built; the save is refused in words and the
    // FIFO stays.
    {"the wave table cache",
     [](TempDir& dir) {
       const std::string path = dir.file("Zarn.dat");
       fifo(path);
       const std::string out = inChild([&] {
         auto style = osctest::makeStyle();
         std::string unsaved;
         style->initialize(path, &unsaved);
         const bool built = style->sawtoothTables[60][3] != 0.0f;
         return std::string(built ? "built" : "not built") +
                (unsaved.find("a FIFO") != std::string::npos ? ", not saved" : ", " + unsaved);
       });
       return out + "; " + fileKind(path);
     },
     "built, not saved; a FIFO"},
    // Among the files to install, with a device: both are passed over, the
    // rest arrives.
    {"a file to install",
     [](TempDir& dir) {
       dir.write("from/Bass/Deep.qvp", "deep");
       fifo(dir.file("from/Bass/AAA Fifo.qvp"));
       EXPECT_EQ(::symlink("/dev/zero", dir.file("from/Zero.qvp").c_str()), 0);
       std::string out = inChild([&] {
         std::string failure;
         const bool ok = copyFolderContents(dir.file("from"), dir.file("to"), &failure);
         return std::string(ok ? "copied" : "failed") + failure;
       });
       return out + "; Deep.qvp: " + dir.read("to/Bass/Deep.qvp") + "; the FIFO: " +
              fileKind(dir.file("to/Bass/AAA Fifo.qvp")) + "; the device: " + fileKind(dir.file("to/Zero.qvp"));
     },
     "copied; Deep.qvp: deep; the FIFO: nothing; the device: nothing"},
    // The binary readers, of a file and of a bundle's resource: refused at
    // once, the file with the reason (which a file that opens has not).
    {"a binary file and a resource",
     [](TempDir& dir) {
       fifo(dir.file("AAA Fifo.qvp"));
       zarn::test::TestBundle bundle("com.quorvane.test.fifo-binary");
       bundle.writeResource("Ulk.fil", "");
       const std::string resource = getResourcePath("Ulk.fil");
       EXPECT_FALSE(resource.empty());
       fifo(resource);
       std::string out = inChild([&] {
         BinaryFileReader file(dir.file("AAA Fifo.qvp"));
         std::string out = std::string(file.headerValid("QVpr") ? "file read" : "file refused") + ": " + file.failure();
         BinaryResourceReader fromBundle("Ulk.fil");
         return out + (fromBundle.headerValid("QVfl") ? "; resource read" : "; resource refused");
       });
       dir.write("real.qvp", "QVpr");
       return out + "; a file: \"" + BinaryFileReader(dir.file("real.qvp")).failure() + "\"";
     },
     "file refused: is not a file; resource refused; a file: \"\""},
};

} // namespace

TEST(FifoInPlaceTest, EveryReaderGoesOnAtOnceAndSaysWhat) {
  for (const Case& c : cCases) {
    SCOPED_TRACE(c.place);
    TempDir dir("zarn-fifo");
    std::string said = c.run(dir);
    for (size_t at = said.find(dir.path()); at != std::string::npos; at = said.find(dir.path(), at + 3))
      said.replace(at, dir.path().size(), "DIR");
    EXPECT_EQ(said, c.expected);
  }
}
