#include "platform/X11Clipboard.h"

#include "platform/Utf8.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <poll.h>

namespace platform {

namespace {

std::string latin1ToUtf8(const std::string& bytes) {
  std::u32string text;
  for (unsigned char c : bytes) text.push_back(c);
  return encodeUtf8(text);
}

std::string utf8ToLatin1(const std::string& utf8) {
  std::string out;
  for (char32_t c : decodeUtf8(utf8)) out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  return out;
}

} // namespace

X11Clipboard::X11Clipboard(Display* dpy) : dpy(dpy) {
  XSetWindowAttributes a{};
  window = XCreateWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, &a);
  clipboardAtom = XInternAtom(dpy, "CLIPBOARD", False);
  utf8Atom = XInternAtom(dpy, "UTF8_STRING", False);
  stringAtom = XA_STRING;
  textAtom = XInternAtom(dpy, "TEXT", False);
  mimeAtom = XInternAtom(dpy, "text/plain;charset=utf-8", False);
  targetsAtom = XInternAtom(dpy, "TARGETS", False);
  incrAtom = XInternAtom(dpy, "INCR", False);
  propertyAtom = XInternAtom(dpy, "ZARN_CLIPBOARD", False);
}

X11Clipboard::~X11Clipboard() {
  if (window) XDestroyWindow(dpy, window);
}

void X11Clipboard::setText(const std::string& utf8) {
  owned = utf8;
  XSetSelectionOwner(dpy, clipboardAtom, window, CurrentTime);
  if (XGetSelectionOwner(dpy, clipboardAtom) != window) owned.reset();
  XFlush(dpy);
}

std::optional<std::string> X11Clipboard::text() {
  const ::Window owner = XGetSelectionOwner(dpy, clipboardAtom);
  if (owner == None) return std::nullopt;
  if (owner == window) return owned;
  // The answer's type says what the bytes are, whatever was asked for.
  for (unsigned long target : {utf8Atom, stringAtom}) {
    unsigned long type = None;
    std::optional<std::string> bytes = request(target, type);
    if (!bytes) continue;
    if (type == utf8Atom || type == mimeAtom) return bytes;
    if (type == stringAtom) return latin1ToUtf8(*bytes);
  }
  return std::nullopt;
}

std::optional<std::string> X11Clipboard::request(unsigned long target, unsigned long& answeredType) {
  XDeleteProperty(dpy, window, propertyAtom);
  XConvertSelection(dpy, clipboardAtom, target, propertyAtom, window, CurrentTime);
  XFlush(dpy);
  // Only the answer is taken from the queue; every other event stays for
  // the server's own loop.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  XEvent e;
  for (;;) {
    if (XCheckTypedWindowEvent(dpy, window, SelectionNotify, &e)) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{ConnectionNumber(dpy), POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
    XEventsQueued(dpy, QueuedAfterReading);
  }
  if (e.xselection.property == None) return std::nullopt;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, window, propertyAtom, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count, &after,
                         &data) != Success)
    return std::nullopt;
  std::optional<std::string> out;
  if (data && format == 8 && type != incrAtom) out = std::string(reinterpret_cast<char*>(data), count);
  answeredType = type;
  if (data) XFree(data);
  return out;
}

bool X11Clipboard::handle(XEvent& e) {
  if (e.type == SelectionClear && e.xselectionclear.window == window) {
    owned.reset();
    return true;
  }
  if (e.type != SelectionRequest || e.xselectionrequest.owner != window) return false;
  const XSelectionRequestEvent& r = e.xselectionrequest;
  // Old clients name no property: the target's name stands for it.
  const Atom property = r.property != None ? r.property : r.target;
  bool answered = false;
  if (owned && r.selection == clipboardAtom) {
    if (r.target == targetsAtom) {
      const Atom targets[] = {targetsAtom, utf8Atom, mimeAtom, stringAtom, textAtom};
      XChangeProperty(dpy, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(targets), 5);
      answered = true;
    } else if (r.target == utf8Atom || r.target == mimeAtom) {
      XChangeProperty(dpy, r.requestor, property, r.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(owned->data()), static_cast<int>(owned->size()));
      answered = true;
    } else if (r.target == stringAtom || r.target == textAtom) {
      const std::string latin1 = utf8ToLatin1(*owned);
      XChangeProperty(dpy, r.requestor, property, stringAtom, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
      answered = true;
    }
  }
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.display = dpy;
  reply.xselection.requestor = r.requestor;
  reply.xselection.selection = r.selection;
  reply.xselection.target = r.target;
  reply.xselection.property = answered ? property : None;
  reply.xselection.time = r.time;
  XSendEvent(dpy, r.requestor, False, NoEventMask, &reply);
  XFlush(dpy);
  return true;
}

} // namespace platform
