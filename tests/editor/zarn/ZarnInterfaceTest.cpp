// The synthesizer's editor with its generated skin, on the headless window
// server: bindings and hit areas of the whole panel, the slot strip, and
// the reactions to the plug-in.

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "editor/zarn/ZarnInterface.h"
#include "editor/zarn/ZarnFilterController.h"
#include "editor/zarn/ZarnLayout.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/MacInterface.h"
#include "gui/SelectButton.h"
#include "gui/Text.h"
#include "gui/ToggleButton.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "plugin/MidiMessage.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ZarnPlugin.h"
#include "tests/editor/zarn/ZarnScene.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

using gui::Point;
using gui::Rect;

using zarntest::ZarnScene;

namespace {

Rect windowRect(gui::Control* c, gui::Control* window) {
  Rect r = c->bounds.get();
  for (gui::Control* p = c->parent.get(); p && p != window; p = p->parent.get()) {
    const Point o = p->getPosition();
    r = Rect(r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y);
  }
  return r;
}

// The visible controls without children that take clicks, in the order
// they are painted.
void leaves(gui::Control* c, std::vector<gui::Control*>& out) {
  if (!c->visible.get()) return;
  if (c->getChildren().empty()) {
    if (c->opacity.get() > 100) out.push_back(c);
    return;
  }
  for (gui::Control* child : c->getChildren()) leaves(child, out);
}

} // namespace

// Every parameter the panel shows has its control, and the control answers
// for its parameter where no other control lies over it.
TEST(ZarnInterfaceTest, EveryParameterHasAControlThatAnswersWhereItIsUncovered) {
  ZarnScene s("com.quorvane.zarn-editor-bindings");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;
  ModulationMatrixParameterSet& slots = *p.getModMatrixParameters();
  int bound = 0;
  for (int i = 0; i < p.getNumParameters(); ++i) {
    AbstractPluginParameter& param = *p.getParameter(i);
    if (param.getName().find(" & ") != std::string::npos) continue; // MIDI-only pairs
    const bool slot = i >= slots.getFirstIndex() && i <= slots.getLastIndex();
    const bool shownSlot = slot && i < slots.at(8).source.getIndex();
    EXPECT_EQ(e->getControl(param) != nullptr, !slot || shownSlot) << param.getName();
    bound += e->getControl(param) != nullptr;
  }
  EXPECT_GT(bound, 90);

  gui::Control* window = s.editor->getUserInterface()->getWindow();
  auto check = [&]() -> int {
    std::vector<gui::Control*> all;
    leaves(window, all);
    std::vector<Rect> rects;
    for (gui::Control* o : all) rects.push_back(windowRect(o, window));
    int checked = 0;
    for (size_t k = 0; k < all.size(); ++k) {
      gui::Control* c = all[k];
      auto* editor = dynamic_cast<gui::ValueEditor*>(c);
      if (!editor || editor->id.get() < 0) continue;
      const Rect r = rects[k];
      // The uncovered point nearest to the centre.
      Point best(-1, -1);
      int bestDistance = 1 << 30;
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
          const int d = (2 * x - r.left - r.right) * (2 * x - r.left - r.right) +
                        (2 * y - r.top - r.bottom) * (2 * y - r.top - r.bottom);
          if (d >= bestDistance) continue;
          bool covered = false;
          // Only what is painted later lies above.
          for (size_t o = k + 1; o < all.size() && !covered; ++o) covered = rects[o].contains(Point(x, y));
          if (!covered) best = Point(x, y), bestDistance = d;
        }
      EXPECT_GE(best.x, 0) << p.getParameter(editor->id.get())->getName() << " is covered everywhere";
      EXPECT_EQ(e->getParameterIndexAtPos(best), editor->id.get())
          << p.getParameter(editor->id.get())->getName() << " at " << best.x << "," << best.y;
      ++checked;
    }
    return checked;
  };
  EXPECT_GT(check(), 90);

  // An LFO's synced rate knob lies on its free one and answers only when the
  // sync mode shows it.
  const Point rate(zarnlayout::cLfoFreq.x + zarnlayout::cSmallKnob / 2,
                   zarnlayout::cLfoFreq.y + zarnlayout::cSmallKnob / 2);
  EXPECT_EQ(e->getParameterIndexAtPos(rate), p.lfo1.frequency.getIndex());
  p.lfo1.syncMode.setValue(2, 1);
  s.runMs(60);
  EXPECT_EQ(e->getParameterIndexAtPos(rate), p.lfo1.syncFreq.getIndex());
  EXPECT_FALSE(e->getLfoFreqKnob(0)->visible.get());
  EXPECT_TRUE(e->getLfoSyncKnob(0)->visible.get());
  check();
}

