#pragma once
// What the control editors that pop up a menu (the text pop-up and the view
// pop-up) share: the port a menu stands in, and the guard that takes the
// overlay down however the menu ends.

#include "host/services/CPlugInView.h"
#include "platform/DrawPort.h"

namespace popupmenu {

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
