#pragma once

// Pop-up menus whose look and placement a menu definition of the caller
// decides. The definition answers the size of the menu and where it pops
// up on the desktop; the choice itself goes through the window server's
// pop-up menu (on the headless server: its script), with the items as
// entries. While the menu is up the caller learns its rectangle, so that
// views can keep from painting over it.

#include "platform/Region.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct CustomMenu;

class MenuDefinition {
public:
  virtual ~MenuDefinition() = default;
  // Sets the menu's width and height.
  virtual void size(CustomMenu& menu) = 0;
  // The menu's rectangle in global coordinates when it pops up at click
  // with item (1-based) current.
  virtual PortRect place(const CustomMenu& menu, PortPoint click, int16_t item) = 0;
};

struct CustomMenu {
  int16_t id = 0;
  std::vector<std::string> items;
  int16_t width = 0;
  int16_t height = 0;
  MenuDefinition* definition = nullptr;
};

// The area menus must stay inside (global); 1024 x 768 unless set.
PortRect desktopBounds();
void setDesktopBounds(const PortRect& bounds);

// Shows menu at click (global) with item current and returns the chosen item
// (1-based), 0 when cancelled. whileShown, when given, is called with the
// menu's rectangle before the choice is asked.
int16_t popUpMenuSelect(CustomMenu& menu, PortPoint click, int16_t item,
                        const std::function<void(const PortRect&)>& whileShown = {});

} // namespace platform
