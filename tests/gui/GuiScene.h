#pragma once

// A toolkit surface on the headless window server, for tests: a window at a
// non-zero place on the screen, a host view inside it and the root control
// at an offset inside that, on the virtual clock. Probe controls paint a
// solid colour and log what the tree delivers to them.

#include "gui/Control.h"
#include "gui/MacControl.h"
#include "gui/MacInterface.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"

#include <functional>
#include <string>
#include <vector>

namespace zarn::test {

class Probe : public gui::Control {
public:
  Probe(gui::UserInterface* ui, std::vector<std::string>* log, const std::string& name, gui::Control* parentControl,
        gui::Rect r, gui::Color colour = gui::Color(0, 0, 255, 255))
      : gui::Control(ui), colour(colour), log(log), name(name) {
    bounds = r;
    parent = parentControl;
    onClick = NotifyEvent::bind(this, &Probe::clicked);
  }

  int opacityAt = 255;
  int paints = 0;
  gui::Color colour;
  // Runs inside paint, after the fill.
  std::function<void()> onPaint;
  std::function<void()> onDown;

protected:
  int getOpacityAt(const gui::Point&) override { return opacityAt; }
  void mouseDown(gui::MouseButton, const gui::Point& p, gui::ShiftState s) override {
    note("down", p, s);
    if (onDown) onDown();
  }
  void mouseUp(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    note("up", p, s);
    gui::Control::mouseUp(b, p, s);
  }
  void mouseMove(const gui::Point& p, gui::ShiftState s) override { note("move", p, s); }
  void mouseEnter() override { log->push_back(name + " enter"); }
  void mouseLeave() override { log->push_back(name + " leave"); }
  void paint(const gui::Canvas& c) override {
    ++paints;
    c.fillRect(clientRect, colour);
    if (onPaint) onPaint();
  }

private:
  void note(const char* what, const gui::Point& p, gui::ShiftState s) {
    log->push_back(name + " " + what + " " + std::to_string(p.x) + "," + std::to_string(p.y) +
                   (s ? " s" + std::to_string(s) : "") + (mouseCaptured ? " captured" : ""));
  }
  void clicked(void*) { log->push_back(name + " click"); }

  std::vector<std::string>* log;
  std::string name;
};

struct GuiScene {
  static constexpr int cWindowX = 200, cWindowY = 100, cHostX = 7, cHostY = 9, cRootX = 13, cRootY = 21;

  explicit GuiScene(bool compositing = true) {
    platform::useVirtualClock(true);
    platform::WindowServer::setCurrent(&server);
    window = server.createWindow({cWindowX, cWindowY, cWindowX + 400, cWindowY + 300}, compositing, "scene");
    hostView = server.createView(window, 0, {cHostX, cHostY, 380, 280}, nullptr);
    ui = new gui::MacInterface(window, hostView, gui::Rect(gui::Point(cRootX, cRootY), 300, 200));
    root = ui->getRoot();
  }
  ~GuiScene() {
    delete ui;
    platform::WindowServer::setCurrent(nullptr);
    platform::useVirtualClock(false);
  }

  // A point in root coordinates on the screen.
  platform::ScreenPoint at(int x, int y) const {
    return {cWindowX + cHostX + cRootX + x, cWindowY + cHostY + cRootY + y};
  }
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
  // The colour on the screen at a root point.
  uint32_t screen(int x, int y) {
    uint8_t rgb[3];
    server.pixel(window, cHostX + cRootX + x, cHostY + cRootY + y, rgb);
    return uint32_t(rgb[0]) << 16 | rgb[1] << 8 | rgb[2];
  }

  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window;
  platform::ViewId hostView;
  gui::MacInterface* ui;
  gui::MacControl* root;
  std::vector<std::string> log;
};

} // namespace zarn::test
