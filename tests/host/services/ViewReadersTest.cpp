// The readers of outside data behind host-drawn views: view descriptions
// (their pool and their numbers) and the item-list, dialog, control, icon
// and picture resources of a bundle, damaged, missing or including
// themselves. Whatever they hold, the host gets a view or a status, never
// an exception, an endless build or a write outside the parser's pool.

#include "host/services/CControlEditor.h"
#include "host/services/CDAEError.h"
#include "host/services/CMacControlView.h"
#include "host/services/CNoResourceView.h"
#include "host/services/CPictureView.h"
#include "host/services/CStaticTextView.h"
#include "platform/Alerts.h"
#include "platform/PortPicture.h"
#include "tests/host/services/ViewTestSupport.h"
#include "tests/support/ViewResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace viewtest;
using namespace zarn::test;

namespace {

int Children(CPlugInView& v) {
  int n = 0;
  for (CPlugInView* c = v.GetFirstChild(); c; c = c->GetNextSibling()) ++n;
  return n;
}

// Alerts heard while it lives.
class AlertLog {
public:
  AlertLog() {
    platform::setAlertHandler([this](const std::string& m) { messages.push_back(m); });
  }
  ~AlertLog() { platform::setAlertHandler(nullptr); }
  std::vector<std::string> messages;
};



} // namespace

TEST(ViewReadersTest, ParsesNeverWriteOutsideThePool) {
  // Every pool size from none to a few elements: whatever the text, the
  // bytes past the pool's end stay as they were.
  const std::string texts[] = {"!!!!'abcd'", "!\"abcdefgh\"", "!!'a' \"x\\ny\"", "!!!!!!'ab'", "!('abcd' 'efgh')",
                               "!Background[('NoID' \"long enough text\")]"};
  for (const std::string& text : texts)
    for (size_t room = 0; room <= 80; ++room) {
      SItemDescriptor item = ItemWith(text);
      auto parser = std::make_unique<SCustomParser>();
      parser->item = &item;
      std::fill(std::begin(parser->pool), std::end(parser->pool), 0xA5);
      parser->poolEnd = parser->pool + room;
      CCustomView::ParseCustomData(parser.get());
      const bool untouched = std::all_of(parser->pool + room, parser->pool + room + 64, [](unsigned char b) { return b == 0xA5; });
      EXPECT_TRUE(untouched) << text << " with " << room << " bytes of pool";
    }
  // 85 markers leave 4 bytes of the real pool: a four-character literal
  // does not fit, and the description fails as one that needs more pool.
  EXPECT_EQ(Make(std::string(85, '!') + "'abcd'"), nullptr);
  EXPECT_EQ(Make(std::string(84, '!') + "\"abcdefghijklmno\""), nullptr);
}

