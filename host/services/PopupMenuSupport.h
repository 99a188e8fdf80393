#pragma once
// What the control editors that pop up a menu (the text pop-up and the view
// pop-up) share: the port a menu stands in, and the guard that takes the
// overlay down however the menu ends.

#include "host/services/CPlugInView.h"
#include "platform/DrawPort.h"

namespace popupmenu {

// A menu numbers its items in 16 bits: a control with more steps than that
// (a continuous one has up to 2^31) offers its first 32767 in a pop-up,
// rather than building billions of items.
constexpr int32_t kMaxItems = 32767;
// The item of a step, 0 (none) for a step past the menu's items.
constexpr int16_t ItemOfStep(int32_t step) {
  return step >= 0 && step < kMaxItems ? static_cast<int16_t>(step + 1) : 0;
}

// The window a pop-up menu stands in: views of other ports stay off its
// rectangle while it is up; its pixel (0, 0) is the screen's, so a view
// drawn into it sits at the menu's global position.
inline platform::DrawPort& MenuPort() {
  static platform::DrawPort port(1, 1);
  return port;
}

// Clears the overlay when the menu is gone, redrawing what it covered.
struct OverlayScope {
  bool set = false;
  OverlayScope() = default;
  OverlayScope(const OverlayScope&) = delete;
  OverlayScope& operator=(const OverlayScope&) = delete;
  ~OverlayScope() {
    if (!set) return;
    try {
      CPlugInView::SetOverlay(nullptr, nullptr);
    } catch (...) {
      // A view that cannot redraw now is drawn on the next update.
    }
  }
};

} // namespace popupmenu
