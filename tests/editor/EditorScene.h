#pragma once

// A small plug-in and its editor on the headless window server, for the
// editor base's tests. The bundle's pictures are made by the test (plain
// PNG files written into a temporary bundle), the host bridge is a listener
// that logs every gesture as text, and the mouse, menus and dialogs are
// scripted through the server.

#include "editor/GenericDialog.h"
#include "editor/GenericPluginInterface.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/MacControl.h"
#include "gui/MacInterface.h"
#include "gui/SelectButton.h"
#include "gui/ValueEditor.h"
#include "plugin/FloatPluginParameter.h"
#include "plugin/IndexedPluginParameter.h"
#include "plugin/MidiVirtualPluginParameter.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/Opener.h"
#include "tests/support/TestBundle.h"

#include <memory>
#include <string>
#include <vector>

namespace editortest {

// Parameters: 0 "Level" (0..1, default at the top), 1 "Mode" (indexed 0..3,
// default 2, "A,B,C,D"), 2 "Cutoff" (20..20000, with a hint), 3 "Pan"
// (-1..1, default 0); one MIDI-only parameter "Wheel".
class TestPlugin : public GenericPlugin {
public:
  class Wheel : public MidiVirtualPluginParameter {
  public:
    using MidiVirtualPluginParameter::MidiVirtualPluginParameter;
    void receiveMessage(float) override {}
  };

  explicit TestPlugin(int type = 0);
  ~TestPlugin() override { finalize(); }

  std::string getIdentifier() override { return "QEdt"; }
  int getType() override { return type; }
  // The parameter the next MIDI controller would be mapped to (-1: none).
  int learnTarget() const;

  int type;
  FloatPluginParameter level{this, "Level"};
  IndexedPluginParameter<int> mode{this, "Mode"};
  FloatPluginParameter cutoff{this, "Cutoff"};
  FloatPluginParameter pan{this, "Pan"};
  Wheel wheel{this, "Wheel"};
};

// The host bridge: "start i", "change i v" (v with 4 decimals), "end i".
class RecordingBridge : public GenericPluginInterface::InterfaceListener {
public:
  void controlChange(int index, float value) override;
  void endControlChange(int index) override { log.push_back("end " + std::to_string(index)); }
  void processInterfaceAction(int action) override { log.push_back("action " + std::to_string(action)); }
  void startControlChange(int index) override { log.push_back("start " + std::to_string(index)); }
  std::vector<std::string> take();

  std::vector<std::string> log;
};

// A concrete editor of the test plug-in: a knob for Level, a select button
// for Mode and a knob for Pan inside a container at (80, 224), a free knob
// for Cutoff, a value label and a hint display at (40, 40) lying over the
// Cutoff knob.
class TestEditor : public GenericPluginInterface {
public:
  TestEditor(gui::UserInterface* ui, TestPlugin* plugin, InterfaceListener* listener,
             const std::string& background = "Background.png");

  gui::ImageLabel* getHintDisplay() override { return hintDisplay; }
  gui::Label* getValueLabel() override { return valueLabel; }
  void showAboutDialog() override;

  gui::Knob::Style* knobStyle;
  gui::Button::Style* buttonStyle;
  gui::Control* container;
  gui::Knob* levelKnob;
  gui::SelectButton* modeButton;
  gui::Knob* panKnob;
  gui::Knob* cutoffKnob;
  gui::Label* valueLabel;
  gui::Label* caption;
  gui::ImageLabel* hintDisplay;
  gui::Dialog* about = nullptr;
};

// The bundle with the pictures, the server, a window with the editor's user
// interface at the top left of its content, the plug-in and the bridge.
struct EditorScene {
  static constexpr int cWindowX = 100, cWindowY = 50, cWidth = 400, cHeight = 300;

  EditorScene();
  ~EditorScene();

  // Builds the editor (with the bridge unless told otherwise).
  TestEditor* open(bool withBridge = true);
  void close();
  // A window point on the screen.
  platform::ScreenPoint at(int x, int y) const { return {cWindowX + x, cWindowY + y}; }
  void click(int x, int y);
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
  // Pops the menu up (scripted: the entries with these texts are chosen)
  // and returns the menu as shown.
  platform::MenuEntry popup(gui::PopupMenu* menu, std::vector<std::string> choose = {});

  zarn::test::TestBundle bundle{"com.example.editor-test"};
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window = 0;
  std::unique_ptr<TestPlugin> plugin;
  RecordingBridge bridge;
  gui::MacInterface* ui = nullptr;
  TestEditor* editor = nullptr;
  std::vector<std::string> opened; // addresses given to the opener
};

// The texts of a shown menu's entries ("-" for dividers; "[x] " before
// checked ones and "(off) " before disabled ones).
std::vector<std::string> texts(const platform::MenuEntry& menu);

} // namespace editortest
