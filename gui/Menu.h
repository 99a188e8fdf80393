#pragma once

// Menus as plain data trees. An entry is itself a menu of sub-entries, so one
// class serves for items and submenus; the editors fill them (often anew each
// time they pop up) and the platform back end turns them into a native popup
// menu. Choosing an entry calls its virtual click(); plain items fire onClick.
//
// A menu owns its items: clear() and the destructor delete them, and with
// them their sub-items.

#include "base/NotifyEvent.h"
#include "base/Property.h"
#include "gui/Geometry.h"

#include <string>
#include <vector>

namespace gui {

class MenuItem;

class Menu {
public:
  Menu() = default;
  virtual ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  // No range check: callers stay below getCount().
  MenuItem* getItem(int index) const { return items[index]; }
  int getCount() const { return static_cast<int>(items.size()); }
  // Appends and takes ownership; returns the new item's index.
  int add(MenuItem* item);
  // Inserts before index and takes ownership.
  void insert(int index, MenuItem* item);
  int addDivider();
  void insertDivider(int index);
  // Deletes every item.
  void clear();

protected:
  std::vector<MenuItem*> items;
};

class MenuItem : public Menu {
public:
  // The text that makes an item a divider.
  static const char* const cDivider;

  // Properties without owner: a change notifies nobody.
  Property<std::string> text;
  Property<bool> checkMark{nullptr, false};
  Property<bool> enabled{nullptr, true};
  Property<bool> visible{nullptr, true};
  NotifyEvent onClick;

  MenuItem() = default;
  explicit MenuItem(const std::string& text) : text(nullptr, text) {}
  // The event takes ownership of the handler.
  MenuItem(const std::string& text, NotifyEvent::Handler* handler) : text(nullptr, text) { onClick = handler; }

  bool isDivider() const { return text.get() == cDivider; }

  // Fires onClick with this item as sender.
  virtual void click();
};

class PopupMenu : public Menu {
public:
  // Fired with the menu as sender before it shows, so that its owner can fill
  // it at the last moment.
  NotifyEvent onPopup;

  // Fires onPopup; the platform subclass then shows the menu at `rect` (root
  // coordinates) and clicks the chosen item.
  virtual void popup(const Rect& rect);
};

} // namespace gui
