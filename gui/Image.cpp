#include "gui/Image.h"

#include "gui/Bitmap.h"
#include "gui/Text.h"
#include "gui/UserInterface.h"

#include <algorithm>
#include <memory>

namespace gui {

Image::Image(UserInterface* userInterface) : Control(userInterface), bitmap(userInterface->createBitmap()) {
  bitmap->onChange = NotifyEvent::bind(this, &Image::bitmapChange);
}

Image::~Image() { delete bitmap; }

void Image::bitmapChange(void*) {
  std::unique_ptr<Update> batch(beginUpdate());
  const Rect& b = bounds.get();
  setBounds(b.left, b.top, bitmap->getWidth(), bitmap->getHeight());
  invalidate();
}

void Image::paint(const Canvas& canvas) { canvas.drawBitmap(bitmap, Point(0, 0), 255); }

ImageLabel::ImageLabel(UserInterface* userInterface)
    : Control(userInterface), text(userInterface->createText()), bitmap(userInterface->createBitmap()) {
  text->overflowMode = Text::cOverflowWrap;
  text->onChange = NotifyEvent::bind(this, &ImageLabel::partChange);
  bitmap->onChange = NotifyEvent::bind(this, &ImageLabel::partChange);
}

ImageLabel::~ImageLabel() {
  delete text;
  delete bitmap;
}

void ImageLabel::updateSize() {
  const Rect& m = margins.get();
  const Rect& b = bounds.get();
  // The label takes the image's width, so the text wraps inside that (with
  // no image yet it is not limited).
  const int inner = bitmap->getWidth() - m.left - m.right;
  text->maxWidth = inner > 0 ? inner : 0;
  int height = bitmap->getHeight() * 2 / 3;
  if (!text->text.get().empty()) height = std::max(height, text->getHeight() + m.top + m.bottom);
  setBounds(b.left, b.top, bitmap->getWidth(), height);
}

void ImageLabel::partChange(void*) {
  std::unique_ptr<Update> batch(beginUpdate());
  updateSize();
  invalidate();
}

void ImageLabel::propertyChange(const AbstractProperty* property) {
  std::unique_ptr<Update> batch(beginUpdate());
  updateSize();
  invalidate();
  Control::propertyChange(property);
}

void ImageLabel::paint(const Canvas& canvas) {
  canvas.drawTiledBitmap(bitmap, clientRect, 255);
  if (!text->text.get().empty()) {
    const Rect& m = margins.get();
    canvas.drawText(text, Point(m.left, m.top), 255);
  }
}

} // namespace gui
