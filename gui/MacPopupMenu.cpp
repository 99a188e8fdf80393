#include "gui/MacPopupMenu.h"

#include "gui/MacControl.h"

namespace gui {

void MacPopupMenu::popup(const Rect& rect) {
  PopupMenu::popup(rect);
  root->prepareForMenu();
  const platform::MenuEntry entry = createMenu(this);
  const Point at = root->transformControlToGlobal(Point(rect.left, rect.bottom + 5));
  const std::vector<int> chosen = platform::WindowServer::current().popUpMenu(entry, {at.x, at.y});
  MenuItem* item = nullptr;
  Menu* level = this;
  for (int index : chosen) {
    if (index < 0 || index >= level->getCount()) {
      item = nullptr;
      break;
    }
    item = level->getItem(index);
    level = item;
  }
  menus.clear();
  if (item) item->click();
}

platform::MenuEntry MacPopupMenu::createMenu(Menu* menu) {
  menus.push_back(menu);
  platform::MenuEntry entry;
  for (int i = 0; i < menu->getCount(); ++i) {
    MenuItem* item = menu->getItem(i);
    platform::MenuEntry e;
    e.text = item->text;
    e.enabled = item->enabled;
    e.visible = item->visible;
    e.divider = item->isDivider();
    e.checked = item->checkMark;
    if (item->getCount() > 0) e.children = createMenu(item).children;
    entry.children.push_back(std::move(e));
  }
  return entry;
}

} // namespace gui
