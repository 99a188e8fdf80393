#include "gui/MacControl.h"

#include "gui/MacInterface.h"
#include "platform/DrawPort.h"

#include <memory>

namespace gui {

namespace {
constexpr int64_t cHoverPollMicroseconds = 50000;
// Hovering need not be punctual: the poll rides on the passes the loop
// makes anyway (the user interface's own 50 ms timer), so an idle window
// wakes once per tick instead of twice.
constexpr int64_t cHoverLeewayMicroseconds = 25000;
} // namespace

MacControl::MacControl(UserInterface* userInterface, platform::WindowId window, platform::ViewId parent,
                       const Rect& bounds)
    : Control(userInterface),
      server(platform::WindowServer::current()),
      bitmap(userInterface->createBitmap()),
      freeMonitor(new FreeMonitor),
      captureControl(this),
      window(window) {
  // The view does not exist yet: invalidations only gather in updateRect.
  this->bounds = bounds;
  createCustomControl(parent);
  updateRect = clientRect;
}

MacControl::~MacControl() {
  server.runLoop().removeTimer(hoverTimer);
  server.removeMouseHandler(windowHandlerId);
  server.destroyView(view);
  delete bitmap;
  bitmap = nullptr;
  freeMonitor->releaseByOwner();
}

void MacControl::createCustomControl(platform::ViewId parent) {
  compositing = server.isCompositing(window);
  const Rect& b = bounds.get();
  view = server.createView(window, parent, {b.left, b.top, b.right, b.bottom}, this);
  windowHandlerId = server.addMouseHandler(
      window, [this](const platform::MouseEvent& e, const std::function<bool()>& passOn) {
        return windowHandler(e, passOn);
      });
  hoverTimer = server.runLoop().addTimer(cHoverPollMicroseconds, cHoverPollMicroseconds, [this] { timerHandler(); },
                                         cHoverLeewayMicroseconds);
}

void MacControl::captureMouse(Control* control) { captureControl = control ? control : this; }

ShiftState MacControl::getMouseShiftState(uint32_t modifiers, int clickCount) {
  ShiftState s = 0;
  if (modifiers & platform::kCommandKey) s |= cCommandBit;
  if (modifiers & platform::kOptionKey) s |= cOptionBit;
  if (modifiers & platform::kShiftKey) s |= cShiftBit;
  if (modifiers & platform::kControlKey) s |= cControlBit;
  if (clickCount > 1) s |= cDoubleClickBit;
  return s;
}

Point MacControl::transformWindowToControl(const Point& p) {
  if (compositing) {
    const platform::ScreenPoint v = server.windowToView(view, {p.x, p.y});
    return Point(v.x, v.y);
  }
  const platform::ScreenPoint origin = server.viewOrigin(view);
  return Point(p.x - origin.x, p.y - origin.y);
}

Point MacControl::transformGlobalToControl(const Point& p) {
  const platform::ScreenRect content = server.contentArea(window);
  return transformWindowToControl(Point(p.x - content.left, p.y - content.top));
}

Point MacControl::transformControlToGlobal(const Point& p) {
  // The screen's origin seen from the view.
  return p - transformGlobalToControl(Point(0, 0));
}

Point MacControl::getMousePoint(platform::ScreenPoint global) {
  Point p = transformGlobalToControl(Point(global.x, global.y));
  for (const Control* c = captureControl; c && c->parent.get(); c = c->parent.get()) p = p - c->bounds.get().topLeft();
  return p;
}

void MacControl::updateBitmap() {
  if (updateRect.isEmpty()) return;
  // Whatever is invalidated while the tree paints waits for the next update.
  const Rect area = updateRect;
  updateRect = Rect();
  Canvas* canvas = bitmap->getCanvas();
  canvas->origin = Point(0, 0);
  canvas->clip = area;
  // paintControl multiplies the root's opacity into the canvas: start from
  // full opacity each time so that repeated updates do not darken.
  canvas->opacity = 255;
  paintControl(*canvas);
  canvas->opacity = 255;
}

void MacControl::drawBitmapToSurface(platform::ViewSurface& surface, const Rect* clip) {
  updateBitmap();
  if (!bitmap->getPixels()) return;
  const uint8_t* rgba = reinterpret_cast<const uint8_t*>(bitmap->getPixels());
  if (!clip) {
    surface.drawImage(rgba, bitmap->getWidth(), bitmap->getHeight(), {0, 0});
    return;
  }
  Rect r = *clip;
  r.intersect(bitmap->getBounds());
  for (int y = r.top; y < r.bottom; ++y)
    surface.drawImage(rgba + (static_cast<size_t>(y) * bitmap->getWidth() + r.left) * 4, r.width(), 1,
                      {r.left, y});
}

void MacControl::paintView(platform::ViewSurface& surface, const platform::ScreenRect&) {
  drawBitmapToSurface(surface, nullptr);
}

void MacControl::drawToWindow(const Rect* clip) {
  Rect area = clientRect;
  if (clip) area.intersect(*clip);
  if (area.isEmpty()) return;
  const platform::ScreenPoint o = server.viewOrigin(view);
  server.invalidateWindow(window, platform::ScreenRect{area.left, area.top, area.right, area.bottom}.moved(o.x, o.y));
  server.updateWindow(window);
}

void MacControl::drawBitmapToPort(platform::DrawPort& port, const Rect* clip) {
  updateBitmap();
  if (!bitmap->getPixels()) return;
  Rect r = clientRect;
  if (clip) r.intersect(*clip);
  r.intersect(bitmap->getBounds());
  if (r.isEmpty()) return;
  const uint8_t* rgba = reinterpret_cast<const uint8_t*>(bitmap->getPixels());
  const platform::ScreenPoint o = server.viewOrigin(view);
  port.drawImage(rgba + (static_cast<size_t>(r.top) * bitmap->getWidth() + r.left) * 4, r.width(), r.height(),
                 o.x + r.left, o.y + r.top, bitmap->getWidth());
}

void MacControl::prepareForMenu() {
  if (!updateRect.isEmpty()) server.updateWindow(window);
  if (mouseState == 2) mouseState = 1;
  if (captureControl != this) captureControl->releaseMouseCapture();
}

void MacControl::paint(const Canvas& canvas) {
  if (Bitmap* background = userInterface->getBackground())
    canvas.drawBitmap(background, Point(0, 0), 255);
  else
    canvas.fillRect(clientRect, Color(0xC0, 0xC0, 0xC0, 0xFF));
}

void MacControl::resized() {
  bitmap->resize(bounds.get().width(), bounds.get().height());
  if (view) {
    const Rect& b = bounds.get();
    server.setViewFrame(view, {b.left, b.top, b.right, b.bottom});
  }
}

void MacControl::updateControl(const Rect& r) {
  updateRect.setUnion(r);
  if (!view) return;
  if (compositing) {
    server.invalidateView(view, {r.left, r.top, r.right, r.bottom});
  } else {
    const platform::ScreenPoint o = server.viewOrigin(view);
    server.invalidateWindow(window, platform::ScreenRect{r.left, r.top, r.right, r.bottom}.moved(o.x, o.y));
  }
}

bool MacControl::windowHandler(const platform::MouseEvent& event, const std::function<bool()>& passOn) {
  const Point point = getMousePoint(event.global);
  const ShiftState state = getMouseShiftState(event.modifiers, event.clickCount);
  // A control may close the window from inside its handlers; after each
  // delivery the token says whether this root still exists.
  FreeMonitor* monitor = freeMonitor;
  monitor->addRef();
  switch (event.kind) {
  case platform::MouseEvent::Kind::up:
    captureControl->doMouseMove(point, state);
    if (monitor->isAlive()) captureControl->doMouseUp(0, point, state);
    if (monitor->isAlive()) {
      mouseState = 1;
      lastMousePoint = Point(-1, -1);
      static_cast<MacInterface*>(userInterface)->onMouseUp(this);
    }
    break;
  case platform::MouseEvent::Kind::dragged:
    captureControl->doMouseMove(point, state);
    break;
  case platform::MouseEvent::Kind::down:
    mouseState = 2;
    captureControl->doMouseMove(point, state);
    if (monitor->isAlive()) captureControl->doMouseDown(0, point, state);
    break;
  }
  const bool handled = passOn();
  // A quick click's release may wait behind its press already: it comes.
  if (monitor->isAlive() && mouseState == 2 && !server.buttonStillDown() && !server.releaseQueued()) {
    // The release went to someone else's tracking loop.
    captureControl->doMouseUp(0, Point(-1, -1), state);
    if (monitor->isAlive()) {
      mouseState = 1;
      lastMousePoint = Point(-1, -1);
      static_cast<MacInterface*>(userInterface)->onMouseUp(this);
    }
  }
  monitor->release();
  return handled;
}

void MacControl::timerHandler() {
  if (mouseState == 2) return;
  const platform::ScreenPoint global = server.hoverLocation();
  const Point p = transformGlobalToControl(Point(global.x, global.y));
  if (!clientRect.contains(p)) {
    if (mouseState != 0) {
      mouseState = 0;
      doMouseLeave();
    }
    return;
  }
  if (mouseState != 1 || p != lastMousePoint) {
    mouseState = 1;
    lastMousePoint = p;
    doMouseMove(p, 0);
  }
}

} // namespace gui
