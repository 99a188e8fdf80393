#include "host/services/CCustomView.h"

#include "host/PlugInGlobals.h"
#include "host/services/CControlView.h"
#include "host/services/CDAEError.h"
#include "host/services/CDialControlEditor.h"
#include "host/services/CMacControlView.h"
#include "host/services/CPictureView.h"
#include "host/services/CRadioGroupControlEditor.h"
#include "host/services/CSliderControlEditor.h"
#include "host/services/CStaticTextView.h"
#include "host/services/CTextControlEditor.h"
#include "host/services/CTextEditEditor.h"
#include "host/services/CTextPopupControlEditor.h"
#include "host/services/CViewPopupControlEditor.h"
#include "platform/Resources.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

const RGBColor CCustomView::fPlateColor[kPlateStates][6] = {
    {{0xDDDD, 0xDDDD, 0xDDDD}, {0xBBBB, 0xBBBB, 0xBBBB}, {0xAAAA, 0xAAAA, 0xAAAA}, {0x8888, 0x8888, 0x8888},
     {0x5555, 0x5555, 0x5555}, {0x2222, 0x2222, 0x2222}},
    {{0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF}, {0xEEEE, 0xEEEE, 0xEEEE}, {0xCCCC, 0xCCCC, 0xCCCC},
     {0x8888, 0x8888, 0x8888}, {0x3333, 0x3333, 0x3333}},
    {{0xFFFF, 0xCCCC, 0xCCCC}, {0xFFFF, 0x9999, 0x9999}, {0xFFFF, 0x9999, 0x9999}, {0xFFFF, 0x6666, 0x6666},
     {0xFFFF, 0x3333, 0x3333}, {0x6666, 0x0000, 0x0000}},
    {{0xCCCC, 0xFFFF, 0xCCCC}, {0xCCCC, 0xFFFF, 0x9999}, {0x9999, 0xCCCC, 0x9999}, {0x6666, 0x9999, 0x6666},
     {0x3333, 0x6666, 0x3333}, {0x0000, 0x3333, 0x0000}},
    {{0xEEEE, 0xEEEE, 0xEEEE}, {0xEEEE, 0xEEEE, 0xEEEE}, {0xDDDD, 0xDDDD, 0xDDDD}, {0xBBBB, 0xBBBB, 0xBBBB},
     {0x7777, 0x7777, 0x7777}, {0x3333, 0x3333, 0x3333}},
    {{0xFFFF, 0xFFFF, 0xFFFF}, {0xCCCC, 0xFFFF, 0xFFFF}, {0x9999, 0xCCCC, 0xFFFF}, {0x6666, 0x9999, 0xCCCC},
     {0x3333, 0x6666, 0x9999}, {0x0000, 0x3333, 0x6666}},
    {{0xFFFF, 0xFFFF, 0xCCCC}, {0xFFFF, 0xFFFF, 0x9999}, {0xCCCC, 0xCCCC, 0x6666}, {0x9999, 0x9999, 0x3333},
     {0x6666, 0x6666, 0x0000}, {0x3333, 0x3333, 0x0000}},
};

// ------------------------------------------------------------ keyword list

namespace {

constexpr int kMaxKeywordLength = 31;
constexpr int32_t kNoSuchElement = -7053;
constexpr int32_t kMalformed = -7400;

struct KeywordNode {
  KeywordNode* next;
  unsigned char name[kMaxKeywordLength + 1]; // length-prefixed
  int16_t kind;
  int32_t value;
};

KeywordNode* sKeywordList = nullptr;
bool sKeywordsInitialized = false;
// View creators by the number a view keyword's value holds.
std::vector<CustomViewCreator>& Creators() {
  static std::vector<CustomViewCreator> creators;
  return creators;
}

PixPatHandle sNormalPixPatH = nullptr;
PixPatHandle sHilitePixPatH = nullptr;
int sPixPatClientCount = 0;
bool sPatternsLoaded = false;

const double sPalleteShadeScale[CCustomView::kPaletteSize] = {14, 12, 11, 10, 8, 7, 5, 4, 2, 1, 0, 0};
RGBColor sBackgroundPallete[CCustomView::kPaletteSize] = {
    {0xEE00, 0xEE00, 0xEE00}, {0xCC00, 0xCC00, 0xCC00}, {0xAA00, 0xAA00, 0xAA00}, {0xAA00, 0xAA00, 0xAA00},
    {0x8800, 0x8800, 0x8800}, {0x7700, 0x7700, 0x7700}, {0x5500, 0x5500, 0x5500}, {0x4400, 0x4400, 0x4400},
    {0x2200, 0x2200, 0x2200}, {0x1100, 0x1100, 0x1100}, {0, 0, 0},          {0, 0, 0}};
bool sPalleteInitialzed = false;

} // namespace