TEST(ViewReadersTest, NumbersOutsideTheirFieldBreakTheDescription) {
  ViewWorld world;
  auto plate = [](const std::string& number) -> int {
    std::unique_ptr<CPlugInView> v = Make("!Background[('NoID' plate " + number + ")]");
    return v ? static_cast<CCustomView*>(v.get())->GetPlateColorStateField() : -1;
  };
  EXPECT_EQ(plate("6"), 6);
  EXPECT_EQ(plate("0x6"), 6);
  EXPECT_EQ(plate("0"), 0);
  EXPECT_EQ(plate("7"), -1); // seven states: 0 to 6
  EXPECT_EQ(plate("-1"), -1);
  EXPECT_EQ(plate("4294967298"), -1); // not 2
  EXPECT_EQ(plate("0x100000002"), -1);
  EXPECT_EQ(plate("0x"), -1);
  EXPECT_EQ(plate("-"), -1);
  CCustomView view;
  EXPECT_NO_THROW(view.SetPlateBackground(true, 6, 0));
  EXPECT_THROW(view.SetPlateBackground(true, 7, 0), CDAEError);
  EXPECT_EQ(view.GetPlateColorStateField(), 6);

  // A control value takes the whole signed 32-bit range, and no more.
  auto control = [](const std::string& value, const std::string& fallback) -> std::unique_ptr<CControlView> {
    std::unique_ptr<CPlugInView> v = Make("!ProcessControl[('ctl1')(\"Gain\" 5 " + value + " " + fallback + ")]");
    return std::unique_ptr<CControlView>(dynamic_cast<CControlView*>(v.release()));
  };
  std::unique_ptr<CControlView> edges = control("2147483647", "-2147483648");
  ASSERT_NE(edges, nullptr);
  EXPECT_EQ(edges->GetValue(), 2147483647);
  EXPECT_EQ(edges->GetDefaultValue(), -2147483648);
  std::unique_ptr<CControlView> bits = control("0xFFFFFFFF", "0x80000000");
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(bits->GetValue(), -1);
  EXPECT_EQ(bits->GetDefaultValue(), -2147483648);
  EXPECT_EQ(control("2147483648", "0"), nullptr);
  EXPECT_EQ(control("0", "-2147483649"), nullptr);
  EXPECT_EQ(control("0x1FFFFFFFF", "0"), nullptr);

  // Sixteen-bit fields: resource ids and platform control numbers.
  std::unique_ptr<CPlugInView> list = Make("!ItemList[('NoID')(32767)]");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(static_cast<CItemListView*>(list.get())->GetItemListID(), 32767);
  list = Make("!ItemList[('NoID')(-32768)]");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(static_cast<CItemListView*>(list.get())->GetItemListID(), -32768);
  EXPECT_EQ(Make("!ItemList[('NoID')(32768)]"), nullptr); // not -32768
  EXPECT_EQ(Make("!ItemList[('NoID')(65664)]"), nullptr); // not 128
  EXPECT_EQ(Make("!ViewPopup[('NoID')('ctl1')(65537)]"), nullptr);
  std::unique_ptr<CPlugInView> button = Make("!Button[('NoID')(\"OK\" -32768 32767 1)]");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(Make("!Button[('NoID')(\"OK\" 0 40000 1)]"), nullptr);
}

