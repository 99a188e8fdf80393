#pragma once

// One line of editable text in a port: the text, a selection (a caret when
// empty), a justification, and the port's font at the time the record was
// made. Keys insert printable characters over the selection, backspace
// deletes, the left and right arrows move the caret; a click puts the caret
// at the nearest character boundary (Shift extends the selection). Drawn
// black on white inside its rectangle, the selection inverted; the caret
// blinks with idle time. Main thread only.

#include "platform/DrawPort.h"

#include <cstdint>
#include <string>

namespace platform {

class TextEdit {
public:
  // Justifications, as the text views name them.
  enum : int16_t { kFlushDefault = 0, kCenter = 1, kFlushRight = -1, kFlushLeft = -2 };
  // Keys with a meaning of their own.
  enum : char { kBackspace = 8, kLeftArrow = 28, kRightArrow = 29 };

  TextEdit(DrawPort* port, const PortRect& rect);

  const std::string& text() const { return mText; }
  void setText(const std::string& text);
  int selectionStart() const { return mStart; }
  int selectionEnd() const { return mEnd; }
  void setSelection(int start, int end);
  void setJustification(int16_t justification) { mJustification = justification; }
  const PortRect& rect() const { return mRect; }

  void key(char c);
  void click(PortPoint p, bool extend);
  void activate(bool active);
  // Blinks the caret: every call with ticks at least 30 after the last
  // blink toggles it.
  void idle(uint32_t ticks);
  void draw();

private:
  int textLeft() const;
  int offsetAt(int h) const;
  void setFont() const;

  DrawPort* mPort;
  PortRect mRect;
  int16_t mFont, mSize, mFace;
  std::string mText;
  int mStart = 0, mEnd = 0, mAnchor = 0;
  int16_t mJustification = kFlushDefault;
  bool mActive = true;
  bool mCaretOn = true;
  uint32_t mLastBlink = 0;
};

} // namespace platform
