#pragma once

// The user interface of one host window: it makes the platform flavours of
// bitmaps, texts, timers, popup menus and file dialogs and owns the root
// control, a view of the window that paints the whole control tree into one
// offscreen bitmap. Everything platform-bound goes through the window
// server, so the same code runs headless and on a real display.

#include "base/NotifyEvent.h"
#include "gui/Geometry.h"
#include "gui/UserInterface.h"
#include "platform/WindowServer.h"

namespace gui {

class MacControl;

class MacInterface : public UserInterface {
public:
  // Fired with the root control as sender after every release the root
  // delivers.
  NotifyEvent onMouseUp;

  // The root becomes a view of `window` inside `parent` (0: the window's
  // content) at `bounds` (parent coordinates).
  MacInterface(platform::WindowId window, platform::ViewId parent, const Rect& bounds);
  ~MacInterface() override;

  void captureMouse(Control* control) override;
  Bitmap* createBitmap() override;
  PopupMenu* createPopupMenu() override;
  SaveDialog* createSaveDialog() override;
  SelectFolderDialog* createSelectFolderDialog() override;
  Text* createText() override;
  Timer* createTimer() override;
  Control* getWindow() override;
  void showMessage(const std::string& text) override;

  platform::ViewId getControlRef() const;
  MacControl* getRoot() const { return root; }
  // Paints what waits to be painted and copies the root's image to the
  // window, clipped to `clip` (root coordinates) when given.
  void drawCurrentPort(Rect* clip);

private:
  MacControl* root;
};

} // namespace gui
