#include "platform/HeadlessWindowServer.h"

#include "platform/DrawPort.h"
#include "platform/PngWriter.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

struct HeadlessWindowServer::Window : BufferedWindow {
  std::string title;
  std::function<bool(const MouseEvent&)> host;
  std::vector<MouseEvent> hostEvents;
};

HeadlessWindowServer::HeadlessWindowServer(RunLoop& loop) : loop(loop) {
  idleHook = loop.addIdle([this] { updateAll(); });
  const char* home = std::getenv("HOME");
  defaultFolder = home && *home ? home : "/tmp";
}

HeadlessWindowServer::~HeadlessWindowServer() { loop.removeIdle(idleHook); }

HeadlessWindowServer::Window* HeadlessWindowServer::window(WindowId id) { return static_cast<Window*>(bufferedWindow(id)); }

WindowId HeadlessWindowServer::createWindow(const ScreenRect& content, bool compositing, const std::string& title) {
  auto w = std::make_unique<Window>();
  w->content = content;
  w->compositing = compositing;
  w->title = title;
  return addWindow(std::move(w), std::max(content.width(), 0), std::max(content.height(), 0));
}

void HeadlessWindowServer::destroyWindow(WindowId id) {
  removeWindow(id);
  if (pressWindow == id) pressWindow = 0;
}

void HeadlessWindowServer::requestClose(WindowId id) {
  Window* w = window(id);
  if (!w || !w->onClose) return;
  // A copy: the handler may destroy the window.
  const std::function<void()> onClose = w->onClose;
  onClose();
}

void HeadlessWindowServer::updateWindow(WindowId id) {
  paintInvalidAreas(
      id, [this](ViewId vid, const ScreenRect& inView) { paintLog.push_back({vid, inView}); }, nullptr);
}

void HeadlessWindowServer::setHostHandler(WindowId id, std::function<bool(const MouseEvent&)> handler) {
  if (Window* w = window(id)) w->host = std::move(handler);
}

const std::vector<MouseEvent>& HeadlessWindowServer::hostEvents(WindowId id) {
  static const std::vector<MouseEvent> none;
  Window* w = window(id);
  return w ? w->hostEvents : none;
}

void HeadlessWindowServer::dispatch(Window* w, const MouseEvent& e) {
  // The chain is taken as it stands: a handler removed while the event runs
  // (its window closed) is not called, and the callables live until the end.
  const WindowId id = [&] {
    for (const auto& [wid, win] : windows)
      if (win.get() == w) return wid;
    return 0;
  }();
  std::vector<std::pair<HandlerId, std::shared_ptr<MouseHandler>>> chain(w->handlers.rbegin(), w->handlers.rend());
  std::function<bool(size_t)> step = [&](size_t i) -> bool {
    while (i < chain.size() && !handlerOwners.count(chain[i].first)) ++i;
    if (i < chain.size()) return (*chain[i].second)(e, [&step, i] { return step(i + 1); });
    Window* still = window(id);
    if (!still) return false;
    still->hostEvents.push_back(e);
    // A copy: the host may close the window from inside its handler.
    const std::function<bool(const MouseEvent&)> host = still->host;
    return host ? host(e) : false;
  };
  step(0);
  updateAll();
}

HeadlessWindowServer::Window* HeadlessWindowServer::windowAt(ScreenPoint p) {
  Window* found = nullptr;
  for (const auto& [id, w] : windows)
    if (w->content.contains(p)) found = static_cast<Window*>(w.get());
  return found;
}

void HeadlessWindowServer::move(ScreenPoint p, uint32_t modifiers) {
  mouse = p;
  if (!button) return;
  if (Window* w = window(pressWindow)) dispatch(w, {MouseEvent::Kind::dragged, p, modifiers, 1});
}

void HeadlessWindowServer::press(ScreenPoint p, uint32_t modifiers, int clickCount) {
  mouse = p;
  button = true;
  dropRelease = false;
  Window* w = windowAt(p);
  pressWindow = 0;
  for (const auto& [id, win] : windows)
    if (win.get() == w) pressWindow = id;
  if (w) dispatch(w, {MouseEvent::Kind::down, p, modifiers, clickCount});
}

void HeadlessWindowServer::release(ScreenPoint p, uint32_t modifiers) {
  mouse = p;
  button = false;
  if (dropRelease) {
    dropRelease = false;
    return;
  }
  if (Window* w = window(pressWindow)) dispatch(w, {MouseEvent::Kind::up, p, modifiers, 1});
  pressWindow = 0;
}

bool HeadlessWindowServer::buttonStillDown() {
  if (!trackScripted) return button;
  if (trackPath.empty()) {
    trackScripted = false;
    button = false;
    return false;
  }
  mouse = trackPath.front();
  trackPath.pop_front();
  return true;
}