void CCustomView::StaticInit() {
  if (sKeywordsInitialized) return;
  sKeywordsInitialized = true;
  struct ViewWord {
    const char* word;
    CustomViewCreator creator;
  };
  static const ViewWord views[] = {
      {"Background", CreateCCustomView},
      {"ItemList", CreateCItemListView},
      {"ProcessControl", CreateCProcessControlView},
      {"ScrollControl", CreateCScrollControlView},
      {"Slider", CreateCSliderControlEditor},
      {"Dial", CreateCDialControlEditor},
      {"TextEditor", CreateCTextControlEditor},
      {"RadioGroup", CreateCRadioGroupControlEditor},
      {"TextPopup", CreateCTextPopupControlEditor},
      {"Button", CreateCButtonView},
      {"CheckBox", CreateCCheckBoxView},
      {"RadioButton", CreateCRadioButtonView},
      {"StaticText", CreateCStaticTextView},
      {"Picture", CreateCPictureView},
      {"ViewPopup", CreateCViewPopupControlEditor},
  };
  for (const ViewWord& v : views) AddNewViewProc(v.word, v.creator);
  static const char* const attributes[] = {
      "default", "left",   "right",  "top",   "bottom",    "center",  "reverse",   "cyclical", "plate",    "inversePlate",
      "normal",  "clicked", "disabled", "editable", "horizontal", "vertical", "round", "square", "frame", "green",
      "darkGreen", "red", "darkRed", "blue", "darkBlue", "amber", "darkAmber", "ASCII"};
  static const int32_t codes[] = {kAttrDefault,   kAttrLeft,     kAttrRight,      kAttrTop,      kAttrBottom,
                                  kAttrCenter,    kAttrReverse,  kAttrCyclical,   kAttrPlate,    kAttrInversePlate,
                                  kAttrNormal,    kAttrClicked,  kAttrDisabled,   kAttrEditable, kAttrHorizontal,
                                  kAttrVertical,  kAttrRound,    kAttrSquare,     kAttrFrame,    kAttrGreen,
                                  kAttrDarkGreen, kAttrRed,      kAttrDarkRed,    kAttrBlue,     kAttrDarkBlue,
                                  kAttrAmber,     kAttrDarkAmber, kAttrASCII};
  static_assert(std::size(attributes) == std::size(codes));
  for (size_t i = 0; i < std::size(codes); ++i) AddKeyword(attributes[i], kElemAttribute, codes[i]);
  AddKeyword("getList", kElemFunction, kFuncGetList);
  AddKeyword("getString", kElemFunction, kFuncGetString);
  AddKeyword("shortVersion", kElemFunction, kFuncShortVersion);
  AddKeyword("longVersion", kElemFunction, kFuncLongVersion);
}

void CCustomView::StaticFree() {
  while (KeywordNode* node = sKeywordList) {
    sKeywordList = node->next;
    delete node;
  }
  Creators().clear();
  sKeywordsInitialized = false;
  sPalleteInitialzed = false;
  if (sPixPatClientCount == 0) sPatternsLoaded = false;
}

void CCustomView::AddKeyword(const unsigned char* name, int16_t kind, int32_t value) {
  PlugInAssertPointer(name);
  PlugInAssert(name[0] <= kMaxKeywordLength);
  auto* node = new KeywordNode{sKeywordList, {}, kind, value};
  std::memcpy(node->name, name, name[0] + 1u);
  sKeywordList = node;
}

