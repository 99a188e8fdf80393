#pragma once

// The synthesizer's editor with the skin the build drew, in a window of the
// headless window server; a bridge that logs what the editor asks of the
// host and sends the changes straight back to the plug-in.

#include "editor/zarn/ZarnInterface.h"
#include "gui/MacInterface.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "synth/ZarnPlugin.h"
#include "tests/support/TestBundle.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zarntest {

using gui::Point;
using gui::Rect;

// The skin the build drew, copied into a bundle of the test's own.
struct ZarnScene {
  static constexpr int cX = 30, cY = 20;

  explicit ZarnScene(const std::string& id) : bundle(id) {
    for (const auto& entry : std::filesystem::directory_iterator(ZARN_SKIN_DIR))
      if (entry.path().extension() == ".png") {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        bundle.writeResource(entry.path().filename().string(), bytes.str());
      }
    platform::useVirtualClock(true);
    platform::WindowServer::setCurrent(&server);
    window = server.createWindow({cX, cY, cX + 640, cY + 522}, true, "zarn");
    plugin = std::make_unique<ZarnPlugin>();
    GenericPlugin::sSettings->showWelcomeHint = false;
  }
  ~ZarnScene() {
    close();
    plugin.reset();
    platform::WindowServer::setCurrent(nullptr);
    platform::useVirtualClock(false);
  }
  // A file of the built bundle's resources, copied into the test's bundle.
  void copyResource(const std::string& name) {
    std::ifstream in(std::filesystem::path(ZARN_SKIN_DIR) / name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    bundle.writeResource(name, bytes.str());
  }
  ZarnInterface* open() {
    editor = static_cast<ZarnInterface*>(createPluginInterfaceInstance(
        std::make_unique<gui::MacInterface>(window, 0, Rect(0, 0, 640, 522)), plugin.get(), &bridge));
    runMs(60);
    return editor;
  }
  void close() { delete std::exchange(editor, nullptr); }
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
  platform::ScreenPoint at(Point p) const { return {cX + p.x, cY + p.y}; }
  void drag(Point from, std::initializer_list<Point> path) {
    server.move(at(from));
    server.press(at(from));
    for (Point p : path) {
      server.move(at(p));
      runMs(20);
    }
  }
  ModulationMatrix::Controller* matrix() { return plugin->getModMatrixController(); }
  // Connections arrive as parameter events.
  void connect(int slot, int source, int target) {
    matrix()->makeConnection(slot, source, target);
    runMs(60);
  }
  std::array<uint8_t, 3> pixel(int x, int y) {
    std::array<uint8_t, 3> rgb{};
    server.pixel(window, x, y, rgb.data());
    return rgb;
  }

  // Sends what the editor asks for straight back to the plug-in.
  struct Echo : GenericPluginInterface::InterfaceListener {
    ZarnScene* scene;
    explicit Echo(ZarnScene* s) : scene(s) {}
    void controlChange(int index, float value) override {
      log.push_back("change " + std::to_string(index));
      scene->plugin->getParameter(index)->setValue(value, 1);
    }
    void startControlChange(int index) override { log.push_back("start " + std::to_string(index)); }
    void endControlChange(int index) override { log.push_back("end " + std::to_string(index)); }
    void processInterfaceAction(int action) override { log.push_back("action " + std::to_string(action)); }
    std::vector<std::string> take() { return std::exchange(log, {}); }
    std::vector<std::string> log;
  };

  zarn::test::TestBundle bundle;
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window = 0;
  std::unique_ptr<ZarnPlugin> plugin;
  Echo bridge{this};
  ZarnInterface* editor = nullptr;
};

} // namespace zarntest