void HeadlessWindowServer::holdButtonAlong(std::vector<ScreenPoint> path) {
  trackPath.assign(path.begin(), path.end());
  trackScripted = true;
  button = true;
}

void HeadlessWindowServer::consumeRelease() {
  if (!button) return;
  button = false;
  dropRelease = true;
}

namespace {

// The first enabled, visible, non-divider entry with the text; null when there
// is none (a matching entry that cannot be chosen cancels as well).
int findChoice(const MenuEntry& menu, const std::string& text) {
  for (size_t i = 0; i < menu.children.size(); ++i) {
    const MenuEntry& e = menu.children[i];
    if (e.text == text && e.enabled && e.visible && !e.divider) return static_cast<int>(i);
  }
  return -1;
}

} // namespace

std::vector<int> HeadlessWindowServer::popUpMenu(const MenuEntry& menu, ScreenPoint at) {
  consumeRelease();
  std::vector<std::string> script;
  if (!menuScript.empty()) {
    script = std::move(menuScript.front());
    menuScript.pop_front();
  }
  std::vector<int> chosen;
  const MenuEntry* level = &menu;
  for (size_t i = 0; i < script.size(); ++i) {
    const int index = findChoice(*level, script[i]);
    if (index < 0) {
      chosen.clear();
      break;
    }
    chosen.push_back(index);
    level = &level->children[index];
    // Only a leaf is a choice; a submenu's title just opens it.
    if ((i + 1 < script.size()) != !level->children.empty()) {
      chosen.clear();
      break;
    }
  }
  menus.push_back({menu, at, chosen});
  return chosen;
}

int HeadlessWindowServer::popUpDrawnMenu(DrawnMenu& menu) {
  menu.draw();
  drawnOpened = std::make_unique<DrawPort>(menu.port());
  int chosen = 0;
  if (menuScript.empty() && trackScripted && !trackPath.empty()) {
    while (buttonStillDown()) chosen = menu.track(mouse);
    chosen = menu.track(mouse); // where the button went up
    MenuEntry entries;
    for (const std::string& text : menu.itemTexts()) entries.children.push_back({text, true, true, false, false, {}});
    const ScreenRect frame = menu.frame();
    menus.push_back({entries, {frame.left, frame.top}, chosen > 0 ? std::vector<int>{chosen - 1} : std::vector<int>{}});
  } else {
    chosen = WindowServer::popUpDrawnMenu(menu);
  }
  drawnClosed = std::make_unique<DrawPort>(menu.port());
  return chosen;
}

void HeadlessWindowServer::answerNextSave(std::optional<std::string> name, std::string folder) {
  if (name)
    saveScript.push_back(SaveAnswer{std::move(folder), std::move(*name)});
  else
    saveScript.push_back(std::nullopt);
}

void HeadlessWindowServer::answerNextFolder(std::optional<std::string> folder) { folderScript.push_back(folder); }

std::optional<SaveAnswer> HeadlessWindowServer::askSaveName(const std::string& startFolder, const std::string&,
                                                            const std::string&) {
  startFolders.push_back(startFolder);
  if (saveScript.empty()) return std::nullopt;
  std::optional<SaveAnswer> a = std::move(saveScript.front());
  saveScript.pop_front();
  if (a && a->folder.empty()) a->folder = startFolder.empty() ? defaultFolder : startFolder;
  return a;
}

std::optional<std::string> HeadlessWindowServer::askFolder(const std::string& startFolder, const std::string&) {
  startFolders.push_back(startFolder);
  if (folderScript.empty()) return std::nullopt;
  std::optional<std::string> a = std::move(folderScript.front());
  folderScript.pop_front();
  return a;
}

void HeadlessWindowServer::alert(const std::string& message) { alertLog.push_back(message); }

void HeadlessWindowServer::pixel(WindowId id, int x, int y, uint8_t rgb[3]) {
  rgb[0] = rgb[1] = rgb[2] = 0;
  Window* w = window(id);
  if (!w || x < 0 || y < 0 || x >= w->content.width() || y >= w->content.height()) return;
  const uint8_t* p = w->port->pixels() + (static_cast<size_t>(y) * w->content.width() + x) * 4;
  rgb[0] = p[0];
  rgb[1] = p[1];
  rgb[2] = p[2];
}

std::vector<HeadlessWindowServer::Painted> HeadlessWindowServer::takePaintLog() {
  // The log keeps its room: logging a paint allocates no more than the
  // paint does.
  std::vector<Painted> out(paintLog);
  paintLog.clear();
  return out;
}

bool HeadlessWindowServer::writeSnapshot(WindowId id, const std::string& pngPath, std::string* error) {
  Window* w = window(id);
  if (!w) {
    if (error) *error = "cannot write " + pngPath + ": there is no such window";
    return false;
  }
  return writePngFile(pngPath, w->content.width(), w->content.height(), w->port->pixels(), false, error);
}

} // namespace platform