void CCustomView::AddKeyword(const char* name, int16_t kind, int32_t value) {
  PlugInAssertPointer(name);
  const size_t length = std::strlen(name);
  PlugInAssert(length <= kMaxKeywordLength);
  unsigned char text[kMaxKeywordLength + 1];
  text[0] = static_cast<unsigned char>(length);
  std::memcpy(text + 1, name, length);
  AddKeyword(text, kind, value);
}

void CCustomView::AddNewViewProc(const unsigned char* name, CustomViewCreator creator) {
  std::vector<CustomViewCreator>& creators = Creators();
  creators.push_back(creator);
  AddKeyword(name, kElemView, static_cast<int32_t>(creators.size()));
}

void CCustomView::AddNewViewProc(const char* name, CustomViewCreator creator) {
  std::vector<CustomViewCreator>& creators = Creators();
  creators.push_back(creator);
  AddKeyword(name, kElemView, static_cast<int32_t>(creators.size()));
}

CustomViewCreator CCustomView::GetViewCreator(int32_t value) {
  const std::vector<CustomViewCreator>& creators = Creators();
  return value >= 1 && static_cast<size_t>(value) <= creators.size() ? creators[static_cast<size_t>(value) - 1]
                                                                       : nullptr;
}

bool CCustomView::FindKeyword(const unsigned char* name, SCustomParseElem* out) {
  StaticInit();
  for (const KeywordNode* node = sKeywordList; node; node = node->next)
    if (node->name[0] == name[0] && std::memcmp(node->name + 1, name + 1, name[0]) == 0) {
      out->kind = node->kind;
      out->value = node->value;
      return true;
    }
  return false;
}

int CCustomView::GetKeywordCount() {
  int n = 0;
  for (const KeywordNode* node = sKeywordList; node; node = node->next) ++n;
  return n;
}

// ------------------------------------------------------------------ parsing

SCustomParseElem* SCustomParser::NewElem(int16_t kind, int32_t value) {
  // Elements start at an even address after the strings before them.
  const size_t used = static_cast<size_t>(poolCursor - pool);
  unsigned char* at = pool + ((used + 1) & ~size_t(1));
  if (at > poolEnd || poolEnd - at < static_cast<ptrdiff_t>(sizeof(SCustomParseElem))) throw CDAEError(kNoSuchElement);
  auto* e = new (at) SCustomParseElem;
  e->kind = kind;
  e->value = value;
  poolCursor = at + sizeof(SCustomParseElem);
  return e;
}

void SCustomParser::Reset() {
  elements = nullptr;
  closing = 0;
  poolCursor = pool;
}

