#pragma once

// Views that show text or hold views built from dialog resources.
//
// CStaticTextView draws a string (at most 255 characters) in its rectangle
// with a justification; it is also what a dialog item whose text is no view
// description becomes, showing that text. Subclasses that want the focus
// edit the text in a one-line edit record.
//
// CItemListView builds its children from an item-list resource ('DITL',
// item rectangles relative to the list view) and can scroll them under the
// control of scroll-control views named by their type codes. CDialogView
// takes its size and item list from a dialog resource ('DLOG') and paints
// its background with a pixel pattern of its own.

#include "host/services/CControlView.h"
#include "host/services/CCustomView.h"
#include "host/services/ScrapText.h"
#include "platform/TextEdit.h"

#include <memory>
#include <string>

class CStaticTextView : public CCustomView {
public:
  // Justifications, as text edit records know them.
  enum : int16_t { kJustLeft = -2, kJustRight = -1, kJustDefault = 0, kJustCenter = 1 };
  // The characters Option+V and Shift+Option+V type.
  static constexpr char kOptionV = scrap::kOptionV;
  static constexpr char kShiftOptionV = scrap::kShiftOptionV;

  CStaticTextView() = default;
  ~CStaticTextView() override;

  void InitFromItem(SItemDescriptor* item) override;
  void InitFromItemParse(SCustomParser* parser) override;
  void DrawContents(Rect* area) override;
  void GetForegroundColor(RGBColor* color) override;
  void BeginEdit() override;
  void EndEdit(bool accept) override;
  void HandleKey(char key, bool* handled) override;
  void TrackClick(EventRecord* event, bool synthetic) override;
  void Idle(int32_t ticks) override;

  virtual int16_t GetTextFont() { return 3; }
  virtual int16_t GetTextSize() { return 9; }
  virtual int16_t GetTextFace() { return 0; }
  virtual void GetEditRect(Rect* r);
  // The clipboard's text (length-prefixed, at most 255 characters, one
  // line): the window server's clipboard.
  virtual void GetScrapText(unsigned char* out);
  virtual void DrawTextContents();
  virtual void DrawTextBox(const char* text, int32_t length, Rect* box, int16_t justification);

  // Length-prefixed, room for 255 characters.
  void GetText(unsigned char* out) const;
  void SetText(const unsigned char* text);
  const std::string& GetTextString() const { return fText; }
  void SetTextString(const std::string& text);
  int16_t GetJustification() const { return fJustification; }
  void SetJustification(int16_t justification) { fJustification = justification; }
  bool IsEditing() const { return fEdit != nullptr; }
  bool IsModified() const { return fModified; }
  platform::TextEdit* GetEditRecord() const { return fEdit.get(); }

protected:
  // Reads a group of justification attributes and strings (the last one is
  // the text), both reset first.
  void ReadTextGroup(SCustomParseElem* first);

  bool fModified = false;
  std::unique_ptr<platform::TextEdit> fEdit;
  std::string fText;
  int16_t fJustification = kJustDefault;
  RGBColor fSavedFore{};
  RGBColor fSavedBack{};
};

class CItemListView : public CScrollableView {
public:
  CItemListView() = default;
  ~CItemListView() override;

  void Draw(Rect* area) override;
  void InitializeTree() override;
  void Attach() override;
  void Detach() override;
  void InitFromItemParse(SCustomParser* parser) override;
  void ScrollContents(int16_t dh, int16_t dv) override;
  void GetContentBounds(Rect* bounds) override;

  int16_t GetItemListID() const { return fItemListID; }
  void SetItemListID(int16_t id) { fItemListID = id; }
  uint32_t GetScrollerCode(int axis) const { return axis == CScrollControlView::kHorizontal ? fHScrollerType : fVScrollerType; }
  CScrollControlView* GetScroller(int axis) const {
    return axis == CScrollControlView::kHorizontal ? fHScroller : fVScroller;
  }

protected:
  // Builds the children from the item list's bytes (-7400 for an item type
  // outside the table).
  void BuildItems(const std::vector<uint8_t>& list);

  int16_t fItemListID = -1;
  uint32_t fHScrollerType = kNoType;
  uint32_t fVScrollerType = kNoType;
  CScrollControlView* fHScroller = nullptr;
  CScrollControlView* fVScroller = nullptr;
};

class CDialogView : public CItemListView {
public:
  CDialogView() = default;
  ~CDialogView() override;

  void SetViewPort(GrafPtr port) override;
  PixPatHandle GetBackgroundPattern() override;
  void InitializeTree() override;

  virtual int16_t GetDialogID() { return fDialogID; }
  virtual void SetDialogID(int16_t id) { fDialogID = id; }
  virtual int16_t GetPatternID() { return fPatternID; }
  virtual void SetPatternID(int16_t id) { fPatternID = id; }

private:
  int16_t fDialogID = 1;
  int16_t fPatternID = 1000;
  PixPatHandle fPattern = nullptr;
};

CPlugInView* CreateCStaticTextView();
CPlugInView* CreateCItemListView();
CPlugInView* CreateCDialogView();
