#include "platform/X11WindowServer.h"

#include "gui/Control.h"
#include "gui/MacInterface.h"
#include "gui/Menu.h"
#include "platform/HeadlessWindowServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/XPeer.h"
#include "tests/support/Xvfb.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using platform::ScreenPoint;
using platform::ScreenRect;

constexpr ScreenRect cContent{100, 80, 100 + 240, 80 + 150};

// A control painted in one colour with a lighter top line; the knob follows
// vertical drags, the preset button pops its menu on the press.
class Block : public gui::Control {
public:
  Block(gui::UserInterface* ui, gui::Control* parentControl, gui::Rect r, gui::Color face)
      : gui::Control(ui), face(face) {
    bounds = r;
    parent = parentControl;
  }
  std::vector<gui::ShiftState> downs;

protected:
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    downs.push_back(s);
    gui::Control::mouseDown(b, p, s);
  }
  void paint(const gui::Canvas& c) override {
    c.fillRect(clientRect, face);
    c.fillRect(gui::Rect(0, 0, clientRect.width(), 1), gui::Color(255, 255, 255, 90));
  }
  gui::Color face;
};

class Knob : public Block {
public:
  using Block::Block;
  int value = 50;

protected:
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    Block::mouseDown(b, p, s);
    grabY = p.y;
    grabValue = value;
  }
  void mouseMove(const gui::Point& p, gui::ShiftState) override {
    if (!mouseCaptured) return;
    value = std::clamp(grabValue + grabY - p.y, 0, 100);
    invalidate();
  }
  void paint(const gui::Canvas& c) override {
    Block::paint(c);
    const int h = clientRect.height() * value / 100;
    c.fillRect(gui::Rect(4, clientRect.height() - h, clientRect.width() - 4, clientRect.height()),
               gui::Color(230, 160, 60, 255));
  }

private:
  int grabY = 0, grabValue = 0;
};

class MenuButton : public Block {
public:
  MenuButton(gui::UserInterface* ui, gui::Control* parentControl, gui::Rect r) :
      Block(ui, parentControl, r, gui::Color(60, 90, 96, 255)) {
    menu.reset(ui->createPopupMenu());
    menu->add(new gui::MenuItem("Init", NotifyEvent::bind(this, &MenuButton::chosen)));
    menu->addDivider();
    auto* bank = new gui::MenuItem("Bank");
    for (const char* n : {"Bass", "Lead", "Pad"})
      bank->add(new gui::MenuItem(n, NotifyEvent::bind(this, &MenuButton::chosen)));
    bank->getItem(1)->checkMark = true;
    menu->add(bank);
    auto* off = new gui::MenuItem("Off", NotifyEvent::bind(this, &MenuButton::chosen));
    off->enabled = false;
    menu->add(off);
  }
  std::string choice;
  int menusShown = 0;
  // Ticks of a run-loop timer, counted while a menu was open.
  int ticks = 0, ticksDuringMenu = 0;

protected:
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    Block::mouseDown(b, p, s);
    ++menusShown;
    const int before = ticks;
    popup(menu.get());
    ticksDuringMenu += ticks - before;
    // The menu took the release: the press ends here.
    userInterface->captureMouse(nullptr);
    mouseCaptured = false;
  }

private:
  void chosen(void* sender) { choice = static_cast<gui::MenuItem*>(sender)->text.get(); }
  std::unique_ptr<gui::PopupMenu> menu;
};

// The surface on any window server: a panel with a knob and a preset button.
struct Surface {
  Surface(platform::WindowServer& server) : server(server) {
    platform::WindowServer::setCurrent(&server);
    window = server.createWindow(cContent, true, "Zarn test");
    ui = std::make_unique<gui::MacInterface>(window, 0, gui::Rect(0, 0, cContent.width(), cContent.height()));
    auto* panel = new Block(ui.get(), ui->getWindow(), gui::Rect(0, 0, 240, 150), gui::Color(48, 44, 42, 255));
    knob = new Knob(ui.get(), panel, gui::Rect(16, 16, 64, 130), gui::Color(70, 66, 62, 255));
    button = new MenuButton(ui.get(), panel, gui::Rect(96, 16, 208, 40));
  }
  ~Surface() {
    ui.reset();
    server.destroyWindow(window);
    platform::WindowServer::setCurrent(nullptr);
  }
  ScreenPoint at(int x, int y) const { return {cContent.left + x, cContent.top + y}; }

