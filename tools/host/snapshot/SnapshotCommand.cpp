#include "tools/host/snapshot/SnapshotCommand.h"

#include "platform/DrawPort.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/PngWriter.h"
#include "platform/PreferencesStore.h"
#include "platform/PrivateFolder.h"
#include "tools/host/CommandFiles.h"
#include "tools/host/ControlByName.h"
#include "tools/host/EditorWindow.h"
#include "tools/host/HostState.h"
#include "tools/host/PresetByName.h"
#include "tools/host/RenderCommand.h"
#include "tools/host/SimHost.h"
#include "platform/ReplacingFile.h"
#include "tools/render/SmallFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <unistd.h>
#include <ostream>
#include <sstream>

namespace simhost {
namespace {

const char* const kSnapshotHelp =
    "usage: zarn-host snapshot [options] OUT.png\n"
    "Opens the plug-in's editor, plays an optional mouse script and writes the window as a PNG image.\n"
    "  --bundle PATH        the plug-in bundle (default: the Zarn.bundle the build made)\n"
    "  --preset NAME        start from the plug-in's preset of that name\n"
    "  --set \"NAME=VALUE\"   set a parameter, by its value text or in its shown units (repeatable)\n"
    "  --load-state FILE    start from a state saved by render or edit\n"
    "  --script FILE        mouse steps: move|down|drag|up|click X Y, wait MS, menu ITEM [> ITEM]...\n"
    "  --help               this text\n"
    "The saved state is taken first, then the preset, then each --set.\n";

int fail(std::ostream& err, const std::string& reason, int status = 1) {
  err << "zarn-host snapshot: " << reason << "\n";
  return status;
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// Every preferences file of the (private) home that asks for the welcome
// hint stops asking.
void hideWelcomeHint() {
  const std::string folder = platform::PreferencesStore::folder();
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().extension() != ".prefs") continue;
    platform::PreferencesStore store(entry.path().stem().string());
    int32_t on = 0;
    if (store.getInteger("showWelcomeHint", on) && on != 0) {
      store.setInteger("showWelcomeHint", 0);
      store.synchronize();
    }
  }
}

// Every control's value.
std::vector<int32_t> controlValues(SimHost& host, Instance& in) {
  std::vector<int32_t> values;
  for (int32_t k = 1; k <= host.numControls(in); ++k) values.push_back(host.controlValue(in, k));
  return values;
}

// The plug-in keeps preferences and installs its presets below the user's
// folders on its first run. A snapshot runs it in a fresh home of its own,
// so the picture never depends on (nor changes) the user's settings. The
// home goes with the snapshot, also when it is ended by a signal, and the
// start of the next one removes those that a killed snapshot left. When
// no such home can be made, the snapshot is refused: it never falls back
// on the user's own.
class PrivateHome {
public:
  PrivateHome() : own("zarn-snapshot"), folder(own.path()) {}
  ~PrivateHome() {
    for (const auto& [name, value] : saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  PrivateHome(const PrivateHome&) = delete;
  PrivateHome& operator=(const PrivateHome&) = delete;

  // Why there is no home; "" when there is one.
  const std::string& error() const { return own.error(); }

  // Points the home and the XDG folders into it until the object goes.
  bool enter(std::string& error) {
    if (folder.empty()) {
      error = own.error();
      return false;
    }
    for (const std::filesystem::path& sub : {folder / ".config", folder / ".local" / "share", folder / ".cache",
                                             folder / "Documents"}) {
      std::error_code ec;
      if (!std::filesystem::create_directories(sub, ec) && ec) {
        error = "cannot make " + sub.string() + ": " + ec.message();
        return false;
      }
    }
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"}) {
      const char* old = std::getenv(name);
      saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder / ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / ".local" / "share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (folder / ".cache").c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (folder / "Documents").c_str(), 1);
    return true;
  }

private:
  platform::PrivateFolder own;
  std::filesystem::path folder;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

// The window as an RGB picture, written whole over the output or not at
// all: a snapshot that fails or is ended by a signal on the way leaves the
// earlier picture as it was.
bool writePicture(platform::WindowServer& server, platform::WindowId window, const std::string& path,
                  std::string& error) {
  const platform::DrawPort* port = server.windowPort(window);
  const std::vector<unsigned char> png =
      port ? encodePng(port->width(), port->height(), port->pixels(), false) : std::vector<unsigned char>();
  if (png.empty()) {
    error = "cannot write " + path + ": the window has no picture";
    return false;
  }
  platform::ReplacingFile file;
  if (file.create(path) && file.writeAll(png.data(), png.size()) && file.commit()) return true;
  error = file.error();
  return false;
}

struct Scene {
  static constexpr int cX = 40, cY = 40;
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window = 0;
  platform::ScreenPoint at(int x, int y) const { return {cX + x, cY + y}; }
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
};

// A menu step waits for the next menu the editor pops up.
struct MenuStep {
  std::string where; // "script:line: "
  std::vector<std::string> items;
  size_t shownBefore; // menus shown when the step was read
};

// Why a menu took no choice from the items: the first that is not there
// (or not a leaf where it should be, or a submenu where it should not),
// with what the menu offered at that level.
std::string whyNoChoice(const platform::MenuEntry& menu, const std::vector<std::string>& items) {
  const platform::MenuEntry* level = &menu;
  for (size_t i = 0; i < items.size(); ++i) {
    const platform::MenuEntry* found = nullptr;
    for (const platform::MenuEntry& e : level->children)
      if (e.text == items[i] && e.enabled && e.visible && !e.divider) {
        found = &e;
        break;
      }
    const bool last = i + 1 == items.size();
    if (found && last == found->children.empty()) {
      level = found;
      continue;
    }
    std::string offered;
    for (const platform::MenuEntry& e : level->children) {
      if (e.divider || !e.visible) continue;
      offered += (offered.empty() ? "" : ", ") + ("\"" + e.text + "\"") + (e.enabled ? "" : " (disabled)") +
                 (e.children.empty() ? "" : " >");
    }
    const std::string what = "\"" + items[i] + "\"";
    if (!found) return "no item " + what + " in the menu; it had " + (offered.empty() ? "none" : offered);
    return what + (last ? " opens a submenu; name an item in it" : " is no submenu") + "; the menu had " + offered;
  }
  return "";
}

// The menu steps that met their menu since the last look: false with the
// reason for the first whose items chose nothing.
bool checkMenuSteps(Scene& scene, std::vector<MenuStep>& pending, size_t& looked, std::string& error) {
  const auto& shown = scene.server.shownMenus();
  for (; looked < shown.size() && !pending.empty(); ++looked) {
    if (looked < pending.front().shownBefore) continue;
    const MenuStep step = pending.front();
    pending.erase(pending.begin());
    if (shown[looked].chosen.empty()) {
      error = step.where + "menu: " + whyNoChoice(shown[looked].menu, step.items);
      return false;
    }
  }
  return true;
}

// A script is a few hundred lines at most; this is far beyond any.
constexpr size_t kMaxScriptBytes = 1u << 20;

// Whether a line is text a user wrote: no control characters but tabs,
// and UTF-8 throughout (a menu item may carry accents).
bool isText(const std::string& line) {
  for (size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7F) return false;
      ++i;
      continue;
    }
    const size_t more = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
    if (more == 0 || line.size() - i <= more) return false;
    for (size_t k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) return false;
    i += more + 1;
  }
  return true;
}

// The script's text, read as the program reads its other files: a regular
// file only (a FIFO or a device would be waited on or read for ever), of a
// bounded size, and text line by line.
bool readScript(const std::string& path, std::string& text, std::string& error) {
  if (!renderio::readSmallFile(path, kMaxScriptBytes, "a script", text, error)) {
    error = "--script: " + error;
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number)
    if (!isText(line)) {
      error = path + ":" + std::to_string(number) + ": not text; a script is lines of mouse steps";
      return false;
    }
  return true;
}

bool playScript(Scene& scene, const std::string& path, const std::string& script, std::string& error) {
  std::istringstream in(script);
  std::vector<MenuStep> pending;
  size_t looked = scene.server.shownMenus().size();
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    if (!checkMenuSteps(scene, pending, looked, error)) return false;
    ++number;
    line = trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    std::istringstream words(line);
    std::string step;
    words >> step;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (step == "menu") {
      std::vector<std::string> items;
      std::string rest;
      std::getline(words, rest);
      for (size_t start = 0;;) {
        const size_t end = rest.find('>', start);
        items.push_back(trim(rest.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos) break;
        start = end + 1;
      }
      if (items.empty() || items[0].empty()) {
        error = where + "menu needs an item";
        return false;
      }
      scene.server.chooseInNextMenu(items);
      pending.push_back({where, items, scene.server.shownMenus().size()});
      continue;
    }
    if (step == "wait") {
      int ms = -1;
      if (!(words >> ms) || ms < 0 || ms > 600000) {
        error = where + "wait needs milliseconds from 0 to 600000";
        return false;
      }
      scene.runMs(ms);
      continue;
    }
    int x = 0, y = 0;
    if (!(words >> x >> y)) {
      error = where + "\"" + line + "\" needs X and Y";
      return false;
    }
    const platform::ScreenPoint p = scene.at(x, y);
    if (step == "move" || step == "drag") {
      scene.server.move(p);
    } else if (step == "down") {
      scene.server.move(p);
      scene.server.press(p);
    } else if (step == "up") {
      scene.server.move(p);
      scene.server.release(p);
    } else if (step == "click") {
      scene.server.move(p);
      scene.server.press(p);
      scene.server.release(p);
    } else {
      error = where + "unknown step \"" + step + "\"";
      return false;
    }
    scene.runMs(20);
  }
  scene.runMs(20);
  if (!checkMenuSteps(scene, pending, looked, error)) return false;
  if (!pending.empty()) {
    error = pending.front().where + "menu: no menu opened after it to choose \"" + pending.front().items.back() +
            "\" in";
    return false;
  }
  return true;
}

} // namespace

bool parseSnapshotOptions(const std::vector<std::string>& args, SnapshotOptions& options, bool& help,
                          std::string& error) {
  help = false;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      help = true;
      return false;
    }
    const std::string name = arg.substr(0, arg.find('='));
    if (name != "--bundle" && name != "--preset" && name != "--set" && name != "--script" &&
        name != "--load-state") {
      error = "unknown option " + arg;
      return false;
    }
    std::string value;
    if (arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = arg + " needs a value";
      return false;
    }
    if (value.empty()) {
      error = name + " needs a value";
      return false;
    }
    if (name == "--bundle")
      options.bundle = value;
    else if (name == "--preset")
      options.preset = value;
    else if (name == "--set")
      options.settings.push_back(value);
    else if (name == "--load-state")
      options.loadState = value;
    else
      options.script = value;
  }
  if (positional.size() != 1) {
    error = positional.empty() ? "needs OUT.png" : "too many arguments: " + positional[1];
    return false;
  }
  if (positional[0].empty()) {
    error = "the name given for OUT.png is empty";
    return false;
  }
  options.output = positional[0];
  return true;
}

