#pragma once

// A group of options, one per step: the group's children in chain order,
// child i standing for step i. A click chooses the option under the mouse;
// the option of the current step is shown clicked. With "EnableHighlight"
// the group frames itself while its control is highlighted.

#include "host/services/CControlEditor.h"

class CRadioGroupControlEditor : public CControlEditor {
public:
  void InitFromItemParse(SCustomParser* parser) override;
  void DrawContents(Rect* area) override;
  void TrackClick(EventRecord* event, bool synthetic) override;
  void Refresh() override;
  Point GetCenter() override;

  // Child i, null past the last.
  CPlugInView* GetOption(int32_t index) const;
  bool IsHighlightEnabled() const { return fHighlightEnabled; }

private:
  bool fHighlightEnabled = false;
  CPlugInView* fMarked = nullptr;
};

CPlugInView* CreateCRadioGroupControlEditor();