namespace {

bool IsSeparator(unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ','; }
bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
int HexDigit(unsigned char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The parse of one text: the cursor and the end, over the parser's pool.
class Reader {
public:
  Reader(SCustomParser* parser, const unsigned char* text, const unsigned char* end)
      : p(parser), cursor(text), end(end) {}

  unsigned char Peek() const { return cursor < end ? *cursor : 0; }

  // Steps until one returns false; appends to *list.
  void Steps(SCustomParseElem** list, char closing) {
    SCustomParseElem* last = *list;
    while (last && last->next) last = last->next;
    while (SCustomParseElem* e = Step(closing)) {
      if (last)
        last->next = e;
      else
        *list = e;
      last = e;
    }
  }

  // Reads a string delimited by its first character into the pool, with
  // room for at most `room` characters; returns its length-prefixed copy.
  unsigned char* ReadString(size_t room) {
    const unsigned char delimiter = *cursor++;
    unsigned char* out = p->poolCursor;
    if (out >= p->poolEnd) throw CDAEError(kNoSuchElement);
    size_t length = 0;
    while (cursor < end && *cursor != delimiter) {
      unsigned char c = *cursor++;
      if (c == '\\') {
        if (cursor >= end) throw CDAEError(kMalformed);
        switch (*cursor++) {
        case '\'': c = '\''; break;
        case '\\': c = '\\'; break;
        case 'a': c = 7; break;
        case 'b': c = 8; break;
        case 'f': c = 12; break;
        case 'n': c = 10; break;
        case 'r': c = 13; break;
        case 't': c = 9; break;
        case 'v': c = 11; break;
        default: throw CDAEError(kMalformed);
        }
      }
      // A length byte holds at most 255 characters, whatever room the pool
      // has left; and the pool must have a byte for this one.
      if (length >= room || length >= 255) throw CDAEError(kMalformed);
      if (p->poolEnd - out <= static_cast<ptrdiff_t>(1 + length)) throw CDAEError(kNoSuchElement);
      out[1 + length++] = c;
    }
    if (cursor >= end) throw CDAEError(kMalformed);
    ++cursor;
    out[0] = static_cast<unsigned char>(length);
    p->poolCursor = out + 1 + length;
    return out;
  }

private:
  SCustomParseElem* Step(char closing) {
    while (cursor < end && IsSeparator(*cursor)) ++cursor;
    const unsigned char c = Peek();
    if (c == static_cast<unsigned char>(closing) || c == 0) return nullptr;
    if (IsLetter(c)) {
      // An unknown word stays under the cursor: nothing may follow there.
      const unsigned char* start = cursor;
      unsigned char name[256];
      size_t n = 0;
      while (cursor < end && (IsLetter(*cursor) || IsDigit(*cursor))) {
        if (n < 255) name[1 + n] = *cursor;
        ++n;
        ++cursor;
      }
      SCustomParseElem found;
      name[0] = static_cast<unsigned char>(n);
      if (n > 255 || !CCustomView::FindKeyword(name, &found)) {
        cursor = start;
        return nullptr;
      }
      return p->NewElem(found.kind, found.value);
    }
    if (IsDigit(c) || c == '-') return p->NewElem(kElemNumber, ReadNumber());
    if (c == '(' || c == '[') {
      ++cursor;
      const char inner = c == '(' ? ')' : ']';
      SCustomParseElem* first = nullptr;
      Steps(&first, inner);
      if (Peek() != static_cast<unsigned char>(inner)) throw CDAEError(kMalformed);
      ++cursor;
      SCustomParseElem* e = p->NewElem(kElemList, 0);
      SetElemTarget(e, first);
      return e;
    }
    if (c == '\'') {
      unsigned char* chars = ReadString(4);
      const unsigned char length = chars[0];
      p->poolCursor = chars; // the characters live in the element
      if (length == 0) return p->NewElem(kElemChar, 0);
      if (length == 1) return p->NewElem(kElemChar, chars[1]);
      if (length == 4)
        return p->NewElem(kElemCode, static_cast<int32_t>(static_cast<uint32_t>(chars[1]) << 24 |
                                                          static_cast<uint32_t>(chars[2]) << 16 |
                                                          static_cast<uint32_t>(chars[3]) << 8 | chars[4]));
      throw CDAEError(kMalformed);
    }
    if (c == '"') {
      const size_t left = p->poolEnd > p->poolCursor ? static_cast<size_t>(p->poolEnd - p->poolCursor) - 1 : 0;
      unsigned char* text = ReadString(left);
      SCustomParseElem* e = p->NewElem(kElemString, 0);
      SetElemTarget(e, text);
      return e;
    }
    if (c == '!') {
      ++cursor;
      return p->NewElem(kElemMarker, 0);
    }
    return nullptr;
  }

  // A signed 32-bit number: decimal from -2147483648 to 2147483647, or
  // "0x" and up to 32 bits of hexadecimal (taken as the bit pattern). A
  // number out of that range, or without digits, breaks the description
  // rather than wrapping to some other value.
  int32_t ReadNumber() {
    bool negative = false;
    if (*cursor == '-') {
      negative = true;
      ++cursor;
      if (!IsDigit(Peek())) throw CDAEError(kMalformed);
    }
    const bool hex = Peek() == '0' && cursor + 1 < end && (cursor[1] == 'x' || cursor[1] == 'X');
    if (hex) cursor += 2;
    const uint64_t base = hex ? 16 : 10;
    const uint64_t limit = negative ? 0x80000000u : hex ? 0xFFFFFFFFu : 0x7FFFFFFFu;
    uint64_t value = 0;
    int digits = 0;
    for (; cursor < end; ++cursor, ++digits) {
      const int d = hex ? HexDigit(*cursor) : IsDigit(*cursor) ? *cursor - '0' : -1;
      if (d < 0) break;
      value = value * base + static_cast<uint64_t>(d);
      if (value > limit) throw CDAEError(kMalformed);
    }
    if (digits == 0) throw CDAEError(kMalformed);
    const uint32_t bits = static_cast<uint32_t>(negative ? 0u - value : value);
    return static_cast<int32_t>(bits);
  }

  SCustomParser* p;
  const unsigned char* cursor;
  const unsigned char* end;
};

// A string of the plug-in's resources, wrapped in double quotes and read
// as a string of the description would be (escapes included; a double
// quote inside ends it). At most 253 characters.
SCustomParseElem* WrappedString(SCustomParser* parser, const std::string& text) {
  if (text.size() > 253) throw CDAEError(kMalformed);
  const std::string wrapped = "\"" + text + "\"";
  const auto* bytes = reinterpret_cast<const unsigned char*>(wrapped.data());
  Reader reader(parser, bytes, bytes + wrapped.size());
  const size_t left =
      parser->poolEnd > parser->poolCursor ? static_cast<size_t>(parser->poolEnd - parser->poolCursor) - 1 : 0;
  unsigned char* string = reader.ReadString(left);
  SCustomParseElem* e = parser->NewElem(kElemString, 0);
  SetElemTarget(e, string);
  return e;
}

uint16_t BigEndian16(const std::vector<uint8_t>& bytes, size_t at) {
  return at + 1 < bytes.size() ? static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]) : 0;
}

