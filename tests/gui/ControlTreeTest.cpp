#include "tests/gui/GuiScene.h"

#include <gtest/gtest.h>

using zarn::test::GuiScene;
using zarn::test::Probe;

namespace {

struct HintLog : gui::UserInterface::Listener {
  std::vector<std::string> hints;
  void receiveEvent(int, int) override {}
  void showHint(const std::string& text) override { hints.push_back(text); }
};

} // namespace

// Who is hit: the later of two overlapping children, never a disabled,
// invisible or fully transparent one, never the right or bottom edge, and
// only pixels whose combined opacity exceeds the threshold (an ancestor at
// half opacity makes every pixel below it unhittable).
TEST(ControlTreeTest, HitTestFollowsOrderOpacityAndEdges) {
  GuiScene s;
  Probe a(s.ui, &s.log, "A", s.root, gui::Rect(0, 0, 100, 100));
  Probe b(s.ui, &s.log, "B", &a, gui::Rect(10, 10, 50, 50));
  Probe c(s.ui, &s.log, "C", &a, gui::Rect(30, 30, 80, 80));
  EXPECT_EQ(s.root->controlAtPos(gui::Point(40, 40)), &a);
  EXPECT_EQ(a.controlAtPos(gui::Point(40, 40)), &c);
  EXPECT_EQ(a.controlAtPos(gui::Point(20, 20)), &b);
  EXPECT_FALSE(b.isPointInside(gui::Point(40, 20)));
  EXPECT_TRUE(b.isPointInside(gui::Point(39, 39)));
  for (auto [opacity, hits] : {std::pair{240, false}, std::pair{241, true}}) {
    b.opacityAt = opacity;
    EXPECT_EQ(b.isPointInside(gui::Point(5, 5)), hits) << opacity;
  }
  a.opacity = 128;
  EXPECT_FALSE(b.isPointInside(gui::Point(5, 5)));
  a.opacity = 255;
  c.enabled = false;
  EXPECT_EQ(a.controlAtPos(gui::Point(40, 40)), &b);
  c.enabled = true;
  c.opacity = 0;
  EXPECT_EQ(a.controlAtPos(gui::Point(40, 40)), &b);
  c.visible = false;
  c.opacity = 255;
  EXPECT_EQ(a.controlAtPos(gui::Point(40, 40)), &b);

  // Painting: the disabled child is drawn, the transparent one is not.
  c.visible = true;
  c.enabled = false;
  b.opacity = 0;
  s.runMs(1);
  EXPECT_GT(c.paints, 0);
  EXPECT_EQ(b.paints, 0);
}

// The mouse as a user moves it: hovering enters down to the deepest control
// and shows its hint 1500 ms after it came to rest; moving to the parent's
// empty area leaves only the child; a press captures, so moves and the
// release stay with the pressed control wherever the mouse goes, and only a
// release over it clicks.
TEST(ControlTreeTest, RoutesHoverHintsCaptureAndClicks) {
  GuiScene s;
  HintLog hints;
  s.ui->registerListener(&hints);
  Probe a(s.ui, &s.log, "A", s.root, gui::Rect(20, 20, 120, 120));
  Probe b(s.ui, &s.log, "B", &a, gui::Rect(10, 10, 50, 50));
  b.hint = "Bee";

  s.server.move(s.at(35, 36));
  s.runMs(50);
  EXPECT_EQ(s.log, (std::vector<std::string>{"A enter", "B enter", "B move 5,6"}));
  s.runMs(1490);
  EXPECT_TRUE(hints.hints.empty());
  s.runMs(20);
  EXPECT_EQ(hints.hints, std::vector<std::string>{"Bee"});

  s.log.clear();
  s.server.move(s.at(25, 25)); // A's own area
  s.runMs(50);
  EXPECT_EQ(s.log, (std::vector<std::string>{"B leave", "A move 5,5"}));
  EXPECT_EQ(hints.hints.back(), "");
  s.runMs(3000);
  EXPECT_EQ(s.log.size(), 2u); // standing still moves nothing

  s.log.clear();
  s.server.press(s.at(35, 36), platform::kShiftKey);
  s.server.move(s.at(250, 190));
  s.server.release(s.at(250, 190));
  s.server.press(s.at(35, 36), 0, 2);
  s.server.release(s.at(36, 37));
  EXPECT_EQ(s.log, (std::vector<std::string>{
                       "B enter", "B move 5,6 s1", "B down 5,6 s1 captured", "B move 220,160 captured",
                       "B move 220,160 captured", "B up 220,160", "B move 5,6 s64", "B down 5,6 s64 captured",
                       "B move 6,7 captured", "B up 6,7", "B click"}));
  EXPECT_EQ(s.root->getCaptureControl(), s.root);
}

