#pragma once

// The root class of the views the host's plug-in window draws: a tree of
// rectangles in the coordinates of the window's port. A view owns its
// children (deleted first to last by its destructor), has fore and back
// colours and a four-character type code, and supplies what an editor needs
// without knowing what a view shows: hit testing, mouse tracking and
// dragging, keyboard focus with Tab and Shift-Tab, drawing clipped to every
// ancestor, moving with invalidation, and an overlay that keeps views from
// painting over a floating window and redraws them when it goes away.
//
// Drawing happens between BeginDraw and EndDraw, which push and pop up to
// four saved drawing states (port, origin, clip). Every pair in this class
// pops on every path, also when drawing throws. Views clipped by the overlay
// are remembered in a list of at most 128 entries; a view leaves that list
// when it is deleted.
//
// Errors are CDAEError: -7053 for a missing object or port, -7400 for a
// broken internal rule (a full or empty state stack, a full redraw list).
// Main thread only.

#include "host/services/HostViewTypes.h"

#include <cstdint>
#include <memory>

class CPlugInView {
public:
  CPlugInView();
  virtual ~CPlugInView();
  CPlugInView(const CPlugInView&) = delete;
  CPlugInView& operator=(const CPlugInView&) = delete;

  virtual void Initialize();
  virtual void InitFromItem(SItemDescriptor* item);
  virtual void AddSubView(CPlugInView* view, bool nest);
  virtual void AddSibling(CPlugInView* view);
  virtual void SetParent(CPlugInView* parent);
  virtual CPlugInView* FindSubViewAt(Point where);
  virtual void SubViewDragged(CPlugInView* view);
  virtual void Deactivate();
  virtual void Activate();
  virtual void SetViewPort(GrafPtr port);
  virtual Rect GetBounds();
  virtual void HandleKey(char key, bool* handled);
  virtual void EndEdit(bool accept);
  virtual void BeginEdit();
  virtual bool WantsFocus();
  virtual void HandleKeyEvent(EventRecord* event, bool* handled);
  virtual void HandleMouseDown(EventRecord* event);
  virtual void TrackClick(EventRecord* event, bool synthetic);
  virtual void DragSubView(EventRecord* event, CPlugInView* view);
  virtual void Draw(Rect* area);
  virtual void Update(Rect* area);
  virtual void Idle(int32_t ticks);
  virtual void SetClicked(bool clicked);
  virtual void SetEnabled(bool enabled);
  virtual bool IsEnabled();
  virtual void Offset(int16_t dh, int16_t dv);
  virtual void GetForegroundColor(RGBColor* color);
  virtual void GetBackgroundColor(RGBColor* color);
  virtual void SetForegroundColor(RGBColor* color);
  virtual void SetBackgroundColor(RGBColor* color);
  virtual PixPatHandle GetBackgroundPattern();
  virtual void ApplyBackground();
  virtual void RestoreBackground();
  virtual void GetControlIndex(int32_t* index);
  virtual bool HasControl();
  virtual bool IsHighlighted();
  virtual void GetHighlightInfo(int16_t* color, int16_t* other, char* text);
  // The pixel pattern resource id of the plug-in's resources, or null; the
  // caller deletes it.
  virtual PixPatHandle GetPixPat(int16_t id);
  virtual void InitializeTree();
  virtual void Attach();
  virtual void Detach();
  virtual void DrawBackground(Rect* area);
  virtual void DrawContents(Rect* area);
  virtual void Click(EventRecord* event);

  void GetRect(Rect* r) const { *r = fRect; }
  void SetRect(Rect* r) { fRect = *r; }
  void SetLimitRect(Rect* r) { fLimitRect = *r; }
  CPlugInView* GetParent() const { return fParent; }
  CPlugInView* GetFirstChild() const { return fFirstChild; }
  CPlugInView* GetNextSibling() const { return fNextSibling; }
  GrafPtr GetPort() const { return fPort; }
  uint32_t GetViewType() const { return fViewType; }
  void SetViewType(uint32_t type) { fViewType = type; }
  bool GetClicked() const { return fClicked; }
  void SetDraggable(bool draggable) { fDraggable = draggable; }
  bool IsDragging() const { return fDragging; }
  bool IsActive() const { return fActive; }
  CPlugInView* GetFocus() const { return fFocus; }
  void RemoveSubView(CPlugInView* view);
  CPlugInView* FindViewByType(uint32_t type);
  void GetVisibleRect(Rect* r);
  void BeginDraw(Rect* clip);
  void EndDraw();
  int16_t GetDrawDepth() const { return fDrawDepth; }
  void Invalidate();
  void MoveTo(int16_t h, int16_t v);
  void MoveBy(int16_t dh, int16_t dv);
  void ScrollBy(int16_t dh, int16_t dv);
  static int16_t UseResourceFile();
  static void RestoreResourceFile(int16_t previous);

  // While port is set, views of other ports leave rect (global
  // coordinates) alone; setting it to null redraws what they left.
  static void SetOverlay(GrafPtr port, Rect* rect);
  // Entries in the deferred-redraw list.
  static int GetDeferredCount();
  static constexpr int kMaxDrawDepth = 4;
  static constexpr int kMaxDeferred = 128;
  static constexpr uint32_t kNoType = fourCharCode("NONE");

protected:
  // Lets the host run while a tracking loop waits for the mouse.
  static void IdleWhileTracking();
  // The mouse in port coordinates and the button.
  Point GetMouse() const;
  static bool StillDown();
  CPlugInView* GetRoot();

  RGBColor fForeColor;
  RGBColor fBackColor;
  GrafPtr fPort = nullptr;
  CPlugInView* fParent = nullptr;
  CPlugInView* fFocus = nullptr;
  bool fActive = false;
  int16_t fPortOriginTop = 0;
  int16_t fPortOriginLeft = 0;
  Rect fRect;
  Rect fLimitRect{-32000, -32000, 32000, 32000};
  bool fEnabled = false;
  bool fClicked = false;
  bool fDraggable = false;
  bool fDragging = false;
  uint32_t fViewType = kNoType;
  CPlugInView* fFirstChild = nullptr;
  CPlugInView* fNextSibling = nullptr;

private:
  struct SavedState {
    GrafPtr port = nullptr;
    int16_t originTop = 0;
    int16_t originLeft = 0;
    // Kept from one draw to the next: saving a port's clip reuses its room.
    platform::Region clip;
  };
  SavedState fDrawStates[kMaxDrawDepth];
  int16_t fDrawDepth = 0;
};

// EndDraw when the scope ends, however it ends.
class CDrawScope {
public:
  CDrawScope(CPlugInView* view, Rect* clip) : fView(view) { view->BeginDraw(clip); }
  ~CDrawScope() { fView->EndDraw(); }
  CDrawScope(const CDrawScope&) = delete;
  CDrawScope& operator=(const CDrawScope&) = delete;

private:
  CPlugInView* fView;
};

// The plug-in's resource file current for as long as it lives.
class CResourceFileScope {
public:
  CResourceFileScope() : fPrevious(CPlugInView::UseResourceFile()) {}
  ~CResourceFileScope() { CPlugInView::RestoreResourceFile(fPrevious); }
  CResourceFileScope(const CResourceFileScope&) = delete;
  CResourceFileScope& operator=(const CResourceFileScope&) = delete;

private:
  int16_t fPrevious;
};