// String index (1-based) of the plug-in's 'STR#' resource id; empty when
// either is missing.
std::string IndexedString(int32_t id, int32_t index) {
  CResourceFileScope resources;
  std::optional<std::vector<uint8_t>> data = platform::getResource(platform::fourCharCode("STR#"), static_cast<int16_t>(id));
  if (!data || index < 1 || index > BigEndian16(*data, 0)) return {};
  size_t at = 2;
  for (int32_t i = 1; at < data->size(); ++i) {
    const size_t length = (*data)[at];
    if (at + 1 + length > data->size()) return {};
    if (i == index) return std::string(data->begin() + static_cast<ptrdiff_t>(at) + 1,
                                       data->begin() + static_cast<ptrdiff_t>(at + 1 + length));
    at += 1 + length;
  }
  return {};
}

// The short or long version string of 'vers' 1; empty when missing.
std::string VersionString(bool longOne) {
  CResourceFileScope resources;
  std::optional<std::vector<uint8_t>> data = platform::getResource(platform::fourCharCode("vers"), 1);
  if (!data || data->size() < 7) return {};
  size_t at = 6;
  if (longOne) at += 1 + (*data)[6];
  if (at >= data->size()) return {};
  const size_t length = std::min<size_t>((*data)[at], data->size() - at - 1);
  return std::string(data->begin() + static_cast<ptrdiff_t>(at) + 1,
                     data->begin() + static_cast<ptrdiff_t>(at + 1 + length));
}

// Replaces the function elements of the list (and of every list inside)
// by what they give.
void ExpandFunctions(SCustomParser* parser, SCustomParseElem** list, bool top) {
  SCustomParseElem* previous = nullptr;
  for (SCustomParseElem* e = *list; e;) {
    SCustomParseElem* replacement = nullptr;
    SCustomParseElem* after = e->next;
    if (e->kind == kElemList) {
      SCustomParseElem* inner = ElemList(e);
      ExpandFunctions(parser, &inner, false);
      SetElemTarget(e, inner);
    } else if (e->kind == kElemFunction) {
      switch (e->value) {
      case kFuncGetString: {
        SCustomParseElem* args = e->next;
        if (!args || args->kind != kElemList) throw CDAEError(kMalformed);
        SCustomParseElem* id = ElemList(args);
        SCustomParseElem* index = id ? static_cast<SCustomParseElem*>(id->next) : nullptr;
        if (!id || !index || id->kind != kElemNumber || index->kind != kElemNumber || index->next)
          throw CDAEError(kMalformed);
        replacement = WrappedString(parser, IndexedString(id->value, index->value));
        after = args->next;
        break;
      }
      case kFuncShortVersion:
      case kFuncLongVersion:
        replacement = WrappedString(parser, VersionString(e->value == kFuncLongVersion));
        break;
      default:
        // A list comes from the bank of a view that asks for it; nothing
        // at the top level does.
        if (top) throw CDAEError(kMalformed);
        break;
      }
    }
    if (replacement) {
      replacement->next = after;
      if (previous)
        previous->next = replacement;
      else
        *list = replacement;
      e = replacement;
    }
    previous = e;
    e = after;
  }
}

} // namespace

