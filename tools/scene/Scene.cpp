#include "tools/scene/Scene.h"

#include "gui/Control.h"
#include "gui/FileDialogs.h"
#include "gui/MacControl.h"
#include "gui/MacInterface.h"
#include "gui/Menu.h"
#include "gui/Text.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"

#include <algorithm>
#include <istream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace scene {

namespace {

constexpr int cWindowX = 120, cWindowY = 80, cViewX = 10, cViewY = 30;

class Timeline {
public:
  explicit Timeline(int64_t start) : start(start) {}
  void add(const std::string& what) {
    const int64_t ms = (platform::microseconds() - start) / 1000;
    lines.push_back(std::to_string(ms) + " " + what);
  }
  std::vector<std::string> lines;

private:
  int64_t start;
};

// A control that reports what the tree does to it.
class Part : public gui::Control {
public:
  Part(gui::UserInterface* ui, Timeline& t, const std::string& name, gui::Control* parentControl, gui::Rect r,
       gui::Color face)
      : gui::Control(ui), timeline(t), name(name), face(face), label(ui->createText()) {
    bounds = r;
    parent = parentControl;
    label->text = name;
    label->size = 10;
    label->color = gui::Color(220, 216, 208, 255);
  }

protected:
  void mouseEnter() override { timeline.add(name + " enter"); }
  void mouseLeave() override { timeline.add(name + " leave"); }
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    timeline.add(name + " down " + std::to_string(p.x) + "," + std::to_string(p.y) +
                 (s ? " shift-state " + std::to_string(s) : ""));
    gui::Control::mouseDown(b, p, s);
  }
  void mouseUp(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    timeline.add(name + " up " + std::to_string(p.x) + "," + std::to_string(p.y));
    gui::Control::mouseUp(b, p, s);
  }
  void click() override {
    timeline.add(name + " click");
    gui::Control::click();
  }
  void paint(const gui::Canvas& c) override {
    c.fillRect(clientRect, face);
    c.fillRect(gui::Rect(0, 0, clientRect.width(), 1), gui::Color(255, 255, 255, 60));
    c.drawText(label.get(), gui::Point((clientRect.width() - label->getWidth()) / 2, 3), 255);
  }

  Timeline& timeline;
  std::string name;
  gui::Color face;
  std::unique_ptr<gui::Text> label;
};

// Follows vertical drags: one step per pixel, 0 to 100.
class Knob : public Part {
public:
  using Part::Part;

protected:
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    Part::mouseDown(b, p, s);
    grabY = p.y;
    grabValue = value;
  }
  void mouseMove(const gui::Point& p, gui::ShiftState) override {
    if (!mouseCaptured) return;
    const int v = std::clamp(grabValue + grabY - p.y, 0, 100);
    if (v == value) return;
    value = v;
    timeline.add(name + " value " + std::to_string(value));
    invalidate();
  }
  void paint(const gui::Canvas& c) override {
    Part::paint(c);
    const int h = clientRect.height() * value / 100;
    c.fillRect(gui::Rect(4, clientRect.height() - h, clientRect.width() - 4, clientRect.height()),
               gui::Color(230, 160, 60, 255));
  }

private:
  int value = 50;
  int grabY = 0;
  int grabValue = 0;
};

class Surface {
public:
  Surface(Timeline& t) : timeline(t) {
    platform::WindowServer::setCurrent(&server);
    window = server.createWindow({cWindowX, cWindowY, cWindowX + 260, cWindowY + 190}, true, "scene");
    ui = std::make_unique<gui::MacInterface>(window, 0, gui::Rect(gui::Point(cViewX, cViewY), 240, 150));
    hints.timeline = &t;
    ui->registerListener(&hints);
    auto* panel = new Part(ui.get(), t, "panel", ui->getWindow(), gui::Rect(8, 8, 232, 142), gui::Color(48, 44, 42, 255));
    panel->hint = "Oscillator section";
    auto* knob = new Knob(ui.get(), t, "knob", panel, gui::Rect(16, 16, 64, 96), gui::Color(70, 66, 62, 255));
    knob->hint = "Cutoff frequency";
    preset = new Part(ui.get(), t, "preset", panel, gui::Rect(96, 16, 208, 40), gui::Color(60, 90, 96, 255));
    preset->hint = "Choose a preset";
    preset->onClick = NotifyEvent::bind(this, &Surface::presetClicked);
    auto* save = new Part(ui.get(), t, "save", panel, gui::Rect(96, 56, 208, 80), gui::Color(60, 96, 70, 255));
    save->hint = "Save the preset";
    save->onClick = NotifyEvent::bind(this, &Surface::saveClicked);
    menu.reset(ui->createPopupMenu());
    menu->add(new gui::MenuItem("Init", NotifyEvent::bind(this, &Surface::chosen)));
    menu->addDivider();
    auto* bank = new gui::MenuItem("Bank");
    for (const char* n : {"Bass", "Lead", "Pad"}) bank->add(new gui::MenuItem(n, NotifyEvent::bind(this, &Surface::chosen)));
    menu->add(bank);
  }
  ~Surface() {
    ui.reset();
    platform::WindowServer::setCurrent(nullptr);
  }

