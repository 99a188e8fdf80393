#include "editor/zarn/ZarnFilterController.h"

#include "editor/zarn/FilterCurve.h"
#include "gui/Bitmap.h"
#include "tests/gui/GuiScene.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using gui::Point;
using zarn::test::GuiScene;

namespace {

void fillHandle(gui::Bitmap* b, int size, gui::Color c) {
  b->resize(size, size);
  std::vector<gui::Color> row(static_cast<std::size_t>(size), c);
  for (int y = 0; y < size; ++y) b->writeLine(y, row.data());
}

// The display as the synthesizer's editor places it, with 9-pixel handles
// (normal: alpha `normalAlpha`), recording its events.
struct Display {
  explicit Display(GuiScene& s, int normalAlpha = 255) : s(s) {
    c = new ZarnFilterController(s.ui, nullptr);
    c->parent = s.root;
    c->setBounds(0, 0, 213, 186);
    auto* st = c->getStyle();
    for (gui::Bitmap* b : {st->mid, st->peak1, st->peak2}) fillHandle(b, 9, gui::Color(200, 40, 40, normalAlpha));
    for (gui::Bitmap* b : {st->midActive, st->peak1Active, st->peak2Active})
      fillHandle(b, 9, gui::Color(250, 200, 40, 255));
    c->onStartChange1 = NotifyEvent::bind(this, &Display::start1);
    c->onChange1 = NotifyEvent::bind(this, &Display::change1);
    c->onEndChange1 = NotifyEvent::bind(this, &Display::end1);
    c->onStartChange2 = NotifyEvent::bind(this, &Display::start2);
    c->onChange2 = NotifyEvent::bind(this, &Display::change2);
    c->onEndChange2 = NotifyEvent::bind(this, &Display::end2);
    s.runMs(1); // painted: the handles' places are known
  }
  Point peak(int filter) const { return c->getCurve(filter)->getPeakPosition(); }
  Point mid() const { return Point((peak(1).x + peak(2).x) / 2, (peak(1).y + peak(2).y) / 2); }
  void press(Point p, uint32_t keys = 0) { s.server.press(s.at(p.x, p.y), keys); }
  void drag(Point p, uint32_t keys = 0) { s.server.move(s.at(p.x, p.y), keys); }
  void release(Point p, uint32_t keys = 0) { s.server.release(s.at(p.x, p.y), keys); }

  void start1(void*) { log += "S1 "; }
  void change1(void*) { log += "C1 "; }
  void end1(void*) { log += "E1 "; }
  void start2(void*) { log += "S2 "; }
  void change2(void*) { log += "C2 "; }
  void end2(void*) { log += "E2 "; }

  GuiScene& s;
  ZarnFilterController* c;
  std::string log;
};

} // namespace

// A handle is hit where its normal bitmap's alpha is above 64, for all three
// handles, peak 1 over peak 2 over the middle; a point inside a larger
// active bitmap but outside the normal one misses. Hovering lights the
// filters the handle moves.
TEST(ZarnFilterControllerTest, HandleHitsAndHover) {
  for (int alpha : {64, 65}) {
    GuiScene s;
    Display d(s, alpha);
    const int hit = alpha > 64;
    EXPECT_EQ(d.c->selectArea(d.peak(1)), 1 * hit) << alpha;
    EXPECT_EQ(d.c->selectArea(d.peak(2)), 2 * hit) << alpha;
    EXPECT_EQ(d.c->selectArea(d.mid()), 3 * hit) << alpha;
  }
  GuiScene s;
  Display d(s);
  d.c->cutoff2 = d.c->cutoff1.get(); // peak 2 (high pass) under peak 1 (low pass)
  s.runMs(1);
  EXPECT_EQ(d.c->selectArea(d.peak(1)), 1);
  fillHandle(d.c->getStyle()->peak1Active, 21, gui::Color(255, 255, 255, 255));
  d.c->cutoff2 = 0.9f;
  d.drag(d.peak(2));
  s.runMs(60); // the hover poll
  EXPECT_EQ(d.c->getFilterColor2(), d.c->activeColor.get());
  EXPECT_EQ(d.c->getFilterColor1(), d.c->inactiveColor.get());
  d.drag(d.peak(1));
  s.runMs(60); // the active 21-pixel handle is painted
  EXPECT_EQ(d.c->getPeak1Rect().width(), 21);
  EXPECT_EQ(d.c->selectArea(d.peak(1) + Point(8, 8)), 0);
  EXPECT_EQ(d.c->getFilterColor1(), d.c->activeColor.get());
  EXPECT_EQ(d.log, "");
}

