#include "editor/GenericDialog.h"

#include "base/VersionInfo.h"
#include "editor/EditorMessages.h"
#include "editor/GenericPluginInterface.h"
#include "gui/Bitmap.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/Text.h"
#include "plugin/GenericPlugin.h"

#include <exception>
#include <new>

GenericDialog::GenericDialog(GenericPluginInterface* editor, Style* style)
    : gui::Dialog(editor->getUserInterface()), background(nullptr), editor(editor), style(style) {
  background = new gui::Image(userInterface);
  background->parent = this;
  try {
    background->getBitmap()->loadFromResource(style->backgroundImage);
  } catch (const std::exception&) {
    // The editor read the picture when it opened; a picture gone since is
    // no reason to let the failure out of the menu or click that opened
    // the dialog (into the host), nor to leave the labels in the middle of
    // the window over the controls.
    drawPlainBackground();
  }
  const gui::Point centre = getClientCenter();
  const gui::Point imageCentre = background->getClientCenter();
  background->setPosition(gui::Point(centre.x - imageCentre.x, centre.y - imageCentre.y));
}

void GenericDialog::drawPlainBackground() {
  const gui::Point size = style->backgroundSize;
  gui::Bitmap* bitmap = background->getBitmap();
  try {
    bitmap->resize(size.x, size.y); // the image takes the size
  } catch (const std::bad_alloc&) {
    return;
  }
  // A dark panel with a darker rim, in the tones of a dialog picture.
  bitmap->fillRect(gui::Rect(size.x, size.y), gui::Color(10, 10, 9, 255));
  bitmap->fillRect(gui::Rect(1, 1, size.x - 1, size.y - 1), gui::Color(52, 50, 47, 255));
}

gui::Point GenericDialog::placeOnBackground(int x, int y) const {
  const gui::Point offset = style->offset;
  const gui::Point corner = background->getPosition();
  return gui::Point(x + offset.x + corner.x, y + offset.y + corner.y);
}

gui::Label* GenericDialog::createLabel(int x, int y, const std::string& text) {
  auto* label = new gui::Label(userInterface);
  label->parent = this;
  label->setPosition(placeOnBackground(x, y));
  label->getText()->text = text;
  label->hitThreshold = 255;
  return label;
}

gui::Button* GenericDialog::createButton(int x, int y, const std::string& text) {
  auto* button = new gui::Button(userInterface, style->buttonStyle);
  button->parent = this;
  button->setPosition(placeOnBackground(x, y));
  button->getText()->text = text;
  return button;
}

AboutDialog::AboutDialog(GenericPluginInterface* editor, Style* style) : GenericDialog(editor, style) {
  background->onClick = NotifyEvent::bind(this, &AboutDialog::backgroundClick);
  const VersionInfo* info = GenericPlugin::sVersionInfo;
  gui::Label* product = createLabel(0, 0, info ? info->getProductName() : "");
  product->getText()->bold = true;
  createLabel(0, 16, "version " + (info ? info->getVersion().getText() : std::string()));
  // Who makes it; no address is shown: the maker's addresses here are
  // stand-ins that reach nobody.
  createLabel(0, 40, info ? info->getVendorName() : "");
  createLabel(0, 80, info ? info->getBuildDate() : "");
  createLabel(0, 160, "RTAS version for Pro Tools");
}

void AboutDialog::backgroundClick(void*) { editor->closeDialog(this); }
