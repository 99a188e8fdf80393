#include "gui/MacCompatibleBitmap.h"

#include <bit>

namespace gui {

static_assert(sizeof(Color) == sizeof(Bitmap::Pixel), "a pixel holds one colour");

Bitmap::Pixel MacCompatibleBitmap::colorToPixel(Color colour) const { return std::bit_cast<Pixel>(colour); }

Color MacCompatibleBitmap::pixelToColor(Pixel p) const { return std::bit_cast<Color>(p); }

} // namespace gui
