#include "tests/editor/EditorScene.h"

#include "base/PresetContext.h"
#include "gui/Knob.h"
#include "gui/Text.h"
#include "hints/ZarnHints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using editortest::EditorScene;
using Log = std::vector<std::string>;

namespace {

int positionOf(float normalized) { return static_cast<int>(normalized * 65536.0f); }

bool hasChild(gui::Control* parent, gui::Control* child) {
  const auto& c = parent->getChildren();
  return std::find(c.begin(), c.end(), child) != c.end();
}

} // namespace

TEST(GenericPluginInterfaceTest, BindingGivesRangesPlacesInContainersAndMovesBindings) {
  EditorScene s;
  auto* e = s.open();
  // Continuous with the default at the top; indexed 0..3 with default 2 and
  // its value texts as items.
  EXPECT_EQ((std::vector<int>{0, 65536, 65536, 0}),
            (std::vector<int>{e->levelKnob->minimum, e->levelKnob->maximum, e->levelKnob->defaultPosition,
                              e->levelKnob->id}));
  EXPECT_EQ((std::vector<int>{0, 3, 2, 1}), (std::vector<int>{e->modeButton->minimum, e->modeButton->maximum,
                                                              e->modeButton->defaultPosition, e->modeButton->id}));
  gui::PopupMenu* items = e->modeButton->popupMenu;
  ASSERT_EQ(items->getCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(items->getItem(i)->text.get(), std::string(1, char('A' + i)));
  EXPECT_EQ(e->cutoffKnob->hint.get(), cHintFilterCutOff);

  // Window coordinates inside a container.
  EXPECT_EQ(e->panKnob->getPosition(), gui::Point(40, 26));
  EXPECT_EQ(e->panKnob->getGlobalPosition(), gui::Point(120, 250));
  EXPECT_EQ(e->getParameterIndexAtPos(gui::Point(136, 266)), 3);
  EXPECT_EQ(e->getParameterIndexAtPos(gui::Point(301, 21)), -1); // the caption
  EXPECT_EQ(e->getParameterIndexAtPos(gui::Point(5, 5)), -1);    // the background

  // The cutoff knob moves to Level: Level's old knob goes dead, the cutoff
  // entry no longer holds a knob that reports for Level.
  e->setControl(s.plugin->level, e->cutoffKnob);
  EXPECT_EQ(e->levelKnob->id, -1);
  EXPECT_EQ(e->getControl(s.plugin->cutoff), nullptr);
  e->levelKnob->startChange();
  e->levelKnob->adjustPosition(100);
  e->levelKnob->endChange();
  EXPECT_EQ(s.bridge.take(), Log{});
  // Binding it again where it is keeps it bound.
  e->setControl(s.plugin->level, e->cutoffKnob);
  EXPECT_EQ(e->cutoffKnob->id, 0);
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
  e->setControl(s.plugin->cutoff, nullptr); // the second partner loses its knob
  e->linkControls(e->levelKnob, e->cutoffKnob); // unbound: refused
  ASSERT_EQ(e->getLinks(0).size(), 2u);

  s.plugin->level.setValue(0.25f, cParameterChangeFromHost);
  s.plugin->pan.setValue(0.5f, cParameterChangeFromHost);     // normalized 0.75
  s.plugin->cutoff.setValue(10010.0f, cParameterChangeFromHost); // normalized 0.5
  s.runMs(60);
  ASSERT_FLOAT_EQ(e->panKnob->getValue(), 0.75f);
  s.plugin->getPresetContext()->presetModified = false;

  // Partners move by the same normalized amount from where they were when
  // the link began, clamped, also when the drag comes back.
  e->levelKnob->setLinked(true);
  e->levelKnob->startChange();
  e->levelKnob->adjustPosition(positionOf(0.5f));
  e->levelKnob->adjustPosition(positionOf(0.0f));
  e->levelKnob->endChange();
  EXPECT_EQ(s.bridge.take(), (Log{"start 0", "start 3", "start 2", "change 0 0.5000", "change 3 1.0000",
                                  "change 2 15005.0000", "change 0 0.0000", "change 3 0.0000", "change 2 5015.0000",
                                  "end 0", "end 3", "end 2"}));
  EXPECT_TRUE(s.plugin->getPresetContext()->presetModified.get());

  // The value label shows the natural value and stays centred.
  gui::Label* label = e->valueLabel;
  label->setPosition(gui::Point(100, 10));
  const int before = label->getText()->getWidth();
  e->panKnob->adjustPosition(positionOf(0.625f));
  EXPECT_EQ(label->getText()->text.get(), s.plugin->pan.convertValueToString(0.25f));
  EXPECT_EQ(label->getPosition().x, 100 - (label->getText()->getWidth() - before) / 2);

  // MIDI learn follows every touched control while on; off cancels.
  e->midiLearnMode = true;
  e->panKnob->adjustPosition(positionOf(0.5f));
  EXPECT_EQ(s.plugin->learnTarget(), 3);
  e->midiLearnMode = false;
  EXPECT_EQ(s.plugin->learnTarget(), -1);
  s.bridge.take();

  // The mouse over a knob shows its value under it.
  s.server.move(s.at(136, 266));
  s.runMs(60);
  EXPECT_TRUE(label->visible.get());
  EXPECT_EQ(label->getPosition().y, 250 + e->panKnob->bounds.get().height() + 5);
  s.server.move(s.at(300, 150));
  s.runMs(60);
  EXPECT_FALSE(label->visible.get());
}

TEST(GenericPluginInterfaceTest, AMouseDragOnAKnobIsOneGestureAndEchoesMoveNoGesture) {
  EditorScene s;
  auto* e = s.open();
  s.server.move(s.at(36, 116));
  s.server.press(s.at(36, 116));
  for (int y = 118; y <= 140; y += 2) s.server.move(s.at(36, y));
  s.server.release(s.at(36, 140));
  s.runMs(60);
  Log log = s.bridge.take();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front(), "start 0");
  EXPECT_EQ(log.back(), "end 0");
  EXPECT_EQ(log[1].rfind("change 0 ", 0), 0u);

  // The host's echo moves the knob on the next tick and is not sent back.
  s.plugin->level.setValue(0.125f, cParameterChangeFromHost);
  s.plugin->postEventToListener(cParameterChangeEvent, cMidiVirtualParameterBase); // no control: ignored
  s.plugin->postEventToListener(cParameterChangeEvent, 99);
  EXPECT_NE(e->levelKnob->getValue(), 0.125f);
  s.runMs(60);
  EXPECT_FLOAT_EQ(e->levelKnob->getValue(), 0.125f);
  EXPECT_EQ(s.bridge.take(), Log{});

  // Without a bridge nothing goes anywhere.
  s.close();
  auto* quiet = s.open(false);
  quiet->levelKnob->startChange();
  quiet->levelKnob->adjustPosition(0);
  quiet->levelKnob->endChange();
  EXPECT_EQ(s.bridge.take(), Log{});
}

