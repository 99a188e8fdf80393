#pragma once

// A pop-up whose content is a dialog of views: the description names a
// dialog resource and up to four type codes of views in it. A click pops up
// menu 1000 showing the dialog (in the library's foreground colour) near
// the click and inside the screen (cut and scrolling where it does not
// fit); the views in it hear the press, and every point the mouse moves to
// while the menu tracks, as a synthetic mouse-down, so they react without
// tracking it themselves. The found views stand for the steps in order
// (without type codes the dialog's rows of equal height do); choosing an
// item sets that step. The overlay keeps other views off the
// menu while it is up and goes however the menu ends.

#include "host/services/CControlEditor.h"
#include "host/services/CStaticTextView.h"
#include "host/services/PopupMenuSupport.h"

#include <memory>
#include <string>
#include <vector>

class CViewPopupControlEditor : public CControlEditor, public popupmenu::ScrollingMenu {
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
  void highlightItem(platform::CustomMenu& menu, int16_t previous, int16_t item) override;
  void DrawMenuContent(platform::CustomMenu& menu, platform::DrawPort& port) override;
  void DrawMenuItem(platform::CustomMenu&, platform::DrawPort&, int16_t, const Rect&, bool) override {}
  int16_t ItemAt(const platform::CustomMenu& menu, Point mouse) override;
  void Tracked(platform::CustomMenu& menu, Point mouse) override;
  uint32_t ScrollPause() const override { return 4; }
  // The dialog hears a press at mouse (global) and is drawn again.
  void PressDialog(platform::CustomMenu& menu, Point mouse);

  Point fLastMouse{};

  int16_t fFont = 3;
  int16_t fSize = 9;
  int16_t fDialogID = 0;
  int fTypeCount = 0;
  uint32_t fTypes[kMaxViews] = {};
  CPlugInView* fViews[kMaxViews] = {};
  std::unique_ptr<CDialogView> fDialog;
};

CPlugInView* CreateCViewPopupControlEditor();
