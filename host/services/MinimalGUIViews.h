#pragma once

// The views a minimal control panel is described with: a label with a font,
// a colour and an engraved look ("StaticCustomText"), a text pop-up in a
// font of its own ("TextCustomPopupEditor"), a typed-value editor drawing
// its text in a colour on a dark face ("PictBackgroundTextEditor"), a level
// meter with optional scale marks ("GainMeterView") and a clip light
// ("ClippingView"). Their style lists pair a word with its value:
// FontType/TextSize/... with a number, TextFont and TextFace with a name,
// FontColor and TextColor with three 8-bit components; kEngraved stands
// alone.

#include "host/services/CStaticTextView.h"
#include "host/services/CTextControlEditor.h"
#include "host/services/CTextPopupControlEditor.h"

struct STextStyle {
  int16_t font = 3;
  int16_t size = 9;
  int16_t face = 0;
  RGBColor color{0, 0, 0};
  bool hasColor = false;
  RGBColor back{0, 0, 0};
  bool hasBack = false; // the view's own face under the text
  bool engraved = false; // read, drawn plain
};

// Reads a style list into style (-7400 for a word without its value or an
// element that is no style word).
void ReadTextStyle(SCustomParseElem* e, STextStyle& style);

class CStyledTextView : public CStaticTextView {
public:
  // The first group holds the type code and the text with its
  // justification; an optional second group the style.
  void InitFromItemParse(SCustomParser* parser) override;
  void GetForegroundColor(RGBColor* color) override;
  void GetBackgroundColor(RGBColor* color) override;
  void DrawContents(Rect* area) override;
  int16_t GetTextFont() override { return fStyle.font; }
  int16_t GetTextSize() override { return fStyle.size; }
  int16_t GetTextFace() override { return fStyle.face; }

  const STextStyle& GetStyle() const { return fStyle; }
  void SetStyle(const STextStyle& style) { fStyle = style; }

private:
  STextStyle fStyle;
};

class CStyledTextPopupEditor : public CTextPopupControlEditor {
public:
  void InitFromItemParse(SCustomParser* parser) override;
};

class CStyledTextControlEditor : public CTextControlEditor {
public:
  void InitFromItemParse(SCustomParser* parser) override;
  // Makes the styled child the value text shows in.
  void InitializeTree() override;

private:
  STextStyle fStyle;
};

// A horizontal level meter: the level (0 to 2^31 - 1) fills a bar from the
// left in green; with "labels", scale marks every tenth of the width.
class CGainMeterView : public CCustomView {
public:
  void InitFromItemParse(SCustomParser* parser) override;
  void DrawContents(Rect* area) override;
  void SetLevel(int32_t level);
  int32_t GetLevel() const { return fLevel; }
  bool HasLabels() const { return fLabels; }

private:
  int32_t fLevel = 0;
  bool fLabels = false;
};

// A clip light: dark red, bright red once clipped.
class CClippingView : public CCustomView {
public:
  void InitFromItemParse(SCustomParser* parser) override;
  void DrawContents(Rect* area) override;
  void SetClipped(bool clipped);
  bool IsClipped() const { return fClipped; }

private:
  bool fClipped = false;
};

// Registers the panel's view words and style words, once per keyword list.
void RegisterMinimalGUIViews();
