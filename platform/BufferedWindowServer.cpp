#include "platform/BufferedWindowServer.h"

#include "platform/DrawPort.h"
#include "platform/Pixels.h"

#include <algorithm>

namespace platform {

BufferedWindowServer::BufferedWindow::~BufferedWindow() = default;

void BufferedWindowServer::Surface::drawImage(const uint8_t* rgba, int width, int height, ScreenPoint at) {
  const int x0 = origin.x + at.x, y0 = origin.y + at.y;
  const ScreenRect area = clip.intersected({x0, y0, x0 + width, y0 + height});
  if (area.empty()) return;
  const int stride = w.port->width();
  uint8_t* pixels = w.port->pixelData();
  for (int y = area.top; y < area.bottom; ++y) {
    const uint8_t* s = rgba + (static_cast<size_t>(y - y0) * width + (area.left - x0)) * 4;
    uint8_t* d = pixels + (static_cast<size_t>(y) * stride + area.left) * 4;
    copyOpaque(d, s, area.right - area.left);
  }
}

WindowId BufferedWindowServer::addWindow(std::unique_ptr<BufferedWindow> w, int width, int height) {
  const WindowId id = nextId++;
  w->port = std::make_unique<DrawPort>(width, height);
  std::fill(w->port->pixelData(), w->port->pixelData() + static_cast<size_t>(width) * height * 4, uint8_t{0});
  w->port->setWindow(id, {w->content.left, w->content.top}, this);
  windows[id] = std::move(w);
  return id;
}

void BufferedWindowServer::removeWindow(WindowId id) {
  for (auto it = views.begin(); it != views.end();)
    it = it->second->window == id ? views.erase(it) : std::next(it);
  for (auto it = handlerOwners.begin(); it != handlerOwners.end();)
    it = it->second == id ? handlerOwners.erase(it) : std::next(it);
  windows.erase(id);
}

BufferedWindowServer::BufferedWindow* BufferedWindowServer::bufferedWindow(WindowId id) {
  auto it = windows.find(id);
  return it == windows.end() ? nullptr : it->second.get();
}

BufferedWindowServer::View* BufferedWindowServer::view(ViewId id) {
  auto it = views.find(id);
  return it == views.end() ? nullptr : it->second.get();
}

ScreenRect BufferedWindowServer::contentArea(WindowId id) {
  BufferedWindow* w = bufferedWindow(id);
  return w ? w->content : ScreenRect{};
}

bool BufferedWindowServer::isCompositing(WindowId id) {
  BufferedWindow* w = bufferedWindow(id);
  return w && w->compositing;
}

void BufferedWindowServer::setCloseHandler(WindowId id, std::function<void()> onClose) {
  if (BufferedWindow* w = bufferedWindow(id)) w->onClose = std::move(onClose);
}

ViewId BufferedWindowServer::createView(WindowId win, ViewId parent, const ScreenRect& frame, ViewPainter* painter) {
  if (!bufferedWindow(win)) return 0;
  const ViewId id = nextId++;
  views[id] = std::make_unique<View>(View{win, view(parent) ? parent : 0, frame, painter});
  // A new view is drawn whole, as when a real window shows it.
  invalidateWindow(win, viewFrameInWindow(*views[id]));
  return id;
}

void BufferedWindowServer::destroyView(ViewId id) {
  // Subviews go with their parent.
  std::vector<ViewId> doomed{id};
  for (size_t i = 0; i < doomed.size(); ++i)
    for (const auto& [vid, v] : views)
      if (v->parent == doomed[i]) doomed.push_back(vid);
  for (ViewId v : doomed) views.erase(v);
}

void BufferedWindowServer::setViewFrame(ViewId id, const ScreenRect& frame) {
  View* v = view(id);
  if (!v || v->frame == frame) return;
  const ScreenRect old = viewFrameInWindow(*v);
  v->frame = frame;
  invalidateWindow(v->window, old);
  invalidateWindow(v->window, viewFrameInWindow(*v));
}

ScreenRect BufferedWindowServer::viewFrameInWindow(const View& v) {
  ScreenRect r = v.frame;
  for (const View* p = view(v.parent); p; p = view(p->parent)) r = r.moved(p->frame.left, p->frame.top);
  return r;
}

ScreenPoint BufferedWindowServer::viewOrigin(ViewId id) {
  View* v = view(id);
  if (!v) return {};
  const ScreenRect r = viewFrameInWindow(*v);
  return {r.left, r.top};
}

ScreenPoint BufferedWindowServer::windowToView(ViewId id, ScreenPoint p) {
  const ScreenPoint o = viewOrigin(id);
  return {p.x - o.x, p.y - o.y};
}

void BufferedWindowServer::invalidateView(ViewId id, const ScreenRect& area) {
  View* v = view(id);
  if (!v) return;
  const ScreenPoint o = viewOrigin(id);
  invalidateWindow(v->window, area.moved(o.x, o.y).intersected(viewFrameInWindow(*v)));
}

void BufferedWindowServer::invalidateWindow(WindowId id, const ScreenRect& area) {
  BufferedWindow* w = bufferedWindow(id);
  if (!w) return;
  const ScreenRect r = area.intersected({0, 0, w->content.width(), w->content.height()});
  if (r.empty()) return;
  for (const ScreenRect& old : w->invalid)
    if (old.intersected(r) == r) return;
  w->invalid.push_back(r);
}

bool BufferedWindowServer::hasInvalidArea(WindowId id) {
  BufferedWindow* w = bufferedWindow(id);
  return w && !w->invalid.empty();
}

void BufferedWindowServer::setUpdateHandler(WindowId id, std::function<void(const ScreenRect&)> handler) {
  if (BufferedWindow* w = bufferedWindow(id)) w->update = std::move(handler);
}

DrawPort* BufferedWindowServer::windowPort(WindowId id) {
  BufferedWindow* w = bufferedWindow(id);
  return w ? w->port.get() : nullptr;
}

ViewId BufferedWindowServer::rootView(WindowId id) {
  BufferedWindow* w = bufferedWindow(id);
  return w && view(w->root) ? w->root : 0;
}

ViewId BufferedWindowServer::createRootView(WindowId id) {
  BufferedWindow* w = bufferedWindow(id);
  if (!w) return 0;
  if (!view(w->root)) w->root = createView(id, 0, {0, 0, w->content.width(), w->content.height()}, nullptr);
  return w->root;
}

void BufferedWindowServer::updateAll() {
  std::vector<WindowId> ids = std::move(spareIds);
  ids.clear();
  for (const auto& [id, w] : windows)
    if (!w->invalid.empty()) ids.push_back(id);
  for (WindowId id : ids) updateWindow(id);
  spareIds = std::move(ids);
}

HandlerId BufferedWindowServer::addMouseHandler(WindowId id, MouseHandler handler) {
  BufferedWindow* w = bufferedWindow(id);
  if (!w) return 0;
  const HandlerId h = nextId++;
  w->handlers.emplace_back(h, std::make_shared<MouseHandler>(std::move(handler)));
  handlerOwners[h] = id;
  return h;
}

void BufferedWindowServer::removeMouseHandler(HandlerId h) {
  auto it = handlerOwners.find(h);
  if (it == handlerOwners.end()) return;
  if (BufferedWindow* w = bufferedWindow(it->second))
    std::erase_if(w->handlers, [h](const auto& e) { return e.first == h; });
  handlerOwners.erase(it);
}

bool BufferedWindowServer::paintInvalidAreas(WindowId id,
                                             const std::function<void(ViewId, const ScreenRect&)>& painted,
                                             const std::function<void(const ScreenRect&)>& done) {
  BufferedWindow* w = bufferedWindow(id);
  if (!w) return false;
  std::vector<ScreenRect> areas = std::move(w->invalid);
  w->invalid = std::move(w->spareAreas);
  w->invalid.clear();
  std::vector<ViewId> order = std::move(w->spareOrder);
  order.clear();
  for (const auto& [vid, v] : views)
    if (v->window == id && v->painter) order.push_back(vid);
  for (const ScreenRect& area : areas) {
    if (w->update) {
      // A copy: the host may close the window while it draws.
      const std::function<void(const ScreenRect&)> update = w->update;
      update(area);
      if (!(w = bufferedWindow(id))) return false;
    }
    for (ViewId vid : order) {
      View* v = view(vid);
      if (!(w = bufferedWindow(id))) return false;
      if (!v) continue;
      const ScreenRect frame = viewFrameInWindow(*v);
      const ScreenRect clip = area.intersected(frame);
      if (clip.empty()) continue;
      const ScreenRect inView = clip.moved(-frame.left, -frame.top);
      if (painted) painted(vid, inView);
      Surface s(*w, {frame.left, frame.top}, clip);
      v->painter->paintView(s, inView);
    }
    if (!bufferedWindow(id)) return false;
    if (done) done(area);
  }
  if ((w = bufferedWindow(id))) {
    areas.clear();
    w->spareAreas = std::move(areas);
    w->spareOrder = std::move(order);
  }
  return true;
}

} // namespace platform
