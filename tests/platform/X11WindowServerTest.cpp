#include "platform/X11WindowServer.h"

#include "gui/Control.h"
#include "gui/MacInterface.h"
#include "gui/Menu.h"
#include "platform/DrawPort.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/KeyMap.h"
#include "tests/support/ModalWatchdog.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"
#include "tests/support/XPeer.h"
#include "tests/support/Xvfb.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <iostream>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <csignal>

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
  int clicks = 0;
  void click() override {
    ++clicks;
    gui::Control::click();
  }

protected:
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    downs.push_back(s);
    armed = true;
    gui::Control::mouseDown(b, p, s);
  }
  // As a button: only the release of its own press may click it.
  void mouseUp(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    if (!armed) return;
    armed = false;
    gui::Control::mouseUp(b, p, s);
  }
  void paint(const gui::Canvas& c) override {
    c.fillRect(clientRect, face);
    c.fillRect(gui::Rect(0, 0, clientRect.width(), 1), gui::Color(255, 255, 255, 90));
  }
  gui::Color face;
  bool armed = false;
};

class Knob : public Block {
public:
  using Block::Block;
  int value = 50;
  std::vector<gui::ShiftState> moves;

protected:
  void mouseDown(gui::MouseButton b, const gui::Point& p, gui::ShiftState s) override {
    Block::mouseDown(b, p, s);
    grabY = p.y;
    grabValue = value;
  }
  void mouseMove(const gui::Point& p, gui::ShiftState s) override {
    if (!mouseCaptured) return;
    moves.push_back(s);
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
    watchdog = std::make_unique<zarn::test::ModalWatchdog>(loop, *server);
    peer = std::make_unique<zarn::test::XPeer>(zarn::test::Xvfb::shared().display());
    ASSERT_TRUE(peer->dpy);
    // The pointer rests outside every window.
    peer->move({1000, 700});
  }

  // Runs the loop until cond() or 10 s (generous: CI machines are busy).
  bool runUntil(const std::function<bool()>& cond) { return loop.runUntil(cond, 10'000'000); }
  // Until the window is painted and shown: input at its place reaches it.
  void settle(platform::WindowId w) {
    EXPECT_TRUE(runUntil([&] { return !server->hasInvalidArea(w) && peer->viewable(server->xWindow(w)); }));
  }

