#include "gui/Switch.h"

#include "gui/Bitmap.h"
#include "gui/ShiftStateMapping.h"
#include "gui/UserInterface.h"

#include <algorithm>

namespace gui {

Switch::Style::Style(UserInterface* userInterface)
    : Component(userInterface),
      handleRollover(userInterface->createBitmap()),
      background(userInterface->createBitmap()),
      handle(userInterface->createBitmap()) {}

Switch::Style::~Style() {
  delete handleRollover;
  delete background;
  delete handle;
}

void Switch::Style::loadFromResource(const std::string& backgroundName, const std::string& handleName,
                                     const std::string& handleRolloverName) {
  background->loadFromResource(backgroundName);
  handle->loadFromResource(handleName);
  handleRollover->loadFromResource(handleRolloverName);
}

Switch::Switch(UserInterface* userInterface, Style* style)
    : Control(userInterface), ValueEditor(this), style(style) {
  const int w = style->background->getWidth(), h = style->background->getHeight();
  setBounds(0, 0, w, h);
  vertical = w <= h;
  if (vertical)
    buttonPosition = Point((w - style->handle->getWidth()) / 2, 0);
  else
    buttonPosition = Point(0, (h - style->handle->getHeight()) / 2);
  maximum = 1;
}

void Switch::setHint(const std::string& text) { hint = text; }

int Switch::handleLength() const { return vertical ? style->handle->getHeight() : style->handle->getWidth(); }

int Switch::getButtonSpace() const { return (vertical ? clientRect.height() : clientRect.width()) - handleLength(); }

void Switch::updateButtonPos() {
  const int span = maximum - minimum;
  const int pos = span > 0 ? getButtonSpace() * (position - minimum) / span : 0;
  Point p = buttonPosition;
  if (vertical)
    p.y = pos;
  else
    p.x = pos;
  if (p == buttonPosition) return;
  buttonPosition = p;
  invalidate();
}

void Switch::updatePosition(int p) {
  const int space = getButtonSpace();
  if (space < 1) return;
  const int span = maximum - minimum;
  const int v = p + space / (2 * span);
  if (v < 0)
    adjustPosition(minimum);
  else
    adjustPosition(minimum + std::min(space, v) * span / space);
}

bool Switch::isPointInButton(const Point& p) const {
  return Rect(buttonPosition, style->handle->getWidth(), style->handle->getHeight()).contains(p);
}

void Switch::setRollover(bool on) {
  if (on == rollover) return;
  rollover = on;
  invalidate();
}

void Switch::updateSize() {
  if (!autoSize) return;
  const int span = maximum - minimum;
  const Bitmap* track = style->background;
  const int trackLength = vertical ? track->getHeight() : track->getWidth();
  const int length = (trackLength - 2 * handleLength()) * span + handleLength() * (span + 1);
  const Rect& b = bounds.get();
  if (vertical)
    setBounds(b.left, b.top, b.width(), length);
  else
    setBounds(b.left, b.top, length, b.height());
}

void Switch::propertyChange(const AbstractProperty* property) {
  if (beginPropertyChange(property)) {
    if (property == &autoSize) {
      updateSize();
    } else if (property == &maximum || property == &minimum) {
      updateButtonPos();
      updateSize();
    } else if (property == &position) {
      updateButtonPos();
    }
    endPropertyChange();
  }
  Control::propertyChange(property);
  // A new length moves the stops.
  if (property == &bounds) updateButtonPos();
}

void Switch::paint(const Canvas& canvas) {
  canvas.drawTiledBitmap(style->background, clientRect, 255);
  canvas.drawBitmap(rollover ? style->handleRollover : style->handle, buttonPosition, 255);
}

void Switch::mouseDown(MouseButton, const Point& p, ShiftState state) {
  startChange();
  if (!isPointInButton(p)) return;
  setLinked((shiftStateMapping.getPurpose(state) & cPurposeLinked) != 0);
  pressed = true;
  grabOffset = p - buttonPosition;
}

void Switch::mouseMove(const Point& p, ShiftState state) {
  if (pressed) {
    setLinked((shiftStateMapping.getPurpose(state) & cPurposeLinked) != 0);
    updatePosition(vertical ? p.y - grabOffset.y : p.x - grabOffset.x);
  } else {
    setRollover(isPointInButton(p));
  }
}

void Switch::mouseLeave() { setRollover(false); }

void Switch::mouseUp(MouseButton, const Point& p, ShiftState) {
  if (pressed) {
    linked = false;
    pressed = false;
  } else if (clientRect.contains(p)) {
    if (vertical)
      updatePosition(p.y - style->handle->getHeight() / 2);
    else
      updatePosition(p.x - style->handle->getWidth() / 2);
  }
  if (ValueEditor::changing) endChange();
}

} // namespace gui
