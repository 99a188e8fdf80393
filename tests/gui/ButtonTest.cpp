// Buttons and switches under the headless server's mouse: toggling only on
// a release inside, radio groups, the toggle button's look following its
// value from either side, the select button's menu gesture and capture,
// and the switch's stops.

#include "gui/Button.h"
#include "gui/SelectButton.h"
#include "gui/Switch.h"
#include "gui/Text.h"
#include "gui/ToggleButton.h"
#include "tests/gui/GuiScene.h"
#include "tests/gui/Widgets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace zarn::test;

namespace {

const gui::Color cOff(40, 40, 40, 255), cOn(250, 200, 0, 255);

struct ButtonScene : GuiScene {
  ButtonScene() : style(ui) {
    solid(style.normal, 60, 20, gui::Color(200, 200, 200, 255));
    solid(style.hover, 60, 20, gui::Color(220, 220, 220, 255));
    solid(style.pressed, 60, 20, gui::Color(150, 150, 150, 255));
    solid(style.overlayOff, 8, 8, cOff);
    solid(style.overlayOn, 8, 8, cOn);
  }
  template <class B>
  B* make(int x, int y) {
    B* b = new B(ui, &style);
    b->setPosition(gui::Point(x, y));
    b->parent = root;
    return b;
  }
  void click(int x, int y) {
    server.press(at(x, y));
    server.release(at(x, y));
  }
  void clicked(void*) { ++clicks; }

  gui::Button::Style style;
  int clicks = 0;
};

} // namespace

TEST(ButtonTest, ToggleFlipsOnlyOnAReleaseInside) {
  ButtonScene s;
  auto* b = s.make<gui::Button>(10, 10);
  b->toggle = true;
  b->onClick = NotifyEvent::bind(&s, &ButtonScene::clicked);
  s.click(20, 15);
  EXPECT_TRUE(b->selected);
  EXPECT_EQ(b->getState(), gui::Button::cHover);
  s.server.press(s.at(20, 15));
  EXPECT_EQ(b->getState(), gui::Button::cPressed);
  s.server.move(s.at(120, 15));
  EXPECT_EQ(b->getState(), gui::Button::cNormal);
  s.server.release(s.at(120, 15));
  EXPECT_TRUE(b->selected);
  EXPECT_EQ(b->getState(), gui::Button::cNormal);
  EXPECT_EQ(s.clicks, 1);
  // The overlay sits at the left margin and shows the selection on screen.
  s.runMs(60);
  EXPECT_EQ(s.screen(10 + 2, 10 + 10), 0xFAC800u);

  // A caption too long for the button is shortened to end 6 pixels inside
  // it, and one that would start left of 6 starts there.
  b->getText()->text = "Resonance boost amount";
  s.runMs(60);
  EXPECT_LE(b->getText()->getWidth(), 60 - 12);
  int inkLeft = 60, inkRight = -1;
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 70; ++x)
      if ((s.screen(x, y) & 0xFF) < 100 && !(x < 18 && y >= 16 && y < 24)) { // the overlay aside
        inkLeft = std::min(inkLeft, x - 10);
        inkRight = std::max(inkRight, x - 10);
      }
  EXPECT_GE(inkLeft, 6);
  EXPECT_LT(inkRight, 60 - 6);
  EXPECT_GT(inkRight, 30);
}

