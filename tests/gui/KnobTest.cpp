// The knob under the mouse of the headless window server, on the virtual
// clock the knob's stopwatch reads: angles of the sweep, clicks into the
// sweep of a knob without a face, vertical drags with acceleration and fine
// mode, the pointer grab, reset and linking, and when the pointer image is
// rendered again.

#include "gui/Knob.h"
#include "tests/gui/GuiScene.h"
#include "tests/gui/Widgets.h"

#include <gtest/gtest.h>

using namespace zarn::test;

namespace {

constexpr int cX = 40, cY = 30; // the knob's place in the root

struct KnobScene : GuiScene {
  explicit KnobScene(bool face = true) : style(ui) {
    if (face) solid(style.background, 40, 40, gui::Color(90, 90, 90, 255));
    solid(style.activeBackground, 40, 40, gui::Color(120, 120, 120, 255));
    for (gui::Bitmap* b : {style.pointer, style.activePointer, style.grabPointer, style.dragPointer})
      solid(b, 40, 40, gui::Color(0, 0, 0, 0));
    style.deriveRadius();
    if (!face) style.outerRadius = 18;
    knob = new gui::Knob(ui, &style);
    knob->setPosition(gui::Point(cX, cY));
    knob->parent = root;
    gestures = new GestureLog(knob);
  }
  ~KnobScene() { delete gestures; }
  // Knob coordinates.
  void press(int x, int y, uint32_t mods = 0) { server.press(at(cX + x, cY + y), mods); }
  void drag(int x, int y, uint32_t mods = 0) { server.move(at(cX + x, cY + y), mods); }
  void release(int x, int y, uint32_t mods = 0) { server.release(at(cX + x, cY + y), mods); }

  gui::Knob::Style style;
  gui::Knob* knob;
  GestureLog* gestures;
};

} // namespace

TEST(KnobTest, TheSweepRunsFromSevenToFiveOClock) {
  KnobScene s;
  gui::Knob& k = *s.knob;
  const std::pair<int, float> expected[] = {{0, 210.0f}, {4096, 150.0f}, {2048, 0.0f}};
  for (auto [position, degrees] : expected) {
    k.position = position;
    EXPECT_NEAR(k.getAngle() * 360.0f, degrees, 1e-3f) << position;
  }
  // Any angle maps back to the position it shows.
  for (int p = 0; p <= 4096; p += 37) {
    k.position = p;
    const float a = k.getAngle();
    k.position = 4096 - p;
    k.adjustPositionWithAngle(a);
    ASSERT_EQ(k.position, p);
  }
  k.angleRange = 0;
  EXPECT_EQ(k.angleRange, 1);
  k.angleRange = 400;
  EXPECT_EQ(k.angleRange, 360);
  k.angleOffset = -720;
  EXPECT_EQ(k.angleOffset, -359);
  EXPECT_EQ(k.getMouseAngle(k.getClientCenter()), 0.0f);
}

TEST(KnobTest, AKnobWithoutAFaceJumpsToTheClickAndSplitsTheDeadZone) {
  KnobScene s(false);
  gui::Knob& k = *s.knob;
  k.position = 1000;
  auto click = [&](int x, int y) {
    s.press(x, y);
    s.release(x, y);
    return k.position.get();
  };
  // Exactly 6 o'clock is the edge of the area the knob takes clicks in.
  k.adjustPositionWithAngle(0.5f);
  EXPECT_EQ(k.position, 0);
  k.position = 1000;
  EXPECT_EQ(click(19, 35), 0);    // just clockwise of 6 o'clock
  EXPECT_EQ(click(21, 35), 4096); // just counter-clockwise
  EXPECT_EQ(click(20, 5), 2048);  // 12 o'clock
  EXPECT_EQ(click(35, 20), 3277); // 3 o'clock: 0.25 turn of 300 degrees past the middle
  // The corners and the centre lie outside the ring: they are not the knob's.
  k.position = 1000;
  EXPECT_EQ(click(1, 1), 1000);
  EXPECT_EQ(click(20, 20), 1000);
  // A reset click keeps the default instead of jumping.
  k.defaultPosition = 2048;
  s.press(35, 20, platform::kCommandKey);
  s.release(35, 20);
  EXPECT_EQ(k.position, 2048);
  // Each click on the ring was one gesture; the jump comes after it.
  EXPECT_EQ(s.gestures->count("start"), 5);
  EXPECT_EQ(s.gestures->count("end"), 5);
}

