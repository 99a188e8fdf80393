// The synthesizer's editor as a musician drives it: the mouse on the
// headless window server with the modifier keys the hints name, under the
// editor's default shortcut table and under the one a host puts in force;
// what the plug-in holds afterwards is read back.

// gcc 12 takes a std::function inside <regex>'s pattern compiler for maybe
// uninitialized when the sanitizers instrument it: a false alarm in the
// library's own code, reported where the library is, so the whole file
// (a test) is spared it.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "editor/zarn/ZarnFilterController.h"
#include "editor/zarn/ZarnInterface.h"
#include "editor/zarn/ZarnLayout.h"
#include "base/PresetContext.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/ShiftStateMapping.h"
#include "gui/Text.h"
#include "gui/ToggleButton.h"
#include "hints/ZarnHints.h"
#include "plugin/ControllerMapping.h"
#include "plugin/MidiMessage.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "tests/editor/zarn/ZarnScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>

using gui::Point;
using gui::Rect;
using zarntest::ZarnScene;

namespace {

// The table a host with shortcuts of its own puts in force for the whole
// process: option resets, command is fine, shift links.
struct HostShortcuts {
  HostShortcuts() {
    gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeReset, gui::cOptionBit);
    gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeFine, gui::cCommandBit);
    gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeLinked, gui::cShiftBit);
    gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeFineLinked, gui::cShiftBit | gui::cCommandBit);
  }
  ~HostShortcuts() { gui::shiftStateMapping = gui::ShiftStateMapping(); }
};

// The modifier a key name of a hint stands for (the Windows names).
uint32_t keyNamed(const std::string& name) {
  if (name == "Alt") return platform::kOptionKey;
  if (name == "Shift") return platform::kShiftKey;
  if (name == "Ctrl") return platform::kCommandKey;
  ADD_FAILURE() << "no key is named " << name;
  return 0;
}

// The keys the first match of pattern's group 1 names ("Alt", "Alt and
// Shift", "Ctrl-Alt").
uint32_t keysIn(const std::string& hint, const std::string& pattern) {
  std::smatch m;
  if (!std::regex_search(hint, m, std::regex(pattern))) {
    ADD_FAILURE() << "\"" << pattern << "\" is not in the hint:\n" << hint;
    return 0;
  }
  uint32_t keys = 0;
  const std::string names = m[1].str();
  const std::regex word("Alt|Shift|Ctrl");
  for (auto it = std::sregex_iterator(names.begin(), names.end(), word); it != std::sregex_iterator(); ++it)
    keys |= keyNamed(it->str());
  return keys;
}

struct Hands {
  ZarnScene& s;
  ZarnInterface* e;

  gui::Control* control(const AbstractPluginParameter& p) { return dynamic_cast<gui::Control*>(e->getControl(p)); }
  std::string hintOf(const AbstractPluginParameter& p) { return control(p)->hint.get(); }
  // The point of the control that answers for p nearest to its middle.
  Point grip(const AbstractPluginParameter& p) {
    gui::Control* c = control(p);
    const Point at = c->getGlobalPosition();
    const Rect& b = c->bounds.get();
    Point best(-1, -1);
    int bestDistance = 1 << 30;
    for (int y = at.y; y < at.y + b.height(); ++y)
      for (int x = at.x; x < at.x + b.width(); ++x) {
        const int dx = 2 * (x - at.x) - b.width(), dy = 2 * (y - at.y) - b.height();
        if (dx * dx + dy * dy < bestDistance && e->getParameterIndexAtPos(Point(x, y)) == p.getIndex())
          best = Point(x, y), bestDistance = dx * dx + dy * dy;
      }
    EXPECT_GE(best.x, 0) << p.getName() << " answers nowhere";
    return best;
  }
  // Press, a few steps upwards, release: all with the keys held.
  void dragUp(Point from, int distance, uint32_t keys) {
    s.server.move(s.at(from), keys);
    s.server.press(s.at(from), keys);
    for (int d = 5; d <= distance; d += 5) {
      s.server.move(s.at(Point(from.x, from.y - d)), keys);
      s.runMs(20);
    }
    s.server.release(s.at(Point(from.x, from.y - distance)), keys);
    s.runMs(60);
  }
  void click(Point at, uint32_t keys = 0) {
    s.server.move(s.at(at), keys);
    s.server.press(s.at(at), keys);
    s.server.release(s.at(at), keys);
    s.runMs(60);
  }
  // Away from every control, so that no face shows a hover.
  void rest() {
    s.server.move(s.at(Point(2, 2)));
    s.runMs(60);
  }
};

