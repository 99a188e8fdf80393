#pragma once

// The window server the GUI toolkit stands on: windows with a content area
// on a global screen, views inside them that paint pixels on request,
// invalidation, the mouse, timers (through the run loop), popup menus, save
// and choose-folder dialogs and alerts. One small interface, so that the
// toolkit above it runs unchanged in the headless server (events injected by
// tests and tools, menus and dialogs answered by a script, the screen an RGB
// framebuffer) and on a real display.
//
// Coordinates are pixels, x to the right and y downwards; rectangles exclude
// their right and bottom edges. "Global" is the screen, "window" the window's
// content area with its top-left at (0, 0), "view" a view's own area.
//
// Mouse events of a window run through a chain of handlers, the handler
// installed last first; each decides whether to pass the event on, and the
// chain ends in the host application's own handler. Mouse moves without a
// pressed button are not sent: who wants hovering polls mouseLocation().
//
// Menus, dialogs and alerts block until answered; a real display runs a
// nested run loop meanwhile (its timers fire and the windows paint, but their
// mouse input waits). Everything runs on the GUI thread.

#include "platform/RunLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class DrawPort;

struct ScreenPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  bool contains(ScreenPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  ScreenRect moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  ScreenRect intersected(const ScreenRect& o) const;
  ScreenRect united(const ScreenRect& o) const;
  bool operator==(const ScreenRect&) const = default;
};

// Modifier keys held during a mouse event.
enum ModifierKey : uint32_t { kShiftKey = 1, kOptionKey = 2, kCommandKey = 4, kControlKey = 8 };

struct MouseEvent {
  enum class Kind { down, up, dragged };
  Kind kind = Kind::down;
  ScreenPoint global;
  uint32_t modifiers = 0;
  int clickCount = 1;
};

// One entry of a popup menu; an entry with children opens a submenu.
struct MenuEntry {
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  bool divider = false;
  std::vector<MenuEntry> children;
};

// What a save dialog returns: the folder and the name the user typed.
struct SaveAnswer {
  std::string folder;
  std::string name;
};

using WindowId = int;
using ViewId = int;
using HandlerId = int;

// Where a view paints: the server clips every image to the area being
// updated.
class ViewSurface {
public:
  // Draws a width x height image of RGBA pixels (bytes in that order, alpha
  // ignored), its top-left at `at` in view coordinates.
  virtual void drawImage(const uint8_t* rgba, int width, int height, ScreenPoint at) = 0;

protected:
  ~ViewSurface() = default;
};

// The owner of a view: asked to paint the part `area` (view coordinates) of
// itself.
class ViewPainter {
public:
  virtual void paintView(ViewSurface& surface, const ScreenRect& area) = 0;

protected:
  ~ViewPainter() = default;
};

// A handler of the window's mouse events. `passOn` hands the event to the
// rest of the chain and returns whether something there handled it.
using MouseHandler = std::function<bool(const MouseEvent& event, const std::function<bool()>& passOn)>;

class WindowServer {
public:
  virtual ~WindowServer() = default;

  // The server the toolkit uses; tools and tests install theirs.
  static WindowServer& current();
  static void setCurrent(WindowServer* server);

  // A server for this process's screen: on the display named by DISPLAY
  // when one answers, headless otherwise; ZARN_WINDOW=headless forces
  // headless. `whyHeadless` (if given) says in one line why a headless
  // server was made, and is left empty for a display.
  static std::unique_ptr<WindowServer> open(RunLoop& loop, std::string* whyHeadless = nullptr);

  virtual RunLoop& runLoop() = 0;

  // Windows. `content` is the content area in global coordinates.
  virtual WindowId createWindow(const ScreenRect& content, bool compositing, const std::string& title) = 0;
  virtual void destroyWindow(WindowId window) = 0;
  virtual ScreenRect contentArea(WindowId window) = 0;
  virtual bool isCompositing(WindowId window) = 0;
  // Called when the user asks to close the window (the window manager's
  // close box); the owner decides whether and when to destroy it.
  virtual void setCloseHandler(WindowId window, std::function<void()> onClose) = 0;

  // Views. `frame` is in the parent view's coordinates (parent 0: the
  // window's content); a view paints through its painter.
  virtual ViewId createView(WindowId window, ViewId parent, const ScreenRect& frame, ViewPainter* painter) = 0;
  virtual void destroyView(ViewId view) = 0;
  virtual void setViewFrame(ViewId view, const ScreenRect& frame) = 0;
  // The view's top-left in its window's coordinates.
  virtual ScreenPoint viewOrigin(ViewId view) = 0;
  // Converts a point in window coordinates to the view's (compositing
  // windows convert through the view hierarchy).
  virtual ScreenPoint windowToView(ViewId view, ScreenPoint p) = 0;