TEST(ZarnInterfaceTest, BanksRefusedSlotsAndReordering) {
  ZarnScene s("com.quorvane.zarn-editor-strip");
  ZarnInterface* e = s.open();
  ModulationMatrixParameterSet& slots = *s.plugin->getModMatrixParameters();

  // Bank B shows slots 9 to 16.
  s.server.move(s.at(Point(608, 212)));
  s.server.press(s.at(Point(608, 212)));
  s.server.release(s.at(Point(608, 212)));
  s.runMs(60);
  ASSERT_EQ(e->getBank(), 1);
  EXPECT_TRUE(e->getBankButton(1)->selected.get());
  EXPECT_FALSE(e->getBankButton(0)->selected.get());
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(e->getSlotUnit(i)->numberLabel->getText()->text.get(), std::to_string(9 + i));
    EXPECT_EQ(e->getControl(slots.at(8 + i).level), e->getSlotUnit(i)->levelKnob);
    EXPECT_EQ(e->getControl(slots.at(i).level), nullptr);
  }
  // Every bank is empty; only the ones not shown are dimmed.
  EXPECT_EQ(e->getBankButton(1)->getText()->color.get().a, 200);
  EXPECT_EQ(e->getBankButton(0)->getText()->color.get().a, 64);
  e->activateSlotBank(0);

  // LFO 1 modulating its own rate is refused: the slot warns, and the mask
  // covers its middle but leaves the rows that are set.
  const int source = 0, lfo1Rate = 20, osc1Level = 5;
  s.connect(0, source, lfo1Rate);
  s.connect(2, source, osc1Level);
  EXPECT_TRUE(e->getSlotUnit(0)->warningImage->visible.get());
  EXPECT_FALSE(e->getSlotUnit(2)->warningImage->visible.get());
  EXPECT_FALSE(e->getSlotUnit(1)->warningImage->visible.get());
  const int top = s.cY + zarnlayout::cSlotY;
  auto at = [&](int unit, int dy) { return s.pixel(unit * 80 + 2, top + dy - s.cY); };
  EXPECT_EQ(at(0, 12), at(2, 12)); // target row set: clear
  EXPECT_NE(at(0, 12), at(1, 12)); // an empty slot is masked all over
  EXPECT_EQ(at(0, 45), at(1, 45)); // the middle of a refused slot is masked
  EXPECT_NE(at(0, 45), at(2, 45)); // a working slot is not
  EXPECT_EQ(at(0, 83), at(2, 83)); // source row set: clear
  EXPECT_NE(at(0, 83), at(1, 83));
  // The first bank has a working slot, the others are empty.
  EXPECT_EQ(e->getBankButton(0)->getText()->color.get().a, 200);
  EXPECT_EQ(e->getBankButton(1)->getText()->color.get().a, 64);
  // A bypassed slot is switched off on purpose: no warning.
  slots.at(0).bypassed.setValue(1, 1);
  s.runMs(60);
  EXPECT_FALSE(e->getSlotUnit(0)->warningImage->visible.get());
  slots.at(0).bypassed.setValue(0, 1);
  s.runMs(60);
  EXPECT_TRUE(e->getSlotUnit(0)->warningImage->visible.get());

  // Dragging slot 3's order button past the next slot moves it there.
  const Point grip(2 * 80 + 40, zarnlayout::cSlotY + 3);
  auto* stage = static_cast<ZarnInterface::ZarnSlotOrderStage*>(e->getSlotOrderStage());
  gui::Image* marker = stage->getMarker();
  // Still over its own place, the slot would stay: no marker.
  s.drag(grip, {Point(250, 260)});
  EXPECT_FALSE(marker->visible.get());
  // The marker is centred on the border the slot will land against: right
  // of slot 4, as it moves right.
  s.server.move(s.at(Point(300, 260)));
  s.runMs(20);
  EXPECT_TRUE(marker->visible.get());
  EXPECT_EQ(marker->getPosition().x + marker->bounds.get().width() / 2, 4 * zarnlayout::cSlotW);
  s.server.release(s.at(Point(300, 260)));
  s.runMs(60);
  EXPECT_EQ(s.matrix()->getSlotTarget(3), osc1Level);
  EXPECT_EQ(s.matrix()->getSlotTarget(2), -1);

  // Held beyond the right end the strip flips a bank per 600 ms; held left
  // it comes back, and the drop lands on a slot of the shown bank even
  // after a flip without a move.
  const Point grip4(3 * 80 + 40, zarnlayout::cSlotY + 3);
  s.drag(grip4, {Point(400, 260), Point(660, 260)});
  s.runMs(560);
  EXPECT_EQ(e->getBank(), 0);
  s.runMs(40);
  EXPECT_EQ(e->getBank(), 1);
  s.runMs(600);
  EXPECT_EQ(e->getBank(), 2);
  s.runMs(1200);
  EXPECT_EQ(e->getBank(), 2);
  s.server.move(s.at(Point(-20, 260)));
  s.runMs(20);
  EXPECT_EQ(stage->getResultSlot(), 15);
  s.runMs(600);
  EXPECT_EQ(e->getBank(), 1);
  EXPECT_EQ(stage->getResultSlot(), 7);
  s.runMs(600);
  EXPECT_EQ(e->getBank(), 0);
  EXPECT_EQ(stage->getResultSlot(), 0);
  // Moving left, it lands before slot 1: the marker straddles the strip's
  // left end.
  EXPECT_EQ(marker->getPosition().x + marker->bounds.get().width() / 2, 0);
  s.runMs(1200);
  EXPECT_EQ(e->getBank(), 0);
  s.server.release(s.at(Point(-20, 260)));
  s.runMs(60);
  EXPECT_EQ(s.matrix()->getSlotTarget(0), osc1Level);
  EXPECT_EQ(s.matrix()->getSlotTarget(1), lfo1Rate);

  // A new connection shows its bank.
  e->makeConnection(17, source, osc1Level);
  EXPECT_EQ(e->getBank(), 2);
  EXPECT_EQ(e->getSlotUnit(0)->numberLabel->getText()->text.get(), "17");
  // The mask follows the shown bank's slots: 18 works, 17 and 19 are empty.
  s.runMs(60);
  EXPECT_NE(at(1, 45), at(0, 45));
  EXPECT_EQ(at(0, 45), at(2, 45));

  // A bank whose only working slot is its last is not dimmed.
  s.connect(15, source, osc1Level);
  e->activateSlotBank(0);
  EXPECT_EQ(e->getBankButton(1)->getText()->color.get().a, 200);

  // The modulation lines end in the middle of a slot's source and target
  // buttons.
  e->activateSlotBank(1);
  for (int i : {0, 5}) {
    auto middle = [](gui::Control* c) {
      return c->getGlobalPosition() + Point(c->bounds.get().width() / 2, c->bounds.get().height() / 2);
    };
    const Point source = middle(e->getSlotUnit(i)->sourceButton), target = middle(e->getSlotUnit(i)->targetButton);
    EXPECT_NEAR(e->getSlotSourcePos(8 + i).x, source.x, 1) << i;
    EXPECT_NEAR(e->getSlotSourcePos(8 + i).y, source.y, 1) << i;
    EXPECT_NEAR(e->getSlotTargetPos(8 + i).x, target.x, 1) << i;
    EXPECT_NEAR(e->getSlotTargetPos(8 + i).y, target.y, 1) << i;
  }
}

