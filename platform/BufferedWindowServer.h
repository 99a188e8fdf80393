#pragma once

// What the window servers share: every window paints into a back buffer of
// its own (the window's port, which host-drawn views draw into as well)
// through a tree of views nested by their frames, and keeps the areas
// waiting to be painted and its chain of mouse handlers. A server adds what
// its screen needs: how a window is made, shown and closed, how the back
// buffer reaches the screen, and where the mouse comes from.
//
// Window, view and handler ids come from one counter, so no two things
// ever share an id.

#include "platform/WindowServer.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

class BufferedWindowServer : public WindowServer {
public:
  ScreenRect contentArea(WindowId window) override;
  bool isCompositing(WindowId window) override;
  void setCloseHandler(WindowId window, std::function<void()> onClose) override;
  ViewId createView(WindowId window, ViewId parent, const ScreenRect& frame, ViewPainter* painter) override;
  void destroyView(ViewId view) override;
  void setViewFrame(ViewId view, const ScreenRect& frame) override;
  ScreenPoint viewOrigin(ViewId view) override;
  ScreenPoint windowToView(ViewId view, ScreenPoint p) override;
  void invalidateView(ViewId view, const ScreenRect& area) override;
  void invalidateWindow(WindowId window, const ScreenRect& area) override;
  void setUpdateHandler(WindowId window, std::function<void(const ScreenRect&)> handler) override;
  DrawPort* windowPort(WindowId window) override;
  ViewId rootView(WindowId window) override;
  ViewId createRootView(WindowId window) override;
  HandlerId addMouseHandler(WindowId window, MouseHandler handler) override;
  void removeMouseHandler(HandlerId handler) override;

  // Whether a window has areas waiting to be painted.
  bool hasInvalidArea(WindowId window);

protected:
  struct BufferedWindow {
    virtual ~BufferedWindow();
    ScreenRect content;
    bool compositing = false;
    std::unique_ptr<DrawPort> port; // the back buffer, RGBA
    ViewId root = 0;
    std::function<void(const ScreenRect&)> update;
    std::vector<ScreenRect> invalid;
    // A paint's lists, handed back when it ends: the next one reuses their
    // room (a paint nested in another finds them taken and makes its own).
    std::vector<ScreenRect> spareAreas;
    std::vector<ViewId> spareOrder;
    std::vector<std::pair<HandlerId, std::shared_ptr<MouseHandler>>> handlers;
    std::function<void()> onClose;
  };
  struct View {
    WindowId window;
    ViewId parent;
    ScreenRect frame;
    ViewPainter* painter;
  };
  // Paints into a window's back buffer, clipped to one area (window
  // coordinates) and moved by the view's origin.
  class Surface : public ViewSurface {
  public:
    Surface(BufferedWindow& w, ScreenPoint origin, ScreenRect clip) : w(w), origin(origin), clip(clip) {}
    void drawImage(const uint8_t* rgba, int width, int height, ScreenPoint at) override;

  private:
    BufferedWindow& w;
    ScreenPoint origin;
    ScreenRect clip;
  };

  // Takes a new window at `content`: gives it its id and a back buffer of
  // width x height, black.
  WindowId addWindow(std::unique_ptr<BufferedWindow> w, int width, int height);
  // Forgets the window with its views and mouse handlers.
  void removeWindow(WindowId id);
  BufferedWindow* bufferedWindow(WindowId id);
  View* view(ViewId id);
  ScreenRect viewFrameInWindow(const View& v);
  // Updates every window with areas waiting.
  void updateAll();
  // Paints the window's waiting areas into its back buffer: for each, the
  // host's update first, then every view it meets. `painted` (may be empty)
  // hears each view's share in the view's coordinates, `done` (may be
  // empty) each area once painted. An area invalidated meanwhile waits for
  // the next update instead of being dropped. False when a painter or the
  // host closed the window.
  bool paintInvalidAreas(WindowId id, const std::function<void(ViewId, const ScreenRect&)>& painted,
                         const std::function<void(const ScreenRect&)>& done);

  std::map<WindowId, std::unique_ptr<BufferedWindow>> windows;
  std::map<ViewId, std::unique_ptr<View>> views;
  std::map<HandlerId, WindowId> handlerOwners;
  int nextId = 1;
  std::vector<WindowId> spareIds; // updateAll's list, kept in the same way
};

} // namespace platform