// Command-click cycles the response, shift-click the slope (1 and 2), on
// the handle's own filter; a modifier click on the middle handle changes
// nothing. Every start event gets its end event at the release, in order.
TEST(ZarnFilterControllerTest, ModifierClicksEndTheirGestures) {
  GuiScene s;
  Display d(s);
  const Point p1 = d.peak(1), p2 = d.peak(2), m = d.mid();
  for (int expected : {1, 2, 0}) {
    d.press(p1, platform::kCommandKey);
    EXPECT_EQ(d.log, "S1 C1 ");
    d.release(p1, platform::kCommandKey);
    EXPECT_EQ(d.log, "S1 C1 E1 ");
    EXPECT_EQ(d.c->response1.get(), expected);
    d.log.clear();
  }
  EXPECT_EQ(d.c->response2.get(), 1);
  for (int expected : {2, 1}) {
    d.press(p2, platform::kShiftKey);
    d.release(p2, platform::kShiftKey);
    EXPECT_EQ(d.c->slope2.get(), expected);
  }
  EXPECT_EQ(d.log, "S2 C2 E2 S2 C2 E2 ");
  d.log.clear();
  d.press(m, platform::kCommandKey);
  d.release(m, platform::kCommandKey);
  d.press(m, platform::kShiftKey);
  d.release(m, platform::kShiftKey);
  EXPECT_EQ(d.log, "S1 S2 E1 E2 S1 S2 E1 E2 ");
  EXPECT_EQ(d.c->slope1.get(), 1);
  EXPECT_EQ(d.c->response1.get(), 0);
  // Command with option is no response click: it drags, and a drag that
  // never leaves the press point (the release's own move comes there)
  // changes nothing; the first move away does.
  d.log.clear();
  const float cutoff = d.c->cutoff1.get();
  d.press(p1, platform::kCommandKey | platform::kOptionKey);
  d.release(p1);
  EXPECT_EQ(d.c->response1.get(), 0);
  EXPECT_EQ(d.c->cutoff1.get(), cutoff);
  EXPECT_EQ(d.log, "S1 E1 ");
  d.log.clear();
  d.press(p1);
  d.drag(p1);
  d.drag(Point(p1.x + 1, p1.y));
  d.drag(p1);
  d.release(p1);
  EXPECT_EQ(d.log, "S1 C1 C1 C1 E1 ");
}

// Dragging: a peak handle follows the mouse and clamps at the edges; the
// middle handle moves both; command mirrors the other peak about the
// midpoint captured when command went down; option keeps the distance.
TEST(ZarnFilterControllerTest, Drags) {
  GuiScene s;
  Display d(s);
  Point p1 = d.peak(1);
  d.press(p1 + Point(2, 1));
  d.drag(p1 + Point(22, -9));
  EXPECT_FLOAT_EQ(d.c->cutoff1.get(), (p1.x + 20) / 213.0f);
  EXPECT_FLOAT_EQ(d.c->peak1.get(), (111 - (p1.y - 10)) / 111.0f);
  d.drag(Point(400, -300));
  EXPECT_EQ(d.c->cutoff1.get(), 1.0f);
  EXPECT_EQ(d.c->peak1.get(), 1.0f);
  d.drag(Point(-50, 300));
  EXPECT_EQ(d.c->cutoff1.get(), 0.0f);
  EXPECT_EQ(d.c->peak1.get(), 0.0f);
  d.release(Point(-50, 300));
  EXPECT_EQ(d.log, "S1 C1 C1 C1 C1 E1 "); // the release moves too
  EXPECT_EQ(d.c->cutoff2.get(), 0.7f);
  EXPECT_EQ(d.c->peak2.get(), 0.5f);

  // Within the pixel that truncations and halved odd distances lose.
  auto near = [](Point a, Point b, int slack = 1) {
    return std::abs(a.x - b.x) <= slack && std::abs(a.y - b.y) <= slack;
  };
  // Mirrored: peak 2 goes to 2 x centre - peak 1, the centre captured once.
  d.c->cutoff1 = 0.3f;
  d.c->peak1 = 0.5f;
  s.runMs(1);
  p1 = d.peak(1);
  const Point centre((p1.x + d.peak(2).x) / 2, (p1.y + d.peak(2).y) / 2);
  d.log.clear();
  d.press(p1);
  for (Point to : {Point(70, 40), Point(90, 80), Point(50, 20)}) {
    d.drag(to, platform::kCommandKey);
    EXPECT_TRUE(near(d.peak(1), to)) << to.x;
    EXPECT_TRUE(near(d.peak(2), centre + centre - to)) << to.x;
  }
  d.release(Point(50, 20), platform::kCommandKey);
  EXPECT_EQ(d.log, "S1 C2 C1 C2 C1 C2 C1 C2 C1 E1 ");

  // Linked from peak 2: peak 1 keeps its offset.
  const Point offset = d.peak(2) - d.peak(1);
  Point p2 = d.peak(2);
  d.press(p2);
  d.drag(p2 + Point(-10, 15), platform::kOptionKey);
  EXPECT_TRUE(near(d.peak(2) - d.peak(1), offset));
  EXPECT_TRUE(near(d.peak(2), p2 + Point(-10, 15)));
  d.release(p2 + Point(-10, 15), platform::kOptionKey);

  // Command and option together mirror: option links only without command.
  p1 = d.peak(1);
  const Point both((p1.x + d.peak(2).x) / 2, (p1.y + d.peak(2).y) / 2);
  d.press(p1);
  d.drag(p1 + Point(16, 12), platform::kCommandKey | platform::kOptionKey);
  EXPECT_TRUE(near(d.peak(1), p1 + Point(16, 12)));
  EXPECT_TRUE(near(d.peak(2), both + both - (p1 + Point(16, 12))));
  d.release(p1 + Point(16, 12), platform::kCommandKey | platform::kOptionKey);

  // The middle handle carries both.
  p1 = d.peak(1);
  p2 = d.peak(2);
  d.log.clear();
  const Point to = d.mid() + Point(12, 6);
  d.press(d.mid());
  d.drag(to);
  d.release(to);
  EXPECT_TRUE(near(d.peak(1), p1 + Point(12, 6), 2));
  EXPECT_TRUE(near(d.peak(2), p2 + Point(12, 6), 2));
  EXPECT_EQ(d.log, "S1 S2 C1 C2 C1 C2 E1 E2 ");

}
