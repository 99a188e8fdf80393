#include "platform/WindowServer.h"

#include "platform/HeadlessWindowServer.h"
#include "platform/X11WindowServer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

ScreenRect ScreenRect::intersected(const ScreenRect& o) const {
  return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
}

ScreenRect ScreenRect::united(const ScreenRect& o) const {
  if (o.empty()) return *this;
  if (empty()) return o;
  return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
}

std::string withSuffix(const std::string& path, const std::string& suffix) {
  if (suffix.empty() || suffix.size() >= path.size() ||
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
    return path;
  return path + suffix;
}

namespace {
WindowServer* sCurrent = nullptr;
} // namespace

WindowServer& WindowServer::current() {
  if (!sCurrent) {
    // Without a display of its own the process gets a headless screen.
    static HeadlessWindowServer fallback;
    sCurrent = &fallback;
  }
  return *sCurrent;
}

void WindowServer::setCurrent(WindowServer* server) { sCurrent = server; }

namespace {
std::optional<std::string>& processClipboard() {
  static std::optional<std::string> text;
  return text;
}
} // namespace

int WindowServer::popUpDrawnMenu(DrawnMenu& menu) {
  MenuEntry entries;
  const std::vector<std::string> texts = menu.itemTexts();
  for (size_t i = 0; i < texts.size(); ++i)
    entries.children.push_back({texts[i], true, true, static_cast<int>(i + 1) == menu.currentItem(), false, {}});
  const ScreenRect frame = menu.frame();
  const std::vector<int> chosen = popUpMenu(entries, {frame.left, frame.top});
  if (chosen.empty() || chosen[0] < 0 || chosen[0] >= static_cast<int>(texts.size())) return 0;
  return chosen[0] + 1;
}

std::optional<std::string> WindowServer::clipboardText() { return processClipboard(); }
void WindowServer::setClipboardText(const std::string& text) { processClipboard() = text; }

std::unique_ptr<WindowServer> WindowServer::open(RunLoop& loop, std::string* whyHeadless) {
  std::string why;
  const char* choice = std::getenv("ZARN_WINDOW");
  const char* display = std::getenv("DISPLAY");
  if (choice && std::strcmp(choice, "headless") == 0) {
    why = "ZARN_WINDOW=headless";
  } else if (!display || !*display) {
    why = "DISPLAY is not set";
  } else if (auto x = X11WindowServer::open(loop, why)) {
    if (whyHeadless) whyHeadless->clear();
    return x;
  }
  if (whyHeadless) *whyHeadless = why;
  return std::make_unique<HeadlessWindowServer>(loop);
}

} // namespace platform