  platform::ScreenPoint at(int x, int y) const { return {cWindowX + cViewX + x, cWindowY + cViewY + y}; }

  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window;

private:
  struct Hints : gui::UserInterface::Listener {
    Timeline* timeline = nullptr;
    void receiveEvent(int, int) override {}
    void showHint(const std::string& text) override { timeline->add(text.empty() ? "hint hidden" : "hint \"" + text + "\""); }
  };

  void presetClicked(void*) {
    timeline.add("menu shown");
    preset->popup(menu.get());
    const auto& shown = server.shownMenus().back();
    if (shown.chosen.empty()) timeline.add("menu cancelled");
  }
  void chosen(void* sender) { timeline.add("menu chose \"" + static_cast<gui::MenuItem*>(sender)->text.get() + "\""); }
  void saveClicked(void*) {
    std::unique_ptr<gui::SaveDialog> d(ui->createSaveDialog());
    d->extension = "qvp";
    if (d->execute())
      timeline.add("saved as " + d->fileName.get());
    else
      timeline.add("save cancelled");
  }

  Timeline& timeline;
  Hints hints;
  std::unique_ptr<gui::MacInterface> ui;
  std::unique_ptr<gui::PopupMenu> menu;
  Part* preset;
};

uint32_t modifiersFrom(std::istringstream& in, int& clicks) {
  uint32_t m = 0;
  std::string word;
  while (in >> word) {
    if (word == "shift") m |= platform::kShiftKey;
    else if (word == "option") m |= platform::kOptionKey;
    else if (word == "command") m |= platform::kCommandKey;
    else if (word == "control") m |= platform::kControlKey;
    else if (word == "double") clicks = 2;
    else throw std::runtime_error("unknown modifier " + word);
  }
  return m;
}

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream in(path);
  std::string part;
  while (std::getline(in, part, '/')) parts.push_back(part);
  return parts;
}

} // namespace

std::vector<std::string> runScene(std::istream& script) {
  const bool wasVirtual = platform::isVirtualClock();
  if (!wasVirtual) platform::useVirtualClock(true);
  Timeline timeline(platform::microseconds());
  {
    Surface s(timeline);
    std::string line;
    int number = 0;
    while (std::getline(script, line)) {
      ++number;
      if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
      std::istringstream in(line);
      std::string command;
      if (!(in >> command)) continue;
      try {
        if (command == "move" || command == "drag" || command == "down" || command == "up") {
          int x, y;
          if (!(in >> x >> y)) throw std::runtime_error("needs X Y");
          int clicks = 1;
          const uint32_t mods = modifiersFrom(in, clicks);
          if (command == "down")
            s.server.press(s.at(x, y), mods, clicks);
          else if (command == "up")
            s.server.release(s.at(x, y), mods);
          else
            s.server.move(s.at(x, y), mods);
        } else if (command == "wait") {
          int ms;
          if (!(in >> ms) || ms < 0) throw std::runtime_error("needs milliseconds");
          s.loop.runFor(int64_t(ms) * 1000);
        } else if (command == "menu") {
          std::string path;
          std::getline(in >> std::ws, path);
          s.server.chooseInNextMenu(path.empty() ? std::vector<std::string>{} : splitPath(path));
        } else if (command == "save") {
          std::string name;
          std::getline(in >> std::ws, name);
          s.server.answerNextSave(name.empty() ? std::nullopt : std::optional<std::string>(name));
        } else if (command == "folder") {
          std::string path;
          std::getline(in >> std::ws, path);
          s.server.answerNextFolder(path.empty() ? std::nullopt : std::optional<std::string>(path));
        } else if (command == "snapshot") {
          std::string file;
          if (!(in >> file)) throw std::runtime_error("needs a file");
          s.loop.runDue();
          if (std::string error; !s.server.writeSnapshot(s.window, file, &error)) throw std::runtime_error(error);
          timeline.add("snapshot " + file);
        } else {
          throw std::runtime_error("unknown command " + command);
        }
      } catch (const std::exception& e) {
        timeline.lines.push_back("error: line " + std::to_string(number) + ": " + e.what());
        break;
      }
    }
  }
  if (!wasVirtual) platform::useVirtualClock(false);
  return timeline.lines;
}

} // namespace scene
