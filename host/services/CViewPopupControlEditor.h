#pragma once

// A pop-up whose content is a dialog of views: the description names a
// dialog resource and up to four type codes of views in it. A click pops up
// menu 1000 showing the dialog (in the library's foreground colour) near
// the click and inside the screen; the views in it hear the press as a
// synthetic mouse-down, so they react without tracking it themselves, and
// choosing an item sets that step. The overlay keeps other views off the
// menu while it is up and goes however the menu ends.

#include "host/services/CControlEditor.h"
#include "host/services/CStaticTextView.h"
#include "platform/MenuManager.h"

#include <memory>
#include <string>
#include <vector>

class CViewPopupControlEditor : public CControlEditor, private platform::MenuDefinition {
public:
  static constexpr int16_t kMenuID = 1000;
  static constexpr int kMaxViews = 4;

  void InitFromItemParse(SCustomParser* parser) override;
  void InitializeTree() override;
  void TrackClick(EventRecord* event, bool synthetic) override;

  int16_t GetDialogID() const { return fDialogID; }
  CDialogView* GetDialogView() const { return fDialog.get(); }
  // The view found for the i-th type code; null when there is none.
  CPlugInView* GetView(int i) const { return i >= 0 && i < kMaxViews ? fViews[i] : nullptr; }
  std::vector<std::string> GetItemTexts();

private:
  // As large as the dialog, centred on the click, inside the screen that
  // holds the click inset by 5.
  void size(platform::CustomMenu& menu) override;
  Rect place(const platform::CustomMenu& menu, Point click, int16_t item) override;
  void ShowDialog(const Rect& where, Point mouse);

  int16_t fFont = 3;
  int16_t fSize = 9;
  int16_t fDialogID = 0;
  int fTypeCount = 0;
  uint32_t fTypes[kMaxViews] = {};
  CPlugInView* fViews[kMaxViews] = {};
  std::unique_ptr<CDialogView> fDialog;
};

CPlugInView* CreateCViewPopupControlEditor();
