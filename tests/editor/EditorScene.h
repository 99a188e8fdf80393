#pragma once

// A small plug-in and a concrete editor of it on the headless window
// server. The bundle's pictures are plain PNG files the scene writes; the
// host bridge logs every gesture as text; mouse, menus and dialogs are
// scripted through the server, and the opener records what it would open.

#include "editor/GenericDialog.h"
#include "editor/GenericPluginInterface.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/MacInterface.h"
#include "gui/SelectButton.h"
#include "gui/Text.h"
#include "gui/ValueEditor.h"
#include "hints/ZarnHints.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/Opener.h"
#include "platform/PngWriter.h"
#include "plugin/AbstractChannelEventReceiver.h"
#include "plugin/DefaultEventReceiver.h"
#include "plugin/FloatPluginParameter.h"
#include "plugin/IndexedPluginParameter.h"
#include "plugin/MidiVirtualPluginParameter.h"
#include "tests/support/TestBundle.h"

#include <cstdio>
#include <utility>
#include <memory>
#include <string>
#include <vector>

namespace editortest {

// 0 "Level" 0..1 (default at the top), 1 "Mode" 0..3 "A,B,C,D" (default
// 2), 2 "Cutoff" 20..20000 with a hint, 3 "Pan" -1..1; MIDI-only "Wheel".
struct TestPlugin : GenericPlugin {
  struct Wheel : MidiVirtualPluginParameter {
    using MidiVirtualPluginParameter::MidiVirtualPluginParameter;
    void receiveMessage(float) override {}
  };
  TestPlugin() : GenericPlugin(0) {
    level.setLimits(0.0f, 1.0f, 1.0f);
    mode.configure(0, 3, 2, "A,B,C,D");
    cutoff.setLimits(20.0f, 20000.0f, 1000.0f);
    cutoff.setHintText(cHintFilterCutOff);
    pan.setLimits(-1.0f, 1.0f, 0.0f);
    initialize("Editor Tester", 64);
  }
  ~TestPlugin() override { finalize(); }
  std::string getIdentifier() override { return "QEdt"; }
  int getType() override { return type; }
  int learnTarget() const {
    return static_cast<DefaultEventReceiver*>(getMusicEventReceiver())->getChannelEventReceiver()->getLearnTarget();
  }

  int type = 0;
  FloatPluginParameter level{this, "Level"};
  IndexedPluginParameter<int> mode{this, "Mode"};
  FloatPluginParameter cutoff{this, "Cutoff"};
  FloatPluginParameter pan{this, "Pan"};
  Wheel wheel{this, "Wheel"};
};

// Logs "start i", "change i v" (4 decimals), "end i".
struct RecordingBridge : GenericPluginInterface::InterfaceListener {
  void controlChange(int index, float value) override {
    char text[64];
    std::snprintf(text, sizeof text, "change %d %.4f", index, value);
    log.push_back(text);
  }
  void endControlChange(int index) override { log.push_back("end " + std::to_string(index)); }
  void processInterfaceAction(int) override {}
  void startControlChange(int index) override { log.push_back("start " + std::to_string(index)); }
  std::vector<std::string> take() { return std::exchange(log, {}); }
  std::vector<std::string> log;
};

// Knobs for Level at (20, 100) and Cutoff at (60, 60); in a container at
// (80, 224) a knob for Pan at (120, 250) and a select button for Mode; a
// caption, a value label and a hint display at (40, 40) over the Cutoff
// knob.
struct TestEditor : GenericPluginInterface {
  TestEditor(std::unique_ptr<gui::UserInterface> userInterface, TestPlugin* p, InterfaceListener* listener,
             const std::string& background)
      : GenericPluginInterface(std::move(userInterface), p, listener, background, 1.0f) {
    knobStyle = new gui::Knob::Style(ui.get());
    knobStyle->loadFromResource("Knob.png", "Pointer.png", "Knob.png", "Pointer.png", "Pointer.png", "Pointer.png");
    auto* buttonStyle = new gui::Button::Style(ui.get());
    buttonStyle->loadFromResource("Button.png", "Button.png", "Button.png", "", "");
    levelKnob = createKnob(20, 100, knobStyle);
    setControl(p->level, levelKnob);
    cutoffKnob = createKnob(60, 60, knobStyle);
    setControl(p->cutoff, cutoffKnob);
    setActiveContainer(createContainer(80, 224, 200, 60));
    panKnob = createKnob(120, 250, knobStyle);
    setControl(p->pan, panKnob);
    modeButton = createSelectButton(200, 230, buttonStyle, p->mode);
    setControl(p->mode, modeButton);
    setActiveContainer(nullptr);
    createLabel(300, 20)->getText()->text = "Editor";
    valueLabel = createLabel(0, 0);
    valueLabel->visible = false;
    hintDisplay = createImageLabel(40, 40, "Hint.png");
    hintDisplay->visible = false;
    initialize();
  }
  gui::ImageLabel* getHintDisplay() override { return hintDisplay; }
  gui::Label* getValueLabel() override { return valueLabel; }
  void showAboutDialog() override {
    auto* style = new GenericDialog::Style(ui.get());
    style->backgroundImage = aboutImage;
    style->offset = gui::Point(10, 20);
    about = new AboutDialog(this, style);
  }

