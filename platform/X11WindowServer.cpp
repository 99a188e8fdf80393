#include "platform/X11WindowServer.h"

#include "platform/Clock.h"
#include "platform/DrawContext.h"
#include "platform/DrawPort.h"
#include "platform/KeyMap.h"
#include "platform/TextLayout.h"
#include "platform/TypeFace.h"
#include "platform/X11Clipboard.h"
#include "platform/Utf8.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr unsigned long cDoubleClickMs = 500;
constexpr int cDoubleClickSlop = 4;

std::function<void()>& lostHandler() {
  static std::function<void()> handler;
  return handler;
}

int onIOError(Display*) {
  if (auto& h = lostHandler()) h();
  std::fprintf(stderr, "the connection to the display was lost\n");
  std::_Exit(1);
}

// Protocol errors come from requests on windows that went away meanwhile
// (a close racing an expose); none of them is worth ending the process.
int onError(Display*, XErrorEvent*) { return 0; }

int shiftOf(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return mask == 0xff ? s : -1;
}

uint32_t modifiersOf(unsigned state) {
  uint32_t m = 0;
  if (state & ShiftMask) m |= kShiftKey;
  if (state & ControlMask) m |= kCommandKey;
  if (state & Mod1Mask) m |= kOptionKey;
  if (state & Mod4Mask) m |= kControlKey;
  return m;
}

// The key map's codes of the four modifier keys, paired with the X11
// modifiers that modifiersOf reads as them.
struct ModifierKey {
  unsigned mask;
  int code;
};
constexpr ModifierKey cModifierKeys[] = {{ControlMask, 55}, {ShiftMask, 56}, {Mod1Mask, 58}, {Mod4Mask, 59}};

