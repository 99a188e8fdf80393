#pragma once

// Small modal panels over the editor window: one background picture,
// centred on the window, with labels and buttons placed relative to its
// top-left corner. Like every gui::Dialog the panel covers the whole window,
// so the controls below take no mouse input while it is open. A dialog
// never deletes itself: it asks the editor (closeDialog), which deletes it
// on the next event tick, outside the dialog's own handlers.

#include "gui/Button.h"
#include "gui/Control.h"
#include "gui/Geometry.h"

#include <string>

class GenericPluginInterface;

namespace gui {
class Image;
class Label;
} // namespace gui

class GenericDialog : public gui::Dialog {
public:
  // What the dialogs of one editor share; a component of the user
  // interface, which deletes it.
  class Style : public gui::Component {
  public:
    explicit Style(gui::UserInterface* ui) : gui::Component(ui) {}

    // Resource name of the background picture.
    Property<std::string> backgroundImage;
    // The look of createButton's buttons (not owned).
    Property<gui::Button::Style*> buttonStyle{nullptr, nullptr};
    // Added to every position given to createLabel and createButton.
    Property<gui::Point> offset;
    // The background picture's width and height as the editor read it when
    // it opened ((0, 0) when it did not).
    Property<gui::Point> backgroundSize;
  };

  // Loads the background. A picture that cannot be read (gone since the
  // editor opened) leaves a plain panel of the style's backgroundSize in
  // its place: the labels keep their places on it and the panel takes the
  // clicks the picture would. Throws nothing of the picture's.
  GenericDialog(GenericPluginInterface* editor, Style* style);

  // At (x, y) + the style's offset from the picture's top-left corner. A
  // label takes no clicks: they fall through to the picture.
  gui::Label* createLabel(int x, int y, const std::string& text);
  gui::Button* createButton(int x, int y, const std::string& text);

  gui::Image* getBackground() const { return background; }
  GenericPluginInterface* getEditor() const { return editor; }

protected:
  gui::Point placeOnBackground(int x, int y) const;
  void drawPlainBackground();

  gui::Image* background;
  GenericPluginInterface* editor;
  Style* style;
};

// The About box: product, version, the maker's addresses and the build
// date. A click anywhere on it closes it.
class AboutDialog : public GenericDialog {
public:
  AboutDialog(GenericPluginInterface* editor, Style* style);

private:
  void backgroundClick(void* sender);
};