TEST(ButtonTest, RadioGroupsSelectExactlyOneMember) {
  ButtonScene s;
  auto* t = s.make<gui::ToggleButton>(0, 0);
  auto* b1 = s.make<gui::Button>(0, 30);
  auto* b2 = s.make<gui::Button>(0, 60);
  GestureLog log(t);
  t->addRadioButton(b1);
  t->addRadioButton(b2);
  EXPECT_EQ(t->maximum, 2);
  auto selection = [&] {
    return std::vector<bool>{t->selected.get(), b1->selected.get(), b2->selected.get()};
  };
  EXPECT_EQ(selection(), (std::vector<bool>{true, false, false}));
  s.click(10, 70);
  EXPECT_EQ(t->position, 2);
  EXPECT_EQ(selection(), (std::vector<bool>{false, false, true}));
  s.click(10, 70); // already selected: stays
  EXPECT_EQ(selection(), (std::vector<bool>{false, false, true}));
  s.click(10, 5);
  EXPECT_EQ(t->position, 0);
  EXPECT_EQ(selection(), (std::vector<bool>{true, false, false}));
  // The program side selects too.
  t->position = 1;
  EXPECT_EQ(selection(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(b1->getOverlayState(), 1);
  EXPECT_EQ(t->getOverlayState(), 0);
  // Only the click on the toggle button itself was its gesture.
  EXPECT_EQ(log.count("start"), 1);
  EXPECT_EQ(log.count("end"), 1);
  // On a range from 1 the members stand for 1, 2 and 3.
  t->maximum = 3;
  t->minimum = 1;
  s.click(10, 70);
  EXPECT_EQ(t->position, 3);
  EXPECT_EQ(selection(), (std::vector<bool>{false, false, true}));
}

TEST(ButtonTest, AToggleButtonShowsItsValueWhoeverSetsIt) {
  ButtonScene s;
  auto* t = s.make<gui::ToggleButton>(10, 10);
  GestureLog log(t);
  s.runMs(60);
  for (int v : {1, 0, 1}) {
    t->position = v; // a preset load or automation
    EXPECT_EQ(t->selected, v != 0);
    s.runMs(60);
    EXPECT_EQ(s.screen(10 + 2, 10 + 10), v ? 0xFAC800u : 0x282828u) << v;
  }
  s.click(20, 15);
  EXPECT_EQ(t->position, 0);
  EXPECT_EQ(t->getOverlayState(), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"start", "change 0", "end"}));
  // During the user's gesture an outside write is put back, look included.
  s.server.press(s.at(20, 15));
  t->position = 1;
  EXPECT_EQ(t->position, 0);
  EXPECT_FALSE(t->selected);
  s.server.release(s.at(20, 15));
  EXPECT_EQ(t->position, 1);
  EXPECT_EQ(t->getOverlayState(), 1);

  // The face follows the mouse: the hover face while over it; pressed, the
  // pressed face, with the overlay sunk a pixel right and down.
  s.runMs(60);
  EXPECT_EQ(s.screen(10 + 40, 10 + 2), 0xDCDCDCu);
  EXPECT_EQ(s.screen(10 + 0, 10 + 6), 0xFAC800u);
  s.server.press(s.at(20, 15));
  s.runMs(60);
  EXPECT_EQ(s.screen(10 + 40, 10 + 2), 0x969696u);
  EXPECT_EQ(s.screen(10 + 0, 10 + 6), 0x969696u);
  EXPECT_EQ(s.screen(10 + 8, 10 + 14), 0xFAC800u);
  s.server.release(s.at(20, 15));
  // Aligned right, the overlay ends the margin short of the right edge.
  t->alignment = 2;
  t->margin = 3;
  s.runMs(60);
  EXPECT_EQ(s.screen(10 + 49, 10 + 10), 0x282828u);
  EXPECT_EQ(s.screen(10 + 56, 10 + 10), 0x282828u);
  EXPECT_EQ(s.screen(10 + 57, 10 + 10), 0xDCDCDCu);
  EXPECT_EQ(s.screen(10 + 48, 10 + 10), 0xDCDCDCu);
}

TEST(ButtonTest, SelectButtonsChooseInsideOneGestureAndGiveTheCaptureBack) {
  ButtonScene s;
  auto* b = s.make<gui::SelectButton>(10, 10);
  GestureLog log(b);
  for (const char* item : {"Saw", "Square", "Noise"}) b->addItem(item);
  b->maximum = 3;
  b->position = 2;
  EXPECT_EQ(b->getText()->text.get(), "Noise");
  b->position = 3;
  EXPECT_EQ(b->getText()->text.get(), "");
  b->position = 2;

  s.server.chooseInNextMenu({"Square"});
  s.server.press(s.at(20, 15));
  EXPECT_EQ(b->position, 1);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"start", "change 1", "end"}));
  EXPECT_EQ(b->getText()->text.get(), "Square");
  EXPECT_FALSE(b->isPressed());
  EXPECT_FALSE(b->hasMouseCapture());
  EXPECT_EQ(s.root->getCaptureControl(), s.root);
  // A real release arriving after the menu ends nothing again.
  s.server.release(s.at(20, 15));
  s.root->doMouseUp(0, gui::Point(20, 15), 0);
  EXPECT_EQ(log.count("end"), 1);
  ASSERT_EQ(s.server.shownMenus().size(), 1u);
  const auto& shown = s.server.shownMenus()[0].menu;
  ASSERT_EQ(shown.children.size(), 3u);
  EXPECT_EQ(shown.children[2].text, "Noise");
  EXPECT_TRUE(shown.children[2].checked);

  // On a range from 1 the items stand for 1, 2 and 3.
  b->minimum = 1;
  EXPECT_EQ(b->getText()->text.get(), "Saw"); // position 1 is now the first item
  s.server.chooseInNextMenu({"Noise"});
  s.server.press(s.at(20, 15));
  s.server.release(s.at(20, 15));
  EXPECT_EQ(b->position, 3);
  EXPECT_EQ(b->getText()->text.get(), "Noise");
  gui::PopupMenu* items = b->popupMenu;
  EXPECT_EQ(std::vector<bool>({items->getItem(0)->checkMark, items->getItem(1)->checkMark,
                               items->getItem(2)->checkMark}),
            (std::vector<bool>{false, false, true}));

  // The menu's press left no capture behind: the next press takes it.
  b->popupMenu = nullptr;
  s.server.press(s.at(20, 15));
  EXPECT_TRUE(b->hasMouseCapture());
  s.server.release(s.at(20, 15));
  EXPECT_EQ(log.count("start"), 3);
  EXPECT_EQ(log.count("end"), 3);
}

