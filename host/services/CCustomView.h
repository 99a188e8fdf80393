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

#include "host/services/CPlugInView.h"

#include <cstdint>

// One element of a parsed view description.
struct SCustomParseElem {
  SCustomParseElem* next = nullptr;
  int16_t kind = 0;
  intptr_t value = 0; // a number, a character code, a code, or a pointer
};

enum ECustomElemKind : int16_t {
  kElemMarker = 0,    // '!'
  kElemChar = 1,      // one character in single quotes
  kElemCode = 2,      // four characters in single quotes, big-endian
  kElemAttribute = 3, // an attribute keyword: its code
  kElemView = 4,      // a view keyword: its creator
  kElemFunction = 5,  // a function keyword: its code
  kElemString = 6,    // a length-prefixed string (pointer)
  kElemNumber = 7,    // a signed 32-bit number
  kElemList = 8,      // a list: its first element (pointer)
};

// Attribute keyword codes.
enum ECustomAttribute : int32_t {
  kAttrLeft = 0, kAttrRight = 1, kAttrTop = 2, kAttrBottom = 3, kAttrCenter = 4, kAttrDefault = 5,
  kAttrReverse = 6, kAttrCyclical = 7, kAttrPlate = 8, kAttrNormal = 9, kAttrClicked = 10, kAttrDisabled = 11,
  kAttrInversePlate = 12, kAttrEditable = 13, kAttrHorizontal = 14, kAttrVertical = 15,
};

// The state of one parse; elements is also where InitFromItemParse reads.
struct SCustomParser {
  SItemDescriptor* item = nullptr;
  SCustomParseElem* elements = nullptr;
};

inline SCustomParseElem* ElemList(const SCustomParseElem* e) { return reinterpret_cast<SCustomParseElem*>(e->value); }
inline const unsigned char* ElemString(const SCustomParseElem* e) {
  return reinterpret_cast<const unsigned char*>(e->value);
}

class CCustomView : public CPlugInView {
public:
  // Plate colour states.
  enum : int16_t { kPlateNormal = 0, kPlateClicked = 1, kPlateRed = 2, kPlateGreen = 3, kPlateLightGrey = 4,
                   kPlateBlue = 5, kPlateAmber = 6, kPlateStates = 7 };
  // The six colours of a plate state: outer light edge, inner light edge,
  // face, corner, inner dark edge, outer dark edge.
  static const RGBColor fPlateColor[kPlateStates][6];

  CCustomView() = default;
  ~CCustomView() override = default;

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

protected:
  int16_t fPlateColorState = 0;
  bool fPlateBackground = false;
  bool fInversePlate = false;
  int16_t fPlateRidgeFlags = 0;

private:
  void DrawRidges(const Rect& r, int pass);
};

CPlugInView* CreateCCustomView();
