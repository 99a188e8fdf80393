#include "platform/MenuManager.h"

#include "platform/DrawPort.h"
#include "platform/WindowServer.h"

#include <algorithm>
#include <memory>

namespace platform {

namespace {

PortRect sDesktop{0, 0, 768, 1024};

// A menu its definition draws, as the window server sees it.
class DefinedMenu final : public WindowServer::DrawnMenu {
public:
  DefinedMenu(CustomMenu& menu, const PortRect& where, int16_t current)
      : menu(menu), where(where), current(current),
        drawn(std::max(where.right - where.left, 1), std::max(where.bottom - where.top, 1)) {
    // Local coordinates are global: pixel (0, 0) is the menu's corner.
    drawn.setOrigin(where.left, where.top);
    drawn.setWindow(0, {where.left, where.top});
    drawn.clipRect(drawn.bounds());
    menu.port = &drawn;
  }
  ~DefinedMenu() { menu.port = nullptr; }

  ScreenRect frame() override { return {where.left, where.top, where.right, where.bottom}; }
  DrawPort& port() override { return drawn; }
  void draw() override { menu.definition->drawMenu(menu); }
  int track(ScreenPoint mouse) override {
    const int16_t item = menu.definition->findItem(menu, {static_cast<int16_t>(mouse.y), static_cast<int16_t>(mouse.x)});
    if (item != lit) {
      menu.definition->highlightItem(menu, lit, item);
      lit = item;
    }
    return item;
  }
  std::vector<std::string> itemTexts() override { return menu.items; }
  int currentItem() override { return current; }

private:
  CustomMenu& menu;
  PortRect where;
  int16_t current;
  int16_t lit = 0;
  DrawPort drawn;
};

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
  if (menu.definition && menu.definition->drawsMenu()) {
    DefinedMenu drawn(menu, where, item);
    if (whileShown) whileShown(where);
    const int chosen = WindowServer::current().popUpDrawnMenu(drawn);
    return chosen > 0 && chosen <= static_cast<int>(menu.items.size()) ? static_cast<int16_t>(chosen) : 0;
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
