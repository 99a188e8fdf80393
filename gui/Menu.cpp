#include "gui/Menu.h"

namespace gui {

const char* const MenuItem::cDivider = "-";

Menu::~Menu() { clear(); }

int Menu::add(MenuItem* item) {
  items.push_back(item);
  return getCount() - 1;
}

void Menu::insert(int index, MenuItem* item) { items.insert(items.begin() + index, item); }

int Menu::addDivider() { return add(new MenuItem(MenuItem::cDivider)); }

void Menu::insertDivider(int index) { insert(index, new MenuItem(MenuItem::cDivider)); }

void Menu::clear() {
  // Emptied first, so that an item's destructor never sees a half-deleted
  // list.
  std::vector<MenuItem*> doomed;
  doomed.swap(items);
  for (MenuItem* item : doomed) delete item;
}

void MenuItem::click() { onClick(this); }

void PopupMenu::popup(const Rect&) { onPopup(this); }

} // namespace gui
