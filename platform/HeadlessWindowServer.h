#pragma once

// The window server without a display. The screen is one framebuffer per
// window, the window's port (what host-drawn views draw into as well); views paint into it when the run loop goes idle (or on
// updateWindow) and only inside what was invalidated, and every painted area
// is logged, so a test sees exactly what was repainted. The mouse is driven
// by move, press and release calls in global coordinates; a press goes to the
// topmost window under it, moves with the button down and the release to the
// window that got the press. Each window's handler chain ends in a host
// handler that tests script (for instance to swallow the release in a
// tracking loop of its own, as hosts do).
//
// Popup menus are answered by a scripted responder that chooses by the
// entries' texts (the first enabled entry with the text wins; a disabled,
// hidden or divider entry, or a text that is not there, cancels) and records
// every menu shown; with nothing scripted a menu is cancelled. Like a real
// menu's tracking, a menu opened while the button is down consumes the
// release of that press. Dialogs are answered the same way and record the
// folder they opened in; alerts are recorded.

#include "platform/BufferedWindowServer.h"

#include <deque>
#include <map>
#include <memory>

namespace platform {

class HeadlessWindowServer : public BufferedWindowServer {
public:
  struct ShownMenu {
    MenuEntry menu;
    ScreenPoint at;
    std::vector<int> chosen;
  };
  struct Painted {
    ViewId view;
    ScreenRect area; // view coordinates
  };

  explicit HeadlessWindowServer(RunLoop& loop = RunLoop::main());
  ~HeadlessWindowServer() override;

  // WindowServer
  RunLoop& runLoop() override { return loop; }
  WindowId createWindow(const ScreenRect& content, bool compositing, const std::string& title) override;
  void destroyWindow(WindowId window) override;
  void updateWindow(WindowId window) override;
  ScreenPoint mouseLocation() override { return mouse; }
  bool buttonStillDown() override;
  std::vector<int> popUpMenu(const MenuEntry& menu, ScreenPoint at) override;
  // A drawn menu is drawn into its port; a script chooses in it by text as
  // in a plain menu; a hand holding the button along a path (with nothing
  // scripted) moves through it, the menu tracking each point, and chooses
  // the item where the button goes up. Either way it is logged among the
  // shown menus.
  int popUpDrawnMenu(DrawnMenu& menu) override;
  std::optional<SaveAnswer> askSaveName(const std::string& startFolder, const std::string& suffix = "",
                                        const std::string& filter = "") override;
  std::optional<std::string> askFolder(const std::string& startFolder, const std::string& title) override;
  void alert(const std::string& message) override;

  // The user asks to close the window, as with a window manager's close box.
  void requestClose(WindowId window);

  // The mouse, in global coordinates. A move with the button down is a drag.
  void move(ScreenPoint p, uint32_t modifiers = 0);
  void press(ScreenPoint p, uint32_t modifiers = 0, int clickCount = 1);
  void release(ScreenPoint p, uint32_t modifiers = 0);
  // The button went up in someone else's tracking: the next release is not
  // delivered.
  void consumeRelease();
  // A drag that a tracking loop polls: the button is down, and each
  // buttonStillDown() moves the mouse to the next point of path and answers
  // true; once the path is used up the button is up where it ended. Nothing
  // reaches the mouse handlers: the tracker owns the whole gesture.
  void holdButtonAlong(std::vector<ScreenPoint> path);

  // The last handler of the window's chain; returns whether it handled the
  // event. The default handles nothing. Every event reaching it is logged.
  void setHostHandler(WindowId window, std::function<bool(const MouseEvent&)> handler);
  const std::vector<MouseEvent>& hostEvents(WindowId window);

  // Scripts: the next menu chooses the entry with these texts (top level
  // first); an empty path cancels.
  void chooseInNextMenu(std::vector<std::string> path) { menuScript.push_back(std::move(path)); }
  const std::vector<ShownMenu>& shownMenus() const { return menus; }
  // The next save dialog returns `name` typed in `folder` (empty: the folder
  // it opened in); nothing cancels. The same for the folder dialog.
  void answerNextSave(std::optional<std::string> name, std::string folder = "");
  void answerNextFolder(std::optional<std::string> folder);
  const std::vector<std::string>& dialogStartFolders() const { return startFolders; }
  void setDefaultFolder(const std::string& folder) { defaultFolder = folder; }
  const std::vector<std::string>& alerts() const { return alertLog; }

  // The last drawn menu as it was first drawn and as it closed; null
  // before any.
  const DrawPort* drawnMenuOpened() const { return drawnOpened.get(); }
  const DrawPort* drawnMenuClosed() const { return drawnClosed.get(); }

  // The screen.
  void pixel(WindowId window, int x, int y, uint8_t rgb[3]);
  // Areas painted since the last call, per view, in painting order.
  std::vector<Painted> takePaintLog();
  // The window as an opaque PNG file, written as writePngFile writes it;
  // error (when given) says why not.
  bool writeSnapshot(WindowId window, const std::string& pngPath, std::string* error = nullptr);

private:
  struct Window;

  Window* window(WindowId id);
  Window* windowAt(ScreenPoint p);
  void dispatch(Window* w, const MouseEvent& e);

  RunLoop& loop;
  uint64_t idleHook;
  ScreenPoint mouse;
  bool button = false;
  bool dropRelease = false;
  std::deque<ScreenPoint> trackPath;
  bool trackScripted = false;
  WindowId pressWindow = 0;
  std::deque<std::vector<std::string>> menuScript;
  std::vector<ShownMenu> menus;
  std::deque<std::optional<SaveAnswer>> saveScript;
  std::deque<std::optional<std::string>> folderScript;
  std::vector<std::string> startFolders;
  std::string defaultFolder;
  std::vector<std::string> alertLog;
  std::vector<Painted> paintLog;
  std::unique_ptr<DrawPort> drawnOpened;
  std::unique_ptr<DrawPort> drawnClosed;
};

} // namespace platform
