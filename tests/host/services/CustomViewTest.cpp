// View descriptions: parsing into the pool, the keyword list across loads,
// the functions that read resources, the palette, and the views built from
// descriptions and item lists, with static text where a description fails.

#include "host/CProcess.h"
#include "host/services/CDAEError.h"
#include "host/services/CNoResourceView.h"
#include "host/services/CPluginControl_Continuous.h"
#include "host/services/CPluginControl_Discrete.h"
#include "host/services/CSliderControlEditor.h"
#include "host/services/CStaticTextView.h"
#include "host/services/MinimalGUI.h"
#include "tests/host/services/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace viewtest;

namespace {

std::string TextOf(const std::string& description) {
  std::unique_ptr<CPlugInView> v = Make(description);
  auto* text = dynamic_cast<CStaticTextView*>(v.get());
  return text ? text->GetTextString() : "<no static text>";
}

int sMade = 0;
CPlugInView* FirstCreator() { return ++sMade, new CCustomView; }
CPlugInView* SecondCreator() { return sMade += 10, new CCustomView; }

std::vector<uint8_t> PascalStrings(const std::vector<std::string>& strings) {
  std::vector<uint8_t> out;
  for (const std::string& s : strings) {
    out.push_back(static_cast<uint8_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

} // namespace

TEST(CustomViewTest, DescriptionsBuildTheViewTheyNameOrNothing) {
  ViewWorld world;
  std::unique_ptr<CPlugInView> plain = Make("!Background[('NoID')]");
  ASSERT_NE(plain, nullptr);
  auto* view = dynamic_cast<CCustomView*>(plain.get());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetViewType(), fourCharCode("NoID"));
  EXPECT_FALSE(view->HasPlateBackground());
  EXPECT_EQ(view->GetBounds(), (Rect{10, 20, 60, 220}));

  std::unique_ptr<CPlugInView> red = Make("!Background[('NoID' plate 2)]");
  RGBColor face;
  red->GetBackgroundColor(&face);
  EXPECT_EQ(face, CCustomView::fPlateColor[CCustomView::kPlateRed][2]);
  auto* pressed = dynamic_cast<CCustomView*>(Make("!Background[('NoID' inversePlate,\t2)]").release());
  ASSERT_NE(pressed, nullptr);
  EXPECT_TRUE(pressed->HasInversePlate());
  delete pressed;

  for (const char* broken : {"!Background[('NoID')] extra", "!Background('NoID')", "!Background[('NoI')]",
                             "!Background[]", "Background[('NoID')]", "!Nowhere[('NoID')]",
                             "!Background[('NoID' \"open)]", "!Background[('NoID' \"\\q\")]", "!Background[('NoID' -)]",
                             "!Background[('NoID' 9)]", "!Background[('NoID')", "!Background[('NoID'))]", ""})
    EXPECT_EQ(Make(broken), nullptr) << broken;
}

TEST(CustomViewTest, StringsNumbersAndCharactersReadAsWritten) {
  ViewWorld world;
  EXPECT_EQ(TextOf("!StaticText[('NoID')(\"a\\tb\\\\c\\'d\" right)]"), "a\tb\\c'd");
  std::unique_ptr<CPlugInView> v = Make("!StaticText[('NoID')(\"x\" \"last one\" center)]");
  auto* text = dynamic_cast<CStaticTextView*>(v.get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetTextString(), "last one");
  EXPECT_EQ(text->GetJustification(), CStaticTextView::kJustCenter);
  EXPECT_EQ(TextOf("!StaticText[('NoID')(\"" + std::string(200, 'y') + "\")]"), std::string(200, 'y'));
  EXPECT_EQ(TextOf("!StaticText[('NoID')('' \"\")]"), "<no static text>"); // a character is no text
  // Hexadecimal and negative numbers are plate states only when in range.
  EXPECT_NE(Make("!Background[('NoID' 0x6)]"), nullptr);
  EXPECT_EQ(Make("!Background[('NoID' 0x10)]"), nullptr);
  EXPECT_EQ(Make("!Background[('NoID' -1)]"), nullptr);
}

TEST(CustomViewTest, ThePoolHoldsTwelveByteElementsUpToItsLastByte) {
  ViewWorld world;
  // marker, keyword, outer list, group list and code: five elements; then
  // one per number. 85 elements of 12 bytes fit 1024 bytes, 86 do not.
  auto numbers = [](int k) {
    std::string d = "!Background[('NoID'";
    for (int i = 0; i < k; ++i) d += " 0";
    return d + ")]";
  };
  EXPECT_NE(Make(numbers(80)), nullptr);
  EXPECT_EQ(Make(numbers(81)), nullptr);
  EXPECT_EQ(sizeof(SCustomParseElem), 12u);
}

TEST(CustomViewTest, KeywordsShadowEarlierOnesAndGoAtUnload) {
  ViewWorld world;
  CCustomView::StaticInit();
  const int builtIn = CCustomView::GetKeywordCount();
  sMade = 0;
  CCustomView::AddNewViewProc("Probe", FirstCreator);
  EXPECT_NE(Make("!Probe[('NoID')]"), nullptr);
  CCustomView::AddNewViewProc("Probe", SecondCreator);
  EXPECT_NE(Make("!Probe[('NoID')]"), nullptr);
  EXPECT_EQ(sMade, 11);
  EXPECT_EQ(Make("!probe[('NoID')]"), nullptr); // case counts

  // An unload and a new load: the built-in words only, once each.
  CCustomView::StaticFree();
  EXPECT_EQ(CCustomView::GetKeywordCount(), 0);
  EXPECT_EQ(Make("!Probe[('NoID')]"), nullptr);
  EXPECT_EQ(CCustomView::GetKeywordCount(), builtIn);
  EXPECT_NE(Make("!Background[('NoID')]"), nullptr);
  EXPECT_EQ(CCustomView::GetKeywordCount(), builtIn);
  EXPECT_THROW(CCustomView::AddKeyword(std::string(32, 'k').c_str(), kElemAttribute, 1), CDAEError);
}

TEST(CustomViewTest, FunctionsReadTheBundlesStringsAndVersion) {
  ViewWorld world;
  std::vector<uint8_t> strings{0, 3};
  for (uint8_t b : PascalStrings({"first", "second", std::string(254, 'z')})) strings.push_back(b);
  world.writeResource("STR#", 128, strings);
  std::vector<uint8_t> vers{1, 2, 0x80, 0, 0, 0};
  for (uint8_t b : PascalStrings({"1.2", "1.2, Quorvane"})) vers.push_back(b);
  world.writeResource("vers", 1, vers);

  EXPECT_EQ(TextOf("!StaticText[('NoID')(getString(128 2) left)]"), "second");
  EXPECT_EQ(TextOf("!StaticText[('NoID')(getString(128, 4))]"), "");
  // Wrapped in quotes, a string of more than 253 characters does not fit.
  EXPECT_EQ(Make("!StaticText[('NoID')(getString(128 3))]"), nullptr);
  EXPECT_EQ(TextOf("!StaticText[('NoID')(shortVersion)]"), "1.2");
  EXPECT_EQ(TextOf("!StaticText[('NoID')(longVersion)]"), "1.2, Quorvane");
  EXPECT_EQ(Make("!StaticText[('NoID')(getString(128))]"), nullptr);
  EXPECT_EQ(Make("!StaticText[('NoID')(getString)]"), nullptr);
  EXPECT_EQ(Make("!StaticText getList[('NoID')()]"), nullptr);
}

TEST(CustomViewTest, ThePaletteShadesTheFirstPortsBackground) {
  ViewWorld world;
  CCustomView::StaticFree(); // a fresh load
  CCustomView root;
  RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
  root.SetBackgroundColor(&white);
  root.SetViewPort(&world.port());
  ASSERT_TRUE(CCustomView::IsPaletteInitialized());
  for (int i : {0, 1, 2}) EXPECT_EQ(CCustomView::GetPaletteShade(i).red, 65535);
  EXPECT_EQ(CCustomView::GetPaletteShade(3), (RGBColor{59580, 59580, 59580}));
  EXPECT_EQ(CCustomView::GetPaletteShade(4).green, 8 * 5958);
  EXPECT_EQ(CCustomView::GetPaletteShade(10).blue, 0);
  EXPECT_EQ(CCustomView::GetPaletteShade(11).blue, 0);
  root.SetViewPort(nullptr);
}

TEST(CustomViewTest, ItemListsBuildDescribedViewsAndStaticTextAtTheirPlaces) {
  ViewWorld world;
  // Three items: a static text holding a description, a plain static text
  // and a user item, rectangles relative to the list.
  auto entry = [](std::vector<uint8_t>& out, Rect r, uint8_t type, const std::string& text) {
    out.insert(out.end(), {0, 0, 0, 0});
    for (int16_t c : {r.top, r.left, r.bottom, r.right}) out.insert(out.end(), {uint8_t(c >> 8), uint8_t(c)});
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    if (text.size() % 2) out.push_back(0);
  };
  std::vector<uint8_t> list{0, 2};
  entry(list, {0, 0, 20, 50}, 8, "!Background[('Desc' plate 3)]");
  entry(list, {30, 0, 50, 50}, 8 | kItemDisabled, "Hello");
  entry(list, {60, 10, 70, 20}, 0, "");
  world.writeResource("DITL", 300, list);

  std::unique_ptr<CPlugInView> view = Make("!ItemList[('List')(300)]");
  ASSERT_NE(view, nullptr);
  view->Initialize();
  CPlugInView* described = view->FindViewByType(fourCharCode("Desc"));
  ASSERT_NE(described, nullptr);
  EXPECT_EQ(described->GetBounds(), (Rect{10, 20, 30, 70}));
  auto* text = dynamic_cast<CStaticTextView*>(described->GetNextSibling());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetTextString(), "Hello");
  EXPECT_FALSE(text->IsEnabled());
  EXPECT_EQ(text->GetBounds(), (Rect{40, 20, 60, 70}));
  ASSERT_NE(text->GetNextSibling(), nullptr);
  Rect content;
  static_cast<CItemListView*>(view.get())->GetContentBounds(&content);
  EXPECT_EQ(content, (Rect{10, 20, 80, 70}));
  // Without scroller codes the list registers with no scroller.
  EXPECT_EQ(static_cast<CItemListView*>(view.get())->GetScroller(CScrollControlView::kVertical), nullptr);
  // A list that names a missing item list cannot be built.
  std::unique_ptr<CPlugInView> missing = Make("!ItemList[('List')(301)]");
  ASSERT_NE(missing, nullptr);
  EXPECT_THROW(missing->Initialize(), CDAEError);
}

TEST(CustomViewTest, NoResourceViewsAddDescribedViewsOrTheirTextAndAPanelForAnyProcess) {
  ViewWorld world;
  CNoResourceView root;
  root.SetSize(300, 200);
  EXPECT_EQ(root.GetBounds(), (Rect{0, 0, 200, 300}));
  CPlugInView* quoted = root.AddView2("!StaticText[('NoID')(`quoted`)]", 10, 20, 100, 30, false);
  auto* text = dynamic_cast<CStaticTextView*>(quoted);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetTextString(), "quoted");
  EXPECT_EQ(text->GetBounds(), (Rect{20, 10, 50, 110}));
  EXPECT_FALSE(text->IsEnabled());
  auto* fallback = dynamic_cast<CStaticTextView*>(root.AddView2("!Unknown[('NoID')]", 0, 60, 300, 20, true));
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->GetTextString(), "!Unknown[('NoID')]");
  EXPECT_TRUE(root.AddView("!Background[('Last')]", 0, 100, 300, 100, true));
  EXPECT_EQ(root.FindViewByType(fourCharCode("Last"))->GetBounds(), (Rect{100, 0, 199, 299}));

  // A panel: a row per control, the slider for the continuous one.
  CProcess process;
  process.AddControl(new CPluginControl_OnOff(fourCharCode("swch"), "Switch", 0, true));
  process.AddControl(new CPluginControl_Linear(fourCharCode("gain"), "Gain", 0, 1, 0.01, 0.5, true, kPrefixNone,
                                               kPrefixExa));
  std::unique_ptr<CNoResourceView> panel(CreateMinimalGUI(&process, nullptr, nullptr));
  EXPECT_EQ(panel->GetBounds(), (Rect{0, 0, 2 * 20 + 14, 399}));
  int children = 0, sliders = 0;
  for (CPlugInView* c = panel->GetFirstChild(); c; c = c->GetNextSibling()) {
    ++children;
    if (auto* slider = dynamic_cast<CSliderControlEditor*>(c)) {
      ++sliders;
      EXPECT_EQ(slider->GetControlType(), fourCharCode("gain"));
      EXPECT_EQ(slider->GetBounds(), (Rect{30, 120, 44, 319}));
    }
  }
  EXPECT_EQ(children, 8); // three a row, and the rows' two control views
  EXPECT_EQ(sliders, 1);
}

