#include "gui/MacInterface.h"

#include "gui/MacBitmap.h"
#include "gui/MacControl.h"
#include "gui/MacFileDialogs.h"
#include "gui/MacPopupMenu.h"
#include "gui/MacTimer.h"
#include "platform/DrawPort.h"
#include "gui/MacText.h"

namespace gui {

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

Bitmap* MacInterface::createBitmap() { return new MacBitmap; }

PopupMenu* MacInterface::createPopupMenu() { return new MacPopupMenu(root); }

SaveDialog* MacInterface::createSaveDialog() { return new MacSaveDialog; }

SelectFolderDialog* MacInterface::createSelectFolderDialog() { return new MacSelectFolderDialog; }

Text* MacInterface::createText() { return new MacText; }

Timer* MacInterface::createTimer() { return new MacTimer(this); }

Control* MacInterface::getWindow() { return root; }

void MacInterface::showMessage(const std::string& text) { platform::WindowServer::current().alert(text); }

platform::ViewId MacInterface::getControlRef() const { return root ? root->getView() : 0; }

void MacInterface::drawCurrentPort(Rect* clip) {
  if (!root) return;
  // Inside the host's drawing of the window the bitmap goes into the
  // window's port, under the host's clip; elsewhere the window updates.
  platform::DrawPort* port = platform::currentPort();
  if (port && port->window() == root->getWindowId() && &port->server() == &root->getServer())
    root->drawBitmapToPort(*port, clip);
  else
    root->drawToWindow(clip);
}

} // namespace gui
