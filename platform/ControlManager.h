#pragma once

// Platform controls drawn into a port: push buttons, check boxes and radio
// buttons with a title, a value between a minimum and a maximum, and a
// visibility. A control belongs to the window port it was made for; its
// creator disposes of it. Tracking follows the mouse while the button is
// down, highlights the control while the pointer is inside, and answers
// whether the release was inside. Control resources ("CNTL") hold, as
// big-endian 16-bit numbers, the bounds (top, left, bottom, right), the
// value, the visibility, the maximum, the minimum and the kind, then the
// title as a length byte and its characters.

#include "platform/DrawPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class PortControl {
public:
  enum Kind : int16_t { kPushButton = 0, kCheckBox = 1, kRadioButton = 2 };
  enum Part : int16_t { kNoPart = 0, kInButton = 10, kInCheckBox = 11 };

  // Nothing for a kind outside the three.
  static std::unique_ptr<PortControl> create(DrawPort* port, const PortRect& bounds, const std::string& title,
                                             bool visible, int16_t value, int16_t minimum, int16_t maximum,
                                             int16_t kind, void* owner);
  // From the control resource id of the current resource map; nothing when
  // it is missing or malformed.
  static std::unique_ptr<PortControl> fromResource(int16_t id, DrawPort* port, void* owner);

  const PortRect& bounds() const { return mBounds; }
  const std::string& title() const { return mTitle; }
  int16_t kind() const { return mKind; }
  int16_t value() const { return mValue; }
  int16_t minimum() const { return mMinimum; }
  int16_t maximum() const { return mMaximum; }
  bool isVisible() const { return mVisible; }
  bool isHighlighted() const { return mHighlighted; }
  void* owner() const { return mOwner; }
  void setValue(int16_t value);

  // Shows and draws the control.
  void show();
  void draw();
  // Moves the top-left to (h, v).
  void moveTo(int h, int v);
  // Follows the mouse from start until the button is up; the part under the
  // pointer at the release, kNoPart outside.
  int16_t track(PortPoint start);

private:
  PortControl() = default;
  void setHighlight(bool on);

  DrawPort* mPort = nullptr;
  PortRect mBounds;
  std::string mTitle;
  int16_t mKind = kPushButton;
  int16_t mValue = 0, mMinimum = 0, mMaximum = 1;
  bool mVisible = false;
  bool mHighlighted = false;
  void* mOwner = nullptr;
};

} // namespace platform
