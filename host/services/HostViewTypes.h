#pragma once

// The small types the host-drawn views share: port rectangles, points and
// 16-bit colours (platform/Region.h), the port they draw into, the event
// record the host hands them and the dialog item a view is described by.
// Rectangles are in the coordinates of the window's port; an event's point
// is too.

#include "platform/DrawPort.h"
#include "platform/Resources.h"

#include <cstdint>

using Rect = platform::PortRect;
using Point = platform::PortPoint;
using RGBColor = platform::PortColor;
using GrafPtr = platform::DrawPort*;
using PixPatHandle = platform::PortPicture*;

// One event from the host.
struct EventRecord {
  uint16_t what = 0;     // kMouseDownEvent, kKeyDownEvent...
  uint32_t message = 0;  // keys: the character in the low byte
  uint32_t when = 0;     // ticks
  Point where;           // port coordinates
  uint16_t modifiers = 0;
};

constexpr uint16_t kMouseDownEvent = 1;
constexpr uint16_t kKeyDownEvent = 3;
// Modifier bits of an event.
constexpr uint16_t kButtonStateBit = 0x0080;
constexpr uint16_t kCommandKeyBit = 0x0100;
constexpr uint16_t kShiftKeyBit = 0x0200;
constexpr uint16_t kOptionKeyBit = 0x0800;
// The message of a click the program posts itself (a view pop-up inside its
// menu): views react to it without tracking the mouse.
constexpr uint32_t kSyntheticClickMessage = 0x12345678;

// One dialog item: a rectangle, a type byte (0x80: disabled) and the item's
// data, a length byte and that many bytes (the text, or a 16-bit resource
// id for pictures, icons and resource controls).
struct SItemDescriptor {
  uint32_t handle = 0;
  Rect rect;
  uint8_t type = 0;
  uint8_t data[256] = {};
};
constexpr uint8_t kItemDisabled = 0x80;

using platform::fourCharCode;
