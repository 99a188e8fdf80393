#pragma once

// A piece of styled text that renders itself into a bitmap. This class holds
// the text and its style as properties and announces every change through
// onChange (changes inside an update bracket are announced once); measuring
// and rendering belong to the platform subclass, made by the user
// interface's factory.
//
// The rendered bitmap is an alpha mask in `color` (the text drawn dark on
// white and turned into a mask with Bitmap::convertGrayscaleToTransparency),
// so it is transparent and blends with what lies under it when drawn with
// Canvas::drawText.

#include "base/NotifyEvent.h"
#include "base/Property.h"
#include "base/UpdatedObject.h"
#include "gui/Color.h"

#include <string>

namespace gui {

class Bitmap;

class Text : public UpdatedObject, public PropertyOwner {
public:
  // How the text meets maxWidth when that is above 0.
  enum OverflowMode : int {
    cOverflowClip = 0,     // the rendered width is exactly maxWidth
    cOverflowShorten = 1,  // shortened from its end, ending in an ellipsis
    cOverflowWrap = 2      // broken into lines at maxWidth
  };

  Property<bool> bold;
  Property<Color> color;
  // Empty: the back end's default font.
  Property<std::string> font;
  Property<bool> italic;
  Property<int> overflowMode;
  // 0: no limit.
  Property<int> maxWidth;
  // Rendered at size * 1.25 points.
  Property<int> size;
  Property<std::string> text;
  Property<bool> underline;
  NotifyEvent onChange;

  Text();
  virtual ~Text() = default;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  // Rendered on demand; the bitmap belongs to the text.
  virtual Bitmap* getBitmap() = 0;
  virtual int getHeight() = 0;
  virtual int getWidth() = 0;

  void propertyChange(const AbstractProperty* property) override;

protected:
  // A subclass marks its rendering stale, then calls this.
  void change() override;
};

} // namespace gui