bool CCustomView::ParseCustomData(SCustomParser* parser) {
  PlugInAssertPointer(parser);
  try {
    SItemDescriptor* item = PlugInAssertPointer(parser->item);
    parser->Reset();
    const unsigned char* text = item->data + 1;
    Reader reader(parser, text, text + item->data[0]);
    parser->closing = 0;
    reader.Steps(&parser->elements, 0);
    if (reader.Peek() != 0) {
      parser->Reset();
      return false;
    }
    ExpandFunctions(parser, &parser->elements, true);
  } catch (const CDAEError&) {
    parser->Reset();
    return false;
  }
  return ValidCustomParse(parser->elements);
}

CPlugInView* CCustomView::NewCustomItem(SItemDescriptor* item, unsigned char* ok) {
  PlugInAssertPointer(item);
  *ok = false;
  auto parser = std::make_unique<SCustomParser>();
  parser->item = item;
  if (!ParseCustomData(parser.get())) return nullptr;
  CustomViewCreator creator = GetViewCreator(parser->elements->next->value);
  if (!creator) throw CDAEError(kNoSuchElement);
  CPlugInView* made = PlugInAssertPointer(creator());
  std::unique_ptr<CPlugInView> view(made);
  auto* custom = dynamic_cast<CCustomView*>(made);
  try {
    view->InitFromItem(item);
    // A creator of a view that reads no description is taken as it is.
    if (custom) custom->InitFromItemParse(parser.get());
  } catch (const CDAEError&) {
    return nullptr;
  }
  *ok = true;
  return view.release();
}

// ------------------------------------------------------------------ the view

CCustomView::CCustomView() { StaticInit(); }

CCustomView::~CCustomView() {
  if (fCountsPatterns && --sPixPatClientCount == 0) {
    delete sNormalPixPatH;
    delete sHilitePixPatH;
    sNormalPixPatH = sHilitePixPatH = nullptr;
    sPatternsLoaded = false;
  }
}

const RGBColor& CCustomView::GetPaletteShade(int index) { return sBackgroundPallete[std::clamp(index, 0, kPaletteSize - 1)]; }
bool CCustomView::IsPaletteInitialized() { return sPalleteInitialzed; }
PixPatHandle CCustomView::GetNormalPattern() { return sNormalPixPatH; }
PixPatHandle CCustomView::GetHilitePattern() { return sHilitePixPatH; }
int CCustomView::GetPatternClientCount() { return sPixPatClientCount; }

void CCustomView::InitColors() {
  RGBColor background;
  GetBackgroundColor(&background);
  auto base = [](uint16_t x) { return static_cast<int16_t>(x / 11.0 + 0.5); };
  const int16_t b[3] = {base(background.red), base(background.green), base(background.blue)};
  for (int i = 0; i < kPaletteSize; ++i) {
    uint16_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = static_cast<uint16_t>(std::clamp(sPalleteShadeScale[i] * b[k], 0.0, 65535.0));
    sBackgroundPallete[i] = {c[0], c[1], c[2]};
  }
  sPalleteInitialzed = true;
}

void CCustomView::SetViewPort(GrafPtr port) {
  if (!sPalleteInitialzed && port) InitColors();
  CPlugInView::SetViewPort(port);
}
void CCustomView::SetClicked(bool clicked) { CPlugInView::SetClicked(clicked); }
void CCustomView::GetForegroundColor(RGBColor* color) { CPlugInView::GetForegroundColor(color); }

