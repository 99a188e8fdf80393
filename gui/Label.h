#pragma once

// A text with an optional fill and border. While `autoSize` is set the
// label takes its text's size (6 pixels wider and 2 taller when it has a
// visible fill or border), keeping its top-left corner; otherwise it keeps
// its bounds and aligns the text inside them.

#include "gui/Color.h"
#include "gui/Control.h"

namespace gui {

class Text;

class Label : public Control {
public:
  // 0 left, 1 centre, 2 right.
  Property<int> horizontalAlignment{this, 0};
  Property<bool> autoSize{this, true};
  Property<Color> fillColor{this, Color(255, 255, 255, 0)};
  Property<Color> borderColor{this, Color(0, 0, 0, 0)};
  Property<int> borderWidth{this, 1};
  // 0 top, 1 centre, 2 bottom.
  Property<int> verticalAlignment{this, 0};

  explicit Label(UserInterface* userInterface);
  ~Label() override;

  Text* getText() const { return text; }
  void resizeLabel();

  void propertyChange(const AbstractProperty* property) override;

protected:
  void paint(const Canvas& canvas) override;

private:
  void textChange(void* sender);

  Text* text;
};

} // namespace gui
