#include "platform/ControlManager.h"

#include "platform/Resources.h"

#include <algorithm>

namespace platform {

namespace {
int16_t be16(const std::vector<uint8_t>& b, size_t at) { return static_cast<int16_t>(b[at] << 8 | b[at + 1]); }
} // namespace

std::unique_ptr<PortControl> PortControl::create(DrawPort* port, const PortRect& bounds, const std::string& title,
                                                 bool visible, int16_t value, int16_t minimum, int16_t maximum,
                                                 int16_t kind, void* owner) {
  if (kind < kPushButton || kind > kRadioButton) return nullptr;
  std::unique_ptr<PortControl> c(new PortControl);
  c->mPort = port;
  c->mBounds = bounds;
  c->mTitle = title.substr(0, 255);
  c->mKind = kind;
  c->mMinimum = minimum;
  c->mMaximum = std::max(minimum, maximum);
  c->mValue = std::clamp(value, c->mMinimum, c->mMaximum);
  c->mVisible = visible;
  c->mOwner = owner;
  return c;
}

std::unique_ptr<PortControl> PortControl::fromResource(int16_t id, DrawPort* port, void* owner) {
  std::optional<std::vector<uint8_t>> data = getResource(fourCharCode("CNTL"), id);
  if (!data || data->size() < 19) return nullptr;
  const std::vector<uint8_t>& b = *data;
  size_t titleLength = b[18];
  if (b.size() < 19 + titleLength) return nullptr;
  PortRect bounds{be16(b, 0), be16(b, 2), be16(b, 4), be16(b, 6)};
  return create(port, bounds, std::string(b.begin() + 19, b.begin() + 19 + static_cast<long>(titleLength)),
                be16(b, 10) != 0, be16(b, 8), be16(b, 14), be16(b, 12), be16(b, 16), owner);
}

void PortControl::setValue(int16_t value) {
  value = std::clamp(value, mMinimum, mMaximum);
  if (value == mValue) return;
  mValue = value;
  draw();
}

void PortControl::show() {
  if (mVisible) return;
  mVisible = true;
  draw();
}

void PortControl::draw() {
  if (!mVisible || !mPort) return;
  DrawPort& p = *mPort;
  PortColor fore = p.foreColor(), back = p.backColor();
  const PortColor black{0, 0, 0}, white{0xFFFF, 0xFFFF, 0xFFFF};
  p.setPenSize(1, 1);
  DrawPort::FontInfo fi = p.fontInfo();
  int baseline = (mBounds.top + mBounds.bottom + fi.ascent - fi.descent) / 2;
  if (mKind == kPushButton) {
    p.setForeColor(mHighlighted ? black : white);
    p.paintRect(mBounds.inset(1, 1));
    p.setForeColor(black);
    p.frameRect(mBounds);
    p.setForeColor(mHighlighted ? white : black);
    p.moveTo((mBounds.left + mBounds.right - p.textWidth(mTitle)) / 2, baseline);
  } else {
    int box = std::min(12, mBounds.height());
    PortRect mark{static_cast<int16_t>((mBounds.top + mBounds.bottom - box) / 2), mBounds.left,
                  static_cast<int16_t>((mBounds.top + mBounds.bottom + box) / 2), static_cast<int16_t>(mBounds.left + box)};
    p.setForeColor(white);
    p.eraseRect(mBounds);
    p.paintRect(mark);
    p.setForeColor(black);
    if (mKind == kCheckBox) {
      p.frameRect(mark);
      if (mHighlighted) p.frameRect(mark.inset(1, 1));
      if (mValue != 0) {
        p.moveTo(mark.left + 2, mark.top + 2);
        p.lineTo(mark.right - 3, mark.bottom - 3);
        p.moveTo(mark.right - 3, mark.top + 2);
        p.lineTo(mark.left + 2, mark.bottom - 3);
      }
    } else {
      p.frameOval(mark);
      if (mValue != 0 || mHighlighted) p.paintOval(mark.inset(3, 3));
    }
    p.moveTo(mark.right + 4, baseline);
  }
  p.drawString(mTitle);
  p.setForeColor(fore);
  p.setBackColor(back);
}

void PortControl::moveTo(int h, int v) {
  mBounds = mBounds.offset(h - mBounds.left, v - mBounds.top);
  draw();
}

void PortControl::setHighlight(bool on) {
  if (on == mHighlighted) return;
  mHighlighted = on;
  draw();
}

int16_t PortControl::track(PortPoint start) {
  if (!mVisible || !mPort) return kNoPart;
  bool inside = mBounds.contains(start);
  setHighlight(inside);
  while (DrawPort::stillDown()) {
    inside = mBounds.contains(mPort->mouse());
    setHighlight(inside);
  }
  inside = mBounds.contains(mPort->mouse());
  setHighlight(false);
  if (!inside) return kNoPart;
  return mKind == kPushButton ? kInButton : kInCheckBox;
}

} // namespace platform
