#include "tests/editor/EditorScene.h"

#include "gui/Knob.h"
#include "gui/Text.h"
#include "hints/ZarnHints.h"
#include "plugin/AbstractChannelEventReceiver.h"
#include "plugin/DefaultEventReceiver.h"
#include "platform/PngWriter.h"

#include <cstdio>
#include <vector>

namespace editortest {

namespace {

// A picture of one colour; with a disc, only the disc is opaque.
std::string picture(int width, int height, uint8_t r, uint8_t g, uint8_t b, bool disc = false) {
  std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
      const int dx = 2 * x + 1 - width, dy = 2 * y + 1 - height;
      const bool inside = !disc || dx * dx + dy * dy <= width * width;
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = inside ? 255 : 0;
    }
  const std::vector<unsigned char> png = encodePng(width, height, rgba.data(), true);
  return std::string(png.begin(), png.end());
}

} // namespace

TestPlugin::TestPlugin(int type) : GenericPlugin(0), type(type) {
  level.setLimits(0.0f, 1.0f, 1.0f);
  mode.configure(0, 3, 2, "A,B,C,D");
  cutoff.setLimits(20.0f, 20000.0f, 1000.0f);
  cutoff.setHintText(cHintFilterCutOff);
  pan.setLimits(-1.0f, 1.0f, 0.0f);
  initialize("Editor Tester", 64);
}

int TestPlugin::learnTarget() const {
  auto* music = static_cast<DefaultEventReceiver*>(getMusicEventReceiver());
  return music->getChannelEventReceiver()->getLearnTarget();
}

void RecordingBridge::controlChange(int index, float value) {
  char text[64];
  std::snprintf(text, sizeof text, "change %d %.4f", index, value);
  log.push_back(text);
}

std::vector<std::string> RecordingBridge::take() {
  std::vector<std::string> taken;
  taken.swap(log);
  return taken;
}

TestEditor::TestEditor(gui::UserInterface* ui, TestPlugin* plugin, InterfaceListener* listener,
                       const std::string& background)
    : GenericPluginInterface(ui, plugin, listener, background, 1.0f) {
  knobStyle = new gui::Knob::Style(ui);
  knobStyle->loadFromResource("Knob.png", "Pointer.png", "Knob.png", "Pointer.png", "Pointer.png", "Pointer.png");
  buttonStyle = new gui::Button::Style(ui);
  buttonStyle->loadFromResource("Button.png", "Button.png", "Button.png", "", "");

  levelKnob = createKnob(20, 100, knobStyle);
  setControl(plugin->level, levelKnob);
  cutoffKnob = createKnob(60, 60, knobStyle);
  setControl(plugin->cutoff, cutoffKnob);

  container = createContainer(80, 224, 200, 60);
  setActiveContainer(container);
  panKnob = createKnob(120, 250, knobStyle);
  setControl(plugin->pan, panKnob);
  modeButton = createSelectButton(200, 230, buttonStyle, plugin->mode);
  setControl(plugin->mode, modeButton);
  setActiveContainer(nullptr);

  caption = createLabel(300, 20);
  caption->getText()->text = "Editor";
  valueLabel = createLabel(0, 0);
  valueLabel->visible = false;
  hintDisplay = createImageLabel(40, 40, "Hint.png");
  hintDisplay->visible = false;
  initialize();
}

void TestEditor::showAboutDialog() {
  auto* style = new GenericDialog::Style(ui);
  style->backgroundImage = "About.png";
  style->offset = gui::Point(10, 20);
  about = new AboutDialog(this, style);
}

EditorScene::EditorScene() {
  bundle.writeResource("Background.png", picture(cWidth, cHeight, 90, 90, 90));
  bundle.writeResource("Knob.png", picture(32, 32, 20, 20, 200, true));
  bundle.writeResource("Pointer.png", picture(32, 32, 250, 250, 250, true));
  bundle.writeResource("Button.png", picture(48, 20, 30, 160, 30));
  bundle.writeResource("Hint.png", picture(160, 90, 240, 220, 120));
  bundle.writeResource("About.png", picture(200, 180, 200, 200, 220));
  platform::useVirtualClock(true);
  platform::WindowServer::setCurrent(&server);
  platform::setUrlLauncher([this](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  window = server.createWindow({cWindowX, cWindowY, cWindowX + cWidth, cWindowY + cHeight}, true, "editor");
  plugin = std::make_unique<TestPlugin>();
  // The preferences of an earlier test may hold either; tests that want the
  // welcome set it.
  GenericPlugin::sSettings->showWelcomeHint = false;
  GenericPlugin::sSettings->showInteractiveHelp = true;
}

EditorScene::~EditorScene() {
  close();
  plugin.reset();
  platform::setUrlLauncher(nullptr);
  platform::WindowServer::setCurrent(nullptr);
  platform::useVirtualClock(false);
}

TestEditor* EditorScene::open(bool withBridge) {
  ui = new gui::MacInterface(window, 0, gui::Rect(0, 0, cWidth, cHeight));
  editor = new TestEditor(ui, plugin.get(), withBridge ? &bridge : nullptr);
  return editor;
}

void EditorScene::close() {
  delete editor;
  editor = nullptr;
  ui = nullptr;
}

void EditorScene::click(int x, int y) {
  server.move(at(x, y));
  server.press(at(x, y));
  server.release(at(x, y));
  runMs(60);
}

platform::MenuEntry EditorScene::popup(gui::PopupMenu* menu, std::vector<std::string> choose) {
  if (!choose.empty()) server.chooseInNextMenu(choose);
  menu->popup(gui::Rect(0, 0, 10, 10));
  return server.shownMenus().back().menu;
}

std::vector<std::string> texts(const platform::MenuEntry& menu) {
  std::vector<std::string> result;
  for (const platform::MenuEntry& e : menu.children)
    result.push_back(e.divider ? "-" : (e.checked ? "[x] " : "") + std::string(e.enabled ? "" : "(off) ") + e.text);
  return result;
}

} // namespace editortest
