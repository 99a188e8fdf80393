#include "tools/host/EditorWindow.h"

#include "host/services/CPlugInView.h"
#include "platform/DrawPort.h"
#include "platform/RootControl.h"

namespace simhost {

EditorWindow::EditorWindow(SimHost& host, Instance& in, platform::WindowServer& server, platform::ScreenPoint at,
                           const std::string& title)
    : mHost(host), mInstance(in), mServer(server) {
  SHostRect rect{};
  int32_t status = host.callWith(kProcess_GetViewRect, in.process(), &rect);
  if (status != 0) throw HostError("the plug-in's view size", status);
  mWidth = rect.right - rect.left;
  mHeight = rect.bottom - rect.top;
  uintptr_t view = 0;
  status = host.callWith(kProcess_CreateView, in.process(), &view);
  if (status == 0 && view == 0) throw HostError("the plug-in has no editor", kPlugInErr_Unexpected);
  if (status != 0 || view == 0)
    throw HostError("the plug-in's view", status != 0 ? status : kPlugInErr_Unexpected, host.failureWords(status));
  mView = reinterpret_cast<CPlugInView*>(view);
  mWindow = server.createWindow({at.x, at.y, at.x + mWidth, at.y + mHeight}, false, title);
  mPort = server.windowPort(mWindow);
  if (!mPort) {
    delete mView;
    server.destroyWindow(mWindow);
    throw HostError("a window port", kPlugInErr_PortMissing);
  }
  // The views are the host's: they get the port first, then the plug-in.
  mView->SetViewPort(mPort);
  server.setUpdateHandler(mWindow, [this](const platform::ScreenRect& area) {
    Rect r{static_cast<int16_t>(area.top), static_cast<int16_t>(area.left), static_cast<int16_t>(area.bottom),
           static_cast<int16_t>(area.right)};
    mView->Update(&r);
  });
  status = host.callWith(kProcess_SetViewPort, in.process(), platform::opaqueFromPort(mPort));
  if (status != 0) {
    const std::string words = host.failureWords(status);
    close();
    throw HostError("the editor could not be opened", status, words);
  }
}

EditorWindow::~EditorWindow() { close(); }

void EditorWindow::close() {
  if (!mView) return;
  mHost.callWith(kProcess_SetViewPort, mInstance.process(), uintptr_t{0});
  mServer.setUpdateHandler(mWindow, nullptr);
  mView->SetViewPort(nullptr);
  delete mView;
  mView = nullptr;
  mServer.destroyWindow(mWindow);
}

platform::ScreenRect EditorWindow::content() const { return mServer.contentArea(mWindow); }

void EditorWindow::redraw() {
  mServer.invalidateWindow(mWindow, {0, 0, mWidth, mHeight});
  update();
}

void EditorWindow::update() { mServer.updateWindow(mWindow); }

int32_t EditorWindow::chooseControl(int h, int v) {
  int32_t control = 0;
  const int32_t status = mHost.callWith(kProcess_ChooseControl, mInstance.process(), h, v, &control);
  if (status != 0) throw HostError("ChooseControl", status);
  return control;
}

int32_t EditorWindow::reopen() {
  return mHost.callWith(kProcess_SetViewPort, mInstance.process(), platform::opaqueFromPort(mPort));
}

} // namespace simhost
