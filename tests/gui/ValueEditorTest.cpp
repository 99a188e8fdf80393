// The value editors' shared rules, on a knob (the simplest widget that
// carries them): the range stays ordered and holds the position, the
// program side fires nothing, the user side fires once per real move, and
// a gesture in progress cannot be moved from outside. Then the modifier
// table.

#include "gui/Knob.h"
#include "gui/ShiftStateMapping.h"
#include "tests/gui/GuiScene.h"
#include "tests/gui/Widgets.h"

#include <gtest/gtest.h>

#include <random>

using namespace zarn::test;

TEST(ValueEditorTest, RangeAndPositionStayConsistentUnderRandomWrites) {
  GuiScene s;
  gui::Knob::Style style(s.ui);
  solid(style.pointer, 20, 20, gui::Color(0, 0, 0, 255));
  gui::Knob knob(s.ui, &style);
  GestureLog log(&knob);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> value(-50, 50), what(0, 3);
  for (int i = 0; i < 2000; ++i) {
    const int v = value(rng);
    const int before = knob.position;
    const size_t fired = log.lines.size();
    const int kind = what(rng);
    switch (kind) {
    case 0: knob.minimum = v; break;
    case 1: knob.maximum = v; break;
    case 2: knob.position = v; break;
    case 3: knob.adjustPosition(v); break;
    }
    // Only the user side fires, once per real move.
    ASSERT_EQ(log.lines.size(), fired + (kind == 3 && knob.position != before ? 1 : 0));
    ASSERT_LT(knob.minimum, knob.maximum);
    ASSERT_GE(knob.position, knob.minimum);
    ASSERT_LE(knob.position, knob.maximum);
    // The angle always shows the position.
    ASSERT_FLOAT_EQ(knob.getCurrentAngle(), knob.getAngle());
  }

  knob.minimum = 0;
  knob.maximum = 4096;
  knob.setValue(0.5f);
  EXPECT_EQ(knob.position, 2048);
  // A host's value lands on the nearest step, not on the one below it:
  // 0.3 * 4096 = 1228.8, and 0.6666 of 0..3 is nearest to the third item.
  knob.setValue(0.3f);
  EXPECT_EQ(knob.position, 1229);
  knob.maximum = 3;
  knob.setValue(0.6666f);
  EXPECT_EQ(knob.position, 2);
  knob.maximum = 4096;
  knob.position = 4096;
  EXPECT_FLOAT_EQ(knob.getValue(), 1.0f);
  // The maximum pulls the minimum below it, and the position follows.
  knob.minimum = 100;
  knob.maximum = 50;
  EXPECT_EQ(knob.minimum, 49);
  EXPECT_EQ(knob.position, 50);

  log.lines.clear();
  knob.adjustPosition(-1000);
  knob.adjustPosition(49);
  EXPECT_EQ(log.lines, std::vector<std::string>{"change 49"});
}

TEST(ValueEditorTest, AGestureKeepsTheUsersPositionAgainstOutsideWrites) {
  GuiScene s;
  gui::Knob::Style style(s.ui);
  solid(style.pointer, 20, 20, gui::Color(0, 0, 0, 255));
  gui::Knob knob(s.ui, &style);
  knob.position = 300;
  knob.startChange();
  knob.position = 900; // a host echo of an older value
  EXPECT_EQ(knob.position, 300);
  knob.adjustPosition(400);
  knob.position = 300; // automation
  EXPECT_EQ(knob.position, 400);
  knob.position = 400;
  EXPECT_EQ(knob.position, 400);
  knob.endChange();
  knob.position = 900;
  EXPECT_EQ(knob.position, 900);
  EXPECT_FLOAT_EQ(knob.getCurrentAngle(), knob.getAngle());
}

TEST(ValueEditorTest, ModifierPurposesAndTheirRemapping) {
  gui::ShiftStateMapping m;
  EXPECT_EQ(m.getPurpose(gui::cShiftBit | gui::cDoubleClickBit), gui::cPurposeFine);
  EXPECT_EQ(m.getPurpose(gui::cControlBit), 0);
  EXPECT_EQ(m.getPurpose(gui::cShiftBit | gui::cCommandBit), 0);
  EXPECT_EQ(m.getPurpose(gui::cCommandBit | 256), gui::cPurposeReset);
  m.setPurposeShiftState(gui::cPurposeReset, gui::cOptionBit);
  m.setPurposeShiftState(gui::cPurposeFine, gui::cCommandBit);
  m.setPurposeShiftState(gui::cPurposeLinked, gui::cShiftBit);
  m.setPurposeShiftState(gui::cPurposeFineLinked, gui::cShiftBit | gui::cCommandBit);
  EXPECT_EQ(m.entries.size(), 4u);
  EXPECT_EQ(m.getPurpose(gui::cShiftBit | gui::cCommandBit), gui::cPurposeFineLinked);
  EXPECT_EQ(m.getPurpose(gui::cOptionBit), gui::cPurposeReset);
  // Read back in the default keys (reset Command, fine Shift, linked
  // Option); bits that are no modifier key pass unchanged.
  EXPECT_EQ(m.inDefaultKeys(gui::cOptionBit | gui::cDoubleClickBit), gui::cCommandBit | gui::cDoubleClickBit);
  EXPECT_EQ(m.inDefaultKeys(gui::cCommandBit | gui::cShiftBit), gui::cShiftBit | gui::cOptionBit);
  // A purpose on a chord needs the whole chord.
  m.setPurposeShiftState(gui::cPurposeReset, gui::cOptionBit | gui::cControlBit);
  EXPECT_EQ(m.inDefaultKeys(gui::cOptionBit), 0);
  EXPECT_EQ(m.inDefaultKeys(gui::cOptionBit | gui::cControlBit), gui::cCommandBit);
  m.setPurposeShiftState(gui::cPurposeReset, gui::cOptionBit);
  m.setPurposeShiftState(8, gui::cControlBit);
  EXPECT_EQ(m.entries.size(), 5u);
  EXPECT_EQ(m.getPurpose(gui::cControlBit), 8);
}
