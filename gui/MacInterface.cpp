#include "gui/MacInterface.h"

#include "gui/MacCompatibleBitmap.h"
#include "gui/MacControl.h"
#include "gui/MacFileDialogs.h"
#include "gui/MacPopupMenu.h"
#include "gui/MacTimer.h"
#include "gui/Text.h"

namespace gui {

namespace {

// Until the font back end lands: a text that measures its characters as
// boxes of 0.6 x its size and draws nothing.
class PlainText : public Text {
public:
  Bitmap* getBitmap() override {
    bitmap.resize(getWidth(), getHeight());
    bitmap.fillRect(bitmap.getBounds(), Color(0, 0, 0, 0));
    return &bitmap;
  }
  int getHeight() override { return size.get() * 5 / 4; }
  int getWidth() override { return static_cast<int>(text.get().size()) * size.get() * 3 / 5; }

private:
  MacCompatibleBitmap bitmap;
};

} // namespace

MacInterface::MacInterface(platform::WindowId window, platform::ViewId parent, const Rect& bounds)
    : root(new MacControl(this, window, parent, bounds)) {}

MacInterface::~MacInterface() {
  // The root is the first component and goes first; nothing may reach it
  // through this interface afterwards.
  root = nullptr;
}

void MacInterface::captureMouse(Control* control) {
  if (root) root->captureMouse(control);
}

Bitmap* MacInterface::createBitmap() { return new MacCompatibleBitmap; }

PopupMenu* MacInterface::createPopupMenu() { return new MacPopupMenu(root); }

SaveDialog* MacInterface::createSaveDialog() { return new MacSaveDialog; }

SelectFolderDialog* MacInterface::createSelectFolderDialog() { return new MacSelectFolderDialog; }

Text* MacInterface::createText() { return new PlainText; }

Timer* MacInterface::createTimer() { return new MacTimer(this); }

Control* MacInterface::getWindow() { return root; }

void MacInterface::showMessage(const std::string& text) { platform::WindowServer::current().alert(text); }

platform::ViewId MacInterface::getControlRef() const { return root ? root->getView() : 0; }

void MacInterface::drawCurrentPort(Rect* clip) {
  if (root) root->drawToWindow(clip);
}

} // namespace gui
