#include "platform/MenuManager.h"

#include "platform/WindowServer.h"

namespace platform {

namespace {
PortRect sDesktop{0, 0, 768, 1024};
} // namespace

PortRect desktopBounds() { return sDesktop; }
void setDesktopBounds(const PortRect& bounds) { sDesktop = bounds; }

int16_t popUpMenuSelect(CustomMenu& menu, PortPoint click, int16_t item,
                        const std::function<void(const PortRect&)>& whileShown) {
  PortRect where{click.v, click.h, click.v, click.h};
  if (menu.definition) {
    menu.definition->size(menu);
    where = menu.definition->place(menu, click, item);
  }
  if (whileShown) whileShown(where);
  MenuEntry entries;
  for (size_t i = 0; i < menu.items.size(); ++i)
    entries.children.push_back({menu.items[i], true, true, static_cast<int16_t>(i + 1) == item, false, {}});
  std::vector<int> chosen = WindowServer::current().popUpMenu(entries, {where.left, where.top});
  if (chosen.empty() || chosen[0] < 0 || chosen[0] >= static_cast<int>(menu.items.size())) return 0;
  return static_cast<int16_t>(chosen[0] + 1);
}

} // namespace platform