TEST(KnobTest, VerticalDragsAccelerateWithSpeedAndCarryTheFraction) {
  KnobScene s;
  gui::Knob& k = *s.knob;
  // One pixel every 50 ms: 0.02 px/ms scales to 0.2 * 0.9 + 0.1 = 0.28 of
  // the full rate, 5.7344 steps a pixel.
  // Pressed right of the centre, away from the pointer's grab area.
  s.press(32, 30);
  std::vector<int> seen;
  for (int i = 1; i <= 20; ++i) {
    s.runMs(50);
    s.drag(32, 30 - i);
    seen.push_back(k.position);
  }
  s.release(20, 10);
  EXPECT_EQ(seen[0], 5);
  EXPECT_EQ(seen[1], 11);
  EXPECT_EQ(seen[9], 57);
  EXPECT_EQ(seen[19], 114);
  EXPECT_EQ(s.gestures->count("start"), 1);
  EXPECT_EQ(s.gestures->count("change"), 20);
  EXPECT_EQ(s.gestures->lines.back(), "end");

  // Fast: 20 px each 20 ms is full rate, so 200 px cover the range.
  k.position = 0;
  s.press(32, 35);
  for (int i = 1; i <= 10; ++i) {
    s.runMs(20);
    s.drag(32, 35 - 20 * i);
    if (i == 5) {
      EXPECT_EQ(k.position, 2048);
    }
  }
  s.release(32, 35 - 200);
  EXPECT_EQ(k.position, 4096);

  // Fine (shift by default): a tenth of the full rate, whatever the speed.
  k.position = 0;
  s.press(20, 20, platform::kShiftKey);
  s.drag(20, 10, platform::kShiftKey);
  EXPECT_EQ(k.position, 20); // 10 px * 0.1 * 4096 / 200 = 20.48
  s.release(20, 10);
  // Fine and linked together (shift and option) is as fine.
  k.position = 0;
  s.press(20, 20, platform::kShiftKey | platform::kOptionKey);
  s.drag(20, 10, platform::kShiftKey | platform::kOptionKey);
  EXPECT_EQ(k.position, 20);
  EXPECT_TRUE(k.isLinked());
  s.release(20, 10);
}

TEST(KnobTest, SmallRangesStepEveryTwentyPixelsOrTwoHundredFine) {
  KnobScene s;
  gui::Knob& k = *s.knob;
  k.maximum = 1;
  auto dragUp = [&](int pixels, uint32_t mods) {
    k.position = 0;
    s.press(20, 20, mods);
    s.drag(20, 20 - pixels, mods);
    s.release(20, 20 - pixels);
    return k.position.get();
  };
  EXPECT_EQ(dragUp(19, 0), 0);
  EXPECT_EQ(dragUp(20, 0), 1);
  EXPECT_EQ(dragUp(199, platform::kShiftKey), 0);
  EXPECT_EQ(dragUp(200, platform::kShiftKey), 1);
  // A quick small drag is not slowed down: spans up to 20 are never
  // accelerated.
  k.maximum = 10;
  s.runMs(500);
  EXPECT_EQ(dragUp(40, 0), 2);
  // Nor a slow one, up to a span of 20: 40 px in 500 ms are still
  // 40 * 20 / 200 = 4 steps.
  k.maximum = 20;
  k.position = 0;
  s.press(20, 20);
  s.runMs(500);
  s.drag(20, -20);
  s.release(20, -20);
  EXPECT_EQ(k.position, 4);
}