  gui::Knob::Style* knobStyle;
  gui::Knob *levelKnob, *cutoffKnob, *panKnob;
  gui::SelectButton* modeButton;
  gui::Label* valueLabel;
  gui::ImageLabel* hintDisplay;
  gui::Dialog* about = nullptr;
  std::string aboutImage = "About.png";
};

// A PNG of one colour; with a disc only the disc is opaque.
inline std::string picture(int width, int height, uint8_t grey, bool disc = false) {
  std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4, grey);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int dx = 2 * x + 1 - width, dy = 2 * y + 1 - height;
      rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + 3] = !disc || dx * dx + dy * dy <= width * width ? 255 : 0;
    }
  const std::vector<unsigned char> png = encodePng(width, height, rgba.data(), true);
  return std::string(png.begin(), png.end());
}

// The window (400 x 300) holds the editor at its top left.
struct EditorScene {
  static constexpr int cX = 100, cY = 50;

  EditorScene() {
    bundle.writeResource("Background.png", picture(400, 300, 90));
    bundle.writeResource("Knob.png", picture(32, 32, 40, true));
    bundle.writeResource("Pointer.png", picture(32, 32, 250, true));
    bundle.writeResource("Button.png", picture(48, 20, 160));
    bundle.writeResource("Hint.png", picture(160, 90, 220));
    bundle.writeResource("About.png", picture(200, 180, 200));
    platform::useVirtualClock(true);
    platform::WindowServer::setCurrent(&server);
    platform::setUrlLauncher([this](const std::string& url) { return opened.push_back(url), true; });
    window = server.createWindow({cX, cY, cX + 400, cY + 300}, true, "editor");
    plugin = std::make_unique<TestPlugin>();
    // Earlier tests' preferences may hold either.
    GenericPlugin::sSettings->showWelcomeHint = false;
    GenericPlugin::sSettings->showInteractiveHelp = true;
  }
  ~EditorScene() {
    delete editor;
    plugin.reset();
    platform::setUrlLauncher(nullptr);
    platform::WindowServer::setCurrent(nullptr);
    platform::useVirtualClock(false);
  }

  TestEditor* open(bool withBridge = true, const std::string& background = "Background.png") {
    auto owned = std::make_unique<gui::MacInterface>(window, 0, gui::Rect(0, 0, 400, 300));
    ui = owned.get();
    editor = new TestEditor(std::move(owned), plugin.get(), withBridge ? &bridge : nullptr, background);
    return editor;
  }
  void close() { delete std::exchange(editor, nullptr); }
  platform::ScreenPoint at(int x, int y) const { return {cX + x, cY + y}; }
  void click(int x, int y) {
    server.move(at(x, y));
    server.press(at(x, y));
    server.release(at(x, y));
    runMs(60);
  }
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
  // Pops the menu up, choosing the entries with these texts, and returns
  // its entries as shown: "-" for dividers, "[x] " before checked and
  // "(off) " before disabled ones.
  // With a path, the sub-menu it leads to.
  std::vector<std::string> popup(gui::PopupMenu* menu, std::vector<std::string> choose = {},
                                 std::vector<size_t> path = {}) {
    if (!choose.empty()) server.chooseInNextMenu(choose);
    menu->popup(gui::Rect(0, 0, 10, 10));
    const platform::MenuEntry* m = &server.shownMenus().back().menu;
    for (size_t i : path) m = &m->children.at(i);
    std::vector<std::string> shown;
    for (const platform::MenuEntry& e : m->children)
      shown.push_back(e.divider ? "-" : (e.checked ? "[x] " : "") + std::string(e.enabled ? "" : "(off) ") + e.text);
    return shown;
  }

  zarn::test::TestBundle bundle{"com.example.editor-test"};
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window = 0;
  std::unique_ptr<TestPlugin> plugin;
  RecordingBridge bridge;
  gui::MacInterface* ui = nullptr;
  TestEditor* editor = nullptr;
  std::vector<std::string> opened; // what the opener was given
};

} // namespace editortest