  platform::RunLoop loop;
  std::unique_ptr<zarn::test::ScopedEnvironment> display;
  std::unique_ptr<platform::X11WindowServer> server;
  std::unique_ptr<zarn::test::XPeer> peer;
  // A menu the hand could not end ends after a minute, and fails the test.
  std::unique_ptr<zarn::test::ModalWatchdog> watchdog;
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
  // Shift, Alt and the logo key come along as shift, option and control.
  const int clicks = s.knob->clicks;
  for (KeySym k : {XK_Shift_L, XK_Alt_L, XK_Super_L}) hand.key(k, true);
  hand.click(s.at(40, 60)); // too far from the last for a double click
  for (KeySym k : {XK_Shift_L, XK_Alt_L, XK_Super_L}) hand.key(k, false);
  // A press of button 3 while button 1 is held belongs to that press: the
  // knob hears one press and one release.
  hand.button(1, true);
  hand.button(3, true);
  hand.button(3, false);
  hand.button(1, false);
  runUntil([&] { return s.knob->clicks >= clicks + 2; });
  loop.runFor(50'000);
  ASSERT_EQ(s.knob->downs.size(), 6u);
  EXPECT_EQ(s.knob->downs[4], gui::cShiftBit | gui::cOptionBit | gui::cControlBit);
  EXPECT_EQ(s.knob->downs[5], gui::cDoubleClickBit);
  EXPECT_EQ(s.knob->clicks, clicks + 2);
  // A click longer than the double-click time (half a second) after the
  // last is a click of its own.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  hand.click(s.at(40, 60));
  runUntil([&] { return s.knob->downs.size() >= 7 && !s.knob->hasMouseCapture(); });
  ASSERT_EQ(s.knob->downs.size(), 7u);
  EXPECT_EQ(s.knob->downs[6], 0);
  const size_t moves = s.knob->moves.size();
  // A drag with button 3 and Shift held is a control-drag with shift.
  hand.key(XK_Shift_L, true);
  hand.button(3, true);
  hand.move(s.at(40, 50));
  hand.button(3, false);
  hand.key(XK_Shift_L, false);
  runUntil([&] { return s.knob->downs.size() >= 8 && s.knob->moves.size() > moves && !s.knob->hasMouseCapture(); });
  ASSERT_EQ(s.knob->downs.size(), 8u);
  // The drag and the release reach the knob with both.
  ASSERT_GE(s.knob->moves.size(), moves + 2);
  for (size_t i = moves; i < s.knob->moves.size(); ++i)
    EXPECT_EQ(s.knob->moves[i], gui::cShiftBit | gui::cControlBit) << i;
  // The keyboard as a reader of the key map finds it: Shift (code 56) was
  // down through the drag, and is up once an event comes without it.
  auto shiftDown = [] {
    platform::KeyMap keys;
    platform::getKeys(keys);
    return (keys.bytes[56 / 8] >> (56 % 8)) & 1;
  };
  EXPECT_TRUE(shiftDown());
  hand.move({1000, 700}); // the leave comes without it
  EXPECT_TRUE(runUntil([&] { return !shiftDown(); }));
  // Either button held is still down.
  for (unsigned b : {1u, 3u}) {
    hand.button(b, true);
    EXPECT_TRUE(server->buttonStillDown()) << b;
    hand.button(b, false);
    EXPECT_FALSE(server->buttonStillDown()) << b;
  }

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
  // The display may still be drawing what the server sent it.
  size_t differing = expected.size();
  zarn::test::eventually([&] {
    const auto shown = hand.rgb(server->xWindow(s.window), cContent.width(), cContent.height());
    differing = shown.size() == expected.size() ? 0 : expected.size();
    for (size_t i = 0; i < shown.size() && i < expected.size(); ++i) differing += shown[i] != expected[i];
    return differing == 0;
  });
  EXPECT_EQ(differing, 0u);
  EXPECT_NE(expected[(60 * cContent.width() + 40) * 3], expected[(5 * cContent.width() + 5) * 3]);
}

// The preset menu opens on the press and consumes its release, opens its
// submenu on hover and chooses by click; the second time Escape cancels, and
// the third a click outside does, reaching nothing below. While it is open
// the run loop's timers go on and what they change is painted.
TEST_F(X11WindowServerTest, MenusChooseByClickAndCancelByEscapeOrAClickOutside) {
  Surface s(*server);
  settle(s.window);
  const std::string name = zarn::test::Xvfb::shared().display();
  const unsigned long xid = server->xWindow(s.window);
  std::vector<size_t> panelsSeen;
  std::set<std::vector<uint8_t>> knobLooksUnderMenu;
  std::thread user([&] {
    zarn::test::XPeer hand(name);
    auto menus = hand.await([&] { return hand.grabbingPopups(); });
    hand.button(1, false); // the release of the opening press
    if (menus.empty()) return;
    // The knob, which the timer fills and empties, as the screen shows it.
    for (int i = 0; i < 400 && (i < 12 || knobLooksUnderMenu.size() < 2); ++i) {
      const auto rgb = hand.rgb(xid, 41, 41);
      knobLooksUnderMenu.insert({rgb.end() - 3, rgb.end()});
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_FALSE(hand.popups().empty());
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
  // Stands for the editor's lights: a timer that fills and empties the knob.
  const auto tick = loop.addTimer(10'000, 10'000, [&] {
    ++s.button->ticks;
    s.knob->value = s.button->ticks % 2 ? 100 : 0;
    s.knob->invalidate();
  });
  peer->move(s.at(150, 28));
  peer->button(1, true);
  const bool chose = runUntil([&] { return !s.button->choice.empty(); });
  user.join();
  ASSERT_TRUE(chose);
  EXPECT_EQ(s.button->choice, "Lead");
  EXPECT_GT(s.button->ticksDuringMenu, 10);
  EXPECT_EQ(knobLooksUnderMenu.size(), 2u);
  loop.runFor(30'000);
  EXPECT_GT(s.button->ticks, 0);
  loop.removeTimer(tick);
  EXPECT_EQ(panelsSeen, std::vector<size_t>{2});
  EXPECT_TRUE(zarn::test::eventually([&] { return peer->popups().empty(); }));

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

// A click whose press and release wait in the queue together (a quick
// hand, a busy machine) is a click, every time; so is a slow one.
TEST_F(X11WindowServerTest, AQuickClickIsAClick) {
  Surface s(*server);
  settle(s.window);
  for (int i = 0; i < 12; ++i) {
    // Both events reach the display before the loop looks.
    peer->click(s.at(30 + i % 2 * 20, 100));
    loop.runUntil([&] { return s.knob->clicks == i + 1; }, 2'000'000);
  }
  // A busy machine may still be handling the last.
  runUntil([&] { return s.knob->clicks >= 12; });
  EXPECT_EQ(s.knob->clicks, 12);
  peer->button(1, true);
  runUntil([&] { return s.knob->downs.size() == 13; });
  peer->button(1, false);
  EXPECT_TRUE(runUntil([&] { return s.knob->clicks == 13; }));
}

// A pass of the loop that sent nothing skips asking the display, but an
// event Xlib has already read off the connection (a flush or a reply read
// it, so the socket no longer wakes the loop) is handled on the next pass.
TEST_F(X11WindowServerTest, AClickXlibHasAlreadyReadIsHandledOnTheNextPass) {
  Surface s(*server);
  settle(s.window);
  _XDisplay* d = server->display();
  for (int i = 1; i <= 3; ++i) {
    peer->click(s.at(40, 100));
    // The events move into Xlib's queue without a request going out.
    const unsigned long before = XNextRequest(d);
    for (int wait = 0; wait < 1000 && XEventsQueued(d, QueuedAfterReading) < 2; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(XEventsQueued(d, QueuedAlready), 2);
    ASSERT_EQ(XNextRequest(d), before);
    EXPECT_TRUE(loop.runUntil([&] { return s.knob->clicks == i; }, 3'000'000)) << i;
  }
}

// An idle window polls the pointer for hovering: the window's own events
// tell where it is, moving over the window and leaving it, so the polls ask
// the display nothing (no request goes out). A held button or a menu makes
// them ask again.
TEST_F(X11WindowServerTest, HoveringFollowsThePointerFromTheWindowsEventsWithoutAskingTheDisplay) {
  Surface s(*server);
  settle(s.window);
  _XDisplay* d = server->display();
  // True once a poll answers p without sending a request.
  const auto answeredFromEvents = [&](ScreenPoint p) {
    return runUntil([&] {
      const unsigned long before = XNextRequest(d);
      const ScreenPoint h = server->hoverLocation();
      return XNextRequest(d) == before && h == p;
    });
  };
  for (ScreenPoint p : {s.at(40, 60), s.at(41, 61), s.at(200, 120), ScreenPoint{900, 650}, s.at(10, 10)}) {
    peer->move(p);
    EXPECT_TRUE(answeredFromEvents(p)) << p.x << "," << p.y;
  }
  // While the button is held (a drag on the knob) the display is asked.
  peer->move(s.at(30, 40));
  peer->button(1, true);
  ASSERT_TRUE(runUntil([&] { return s.knob->downs.size() == 1; }));
  peer->move(s.at(35, 50));
  loop.runFor(100'000);
  const unsigned long before = XNextRequest(d);
  EXPECT_EQ(server->hoverLocation(), s.at(35, 50));
  EXPECT_NE(XNextRequest(d), before);
  peer->button(1, false);
  EXPECT_TRUE(answeredFromEvents(s.at(35, 50)));
}

// A press on the preset button opens its menu; dragged onto an entry and
// released there after a while, it chooses that entry. Released where it
// was pressed, it leaves the menu open for a click.
TEST_F(X11WindowServerTest, APressDraggedOntoAMenuEntryChoosesIt) {
  Surface s(*server);
  settle(s.window);
  const std::string name = zarn::test::Xvfb::shared().display();
  std::thread user([&] {
    zarn::test::XPeer hand(name);
    auto menus = hand.await([&] { return hand.grabbingPopups(); });
    if (menus.empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // past the double-click time
    hand.move({menus[0].left + 30, menus[0].top + 4 + 10}); // "Init"
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    hand.button(1, false);
    // A menu that stays open is dismissed, so the test ends (choosing nothing).
    if (!zarn::test::eventually([&] { return hand.popups().empty(); })) {
      hand.key(XK_Escape, true);
      hand.key(XK_Escape, false);
    }
  });
  peer->move(s.at(150, 28));
  peer->button(1, true);
  EXPECT_TRUE(runUntil([&] { return !s.button->choice.empty(); }));
  user.join();
  EXPECT_EQ(s.button->choice, "Init");
  EXPECT_TRUE(zarn::test::eventually([&] { return peer->popups().empty(); }));

  s.button->choice.clear();
  std::vector<ScreenRect> stillOpen;
  bool litAfterRelease = false;
  std::thread slowClick([&] {
    zarn::test::XPeer hand(name);
    auto menus = hand.await([&] { return hand.grabbingPopups(); });
    if (menus.empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    hand.button(1, false); // where it was pressed
    // The menu lights the entry the pointer moves onto next, after it has
    // handled the release: the left margin of "Init" turns the hover blue.
    const ScreenPoint init{menus[0].left + 30, menus[0].top + 4 + 10};
    hand.move(init);
    litAfterRelease = zarn::test::eventually(
        [&] { return hand.rgbAt({menus[0].left + 5, init.y}) == std::vector<uint8_t>{52, 104, 168}; });
    stillOpen = hand.popups();
    hand.click(init);
  });
  peer->move(s.at(150, 28));
  peer->button(1, true);
  EXPECT_TRUE(runUntil([&] { return !s.button->choice.empty(); }));
  slowClick.join();
  EXPECT_TRUE(litAfterRelease);
  EXPECT_EQ(stillOpen.size(), 1u);
  EXPECT_EQ(s.button->choice, "Init");
}

// A close asked for while a menu, an alert or a dialog is up cancels it
// (a dialog's program is ended) and then reaches the owner, once the modal
// has returned; so does cancelModal() from the loop, as a termination
// signal does, and a modal opened before the loop is back is cancelled too.
TEST_F(X11WindowServerTest, ACloseOrACancelEndsAMenuAnAlertOrADialogAndComesAfter) {
  const platform::WindowId w = server->createWindow(cContent, false, "closing");
  int closes = 0;
  server->setCloseHandler(w, [&] { ++closes; });
  loop.runFor(50'000);
  const unsigned long xid = server->xWindow(w);
  const std::string name = zarn::test::Xvfb::shared().display();
  // The hand closes the window once it sees the modal, and says whether it
  // did: a close sent after it gave up would end a modal that never showed
  // (or came back at once) with the same answer.
  bool seen = false;
  auto closer = [&](std::function<bool(zarn::test::XPeer&)> shown) {
    seen = false;
    return std::thread([&, shown] {
      zarn::test::XPeer hand(name);
      seen = zarn::test::eventually([&] { return shown(hand); });
      hand.closeWindow(xid);
    });
  };

  std::thread user = closer([](zarn::test::XPeer& hand) { return hand.named("Zarn").has_value(); });
  server->alert("The preset could not be saved: the disk is full.");
  user.join();
  EXPECT_TRUE(seen) << "the alert never showed";
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(runUntil([&] { return closes == 1; }));
  // Another client sees the box go once the server has caught up.
  EXPECT_TRUE(zarn::test::eventually([&] { return !peer->named("Zarn"); })) << "the alert's window stayed";

  platform::MenuEntry menu, entry;
  entry.text = "Entry";
  menu.children.resize(3, entry);
  user = closer([](zarn::test::XPeer& hand) { return !hand.grabbingPopups().empty(); });
  EXPECT_TRUE(server->popUpMenu(menu, {300, 300}).empty());
  user.join();
  EXPECT_TRUE(seen) << "the menu never took the pointer and the keyboard";
  EXPECT_TRUE(runUntil([&] { return closes == 2; }));
  EXPECT_TRUE(zarn::test::eventually([&] { return peer->popups().empty(); })) << "the menu stayed";

  // The dialog's program waits for ever; it says where it runs.
  zarn::test::TempDir dir;
  dir.write("bin/zenity", "#!/bin/sh\necho $$ > \"" + dir.file("pid") + ".tmp\"\nmv \"" + dir.file("pid") +
                              ".tmp\" \"" + dir.file("pid") + "\"\nexec sleep 60\n");
  std::filesystem::permissions(dir.file("bin/zenity"), std::filesystem::perms::owner_all);
  zarn::test::ScopedEnvironment path("PATH", dir.file("bin") + ":/usr/bin:/bin");
  user = closer([&](zarn::test::XPeer&) { return !dir.read("pid").empty(); });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(server->askSaveName("/tmp", ".qvp"));
  user.join();
  ASSERT_TRUE(seen) << "the dialog's program never started";
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  const pid_t dialog = std::stoi(dir.read("pid"));
  EXPECT_NE(kill(dialog, 0), 0); // ended and reaped
  EXPECT_TRUE(runUntil([&] { return closes == 3; }));

  // A cancel from the loop (a signal's watch) ends a menu; a dialog opened
  // before the loop is back is cancelled at once.
  std::atomic<bool> menuSeen{false};
  std::thread chooser([&] {
    zarn::test::XPeer hand(name);
    const auto panels = hand.await([&] { return hand.grabbingPopups(); });
    menuSeen = !panels.empty();
    // Should the cancel never come, the test ends anyway: the hand chooses
    // an entry, which is no cancel.
    if (menuSeen && !zarn::test::eventually([&] { return hand.popups().empty(); }))
      hand.click({panels[0].left + 30, panels[0].top + 4 + 10});
  });
  // The cancel comes from the loop once the hand has seen the menu.
  bool cancelled = false;
  const auto signal = loop.addTimer(10'000, 10'000, [&] {
    if (!menuSeen || cancelled) return;
    cancelled = true;
    server->cancelModal();
  });
  bool dialogAnswered = true;
  std::optional<std::string> folderAnswer;
  loop.addTimer(0, 0, [&] {
    dialogAnswered = !server->popUpMenu(menu, {300, 300}).empty();
    dir.write("pid", "");
    folderAnswer = server->askFolder("/tmp", "Presets");
  });
  loop.runFor(100'000);
  chooser.join();
  loop.removeTimer(signal);
  EXPECT_TRUE(menuSeen) << "the menu never took the pointer and the keyboard";
  EXPECT_FALSE(dialogAnswered);
  EXPECT_FALSE(folderAnswer);
  EXPECT_EQ(dir.read("pid"), ""); // never started
  EXPECT_EQ(closes, 3);
  server->destroyWindow(w);
}

// A drawn menu of one item over its whole frame.
class OneItem : public platform::WindowServer::DrawnMenu {
public:
  explicit OneItem(ScreenRect frame) : area(frame), pane(frame.width(), frame.height()) {
    pane.setOrigin(frame.left, frame.top);
    pane.clipRect(pane.bounds());
  }
  ScreenRect frame() override { return area; }
  platform::DrawPort& port() override { return pane; }
  void draw() override {}
  int track(ScreenPoint mouse) override { return area.contains(mouse) ? 1 : 0; }
  std::vector<std::string> itemTexts() override { return {"one"}; }
  int currentItem() override { return 1; }

private:
  ScreenRect area;
  platform::DrawPort pane;
};

// A window destroyed, and a menu, a drawn menu or an alert that has
// returned, is gone for every client of the display as the call returns,
// not once the display gets round to it: the display has handled every
// request the call sent, and another client asking at once finds no such
// window. (The other client alone would not tell a call that only flushed
// the destruction: the display nearly always handles it before the question
// that follows. Such a call is told by the first look, unless the display
// happened to answer before the call returned, when the window was gone
// after all.)
TEST_F(X11WindowServerTest, WhatACallTookDownIsGoneForEveryClientWhenItReturns) {
  const std::string name = zarn::test::Xvfb::shared().display();
  _XDisplay* d = server->display();
  // The hand passes 1 once it has found the call's windows, before it ends
  // the call as a user would.
  zarn::test::Baton found;
  platform::WindowId doomed = 0;
  OneItem drawn({300, 200, 400, 260});
  platform::MenuEntry menu, entry;
  entry.text = "Entry";
  menu.children.resize(3, entry);
  const auto awaitMenus = [](zarn::test::XPeer& hand) {
    return hand.await([&] { return hand.grabbingPopups(); }).empty() ? std::vector<::Window>{}
                                                                      : hand.popupWindows();
  };
  const auto clickFirst = [](zarn::test::XPeer& hand) {
    const auto open = hand.popups();
    if (!open.empty()) hand.click({open[0].left + 30, open[0].top + 4 + 10});
  };
  struct Case {
    const char* what;
    // On the hand's thread: the X ids of the windows the call shows, none
    // when they never show; then what ends the call.
    std::function<std::vector<::Window>(zarn::test::XPeer&)> find;
    std::function<void(zarn::test::XPeer&)> end;
    // On the test's thread: the call, and what it answered.
    std::function<int()> call;
    int answer;
  };
  const Case cases[] = {
      {"a window destroyed",
       [](zarn::test::XPeer& hand) {
         std::optional<::Window> w;
         zarn::test::eventually([&] { return (w = hand.namedWindow("doomed")).has_value(); });
         return w ? std::vector<::Window>{*w} : std::vector<::Window>{};
       },
       [](zarn::test::XPeer&) {},
       [&] {
         doomed = server->createWindow(cContent, false, "doomed");
         found.awaitValue(1);
         server->destroyWindow(doomed);
         return 0;
       },
       0},
      {"a menu", awaitMenus, clickFirst,
       [&] {
         const std::vector<int> chosen = server->popUpMenu(menu, {300, 300});
         return chosen.size() == 1 ? chosen[0] + 1 : -1;
       },
       1},
      {"a drawn menu", awaitMenus, clickFirst, [&] { return server->popUpDrawnMenu(drawn); }, 1},
      {"an alert",
       [](zarn::test::XPeer& hand) {
         std::optional<::Window> w;
         zarn::test::eventually([&] { return (w = hand.namedWindow("Zarn")).has_value(); });
         return w ? std::vector<::Window>{*w} : std::vector<::Window>{};
       },
       [](zarn::test::XPeer& hand) {
         // The OK button, at the box's bottom right.
         if (const auto box = hand.named("Zarn")) hand.click({box->right - 16 - 36, box->bottom - 16 - 12});
       },
       [&] {
         server->alert("The preset was saved.");
         return 0;
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    found.pass(0);
    std::vector<::Window> shown;
    std::thread hand([&] {
      zarn::test::XPeer h(name);
      shown = c.find(h);
      found.pass(1);
      if (!shown.empty()) c.end(h);
    });
    const int answer = c.call();
    // At once: nothing waits or runs the loop between the return and these.
    const bool allHandled = XLastKnownRequestProcessed(d) + 1 == XNextRequest(d);
    const bool told = found.awaitValue(1, std::chrono::milliseconds(0));
    std::vector<::Window> left;
    for (::Window w : told ? shown : std::vector<::Window>{})
      if (peer->exists(w)) left.push_back(w);
    hand.join();
    EXPECT_EQ(answer, c.answer);
    EXPECT_FALSE(shown.empty()) << "the hand never found it";
    EXPECT_TRUE(told);
    EXPECT_TRUE(allHandled) << "the call returned before the display handled what it sent";
    EXPECT_TRUE(left.empty()) << left.size() << " of its windows still there";
  }
}

namespace {

// Standard input from a pipe for the test's life; `type` writes into it.
class TypedInput {
public:
  TypedInput() {
    saved = dup(STDIN_FILENO);
    if (pipe(ends) == 0) dup2(ends[0], STDIN_FILENO);
  }
  ~TypedInput() {
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(ends[0]);
    if (ends[1] >= 0) close(ends[1]);
  }
  void type(const std::string& text) { EXPECT_EQ(write(ends[1], text.data(), text.size()), ssize_t(text.size())); }
  void end() {
    close(ends[1]);
    ends[1] = -1;
  }

private:
  int saved = -1;
  int ends[2] = {-1, -1};
};

} // namespace

// Save and folder dialogs run zenity from the PATH as a child process and
// split its answer; a cancelled zenity is no answer. The save dialog offers
// the file types, adds the extension to the name typed and asks before the
// file with it is replaced (zenity itself asks only about the name as
// typed); a "no" shows the dialog again.
TEST_F(X11WindowServerTest, DialogsAskZenityAndBeforeReplacingAFile) {
  zarn::test::TempDir dir;
  dir.write("presets/Test.qvp", "kept");
  // Answers in turn from the files answer1, answer2...; a missing one cancels.
  dir.write("bin/zenity", "#!/bin/sh\nn=$(cat \"" + dir.file("count") + "\" 2>/dev/null || echo 0)\n"
                          "n=$((n + 1)); echo $n > \"" + dir.file("count") + "\"\n"
                          "printf '%s\\n' \"$@\" > \"" + dir.file("args") + "$n\"\n"
                          "[ -e \"" + dir.file("answer") + "$n\" ] || exit 1\n"
                          "cat \"" + dir.file("answer") + "$n\"\n"
                          "[ \"$(cat \"" + dir.file("answer") + "$n\")\" = no ] && exit 1\nexit 0\n");
  std::filesystem::permissions(dir.file("bin/zenity"), std::filesystem::perms::owner_all);
  zarn::test::ScopedEnvironment path("PATH", dir.file("bin") + ":/usr/bin:/bin");
  const std::string presets = dir.file("presets");
  const std::string filter = "Quorvane Presets (*.qvp)|*.qvp|All Files (*.*)|*.*";

  // "Test" over Test.qvp: asked, refused, asked for a name again, "Test" again, replaced.
  dir.write("answer1", presets + "/Test\n");
  dir.write("answer2", "no");
  dir.write("answer3", presets + "/Test\n");
  dir.write("answer4", "\n");
  auto saved = server->askSaveName(presets, ".qvp", filter);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->folder, presets);
  EXPECT_EQ(saved->name, "Test.qvp");
  EXPECT_EQ(dir.read("count"), "4\n");
  const std::string first = dir.read("args1");
  EXPECT_NE(first.find("--save\n"), std::string::npos);
  EXPECT_NE(first.find("--filename=" + presets + "/\n"), std::string::npos);
  EXPECT_NE(first.find("--file-filter=Quorvane Presets (*.qvp) | *.qvp\n--file-filter=All Files (*.*) | *\n"),
            std::string::npos)
      << first;
  EXPECT_NE(dir.read("args2").find("--question\n"), std::string::npos);
  EXPECT_NE(dir.read("args2").find("\"Test.qvp\" already exists"), std::string::npos);
  EXPECT_NE(dir.read("args3").find("--filename=" + presets + "/Test\n"), std::string::npos);

  // A name typed with the extension was asked about by zenity; a new name
  // is not asked about; a cancel is no answer.
  std::filesystem::remove(dir.file("count"));
  dir.write("answer1", presets + "/Test.qvp\n");
  dir.write("answer2", presets + "/Warm Pad\n");
  std::filesystem::remove(dir.file("answer3"));
  saved = server->askSaveName(presets, ".qvp", filter);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->name, "Test.qvp");
  saved = server->askSaveName(presets, ".qvp", filter);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->name, "Warm Pad.qvp");
  EXPECT_FALSE(server->askSaveName(presets, ".qvp", filter));
  EXPECT_EQ(dir.read("count"), "3\n");

  std::filesystem::remove(dir.file("count"));
  dir.write("answer1", "/tmp/sounds\n");
  EXPECT_EQ(server->askFolder("", "Choose the preset folder"), std::optional<std::string>("/tmp/sounds"));
  EXPECT_NE(dir.read("args1").find("--title=Choose the preset folder\n"), std::string::npos);
}

// Without zenity the console asks, one line from standard input each, and
// the loop goes on meanwhile: timers fire and windows paint while nothing
// is typed. A bare name is saved in the start folder; an existing file is
// replaced only on "y".
TEST_F(X11WindowServerTest, TheConsoleAsksWithoutHoldingTheLoop) {
  zarn::test::TempDir dir;
  dir.write("Test.qvp", "kept");
  zarn::test::ScopedEnvironment bare("PATH", dir.file("none"));
  TypedInput keyboard;
  std::atomic<int> ticks{0};
  const auto tick = loop.addTimer(10'000, 10'000, [&] { ticks.fetch_add(1); });
  // Typed once the loop has gone on a while (or after the deadline, should
  // it never): the old blocking read would wait here with the loop held.
  std::thread typist([&] {
    zarn::test::eventually([&] { return ticks.load() > 10; });
    keyboard.type("Warm Pad\n");
  });
  auto console = server->askSaveName(dir.path(), ".qvp");
  typist.join();
  EXPECT_GT(ticks.load(), 10);
  ASSERT_TRUE(console);
  EXPECT_EQ(console->folder, dir.path());
  EXPECT_EQ(console->name, "Warm Pad.qvp");

  keyboard.type("Test\nn\nTest\ny\n" + dir.path() + "\n\n");
  console = server->askSaveName(dir.path(), ".qvp");
  const auto folder = server->askFolder("", "Choose the preset folder");
  const auto cancelled = server->askSaveName("/tmp/start");
  ASSERT_TRUE(console);
  EXPECT_EQ(console->name, "Test.qvp");
  EXPECT_EQ(folder, std::optional<std::string>(dir.path()));
  EXPECT_FALSE(cancelled);
  keyboard.end();
  EXPECT_FALSE(server->askSaveName("/tmp/start"));
  loop.removeTimer(tick);
}

// On the console, what is typed is found where the question says: a path
// like "Bass/Acid Bass" within the folder offered (not the folder the
// program was started from), one from / as it stands. A folder that does
// not exist is answered as typed, so the editor can say what is wrong with
// it, as it does with zenity's answer, instead of taking it for a cancel.
TEST_F(X11WindowServerTest, TheConsoleFindsWhatIsTypedInTheFolderItNames) {
  zarn::test::TempDir dir;
  dir.write("presets/Bass/Sub Bass.qvp", "kept");
  dir.write("elsewhere/x", "");
  zarn::test::ScopedEnvironment bare("PATH", dir.file("none"));
  const std::string presets = dir.file("presets");
  // Started from another folder, which holds a Bass folder of its own.
  std::filesystem::create_directories(dir.file("elsewhere/Bass"));
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(dir.file("elsewhere"));
  struct Back {
    std::filesystem::path to;
    ~Back() { std::filesystem::current_path(to); }
  } back{started};

  TypedInput keyboard;
  keyboard.type("Bass/Acid Bass\n" + dir.file("elsewhere") + "/Bass/Mine\nLeads\nBass\n/no/such/folder\n");
  const auto relative = server->askSaveName(presets, ".qvp");
  const auto absolute = server->askSaveName(presets, ".qvp");
  const auto missing = server->askFolder(presets, "Choose the preset folder");
  const auto existing = server->askFolder(presets, "Choose the preset folder");
  const auto rooted = server->askFolder(presets, "Choose the preset folder");
  keyboard.end();
  ASSERT_TRUE(relative);
  EXPECT_EQ(relative->folder, presets + "/Bass");
  EXPECT_EQ(relative->name, "Acid Bass.qvp");
  ASSERT_TRUE(absolute);
  EXPECT_EQ(absolute->folder, dir.file("elsewhere") + "/Bass");
  EXPECT_EQ(absolute->name, "Mine.qvp");
  EXPECT_EQ(missing, std::optional<std::string>(presets + "/Leads"));
  EXPECT_EQ(existing, std::optional<std::string>(presets + "/Bass"));
  EXPECT_EQ(rooted, std::optional<std::string>("/no/such/folder"));
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
  ASSERT_TRUE(runUntil([&] { return peer->viewable(server->xWindow(first)); }));
  peer->move({150, 100});
  peer->button(1, true);
  ASSERT_TRUE(runUntil([&] { return server->xWindow(first) == 0; }));
  const platform::WindowId second = server->createWindow(cContent.moved(300, 0), false, "second");
  std::vector<platform::MouseEvent::Kind> seen;
  server->addMouseHandler(second, [&](const platform::MouseEvent& e, const std::function<bool()>&) {
    seen.push_back(e.kind);
    return true;
  });
  ASSERT_TRUE(runUntil([&] { return peer->viewable(server->xWindow(second)); }));
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