bool CCustomView::GetHighlightForeColor(RGBColor* color) {
  int16_t colour = 0, other = 0;
  char text[256] = {};
  GetHighlightInfo(&colour, &other, text);
  static const int16_t states[4] = {kPlateRed, kPlateBlue, kPlateGreen, kPlateAmber};
  if (colour < 0 || colour >= 4) return false;
  *color = fPlateColor[states[colour]][4];
  return true;
}

void CCustomView::GetBackgroundColor(RGBColor* color) {
  if (!fPlateBackground) {
    CPlugInView::GetBackgroundColor(color);
    return;
  }
  int16_t state = GetPlateColorState();
  *color = fPlateColor[state >= 0 && state < kPlateStates ? state : 0][2];
}

PixPatHandle CCustomView::GetBackgroundPattern() {
  if (!fPlateBackground) return CPlugInView::GetBackgroundPattern();
  return fPlateColorState != 0 ? sHilitePixPatH : sNormalPixPatH;
}

void CCustomView::DrawBackground(Rect* area) {
  if (fPlateBackground)
    DrawPlate(area);
  else
    CPlugInView::DrawBackground(area);
}

bool CCustomView::ValidCustomParse(const SCustomParseElem* first) {
  if (!first || first->kind != kElemMarker) return false;
  const SCustomParseElem* view = first->next;
  if (!view || view->kind != kElemView) return false;
  const SCustomParseElem* groups = view->next;
  if (!groups || groups->kind != kElemList || groups->next) return false;
  const SCustomParseElem* g = ElemList(groups);
  if (!g) return false;
  for (; g; g = g->next)
    if (g->kind != kElemList) return false;
  return true;
}

SCustomParseElem* CCustomView::TakeGroup(SCustomParser* parser) {
  SCustomParseElem* group = PlugInAssertPointer(parser->elements);
  PlugInAssert(group->kind == kElemList);
  parser->elements = group->next;
  return ElemList(group);
}

int16_t CCustomView::ShortNumber(const SCustomParseElem* e) {
  PlugInAssertPointer(e);
  PlugInAssert(e->kind == kElemNumber && e->value >= INT16_MIN && e->value <= INT16_MAX);
  return static_cast<int16_t>(e->value);
}

void CCustomView::InitFromItemParse(SCustomParser* parser) {
  PlugInAssertPointer(parser);
  PlugInAssert(ValidCustomParse(parser->elements));
  parser->elements = ElemList(parser->elements->next->next);
  SCustomParseElem* e = TakeGroup(parser);
  PlugInAssertPointer(e);
  PlugInAssert(e->kind == kElemCode);
  SetViewType(static_cast<uint32_t>(e->value));
  for (e = e->next; e; e = e->next) {
    if (e->kind == kElemAttribute && e->value == kAttrPlate) {
      fPlateBackground = true;
    } else if (e->kind == kElemAttribute && e->value == kAttrInversePlate) {
      fPlateBackground = true;
      fInversePlate = true;
    } else if (e->kind == kElemNumber) {
      PlugInAssert(e->value >= 0 && e->value < kPlateStates);
      fPlateColorState = static_cast<int16_t>(e->value);
    } else {
      PlugInAssert(false);
    }
  }
  // The shared patterns, once per load; a view that finds one counts on
  // them until it goes.
  if (!sPatternsLoaded) {
    sPatternsLoaded = true;
    try {
      sNormalPixPatH = GetPixPat(1001);
      sHilitePixPatH = GetPixPat(1002);
    } catch (const CDAEError&) {
      // Without the plug-in's resources plates keep their plain colours.
    }
  }
  if (!fCountsPatterns && (sNormalPixPatH || sHilitePixPatH)) {
    fCountsPatterns = true;
    ++sPixPatClientCount;
  }
}

void CCustomView::SetPlateBackground(bool plate, int16_t colourState, int16_t ridgeFlags) {
  PlugInAssert(colourState >= 0 && colourState < kPlateStates);
  fPlateBackground = plate;
  fPlateColorState = colourState;
  fPlateRidgeFlags = ridgeFlags;
  if (fPort) Update(&fRect);
}

