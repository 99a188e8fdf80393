#pragma once

// Pop-up menus whose look and placement a menu definition of the caller
// decides. The definition answers the size of the menu and where it pops
// up on the desktop. A definition that draws its menu also draws it, finds
// the item under the mouse (scrolling a menu the desktop cuts) and
// highlights it, in a port the menu manager gives it while the menu is up,
// and the window server shows that port; otherwise the choice goes through
// the window server's plain pop-up menu (on the headless server: its
// script), with the items as entries. While the menu is up the caller
// learns its rectangle, so that views can keep from painting over it.

#include "platform/Region.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class DrawPort;
struct CustomMenu;

class MenuDefinition {
public:
  virtual ~MenuDefinition() = default;
  // Sets the menu's width and height.
  virtual void size(CustomMenu& menu) = 0;
  // The menu's visible rectangle in global coordinates when it pops up at
  // click with item (1-based) current.
  virtual PortRect place(const CustomMenu& menu, PortPoint click, int16_t item) = 0;

  // Whether the definition draws its menu (the three calls below).
  virtual bool drawsMenu() { return false; }
  // Draws the whole menu into menu.port.
  virtual void drawMenu(CustomMenu&) {}
  // The item under mouse (global), 0 for none; a menu cut by the desktop
  // may scroll toward the mouse meanwhile.
  virtual int16_t findItem(CustomMenu&, PortPoint) { return 0; }
  // Draws item previous normal again and item highlighted (0: none).
  virtual void highlightItem(CustomMenu&, int16_t /*previous*/, int16_t /*item*/) {}
};

struct CustomMenu {
  int16_t id = 0;
  std::vector<std::string> items;
  int16_t width = 0;
  int16_t height = 0;
  MenuDefinition* definition = nullptr;
  // While a drawn menu is up: the port it is drawn in, as large as its
  // visible rectangle, whose local coordinates are global.
  DrawPort* port = nullptr;
};

// The area menus must stay inside (global); 1024 x 768 unless set.
PortRect desktopBounds();
void setDesktopBounds(const PortRect& bounds);

// Shows menu at click (global) with item current and returns the chosen item
// (1-based), 0 when cancelled. whileShown, when given, is called with the
// menu's rectangle (and menu.port set, for a drawn menu) before the choice
// is asked.
int16_t popUpMenuSelect(CustomMenu& menu, PortPoint click, int16_t item,
                        const std::function<void(const PortRect&)>& whileShown = {});

} // namespace platform
