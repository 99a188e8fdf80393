#include "tests/editor/EditorScene.h"

#include "base/PresetContext.h"

#include <gtest/gtest.h>

#include <algorithm>

using editortest::EditorScene;
using Log = std::vector<std::string>;

namespace {
int positionOf(float normalized) { return static_cast<int>(normalized * 65536.0f); }
} // namespace

TEST(GenericPluginInterfaceTest, BindingGivesRangesPlacesInContainersAndMovesBindings) {
  EditorScene s;
  auto* e = s.open();
  auto range = [](gui::ValueEditor* c) { return std::vector<int>{c->minimum, c->maximum, c->defaultPosition, c->id}; };
  EXPECT_EQ(range(e->levelKnob), (std::vector<int>{0, 65536, 65536, 0}));
  EXPECT_EQ(range(e->modeButton), (std::vector<int>{0, 3, 2, 1}));
  // Pan's default 0 lies halfway along -1..1.
  EXPECT_EQ(range(e->panKnob), (std::vector<int>{0, 65536, 32768, 3}));
  gui::PopupMenu* items = e->modeButton->popupMenu;
  ASSERT_EQ(items->getCount(), 4);
  EXPECT_EQ(items->getItem(0)->text.get() + items->getItem(3)->text.get(), "AD");
  EXPECT_EQ(e->cutoffKnob->hint.get(), cHintFilterCutOff);

  EXPECT_EQ(e->panKnob->getPosition(), gui::Point(40, 26)); // (120, 250) in the window
  EXPECT_EQ(e->getParameterIndexAtPos(gui::Point(136, 266)), 3);
  EXPECT_EQ(e->getParameterIndexAtPos(gui::Point(301, 21)), -1); // the caption
  EXPECT_EQ(e->getParameterIndexAtPos(gui::Point(5, 5)), -1);    // the background

  // The cutoff knob moves to Level: Level's knob goes dead, and the cutoff
  // entry keeps no knob that reports for Level.
  e->setControl(s.plugin->level, e->cutoffKnob);
  EXPECT_EQ(e->levelKnob->id, -1);
  EXPECT_EQ(e->getControl(s.plugin->cutoff), nullptr);
  e->levelKnob->startChange();
  e->levelKnob->adjustPosition(100);
  e->levelKnob->endChange();
  EXPECT_EQ(s.bridge.take(), Log{});
  // Binding it again where it is keeps it bound; null unbinds.
  e->setControl(s.plugin->level, e->cutoffKnob);
  e->cutoffKnob->adjustPosition(0);
  EXPECT_EQ(s.bridge.take(), Log{"change 0 0.0000"});
  e->setControl(s.plugin->level, nullptr);
  EXPECT_EQ(e->cutoffKnob->id, -1);
}

