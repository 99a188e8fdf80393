#include "gui/MacBitmap.h"

namespace gui {

// The base frees the pixels; the context over them goes first.
MacBitmap::~MacBitmap() { delete context; }

platform::Pixels MacBitmap::pixelView() {
  return platform::Pixels(getPixels(), getWidth(), getHeight(), getWidth());
}

platform::DrawContext* MacBitmap::getContext() {
  if (!context && getPixels()) context = new platform::DrawContext(pixelView());
  return context;
}

void MacBitmap::draw(platform::DrawContext* target, const Point& p) {
  if (!target || !getPixels()) return;
  target->drawImage({p.x, p.y, p.x + getWidth(), p.y + getHeight()}, pixelView());
}

void MacBitmap::deleteBitmapData(Pixel* data) {
  delete context;
  context = nullptr;
  MacCompatibleBitmap::deleteBitmapData(data);
}

} // namespace gui
