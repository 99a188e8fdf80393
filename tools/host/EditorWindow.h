#pragma once

// The simulated host's window for an instance's editor. Opening it asks the
// plug-in for its host-drawn view (the process's CreateView) and its size,
// makes a window of that size on the window server, hands the view and the
// plug-in the window's port, and from then on draws the view over every
// area an update of the window repaints, before the window's controls (the
// plug-in's root control among them) paint theirs; both land in the
// window's one framebuffer. The editor sits at (0, 0) of the window. Mouse
// events of the window reach the plug-in's root control through the
// window's handler chain. Closing hands the plug-in a null port, then
// deletes the view and the window. Main thread only.

#include "platform/WindowServer.h"
#include "tools/host/SimHost.h"

#include <cstdint>
#include <string>

class CPlugInView;

namespace simhost {

class EditorWindow {
public:
  // Opens the editor of in at `at` (global coordinates) on the server, in a
  // window with that title.
  // Throws HostError when the plug-in has no view or refuses the port.
  EditorWindow(SimHost& host, Instance& in, platform::WindowServer& server, platform::ScreenPoint at = {0, 0},
               const std::string& title = "editor");
  // Closes the editor.
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  platform::WindowId window() const { return mWindow; }
  platform::DrawPort* port() const { return mPort; }
  CPlugInView* view() const { return mView; }
  int width() const { return mWidth; }
  int height() const { return mHeight; }
  // The window's content in global coordinates.
  platform::ScreenRect content() const;

  // Invalidates the whole editor and repaints every invalid area now.
  void redraw();
  // Repaints what is invalid now.
  void update();
  // The host control under a window point (0: none).
  int32_t chooseControl(int h, int v);
  // Hands the plug-in its port again (as a host does when a window moves
  // to another screen); the status of the call.
  int32_t reopen();

private:
  void close();

  SimHost& mHost;
  Instance& mInstance;
  platform::WindowServer& mServer;
  platform::WindowId mWindow = 0;
  platform::DrawPort* mPort = nullptr;
  CPlugInView* mView = nullptr;
  int mWidth = 0, mHeight = 0;
};

} // namespace simhost