TEST(ZarnInterfaceTest, ReactsToMidiLfoModesFiltersAndPresets) {
  ZarnScene s("com.quorvane.zarn-editor-reactions");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;

  MidiMessage note;
  note.status = 0x90;
  note.data1 = 60;
  note.data2 = 100;
  p.receiveMidiMessage(note);
  s.runMs(60);
  EXPECT_TRUE(e->getMidiLight()->on.get());
  s.runMs(300);
  EXPECT_FALSE(e->getMidiLight()->on.get());

  // Filter 2 starts off, so its dimmer shows; switching filter 1 off dims
  // it too; the display shows the change.
  EXPECT_TRUE(e->getFilterDimmer(1)->visible.get());
  EXPECT_FALSE(e->getFilterDimmer(0)->visible.get());
  p.filter1.enabled.setValue(0, 1);
  p.filter2.slope.setValue(1, 1);
  s.runMs(60);
  EXPECT_TRUE(e->getFilterDimmer(0)->visible.get());
  EXPECT_FALSE(e->getFilterController()->enabled1.get());
  EXPECT_EQ(e->getFilterController()->slope2.get(), GenericFilter::c24dB); // the slope itself, not its index
  // The display button hides the knobs and the dimmers with them.
  const Point display(zarnlayout::cDisplayButton.x + 6, zarnlayout::cDisplayButton.y + 6);
  s.server.move(s.at(display));
  s.server.press(s.at(display));
  s.server.release(s.at(display));
  s.runMs(60);
  EXPECT_TRUE(e->getFilterDisplayPanel()->visible.get());
  EXPECT_FALSE(e->getFilterDimmer(0)->visible.get());

  // A gesture in the display goes out for all four parameters of the
  // filter, frequency, peak, response, slope, and marks the preset.
  s.bridge.take();
  p.getPresetContext()->presetModified = false;
  ZarnFilterController* curves = e->getFilterController();
  curves->cutoff2 = 0.25f;
  curves->response2 = 2;
  e->filterControllerStartChange2(nullptr);
  e->filterControllerChange2(nullptr);
  e->filterControllerEndChange2(nullptr);
  std::vector<std::string> expected;
  const int four[4] = {p.filter2.freq.getIndex(), p.filter2.peak.getIndex(), p.filter2.response.getIndex(),
                       p.filter2.slope.getIndex()};
  for (const char* step : {"start ", "change ", "end "})
    for (int index : four) expected.push_back(step + std::to_string(index));
  EXPECT_EQ(s.bridge.take(), expected);
  EXPECT_FLOAT_EQ(p.filter2.freq.getValue(), 0.25f);
  EXPECT_EQ(p.filter2.response.getCurrentIndex(), 2);
  EXPECT_TRUE(p.getPresetContext()->presetModified.get());

  // LFO 2 synced: its tempo knob replaces the rate knob.
  p.lfo2.syncMode.setValue(1, 1);
  s.runMs(60);
  EXPECT_TRUE(e->getLfoSyncKnob(1)->visible.get());
  EXPECT_FALSE(e->getLfoFreqKnob(1)->visible.get());
  p.lfo2.syncMode.setValue(0, 1);
  s.runMs(60);
  EXPECT_FALSE(e->getLfoSyncKnob(1)->visible.get());

  // A loaded preset names itself on the presets button; touching a control
  // marks it as changed.
  Preset clean(std::string(ZARN_SKIN_DIR) + "/FactoryPresets/_Basics/Clean.qvp");
  ASSERT_TRUE(p.loadPreset(&clean));
  s.runMs(60);
  EXPECT_EQ(e->getPresetsButton()->getText()->text.get(), "Clean");
  EXPECT_FALSE(p.getPresetContext()->presetModified.get());
  EXPECT_EQ(e->getPresetsButton()->getText()->color.get().a, 255);
  const Point volume(zarnlayout::cVolume.x + 18, zarnlayout::cVolume.y + 18);
  s.drag(volume, {Point(volume.x, volume.y - 10), Point(volume.x, volume.y - 20)});
  s.server.release(s.at(Point(volume.x, volume.y - 20)));
  s.runMs(60);
  EXPECT_TRUE(p.getPresetContext()->presetModified.get());
  EXPECT_EQ(e->getPresetsButton()->getText()->color.get().a, 128);
}

