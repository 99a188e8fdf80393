#pragma once

// A bitmap whose pixels are a Color as it lies in memory: red, green, blue,
// alpha, one byte each, which screen and image writers take without
// conversion.

#include "gui/Bitmap.h"

namespace gui {

class MacCompatibleBitmap : public Bitmap {
public:
  Pixel colorToPixel(Color colour) const override;
  Color pixelToColor(Pixel p) const override;
};

} // namespace gui