  // Invalidation: the area is painted on the next update. A compositing
  // window is invalidated per view, any window by a window rectangle.
  virtual void invalidateView(ViewId view, const ScreenRect& area) = 0;
  virtual void invalidateWindow(WindowId window, const ScreenRect& area) = 0;
  // Paints every invalid area of the window now.
  virtual void updateWindow(WindowId window) = 0;
  // Called for every area an update repaints (window coordinates) before
  // the views paint: the host draws its own part of the window there, into
  // the window's port. Ignored where the server has no window ports.
  virtual void setUpdateHandler(WindowId, std::function<void(const ScreenRect&)>) {}

  // The port that draws into the window's content, in window coordinates:
  // what a host hands a plug-in as the window's port. Views of the window
  // paint into the same pixels. Null where the server has none.
  virtual DrawPort* windowPort(WindowId) { return nullptr; }
  // The window's root view, which holds the views of the window's
  // controls: 0 while it has none. createRootView makes one that covers the
  // content and paints nothing itself (0 where the server cannot).
  virtual ViewId rootView(WindowId) { return 0; }
  virtual ViewId createRootView(WindowId) { return 0; }

  // The mouse.
  virtual HandlerId addMouseHandler(WindowId window, MouseHandler handler) = 0;
  virtual void removeMouseHandler(HandlerId handler) = 0;
  virtual ScreenPoint mouseLocation() = 0;
  // Where a hovering poll finds the pointer: mouseLocation(), or what the
  // server's own events have told it, where that saves asking the display.
  virtual ScreenPoint hoverLocation() { return mouseLocation(); }
  virtual bool buttonStillDown() = 0;
  // Whether the release of the press being delivered already waits in the
  // server's queue, so it will reach the window: a quick click whose button
  // is up before its press is handled. False where events are not queued.
  virtual bool releaseQueued() { return false; }

  // Shows the menu below-left of `at` (global) and blocks until the user
  // chooses or cancels. Returns the path of indices of the chosen entry
  // (first the index in `menu.children`, then in that entry's children...);
  // empty when cancelled.
  virtual std::vector<int> popUpMenu(const MenuEntry& menu, ScreenPoint at) = 0;

  // A pop-up menu that its owner draws and tracks: the server shows the
  // owner's port over the menu's frame, lets the owner draw it, and while
  // the user points asks it for the item under the mouse (which the owner
  // highlights, and where the menu is cut by the screen, scrolls to).
  // Returns the chosen item (1-based), 0 when cancelled. Servers that
  // cannot show such a menu offer the item texts in a plain one.
  class DrawnMenu {
  public:
    // Global; the port's local coordinates are global too.
    virtual ScreenRect frame() = 0;
    virtual DrawPort& port() = 0;
    virtual void draw() = 0;
    virtual int track(ScreenPoint mouse) = 0;
    // What the user reads in each item (scripts choose by it), and the
    // current item (1-based, 0 for none).
    virtual std::vector<std::string> itemTexts() = 0;
    virtual int currentItem() = 0;

  protected:
    ~DrawnMenu() = default;
  };
  virtual int popUpDrawnMenu(DrawnMenu& menu);

  // Modal dialogs: nothing when cancelled. `startFolder` empty: the server's
  // default folder. A save dialog that is given a `suffix` (the extension
  // with its dot) answers the name with it as withSuffix adds it, and asks
  // before that file is replaced; `filter` holds pairs of a description and
  // patterns separated by "|", the file types it may offer.
  virtual std::optional<SaveAnswer> askSaveName(const std::string& startFolder, const std::string& suffix = "",
                                                const std::string& filter = "") = 0;
  virtual std::optional<std::string> askFolder(const std::string& startFolder, const std::string& title) = 0;

  // A modal note alert, run until dismissed.
  virtual void alert(const std::string& message) = 0;

  // The clipboard's text (UTF-8): on a display its clipboard, shared with
  // every other program there; elsewhere one clipboard for the whole
  // process, which tests and scripts set. Nothing when it holds no text.
  virtual std::optional<std::string> clipboardText();
  // Puts text on the clipboard (this process then owns it).
  virtual void setClipboardText(const std::string& text);

  // Ends the menu, dialog or alert being shown as if the user had cancelled
  // it, and any that opens before control is back in the run loop's own
  // pass: the process or its window is closing. Where modals are answered
  // at once there is nothing to end.
  virtual void cancelModal() {}
};

// `path` with `suffix` appended unless it already ends in it (byte for
// byte) or is not longer than it; an empty suffix adds nothing.
std::string withSuffix(const std::string& path, const std::string& suffix);

} // namespace platform
