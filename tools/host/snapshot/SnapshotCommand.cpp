#include "tools/host/snapshot/SnapshotCommand.h"

#include "base/PlatformUtils.h"
#include "editor/ZarnInterface.h"
#include "gui/MacInterface.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "plugin/AbstractPluginParameter.h"
#include "synth/ZarnPlugin.h"
#include "tools/host/RenderCommand.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
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
    "  --script FILE        mouse steps: move|down|drag|up|click X Y, wait MS, menu ITEM [> ITEM]...\n"
    "  --help               this text\n"
    "The preset is taken first, then each --set.\n";

int fail(std::ostream& err, const std::string& reason, int status = 1) {
  err << "zarn-host snapshot: " << reason << "\n";
  return status;
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// The leading number of a value text ("2.50 Hz" gives 2.5); false when the
// text does not start with one.
bool leadingNumber(const std::string& text, double& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  value = std::strtod(begin, &end);
  return end != begin && std::isfinite(value);
}

// Plays the editor's gestures back into the plug-in, as the host would.
class EchoBridge : public GenericPluginInterface::InterfaceListener {
public:
  explicit EchoBridge(GenericPlugin* plugin) : plugin(plugin) {}
  void controlChange(int index, float value) override {
    if (AbstractPluginParameter* p = plugin->getParameter(index)) p->setValue(value, 1);
  }
  void processInterfaceAction(int) override {}

private:
  GenericPlugin* plugin;
};

AbstractPluginParameter* findParameter(GenericPlugin& plugin, const std::string& name) {
  for (int i = 0; i < plugin.getNumParameters(); ++i)
    if (plugin.getParameter(i)->getName() == name) return plugin.getParameter(i);
  for (int i = 0; i < plugin.getNumParameters(); ++i)
    if (lower(plugin.getParameter(i)->getName()) == lower(name)) return plugin.getParameter(i);
  return nullptr;
}

// "NAME=VALUE": the value is one of the parameter's value texts (any case),
// else a number in the units the parameter shows, found by bisection over
// its natural range (the shown value grows or falls with the natural one).
bool applySetting(GenericPlugin& plugin, const std::string& setting, std::string& error) {
  const size_t eq = setting.rfind('=');
  const std::string name = trim(setting.substr(0, eq)), value = eq == std::string::npos ? "" : trim(setting.substr(eq + 1));
  if (name.empty() || value.empty()) {
    error = "--set \"" + setting + "\" is not NAME=VALUE";
    return false;
  }
  AbstractPluginParameter* p = findParameter(plugin, name);
  if (!p) {
    error = "no parameter is named \"" + name + "\"";
    return false;
  }
  const float lo = p->getMin(), hi = p->getMax();
  if (hi - lo >= 1.0f && hi - lo <= 256.0f && std::floor(lo) == lo && std::floor(hi) == hi)
    for (float v = lo; v <= hi; v += 1.0f)
      if (lower(trim(p->convertValueToString(v))) == lower(value)) {
        p->setValue(v, 1);
        return true;
      }
  double wanted = 0, shownLo = 0, shownHi = 0;
  if (!leadingNumber(value, wanted) || !leadingNumber(p->convertValueToString(lo), shownLo) ||
      !leadingNumber(p->convertValueToString(hi), shownHi)) {
    error = "\"" + value + "\" is not a value of " + p->getName();
    return false;
  }
  if (wanted < std::min(shownLo, shownHi) || wanted > std::max(shownLo, shownHi)) {
    error = value + " lies outside " + p->getName() + "'s range " + p->convertValueToString(lo) + " to " +
            p->convertValueToString(hi);
    return false;
  }
  float a = lo, b = hi;
  for (int i = 0; i < 40; ++i) {
    const float m = (a + b) / 2;
    double shown = 0;
    leadingNumber(p->convertValueToString(m), shown);
    if ((shown < wanted) == (shownHi > shownLo))
      a = m;
    else
      b = m;
  }
  p->setValue((a + b) / 2, 1);
  return true;
}

// The plug-in keeps preferences and installs its presets below the user's
// folders on its first run. A snapshot runs it in a fresh home of its own,
// so the picture never depends on (nor changes) the user's settings.
class PrivateHome {
public:
  PrivateHome() {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    for (int i = 0; i < 100 && folder.empty(); ++i) {
      const std::filesystem::path p = base / ("zarn-snapshot-" + std::to_string(::getpid()) + "-" + std::to_string(i));
      if (std::filesystem::create_directory(p, ec)) folder = p;
    }
    if (folder.empty()) return;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"}) {
      const char* old = std::getenv(name);
      saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::filesystem::create_directories(folder / ".config", ec);
    std::filesystem::create_directories(folder / ".local" / "share", ec);
    std::filesystem::create_directories(folder / ".cache", ec);
    std::filesystem::create_directories(folder / "Documents", ec);
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder / ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / ".local" / "share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (folder / ".cache").c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (folder / "Documents").c_str(), 1);
  }
  ~PrivateHome() {
    for (const auto& [name, value] : saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
  PrivateHome(const PrivateHome&) = delete;
  PrivateHome& operator=(const PrivateHome&) = delete;

private:
  std::filesystem::path folder;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

struct Scene {
  static constexpr int cX = 40, cY = 40;
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window = 0;
  platform::ScreenPoint at(int x, int y) const { return {cX + x, cY + y}; }
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
};

bool playScript(Scene& scene, const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the script " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
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
    if (name != "--bundle" && name != "--preset" && name != "--set" && name != "--script") {
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
    else
      options.script = value;
  }
  if (positional.size() != 1) {
    error = positional.empty() ? "needs OUT.png" : "too many arguments: " + positional[1];
    return false;
  }
  options.output = positional[0];
  return true;
}

int snapshot(const SnapshotOptions& options, std::ostream& out, std::ostream& err) {
  const std::string bundlePath = options.bundle.empty() ? defaultBundlePath() : options.bundle;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(bundlePath) / "Resources" / "Background.png", ec))
    return fail(err, "no plug-in bundle with an editor skin at " + bundlePath);
  platform::Bundle* bundle = platform::Bundle::open(bundlePath);
  if (!bundle) return fail(err, "cannot open the bundle " + bundlePath);
  const BundleRef previousModule = getModuleInstance();
  registerModuleInstance(bundle);

  int status = 0;
  {
    PrivateHome home;
    Scene scene;
    platform::useVirtualClock(true);
    platform::WindowServer::setCurrent(&scene.server);
    try {
      std::unique_ptr<GenericPlugin> plugin(createPluginInstance());
      // A first run greets the user with a hint; a snapshot shows the panel.
      if (GenericPlugin::sSettings) GenericPlugin::sSettings->showWelcomeHint = false;
      std::string error;
      if (!options.preset.empty() && !plugin->loadPresetWithName(options.preset))
        status = fail(err, "the plug-in has no preset named \"" + options.preset + "\"");
      for (size_t i = 0; status == 0 && i < options.settings.size(); ++i)
        if (!applySetting(*plugin, options.settings[i], error)) status = fail(err, error);
      if (status == 0) {
        EchoBridge bridge(plugin.get());
        const int w = plugin->getInterfaceWidth(), h = plugin->getInterfaceHeight();
        scene.window = scene.server.createWindow({Scene::cX, Scene::cY, Scene::cX + w, Scene::cY + h}, true, "Zarn");
        auto* ui = new gui::MacInterface(scene.window, 0, gui::Rect(w, h));
        GenericPluginInterface* editor = nullptr;
        try {
          editor = createPluginInterfaceInstance(ui, plugin.get(), &bridge);
        } catch (...) {
          delete ui;
          throw;
        }
        scene.runMs(120);
        if (!options.script.empty() && !playScript(scene, options.script, error)) status = fail(err, error);
        scene.runMs(120);
        if (status == 0 && !scene.server.writeSnapshot(scene.window, options.output))
          status = fail(err, "cannot write " + options.output);
        delete editor;
        scene.server.destroyWindow(scene.window);
      }
    } catch (const std::exception& e) {
      status = fail(err, std::string("the editor could not be opened: ") + e.what());
    } catch (...) {
      status = fail(err, "the editor could not be opened");
    }
    platform::WindowServer::setCurrent(nullptr);
    platform::useVirtualClock(false);
  }
  registerModuleInstance(previousModule);
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