// The render thread posts while editors open and close: each editor leaves
// the plug-in before it goes.
TEST(ZarnInterfaceThreadTest, EditorsCloseCleanlyWhileTheRenderThreadPosts) {
  ZarnScene s("com.quorvane.zarn-editor-thread");
  std::atomic<bool> stop{false};
  std::thread render([&] {
    MidiMessage note;
    note.status = 0x90;
    note.data1 = 64;
    note.data2 = 90;
    while (!stop.load()) {
      s.plugin->receiveMidiMessage(note);
      s.plugin->postEventToListener(cParameterChangeEvent, s.plugin->volume.getIndex());
      s.plugin->notifyGeneralChange(1);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  for (int i = 0; i < 3; ++i) {
    s.open();
    s.runMs(60);
    s.close();
    EXPECT_EQ(s.plugin->getListener(), nullptr);
  }
  stop = true;
  render.join();
}

TEST(ZarnInterfaceTest, HeaderLearnHelpAndSlotButtons) {
  ZarnScene s("com.quorvane.zarn-editor-buttons");
  ZarnInterface* e = s.open();
  ZarnPlugin& p = *s.plugin;
  auto click = [&](Point at) {
    s.server.move(s.at(at));
    s.server.press(s.at(at));
    s.server.release(s.at(at));
    s.runMs(60);
  };

  // In learn mode the caption shows the controller of each touched
  // parameter ("-" for none); leaving the mode brings "Learn" back.
  const Point learn(zarnlayout::cLearn.x + 32, zarnlayout::cLearn.y + 8);
  click(learn);
  EXPECT_TRUE(e->midiLearnMode.get());
  p.postEventToListener(cParameterChangeEvent, p.volume.getIndex());
  s.runMs(60);
  EXPECT_EQ(e->getLearnButton()->getText()->text.get(), "-");
  click(learn);
  EXPECT_FALSE(e->midiLearnMode.get());
  EXPECT_EQ(e->getLearnButton()->getText()->text.get(), "Learn");

  // The help menu has the sound designers' page as its fifth item.
  s.server.chooseInNextMenu({});
  e->getHelpMenu()->popup(Rect(0, 0, 10, 10));
  ASSERT_FALSE(s.server.shownMenus().empty());
  ASSERT_GT(s.server.shownMenus().back().menu.children.size(), 4u);
  EXPECT_EQ(s.server.shownMenus().back().menu.children[4].text, "About Sound Designers");

  // The host's options: the header makes room for the options button,
  // whose click goes to the host.
  e->showQVHostOptions();
  EXPECT_EQ(e->getPresetsButton()->getPosition(), Point(377, 10));
  s.bridge.take();
  click(Point(zarnlayout::cOptions.x + 10, zarnlayout::cOptions.y + 10));
  EXPECT_EQ(s.bridge.take(), std::vector<std::string>{"action 1"});

  // A slot's clear button empties it; its bypass button masks all of the
  // slot but the bypass column.
  s.connect(0, 3, 5);
  s.connect(1, 3, 9);
  click(Point(zarnlayout::cSlotClear.x + 6, zarnlayout::cSlotY + zarnlayout::cSlotClear.y + 6));
  EXPECT_EQ(s.matrix()->getSlotSource(0), -1);
  click(Point(80 + zarnlayout::cSlotBypass.x + 6, zarnlayout::cSlotY + zarnlayout::cSlotBypass.y + 6));
  EXPECT_TRUE(s.matrix()->getSlotBypassed(1));
  s.connect(2, 3, 10);
  auto at = [&](int unit, int dx, int dy) { return s.pixel(unit * 80 + dx, zarnlayout::cSlotY + dy); };
  EXPECT_EQ(at(1, 2, 12), at(0, 2, 12));   // the target row of a bypassed slot is masked
  EXPECT_NE(at(1, 2, 12), at(2, 2, 12));   // and that of a working one is not
  EXPECT_EQ(at(1, 34, 28), at(0, 34, 28)); // so is its middle right of the column
  EXPECT_NE(at(1, 2, 45), at(0, 2, 45));   // but not the bypass column
  EXPECT_EQ(at(1, 2, 83), at(0, 2, 83));   // and its source row is masked too
  EXPECT_NE(at(1, 2, 83), at(2, 2, 83));
}

// The About box, with its picture and with the picture gone since the
// editor opened: the box has the picture's size, centred on the window,
// the labels lie at the style's offset (90, 22) from its corner, the
// controls below do not show through, and a click on it (away from the
// labels) closes it.
TEST(ZarnInterfaceTest, TheAboutBoxKeepsItsPlaceWithoutItsPicture) {
  ZarnScene s("com.quorvane.zarn-editor-about");
  ZarnInterface* e = s.open();
  gui::Control* window = e->getUserInterface()->getWindow();
  // The picture's size from its PNG header.
  std::ifstream png(std::string(ZARN_SKIN_DIR) + "/DialogGeneric.png", std::ios::binary);
  unsigned char header[24] = {};
  png.read(reinterpret_cast<char*>(header), sizeof header);
  auto be32 = [&](int at) { return header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3]; };
  const Rect box(Point((640 - be32(16)) / 2, (522 - be32(20)) / 2), be32(16), be32(20));
  ASSERT_GT(box.width(), 200);
  ASSERT_GT(box.height(), 180);

  std::vector<std::array<uint8_t, 3>> below;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) below.push_back(s.pixel(x, y));

  for (const bool withPicture : {true, false}) {
    SCOPED_TRACE(withPicture ? "with the picture" : "without the picture");
    if (!withPicture) std::filesystem::remove(s.bundle.resourcesPath() + "DialogGeneric.png");
    s.server.chooseInNextMenu({"About..."});
    e->getHelpMenu()->popup(Rect(0, 0, 10, 10));
    s.runMs(60);
    auto* about = dynamic_cast<AboutDialog*>(window->getChildren().back());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(windowRect(about->getBackground(), window), box);
    std::vector<Point> labels;
    for (gui::Control* c : about->getChildren())
      if (dynamic_cast<gui::Label*>(c)) labels.push_back(c->getPosition());
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels[0], Point(box.left + 90, box.top + 22));

    size_t covered = 0;
    for (int y = box.top, i = 0; y < box.bottom; ++y)
      for (int x = box.left; x < box.right; ++x, ++i) covered += s.pixel(x, y) != below[size_t(i)];
    EXPECT_GT(covered, below.size() * 9 / 10) << "of " << below.size();

    const platform::ScreenPoint corner = s.at(Point(box.left + 12, box.bottom - 12));
    s.server.move(corner);
    s.server.press(corner);
    s.server.release(corner);
    s.runMs(60);
    EXPECT_EQ(dynamic_cast<AboutDialog*>(window->getChildren().back()), nullptr);
  }
}