TEST(KnobTest, ResetLinkAndThePointerGrab) {
  KnobScene s;
  gui::Knob& k = *s.knob;
  k.defaultPosition = 1234;
  k.position = 3000;
  // Reset (command by default) sets the default at once and starts no drag.
  s.press(20, 30, platform::kCommandKey);
  s.drag(20, 0, platform::kCommandKey);
  s.release(20, 0);
  EXPECT_EQ(k.position, 1234);
  EXPECT_EQ(s.gestures->lines, (std::vector<std::string>{"start", "change 1234", "end"}));

  // Option links; the link ends silently with the gesture, also when the
  // key is still held at the release.
  s.gestures->lines.clear();
  s.press(20, 30, platform::kOptionKey);
  EXPECT_TRUE(k.isLinked());
  s.release(20, 30, platform::kOptionKey);
  EXPECT_FALSE(k.isLinked());
  EXPECT_EQ(s.gestures->lines, (std::vector<std::string>{"start", "link", "end"}));
  // The key may also come down during the drag.
  s.gestures->lines.clear();
  s.press(32, 30);
  EXPECT_FALSE(k.isLinked());
  s.drag(32, 30, platform::kOptionKey);
  EXPECT_TRUE(k.isLinked());
  s.release(32, 30);
  EXPECT_EQ(s.gestures->lines, (std::vector<std::string>{"start", "link", "end"}));

  // The pointer at 12 o'clock is grabbed in its ring and turned about the
  // centre: a quarter turn moves it by a quarter turn.
  k.position = 2048;
  s.drag(20, 8);
  s.runMs(60); // the hover poll
  EXPECT_EQ(k.getVisibleState(), 2);
  s.press(20, 8);
  EXPECT_EQ(k.getDragMode(), 2);
  s.drag(32, 20);
  EXPECT_EQ(k.position, 3277);
  s.drag(22, 32); // into the dead zone, nearer the maximum
  EXPECT_EQ(k.position, 4096);
  s.release(22, 32);
  EXPECT_EQ(k.getDragMode(), 0);
}

TEST(KnobTest, ThePointerIsRenderedAgainOnlyForVisibleChanges) {
  KnobScene s;
  gui::Knob& k = *s.knob;
  // Each pointer a bar above the middle: white, red when active.
  for (auto [b, c] : {std::pair{s.style.pointer, gui::Color(255, 255, 255, 255)},
                      std::pair{s.style.activePointer, gui::Color(255, 0, 0, 255)}}) {
    b->fillRect(gui::Rect(18, 2, 23, 12), c);
    b->transparent = true;
  }
  k.maximum = 65536;
  k.position = 30000;
  s.runMs(100);
  s.server.takePaintLog();
  k.position = 30010; // 0.00013 turn
  s.runMs(100);
  EXPECT_TRUE(s.server.takePaintLog().empty());
  k.position = 30100;
  s.runMs(100);
  EXPECT_FALSE(s.server.takePaintLog().empty());
  k.highlighted = true;
  s.runMs(100);
  EXPECT_FALSE(s.server.takePaintLog().empty());
  EXPECT_EQ(k.getVisibleState(), 1);

  // At 3 o'clock (0.8 of the sweep) the bar points right, over the active
  // face; back to normal it is the white bar over the normal face.
  k.position = 52429;
  s.runMs(100);
  auto at = [&](int x, int y) { return s.screen(cX + x, cY + y); };
  EXPECT_EQ(at(33, 20), 0xFF0000u);
  EXPECT_EQ(at(7, 20), 0x787878u);
  EXPECT_EQ(at(20, 7), 0x787878u);
  k.highlighted = false;
  s.runMs(100);
  EXPECT_EQ(at(33, 20), 0xFFFFFFu);
  EXPECT_EQ(at(7, 20), 0x5A5A5Au);
  EXPECT_EQ(at(20, 33), 0x5A5A5Au);
}
