#pragma once
// What the control editors that pop up a menu (the text pop-up and the view
// pop-up) share: the menu definition that places, draws, tracks and scrolls
// their menu, and the guard that takes the overlay down however the menu
// ends.
//
// The menu stands with the current item under the click. When it fits the
// area it must stay in, it is moved inside; when it does not, it is cut at
// the area's edges, and 12-pixel strips with a black triangle mark each cut
// side (the items under a strip cannot be chosen). While the mouse rests on
// a strip the menu scrolls toward that side, up to 16 pixels a step with a
// pause after each, until the side's end shows and the strip goes.

#include "host/services/CPlugInView.h"
#include "platform/DrawPort.h"
#include "platform/MenuManager.h"

namespace popupmenu {

class ScrollingMenu : public platform::MenuDefinition {
public:
  static constexpr int kArrowStrip = 12;
  static constexpr int kArrowHeight = 6;
  static constexpr int kScrollStep = 16;
  // The cut sides.
  enum : int16_t { kArrowBottom = 1, kArrowTop = 2, kArrowRight = 4, kArrowLeft = 8 };
  static constexpr RGBColor kMenuBack{0xF5F5, 0xF7F7, 0xFBFB};

  bool drawsMenu() override { return true; }
  void drawMenu(platform::CustomMenu& menu) override;
  int16_t findItem(platform::CustomMenu& menu, Point mouse) override;
  void highlightItem(platform::CustomMenu& menu, int16_t previous, int16_t item) override;

  // Where the whole menu stands (it moves as it scrolls), the part shown,
  // and the cut sides.
  const Rect& GetMenuContent() const { return fContent; }
  const Rect& GetMenuFrame() const { return fFrame; }
  int16_t GetMenuArrows() const { return fArrows; }
  int16_t GetHighlightedItem() const { return fHighlighted; }

protected:
  // Places the menu (menu.width x menu.height) with its top-left at
  // topLeft, moved inside area when it fits, else cut; the current item is
  // remembered. Returns the part shown.
  Rect PlaceMenu(const platform::CustomMenu& menu, Point topLeft, const Rect& area, int16_t current);
  // The shown part without the arrow strips.
  Rect InnerFrame() const;
  // The items as rows of equal height from the content's top.
  virtual Rect ItemRect(const platform::CustomMenu& menu, int16_t item) const;
  virtual int16_t ItemAt(const platform::CustomMenu& menu, Point mouse);
  // Draws what the menu shows, clipped to the inner frame: every item by
  // default.
  virtual void DrawMenuContent(platform::CustomMenu& menu, platform::DrawPort& port);
  virtual void DrawMenuItem(platform::CustomMenu& menu, platform::DrawPort& port, int16_t item, const Rect& r,
                            bool highlighted) = 0;
  // Called at every tracked point off the strips.
  virtual void Tracked(platform::CustomMenu&, Point) {}
  // The pause after a scroll step, in ticks.
  virtual uint32_t ScrollPause() const = 0;

  Rect fContent{};
  Rect fFrame{};
  int16_t fArrows = 0;
  int16_t fCurrent = 0;
  int16_t fHighlighted = 0;

private:
  void DrawArrows(platform::DrawPort& port);
  // One step toward the cut side under mouse; false when it is on none.
  bool ScrollToward(Point mouse);
  void ComputeArrows();
};

// A menu numbers its items in 16 bits: a control with more steps than that
// (a continuous one has up to 2^31) offers its first 32767 in a pop-up,
// rather than building billions of items.
constexpr int32_t kMaxItems = 32767;
// The item of a step, 0 (none) for a step past the menu's items.
constexpr int16_t ItemOfStep(int32_t step) {
  return step >= 0 && step < kMaxItems ? static_cast<int16_t>(step + 1) : 0;
}

// Clears the overlay when the menu is gone, redrawing what it covered.
struct OverlayScope {
  bool set = false;
  OverlayScope() = default;
  OverlayScope(const OverlayScope&) = delete;
  OverlayScope& operator=(const OverlayScope&) = delete;
  ~OverlayScope() {
    if (!set) return;
    try {
      CPlugInView::SetOverlay(nullptr, nullptr);
    } catch (...) {
      // A view that cannot redraw now is drawn on the next update.
    }
  }
  // Keeps the views of port off the menu's rectangle (global) grown by 1
  // left and top and 2 right and bottom; the menu's own port draws on.
  void Cover(GrafPtr port, platform::DrawPort* menuPort, const Rect& where);
};

} // namespace popupmenu