// Keeps the key map's modifier keys as the input event found them, so that
// a question about the keyboard in the middle of a drag is answered as the
// drag's own events are. The state is the one just before the event.
void noteModifierKeys(const XEvent& e) {
  unsigned state;
  switch (e.type) {
  case ButtonPress:
  case ButtonRelease:
    state = e.xbutton.state;
    break;
  case MotionNotify:
    state = e.xmotion.state;
    break;
  case EnterNotify:
  case LeaveNotify:
    state = e.xcrossing.state;
    break;
  case KeyPress:
  case KeyRelease:
    state = e.xkey.state;
    break;
  default:
    return;
  }
  for (const ModifierKey& k : cModifierKeys) setKeyDown(k.code, (state & k.mask) != 0);
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string file = dirs.substr(at, end - at) + "/" + program;
    if (end > at && access(file.c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

// Gives a menu's window the pointer and the keyboard. A grab fails while
// the window is still being mapped, or while another client holds the
// device for a moment (a screen reader, a test's hand looking whether the
// menu holds it); each is tried again for half a second of the clock, not a
// number of tries, which a busy machine would use up in no time. False when
// the pointer could not be had: the menu could never be dismissed by a
// click outside. Without the keyboard it still works, only Escape does not
// reach it.
bool grabForMenu(Display* dpy, ::Window xid) {
  const auto retried = [](const std::function<bool()>& grab) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!grab()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      usleep(2000);
    }
    return true;
  };
  if (!retried([&] {
        return XGrabPointer(dpy, xid, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                            GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
      }))
    return false;
  retried([&] { return XGrabKeyboard(dpy, xid, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess; });
  return true;
}

} // namespace

// The visual's pixel layout: where each 8-bit channel sits in a 32-bit word.
struct X11WindowServer::Format {
  Visual* visual;
  int depth;
  int r, g, b;
  mutable std::vector<uint32_t> packed;
  uint32_t pack(const uint8_t* rgb) const {
    return uint32_t(rgb[0]) << r | uint32_t(rgb[1]) << g | uint32_t(rgb[2]) << b;
  }
  void unpack(uint32_t p, uint8_t rgb[3]) const {
    rgb[0] = uint8_t(p >> r);
    rgb[1] = uint8_t(p >> g);
    rgb[2] = uint8_t(p >> b);
  }
  // Puts the part `area` of a width x height RGBA image (rows from the
  // top, alpha ignored) at the same place in `target`.
  void put(Display* dpy, ::Window target, GC gc, const uint8_t* rgba, int width, int height,
           const ScreenRect& area) const {
    const ScreenRect r = area.intersected({0, 0, width, height});
    if (r.empty()) return;
    // Kept from one area to the next: a light's repaint allocates nothing.
    packed.resize(static_cast<size_t>(r.width()) * r.height());
    uint32_t* d = packed.data();
    for (int y = r.top; y < r.bottom; ++y) {
      const uint8_t* p = rgba + (static_cast<size_t>(y) * width + r.left) * 4;
      for (int x = r.left; x < r.right; ++x, p += 4) *d++ = pack(p);
    }
    // The image's description lives here for the call: nothing is allocated
    // or freed per area.
    XImage image{};
    image.width = r.width();
    image.height = r.height();
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(packed.data());
    // The words are in this machine's order; Xlib swaps if the server's differs.
    const uint16_t probe = 1;
    image.byte_order = *reinterpret_cast<const uint8_t*>(&probe) ? LSBFirst : MSBFirst;
    image.bitmap_unit = BitmapUnit(dpy);
    image.bitmap_bit_order = BitmapBitOrder(dpy);
    image.bitmap_pad = 32;
    image.depth = depth;
    image.bytes_per_line = r.width() * 4;
    image.bits_per_pixel = 32;
    image.red_mask = visual->red_mask;
    image.green_mask = visual->green_mask;
    image.blue_mask = visual->blue_mask;
    if (!XInitImage(&image)) return;
    XPutImage(dpy, target, gc, &image, 0, 0, r.left, r.top, static_cast<unsigned>(r.width()),
              static_cast<unsigned>(r.height()));
  }
};

struct X11WindowServer::Window : BufferedWindow {
  ::Window xid = 0;
  GC gc = nullptr;
};

std::unique_ptr<X11WindowServer> X11WindowServer::open(RunLoop& loop, std::string& why, const char* displayName) {
  const char* name = displayName ? displayName : std::getenv("DISPLAY");
  if (!name || !*name) {
    why = "DISPLAY is not set";
    return nullptr;
  }
  Display* dpy = XOpenDisplay(name);
  if (!dpy) {
    why = std::string("cannot open display ") + name;
    return nullptr;
  }
  XVisualInfo want{};
  want.screen = DefaultScreen(dpy);
  want.depth = 24;
  want.c_class = TrueColor;
  int count = 0;
  XVisualInfo* found = XGetVisualInfo(dpy, VisualScreenMask | VisualDepthMask | VisualClassMask, &want, &count);
  Visual* def = DefaultVisual(dpy, DefaultScreen(dpy));
  XVisualInfo* pick = nullptr;
  for (int i = 0; i < count; ++i)
    if (!pick || found[i].visual == def) pick = &found[i];
  if (!pick || shiftOf(pick->red_mask) < 0 || shiftOf(pick->green_mask) < 0 || shiftOf(pick->blue_mask) < 0) {
    if (found) XFree(found);
    XCloseDisplay(dpy);
    why = std::string("display ") + name + " has no 24-bit true-colour visual";
    return nullptr;
  }
  auto format = std::make_unique<Format>(Format{pick->visual, pick->depth, shiftOf(pick->red_mask),
                                                shiftOf(pick->green_mask), shiftOf(pick->blue_mask), {}});
  XFree(found);
  std::unique_ptr<X11WindowServer> server(new X11WindowServer(loop, dpy));
  server->format = std::move(format);
  // One colour map for every window of the visual, which need not be the
  // root's.
  server->colormap = XCreateColormap(dpy, DefaultRootWindow(dpy), server->format->visual, AllocNone);
  return server;
}

X11WindowServer::X11WindowServer(RunLoop& loop, Display* dpy) : loop(loop), dpy(dpy) {
  XSetIOErrorHandler(onIOError);
  XSetErrorHandler(onError);
  deleteAtom = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  fd = ConnectionNumber(dpy);
  clipboard = std::make_unique<X11Clipboard>(dpy);
  loop.watch(fd, [this] { processPendingEvents(); });
  idleHook = loop.addIdle([this] { idlePass(); });
}

void X11WindowServer::idlePass() {
  // Xlib reads the connection only while it flushes, waits for a reply or
  // is asked for events. With no request since the last drain, whatever
  // came since still waits in the socket (and wakes the loop's watch) or
  // lies in Xlib's queue: an untouched window's pass then costs no system
  // call and no trip through Xlib.
  // The flush reads too: events it queued are handled now, not on the next
  // pass, which may be a timer period away (a few rounds at most, so a
  // flood cannot hold the loop).
  for (int round = 0; round < 4; ++round) {
    if (XEventsQueued(dpy, QueuedAlready) > 0 || XNextRequest(dpy) != drainedAt)
      processPendingEvents();
    else
      endEventPass();
    updateAll();
    if (XNextRequest(dpy) == drainedAt) return;
    XFlush(dpy);
    drainedAt = XNextRequest(dpy);
    if (XEventsQueued(dpy, QueuedAlready) == 0) return;
  }
}

X11WindowServer::~X11WindowServer() {
  loop.removeIdle(idleHook);
  loop.unwatch(fd);
  while (!windows.empty()) destroyWindow(windows.begin()->first);
  if (colormap) XFreeColormap(dpy, colormap);
  clipboard.reset();
  XCloseDisplay(dpy);
}

std::optional<std::string> X11WindowServer::clipboardText() { return clipboard->text(); }
void X11WindowServer::setClipboardText(const std::string& text) { clipboard->setText(text); }

void X11WindowServer::setConnectionLostHandler(std::function<void()> handler) { lostHandler() = std::move(handler); }

X11WindowServer::Window* X11WindowServer::window(WindowId id) { return static_cast<Window*>(bufferedWindow(id)); }

unsigned long X11WindowServer::xWindow(WindowId id) {
  Window* w = window(id);
  return w ? w->xid : 0;
}

WindowId X11WindowServer::createWindow(const ScreenRect& content, bool compositing, const std::string& title) {
  auto w = std::make_unique<Window>();
  w->content = content;
  w->compositing = compositing;
  const int width = std::max(content.width(), 1), height = std::max(content.height(), 1);
  const int screen = DefaultScreen(dpy);
  XSetWindowAttributes a{};
  a.background_pixmap = None; // the back buffer paints everything
  a.colormap = colormap;
  a.border_pixel = 0;
  // Every move over the window and the crossings are reported too, so that
  // hovering knows where the pointer is without asking.
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                 LeaveWindowMask | StructureNotifyMask | KeyPressMask;
  w->xid = XCreateWindow(dpy, RootWindow(dpy, screen), content.left, content.top, static_cast<unsigned>(width),
                         static_cast<unsigned>(height), 0, format->depth, InputOutput, format->visual,
                         CWBackPixmap | CWColormap | CWBorderPixel | CWEventMask, &a);
  XStoreName(dpy, w->xid, title.c_str());
  XChangeProperty(dpy, w->xid, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  // A fixed size, where the window manager is asked to put it.
  XSizeHints* hints = XAllocSizeHints();
  hints->flags = PPosition | USPosition | PMinSize | PMaxSize;
  hints->x = content.left;
  hints->y = content.top;
  hints->min_width = hints->max_width = width;
  hints->min_height = hints->max_height = height;
  XSetWMNormalHints(dpy, w->xid, hints);
  XFree(hints);
  Atom protocols[] = {deleteAtom};
  XSetWMProtocols(dpy, w->xid, protocols, 1);
  w->gc = XCreateGC(dpy, w->xid, 0, nullptr);
  XMapWindow(dpy, w->xid);
  XFlush(dpy);
  return addWindow(std::move(w), width, height);
}

void X11WindowServer::destroyWindow(WindowId id) {
  Window* w = window(id);
  if (!w) return;
  XFreeGC(dpy, w->gc);
  XDestroyWindow(dpy, w->xid);
  // Synced, not just flushed: once this returns the window is gone for every
  // client of the display (a window manager, a screen reader, a test's eye),
  // not only once the server gets round to it. A close is rare; the round
  // trip costs well under a millisecond.
  XSync(dpy, False);
  removeWindow(id);
  // Its leave will not come here either.
  pointerKnown = false;
  // Its release will not come here.
  if (pressWindow == id) pressWindow = pressButton = 0;
}

void X11WindowServer::refreshPosition(WindowId id, Window& w) {
  int x = 0, y = 0;
  ::Window child;
  XTranslateCoordinates(dpy, w.xid, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
  w.content = w.content.moved(x - w.content.left, y - w.content.top);
  w.port->setWindow(id, {x, y}, this);
}

void X11WindowServer::updateWindow(WindowId id) {
  // Each area goes to the screen once the host and the views painted it.
  paintInvalidAreas(id, nullptr, [this, id](const ScreenRect& area) {
    if (Window* w = window(id)) put(*w, area);
  });
}

void X11WindowServer::put(Window& w, const ScreenRect& area) {
  format->put(dpy, w.xid, w.gc, w.port->pixels(), w.port->width(), w.port->height(), area);
}

ScreenPoint X11WindowServer::mouseLocation() {
  ::Window root, child = 0;
  int rx = 0, ry = 0, wx, wy;
  unsigned mask;
  XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
  // Outside every window of ours it stays outside until a crossing says
  // otherwise: hovering need not ask again.
  bool ours = false;
  for (const auto& [wid, w] : windows) ours = ours || static_cast<Window*>(w.get())->xid == child;
  if (!ours) {
    pointerKnown = true;
    pointerAt = {rx, ry};
  }
  return {rx, ry};
}

ScreenPoint X11WindowServer::hoverLocation() {
  // A held button's drag compresses its moves, and a menu's grab takes them.
  if (pointerKnown && !pressButton && modalDepth == 0) return pointerAt;
  return mouseLocation();
}

void X11WindowServer::notePointer(const XEvent& e) {
  switch (e.type) {
  case EnterNotify:
  case LeaveNotify:
    // A grab starting elsewhere hides the moves that follow.
    pointerKnown = e.xcrossing.mode != NotifyGrab && e.xcrossing.same_screen;
    pointerAt = {e.xcrossing.x_root, e.xcrossing.y_root};
    break;
  case MotionNotify:
    pointerKnown = e.xmotion.same_screen;
    pointerAt = {e.xmotion.x_root, e.xmotion.y_root};
    break;
  case ButtonPress:
  case ButtonRelease:
    pointerKnown = e.xbutton.same_screen;
    pointerAt = {e.xbutton.x_root, e.xbutton.y_root};
    break;
  default:
    break;
  }
}

bool X11WindowServer::buttonStillDown() {
  ::Window root, child;
  int rx, ry, wx, wy;
  unsigned mask = 0;
  XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
  return mask & (Button1Mask | Button3Mask);
}

bool X11WindowServer::releaseQueued() {
  if (!pressButton) return false;
  // Whatever the display sent so far is in Xlib's queue after a round trip;
  // the queue is searched without taking anything from it.
  XSync(dpy, False);
  struct Look {
    unsigned button;
    bool found;
  } look{pressButton, false};
  XEvent e;
  XCheckIfEvent(
      dpy, &e,
      [](Display*, XEvent* ev, XPointer arg) -> Bool {
        Look* l = reinterpret_cast<Look*>(arg);
        l->found |= ev->type == ButtonRelease && ev->xbutton.button == l->button;
        return False;
      },
      reinterpret_cast<XPointer>(&look));
  return look.found;
}

void X11WindowServer::dispatch(WindowId id, const MouseEvent& e) {
  Window* w = window(id);
  if (!w) return;
  // The chain as it stands: a handler removed meanwhile is skipped, and the
  // callables live until the event is done.
  std::vector<std::pair<HandlerId, std::shared_ptr<MouseHandler>>> chain(w->handlers.rbegin(), w->handlers.rend());
  std::function<bool(size_t)> step = [&](size_t i) -> bool {
    while (i < chain.size() && !handlerOwners.count(chain[i].first)) ++i;
    if (i < chain.size()) return (*chain[i].second)(e, [&step, i] { return step(i + 1); });
    return false;
  };
  step(0);
  updateAll();
  XFlush(dpy);
}

bool X11WindowServer::processPendingEvents() {
  bool any = false;
  while (XPending(dpy) > 0) {
    XEvent e;
    XNextEvent(dpy, &e);
    any = true;
    notePointer(e);
    noteModifierKeys(e);
    if (clipboard->handle(e)) continue;
    if (modalHandler)
      (*modalHandler)(e);
    else
      handleEvent(e);
  }
  // The last XPending flushed and read.
  drainedAt = XNextRequest(dpy);
  endEventPass();
  return any;
}

void X11WindowServer::endEventPass() {
  if (modalDepth != 0) return;
  deliverDeferredCloses();
  // Back at the loop's own level: a cancel has done its work.
  cancelling = false;
}

void X11WindowServer::handleEvent(XEvent& e) {
  WindowId id = 0;
  for (const auto& [wid, w] : windows)
    if (static_cast<Window*>(w.get())->xid == e.xany.window) id = wid;
  Window* w = window(id);
  if (!w) return;
  switch (e.type) {
  case Expose:
    put(*w, {e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
    break;
  case ConfigureNotify:
    refreshPosition(id, *w);
    break;
  case ClientMessage:
    if (static_cast<unsigned long>(e.xclient.data.l[0]) == deleteAtom && w->onClose) {
      const std::function<void()> onClose = w->onClose; // may destroy the window
      onClose();
    }
    break;
  case ButtonPress: {
    const XButtonEvent& b = e.xbutton;
    if (b.button != Button1 && b.button != Button3) break;
    // A press while another is held belongs to that one, unless its release
    // went astray (a grab elsewhere ended it): the event's state tells which
    // buttons were down just before it.
    if (pressButton) {
      if (b.state & (pressButton == Button1 ? Button1Mask : Button3Mask)) break;
      pressButton = 0;
    }
    const ScreenPoint at{b.x_root, b.y_root};
    if (b.button == lastPressButton && b.time - lastPressTime <= cDoubleClickMs &&
        std::abs(at.x - lastPressAt.x) <= cDoubleClickSlop && std::abs(at.y - lastPressAt.y) <= cDoubleClickSlop)
      ++clickCount;
    else
      clickCount = 1;
    lastPressTime = b.time;
    lastPressButton = b.button;
    lastPressAt = at;
    pressWindow = id;
    pressButton = b.button;
    dropRelease = false;
    uint32_t mods = modifiersOf(b.state);
    if (b.button == Button3) mods |= kControlKey;
    dispatch(id, {MouseEvent::Kind::down, at, mods, clickCount});
    break;
  }
  case ButtonRelease: {
    const XButtonEvent& b = e.xbutton;
    if (b.button != pressButton) break;
    pressButton = 0;
    const WindowId target = pressWindow;
    pressWindow = 0;
    if (dropRelease) {
      dropRelease = false;
      break;
    }
    uint32_t mods = modifiersOf(b.state);
    if (b.button == Button3) mods |= kControlKey;
    dispatch(target, {MouseEvent::Kind::up, {b.x_root, b.y_root}, mods, 1});
    break;
  }
  case MotionNotify: {
    if (!pressButton || pressWindow != id) break;
    // Only the latest position of a burst matters.
    XEvent later;
    while (XCheckTypedWindowEvent(dpy, w->xid, MotionNotify, &later)) e = later;
    uint32_t mods = modifiersOf(e.xmotion.state);
    if (pressButton == Button3) mods |= kControlKey;
    dispatch(id, {MouseEvent::Kind::dragged, {e.xmotion.x_root, e.xmotion.y_root}, mods, 1});
    break;
  }
  default:
    break;
  }
}

void X11WindowServer::handleEventWhileModal(XEvent& e) {
  WindowId id = 0;
  for (const auto& [wid, win] : windows)
    if (static_cast<Window*>(win.get())->xid == e.xany.window) id = wid;
  Window* w = window(id);
  if (!w) return;
  if (e.type == Expose) {
    put(*w, {e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
  } else if (e.type == ConfigureNotify) {
    refreshPosition(id, *w);
  } else if (e.type == ClientMessage && static_cast<unsigned long>(e.xclient.data.l[0]) == deleteAtom) {
    // The window goes: what holds it up is cancelled first.
    deferredCloses.push_back(id);
    cancelling = true;
  }
  // Input to the windows below a modal is dropped.
}

void X11WindowServer::deliverDeferredCloses() {
  while (!deferredCloses.empty()) {
    const WindowId id = deferredCloses.front();
    deferredCloses.erase(deferredCloses.begin());
    Window* w = window(id);
    if (!w || !w->onClose) continue;
    const std::function<void()> onClose = w->onClose;
    onClose();
  }
}

bool X11WindowServer::runModal(const std::function<bool()>& done, const std::function<void(XEvent&)>& handler,
                               int extraFd, const std::function<void()>& onReadable) {
  ++modalDepth;
  const std::function<void(XEvent&)>* outer = modalHandler;
  modalHandler = &handler;
  if (extraFd >= 0) loop.watch(extraFd, onReadable);
  const auto ended = [&] { return cancelling || done(); };
  XFlush(dpy);
  while (!ended()) {
    if (!isVirtualClock()) {
      // The loop goes on: the connection's watch and idle hook hand X events
      // to the modal, then timers fire and the windows paint.
      // A pass at least every 50 ms, so done() may look at the mouse.
      loop.runUntil(ended, 50'000);
      continue;
    }
    // A virtual clock never waits for the display: it is polled here.
    processPendingEvents();
    if (ended()) break;
    XFlush(dpy);
    pollfd fds[2] = {{fd, POLLIN, 0}, {extraFd, POLLIN, 0}};
    if (poll(fds, extraFd >= 0 ? 2 : 1, 100) <= 0) continue;
    if (extraFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP)) && onReadable) onReadable();
  }
  const bool answered = !cancelling;
  if (extraFd >= 0) loop.unwatch(extraFd);
  modalHandler = outer;
  --modalDepth;
  // Its handler may have swallowed moves: the pointer is asked for again.
  pointerKnown = false;
  XFlush(dpy);
  return answered;
}

// ---------------------------------------------------------------------------
// Drawing for menus and alerts: a small RGB canvas with text in any colour.

namespace {

struct Rgb {
  uint8_t r, g, b;
};

class Paper {
public:
  Paper(int width, int height) : width(width), height(height), rgba(static_cast<size_t>(width) * height * 4, 255) {}
  Pixels pixels() { return Pixels(rgba.data(), width, height, width); }
  void fill(const ScreenRect& r, Rgb c) {
    DrawContext dc(pixels());
    dc.fillRect({r.left, r.top, r.right, r.bottom}, c.r, c.g, c.b);
  }
  // Text drawn as coverage on white, then laid over in the colour.
  // Only the band of rows the line can touch is inked and laid over.
  void text(TypeFace* face, const std::string& utf8, int x, int baseline, Rgb c, int maxWidth = 1 << 20) {
    TextLayout layout(face, decodeUtf8(utf8));
    layout.shorten(maxWidth);
    const int line = (layout.lineHeight() + 63) / 64;
    const int top = std::max(0, baseline - 2 * line), bottom = std::min(height, baseline + line);
    if (bottom <= top) return;
    std::vector<uint8_t> ink(static_cast<size_t>(width) * (bottom - top) * 4, 255);
    layout.draw(Pixels(ink.data(), width, bottom - top, width), x, baseline - top, {0, layout.text().size()}, false);
    uint8_t* band = rgba.data() + static_cast<size_t>(top) * width * 4;
    for (size_t i = 0; i < ink.size(); i += 4) {
      const int cover = 255 - ink[i];
      if (!cover) continue;
      band[i] = uint8_t((band[i] * (255 - cover) + c.r * cover) / 255);
      band[i + 1] = uint8_t((band[i + 1] * (255 - cover) + c.g * cover) / 255);
      band[i + 2] = uint8_t((band[i + 2] * (255 - cover) + c.b * cover) / 255);
    }
  }

  int width, height;
  std::vector<uint8_t> rgba;
};

TypeFace* uiFace() { return TypeFace::find("", false, false, 12); }

int textWidth(TypeFace* face, const std::string& utf8) {
  return (TextLayout(face, decodeUtf8(utf8)).width() + 63) / 64;
}

constexpr Rgb cMenuFace{244, 242, 238}, cMenuEdge{110, 106, 100}, cMenuText{28, 28, 30}, cMenuDim{150, 148, 144},
    cMenuHover{52, 104, 168}, cMenuHoverText{255, 255, 255}, cMenuRule{204, 200, 194};
constexpr int cRowHeight = 20, cRuleHeight = 7, cCheckColumn = 20, cArrowColumn = 18, cMenuPad = 4;

} // namespace

// One popup menu on the screen, with its submenus, tracked until the user
// chooses or cancels.
class X11WindowServer::MenuTracker {
public:
  MenuTracker(X11WindowServer& s, bool skipFirstRelease) : s(s), skipRelease(skipFirstRelease) {}
  ~MenuTracker() {
    while (!panels.empty()) closeFrom(0);
    XUngrabPointer(s.dpy, CurrentTime);
    XUngrabKeyboard(s.dpy, CurrentTime);
  }

  void open(const MenuEntry& menu, ScreenPoint at) {
    openPanel(menu, at);
    // A menu that cannot have the pointer (someone else holds it) is
    // cancelled.
    if (!grabForMenu(s.dpy, panels[0].xid)) return finish({});
    // What happened before the grab was not reported to the menu: the
    // button may be up already, its release lost elsewhere, and the pointer
    // over an entry.
    skipRelease = skipRelease && (s.buttonStillDown() || s.releaseQueued());
    hover(s.mouseLocation());
  }

  bool finished() const { return done; }
  std::vector<int> result() const { return chosen; }

  void handle(XEvent& e) {
    for (size_t i = 0; i < panels.size(); ++i)
      if (e.xany.window == panels[i].xid && e.type == Expose) return paint(panels[i]);
    switch (e.type) {
    case MotionNotify: {
      XEvent later;
      while (XCheckMaskEvent(s.dpy, PointerMotionMask, &later)) e = later;
      hover({e.xmotion.x_root, e.xmotion.y_root});
      break;
    }
    case ButtonPress:
      if (panelAt({e.xbutton.x_root, e.xbutton.y_root}) < 0) finish({});
      skipRelease = false;
      break;
    case ButtonRelease: {
      const ScreenPoint p{e.xbutton.x_root, e.xbutton.y_root};
      // The opening press ends: a click leaves the menu open, a press
      // dragged onto an entry and released there chooses it.
      if (skipRelease) {
        skipRelease = false;
        if (e.xbutton.time - s.lastPressTime <= cDoubleClickMs ||
            (std::abs(p.x - s.lastPressAt.x) <= cDoubleClickSlop && std::abs(p.y - s.lastPressAt.y) <= cDoubleClickSlop))
          break;
      }
      hover(p);
      const int k = panelAt(p);
      if (k < 0) break;
      const Panel& panel = panels[static_cast<size_t>(k)];
      if (panel.hover < 0) break;
      const Row& row = panel.rows[static_cast<size_t>(panel.hover)];
      if (!row.entry->enabled || !row.entry->children.empty()) break;
      // The way here: the entry each panel above holds open.
      std::vector<int> path;
      for (int i = 0; i < k; ++i) {
        const Panel& above = panels[static_cast<size_t>(i)];
        if (above.hover < 0) return;
        path.push_back(above.rows[static_cast<size_t>(above.hover)].index);
      }
      path.push_back(row.index);
      finish(path);
      break;
    }
    case KeyPress:
      if (XLookupKeysym(&e.xkey, 0) == XK_Escape) finish({});
      break;
    default:
      s.handleEventWhileModal(e);
    }
  }

private:
  struct Row {
    const MenuEntry* entry;
    int index;
    ScreenRect rect; // panel coordinates
  };
  struct Panel {
    ::Window xid = 0;
    GC gc = nullptr;
    ScreenRect area; // global
    std::vector<Row> rows;
    int hover = -1;
    bool arrows = false; // an entry opens a submenu: room for the arrow
  };

  void finish(std::vector<int> path) {
    chosen = std::move(path);
    done = true;
  }

  void openPanel(const MenuEntry& menu, ScreenPoint at) {
    TypeFace* face = uiFace();
    const int sw = DisplayWidth(s.dpy, DefaultScreen(s.dpy)), sh = DisplayHeight(s.dpy, DefaultScreen(s.dpy));
    Panel p;
    int column = 80;
    bool arrows = false;
    for (size_t i = 0; i < menu.children.size(); ++i) {
      const MenuEntry& e = menu.children[i];
      if (!e.visible) continue;
      const int h = e.divider ? cRuleHeight : cRowHeight;
      p.rows.push_back({&e, static_cast<int>(i), {0, 0, 0, h}});
      if (!e.divider) column = std::max(column, textWidth(face, e.text));
      arrows |= !e.children.empty();
    }
    column = std::min(column + cCheckColumn + cArrowColumn * arrows + 12, 480);
    // A menu taller than the screen goes on in further columns.
    int x = 0, y = cMenuPad, height = 0;
    for (Row& r : p.rows) {
      const int h = r.rect.bottom;
      if (y > cMenuPad && y + h + cMenuPad > sh) {
        x += column;
        y = cMenuPad;
      }
      r.rect = {x, y, x + column, y + h};
      y += h;
      height = std::max(height, y + cMenuPad);
    }
    const int width = x + column;
    p.arrows = arrows;
    // On the screen, turned back at its right and bottom edges.
    const int left = std::max(0, std::min(at.x, sw - width)), top = std::max(0, std::min(at.y, sh - height));
    p.area = {left, top, left + width, top + height};
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixmap = None;
    a.colormap = s.colormap;
    a.border_pixel = 0;
    a.event_mask = ExposureMask;
    p.xid = XCreateWindow(s.dpy, DefaultRootWindow(s.dpy), left, top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, s.format->depth, InputOutput, s.format->visual,
                          CWOverrideRedirect | CWBackPixmap | CWColormap | CWBorderPixel | CWEventMask, &a);
    p.gc = XCreateGC(s.dpy, p.xid, 0, nullptr);
    XMapRaised(s.dpy, p.xid);
    panels.push_back(std::move(p));
    paint(panels.back());
    XSync(s.dpy, False);
  }

  void closeFrom(size_t level) {
    while (panels.size() > level) {
      XFreeGC(s.dpy, panels.back().gc);
      XDestroyWindow(s.dpy, panels.back().xid);
      panels.pop_back();
    }
  }

  int panelAt(ScreenPoint p) const {
    for (size_t i = panels.size(); i-- > 0;)
      if (panels[i].area.contains(p)) return static_cast<int>(i);
    return -1;
  }

  void hover(ScreenPoint p) {
    const int k = panelAt(p);
    if (k < 0) {
      // Off the menus: the deepest panel loses its highlight, open submenus stay.
      Panel& last = panels.back();
      if (last.hover >= 0) {
        last.hover = -1;
        paint(last);
      }
      return;
    }
    Panel& panel = panels[static_cast<size_t>(k)];
    int row = -1;
    for (size_t i = 0; i < panel.rows.size(); ++i) {
      const Row& r = panel.rows[i];
      if (!r.entry->divider && r.rect.moved(panel.area.left, panel.area.top).contains(p)) row = static_cast<int>(i);
    }
    if (row == panel.hover) return;
    panel.hover = row;
    closeFrom(static_cast<size_t>(k) + 1);
    Panel& still = panels[static_cast<size_t>(k)];
    paint(still);
    if (row >= 0) {
      const Row& r = still.rows[static_cast<size_t>(row)];
      if (r.entry->enabled && !r.entry->children.empty())
        openPanel(*r.entry, {still.area.left + r.rect.right - 2, still.area.top + r.rect.top - cMenuPad});
    }
  }

  void paint(const Panel& p) {
    const int w = p.area.width(), h = p.area.height();
    Paper paper(w, h);
    paper.fill({0, 0, w, h}, cMenuEdge);
    paper.fill({1, 1, w - 1, h - 1}, cMenuFace);
    TypeFace* face = uiFace();
    const int ascent = face->ascender() / 64;
    for (size_t i = 0; i < p.rows.size(); ++i) {
      const Row& r = p.rows[i];
      const int l = r.rect.left, rt = r.rect.right;
      if (r.entry->divider) {
        paper.fill({l + 6, r.rect.top + cRuleHeight / 2, rt - 6, r.rect.top + cRuleHeight / 2 + 1}, cMenuRule);
        continue;
      }
      const bool lit = static_cast<int>(i) == p.hover && r.entry->enabled;
      if (lit) paper.fill({l + 2, r.rect.top, rt - 2, r.rect.bottom}, cMenuHover);
      const Rgb ink = !r.entry->enabled ? cMenuDim : lit ? cMenuHoverText : cMenuText;
      const int baseline = r.rect.top + (cRowHeight - face->ascender() / 64 + face->descender() / 64) / 2 + ascent;
      if (r.entry->checked) paper.text(face, "\u2713", l + 6, baseline, ink);
      paper.text(face, r.entry->text, l + cCheckColumn, baseline, ink,
                 rt - l - cCheckColumn - (p.arrows ? cArrowColumn : 6));
      if (!r.entry->children.empty()) paper.text(face, "\u25B8", rt - cArrowColumn + 4, baseline, ink);
    }
    s.format->put(s.dpy, p.xid, p.gc, paper.rgba.data(), w, h, {0, 0, w, h});
  }

  X11WindowServer& s;
  bool skipRelease;
  bool done = false;
  std::vector<int> chosen;
  std::vector<Panel> panels;
};

std::vector<int> X11WindowServer::popUpMenu(const MenuEntry& menu, ScreenPoint at) {
  if (cancelling ||
      std::none_of(menu.children.begin(), menu.children.end(), [](const MenuEntry& e) { return e.visible; }))
    return {};
  // The press that opened the menu, unless its release was lost elsewhere.
  const bool held = pressButton != 0;
  std::vector<int> chosen;
  {
    MenuTracker tracker(*this, held);
    tracker.open(menu, at);
    runModal([&] { return tracker.finished(); }, [&](XEvent& e) { tracker.handle(e); });
    chosen = tracker.result();
  }
  // The press that opened the menu ended inside it: its window hears no more.
  pressButton = 0;
  pressWindow = 0;
  // The menu is gone for every client when the choice is returned.
  XSync(dpy, False);
  return chosen;
}

int X11WindowServer::popUpDrawnMenu(DrawnMenu& menu) {
  const ScreenRect frame = menu.frame();
  if (frame.empty() || cancelling) return 0;
  const int width = frame.width(), height = frame.height();
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixmap = None;
  a.colormap = colormap;
  a.border_pixel = 0;
  a.event_mask = ExposureMask;
  const ::Window xid = XCreateWindow(dpy, DefaultRootWindow(dpy), frame.left, frame.top, static_cast<unsigned>(width),
                                     static_cast<unsigned>(height), 0, format->depth, InputOutput, format->visual,
                                     CWOverrideRedirect | CWBackPixmap | CWColormap | CWBorderPixel | CWEventMask, &a);
  GC gc = XCreateGC(dpy, xid, 0, nullptr);
  XMapRaised(dpy, xid);
  const auto show = [&] {
    const DrawPort& port = menu.port();
    format->put(dpy, xid, gc, port.pixels(), std::min(width, port.width()), std::min(height, port.height()),
                {0, 0, width, height});
  };
  menu.draw();
  show();
  XSync(dpy, False);
  int chosen = 0;
  if (grabForMenu(dpy, xid)) {
    bool held = buttonStillDown(); // the release of the opening press chooses
    bool done = false;
    auto lastTrack = std::chrono::steady_clock::now();
    const auto track = [&](ScreenPoint p) {
      const int item = menu.track(p);
      show();
      lastTrack = std::chrono::steady_clock::now();
      return item;
    };
    track(mouseLocation());
    runModal(
        [&] {
          if (!done && std::chrono::steady_clock::now() - lastTrack > std::chrono::milliseconds(50))
            track(mouseLocation());
          return done;
        },
        [&](XEvent& e) {
          if (e.xany.window != xid) return handleEventWhileModal(e);
          switch (e.type) {
          case Expose:
            show();
            break;
          case MotionNotify:
            track({e.xmotion.x_root, e.xmotion.y_root});
            break;
          case ButtonPress:
            if (frame.contains({e.xbutton.x_root, e.xbutton.y_root}))
              held = true;
            else
              done = true;
            break;
          case ButtonRelease:
            if (held) {
              chosen = track({e.xbutton.x_root, e.xbutton.y_root});
              done = true;
            }
            break;
          case KeyPress:
            done |= XLookupKeysym(&e.xkey, 0) == XK_Escape;
            break;
          default:
            break;
          }
        });
    XUngrabKeyboard(dpy, CurrentTime);
    XUngrabPointer(dpy, CurrentTime);
  }
  XFreeGC(dpy, gc);
  XDestroyWindow(dpy, xid);
  // The press that opened the menu ended inside it: its window hears no more.
  pressButton = 0;
  pressWindow = 0;
  // The menu is gone for every client when the choice is returned.
  XSync(dpy, False);
  return chosen;
}

// A note with an OK button, modal over the windows.
class X11WindowServer::AlertBox {
public:
  AlertBox(X11WindowServer& s, const std::string& message) : s(s) {
    TypeFace* face = uiFace();
    TextLayout layout(face, decodeUtf8(message));
    for (const TextLayout::Line& l : layout.wrap(cTextWidth))
      lines.push_back(encodeUtf8(layout.text().substr(l.begin, l.end - l.begin)));
    lineHeight = (layout.lineHeight() + 63) / 64;
    width = cTextWidth + 2 * cMargin;
    height = cMargin + static_cast<int>(lines.size()) * lineHeight + 16 + cButtonHeight + cMargin;
    button = {width - cMargin - cButtonWidth, height - cMargin - cButtonHeight, width - cMargin, height - cMargin};
    const int sw = DisplayWidth(s.dpy, DefaultScreen(s.dpy)), sh = DisplayHeight(s.dpy, DefaultScreen(s.dpy));
    XSetWindowAttributes a{};
    a.background_pixmap = None;
    a.colormap = s.colormap;
    a.border_pixel = 0;
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask;
    xid = XCreateWindow(s.dpy, DefaultRootWindow(s.dpy), (sw - width) / 2, (sh - height) / 3,
                        static_cast<unsigned>(width), static_cast<unsigned>(height), 0, s.format->depth, InputOutput,
                        s.format->visual, CWBackPixmap | CWColormap | CWBorderPixel | CWEventMask, &a);
    XStoreName(s.dpy, xid, "Zarn");
    Atom protocols[] = {s.deleteAtom};
    XSetWMProtocols(s.dpy, xid, protocols, 1);
    XSetTransientForHint(s.dpy, xid, DefaultRootWindow(s.dpy));
    gc = XCreateGC(s.dpy, xid, 0, nullptr);
    XMapRaised(s.dpy, xid);
  }
  ~AlertBox() {
    XFreeGC(s.dpy, gc);
    XDestroyWindow(s.dpy, xid);
  }

  bool finished() const { return done; }

  void handle(XEvent& e) {
    if (e.xany.window != xid) return s.handleEventWhileModal(e);
    switch (e.type) {
    case Expose:
      paint();
      break;
    case ButtonPress:
      pressed = e.xbutton.button == Button1 && button.contains({e.xbutton.x, e.xbutton.y});
      break;
    case ButtonRelease:
      if (pressed && button.contains({e.xbutton.x, e.xbutton.y})) done = true;
      pressed = false;
      break;
    case KeyPress: {
      const KeySym k = XLookupKeysym(&e.xkey, 0);
      done |= k == XK_Return || k == XK_KP_Enter || k == XK_Escape || k == XK_space;
      break;
    }
    case ClientMessage:
      done |= static_cast<unsigned long>(e.xclient.data.l[0]) == s.deleteAtom;
      break;
    default:
      break;
    }
  }

private:
  static constexpr int cTextWidth = 320, cMargin = 16, cButtonWidth = 72, cButtonHeight = 24;

  void paint() {
    Paper paper(width, height);
    paper.fill({0, 0, width, height}, cMenuFace);
    TypeFace* face = uiFace();
    const int ascent = face->ascender() / 64;
    for (size_t i = 0; i < lines.size(); ++i)
      paper.text(face, lines[i], cMargin, cMargin + static_cast<int>(i) * lineHeight + ascent, cMenuText);
    paper.fill(button, cMenuEdge);
    paper.fill({button.left + 1, button.top + 1, button.right - 1, button.bottom - 1}, cMenuHover);
    paper.text(face, "OK", button.left + (cButtonWidth - textWidth(face, "OK")) / 2,
               button.top + (cButtonHeight + ascent) / 2 - 1, cMenuHoverText);
    s.format->put(s.dpy, xid, gc, paper.rgba.data(), width, height, {0, 0, width, height});
  }

  X11WindowServer& s;
  ::Window xid;
  GC gc;
  std::vector<std::string> lines;
  int lineHeight = 14, width = 0, height = 0;
  ScreenRect button;
  bool pressed = false;
  bool done = false;
};

void X11WindowServer::alert(const std::string& message) {
  if (cancelling) return;
  {
    AlertBox box(*this, message);
    runModal([&] { return box.finished(); }, [&](XEvent& e) { box.handle(e); });
  }
  // The box is gone for every client when the alert returns.
  XSync(dpy, False);
  pressButton = 0;
  pressWindow = 0;
}

// ---------------------------------------------------------------------------
// Dialogs.

std::optional<std::string> X11WindowServer::runDialog(const std::vector<std::string>& argv, bool* succeeded) {
  if (succeeded) *succeeded = false;
  if (cancelling) return std::nullopt;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return std::nullopt;
  }
  std::string answer;
  bool eof = false;
  const bool answered =
      runModal([&] { return eof; }, [this](XEvent& e) { handleEventWhileModal(e); }, out[0], [&] {
        char buffer[512];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0)
          answer.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
          eof = true;
      });
  close(out[0]);
  // Cancelled: the dialog goes with the window; one that ignores the
  // request is killed.
  if (!answered) kill(pid, SIGTERM);
  int status = 0;
  for (int waited = 0; !answered && waited < 100; ++waited) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) {
      pid = 0;
      break;
    }
    usleep(10'000);
  }
  if (pid && !answered) kill(pid, SIGKILL);
  while (pid && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  pressButton = 0;
  pressWindow = 0;
  if (!answered || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  if (succeeded) *succeeded = true;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  if (answer.empty()) return std::nullopt;
  return answer;
}

std::optional<std::string> X11WindowServer::askOnConsole(const std::string& prompt) {
  // No standard input (closed): nobody could answer.
  if (cancelling || fcntl(STDIN_FILENO, F_GETFL) < 0) return std::nullopt;
  std::cerr << prompt << std::flush;
  std::string line;
  bool ended = false, got = false;
  const bool answered = runModal([&] { return ended || got; }, [this](XEvent& e) { handleEventWhileModal(e); },
                                 STDIN_FILENO, [&] {
                                   // A byte at a time, so what follows the line stays
                                   // for the next question; only what is there is read.
                                   for (;;) {
                                     char c = 0;
                                     const ssize_t n = read(STDIN_FILENO, &c, 1);
                                     if (n < 0 && errno == EINTR) continue;
                                     if (n <= 0 || c == '\n') {
                                       (n <= 0 ? ended : got) = true;
                                       return;
                                     }
                                     if (c != '\r') line += c;
                                     pollfd more{STDIN_FILENO, POLLIN, 0};
                                     if (poll(&more, 1, 0) <= 0) return;
                                   }
                                 });
  pressButton = 0;
  pressWindow = 0;
  if (!answered || line.empty()) return std::nullopt;
  return line;
}

namespace {

std::string startIn(const std::string& folder) {
  if (!folder.empty()) return folder;
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/tmp";
}

// A path typed on the console: an absolute one as it stands, "~/..." in
// the home folder, any other (a name, or "Bass/Acid Bass") within the
// folder the question named, never the working folder the program was
// started from.
std::string typedPath(const std::string& folder, const std::string& typed) {
  if (typed.front() == '/') return typed;
  if (typed == "~" || typed.rfind("~/", 0) == 0) return startIn("") + typed.substr(1);
  return folder + (folder.back() == '/' ? "" : "/") + typed;
}

// zenity's filters from "description|patterns|..." pairs; patterns in a
// list are separated by ";", and "*.*" means every file.
std::vector<std::string> zenityFilters(const std::string& filter) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (!filter.empty() && at <= filter.size()) {
    const size_t bar = std::min(filter.find('|', at), filter.size());
    parts.push_back(filter.substr(at, bar - at));
    at = bar + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = parts[i + 1];
    std::replace(patterns.begin(), patterns.end(), ';', ' ');
    if (patterns == "*.*") patterns = "*";
    out.push_back("--file-filter=" + parts[i] + " | " + patterns);
  }
  return out;
}

} // namespace

bool X11WindowServer::confirmReplace(const std::string& path, bool zenity) {
  const std::string question =
      "A file named \"" + path.substr(path.rfind('/') + 1) + "\" already exists. Do you want to replace it?";
  if (!zenity) {
    const std::optional<std::string> answer = askOnConsole(question + " (y/N): ");
    return answer && (answer->front() == 'y' || answer->front() == 'Y');
  }
  bool yes = false;
  runDialog({"zenity", "--question", "--no-markup", "--title=Save", "--text=" + question}, &yes);
  return yes;
}

std::optional<SaveAnswer> X11WindowServer::askSaveName(const std::string& startFolder, const std::string& suffix,
                                                       const std::string& filter) {
  const std::string folder = startIn(startFolder);
  const bool zenity = onPath("zenity");
  std::string offered = folder + "/";
  for (;;) {
    std::optional<std::string> typed;
    if (zenity) {
      std::vector<std::string> argv{"zenity", "--file-selection", "--save", "--confirm-overwrite",
                                    "--filename=" + offered};
      for (const std::string& f : zenityFilters(filter)) argv.push_back(f);
      typed = runDialog(argv);
    } else {
      typed = askOnConsole("Save as (a name or a path within " + folder + ", or a path from /; empty cancels): ");
    }
    if (!typed) return std::nullopt;
    const std::string full = typedPath(folder, *typed);
    if (full.back() == '/') return std::nullopt;
    // The file written is the one with the extension: zenity only asked
    // about the name as typed.
    const std::string path = withSuffix(full, suffix);
    struct stat st {};
    const bool asked = zenity && path == full;
    if (!asked && stat(path.c_str(), &st) == 0 && !confirmReplace(path, zenity)) {
      if (cancelling) return std::nullopt;
      offered = full;
      continue;
    }
    const size_t slash = path.rfind('/');
    return SaveAnswer{slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
  }
}

std::optional<std::string> X11WindowServer::askFolder(const std::string& startFolder, const std::string& title) {
  const std::string folder = startIn(startFolder);
  if (onPath("zenity"))
    return runDialog({"zenity", "--file-selection", "--directory", "--title=" + title, "--filename=" + folder + "/"});
  // The answer is the folder as typed, there or not: the caller says what
  // is wrong with one that is not there, as it does with zenity's answer.
  const std::optional<std::string> answer =
      askOnConsole(title + " (a folder within " + folder + ", or a path from /; empty cancels): ");
  if (!answer) return std::nullopt;
  return typedPath(folder, *answer);
}

} // namespace platform
