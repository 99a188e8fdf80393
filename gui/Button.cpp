#include "gui/Button.h"

#include "gui/Bitmap.h"
#include "gui/Menu.h"
#include "gui/Text.h"
#include "gui/UserInterface.h"

#include <algorithm>
#include <memory>

namespace gui {

Button::Style::Style(UserInterface* userInterface)
    : Component(userInterface),
      normal(userInterface->createBitmap()),
      hover(userInterface->createBitmap()),
      pressed(userInterface->createBitmap()),
      overlayOff(userInterface->createBitmap()),
      overlayOn(userInterface->createBitmap()) {}

Button::Style::~Style() {
  delete normal;
  delete hover;
  delete pressed;
  delete overlayOff;
  delete overlayOn;
}

void Button::Style::loadFromResource(const std::string& normalName, const std::string& hoverName,
                                     const std::string& pressedName, const std::string& overlayOffName,
                                     const std::string& overlayOnName) {
  normal->loadFromResource(normalName);
  hover->loadFromResource(hoverName);
  pressed->loadFromResource(pressedName);
  if (!overlayOffName.empty()) overlayOff->loadFromResource(overlayOffName);
  if (!overlayOnName.empty()) overlayOn->loadFromResource(overlayOnName);
}

Button::Button(UserInterface* userInterface, Style* style)
    : Control(userInterface), style(style), text(userInterface->createText()) {
  text->onChange = NotifyEvent::bind(this, &Button::textChange);
  if (style) {
    setBounds(0, 0, style->normal->getWidth(), style->normal->getHeight());
    alignment = style->alignment.get();
    margin = style->margin.get();
    textOffset = style->textOffset.get();
    text->color = style->textColor.get();
  } else {
    this->style = new Style(userInterface);
  }
  fitCaption();
}

Button::~Button() { delete text; }

void Button::loadFromResource(const std::string& normalName, const std::string& hoverName,
                              const std::string& pressedName, const std::string& overlayOffName,
                              const std::string& overlayOnName) {
  style->loadFromResource(normalName, hoverName, pressedName, overlayOffName, overlayOnName);
  setBounds(0, 0, style->normal->getWidth(), style->normal->getHeight());
}

void Button::textChange(void*) {
  std::unique_ptr<Update> batch(beginUpdate());
  invalidate();
}

void Button::fitCaption() {
  text->overflowMode = Text::cOverflowShorten;
  text->maxWidth = std::max(0, clientRect.width() - 12);
}

void Button::resized() { fitCaption(); }

void Button::setState(State s) {
  if (s == state) return;
  state = s;
  invalidate();
}

void Button::updateOverlayState() {
  const int s = toggle && selected ? 1 : 0;
  if (s == overlayState) return;
  overlayState = s;
  invalidate();
}

void Button::propertyChange(const AbstractProperty* property) {
  if (property == &selected || property == &toggle)
    updateOverlayState();
  else if (property == &alignment || property == &margin || property == &textOffset)
    invalidate();
  Control::propertyChange(property);
}

void Button::paint(const Canvas& canvas) {
  Bitmap* face = state == cPressed ? style->pressed : state == cHover ? style->hover : style->normal;
  canvas.drawTiledBitmap(face, clientRect, 255);
  const Point offset = state == cPressed ? Point(1, 1) : Point(0, 0);
  const Point centre = getClientCenter();
  Bitmap* overlay = overlayState == 1 ? style->overlayOn : style->overlayOff;
  if (overlay->getWidth() >= 1 && overlay->getHeight() >= 1) {
    int x;
    if (alignment == 0)
      x = offset.x + margin;
    else if (alignment == 2)
      x = offset.x + clientRect.width() - margin - overlay->getWidth();
    else
      x = offset.x + centre.x - overlay->getWidth() / 2;
    const int y = offset.y + centre.y - overlay->getHeight() / 2;
    canvas.drawBitmap(overlay, Point(x, y), 255);
  }
  if (!text->text.get().empty()) {
    // Measured only after the caption has been fitted to the width.
    fitCaption();
    const int x = std::max(6, centre.x + textOffset - text->getWidth() / 2);
    const int y = centre.y - (text->getHeight() + 1) / 2;
    canvas.drawText(text, Point(x, y) + offset, 255);
  }
}

void Button::mouseEnter() {
  if (!pressed) setState(cHover);
}

void Button::mouseLeave() {
  if (!pressed) setState(cNormal);
}

void Button::mouseDown(MouseButton button, const Point& p, ShiftState shift) {
  Control::mouseDown(button, p, shift);
  pressed = true;
  setState(cPressed);
  if (PopupMenu* menu = popupMenu.get()) {
    // The menu tracks the mouse itself; the release it ends with is its own.
    releaseMouseCapture();
    popup(menu);
    mouseUp(button, p, shift);
    mouseLeave();
  }
}

void Button::mouseMove(const Point& p, ShiftState shift) {
  Control::mouseMove(p, shift);
  if (pressed) setState(isPointInside(p) ? cPressed : cNormal);
}

void Button::mouseUp(MouseButton button, const Point& p, ShiftState shift) {
  if (!pressed) return;
  pressed = false;
  if (isPointInside(p)) {
    if (toggle) selected = !selected;
    setState(cHover);
  } else {
    setState(cNormal);
  }
  Control::mouseUp(button, p, shift);
}

} // namespace gui