// A control that holds the capture (its own press not yet released) still
// hands a press over one of its children to that child.
TEST(ControlTreeTest, APressOnACapturingControlReachesTheChildUnderIt) {
  GuiScene s;
  Probe a(s.ui, &s.log, "A", s.root, gui::Rect(20, 20, 120, 120));
  Probe b(s.ui, &s.log, "B", &a, gui::Rect(10, 10, 50, 50));
  s.server.move(s.at(100, 100));
  s.server.press(s.at(100, 100)); // A's own area: A captures
  ASSERT_EQ(s.root->getCaptureControl(), &a);
  s.log.clear();
  s.server.press(s.at(35, 36));
  ASSERT_FALSE(s.log.empty());
  EXPECT_EQ(s.log.back().substr(0, 10), "B down 5,6");
  s.server.release(s.at(35, 36));
}

// Invalidation climbs to the root and repaints exactly the union of a moved
// control's old and new areas, in both window kinds; deleting a parent
// leaves its children alive and detached; a dialog covers the window and
// takes its children with it.
TEST(ControlTreeTest, RepaintsOnlyWhatChangedAndKeepsOwnershipRules) {
  for (bool compositing : {true, false}) {
    GuiScene s(compositing);
    s.runMs(1);
    s.server.takePaintLog();
    auto* a = new Probe(s.ui, &s.log, "A", s.root, gui::Rect(0, 0, 100, 100));
    Probe b(s.ui, &s.log, "B", a, gui::Rect(10, 10, 50, 50), gui::Color(255, 0, 0, 255));
    s.runMs(1);
    s.server.takePaintLog();
    b.bounds = gui::Rect(60, 60, 70, 75);
    s.runMs(1);
    const auto log = s.server.takePaintLog();
    ASSERT_EQ(log.size(), 1u) << compositing;
    EXPECT_EQ(log[0].view, s.root->getView());
    EXPECT_EQ(log[0].area, (platform::ScreenRect{10, 10, 70, 75}));
    EXPECT_EQ(s.screen(65, 65), 0xFF0000u);
    EXPECT_EQ(s.screen(20, 20), 0x0000FFu);
    EXPECT_EQ(s.screen(150, 150), 0xC0C0C0u); // no background: grey

    delete a;
    EXPECT_EQ(b.parent.get(), nullptr);
    EXPECT_TRUE(s.root->getChildren().empty());

    std::vector<std::string> dialogLog;
    auto* dialog = new gui::Dialog(s.ui);
    EXPECT_EQ(dialog->bounds.get(), s.root->getClientRect());
    new Probe(s.ui, &dialogLog, "D", dialog, gui::Rect(5, 5, 10, 10));
    delete dialog; // deletes the probe as well (ASan would see a leak)
    EXPECT_TRUE(s.root->getChildren().empty());
  }
}

// A control's repaint paints what lies under its area, a sibling that
// overlaps it by a single pixel included, and passes by the controls beside
// it (one that only shares its edge) and far away, whatever the offsets
// between the tree's levels.
TEST(ControlTreeTest, ARepaintPaintsTheControlsUnderItsAreaAlone) {
  GuiScene s;
  auto* panel = new Probe(s.ui, &s.log, "P", s.root, gui::Rect(20, 20, 220, 120), gui::Color(0, 0, 255, 255));
  auto* light = new Probe(s.ui, &s.log, "L", panel, gui::Rect(60, 40, 80, 60), gui::Color(255, 0, 0, 255));
  auto* over = new Probe(s.ui, &s.log, "O", panel, gui::Rect(79, 59, 90, 70), gui::Color(0, 255, 0, 255));
  auto* beside = new Probe(s.ui, &s.log, "B", panel, gui::Rect(80, 40, 100, 59), gui::Color(255, 255, 0, 255));
  auto* below = new Probe(s.ui, &s.log, "U", panel, gui::Rect(60, 60, 78, 80), gui::Color(0, 255, 255, 255));
  auto* far = new Probe(s.ui, &s.log, "F", s.root, gui::Rect(250, 150, 270, 170), gui::Color(255, 0, 255, 255));
  s.runMs(1);
  const std::vector<Probe*> all{panel, light, over, beside, below, far};
  for (Probe* p : all) p->paints = 0;
  light->colour = gui::Color(128, 0, 0, 255);
  light->invalidate();
  s.runMs(1);
  std::vector<int> paints;
  for (Probe* p : all) paints.push_back(p->paints);
  EXPECT_EQ(paints, (std::vector<int>{1, 1, 1, 0, 0, 0}));
  // Root coordinates: the panel's corner plus the child's point.
  EXPECT_EQ(s.screen(20 + 78, 20 + 58), 0x800000u);
  EXPECT_EQ(s.screen(20 + 79, 20 + 59), 0x00FF00u);
  EXPECT_EQ(s.screen(20 + 80, 20 + 40), 0xFFFF00u);
}
