#pragma once

// Views that wrap a platform control (platform/ControlManager.h): a push
// button, a check box, a radio button, or a control described by a control
// resource. The control exists while the view has a port; it is shown the
// first time the view draws and tracks the mouse on a click.

#include "host/services/CCustomView.h"
#include "platform/ControlManager.h"

#include <memory>
#include <string>

class CMacControlView : public CCustomView {
public:
  CMacControlView() = default;
  ~CMacControlView() override;

  void InitFromItem(SItemDescriptor* item) override;
  void InitFromItemParse(SCustomParser* parser) override;
  void SetViewPort(GrafPtr port) override;
  void DrawContents(Rect* area) override;
  void Click(EventRecord* event) override;
  void Offset(int16_t dh, int16_t dv) override;

  // The kind of control; -7400 here.
  virtual int16_t GetProcID();
  virtual std::unique_ptr<platform::PortControl> CreateControl();

  platform::PortControl* GetControl() const { return fControl.get(); }
  const std::string& GetTitle() const { return fTitle; }
  int16_t GetLastPart() const { return fLastPart; }

protected:
  std::unique_ptr<platform::PortControl> fControl;
  std::string fTitle;
  int16_t fMinimum = 0, fMaximum = 1, fValue = 0;
  bool fNeedsShow = false;
  bool fReportedFailure = false;
  int16_t fLastPart = 0;
};

class CButtonView : public CMacControlView {
public:
  int16_t GetProcID() override { return platform::PortControl::kPushButton; }
};

class CCheckBoxView : public CMacControlView {
public:
  int16_t GetProcID() override { return platform::PortControl::kCheckBox; }
};

class CRadioButtonView : public CMacControlView {
public:
  int16_t GetProcID() override { return platform::PortControl::kRadioButton; }
};

// A control from the plug-in's control resources; the view takes the
// control's bounds, moved to the view's top-left.
class CResControlView : public CMacControlView {
public:
  void InitFromItem(SItemDescriptor* item) override;
  std::unique_ptr<platform::PortControl> CreateControl() override;
  void SetResourceID(int16_t id) { fResourceID = id; }
  int16_t GetResourceID() const { return fResourceID; }

private:
  int16_t fResourceID = -1;
};

CPlugInView* CreateCButtonView();
CPlugInView* CreateCCheckBoxView();
CPlugInView* CreateCRadioButtonView();
