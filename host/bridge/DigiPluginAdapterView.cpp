// The editor window of DigiPluginAdapter: the host's view, the window port,
// and the editor built on the window's root control.

#include "host/bridge/DigiPluginAdapter.h"

#include "host/HostCallBoundary.h"
#include "host/bridge/DigiPluginGroup.h"
#include "host/bridge/DigiViewAdapter.h"
#include "host/bridge/PluginInstanceFactory.h"
#include "base/VersionInfo.h"
#include "gui/MacInterface.h"
#include "platform/RootControl.h"

#include <memory>
#include <string>

CPlugInView* DigiPluginAdapter::CreateCPlugInView() {
  std::unique_ptr<CNoResourceView> root;
  try {
    root.reset(CreateCNoResourceView());
    const int width = fPlugin->getInterfaceWidth(), height = fPlugin->getInterfaceHeight();
    root->SetSize(width, height);
    const std::string description =
        "!" + getPluginViewName(GenericPlugin::sVersionInfo->getShortProductName()) + "[('NoID')]";
    CPlugInView* made = root->AddView2(description.c_str(), 0, 0, width, height, false);
    // A description that did not parse made static text, no adapter view.
    auto* view = dynamic_cast<DigiViewAdapter*>(made);
    if (fHostView) fHostView->setPluginAdapter(nullptr);
    fHostView = view;
    if (view) view->setPluginAdapter(this);
  } catch (...) {
    if (fHostView && root) {
      // The view goes with the root below; it must not call back.
      fHostView->setPluginAdapter(nullptr);
      fHostView = nullptr;
    }
    return nullptr;
  }
  return root.release();
}

void DigiPluginAdapter::viewDeleted(DigiViewAdapter* view) {
  if (fHostView == view) fHostView = nullptr;
}

void DigiPluginAdapter::CloseEditor() {
  GenericPluginInterface* editor = fEditor;
  fEditor = nullptr;
  // The editor deletes its user interface.
  fUserInterface = nullptr;
  delete editor;
}

int32_t DigiPluginAdapter::SetViewPort(OpaqueGrafPtr* port) {
  CEffectProcessMIDI::SetViewPort(port);
  // A new port replaces the editor of the old one.
  CloseEditor();
  if (!port) return 0;

  platform::DrawPort* drawPort = platform::portFromOpaque(port);
  platform::useServerOf(drawPort);
  const platform::WindowId window = platform::GetWindowFromPort(drawPort);
  platform::ViewId root = 0;
  int32_t status = platform::GetRootControl(window, &root);
  if (status == platform::kNoRootControl) status = platform::CreateRootControl(window, &root);
  if (status != 0) return status;

  const int width = fPlugin->getInterfaceWidth(), height = fPlugin->getInterfaceHeight();
  auto ui = std::make_unique<gui::MacInterface>(window, root, gui::Rect(0, 0, width, height));
  gui::MacInterface* view = ui.get();
  GenericPluginInterface* editor = nullptr;
  status = CallAtHostBoundary([&]() -> int32_t {
    editor = createPluginInterfaceInstance(std::move(ui), fPlugin, this);
    return 0;
  });
  // Built or not, the user interface went with the editor.
  if (!editor) return status;
  fUserInterface = view;
  fEditor = editor;
  return 0;
}

int32_t DigiPluginAdapter::GetViewRect(SHostRect* rect) {
  *rect = SHostRect{0, 0, static_cast<int16_t>(fPlugin->getInterfaceHeight()),
                    static_cast<int16_t>(fPlugin->getInterfaceWidth())};
  return 0;
}

int32_t DigiPluginAdapter::ChooseControl(SHostPoint point, int32_t* controlIndex) {
  *controlIndex = 0;
  if (!fEditor) return 0;
  const int index = fEditor->getParameterIndexAtPos(gui::Point(point.h, point.v));
  if (index >= 0) *controlIndex = parameterIndexToControlIndex(index);
  return 0;
}

void DigiPluginAdapter::updateRect(gui::Rect area) {
  if (fUserInterface) fUserInterface->drawCurrentPort(&area);
}