TEST(ViewReadersTest, ViewsThatCannotBeBuiltAreLeftOutWithTheirStatus) {
  ViewWorld world;
  CNoResourceView root;
  root.SetSize(300, 200);
  // Missing resources.
  EXPECT_EQ(root.AddView2("!ItemList[('NoID')(128)]", 0, 0, 300, 200, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7053);
  EXPECT_EQ(root.AddView2("!ViewPopup[('NoID')('ctl1')(1)]", 0, 0, 40, 20, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7053);

  // Damaged item lists, each read as list 130.
  const std::vector<uint8_t> good = itemListResource({{{0, 0, 20, 50}, kStaticTextItem, "Hello"}});
  std::vector<uint8_t> manyItems = good;
  manyItems[0] = 0x7F;
  manyItems[1] = 0xFF;
  std::vector<uint8_t> pastEnd = good;
  pastEnd[15] = 200; // the first item's text length
  const std::vector<std::vector<uint8_t>> damaged = {
      manyItems,
      pastEnd,
      itemListResource({{{0, 0, 20, 50}, 0x7C, "x"}}),
      {},
      {0},
      itemListResource({{{0, 0, 20, 50}, kPictureItem, "\x01"}}),
      itemListResource({{{0, 0, 20, 50}, kIconItem, ""}}),
  };
  for (size_t i = 0; i < damaged.size(); ++i) {
    world.writeResource("DITL", 130, damaged[i]);
    CPlugInView* made = nullptr;
    EXPECT_NO_THROW(made = root.AddView2("!ItemList[('NoID')(130)]", 0, 0, 300, 200, true)) << i;
    EXPECT_EQ(made, nullptr) << i;
    EXPECT_EQ(root.GetLastError(), -7400) << i;
  }
  // Damaged dialogs, and one naming a missing item list.
  world.writeResource("DLOG", 131, std::vector<uint8_t>(10, 0));
  EXPECT_EQ(root.AddView2("!ViewPopup[('NoID')('ctl1')(131)]", 0, 0, 40, 20, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7053);
  world.writeResource("DLOG", 132, dialogResource({0, 0, 50, 80}, 999));
  EXPECT_EQ(root.AddView2("!ViewPopup[('NoID')('ctl1')(132)]", 0, 0, 40, 20, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7053);
  EXPECT_EQ(Children(root), 0);

  // The same list mended builds, and the status is clear again.
  world.writeResource("DITL", 130, good);
  CPlugInView* list = root.AddView2("!ItemList[('NoID')(130)]", 0, 0, 300, 200, true);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(root.GetLastError(), 0);
  ASSERT_EQ(Children(*list), 1);
  EXPECT_EQ(static_cast<CStaticTextView*>(list->GetFirstChild())->GetTextString(), "Hello");
  EXPECT_EQ(Children(root), 1);
}

TEST(ViewReadersTest, ControlResourcesThatCannotBeReadLeaveTheirControlOut) {
  ViewWorld world;
  world.writeResource("DITL", 140, itemListResource({{{10, 10, 30, 70}, kResControlItem, resourceID(140)}}));
  std::vector<uint8_t> titleTooLong = controlResource({0, 0, 20, 60}, 0, true, 1, 0, 0, "Go");
  titleTooLong.back() = 'o';
  titleTooLong[18] = 40;
  const std::vector<std::vector<uint8_t>> broken = {
      std::vector<uint8_t>(10, 0),
      controlResource({0, 0, 20, 60}, 0, true, 1, 0, 9, "Go"),
      titleTooLong,
  };
  for (size_t i = 0; i <= broken.size(); ++i) {
    if (i < broken.size()) world.writeResource("CNTL", 140, broken[i]);
    else std::remove((world.bundle().resourcesPath() + "CNTL.140").c_str());
    AlertLog alerts;
    CNoResourceView root;
    root.SetSize(300, 200);
    CPlugInView* list = root.AddView2("!ItemList[('NoID')(140)]", 0, 0, 300, 200, true);
    ASSERT_NE(list, nullptr) << i;
    auto* control = dynamic_cast<CResControlView*>(list->GetFirstChild());
    ASSERT_NE(control, nullptr) << i;
    EXPECT_NO_THROW(root.SetViewPort(&world.port())) << i;
    EXPECT_EQ(control->GetControl(), nullptr) << i;
    EXPECT_NO_THROW(root.Update(nullptr)) << i;
    EXPECT_NO_THROW(root.SetViewPort(nullptr)) << i;
    EXPECT_NO_THROW(root.SetViewPort(&world.port())) << i;
    // Said once per view, with the resource and the status.
    ASSERT_EQ(alerts.messages.size(), 1u) << i;
    EXPECT_NE(alerts.messages[0].find("140"), std::string::npos) << alerts.messages[0];
    EXPECT_NE(alerts.messages[0].find("-7053"), std::string::npos) << alerts.messages[0];
    root.SetViewPort(nullptr);
  }
}

TEST(ViewReadersTest, AVisibleControlIsDrawnOnTheFirstUpdate) {
  ViewWorld world;
  world.writeResource("CNTL", 141, controlResource({0, 0, 20, 60}, 0, true, 1, 0, 0, "Go"));
  world.writeResource("DITL", 142, itemListResource({{{10, 10, 30, 70}, kResControlItem, resourceID(141)}}));
  CNoResourceView root;
  root.SetSize(300, 200);
  ASSERT_NE(root.AddView2("!ItemList[('NoID')(142)]", 0, 0, 300, 200, true), nullptr);
  root.SetViewPort(&world.port());
  root.Update(nullptr);
  // A push button: a black frame round a white face.
  auto pixel = [&](int h, int v) {
    const uint8_t* p = world.port().pixels() + (static_cast<size_t>(v) * world.port().width() + h) * 4;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(pixel(10, 20), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(pixel(69, 12), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(pixel(12, 12), (std::vector<int>{255, 255, 255}));
  root.SetViewPort(nullptr);
}

TEST(ViewReadersTest, ResourcesThatIncludeThemselvesAreRefused) {
  ViewWorld world;
  CNoResourceView root;
  root.SetSize(300, 200);
  world.writeResource("DITL", 150, itemListResource({{{0, 0, 20, 50}, kStaticTextItem, "!ItemList[('NoID')(150)]"}}));
  EXPECT_EQ(root.AddView2("!ItemList[('NoID')(150)]", 0, 0, 300, 200, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7400);
  // Through a dialog: the pop-up in its list names the dialog again.
  world.writeResource("DLOG", 151, dialogResource({0, 0, 50, 80}, 152));
  world.writeResource("DITL", 152,
                      itemListResource({{{0, 0, 20, 50}, kStaticTextItem, "!ViewPopup[('NoID')('ctl1')(151)]"}}));
  EXPECT_EQ(root.AddView2("!ViewPopup[('NoID')('ctl1')(151)]", 0, 0, 40, 20, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7400);
  // Through a chain of two lists.
  world.writeResource("DITL", 155, itemListResource({{{0, 0, 20, 50}, kStaticTextItem, "!ItemList[('NoID')(156)]"}}));
  world.writeResource("DITL", 156, itemListResource({{{0, 0, 20, 50}, kStaticTextItem, "!ItemList[('NoID')(155)]"}}));
  EXPECT_EQ(root.AddView2("!ItemList[('NoID')(155)]", 0, 0, 300, 200, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7400);
  EXPECT_EQ(Children(root), 0);

  // One list used twice side by side, and nested lists, are no cycle.
  world.writeResource("DITL", 153, itemListResource({{{0, 0, 20, 50}, kStaticTextItem, "!ItemList[('Mid1')(154)]"},
                                                     {{30, 0, 50, 50}, kStaticTextItem, "!ItemList[('Mid2')(154)]"}}));
  world.writeResource("DITL", 154, itemListResource({{{0, 0, 10, 10}, kStaticTextItem, "!Background[('Leaf')]"}}));
  CPlugInView* nested = root.AddView2("!ItemList[('Top ')(153)]", 0, 0, 300, 200, true);
  ASSERT_NE(nested, nullptr);
  CPlugInView* second = nested->FindViewByType(fourCharCode("Mid2"));
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second->FindViewByType(fourCharCode("Leaf")), nullptr);

  // A web of lists each naming the next eight times over would take
  // millions of builds: it is refused as well.
  for (int16_t id = 160; id < 166; ++id) {
    const std::string next = "!ItemList[('NoID')(" + std::to_string(id + 1) + ")]";
    world.writeResource("DITL", id, itemListResource(std::vector<ListItem>(8, {{0, 0, 10, 10}, kStaticTextItem, next})));
  }
  world.writeResource("DITL", 166, itemListResource({{{0, 0, 10, 10}, kStaticTextItem, "!Background[('Leaf')]"}}));
  EXPECT_EQ(root.AddView2("!ItemList[('NoID')(160)]", 0, 0, 300, 200, true), nullptr);
  EXPECT_EQ(root.GetLastError(), -7400);
  EXPECT_EQ(Children(root), 1);
}

TEST(ViewReadersTest, AnOverlongDescriptionIsReadCutAndSaidOnce) {
  ViewWorld world;
  AlertLog alerts;
  CNoResourceView root;
  root.SetSize(300, 200);
  const std::string fits = "!StaticText[('NoID')(`" + std::string(255 - 25, 'a') + "`)]";
  ASSERT_EQ(fits.size(), 255u);
  auto* whole = dynamic_cast<CStaticTextView*>(root.AddView2(fits.c_str(), 0, 0, 300, 20, true));
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->GetTextString(), std::string(255 - 25, 'a'));
  EXPECT_TRUE(alerts.messages.empty());

  // 300 characters: the item keeps the low 8 bits of the length, 44, which
  // do not parse, so the view shows those 44 characters as text.
  const std::string longer = "!StaticText[('NoID')(`" + std::string(300 - 25, 'b') + "`)]";
  auto* cut = dynamic_cast<CStaticTextView*>(root.AddView2(longer.c_str(), 0, 30, 300, 20, true));
  ASSERT_NE(cut, nullptr);
  std::string shown = longer.substr(0, 44);
  std::replace(shown.begin(), shown.end(), '`', '"');
  EXPECT_EQ(cut->GetTextString(), shown);
  ASSERT_EQ(alerts.messages.size(), 1u);
  EXPECT_NE(alerts.messages[0].find("\"StaticText\""), std::string::npos) << alerts.messages[0];
  EXPECT_NE(alerts.messages[0].find("300"), std::string::npos) << alerts.messages[0];
}

TEST(ViewReadersTest, ADisabledPictureWinsOverAClickedOne) {
  ViewWorld world;
  auto picture = [](uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> rgba;
    for (int i = 0; i < 4; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
    return platform::PortPicture(2, 2, rgba).encode();
  };
  world.writeResource("PICT", 1000, picture(255, 0, 0));
  world.writeResource("PICT", 1001, picture(0, 255, 0));
  world.writeResource("PICT", 1002, picture(0, 0, 255));
  CNoResourceView root;
  root.SetSize(300, 200);
  CPlugInView* made = root.AddView2("!Picture[('NoID')(normal 1000 clicked 1001 disabled 1002)]", 20, 20, 40, 40, true);
  auto* view = dynamic_cast<CPictureView*>(made);
  ASSERT_NE(view, nullptr);
  root.SetViewPort(&world.port());
  auto drawn = [&] {
    root.Update(nullptr);
    const uint8_t* p = world.port().pixels() + (static_cast<size_t>(30) * world.port().width() + 30) * 4;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(drawn(), (std::vector<int>{255, 0, 0}));
  view->SetClicked(true);
  EXPECT_EQ(drawn(), (std::vector<int>{0, 255, 0}));
  view->SetEnabled(false);
  EXPECT_EQ(view->GetCurrentPicture()->GetID(), 1002);
  EXPECT_EQ(drawn(), (std::vector<int>{0, 0, 255}));
  view->SetClicked(false);
  EXPECT_EQ(drawn(), (std::vector<int>{0, 0, 255}));
  root.SetViewPort(nullptr);
}

TEST(ViewReadersTest, APopUpOfAControlWithBillionsOfStepsOffersWhatAMenuHolds) {
  ViewWorld world;
  CNoResourceView root;
  root.SetSize(300, 200);
  ASSERT_NE(root.AddView2("!ProcessControl[('ctl2')(`Mode` 2000000000 0)]", 0, 0, 300, 10, true), nullptr);
  CPlugInView* popup = root.AddView2("!TextPopup[('NoID')('ctl2')]", 20, 40, 80, 20, true);
  ASSERT_NE(popup, nullptr);
  root.Initialize();
  root.SetViewPort(&world.port());
  auto* control = dynamic_cast<CControlView*>(root.FindViewByType(fourCharCode("ctl2")));
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetNumSteps(), 2000000000);
  EXPECT_EQ(static_cast<CControlEditor*>(popup)->GetControlView(), control);
  // The menu holds the first 32767 steps; the current step, in the middle
  // of the range, is past them, so no item is marked; the first item
  // chosen sets the lowest step.
  world.server().chooseInNextMenu({"-32768"});
  world.dragAlong({});
  EventRecord press;
  press.what = kMouseDownEvent;
  press.where = {50, 60};
  root.HandleMouseDown(&press);
  ASSERT_FALSE(world.server().shownMenus().empty());
  const auto& shown = world.server().shownMenus().back().menu.children;
  ASSERT_EQ(shown.size(), 32767u);
  EXPECT_EQ(shown.front().text, "-32768");
  EXPECT_TRUE(std::none_of(shown.begin(), shown.end(), [](const platform::MenuEntry& e) { return e.checked; }));
  EXPECT_EQ(control->GetValue(), INT32_MIN);
  root.SetViewPort(nullptr);
}
