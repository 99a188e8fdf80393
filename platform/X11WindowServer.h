#pragma once

// The window server on a real X display, over Xlib.
//
// Each window is a top-level X window of the content's size and title. As in
// the headless server, its back buffer is the window's port: the host draws
// its part of an update there first, then the views paint, only inside what
// was invalidated; the painted rectangles are then put on the screen,
// converted to the visual's colour masks, and an expose is answered from
// the back buffer without asking anyone again. Only 24-bit true-colour
// visuals (8 bits per channel) are served.
//
// Input: button 1 is the mouse button and button 3 a control-click; the
// wheel and the middle button are ignored. Shift is shift, Ctrl is command,
// Alt is option and Super is control. A press within 500 ms of the last one,
// near it, counts as the next click. Drags go to the window that got the
// press (X's implicit grab), and "button still down" asks the server for the
// pointer's state, so a release lost elsewhere is noticed.
//
// The connection is served from the run loop: a watch on its socket and an
// idle hook that drains Xlib's queue (events may have been read during a
// round trip, where poll() would not see them), paints what was invalidated
// and flushes, before the loop waits again.
//
// Popup menus, alerts and dialogs are modal: each runs the run loop nested
// until it is answered, the X events going to the modal first, so timers
// fire and what they invalidate is painted (the editor's lights go on); the
// windows' mouse input is dropped meanwhile. A close asked for meanwhile
// cancels the modal, as does cancelModal() (a termination signal), and is
// delivered once it has returned. A window destroyed, or a menu or alert
// that has returned, is gone for every client of the display: the server
// has handled the destruction (a round trip), not just been sent it. Menus are override-redirect windows drawn
// with the text engine, with hover highlight, submenus, check marks and
// disabled entries; a click on an entry chooses it, so does a press dragged
// onto one and released there, a click outside or Escape cancels. The
// release of the press that opened the menu is consumed when it comes where
// the press was or within the double-click time. Save and folder dialogs run
// `zenity` as a child process (no shell) when it is on the PATH and ask on
// the console otherwise, without holding the loop while a line is typed; a
// save dialog asks before replacing the file its answer names once the
// extension is added.

#include "platform/BufferedWindowServer.h"

#include <map>
#include <memory>
#include <string>

struct _XDisplay;
union _XEvent;

namespace platform {

class X11Clipboard;

class X11WindowServer : public BufferedWindowServer {
public:
  // Opens the display named by DISPLAY (or `displayName`); null with a
  // one-line reason when none answers or its visual cannot be served.
  static std::unique_ptr<X11WindowServer> open(RunLoop& loop, std::string& why, const char* displayName = nullptr);
  ~X11WindowServer() override;

  // WindowServer
  RunLoop& runLoop() override { return loop; }
  WindowId createWindow(const ScreenRect& content, bool compositing, const std::string& title) override;
  void destroyWindow(WindowId window) override;
  void updateWindow(WindowId window) override;
  ScreenPoint mouseLocation() override;
  // From the crossing and motion events of the windows while no button is
  // held and no menu or dialog runs (they report every move over a window
  // and the leave): an idle window's polls need no round trip.
  ScreenPoint hoverLocation() override;
  bool buttonStillDown() override;
  bool releaseQueued() override;
  std::vector<int> popUpMenu(const MenuEntry& menu, ScreenPoint at) override;
  // A drawn menu is an override-redirect window showing the menu's port,
  // with the pointer grabbed: each move is tracked (and the resting mouse
  // every 50 ms, so that a cut menu scrolls), the release of the press that
  // opened it, or a click, chooses where it happens; a press outside or
  // Escape cancels.
  int popUpDrawnMenu(DrawnMenu& menu) override;
  std::optional<SaveAnswer> askSaveName(const std::string& startFolder, const std::string& suffix = "",
                                        const std::string& filter = "") override;
  std::optional<std::string> askFolder(const std::string& startFolder, const std::string& title) override;
  void alert(const std::string& message) override;
  void cancelModal() override { cancelling = true; }
  // The display's CLIPBOARD selection.
  std::optional<std::string> clipboardText() override;
  void setClipboardText(const std::string& text) override;

  // Called, on the GUI thread, when the connection to the display breaks;
  // the process ends after it returns (Xlib allows nothing else).
  static void setConnectionLostHandler(std::function<void()> handler);

  // For tests and tools: the connection and a window's X id.
  _XDisplay* display() const { return dpy; }
  unsigned long xWindow(WindowId window);
  // Handles every event Xlib has queued or can read now; false when none.
  bool processPendingEvents();

private:
  struct Window;
  struct Format;
  class MenuTracker;
  class AlertBox;

  X11WindowServer(RunLoop& loop, _XDisplay* dpy);

  Window* window(WindowId id);
  void handleEvent(_XEvent& e);
  // Takes the pointer's position from an event that carries it.
  void notePointer(const _XEvent& e);
  // While a modal loop runs: keeps windows painted, defers closes, drops
  // their input.
  void handleEventWhileModal(_XEvent& e);
  void dispatch(WindowId id, const MouseEvent& e);
  void put(Window& w, const ScreenRect& area);
  void refreshPosition(WindowId id, Window& w);
  void deliverDeferredCloses();
  // After events or in their stead: a modal's deferred closes and cancel.
  void endEventPass();
  // The loop's pass: events Xlib holds or may have read, then painting, then
  // the requests sent.
  void idlePass();
  // Runs the loop until done() or a cancel: X events go to `handler`; `fd`
  // (if >= 0) wakes onReadable. False when cancelled.
  bool runModal(const std::function<bool()>& done, const std::function<void(_XEvent&)>& handler, int fd = -1,
                const std::function<void()>& onReadable = {});
  // Runs the program and answers what it wrote, nothing when it failed or
  // was cancelled (it is ended then). `succeeded` (if given) hears whether it
  // exited with 0, for programs that answer by their status.
  std::optional<std::string> runDialog(const std::vector<std::string>& argv, bool* succeeded = nullptr);
  // Asks on the console: one line from standard input, read while the loop
  // runs; nothing when empty, at its end or cancelled.
  std::optional<std::string> askOnConsole(const std::string& prompt);
  // Whether the user lets `path` be replaced.
  bool confirmReplace(const std::string& path, bool zenity);

  RunLoop& loop;
  _XDisplay* dpy;
  std::unique_ptr<Format> format;
  unsigned long deleteAtom = 0;
  unsigned long colormap = 0;
  uint64_t idleHook = 0;
  int fd = -1;
  // The connection's request number when Xlib last flushed it and read what
  // had come (see the idle hook).
  unsigned long drainedAt = 0;
  int modalDepth = 0;
  const std::function<void(_XEvent&)>* modalHandler = nullptr;
  bool cancelling = false;
  std::vector<WindowId> deferredCloses;
  WindowId pressWindow = 0;
  unsigned pressButton = 0;
  bool dropRelease = false;
  unsigned long lastPressTime = 0;
  unsigned lastPressButton = 0;
  ScreenPoint lastPressAt;
  int clickCount = 0;
  // Where the last event put the pointer, while the events tell it (not
  // during someone's grab, nor before the first event).
  bool pointerKnown = false;
  ScreenPoint pointerAt;
  std::unique_ptr<X11Clipboard> clipboard;
};

} // namespace platform
