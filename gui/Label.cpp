#include "gui/Label.h"

#include "gui/Text.h"
#include "gui/UserInterface.h"

#include <memory>

namespace gui {

Label::Label(UserInterface* userInterface) : Control(userInterface), text(userInterface->createText()) {
  text->onChange = NotifyEvent::bind(this, &Label::textChange);
}

Label::~Label() { delete text; }

void Label::resizeLabel() {
  if (!autoSize) return;
  int w = text->getWidth(), h = text->getHeight();
  if (fillColor.get().a != 0 || borderColor.get().a != 0) {
    w += 6;
    h += 2;
  }
  const Rect& b = bounds.get();
  setBounds(b.left, b.top, w, h);
}

void Label::textChange(void*) {
  std::unique_ptr<Update> batch(beginUpdate());
  resizeLabel();
  invalidate();
}

void Label::propertyChange(const AbstractProperty* property) {
  if (property == &horizontalAlignment || property == &verticalAlignment || property == &fillColor ||
      property == &borderColor || property == &borderWidth)
    invalidate();
  else if (property == &autoSize)
    resizeLabel();
  Control::propertyChange(property);
}

void Label::paint(const Canvas& canvas) {
  canvas.fillRect(clientRect, borderColor);
  Rect inner = clientRect;
  inner.left += borderWidth;
  inner.top += borderWidth;
  inner.right -= borderWidth;
  inner.bottom -= borderWidth;
  if (!inner.isEmpty()) canvas.fillRect(inner, fillColor);
  const int w = text->getWidth(), h = text->getHeight();
  const Point c = getClientCenter();
  const int x = horizontalAlignment == 1 ? c.x - w / 2 : horizontalAlignment == 2 ? clientRect.width() - w : 0;
  const int y = verticalAlignment == 1 ? c.y - (h + 1) / 2 : verticalAlignment == 2 ? clientRect.height() - h : 0;
  canvas.drawText(text, Point(x, y), 255);
}

} // namespace gui
