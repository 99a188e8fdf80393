#include "gui/Menu.h"
#include "tests/gui/GuiScene.h"

#include <gtest/gtest.h>

#include <memory>

using zarn::test::GuiScene;
using zarn::test::Probe;

namespace {

struct CountedItem : gui::MenuItem {
  CountedItem(const std::string& text, int* alive) : gui::MenuItem(text), alive(alive) { ++*alive; }
  ~CountedItem() override { --*alive; }
  int* alive;
};

struct ClickLog {
  std::vector<std::string>* log;
  void clicked(void* sender) { log->push_back(static_cast<gui::MenuItem*>(sender)->text.get() + " chosen"); }
};

} // namespace

// Menus own their items and sub-items; indices and dividers follow the
// texts exactly.
TEST(MenuTest, OwnsItemsAndMarksDividersByExactText) {
  int alive = 0;
  {
    gui::Menu menu;
    EXPECT_EQ(menu.add(new CountedItem("a", &alive)), 0);
    auto* sub = new CountedItem("b", &alive);
    sub->add(new CountedItem("b1", &alive));
    menu.add(sub);
    menu.add(new CountedItem("c", &alive));
    EXPECT_EQ(menu.addDivider(), 3);
    menu.insertDivider(0);
    EXPECT_TRUE(menu.getItem(0)->isDivider());
    EXPECT_EQ(menu.getItem(1)->text.get(), "a");
    EXPECT_FALSE(gui::MenuItem("--").isDivider());
    EXPECT_FALSE(gui::MenuItem(" -").isDivider());
    EXPECT_EQ(alive, 4);
    menu.clear();
    EXPECT_EQ(alive, 0);
    menu.add(new CountedItem("d", &alive));
  }
  EXPECT_EQ(alive, 0);
}

// A popup menu opened from a press: its owner refills it on popup, it opens
// below the control at the right place on the screen, its tracking consumes
// the release, a choice in a submenu clicks that item, and entries that
// cannot be chosen cancel.
TEST(MenuTest, PopupFromAPressClicksTheChosenItem) {
  for (bool compositing : {true, false}) {
    GuiScene s(compositing);
    Probe group(s.ui, &s.log, "G", s.root, gui::Rect(100, 50, 200, 150));
    Probe button(s.ui, &s.log, "B", &group, gui::Rect(10, 20, 60, 40));
    std::unique_ptr<gui::PopupMenu> menu(s.ui->createPopupMenu());
    ClickLog clicks{&s.log};
    struct Filler {
      gui::PopupMenu* menu;
      ClickLog* clicks;
      int fills = 0;
      void fill(void*) {
        ++fills;
        menu->clear();
        menu->add(new gui::MenuItem("Init", NotifyEvent::bind(clicks, &ClickLog::clicked)));
        menu->addDivider();
        auto* bank = new gui::MenuItem("Bank");
        bank->add(new gui::MenuItem("Bass", NotifyEvent::bind(clicks, &ClickLog::clicked)));
        bank->add(new gui::MenuItem("Lead", NotifyEvent::bind(clicks, &ClickLog::clicked)));
        bank->getItem(1)->checkMark = true;
        menu->add(bank);
        auto* off = new gui::MenuItem("Off", NotifyEvent::bind(clicks, &ClickLog::clicked));
        off->enabled = false;
        menu->add(off);
        auto* hidden = new gui::MenuItem("Hidden", NotifyEvent::bind(clicks, &ClickLog::clicked));
        hidden->visible = false;
        menu->add(hidden);
      }
    } filler{menu.get(), &clicks};
    menu->onPopup = NotifyEvent::bind(&filler, &Filler::fill);
    button.onDown = [&] {
      button.releaseMouseCapture();
      button.popup(menu.get());
    };

    s.server.chooseInNextMenu({"Bank", "Lead"});
    s.server.press(s.at(115, 75));
    s.server.release(s.at(115, 75));
    s.server.chooseInNextMenu({"Off"});
    s.server.press(s.at(115, 75));
    s.server.release(s.at(115, 75));
    EXPECT_EQ(filler.fills, 2);
    EXPECT_EQ(s.log, (std::vector<std::string>{"G enter", "B enter", "B move 5,5", "B down 5,5 captured",
                                               "Lead chosen", "B move 5,5", "B down 5,5 captured"}));
    ASSERT_EQ(s.server.shownMenus().size(), 2u);
    const auto& shown = s.server.shownMenus()[0];
    EXPECT_EQ(shown.at, s.at(110, 95)); // left, bottom + 5 of the button
    EXPECT_TRUE(shown.menu.children[1].divider);
    EXPECT_TRUE(shown.menu.children[2].children[1].checked);
    EXPECT_FALSE(shown.menu.children[3].enabled);
    EXPECT_TRUE(shown.menu.children[3].visible);
    EXPECT_FALSE(shown.menu.children[4].visible);
    EXPECT_FALSE(shown.menu.children[2].children[0].checked);
    EXPECT_EQ(s.root->getMouseState(), 1);
    EXPECT_EQ(s.root->getCaptureControl(), s.root);
  }
}

// A control that opens a menu from its press while it still holds the
// capture loses it to the menu: whether the menu was cancelled or an item
// chosen, the next press goes to the control under the mouse, which captures
// it and gets its release.
TEST(MenuTest, AMenuOpenedFromACapturedPressGivesTheCaptureBack) {
  for (bool choose : {false, true}) {
    GuiScene s(true);
    Probe opener(s.ui, &s.log, "A", s.root, gui::Rect(10, 10, 60, 30));
    Probe other(s.ui, &s.log, "B", s.root, gui::Rect(100, 10, 150, 30));
    std::unique_ptr<gui::PopupMenu> menu(s.ui->createPopupMenu());
    ClickLog clicks{&s.log};
    menu->add(new gui::MenuItem("Init", NotifyEvent::bind(&clicks, &ClickLog::clicked)));
    opener.onDown = [&] { opener.popup(menu.get()); };

    if (choose) s.server.chooseInNextMenu({"Init"});
    s.server.press(s.at(20, 20));
    s.server.release(s.at(20, 20));
    EXPECT_EQ(s.root->getCaptureControl(), s.root);
    EXPECT_FALSE(opener.hasMouseCapture());
    s.log.clear();
    s.server.press(s.at(110, 20));
    s.server.release(s.at(110, 20));
    EXPECT_EQ(s.log, (std::vector<std::string>{"A leave", "B enter", "B move 10,10", "B down 10,10 captured",
                                               "B move 10,10 captured", "B up 10,10", "B click"}))
        << (choose ? "chosen" : "cancelled");
    EXPECT_EQ(s.root->getCaptureControl(), s.root);
  }
}