namespace {
// A static text that takes the focus, with a clipboard of its own.
class EditableText : public CStaticTextView {
public:
  bool WantsFocus() override { return true; }
  void GetScrapText(unsigned char* out) override {
    out[0] = static_cast<unsigned char>(scrap.size());
    std::copy(scrap.begin(), scrap.end(), out + 1);
  }
  std::string scrap;
};
} // namespace

TEST(CustomViewTest, EditedStaticTextTakesTypedKeysAndPastesOnlyAClipboardWithText) {
  ViewWorld world;
  EditableText text;
  SItemDescriptor item = ItemWith("old");
  text.InitFromItem(&item);
  text.SetViewPort(&world.port());
  text.BeginEdit();
  ASSERT_TRUE(text.IsEditing());
  bool handled = false;
  for (char c : std::string("new")) text.HandleKey(c, &handled);
  EXPECT_TRUE(text.IsModified());
  text.HandleKey(CStaticTextView::kOptionV, &handled); // nothing to paste
  EXPECT_TRUE(handled);
  text.EndEdit(true);
  EXPECT_EQ(text.GetTextString(), "new");
  EXPECT_FALSE(text.IsEditing());

  text.scrap = "pasted";
  text.BeginEdit();
  text.HandleKey(CStaticTextView::kShiftOptionV, &handled);
  EXPECT_FALSE(text.IsModified());
  text.EndEdit(true);
  EXPECT_EQ(text.GetTextString(), "pasted");
  text.SetViewPort(nullptr);
}
