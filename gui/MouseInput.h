#pragma once

// What a mouse event carries besides its point: the button (0 is the left
// one, the only one the platform layer sends) and the modifier bit set.

namespace gui {

typedef int MouseButton;
typedef int ShiftState;

enum : int {
  cShiftBit = 1,
  cOptionBit = 2,
  cCommandBit = 4,
  cDoubleClickBit = 64,
  cControlBit = 128,
};

} // namespace gui