int snapshot(const SnapshotOptions& options, std::ostream& out, std::ostream& err) {
  const std::string bundlePath = options.bundle.empty() ? defaultBundlePath() : options.bundle;
  // Before any work: the picture must not replace a file the command reads
  // (a state, the script), and must have a place to go.
  CommandFiles files(bundlePath, options.loadState, "");
  files.reads("--script", options.script);
  files.writes("OUT.png", options.output);
  std::string error;
  if (!files.check(error)) return fail(err, error, 2);
  if (!platform::ReplacingFile::checkWritable(options.output, error)) return fail(err, error);
  std::string script;
  if (!options.script.empty() && !readScript(options.script, script, error)) return fail(err, error);
  // The state too is read before the bundle loads, so that one that is no
  // file, or no state, is refused at once.
  HostState loaded;
  if (!options.loadState.empty() && !loaded.read(options.loadState, error)) return fail(err, error);

  // Whether the bundle has an editor, and every picture of its skin, is
  // for the editor to say when it opens: it names what is missing.

  // Before the plug-in runs anywhere: without a home of its own it does
  // not run at all.
  PrivateHome home;
  if (!home.error().empty())
    return fail(err, home.error() + "; a snapshot runs the plug-in in a home of its own there, never in yours: " +
                         "set TMPDIR to a folder you may write in");

  // The private home below has a library of the factory presets alone: a
  // preset is looked up first in the user's own library, as render looks
  // it up, and its values are carried into the private home.
  HostState userPreset;
  if (!options.preset.empty()) {
    try {
      SimHost user;
      if (int32_t started = user.load(bundlePath); started != 0)
        return fail(err, HostError("the bundle " + bundlePath + " did not start", started, user.failureWords(started))
                             .what());
      std::string error;
      if (!PresetByName::load(user, 1, options.preset, userPreset, error)) return fail(err, error);
    } catch (const std::exception& e) {
      return fail(err, e.what());
    }
  }

  int status = 0;
  {
    if (!home.enter(error)) return fail(err, error);
    // A first run greets the user with a hint; a snapshot shows the panel,
    // so the plug-in has run once in this home before.
    try {
      SimHost first;
      if (int32_t started = first.load(bundlePath); started != 0)
        return fail(err, HostError("the bundle " + bundlePath + " did not start", started, first.failureWords(started))
                             .what());
    } catch (const std::exception& e) {
      return fail(err, e.what());
    }
    // The first run leaves the welcome on until an editor has shown it: a
    // script that waits for a hint would get the welcome instead.
    hideWelcomeHint();
    Scene scene;
    platform::WindowServer::setCurrent(&scene.server);
    try {
      SimHost host;
      if (int32_t started = host.load(bundlePath); started != 0)
        throw HostError("the bundle " + bundlePath + " did not start", started, host.failureWords(started));
      Instance& in = *host.createInstance(1);
      if (!loaded.empty() && !loaded.restore(host, in, error))
        status = fail(err, options.loadState + ": " + error);
      if (status == 0 && !options.preset.empty()) {
        // The same preset in the private library (a factory one the user
        // has not changed) is chosen as a program change chooses it, so that
        // it opens as chosen; else the user's values are restored.
        HostState preset;
        int32_t index = 0;
        std::string notHere;
        std::vector<int32_t> userValues;
        if (!userPreset.restore(host, in, error)) {
          status = fail(err, error);
        } else {
          userValues = controlValues(host, in);
          const bool chosen = PresetByName::load(host, in.typeIndex(), options.preset, preset, notHere, &index) &&
                              preset.restore(host, in, notHere) &&
                              PresetByName::choose(host, in, index, options.preset, notHere);
          if ((!chosen || controlValues(host, in) != userValues) && !userPreset.restore(host, in, error))
            status = fail(err, error);
        }
      }
      for (size_t i = 0; status == 0 && i < options.settings.size(); ++i) {
        ControlSetting setting;
        if (!parseControlSetting(options.settings[i], setting, error) || !applyControlSetting(host, in, setting, error))
          status = fail(err, error);
      }
      host.idle();
      if (status == 0) {
        // The host's road: the plug-in's view in a window, the window's port
        // handed over, the editor on the window's root control. Gestures go
        // to the host's automation, which echoes them to the plug-in.
        EditorWindow window(host, in, scene.server, {Scene::cX, Scene::cY});
        scene.window = window.window();
        scene.runMs(120);
        if (!options.script.empty() && !playScript(scene, options.script, script, error)) status = fail(err, error);
        host.idle();
        scene.runMs(120);
        window.update();
        if (status == 0 && !writePicture(scene.server, window.window(), options.output, error))
          status = fail(err, error);
      }
    } catch (const std::exception& e) {
      status = fail(err, e.what());
    } catch (...) {
      status = fail(err, "the editor could not be opened");
    }
    platform::WindowServer::setCurrent(nullptr);
  }
  if (status == 0) out << options.output << "\n";
  return status;
}

int runSnapshotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  SnapshotOptions options;
  bool help = false;
  std::string error;
  if (!parseSnapshotOptions(args, options, help, error)) {
    if (help) {
      out << kSnapshotHelp;
      return 0;
    }
    return fail(err, error, 2);
  }
  return snapshot(options, out, err);
}

} // namespace simhost