  platform::WindowServer& server;
  platform::WindowId window;
  std::unique_ptr<gui::MacInterface> ui;
  Knob* knob;
  MenuButton* button;
};

class X11WindowServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
    display = std::make_unique<zarn::test::ScopedEnvironment>("DISPLAY", zarn::test::Xvfb::shared().display());
    std::string why;
    server = platform::X11WindowServer::open(loop, why);
    ASSERT_TRUE(server) << why;
    peer = std::make_unique<zarn::test::XPeer>(zarn::test::Xvfb::shared().display());
    ASSERT_TRUE(peer->dpy);
    // The pointer rests outside every window.
    peer->move({1000, 700});
  }

  // Runs the loop until cond() or 10 s (generous: CI machines are busy).
  bool runUntil(const std::function<bool()>& cond) { return loop.runUntil(cond, 10'000'000); }
  void settle(platform::WindowId w) {
    runUntil([&] { return !server->hasInvalidArea(w); });
    loop.runFor(60'000);
  }

  platform::RunLoop loop;
  std::unique_ptr<zarn::test::ScopedEnvironment> display;
  std::unique_ptr<platform::X11WindowServer> server;
  std::unique_ptr<zarn::test::XPeer> peer;
};

// What the X window shows is what the headless server's framebuffer holds
// for the same surface, pixel for pixel, also after a drag repainted part
// of it.
TEST_F(X11WindowServerTest, WindowShowsTheHeadlessSnapshotAndClicksAndDragsReachControls) {
  Surface s(*server);
  settle(s.window);
  zarn::test::XPeer& hand = *peer;
  // Drag the knob up 20 pixels; the pointer leaves the window meanwhile.
  hand.move(s.at(40, 60));
  hand.button(1, true);
  for (int dy = 4; dy <= 20; dy += 4) hand.move(s.at(40, 60 - dy));
  ASSERT_TRUE(runUntil([&] { return s.knob->value == 70; })) << s.knob->value;
  hand.move({1000, 10}); // outside: the drag goes on to the same control
  EXPECT_EQ(server->mouseLocation(), (ScreenPoint{1000, 10}));
  hand.button(1, false);
  runUntil([&] { return !s.knob->hasMouseCapture(); });
  EXPECT_EQ(s.knob->value, 100);
  EXPECT_FALSE(s.knob->hasMouseCapture());
  // Button 3 is a control-click with Ctrl as command; the wheel and the
  // middle button reach nobody.
  hand.key(XK_Control_L, true);
  hand.click(s.at(40, 100), 3);
  hand.key(XK_Control_L, false);
  for (unsigned b : {2u, 4u, 5u}) hand.click(s.at(40, 100), b);
  runUntil([&] { return s.knob->downs.size() >= 2; });
  loop.runFor(50'000);
  ASSERT_EQ(s.knob->downs.size(), 2u);
  EXPECT_EQ(s.knob->downs[1], gui::cControlBit | gui::cCommandBit);
  // Two quick clicks of button 1 make a double click; the button-3 click
  // before them was another button's.
  hand.click(s.at(40, 100));
  hand.click(s.at(40, 100));
  runUntil([&] { return s.knob->downs.size() >= 4; });
  ASSERT_EQ(s.knob->downs.size(), 4u);
  EXPECT_EQ(s.knob->downs[2], 0);
  EXPECT_EQ(s.knob->downs[3], gui::cDoubleClickBit);
  hand.move({1000, 700});
  settle(s.window);

  platform::HeadlessWindowServer headless(loop);
  std::vector<uint8_t> expected;
  {
    Surface h(headless);
    h.knob->value = 100;
    loop.runDue();
    for (int y = 0; y < cContent.height(); ++y)
      for (int x = 0; x < cContent.width(); ++x) {
        uint8_t rgb[3];
        headless.pixel(h.window, x, y, rgb);
        expected.insert(expected.end(), rgb, rgb + 3);
      }
  }
  platform::WindowServer::setCurrent(server.get());
  const auto shown = hand.rgb(server->xWindow(s.window), cContent.width(), cContent.height());
  ASSERT_EQ(shown.size(), expected.size());
  size_t differing = 0;
  for (size_t i = 0; i < shown.size(); ++i) differing += shown[i] != expected[i];
  EXPECT_EQ(differing, 0u);
  EXPECT_NE(expected[(60 * cContent.width() + 40) * 3], expected[(5 * cContent.width() + 5) * 3]);
}

// The preset menu opens on the press and consumes its release, opens its
// submenu on hover and chooses by click; the second time Escape cancels, and
// the third a click outside does, reaching nothing below.
TEST_F(X11WindowServerTest, MenusChooseByClickAndCancelByEscapeOrAClickOutside) {
  Surface s(*server);
  settle(s.window);
  const std::string name = zarn::test::Xvfb::shared().display();
  std::vector<size_t> panelsSeen;
  std::thread user([&] {
    zarn::test::XPeer hand(name);
    auto menus = hand.await([&] { return hand.grabbingPopups(); });
    hand.button(1, false); // the release of the opening press
    if (menus.empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const ScreenRect m = menus.back();
    hand.move({m.left + 30, m.top + 4 + 20 + 7 + 10}); // "Bank"
    menus = hand.await([&] { auto p = hand.popups(); return p.size() == 2 ? p : decltype(p){}; });
    panelsSeen.push_back(menus.size());
    if (menus.size() != 2) return;
    const ScreenRect sub = menus.back();
    hand.move({sub.left + 20, sub.top + 4 + 20 + 10}); // "Lead"
    hand.button(1, true);
    hand.button(1, false);
  });
  // Stands for the editor's event drain: nothing of the run loop runs while
  // a menu is open.
  const auto tick = loop.addTimer(10'000, 10'000, [&] { ++s.button->ticks; });
  peer->move(s.at(150, 28));
  peer->button(1, true);
  const bool chose = runUntil([&] { return !s.button->choice.empty(); });
  user.join();
  ASSERT_TRUE(chose);
  EXPECT_EQ(s.button->choice, "Lead");
  EXPECT_EQ(s.button->ticksDuringMenu, 0);
  loop.runFor(30'000);
  EXPECT_GT(s.button->ticks, 0);
  loop.removeTimer(tick);
  EXPECT_EQ(panelsSeen, std::vector<size_t>{2});
  EXPECT_TRUE(peer->popups().empty());

  s.button->choice.clear();
  std::thread escaper([&] {
    zarn::test::XPeer hand(name);
    hand.await([&] { return hand.grabbingPopups(); });
    hand.key(XK_Escape, true);
    hand.key(XK_Escape, false);
  });
  peer->click(s.at(150, 28));
  runUntil([&] { return s.button->menusShown == 2 && peer->popups().empty(); });
  escaper.join();

  std::thread outside([&] {
    zarn::test::XPeer hand(name);
    hand.await([&] { return hand.grabbingPopups(); });
    hand.click(s.at(40, 100)); // on the knob, under the menu's grab
  });
  peer->click(s.at(150, 28));
  runUntil([&] { return s.button->menusShown == 3 && peer->popups().empty(); });
  outside.join();
  loop.runFor(100'000);
  EXPECT_EQ(s.button->choice, "");
  EXPECT_TRUE(s.knob->downs.empty());
  // After the menus the window takes clicks again.
  peer->click(s.at(40, 100));
  EXPECT_TRUE(runUntil([&] { return s.knob->downs.size() == 1; }));
}

// The window manager's close reaches the owner's handler, also when it comes
// while an alert is up (then it waits for the alert), and the alert closes
// with its OK button.
TEST_F(X11WindowServerTest, CloseReachesTheOwnerAndWaitsForAnAlert) {
  const platform::WindowId w = server->createWindow(cContent, false, "closing");
  int closes = 0;
  server->setCloseHandler(w, [&] {
    ++closes;
    server->destroyWindow(w);
  });
  loop.runFor(50'000);
  const unsigned long xid = server->xWindow(w);
  const std::string name = zarn::test::Xvfb::shared().display();
  bool closedDuringAlert = true;
  std::thread user([&] {
    zarn::test::XPeer hand(name);
    const auto box = hand.await([&] { return hand.named("Zarn"); });
    if (!box) return;
    hand.closeWindow(xid);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    closedDuringAlert = closes > 0;
    hand.click({box->right - 16 - 36, box->bottom - 16 - 12});
  });
  server->alert("The preset could not be saved: the disk is full.");
  user.join();
  EXPECT_FALSE(closedDuringAlert);
  EXPECT_TRUE(runUntil([&] { return closes == 1; }));
  EXPECT_EQ(server->xWindow(w), 0u);
}

// Save and folder dialogs run zenity from the PATH as a child process and
// split its answer; a cancelled zenity is no answer. Without zenity they ask
// on the console.
TEST_F(X11WindowServerTest, DialogsAskZenityOrTheConsole) {
  zarn::test::TempDir dir;
  dir.write("bin/zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + dir.file("args") +
                              "\"\n[ -e \"" + dir.file("cancel") + "\" ] && exit 1\n"
                              "case \"$*\" in *--directory*) echo /tmp/sounds;;\n"
                              "  *) echo '/tmp/my presets/Warm Pad.qvp';; esac\n");
  std::filesystem::permissions(dir.file("bin/zenity"), std::filesystem::perms::owner_all);
  zarn::test::ScopedEnvironment path("PATH", dir.file("bin") + ":/usr/bin:/bin");
  const auto saved = server->askSaveName("/tmp/start");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->folder, "/tmp/my presets");
  EXPECT_EQ(saved->name, "Warm Pad.qvp");
  EXPECT_NE(dir.read("args").find("--save\n"), std::string::npos);
  EXPECT_NE(dir.read("args").find("--filename=/tmp/start/\n"), std::string::npos);
  EXPECT_EQ(server->askFolder("", "Choose the preset folder"), std::optional<std::string>("/tmp/sounds"));
  EXPECT_NE(dir.read("args").find("--title=Choose the preset folder\n"), std::string::npos);
  dir.write("cancel", "");
  EXPECT_FALSE(server->askSaveName("/tmp"));

  // Without zenity the console asks; a bare name is saved in the start folder.
  zarn::test::ScopedEnvironment bare("PATH", dir.file("none"));
  std::istringstream typed("Warm Pad.qvp\n" + dir.path() + "\n\n");
  std::streambuf* keyboard = std::cin.rdbuf(typed.rdbuf());
  const auto console = server->askSaveName("/tmp/start");
  const auto folder = server->askFolder("", "Choose the preset folder");
  const auto cancelled = server->askSaveName("/tmp/start");
  std::cin.rdbuf(keyboard);
  ASSERT_TRUE(console);
  EXPECT_EQ(console->folder, "/tmp/start");
  EXPECT_EQ(console->name, "Warm Pad.qvp");
  EXPECT_EQ(folder, std::optional<std::string>(dir.path()));
  EXPECT_FALSE(cancelled);
}

// The process's server: X11 where a display answers, headless when none
// does or ZARN_WINDOW says so, with the reason.
TEST_F(X11WindowServerTest, ServerIsChosenAtRunTime) {
  // Whatever the caller's environment forces, the test sets its own.
  zarn::test::ScopedEnvironment unforced("ZARN_WINDOW", std::nullopt);
  std::string why = "unset";
  auto chosen = platform::WindowServer::open(loop, &why);
  EXPECT_TRUE(dynamic_cast<platform::X11WindowServer*>(chosen.get()));
  EXPECT_EQ(why, "");
  {
    zarn::test::ScopedEnvironment forced("ZARN_WINDOW", "headless");
    chosen = platform::WindowServer::open(loop, &why);
    EXPECT_TRUE(dynamic_cast<platform::HeadlessWindowServer*>(chosen.get()));
    EXPECT_EQ(why, "ZARN_WINDOW=headless");
  }
  {
    zarn::test::ScopedEnvironment gone("DISPLAY", ":187");
    chosen = platform::WindowServer::open(loop, &why);
    EXPECT_TRUE(dynamic_cast<platform::HeadlessWindowServer*>(chosen.get()));
    EXPECT_EQ(why, "cannot open display :187");
  }
  zarn::test::ScopedEnvironment none("DISPLAY", std::nullopt);
  chosen = platform::WindowServer::open(loop, &why);
  EXPECT_TRUE(dynamic_cast<platform::HeadlessWindowServer*>(chosen.get()));
  EXPECT_EQ(why, "DISPLAY is not set");
}

} // namespace

namespace {

// A window that closes on its own press never sees that press's release;
// the next window still takes presses, drags and releases.
TEST_F(X11WindowServerTest, AWindowClosedByItsPressLeavesTheNextFree) {
  const platform::WindowId first = server->createWindow(cContent, false, "first");
  server->addMouseHandler(first, [&](const platform::MouseEvent&, const std::function<bool()>&) {
    server->destroyWindow(first);
    return true;
  });
  loop.runFor(50'000);
  peer->move({150, 100});
  peer->button(1, true);
  ASSERT_TRUE(runUntil([&] { return server->xWindow(first) == 0; }));
  const platform::WindowId second = server->createWindow(cContent.moved(300, 0), false, "second");
  std::vector<platform::MouseEvent::Kind> seen;
  server->addMouseHandler(second, [&](const platform::MouseEvent& e, const std::function<bool()>&) {
    seen.push_back(e.kind);
    return true;
  });
  loop.runFor(50'000);
  peer->button(1, false); // the first press's release, over nothing of ours
  peer->move({450, 100});
  peer->button(1, true);
  peer->move({460, 110});
  peer->button(1, false);
  EXPECT_TRUE(runUntil([&] { return seen.size() == 3; }));
  EXPECT_EQ(seen, (std::vector<platform::MouseEvent::Kind>{platform::MouseEvent::Kind::down,
                                                           platform::MouseEvent::Kind::dragged,
                                                           platform::MouseEvent::Kind::up}));
  server->destroyWindow(second);
}

} // namespace

namespace {

// A menu taller than the screen goes on in a second column, all of it on
// the screen, and an entry there is chosen by its own index.
TEST_F(X11WindowServerTest, ATallMenuFitsTheScreenInColumns) {
  platform::MenuEntry menu;
  for (int i = 0; i < 60; ++i) {
    platform::MenuEntry e;
    e.text = "Preset " + std::to_string(i);
    menu.children.push_back(e);
  }
  const std::string name = zarn::test::Xvfb::shared().display();
  ScreenRect shown;
  std::thread user([&] {
    zarn::test::XPeer hand(name);
    const auto panels = hand.await([&] { return hand.grabbingPopups(); });
    if (panels.empty()) return;
    shown = panels.back();
    hand.click({shown.right - 30, shown.top + 4 + 10}); // the top of the last column
  });
  const std::vector<int> chosen = server->popUpMenu(menu, {500, 600});
  user.join();
  EXPECT_GE(shown.top, 0);
  EXPECT_LE(shown.bottom, 768);
  EXPECT_EQ(chosen, std::vector<int>{38}); // (768 - 2 x 4) / 20 entries a column
}

} // namespace