TEST(GenericPluginInterfaceTest, GesturesSendNaturalValuesLinkedPartnersFollowAndLearnArms) {
  EditorScene s;
  auto* e = s.open();
  e->linkControls(e->levelKnob, e->panKnob);
  e->linkControls(e->levelKnob, e->cutoffKnob);
  e->setControl(s.plugin->cutoff, nullptr);     // a partner loses its knob
  e->linkControls(e->levelKnob, e->cutoffKnob); // unbound: refused
  ASSERT_EQ(e->getLinks(0).size(), 2u);
  s.plugin->level.setValue(0.25f, cParameterChangeFromHost);
  s.plugin->pan.setValue(0.5f, cParameterChangeFromHost);        // normalized 0.75
  s.plugin->cutoff.setValue(10010.0f, cParameterChangeFromHost); // normalized 0.5
  s.runMs(60);
  s.plugin->getPresetContext()->presetModified = false;

  // Partners move by the same normalized amount from where they were when
  // the link began, clamped, also on the way back.
  e->levelKnob->setLinked(true);
  e->levelKnob->startChange();
  // Up by 0.5: pan would pass its top (0.75 + 0.5) and stops at 1.
  e->levelKnob->adjustPosition(positionOf(0.75f));
  e->levelKnob->adjustPosition(positionOf(0.0f));
  e->levelKnob->endChange();
  EXPECT_EQ(s.bridge.take(), (Log{"start 0", "start 3", "start 2", "change 0 0.7500", "change 3 1.0000",
                                  "change 2 20000.0000", "change 0 0.0000", "change 3 0.0000", "change 2 5015.0000",
                                  "end 0", "end 3", "end 2"}));
  EXPECT_TRUE(s.plugin->getPresetContext()->presetModified.get());
  // Unlinked, the partners take no part, neither in the gesture nor after.
  e->levelKnob->setLinked(false);
  e->levelKnob->startChange();
  e->levelKnob->adjustPosition(positionOf(0.25f));
  e->levelKnob->endChange();
  EXPECT_EQ(s.bridge.take(), (Log{"start 0", "change 0 0.2500", "end 0"}));

  // The value label shows the natural value and stays centred: "0.25"
  // (the level's last value) becomes the narrower "0" (pan's middle).
  gui::Label* label = e->valueLabel;
  label->setPosition(gui::Point(100, 10));
  const int before = label->getText()->getWidth();
  e->panKnob->adjustPosition(positionOf(0.5f));
  EXPECT_EQ(label->getText()->text.get(), "0");
  ASSERT_LT(label->getText()->getWidth(), before - 1);
  EXPECT_EQ(label->getPosition().x, 100 - (label->getText()->getWidth() - before) / 2);

  e->midiLearnMode = true;
  e->panKnob->adjustPosition(positionOf(0.625f));
  EXPECT_EQ(s.plugin->learnTarget(), 3);
  e->midiLearnMode = false;
  EXPECT_EQ(s.plugin->learnTarget(), -1);

  // The mouse over a knob shows its value under it.
  s.server.move(s.at(136, 266));
  s.runMs(60);
  EXPECT_TRUE(label->visible.get());
  EXPECT_EQ(label->getPosition().y, 250 + 32 + 5);
  s.server.move(s.at(300, 150));
  s.runMs(60);
  EXPECT_FALSE(label->visible.get());
}

TEST(GenericPluginInterfaceTest, AMouseDragIsOneGestureAndTheHostsEchoMovesNoGesture) {
  EditorScene s;
  auto* e = s.open();
  s.server.move(s.at(36, 116));
  s.server.press(s.at(36, 116));
  for (int y = 118; y <= 140; y += 2) s.server.move(s.at(36, y));
  s.server.release(s.at(36, 140));
  Log log = s.bridge.take();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front() + "|" + log[1].substr(0, 9) + "|" + log.back(), "start 0|change 0 |end 0");

  // The knob lies near the window's left edge; its label, however long the
  // value's text, is kept inside the window while the value changes too.
  gui::Label* label = e->valueLabel;
  s.plugin->level.setValue(0.123456789f, cParameterChangeFromHost);
  s.runMs(60);
  s.server.move(s.at(300, 150));
  s.runMs(60);
  s.server.move(s.at(36, 116));
  s.runMs(60);
  ASSERT_TRUE(label->visible.get());
  ASSERT_GT(label->bounds.get().width(), 2 * 36); // wider than twice the room left of the knob's middle
  EXPECT_EQ(label->getPosition().x, 0);
  s.server.press(s.at(36, 116));
  for (int y = 114; y >= 100; y -= 2) {
    s.server.move(s.at(36, y));
    EXPECT_GE(label->getPosition().x, 0) << label->getText()->text.get();
  }
  s.server.release(s.at(36, 100));
  s.bridge.take();

  s.plugin->level.setValue(0.125f, cParameterChangeFromHost);
  s.plugin->postEventToListener(cParameterChangeEvent, cMidiVirtualParameterBase); // no control: ignored
  EXPECT_NE(e->levelKnob->getValue(), 0.125f);
  s.runMs(60);
  EXPECT_FLOAT_EQ(e->levelKnob->getValue(), 0.125f);
  EXPECT_EQ(s.bridge.take(), Log{});

  s.close();
  auto* quiet = s.open(false); // no bridge: gestures go nowhere
  quiet->levelKnob->adjustPosition(0);
  EXPECT_EQ(quiet->valueLabel->getText()->text.get(), "");
}