TEST(ButtonTest, SwitchesSnapToTheNearestStopAndGrowWithTheRange) {
  GuiScene s;
  // A track w x h with a handle hw x hh, the switch placed at (x, y).
  auto style = [&](int w, int h, int hw, int hh) {
    auto st = std::make_unique<gui::Switch::Style>(s.ui);
    solid(st->background, w, h, gui::Color(60, 60, 60, 255));
    solid(st->handle, hw, hh, gui::Color(230, 230, 230, 255));
    solid(st->handleRollover, hw, hh, gui::Color(255, 255, 255, 255));
    return st;
  };
  auto place = [&](gui::Switch& v, int x, int y) {
    v.setPosition(gui::Point(x, y));
    v.parent = s.root;
  };
  const auto across = style(40, 10, 20, 10);
  gui::Switch sw(s.ui, across.get());
  place(sw, 10, 10);
  GestureLog log(&sw);
  auto click = [&](int x, int y) {
    s.server.press(s.at(x, y));
    s.server.release(s.at(x, y));
  };
  EXPECT_FALSE(sw.isVertical());
  EXPECT_EQ(sw.getButtonSpace(), 20);
  // Grab the handle 5 pixels in (and 2 down) and drag its leading edge to
  // 9, then 10.
  s.server.press(s.at(15, 12), platform::kOptionKey);
  s.server.move(s.at(24, 15), platform::kOptionKey);
  EXPECT_EQ(sw.position, 0);
  s.server.move(s.at(25, 15), platform::kOptionKey);
  EXPECT_EQ(sw.position, 1);
  EXPECT_EQ(sw.getButtonPosition(), gui::Point(20, 0));
  s.server.release(s.at(25, 15));
  EXPECT_FALSE(sw.isLinked());
  EXPECT_EQ(log.lines, (std::vector<std::string>{"start", "link", "change 1", "end"}));

  // Three stops: each further one adds track - handle = 20 pixels.
  sw.maximum = 2;
  EXPECT_EQ(sw.getClientRect().width(), 60);
  EXPECT_EQ(sw.getButtonPosition(), gui::Point(20, 0));
  // A click on the track centres the handle on it, at the nearest stop.
  click(10 + 52, 15);
  EXPECT_EQ(sw.position, 2);
  EXPECT_EQ(sw.getButtonPosition(), gui::Point(40, 0));
  click(10 + 5, 15);
  EXPECT_EQ(sw.position, 0);
  click(10 + 33, 15);
  EXPECT_EQ(sw.position, 1);
  // Reset means nothing to a switch.
  click(10 + 52, 15);
  sw.defaultPosition = 1;
  s.server.press(s.at(10 + 50, 15), platform::kCommandKey);
  s.server.release(s.at(10 + 50, 15));
  EXPECT_EQ(sw.position, 2);
  // The handle lights up while the mouse is over it.
  s.server.move(s.at(10 + 5, 15));
  s.runMs(60);
  EXPECT_EQ(s.screen(10 + 45, 12), 0xE6E6E6u);
  s.server.move(s.at(10 + 55, 15));
  s.runMs(60);
  EXPECT_EQ(s.screen(10 + 45, 12), 0xFFFFFFu);
  EXPECT_EQ(s.screen(10 + 35, 12), 0x3C3C3Cu);

  // Upright, a click centres the handle by its height: centred at 21 its
  // top is at 11, past half the 20-pixel way to the lower stop; centred at
  // 17 (above the lowered handle) its top is at 7, short of it.
  const auto upright = style(10, 40, 10, 20);
  gui::Switch up(s.ui, upright.get());
  place(up, 100, 10);
  EXPECT_TRUE(up.isVertical());
  click(105, 10 + 21);
  EXPECT_EQ(up.position, 1);
  click(105, 10 + 17);
  EXPECT_EQ(up.position, 0);
}

// A caption pushed left (a long one, or one offset towards the left) still
// starts 6 pixels inside the button, so its first letter never touches the
// edge.
TEST(ButtonTest, ACaptionStartsNoFurtherLeftThanSixPixels) {
  ButtonScene s;
  auto* b = s.make<gui::Button>(10, 10);
  b->getText()->text = std::string("MMMMMMMMMMMM");
  b->getText()->color = gui::Color(0, 0, 0, 255);
  b->textOffset = -40;
  b->alignment = 2; // the style's overlay at the right end, out of the way
  s.runMs(60);
  // Columns 0-5 show the face alone; the caption's ink begins at 6.
  const uint32_t face = s.screen(10, 10);
  int firstInk = -1;
  for (int x = 0; x < 20 && firstInk < 0; ++x)
    for (int y = 0; y < 20; ++y)
      if (s.screen(10 + x, 10 + y) != face) {
        firstInk = x;
        break;
      }
  EXPECT_GE(firstInk, 6);
  EXPECT_LE(firstInk, 8); // and it is there: an "M" is ink from its first column
}
