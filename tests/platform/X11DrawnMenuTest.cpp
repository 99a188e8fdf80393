// A menu its owner draws, shown by the X11 server: the screen shows the
// owner's port where the menu stands, moves are tracked (and the resting
// mouse too), the release of a press chooses, Escape cancels.

#include "tests/support/XPeer.h"

#include "platform/DrawPort.h"
#include "platform/X11WindowServer.h"
#include "tests/support/ModalWatchdog.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/Waiting.h"
#include "tests/support/Xvfb.h"

#include <X11/keysym.h>

#include <atomic>
#include <thread>

namespace {

using platform::ScreenPoint;
using platform::ScreenRect;

constexpr ScreenRect cFrame{300, 200, 400, 360}; // four rows of 40
const platform::PortColor cRow{0x2020, 0x8080, 0x2020}, cLit{0xF0F0, 0x4040, 0x1010};

// Four rows, the one under the mouse lit.
class Rows : public platform::WindowServer::DrawnMenu {
public:
  Rows() : pane(cFrame.width(), cFrame.height()) {
    pane.setOrigin(cFrame.left, cFrame.top);
    pane.clipRect(pane.bounds());
  }
  ScreenRect frame() override { return cFrame; }
  platform::DrawPort& port() override { return pane; }
  void draw() override {
    for (int i = 1; i <= 4; ++i) paint(i, i == lit);
  }
  int track(ScreenPoint mouse) override {
    ++tracks;
    const int item = cFrame.contains(mouse) ? (mouse.y - cFrame.top) / 40 + 1 : 0;
    if (item != lit) {
      if (lit) paint(lit, false);
      if (item) paint(item, true);
      lit = item;
    }
    return item;
  }
  std::vector<std::string> itemTexts() override { return {"one", "two", "three", "four"}; }
  int currentItem() override { return 1; }

  std::atomic<int> tracks{0};

private:
  void paint(int item, bool on) {
    pane.setForeColor(on ? cLit : cRow);
    const int top = cFrame.top + (item - 1) * 40;
    pane.paintRect({static_cast<int16_t>(top), static_cast<int16_t>(cFrame.left), static_cast<int16_t>(top + 39),
                    static_cast<int16_t>(cFrame.right)});
  }
  platform::DrawPort pane;
  int lit = 0;
};

bool Shows(zarn::test::XPeer& eye, ScreenPoint p, platform::PortColor c) {
  return zarn::test::eventually([&] {
    return eye.rgbAt(p) == std::vector<uint8_t>{uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8)};
  });
}

} // namespace

TEST(X11DrawnMenuTest, ScreenShowsThePortTracksTheMouseAndTheReleaseChooses) {
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  const std::string name = zarn::test::Xvfb::shared().display();
  zarn::test::ScopedEnvironment display("DISPLAY", name);
  platform::RunLoop loop;
  std::string why;
  auto server = platform::X11WindowServer::open(loop, why);
  ASSERT_TRUE(server) << why;
  // A menu the hand could not end ends after a minute, and fails the test.
  zarn::test::ModalWatchdog watchdog(loop, *server);
  zarn::test::XPeer peer(name);
  peer.move({150, 150});

  Rows rows;
  bool litThird = false, unlitFirst = false;
  int restingTracks = 0;
  std::thread user([&] {
    zarn::test::XPeer hand(name);
    if (hand.await([&] { return hand.grabbingPopups(); }).empty()) return;
    hand.move({cFrame.left + 50, cFrame.top + 100}); // the third row
    litThird = Shows(hand, {cFrame.left + 20, cFrame.top + 90}, cLit);
    unlitFirst = Shows(hand, {cFrame.left + 20, cFrame.top + 10}, cRow);
    // Resting, the mouse is still tracked (a cut menu scrolls so).
    const int before = rows.tracks;
    zarn::test::eventually([&] { return rows.tracks - before >= 2; });
    restingTracks = rows.tracks - before;
    hand.button(1, true);
    hand.button(1, false);
  });
  const int chosen = server->popUpDrawnMenu(rows);
  user.join();
  EXPECT_TRUE(litThird);
  EXPECT_TRUE(unlitFirst);
  EXPECT_GE(restingTracks, 2);
  EXPECT_EQ(chosen, 3);
  EXPECT_TRUE(zarn::test::eventually([&] { return peer.popups().empty(); }));

  // Escape cancels, once the menu holds the keyboard.
  Rows again;
  std::thread escaper([&] {
    zarn::test::XPeer hand(name);
    if (hand.await([&] { return hand.grabbingPopups(); }).empty()) return;
    hand.move({cFrame.left + 50, cFrame.top + 20});
    hand.key(XK_Escape, true);
    hand.key(XK_Escape, false);
  });
  EXPECT_EQ(server->popUpDrawnMenu(again), 0);
  escaper.join();
}
