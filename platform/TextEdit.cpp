#include "platform/TextEdit.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

TextEdit::TextEdit(DrawPort* port, const PortRect& rect)
    : mPort(port), mRect(rect), mFont(port->textFont()), mSize(port->textSize()), mFace(port->textFace()) {}

void TextEdit::setText(const std::string& text) {
  mText = text;
  setSelection(0, 0);
}

void TextEdit::setSelection(int start, int end) {
  int n = static_cast<int>(mText.size());
  mStart = std::clamp(std::min(start, end), 0, n);
  mEnd = std::clamp(std::max(start, end), 0, n);
  mAnchor = mStart;
}

void TextEdit::key(char c) {
  switch (c) {
  case kBackspace:
    if (mStart == mEnd && mStart > 0) --mStart;
    mText.erase(static_cast<size_t>(mStart), static_cast<size_t>(mEnd - mStart));
    mEnd = mAnchor = mStart;
    break;
  case kLeftArrow:
    mStart = mEnd = mAnchor = mStart == mEnd ? std::max(mStart - 1, 0) : mStart;
    break;
  case kRightArrow:
    mStart = mEnd = mAnchor = mStart == mEnd ? std::min(mEnd + 1, static_cast<int>(mText.size())) : mEnd;
    break;
  default:
    if (static_cast<unsigned char>(c) < 32) return;
    mText.replace(static_cast<size_t>(mStart), static_cast<size_t>(mEnd - mStart), 1, c);
    mStart = mEnd = mAnchor = mStart + 1;
  }
  mCaretOn = true;
}

void TextEdit::setFont() const {
  mPort->setTextFont(mFont);
  mPort->setTextSize(mSize);
  mPort->setTextFace(mFace);
}

int TextEdit::textLeft() const {
  setFont();
  int width = mPort->textWidth(mText);
  if (mJustification == kFlushRight) return mRect.right - 1 - width;
  if (mJustification == kCenter) return (mRect.left + mRect.right - width) / 2;
  return mRect.left + 1;
}

int TextEdit::offsetAt(int h) const {
  int left = textLeft(), best = 0, bestDistance = std::abs(h - left);
  for (int i = 1; i <= static_cast<int>(mText.size()); ++i) {
    int d = std::abs(h - (left + mPort->textWidth(mText.substr(0, static_cast<size_t>(i)))));
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

void TextEdit::click(PortPoint p, bool extend) {
  int at = offsetAt(p.h);
  if (extend) {
    mStart = std::min(mAnchor, at);
    mEnd = std::max(mAnchor, at);
  } else {
    mStart = mEnd = mAnchor = at;
  }
  mCaretOn = true;
}

void TextEdit::activate(bool active) { mActive = active; }

void TextEdit::idle(uint32_t ticks) {
  if (ticks - mLastBlink < 30) return;
  mLastBlink = ticks;
  mCaretOn = !mCaretOn;
}

void TextEdit::draw() {
  PortColor fore = mPort->foreColor(), back = mPort->backColor();
  const PortPicture* pattern = mPort->backPattern();
  const PortColor black{0, 0, 0}, white{0xFFFF, 0xFFFF, 0xFFFF};
  mPort->setBackPattern(nullptr);
  mPort->setBackColor(white);
  mPort->eraseRect(mRect);
  int left = textLeft();
  DrawPort::FontInfo fi = mPort->fontInfo();
  int baseline = (mRect.top + mRect.bottom + fi.ascent - fi.descent) / 2;
  int from = left + mPort->textWidth(mText.substr(0, static_cast<size_t>(mStart)));
  int to = left + mPort->textWidth(mText.substr(0, static_cast<size_t>(mEnd)));
  mPort->setForeColor(black);
  if (mActive && mStart != mEnd) {
    mPort->paintRect({mRect.top, static_cast<int16_t>(from), mRect.bottom, static_cast<int16_t>(to)});
    mPort->moveTo(left, baseline);
    mPort->drawString(mText.substr(0, static_cast<size_t>(mStart)));
    mPort->setForeColor(white);
    mPort->drawString(mText.substr(static_cast<size_t>(mStart), static_cast<size_t>(mEnd - mStart)));
    mPort->setForeColor(black);
    mPort->drawString(mText.substr(static_cast<size_t>(mEnd)));
  } else {
    mPort->moveTo(left, baseline);
    mPort->drawString(mText);
    if (mActive && mCaretOn) {
      mPort->setPenSize(1, 1);
      mPort->moveTo(from, mRect.top + 1);
      mPort->lineTo(from, mRect.bottom - 2);
    }
  }
  mPort->setForeColor(fore);
  mPort->setBackColor(back);
  mPort->setBackPattern(pattern);
}

} // namespace platform
