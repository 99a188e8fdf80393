#pragma once

// The root of the control tree: a view of a window on the window server. It
// paints the tree into one offscreen bitmap, only inside the rectangle
// invalidated since the last paint, and copies the bitmap to the window when
// the server asks it to draw. It turns the window's mouse events into the
// tree's routing, always starting at the control that holds the capture, and
// polls the mouse every 50 ms for hovering, since the window reports no
// moves without a pressed button.
//
// The window's handler chain goes on to the host's own handlers after the
// root's; a host may track the mouse itself there and swallow the release.
// The root then delivers a release of its own at (-1, -1), outside every
// control, so the capture is given back and nothing is clicked. The host may
// also close the window there: a liveness token tells the handler whether
// the root still exists afterwards.
//
// mouseState: 0 the mouse is outside, 1 inside, 2 the button is pressed.

#include "base/FreeMonitor.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "platform/WindowServer.h"

namespace gui {

class MacControl : public Control, private platform::ViewPainter {
public:
  MacControl(UserInterface* userInterface, platform::WindowId window, platform::ViewId parent, const Rect& bounds);
  ~MacControl() override;

  void captureMouse(Control* control);
  Control* getCaptureControl() const { return captureControl; }
  int getMouseState() const { return mouseState; }
  const Rect& getUpdateRect() const { return updateRect; }
  platform::ViewId getView() const { return view; }
  Bitmap* getBitmap() const { return bitmap; }

  static ShiftState getMouseShiftState(uint32_t modifiers, int clickCount);
  // A global point in the coordinates of the capture control.
  Point getMousePoint(platform::ScreenPoint global);
  Point transformWindowToControl(const Point& p);
  Point transformGlobalToControl(const Point& p);
  Point transformControlToGlobal(const Point& p);

  // Paints the tree inside updateRect into the bitmap.
  void updateBitmap();
  // Copies the bitmap to the surface, clipped to `clip` (root coordinates)
  // when given.
  void drawBitmapToSurface(platform::ViewSurface& surface, const Rect* clip);
  // Before a popup menu: the window is brought up to date, and a pressed
  // button counts as released, because the menu's tracking consumes the
  // release. The control holding the capture gives it back, so the next
  // press goes to the control under the mouse; ending its own gesture is
  // left to that control (a button does it once the menu is gone).
  void prepareForMenu();
  // Copies the bitmap to the window now, within `clip` (root coordinates)
  // when given.
  void drawToWindow(const Rect* clip);
  // Copies the bitmap into the port of the root's window (window
  // coordinates), within `clip` (root coordinates) and the port's clip.
  void drawBitmapToPort(platform::DrawPort& port, const Rect* clip);
  platform::WindowId getWindowId() const { return window; }
  platform::WindowServer& getServer() const { return server; }
  void handleMouseUp(const Point&, const ShiftState&) {}

protected:
  void paint(const Canvas& canvas) override;
  void resized() override;
  void updateControl(const Rect& r) override;

private:
  void paintView(platform::ViewSurface& surface, const platform::ScreenRect& area) override;
  void createCustomControl(platform::ViewId parent);
  bool windowHandler(const platform::MouseEvent& event, const std::function<bool()>& passOn);
  void timerHandler();

  platform::WindowServer& server;
  Bitmap* bitmap;
  platform::ViewId view = 0;
  FreeMonitor* freeMonitor;
  Control* captureControl;
  Point lastMousePoint;
  int mouseState = 0;
  Rect updateRect;
  platform::RunLoop::TimerId hoverTimer = 0;
  platform::HandlerId windowHandlerId = 0;
  bool compositing = false;
  platform::WindowId window;
};

} // namespace gui
