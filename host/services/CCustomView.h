#pragma once

// The view the editor window's views are built from: a host-drawn view that
// reads its own part of a view description (a parsed dialog-item text) and
// can draw itself as a plate, a bevelled, coloured panel with optional
// ridge marks, in one of seven colour states.
//
// A view description parses into a list of elements: the marker '!', a view
// keyword, then one list of groups, each group a list of elements. A view
// reads its groups in turn from the parser's reading position: this class
// the first (the type code and the plate look), each subclass the next.
// Words are looked up in one keyword list shared by the library: view
// keywords name creators, the others attribute and function codes; the
// list is built on first use and emptied when the plug-in is unloaded, so
// a later load builds it again. A parse keeps every element and string in
// a pool of 1024 bytes; elements link by distances within it, so they are
// 12 bytes each on any machine. Strings hold at most 255 characters.

#include "host/services/CPlugInView.h"

#include <cstdint>

struct SCustomParseElem;

#pragma pack(push, 2)
// A link between two elements of one parse: the distance in bytes from the
// link to the element, 0 for none. Elements live in the parser's pool, so
// the distance always fits and an element stays 12 bytes on any machine.
// A link reads and writes like a pointer; it must not be copied elsewhere.
class SElemLink {
public:
  SElemLink() = default;
  SElemLink(const SElemLink&) = delete;
  SElemLink& operator=(const SElemLink&) = delete;
  SElemLink& operator=(SCustomParseElem* target) {
    fOffset = target ? static_cast<int32_t>(reinterpret_cast<const char*>(target) - reinterpret_cast<const char*>(this))
                     : 0;
    return *this;
  }
  operator SCustomParseElem*() const {
    return fOffset ? reinterpret_cast<SCustomParseElem*>(const_cast<char*>(reinterpret_cast<const char*>(this)) +
                                                         fOffset)
                   : nullptr;
  }
  SCustomParseElem* operator->() const { return *this; }

private:
  int32_t fOffset = 0;
};

// One element of a parsed view description (12 bytes). value holds a
// number, a character, a code, a keyword's code or creator number; for a
// string or a list the distance from the element to the length-prefixed
// string or to the list's first element.
struct SCustomParseElem {
  SElemLink next;
  int16_t kind = 0;
  int16_t reserved = 0;
  int32_t value = 0;
};
#pragma pack(pop)
static_assert(sizeof(SCustomParseElem) == 12);

enum ECustomElemKind : int16_t {
  kElemMarker = 0,    // '!'
  kElemChar = 1,      // one character in single quotes
  kElemCode = 2,      // four characters in single quotes, big-endian
  kElemAttribute = 3, // an attribute keyword: its code
  kElemView = 4,      // a view keyword: its creator's number (CCustomView::GetViewCreator)
  kElemFunction = 5,  // a function keyword: its code
  kElemString = 6,    // a length-prefixed string
  kElemNumber = 7,    // a signed 32-bit number
  kElemList = 8,      // a list: its first element
};

// Attribute keyword codes.
enum ECustomAttribute : int32_t {
  kAttrLeft = 0, kAttrRight = 1, kAttrTop = 2, kAttrBottom = 3, kAttrCenter = 4, kAttrDefault = 5,
  kAttrReverse = 6, kAttrCyclical = 7, kAttrPlate = 8, kAttrNormal = 9, kAttrClicked = 10, kAttrDisabled = 11,
  kAttrInversePlate = 12, kAttrEditable = 13, kAttrHorizontal = 14, kAttrVertical = 15, kAttrRound = 16,
  kAttrSquare = 17, kAttrFrame = 18, kAttrGreen = 19, kAttrDarkGreen = 20, kAttrRed = 21, kAttrDarkRed = 22,
  kAttrBlue = 23, kAttrDarkBlue = 24, kAttrAmber = 25, kAttrDarkAmber = 26, kAttrASCII = 27,
};

// Function keyword codes.
enum ECustomFunction : int32_t { kFuncGetList = 0, kFuncGetString = 1, kFuncShortVersion = 2, kFuncLongVersion = 3 };

// The state of one parse: the item, the element list (also where
// InitFromItemParse reads), the closing character expected at the current
// nesting level, the text cursor, and the pool that holds every string and
// element of the parse.
struct SCustomParser {
  static constexpr size_t kPoolSize = 1024;

  SItemDescriptor* item = nullptr;
  SCustomParseElem* elements = nullptr;
  char closing = 0;
  const unsigned char* text = nullptr;
  const unsigned char* textEnd = nullptr;
  unsigned char* poolCursor = pool;
  unsigned char* poolEnd = pool + kPoolSize;
  alignas(4) unsigned char pool[kPoolSize] = {};

  SCustomParser() = default;
  SCustomParser(const SCustomParser&) = delete;
  SCustomParser& operator=(const SCustomParser&) = delete;