// The seven pairs a linked move drives together: moving either control of a
// pair with the key its hint names moves its partner, and nothing else of
// the fourteen; with the reset key it would have jumped to its default.
void checkLinkedPairsFollowTheirHints(ZarnScene& s, Hands& h) {
  ZarnPlugin& p = *s.plugin;
  const std::pair<AbstractPluginParameter*, AbstractPluginParameter*> pairs[] = {
      {&p.osc2.sync, &p.osc1.sync},   {&p.osc1.pulseWidth, &p.osc2.pulseWidth}, {&p.osc2.level, &p.osc1.level},
      {&p.osc1.pan, &p.osc2.pan},     {&p.filter2.freq, &p.filter1.freq},       {&p.filter1.pan, &p.filter2.pan},
      {&p.filter2.peak, &p.filter1.peak}};
  std::vector<AbstractPluginParameter*> all;
  for (const auto& [a, b] : pairs) all.push_back(a), all.push_back(b);
  for (const auto& [moved, partner] : pairs) {
    SCOPED_TRACE(moved->getName());
    const uint32_t keys = keysIn(h.hintOf(*moved), "holding down the (\\w+) key");
    std::map<AbstractPluginParameter*, float> before;
    for (AbstractPluginParameter* q : all) before[q] = q->getNormalizedValue();
    // Downwards when the knob is near its top, so that it has room to move.
    const Point at = h.grip(*moved);
    h.dragUp(at, before[moved] > 0.8f ? -30 : 30, keys);
    for (AbstractPluginParameter* q : all) {
      const float change = q->getNormalizedValue() - before[q];
      if (q == moved || q == partner)
        EXPECT_GT(std::abs(change), 0.01f) << q->getName() << " did not move";
      else
        EXPECT_EQ(change, 0.0f) << q->getName() << " moved";
    }
  }
}

} // namespace

// What the hints tell a musician to press is what the editor does, under
// either shortcut table: linked knobs, the reset click on the LFO balance,
// and the filter display's response and slope clicks; under the default
// table the texts are the ones written for it.
class ShortcutHintsTest : public ::testing::TestWithParam<bool> {};