TEST(GenericPluginInterfaceTest, HintsLetClicksThroughAndTheWelcomeTakesOneClick) {
  EditorScene s;
  auto* e = s.open();
  e->showHint("Turn me"); // over the cutoff knob
  EXPECT_TRUE(e->hintDisplay->visible.get());
  s.click(70, 70);
  EXPECT_EQ(s.bridge.take(), (Log{"start 2", "end 2"}));
  GenericPlugin::sSettings->showInteractiveHelp = false;
  e->showHint("Hidden");
  EXPECT_EQ(e->hintDisplay->getText()->text.get() + (e->hintDisplay->visible ? "+" : "-"), "Hidden-");
  GenericPlugin::sSettings->showInteractiveHelp = true;
  s.close();

  // The welcome shows once, after the hint delay; other hints do not
  // replace it; a click on it hides it and reaches nothing below.
  GenericPlugin::sSettings->showWelcomeHint = true;
  e = s.open();
  gui::ImageLabel* hint = e->hintDisplay;
  EXPECT_FALSE(GenericPlugin::sSettings->showWelcomeHint.get());
  s.server.move(s.at(36, 116));
  s.runMs(1600);
  EXPECT_TRUE(hint->visible.get());
  EXPECT_EQ(hint->getText()->text.get(), cHintFirstRun);
  s.click(70, 70);
  EXPECT_FALSE(hint->visible.get());
  EXPECT_EQ(s.bridge.take(), Log{});
  s.click(70, 70);
  EXPECT_EQ(s.bridge.take().size(), 2u);

  // A dialog closing itself is deleted on the next tick; then the welcome
  // shows again when asked for, and a click dismisses it again.
  GenericPlugin::sSettings->showWelcomeHint = true;
  s.popup(e->getHelpMenu(), {"About..."});
  ASSERT_NE(e->about, nullptr);
  s.click(112, 98); // on a label of the box: it lets the click through
  const auto& top = s.ui->getWindow()->getChildren();
  EXPECT_EQ(std::find(top.begin(), top.end(), e->about), top.end());
  s.runMs(1600);
  EXPECT_TRUE(hint->visible.get());
  s.click(70, 70);
  EXPECT_FALSE(hint->visible.get());
  EXPECT_TRUE(s.ui->hintsEnabled);

  // An editor without a hint display ignores both.
  GenericPluginInterface bare(std::make_unique<gui::MacInterface>(s.window, 0, gui::Rect(0, 0, 9, 9)),
                              s.plugin.get(), nullptr, "Background.png", 1.0f);
  bare.showWelcomeHint();
  bare.hideWelcomeHint();
}

// A dialog whose picture went away after the editor opened still opens,
// without its backdrop: the failure never leaves the menu choice that
// opened it (a host would end with it).
TEST(GenericPluginInterfaceTest, ADialogWithoutItsPictureOpensBare) {
  EditorScene s;
  auto* e = s.open();
  e->aboutImage = "Missing.png";
  EXPECT_NO_THROW(s.popup(e->getHelpMenu(), {"About..."}));
  ASSERT_NE(e->about, nullptr);
  const auto& top = s.ui->getWindow()->getChildren();
  EXPECT_NE(std::find(top.begin(), top.end(), e->about), top.end());
}

TEST(GenericPluginInterfaceTest, AnEditorThatCannotBeBuiltIsNobodysListener) {
  EditorScene s;
  EXPECT_ANY_THROW(s.open(true, "Missing.png"));
  EXPECT_EQ(s.plugin->getListener(), nullptr);
  s.plugin->postEventToListener(cMidiReceivedEvent, 0);
  // The failed editor deleted its user interface.
  s.ui = nullptr;
  s.editor = nullptr;
  s.open();
  EXPECT_NE(s.plugin->getListener(), nullptr);
  s.close();
  EXPECT_EQ(s.plugin->getListener(), nullptr);
}