int16_t CCustomView::GetPlateColorState() {
  if (fClicked) return kPlateClicked;
  if (IsHighlighted()) {
    int16_t colour = 0, other = 0;
    char text[256] = {};
    GetHighlightInfo(&colour, &other, text);
    static const int16_t states[4] = {kPlateRed, kPlateBlue, kPlateGreen, kPlateAmber};
    if (colour >= 0 && colour < 4) return states[colour];
  }
  return fPlateColorState;
}

void CCustomView::DrawRidges(const Rect& r, int pass) {
  GrafPtr port = platform::currentPort();
  Rect inner = r.inset(3, 3);
  bool horizontal = pass < 2;
  int n = (horizontal ? inner.height() : inner.width()) / 3;
  int length = (horizontal ? inner.width() : inner.height()) - 2;
  for (int i = 0; i < n; ++i) {
    int h = inner.left + (horizontal ? 0 : 3 * i), v = inner.top + (horizontal ? 3 * i : 0);
    switch (pass) {
    case 0: // a line below and right of the pen, a tick back up at its end
      port->moveTo(h + 1, v + 1);
      port->lineTo(h + 1 + length, v + 1);
      port->lineTo(h + 1 + length, v);
      break;
    case 1: // a tick at the pen, then the line
      port->moveTo(h, v + 1);
      port->lineTo(h, v);
      port->lineTo(h + length, v);
      break;
    case 2:
      port->moveTo(h + 1, v + 1);
      port->lineTo(h + 1, v + 1 + length);
      port->lineTo(h, v + 1 + length);
      break;
    default:
      port->moveTo(h + 1, v);
      port->lineTo(h, v);
      port->lineTo(h, v + length);
    }
  }
}

void CCustomView::DrawPlate(Rect*) {
  GrafPtr port = platform::currentPort();
  if (!port) return;
  int16_t state = GetPlateColorState();
  const RGBColor* c = fPlateColor[state >= 0 && state < kPlateStates ? state : 0];
  const Rect& r = fRect;
  int l = r.left, t = r.top, rt = r.right, b = r.bottom;
  RGBColor savedFore = port->foreColor();
  port->setPenSize(1, 1);
  auto line = [port](int h0, int v0, int h1, int v1) {
    port->moveTo(h0, v0);
    port->lineTo(h1, v1);
  };
  port->setForeColor(c[2]);
  port->paintRect(fInversePlate ? Rect{int16_t(t + 3), int16_t(l + 3), int16_t(b - 2), int16_t(rt - 2)}
                                : Rect{int16_t(t + 2), int16_t(l + 2), int16_t(b - 3), int16_t(rt - 3)});
  port->setForeColor(fInversePlate ? c[5] : c[0]);
  line(l, b - 2, l, t);
  port->lineTo(rt - 2, t);
  if (fPlateRidgeFlags & 1) DrawRidges(r, 0);
  if (fPlateRidgeFlags & 2) DrawRidges(r, 2);
  port->setForeColor(fInversePlate ? c[4] : c[1]);
  line(l + 1, b - 3, l + 1, t + 1);
  port->lineTo(rt - 3, t + 1);
  port->setForeColor(c[3]);
  line(l, b - 1, l + 2, b - 3);
  if (fInversePlate)
    port->lineTo(l + 2, t + 2);
  else
    port->lineTo(rt - 3, b - 3);
  port->lineTo(rt - 3, t + 2);
  port->lineTo(rt - 1, t);
  if (fPlateRidgeFlags & 1) DrawRidges(r, 1);
  if (fPlateRidgeFlags & 2) DrawRidges(r, 3);
  port->setForeColor(fInversePlate ? c[1] : c[4]);
  line(l + 2, b - 2, rt - 2, b - 2);
  port->lineTo(rt - 2, t + 2);
  port->setForeColor(fInversePlate ? c[0] : c[5]);
  line(l + 1, b - 1, rt - 1, b - 1);
  port->lineTo(rt - 1, t + 1);
  port->setForeColor(savedFore);
}

CPlugInView* CreateCCustomView() { return new CCustomView; }
