#pragma once

// Passive pictures: an Image shows one bitmap at its natural size; an
// ImageLabel (the hint window) stretches a three-part skin image behind a
// text wrapped inside margins, and is two thirds of the image's height
// unless the text needs more.

#include "gui/Control.h"

namespace gui {

class Bitmap;
class Text;

class Image : public Control {
public:
  explicit Image(UserInterface* userInterface);
  ~Image() override;

  // Owned; the image takes its size on every change.
  Bitmap* getBitmap() const { return bitmap; }

protected:
  void paint(const Canvas& canvas) override;

private:
  void bitmapChange(void* sender);

  Bitmap* bitmap;
};

class ImageLabel : public Control {
public:
  // Insets of the text: left, top, right, bottom.
  Property<Rect> margins{this, Rect(5, 5, 5, 5)};

  explicit ImageLabel(UserInterface* userInterface);
  ~ImageLabel() override;

  // Both owned; the text wraps at the width inside the margins.
  Text* getText() const { return text; }
  Bitmap* getBitmap() const { return bitmap; }
  void updateSize();

  void propertyChange(const AbstractProperty* property) override;

protected:
  void paint(const Canvas& canvas) override;

private:
  void partChange(void* sender);

  Text* text;
  Bitmap* bitmap;
};

} // namespace gui
