#pragma once

// The display's clipboard (the CLIPBOARD selection) for the X11 window
// server. Reading asks the selection's owner for UTF-8 text, then for
// Latin-1 text (STRING) when it offers none, and waits a second at most
// for each answer; an answer of another type (an image) is no text;
// reading our own clipboard needs no round trip. Writing makes a hidden
// window of ours the owner, which then answers every request for the text
// (as UTF8_STRING, text/plain;charset=utf-8, STRING or TEXT, and the list
// of TARGETS) until another program takes the selection. Transfers in
// pieces (INCR) are not read: such a text is far beyond what the views
// take.

#include <optional>
#include <string>

struct _XDisplay;
union _XEvent;

namespace platform {

class X11Clipboard {
public:
  explicit X11Clipboard(_XDisplay* dpy);
  ~X11Clipboard();
  X11Clipboard(const X11Clipboard&) = delete;
  X11Clipboard& operator=(const X11Clipboard&) = delete;

  std::optional<std::string> text();
  void setText(const std::string& utf8);
  // Answers an event meant for the clipboard's window; false for any other.
  bool handle(_XEvent& e);

private:
  // The bytes the owner answers a request for target with, and their type.
  std::optional<std::string> request(unsigned long target, unsigned long& answeredType);

  _XDisplay* dpy;
  unsigned long window = 0;
  unsigned long clipboardAtom, utf8Atom, stringAtom, textAtom, mimeAtom, targetsAtom, incrAtom, propertyAtom;
  std::optional<std::string> owned;
};

} // namespace platform
