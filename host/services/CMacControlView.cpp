#include "host/services/CMacControlView.h"

#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "platform/Alerts.h"

#include <string>

namespace {

int16_t ItemResourceID(const SItemDescriptor* item) {
  PlugInAssert(item->data[0] >= 2);
  return static_cast<int16_t>(item->data[1] << 8 | item->data[2]);
}

} // namespace

CMacControlView::~CMacControlView() = default;

void CMacControlView::InitFromItem(SItemDescriptor* item) {
  CCustomView::InitFromItem(item);
  fTitle.assign(reinterpret_cast<const char*>(item->data + 1), item->data[0]);
  fMinimum = 0;
  fMaximum = 1;
  fValue = 0;
}

void CMacControlView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  SCustomParseElem* e = TakeGroup(parser);
  PlugInAssert(e && e->kind == kElemString);
  const unsigned char* title = ElemString(e);
  fTitle.assign(reinterpret_cast<const char*>(title + 1), title[0]);
  int16_t* numbers[3] = {&fMinimum, &fMaximum, &fValue};
  for (int16_t* n : numbers) {
    e = e->next;
    *n = ShortNumber(e);
  }
  PlugInAssert(e->next == nullptr);
}

void CMacControlView::SetViewPort(GrafPtr port) {
  CCustomView::SetViewPort(port);
  if (port) {
    // A control that cannot be made (a missing or damaged resource) is left
    // out of the window: the host hears why, nothing else stops.
    try {
      fControl = CreateControl();
      PlugInAssertPointer(fControl.get());
      fNeedsShow = true;
    } catch (const CDAEError& e) {
      fControl.reset();
      if (!fReportedFailure) {
        fReportedFailure = true;
        auto* resource = dynamic_cast<CResControlView*>(this);
        const std::string name = resource ? "from resource " + std::to_string(resource->GetResourceID())
                                          : "\"" + fTitle + "\"";
        platform::showAlert("The control " + name + " could not be made (error " + std::to_string(e.GetErrorCode()) +
                            "); it is left out.");
      }
    }
  } else {
    fControl.reset();
  }
}

int16_t CMacControlView::GetProcID() {
  PlugInAssert(false);
  return 0;
}

std::unique_ptr<platform::PortControl> CMacControlView::CreateControl() {
  return platform::PortControl::create(fPort, fRect, fTitle, false, fValue, fMinimum, fMaximum, GetProcID(), this);
}

void CMacControlView::DrawContents(Rect*) {
  if (!fControl) return;
  if (fNeedsShow) {
    fNeedsShow = false;
    // A control made visible (from its resource) is drawn all the same.
    if (fControl->isVisible())
      fControl->draw();
    else
      fControl->show();
  } else {
    fControl->draw();
  }
}

void CMacControlView::Click(EventRecord* event) {
  if (fControl) fLastPart = fControl->track(event->where);
}

void CMacControlView::Offset(int16_t dh, int16_t dv) {
  CCustomView::Offset(dh, dv);
  if (fControl) fControl->moveTo(fRect.left, fRect.top);
}

void CResControlView::InitFromItem(SItemDescriptor* item) {
  CCustomView::InitFromItem(item);
  fResourceID = ItemResourceID(item);
  fTitle.clear();
}

std::unique_ptr<platform::PortControl> CResControlView::CreateControl() {
  PlugInAssert(fResourceID != -1);
  std::unique_ptr<platform::PortControl> control;
  {
    CResourceFileScope resources;
    control = platform::PortControl::fromResource(fResourceID, fPort, this);
  }
  PlugInAssertPointer(control.get());
  control->moveTo(fRect.left, fRect.top);
  fRect = control->bounds();
  return control;
}

CPlugInView* CreateCButtonView() { return new CButtonView; }
CPlugInView* CreateCCheckBoxView() { return new CCheckBoxView; }
CPlugInView* CreateCRadioButtonView() { return new CRadioButtonView; }