TEST(GenericPluginInterfaceTest, HintsLetClicksThroughAndTheWelcomeShowsOnceUntilClicked) {
  EditorScene s;
  // An ordinary hint over the knob lets the click through to it.
  auto* e = s.open();
  e->showHint("Turn me");
  EXPECT_TRUE(e->hintDisplay->visible.get());
  s.click(70, 70);
  Log log = s.bridge.take();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "start 2");
  s.close();

  GenericPlugin::sSettings->showWelcomeHint = true;
  e = s.open();
  gui::ImageLabel* hint = e->hintDisplay;
  EXPECT_FALSE(GenericPlugin::sSettings->showWelcomeHint.get());
  s.runMs(1600);
  EXPECT_TRUE(hint->visible.get());
  EXPECT_EQ(hint->getText()->text.get(), cHintFirstRun);
  // Other hints do not replace it; a click on it (over the cutoff knob)
  // hides it and reaches nothing below.
  s.server.move(s.at(20 + 16, 100 + 16));
  s.runMs(1600);
  EXPECT_EQ(hint->getText()->text.get(), cHintFirstRun);
  s.click(70, 70);
  EXPECT_FALSE(hint->visible.get());
  EXPECT_EQ(s.bridge.take(), Log{});

  // Clicks reach the knob again.
  s.click(70, 70);
  EXPECT_FALSE(s.bridge.take().empty());

  // Hints off: the text is kept, the display stays hidden.
  GenericPlugin::sSettings->showInteractiveHelp = false;
  e->showHint("Hidden");
  EXPECT_EQ(hint->getText()->text.get(), "Hidden");
  EXPECT_FALSE(hint->visible.get());
  GenericPlugin::sSettings->showInteractiveHelp = true;

  // A dialog closing itself is deleted on the next tick, then the welcome
  // shows again when asked for, and a click dismisses it again.
  GenericPlugin::sSettings->showWelcomeHint = true;
  s.popup(e->getHelpMenu(), {"About..."});
  gui::Dialog* about = e->about;
  ASSERT_NE(about, nullptr);
  s.click(112, 98); // on the version label: it lets the click through
  EXPECT_FALSE(hasChild(s.ui->getWindow(), about));
  s.runMs(1600);
  EXPECT_EQ(hint->getText()->text.get(), cHintFirstRun);
  EXPECT_TRUE(hint->visible.get());
  s.click(70, 70);
  EXPECT_FALSE(hint->visible.get());
  EXPECT_TRUE(s.ui->hintsEnabled);

  // An editor without a hint display ignores both.
  GenericPluginInterface bare(new gui::MacInterface(s.window, 0, gui::Rect(0, 0, 10, 10)), s.plugin.get(), nullptr,
                              "Background.png", 1.0f);
  bare.showWelcomeHint();
  bare.hideWelcomeHint();
}

TEST(GenericPluginInterfaceTest, AnEditorThatCannotBeBuiltLeavesThePluginWithoutListener) {
  EditorScene s;
  auto* ui = new gui::MacInterface(s.window, 0, gui::Rect(0, 0, 100, 100));
  EXPECT_ANY_THROW(editortest::TestEditor(ui, s.plugin.get(), &s.bridge, "Missing.png"));
  EXPECT_EQ(s.plugin->getListener(), nullptr);
  s.plugin->postEventToListener(cMidiReceivedEvent, 0);
  s.runMs(60);
  delete ui;

  s.open();
  EXPECT_EQ(s.plugin->getListener(), s.editor);
  s.close();
  EXPECT_EQ(s.plugin->getListener(), nullptr);
}
