#pragma once

// The window layer's bitmap: a MacCompatibleBitmap (red, green, blue, alpha
// in memory) whose pixels the window layer's drawing context reads and draws
// into in place, never copied. The context over the pixels is made on first
// use and kept until the pixel memory changes; drawing the bitmap into
// another context ignores the fourth byte, as a window has no alpha.

#include "gui/MacCompatibleBitmap.h"
#include "platform/DrawContext.h"

namespace gui {

class MacBitmap : public MacCompatibleBitmap {
public:
  MacBitmap() = default;
  ~MacBitmap() override;

  // The drawing context over this bitmap's pixels; null while it has none.
  platform::DrawContext* getContext();
  // Draws the whole bitmap into context with its top-left corner at p (user
  // space of the context).
  void draw(platform::DrawContext* context, const Point& p);

protected:
  // The context refers to the old pixels, so it goes first.
  void deleteBitmapData(Pixel* data) override;

private:
  platform::Pixels pixelView();

  platform::DrawContext* context = nullptr;
};

} // namespace gui
