#pragma once

// A control editor in which the value is typed. While it has the focus it
// holds an edit record showing the control's value text; the control
// decides which keys are accepted. The up and down arrows step the value
// (swapped with "reverse") and stop at the first and last step. Ending the
// edit with accept hands the typed text (at most 30 characters) to the
// control; a text the control cannot read shows the value again.

#include "host/services/CControlEditor.h"
#include "platform/TextEdit.h"

#include <memory>
#include <string>

class CTextEditEditor : public CControlEditor {
public:
  static constexpr char kUpArrow = 30;
  static constexpr char kDownArrow = 31;
  static constexpr size_t kMaxTypedLength = 30;

  void InitFromItemParse(SCustomParser* parser) override;
  bool WantsFocus() override { return true; }
  void HandleKey(char key, bool* handled) override;
  void BeginEdit() override;
  void EndEdit(bool accept) override;
  void TrackClick(EventRecord* event, bool synthetic) override;
  void Idle(int32_t ticks) override;
  void DrawContents(Rect* area) override;
  void Refresh() override;

  bool IsEditing() const { return fEdit != nullptr; }
  bool IsModified() const { return fModified; }
  platform::TextEdit* GetEditRecord() const { return fEdit.get(); }
  std::string GetValueText();

protected:
  std::unique_ptr<platform::TextEdit> fEdit;
  bool fReverse = false;
  bool fModified = false;
};

CPlugInView* CreateCTextEditEditor();
