#pragma once

// A pop-up menu of a control's value texts: the editor shows the text of the
// current value; a click pops up menu 1000 with the text of every step, the
// current one under the mouse, and choosing an item sets that step. While
// the menu is up, the overlay keeps the other views from painting over it,
// and they are redrawn when it goes, however the menu ends. A menu taller
// than the desktop is cut and scrolls (see popupmenu::ScrollingMenu).

#include "host/services/CControlEditor.h"
#include "host/services/PopupMenuSupport.h"

#include <string>
#include <vector>

class CTextPopupControlEditor : public CControlEditor, public popupmenu::ScrollingMenu {
public:
  static constexpr int16_t kMenuID = 1000;

  void DrawContents(Rect* area) override;
  void TrackClick(EventRecord* event, bool synthetic) override;
  void Refresh() override;

  // The texts of all steps, the first step first.
  std::vector<std::string> GetItemTexts();
  std::string GetValueText(int32_t value);
  // Alignment of the shown text: 1 right, 2 left, otherwise centred.
  void SetAlignment(int16_t alignment) { fAlignment = alignment; }
  void SetTextStyle(int16_t font, int16_t size, int16_t face) {
    fFont = font;
    fSize = size;
    fFace = face;
  }
  int16_t GetTextFont() const { return fFont; }
  int16_t GetTextSize() const { return fSize; }

private:
  // The menu's look: items as high as a line plus 4, as wide as the widest
  // text in bold plus 14; the current item under the click, inside the
  // desktop inset by 5. Items are drawn black on the menu's colour in the
  // editor's font, plain, shortened to fit, the current one a pixel bolder;
  // the highlighted one white on the highlight colour. While the menu
  // tracks, the control idles.
  void size(platform::CustomMenu& menu) override;
  Rect place(const platform::CustomMenu& menu, Point click, int16_t item) override;
  void DrawMenuItem(platform::CustomMenu& menu, platform::DrawPort& port, int16_t item, const Rect& r,
                    bool highlighted) override;
  void Tracked(platform::CustomMenu& menu, Point mouse) override;
  uint32_t ScrollPause() const override { return 10; }
  // The value text of step, shortened until it fits width.
  std::string FittedText(platform::DrawPort& port, int32_t step, int width);

  int16_t fFont = 3;
  int16_t fSize = 9;
  int16_t fFace = 0;
  int16_t fAlignment = 0;
  std::string fShown;
};

CPlugInView* CreateCTextPopupControlEditor();
