#include "tests/gui/GuiScene.h"

#include <gtest/gtest.h>

using zarn::test::GuiScene;
using zarn::test::Probe;

class MacInterfaceTest : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(WindowKinds, MacInterfaceTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Compositing" : "NonCompositing"; });

// The host's own handlers see every press unchanged after the root's; when
// the host swallows the release in its own tracking loop, the pressed
// control still gets one release, at (-1, -1), and no click; a press outside
// the view reaches the root only and clicks nothing.
TEST_P(MacInterfaceTest, ReleasesLostToTheHostAndPressesOutsideTheView) {
  GuiScene s(GetParam());
  Probe knob(s.ui, &s.log, "K", s.root, gui::Rect(40, 30, 80, 70));
  bool swallow = true;
  s.server.setHostHandler(s.window, [&](const platform::MouseEvent& e) {
    if (swallow && e.kind == platform::MouseEvent::Kind::down) s.server.consumeRelease();
    return false;
  });
  s.server.press(s.at(50, 40), platform::kCommandKey | platform::kControlKey);
  s.server.release(s.at(50, 40)); // consumed by the host
  EXPECT_EQ(s.log, (std::vector<std::string>{"K enter", "K move 10,10 s132", "K down 10,10 s132 captured",
                                             "K up -1,-1 s132"}));
  EXPECT_EQ(s.root->getCaptureControl(), s.root);
  EXPECT_EQ(s.root->getMouseState(), 1);
  ASSERT_EQ(s.server.hostEvents(s.window).size(), 1u);
  EXPECT_EQ(s.server.hostEvents(s.window)[0].global, s.at(50, 40));

  swallow = false;
  s.log.clear();
  s.root->hint = "root";
  const platform::ScreenPoint outside{s.at(-10, -10)}; // in the host's window, left of the view
  s.server.press(outside);
  s.server.release(outside);
  EXPECT_EQ(s.log, std::vector<std::string>{"K leave"});
  EXPECT_EQ(s.server.hostEvents(s.window).back().global, outside);
  EXPECT_EQ(s.server.hostEvents(s.window).size(), 3u);
  EXPECT_EQ(s.root->getCaptureControl(), s.root);
}

// Hovering: leaving the view gives exactly one leave within 50 ms, and a
// mouse at rest gives no further moves.
TEST_P(MacInterfaceTest, HoverPollLeavesOnceAndRestsQuietly) {
  GuiScene s(GetParam());
  Probe p(s.ui, &s.log, "P", s.root, gui::Rect(0, 0, 300, 200));
  s.server.move(s.at(299, 199));
  s.runMs(50);
  s.server.move(s.at(300, 199)); // just outside
  s.runMs(50);
  s.runMs(1000);
  EXPECT_EQ(s.log, (std::vector<std::string>{"P enter", "P move 299,199", "P leave"}));
  EXPECT_EQ(s.root->getMouseState(), 0);
}

// What the user sees stays current: a root drawn at half opacity keeps
// showing each new colour (its opacity is not compounded repaint after
// repaint), and what a control invalidates while the tree paints is painted
// on the next update instead of being lost.
TEST_P(MacInterfaceTest, RepaintsStayCurrent) {
  GuiScene s(GetParam());
  Probe a(s.ui, &s.log, "A", s.root, gui::Rect(0, 0, 20, 20));
  s.root->opacity = 128;
  uint32_t last = s.screen(5, 5);
  for (int i = 0; i < 12; ++i) {
    a.colour = i % 2 ? gui::Color(255, 255, 255, 255) : gui::Color(0, 0, 0, 255);
    a.invalidate();
    s.runMs(1);
    const uint32_t now = s.screen(5, 5);
    EXPECT_NE(now, last) << "repaint " << i;
    last = now;
  }

  s.root->opacity = 255;
  Probe q(s.ui, &s.log, "Q", s.root, gui::Rect(50, 50, 60, 60), gui::Color(255, 0, 0, 255));
  Probe p(s.ui, &s.log, "P", s.root, gui::Rect(70, 50, 80, 60));
  s.runMs(1);
  p.onPaint = [&] {
    if (q.colour.g == 255) return;
    q.colour = gui::Color(0, 255, 0, 255);
    q.invalidate();
  };
  p.invalidate(gui::Rect(0, 0, 10, 10));
  q.invalidate(); // Q paints before P in the same pass, still red
  s.runMs(1);
  s.runMs(1);
  EXPECT_EQ(s.screen(55, 55), 0x00FF00u);
}

// Closing the window while a control holds the mouse (a knob being dragged)
// and deleting a captured control mid-drag leave nothing pointing at a
// deleted object (ASan checks); the root gets the capture back.
TEST_P(MacInterfaceTest, ClosingOrDeletingDuringADragIsSafe) {
  {
    GuiScene s(GetParam());
    auto* knob = new Probe(s.ui, &s.log, "K", s.root, gui::Rect(40, 30, 80, 70));
    s.server.press(s.at(50, 40));
    EXPECT_EQ(s.root->getCaptureControl(), knob);
    delete knob;
    EXPECT_EQ(s.root->getCaptureControl(), s.root);
    s.server.move(s.at(60, 60));
    s.server.release(s.at(60, 60));
    s.runMs(100);
  }
  GuiScene s(GetParam());
  new Probe(s.ui, &s.log, "K", s.root, gui::Rect(40, 30, 80, 70));
  s.server.setHostHandler(s.window, [&](const platform::MouseEvent& e) {
    if (e.kind == platform::MouseEvent::Kind::dragged && s.ui) {
      delete s.ui; // the host withdraws the window
      s.ui = nullptr;
      s.server.destroyWindow(s.window);
    }
    return false;
  });
  s.server.press(s.at(50, 40));
  s.server.move(s.at(55, 45));
  s.server.move(s.at(60, 50));
  s.server.release(s.at(60, 50));
  s.runMs(200);
  EXPECT_EQ(s.ui, nullptr);
  EXPECT_EQ(s.log.back(), "K move 15,15 captured");
}
