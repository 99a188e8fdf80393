#include "host/services/MinimalGUI.h"

#include "host/CEffectProcess.h"
#include "host/CPluginControl.h"
#include "host/PlugInGlobals.h"
#include "host/services/CControlView.h"
#include "host/services/MinimalGUIViews.h"

#include <memory>
#include <string>

namespace {

// A four-character code as its characters in text order.
std::string Code(unsigned long code) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return s;
}

} // namespace

CNoResourceView* CreateMinimalGUI(const CProcess* process, const unsigned long* meterIds,
                                  const unsigned long* clipIds) {
  PlugInAssertPointer(process);
  RegisterMinimalGUIViews();
  const auto* effect = dynamic_cast<const CEffectProcess*>(process);
  const int32_t n = process->GetNumControls();
  const int32_t m = effect ? effect->GetNumMeters() : 0;
  const int32_t b = effect ? static_cast<int32_t>(effect->GetMasterBypassControlIndex()) : 0;
  std::unique_ptr<CNoResourceView> view(CreateCNoResourceView());
  Rect r{0, 0, static_cast<int16_t>(20 * (n - (b != 0 ? 1 : 0) + m) + 14), 399};
  view->SetRect(&r);

  // The editors of a row find their control here, bound to the process,
  // so that the panel shows and sets the process's values.
  for (int32_t k = 1; k <= n; ++k) {
    if (k == b) continue;
    auto* control = new CProcessControlView;
    control->SetViewType(static_cast<uint32_t>(process->GetControl(k)->GetID()));
    Rect none{0, 0, 0, 0};
    control->SetRect(&none);
    view->AddSubView(control, false);
    control->Initialize();
    control->SetControl(const_cast<CProcess*>(process), k);
  }

  long v = 10;
  for (int32_t j = 0; j < m && meterIds && clipIds; ++j, v += 20) {
    view->AddView2(("!GainMeterView[('" + Code(meterIds[j]) + "')(labels)]").c_str(), 10, v, 354, 14, true);
    view->AddView2(("!ClippingView[('" + Code(clipIds[j]) + "')()]").c_str(), 375, v, 14, 14, true);
  }
  for (int32_t k = 1; k <= n; ++k) {
    if (k == b) continue;
    const CPluginControl* control = process->GetControl(k);
    unsigned char name[18] = {};
    process->GetControlNameOfLength(k, 17, name);
    const std::string id = Code(control->GetID());
    const std::string label = "!StaticCustomText[('NoID' center `" + std::string(reinterpret_cast<char*>(name + 1), name[0]) +
                              "`)(FontType 21 FontSize 12 FontFace 1 kEngraved FontColor 0 0 0)]";
    view->AddView2(label.c_str(), 10, v, 99, 14, false);
    if (control->GetControlType() == 0)
      view->AddView2(("!TextCustomPopupEditor[('NoID')('" + id + "')(FontType 3 FontSize 9 FontFace 0 Shadow 0)]").c_str(),
                     120, v, 199, 17, true);
    else
      view->AddView2(("!Slider[('NoID')('" + id + "')()]").c_str(), 120, v, 199, 14, true);
    view->AddView2(("!PictBackgroundTextEditor[('NoID')('" + id +
                    "')(TextColor 255 204 51 TextSize 11 TextFont `Helvetica` TextFace `bold`)]")
                       .c_str(),
                   330, v, 59, 17, true);
    v += 20;
  }
  return view.release();
}