TEST_P(ShortcutHintsTest, TheKeysTheHintsNameDoWhatTheySay) {
  std::unique_ptr<HostShortcuts> host(GetParam() ? new HostShortcuts : nullptr);
  ZarnScene s("com.quorvane.zarn-editor-hands-keys");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;
  Hands h{s, e};
  if (!GetParam()) {
    EXPECT_EQ(h.hintOf(p.filter1.freq), cHintFilterCutOff);
    EXPECT_EQ(h.hintOf(p.lfo1.balance), cHintLFOBalance);
    EXPECT_EQ(e->getFilterController()->hint.get(), cHintFilterDisplay);
  }

  checkLinkedPairsFollowTheirHints(s, h);

  // The balance returns to its default with the click its hint names.
  const uint32_t reset = keysIn(h.hintOf(p.lfo1.balance), "hold down the (\\w+) key");
  h.dragUp(h.grip(p.lfo1.balance), 30, 0);
  ASSERT_NE(p.lfo1.balance.getNormalizedValue(), p.lfo1.balance.convertNaturalToNormalized(p.lfo1.balance.getDefault()));
  h.click(h.grip(p.lfo1.balance), reset);
  EXPECT_FLOAT_EQ(p.lfo1.balance.getNormalizedValue(),
                  p.lfo1.balance.convertNaturalToNormalized(p.lfo1.balance.getDefault()));

  // The display: shown by its button; its own hint explains it after the
  // hint delay, over the curves too.
  h.click(Point(zarnlayout::cDisplayButton.x + 6, zarnlayout::cDisplayButton.y + 6));
  ZarnFilterController* display = e->getFilterController();
  const std::string displayHint = display->hint.get();
  if (GetParam()) {
    // The host's table: the mirror drag is reset and link together (Alt
    // and Shift, the same names on both systems), the slope is the fine key
    // (Command), the response the reset key (Option).
    for (const char* phrase : {"Hold down the Alt and Shift keys and drag the button",
                               "Ctrl-click (Command-click on Mac) the button for filter 1 or 2 to toggle the filter slope",
                               "Alt-click the button for filter 1 or 2 to toggle between"})
      EXPECT_NE(displayHint.find(phrase), std::string::npos) << phrase << "\nis not in\n" << displayHint;
  }
  const Point origin = display->getGlobalPosition();
  const Rect handle = display->getPeak1Rect();
  const Point peak1(origin.x + (handle.left + handle.right) / 2, origin.y + (handle.top + handle.bottom) / 2);
  const uint32_t slopeKeys = keysIn(displayHint, "(\\w+)-click(?: \\([^)]*\\))? the button for filter 1 or 2 to toggle the filter slope");
  const uint32_t responseKeys =
      keysIn(displayHint, "(\\w+)-click(?: \\([^)]*\\))? the button for filter 1 or 2 to toggle between");
  // Four clicks: 24, 12, 24, 12 dB, and the curve shows what sounds.
  ASSERT_EQ(p.filter1.slope.getCurrentIndex(), 0);
  std::vector<int> slopes, drawn;
  for (int i = 0; i < 4; ++i) {
    h.click(peak1, slopeKeys);
    slopes.push_back(p.filter1.slope.getCurrentIndex());
    drawn.push_back(display->slope1.get());
  }
  EXPECT_EQ(slopes, (std::vector<int>{1, 0, 1, 0}));
  EXPECT_EQ(drawn, (std::vector<int>{GenericFilter::c24dB, GenericFilter::c12dB, GenericFilter::c24dB,
                                     GenericFilter::c12dB}));
  const int response = p.filter1.response.getCurrentIndex();
  h.click(peak1, responseKeys);
  EXPECT_EQ(p.filter1.response.getCurrentIndex(), (response + 1) % 3);
  EXPECT_EQ(p.filter1.slope.getCurrentIndex(), 0);

  // Coming back to rest on the curves (a click hides a hint until the
  // mouse comes again).
  const Point middle(origin.x + zarnlayout::cDisplayW / 2, origin.y + 20);
  ASSERT_EQ(e->getParameterIndexAtPos(middle), -1);
  h.rest();
  s.server.move(s.at(middle));
  s.runMs(1700);
  EXPECT_TRUE(e->getHintDisplay()->visible.get());
  EXPECT_EQ(e->getHintDisplay()->getText()->text.get(), displayHint);
}

