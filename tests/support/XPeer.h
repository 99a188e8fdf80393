#pragma once

// Gtest must come first: Xlib defines macros (None, Bool) that its headers
// use as names.
#include <gtest/gtest.h>

#include "platform/WindowServer.h"
#include "tests/support/Waiting.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zarn::test {

using platform::ScreenPoint;
using platform::ScreenRect;

// A second client of the display: the user's hand (XTEST) and eye.
class XPeer {
public:
  explicit XPeer(const std::string& name) : dpy(XOpenDisplay(name.c_str())) {
    // Windows come and go while a peer looks (a menu closing between the
    // list of windows and the question about one): such a failed request
    // just answers nothing.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~XPeer() {
    if (dpy) XCloseDisplay(dpy);
  }
  void move(ScreenPoint p) { sync(XTestFakeMotionEvent(dpy, -1, p.x, p.y, 0)); }
  void button(unsigned b, bool down) { sync(XTestFakeButtonEvent(dpy, b, down, 0)); }
  void key(KeySym k, bool down) { sync(XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, k), down, 0)); }
  void click(ScreenPoint p, unsigned b = 1) {
    move(p);
    button(b, true);
    button(b, false);
  }
  // Mapped override-redirect windows (menus), bottom to top, as global rectangles.
  std::vector<ScreenRect> popups() {
    std::vector<ScreenRect> out;
    for (::Window w : popupWindows()) {
      XWindowAttributes a;
      if (XGetWindowAttributes(dpy, w, &a)) out.push_back({a.x, a.y, a.x + a.width, a.y + a.height});
    }
    return out;
  }
  // The same windows by their X ids.
  std::vector<::Window> popupWindows() {
    std::vector<::Window> out;
    for (::Window w : children()) {
      XWindowAttributes a;
      if (XGetWindowAttributes(dpy, w, &a) && a.override_redirect && a.map_state == IsViewable) out.push_back(w);
    }
    return out;
  }
  // Whether the window is mapped and shown, so that input at its place
  // reaches it.
  bool viewable(::Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
  }
  // The screen's colour at p, 8 bits a channel; empty when it cannot be read.
  std::vector<uint8_t> rgbAt(ScreenPoint p) {
    XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), p.x, p.y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return {};
    const unsigned long v = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  }
  // Whether the display still has this window, asked once: a window
  // destroyed is answered with an error, which the handler swallows.
  bool exists(::Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(dpy, w, &a) != 0;
  }
  // The first mapped top-level window with this name.
  std::optional<ScreenRect> named(const std::string& title) {
    const std::optional<::Window> w = namedWindow(title);
    XWindowAttributes a;
    if (!w || !XGetWindowAttributes(dpy, *w, &a)) return std::nullopt;
    return ScreenRect{a.x, a.y, a.x + a.width, a.y + a.height};
  }
  // Open menus, once one holds the pointer and the keyboard (before that a
  // click would go past it, and a key to the window below, lost): empty
  // until then. A menu grabs the keyboard a moment after the pointer.
  std::vector<ScreenRect> grabbingPopups() {
    std::vector<ScreenRect> open = popups();
    if (open.empty() || !pointerGrabbed() || !keyboardGrabbed()) return {};
    return open;
  }
  // Whether another client holds the pointer or the keyboard, seen by trying
  // to grab it: one that can be had is let go at once (the other client
  // tries again, as the menus do).
  bool pointerGrabbed() {
    const int grab = XGrabPointer(dpy, DefaultRootWindow(dpy), False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                                  None, None, CurrentTime);
    if (grab != GrabSuccess) return grab == AlreadyGrabbed;
    XUngrabPointer(dpy, CurrentTime);
    XSync(dpy, False);
    return false;
  }
  bool keyboardGrabbed() {
    const int grab = XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (grab != GrabSuccess) return grab == AlreadyGrabbed;
    XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
    return false;
  }
  // The first mapped top-level window with this name, by its X id.
  std::optional<::Window> namedWindow(const std::string& title) {
    for (::Window w : children()) {
      char* name = nullptr;
      XWindowAttributes a;
      if (XFetchName(dpy, w, &name) && name) {
        const bool match = title == name;
        XFree(name);
        if (match && XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable) return w;
      }
    }
    return std::nullopt;
  }
  // Waits (with the patience of every wait of the tests) for what `ready`
  // looks for (a non-empty list or an answer).
  static bool found(const std::vector<ScreenRect>& r) { return !r.empty(); }
  static bool found(const std::optional<ScreenRect>& r) { return r.has_value(); }
  template <class F> auto await(F ready) {
    decltype(ready()) r{};
    eventually([&] { return found(r = ready()); });
    return r;
  }
  std::vector<uint8_t> rgb(unsigned long window, int width, int height) {
    std::vector<uint8_t> out;
    XImage* image = XGetImage(dpy, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) return out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const unsigned long p = XGetPixel(image, x, y);
        out.insert(out.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
      }
    XDestroyImage(image);
    return out;
  }
  void closeWindow(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window, False, NoEventMask, &e);
    XSync(dpy, False);
  }

  Display* dpy;

private:
  void sync(int) { XSync(dpy, False); }
  std::vector<::Window> children() {
    ::Window root, parent, *kids = nullptr;
    unsigned n = 0;
    std::vector<::Window> out;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n)) out.assign(kids, kids + n);
    if (kids) XFree(kids);
    return out;
  }
};

} // namespace zarn::test