  // Pool space for an element or a string (-7053 when exhausted).
  SCustomParseElem* NewElem(int16_t kind, int32_t value);
  // Empties the element list and the pool.
  void Reset();
};

inline SCustomParseElem* ElemList(const SCustomParseElem* e) {
  return e->value ? reinterpret_cast<SCustomParseElem*>(const_cast<char*>(reinterpret_cast<const char*>(e)) + e->value)
                  : nullptr;
}
inline const unsigned char* ElemString(const SCustomParseElem* e) {
  return reinterpret_cast<const unsigned char*>(e) + e->value;
}
// Points a string or list element at its target in the same pool.
inline void SetElemTarget(SCustomParseElem* e, const void* target) {
  e->value = target ? static_cast<int32_t>(static_cast<const char*>(target) - reinterpret_cast<const char*>(e)) : 0;
}

class CCustomView;
using CustomViewCreator = CPlugInView* (*)();

class CCustomView : public CPlugInView {
public:
  // Plate colour states.
  enum : int16_t { kPlateNormal = 0, kPlateClicked = 1, kPlateRed = 2, kPlateGreen = 3, kPlateLightGrey = 4,
                   kPlateBlue = 5, kPlateAmber = 6, kPlateStates = 7 };
  // The six colours of a plate state: outer light edge, inner light edge,
  // face, corner, inner dark edge, outer dark edge.
  static const RGBColor fPlateColor[kPlateStates][6];

  CCustomView();
  ~CCustomView() override;

  void SetViewPort(GrafPtr port) override;
  void SetClicked(bool clicked) override;
  void GetForegroundColor(RGBColor* color) override;
  void GetBackgroundColor(RGBColor* color) override;
  PixPatHandle GetBackgroundPattern() override;
  void DrawBackground(Rect* area) override;

  virtual void InitFromItemParse(SCustomParser* parser);
  virtual void SetPlateBackground(bool plate, int16_t colourState, int16_t ridgeFlags);
  virtual int16_t GetPlateColorState();
  virtual void DrawPlate(Rect* area);
  // The text colour of the highlight the host asks for (red, blue, green or
  // amber plate); false when the view has no such highlight.
  bool GetHighlightForeColor(RGBColor* color);

  bool HasPlateBackground() const { return fPlateBackground; }
  bool HasInversePlate() const { return fInversePlate; }
  int16_t GetPlateColorStateField() const { return fPlateColorState; }

  // The structure of a view description: the marker, a view keyword, and a
  // last element that is a non-empty list of lists.
  static bool ValidCustomParse(const SCustomParseElem* first);
  // The group at the reading position (its first element, null when
  // empty); the reading position moves to the next group. -7053 without a
  // group, -7400 when the element there is no list.
  static SCustomParseElem* TakeGroup(SCustomParser* parser);
  // A number element for a 16-bit field: -7053 when missing, -7400 when no
  // number or out of the field's range.
  static int16_t ShortNumber(const SCustomParseElem* e);

  // ---- The keyword list, shared by every view of the library.
  // Registers the built-in keywords once per load; every constructor and
  // FindKeyword call it first.
  static void StaticInit();
  // Empties the list and clears the once-per-load flag, so that the next
  // StaticInit registers the built-in keywords again.
  static void StaticFree();
  // A later registration of a word hides the earlier one. Names longer
  // than 31 characters are refused with -7400.
  static void AddKeyword(const unsigned char* name, int16_t kind, int32_t value);
  static void AddKeyword(const char* name, int16_t kind, int32_t value);
  static void AddNewViewProc(const unsigned char* name, CustomViewCreator creator);
  static void AddNewViewProc(const char* name, CustomViewCreator creator);
  // Exact, case-sensitive; the newest registration first.
  static bool FindKeyword(const unsigned char* name, SCustomParseElem* out);
  // The creator a view keyword's value stands for; null for an unknown one.
  static CustomViewCreator GetViewCreator(int32_t value);
  static int GetKeywordCount();

  // Parses the item's text into parser->elements; true when the result is
  // a valid view description. Errors leave the list empty.
  static bool ParseCustomData(SCustomParser* parser);
  // The view the item describes, or null with *ok false. The caller adds
  // it to its parent.
  static CPlugInView* NewCustomItem(SItemDescriptor* item, unsigned char* ok);

  // Shades of the window's background, computed at the first port.
  static constexpr int kPaletteSize = 12;
  static const RGBColor& GetPaletteShade(int index);
  static bool IsPaletteInitialized();
  virtual void InitColors();
  // The two shared background patterns and the views counting on them.
  static PixPatHandle GetNormalPattern();
  static PixPatHandle GetHilitePattern();
  static int GetPatternClientCount();

protected:
  int16_t fPlateColorState = 0;
  bool fPlateBackground = false;
  bool fInversePlate = false;
  int16_t fPlateRidgeFlags = 0;

private:
  void DrawRidges(const Rect& r, int pass);
  bool fCountsPatterns = false;
};

CPlugInView* CreateCCustomView();