INSTANTIATE_TEST_SUITE_P(DefaultAndHostTables, ShortcutHintsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HostTable" : "DefaultTable"; });

// Hovering a slot's level shows a short value in a label that stays inside
// the window, for the leftmost and the rightmost slot as for the others.
TEST(ZarnEditorHandsTest, SlotLevelLabelsAreShortAndInsideTheWindow) {
  ZarnScene s("com.quorvane.zarn-editor-hands-levels");
  ZarnInterface* e = s.open();
  Hands h{s, e};
  ModulationMatrixParameterSet& slots = *s.plugin->getModMatrixParameters();
  gui::Label* label = e->getValueLabel();
  for (int unit = 0; unit < 8; ++unit) {
    SCOPED_TRACE(unit);
    // A level a drag leaves, not a round number.
    const float level = 0.0125000001862645f + 0.1f * float(unit);
    slots.at(unit).level.setValue(level, 1);
    s.runMs(60);
    h.rest();
    s.server.move(s.at(h.grip(slots.at(unit).level)));
    s.runMs(60);
    ASSERT_TRUE(label->visible.get());
    const std::string text = label->getText()->text.get();
    EXPECT_LE(text.size(), 5u) << text;
    EXPECT_NEAR(std::atof(text.c_str()), level, 0.001) << text;
    const Point at = label->getPosition();
    const int width = label->bounds.get().width();
    EXPECT_LE(width, zarnlayout::cSlotW);
    EXPECT_GE(at.x, 0);
    EXPECT_LE(at.x + width, zarnlayout::cWidth);
  }
}

// The Learn button's light is on exactly while learn mode is, however the
// mode changed; a controller learned as 0 shows as 0 on the button.
TEST(ZarnEditorHandsTest, TheLearnLightAndCaptionShowLearnMode) {
  ZarnScene s("com.quorvane.zarn-editor-hands-learn");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;
  Hands h{s, e};
  const Point button(zarnlayout::cLearn.x + 32, zarnlayout::cLearn.y + 8);
  const Point light(zarnlayout::cLearn.x + 8, zarnlayout::cLearn.y + 8);
  h.rest();
  const auto off = s.pixel(light.x, light.y);
  h.click(button);
  h.rest();
  ASSERT_TRUE(e->midiLearnMode.get());
  const auto on = s.pixel(light.x, light.y);
  EXPECT_NE(on, off);
  // A lit light is brighter than a dark one.
  EXPECT_GT(on[0] + on[1] + on[2], off[0] + off[1] + off[2] + 60);

  ControllerMapping* map = GenericPlugin::sControllerMapping;
  map->reset();
  ASSERT_TRUE(map->setConnection(0, p.volume.getIndex()));
  h.dragUp(h.grip(p.volume), 20, 0);
  EXPECT_EQ(e->getLearnButton()->getText()->text.get(), "0");
  h.dragUp(h.grip(p.stereo), 20, 0);
  EXPECT_EQ(e->getLearnButton()->getText()->text.get(), "-");
  map->reset();

  e->midiLearnMode = false;
  s.runMs(60);
  EXPECT_EQ(s.pixel(light.x, light.y), off);
  EXPECT_EQ(e->getLearnButton()->getText()->text.get(), "Learn");
}

// Slot order: a plain click on a grip moves nothing; a drop while bank B
// shows lands in bank B.
TEST(ZarnEditorHandsTest, SlotGripsMoveOnlyWhenDraggedAndDropInTheShownBank) {
  ZarnScene s("com.quorvane.zarn-editor-hands-order");
  ZarnInterface* e = s.open();
  Hands h{s, e};
  const int source = 0, osc1Level = 5, filter1Freq = 12;
  s.connect(2, source, osc1Level);
  // Anywhere along the grip.
  gui::Control* grip3 = e->getSlotUnit(2)->orderButton;
  const Point at = grip3->getGlobalPosition();
  const int width = grip3->bounds.get().width();
  for (int x : {at.x + 1, at.x + width / 2, at.x + width - 2}) {
    h.click(Point(x, at.y + 3));
    EXPECT_EQ(s.matrix()->getSlotTarget(2), osc1Level) << x;
    for (int slot : {0, 1, 3}) EXPECT_EQ(s.matrix()->getSlotTarget(slot), -1) << slot << " after a click at " << x;
  }

  s.connect(9, source, filter1Freq); // slot 10
  h.click(Point(zarnlayout::cBank[1].x + 9, zarnlayout::cBank[1].y + 7));
  ASSERT_EQ(e->getBank(), 1);
  const Point grip10(1 * zarnlayout::cSlotW + 40, zarnlayout::cSlotY + 3);
  s.drag(grip10, {Point(200, 260), Point(300, 260)});
  s.server.release(s.at(Point(300, 260)));
  s.runMs(60);
  EXPECT_EQ(s.matrix()->getSlotTarget(11), filter1Freq); // slot 12
  EXPECT_EQ(s.matrix()->getSlotTarget(9), -1);
  EXPECT_EQ(s.matrix()->getSlotTarget(3), -1); // the same place in bank A
  EXPECT_EQ(s.matrix()->getSlotTarget(2), osc1Level);
}

// "Load Factory Settings" makes a keyboard's standard controllers play the
// parameters MIDI names them for.
TEST(ZarnEditorHandsTest, TheFactoryControllerMapFollowsMidisStandardAssignments) {
  ZarnScene s("com.quorvane.zarn-editor-hands-factory");
  s.copyResource("MidiControllerMap.qvm");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;
  GenericPlugin::sControllerMapping->reset();
  s.server.chooseInNextMenu({"Load Factory Settings"});
  e->getMidiMenu()->popup(Rect(0, 0, 10, 10));
  const std::pair<int, AbstractPluginParameter*> standard[] = {
      {7, &p.volume},           {74, &p.filter1.freq},    {71, &p.filter1.peak},  {73, &p.egMain.attack},
      {72, &p.egMain.release},  {75, &p.egMain.decay},    {5, &p.portamento}};
  for (int value : {0, 127}) {
    for (const auto& [controller, parameter] : standard) {
      MidiMessage cc;
      cc.status = 0xB0;
      cc.data1 = uint8_t(controller);
      cc.data2 = uint8_t(value);
      p.receiveMidiMessage(cc);
    }
    p.process(nullptr, 0, nullptr, 0, 0); // the render thread's turn: the queued messages
    s.runMs(60);
    for (const auto& [controller, parameter] : standard)
      EXPECT_FLOAT_EQ(parameter->getNormalizedValue(), value / 127.0f)
          << "controller " << controller << " on " << parameter->getName();
  }
  GenericPlugin::sControllerMapping->reset();
}

// The filter display: a plain click on a handle (press and release where
// the pointer is, the window server's own moves between) moves no filter
// and leaves the preset unmodified, for each handle; a drag still moves it.
TEST(ZarnEditorHandsTest, AClickOnAFilterHandleMovesNothing) {
  ZarnScene s("com.quorvane.zarn-editor-hands-filter-click");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;
  Hands h{s, e};
  h.click(Point(zarnlayout::cDisplayButton.x + 6, zarnlayout::cDisplayButton.y + 6));
  ZarnFilterController* display = e->getFilterController();
  ASSERT_TRUE(e->getFilterDisplayPanel()->visible.get());
  PresetContext* context = p.getPresetContext();
  ASSERT_NE(context, nullptr);
  context->presetModified = false;
  const Point origin = display->getGlobalPosition();
  auto centre = [&](const Rect& r) { return Point(origin.x + (r.left + r.right) / 2, origin.y + (r.top + r.bottom) / 2); };
  const float freq1 = p.filter1.freq.getValue(), peak1 = p.filter1.peak.getValue();
  const float freq2 = p.filter2.freq.getValue(), peak2 = p.filter2.peak.getValue();
  for (const Point at : {centre(display->getPeak1Rect()), centre(display->getPeak2Rect()), centre(display->getMidRect())}) {
    // As a pointer device clicks: it reports where it is, on press and
    // before release as well.
    s.server.move(s.at(at));
    s.server.press(s.at(at));
    s.runMs(20);
    s.server.move(s.at(at));
    s.runMs(20);
    s.server.release(s.at(at));
    s.runMs(60);
    EXPECT_EQ(p.filter1.freq.getValue(), freq1) << at.x << "," << at.y;
    EXPECT_EQ(p.filter1.peak.getValue(), peak1) << at.x << "," << at.y;
    EXPECT_EQ(p.filter2.freq.getValue(), freq2) << at.x << "," << at.y;
    EXPECT_EQ(p.filter2.peak.getValue(), peak2) << at.x << "," << at.y;
    EXPECT_FALSE(context->presetModified.get()) << at.x << "," << at.y;
  }

  // A drag of peak 1 twenty pixels to the right raises the cut-off and
  // marks the preset modified.
  const Point from = centre(display->getPeak1Rect());
  s.drag(from, {Point(from.x + 10, from.y), Point(from.x + 20, from.y)});
  s.server.release(s.at(Point(from.x + 20, from.y)));
  s.runMs(60);
  EXPECT_GT(p.filter1.freq.getValue(), freq1);
  EXPECT_EQ(p.filter2.freq.getValue(), freq2);
  EXPECT_TRUE(context->presetModified.get());
}
