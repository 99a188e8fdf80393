#pragma once

// A popup menu shown by the window server over the root control. The menu
// tree is handed over as it stands after onPopup has run; the chosen entry
// is clicked.

#include "gui/Menu.h"
#include "platform/WindowServer.h"

#include <vector>

namespace gui {

class MacControl;

class MacPopupMenu : public PopupMenu {
public:
  explicit MacPopupMenu(MacControl* root) : root(root) {}

  // `rect` in root coordinates; the menu opens 5 pixels below its bottom
  // left corner.
  void popup(const Rect& rect) override;

private:
  platform::MenuEntry createMenu(Menu* menu);

  MacControl* root;
  // The menu and the submenus built for the popup in progress.
  std::vector<Menu*> menus;
};

} // namespace gui
