// Control views: the step arithmetic, process controls shared by editors,
// scroll controls, the shared picture cache and platform-control views.

#include "host/CProcess.h"
#include "host/services/CControlEditor.h"
#include "host/services/CDAEError.h"
#include "host/services/CMacControlView.h"
#include "host/services/CPictureView.h"
#include "platform/Alerts.h"
#include "host/services/CPluginControl_Discrete.h"
#include "tests/host/services/ViewTestSupport.h"

#include <gtest/gtest.h>

using namespace viewtest;

namespace {

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const CDAEError& e) {
    return e.GetErrorCode();
  }
  return 0;
}

// An editor that counts its refreshes and remembers the value it saw.
class Watcher : public CControlEditor {
public:
  explicit Watcher(const char (&type)[5]) { SetControlType(fourCharCode(type)); }
  void Refresh() override {
    ++refreshes;
    seen = GetValue();
  }
  int refreshes = 0;
  int32_t seen = 0;
};

// Content that scrolls: children rectangles, moved by ScrollContents.
class Scroller : public CScrollableView {
public:
  void ScrollContents(int16_t dh, int16_t dv) override {
    scrolled.push_back({dv, dh});
    for (CPlugInView* c = GetFirstChild(); c; c = c->GetNextSibling()) c->Offset(dh, dv);
  }
  void GetContentBounds(Rect* bounds) override {
    *bounds = {};
    for (CPlugInView* c = GetFirstChild(); c; c = c->GetNextSibling()) *bounds = bounds->united(c->GetBounds());
  }
  std::vector<Point> scrolled;
};

CPlugInView* ViewAt(Rect r) {
  auto* v = new CCustomView;
  v->SetRect(&r);
  return v;
}

std::vector<uint8_t> Picture(RGBColor c) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 4; ++i) rgba.insert(rgba.end(), {uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8), 255});
  return platform::PortPicture(2, 2, rgba).encode();
}

} // namespace

TEST(ControlViewTest, StepsSpanTheWholeRangeAndReadBack) {
  for (int32_t n : {2, 3, 4, 5, 7, 8, 10, 11, 100, 1001, 65536}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ControlStepToValue(n, 0), INT32_MIN);
    EXPECT_EQ(ControlStepToValue(n, n - 1), INT32_MAX);
    if (n % 2 == 1) {
      EXPECT_EQ(ControlStepToValue(n, n / 2), 0);
    }
    int32_t stride = std::max(1, n / 200);
    for (int32_t i = 0; i < n; i += stride) {
      int32_t v = ControlStepToValue(n, i);
      ASSERT_EQ(ControlValueToStep(n, v), i);
      if (i > 0) {
        ASSERT_LT(ControlStepToValue(n, i - 1), v);
        ASSERT_EQ(ControlValueToStep(n, v - 1), i - 1); // the way back rounds down
      }
    }
  }
  for (int32_t n : {-1, 0, 1}) {
    EXPECT_EQ(ControlStepToValue(n, 0), INT32_MIN);
    EXPECT_EQ(ControlStepToValue(n, 5), INT32_MIN);
    EXPECT_EQ(ControlValueToStep(n, 12345), 0);
  }
  CControlView three;
  three.SetNumSteps(3);
  three.SetValue(0);
  EXPECT_EQ(three.GetStep(), 1);
  three.SetStep(2);
  EXPECT_EQ(three.GetValue(), INT32_MAX);
}

TEST(ControlViewTest, EditorsOfOneTypeShareTheProcessControl) {
  CProcess process;
  process.AddControl(new CPluginControl_List(fourCharCode("wave"), "Wave", {"Saw", "Square", "Sine", "Noise"}, 0, true));

  CCustomView root;
  Rect r{0, 0, 100, 100};
  root.SetRect(&r);
  root.AddSubView(ViewAt({0, 0, 10, 10}), false);
  auto* a = new Watcher("Wave");
  auto* b = new Watcher("Wave");
  root.AddSubView(a, false);
  root.AddSubView(b, false);
  root.Initialize(); // attaches every editor

  auto* control = dynamic_cast<CProcessControlView*>(root.FindViewByType(fourCharCode("Wave")));
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(a->GetControlView(), control);
  EXPECT_EQ(b->GetControlView(), control);
  EXPECT_EQ(control->GetParent(), &root);

  control->SetControl(&process, 1);
  EXPECT_EQ(a->GetNumSteps(), 4);
  a->SetStep(2);
  EXPECT_EQ(process.GetControlValue(1), ControlStepToValue(4, 2));
  EXPECT_EQ(b->seen, ControlStepToValue(4, 2)); // the other editor followed
  char text[256];
  control->GetValueString(b->GetValue(), text, 255);
  EXPECT_STREQ(text, "Sine");
  int32_t index = 0;
  b->GetControlIndex(&index);
  EXPECT_EQ(index, 1);
  // Another control view cannot take an attached editor.
  CControlView other;
  EXPECT_EQ(ErrorOf([&] { a->SetControlView(&other); }), -7400);

  root.Detach();
  EXPECT_EQ(a->GetControlView(), nullptr);
  EXPECT_EQ(control->GetFirstEditor(), nullptr);
  a->SetValue(77); // an editor alone keeps its own value
  EXPECT_EQ(a->GetValue(), 77);
  EXPECT_EQ(a->GetNumSteps(), 1);
}

TEST(ControlViewTest, ControlDescriptionsAreReadStrictly) {
  CControlView view;
  Description good({List({Code("Ctl1")}), List({Str("Cutoff"), Num(5), Num(65536 * 3), Num(-7)})});
  view.InitFromItemParse(good.parser());
  EXPECT_EQ(view.GetViewType(), fourCharCode("Ctl1"));
  EXPECT_EQ(view.GetNumSteps(), 5);
  EXPECT_EQ(view.GetDefaultValue(), -7);
  char text[8];
  view.GetValueString(view.GetValue(), text, 7);
  EXPECT_STREQ(text, "3");
  unsigned char name[256];
  view.GetName(name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "Cutoff");

  std::vector<std::vector<Elem>> broken = {
      {Str("x"), Num(5), Num(0), Num(0), Num(0)}, // one number too many
      {Str("x"), Num(5)},                         // no value
      {Num(5), Num(0)},                           // no name
  };
  for (auto& group : broken) {
    CControlView v;
    Description d({List({Code("Ctl1")}), List(group)});
    EXPECT_EQ(ErrorOf([&] { v.InitFromItemParse(d.parser()); }), -7400);
  }
  CButtonView button;
  Description buttonDescription({List({Code("Btn1")}), List({Str("OK"), Num(0), Num(1), Num(0), Str("?")})});
  EXPECT_EQ(ErrorOf([&] { button.InitFromItemParse(buttonDescription.parser()); }), -7400);
}

TEST(ControlViewTest, ScrollControlsStepThroughPagesAndNeverDivideByZero) {
  Scroller list;
  Rect visible{0, 0, 100, 50};
  list.SetRect(&visible);
  list.AddSubView(ViewAt({0, 0, 80, 50}), false);
  CScrollControlView scroll;

  // Content that fits is one page at the bottom of the range and never scrolls.
  scroll.SetScrolledView(&list, CScrollControlView::kVertical);
  EXPECT_EQ(scroll.GetNumSteps(), 1);
  EXPECT_EQ(scroll.GetValue(), INT32_MIN);
  scroll.SetValue(INT32_MAX);
  EXPECT_TRUE(list.scrolled.empty());

  // Nothing visible along the axis: one page, no division by zero.
  Scroller flat;
  Rect none{0, 0, 0, 50};
  flat.SetRect(&none);
  flat.AddSubView(ViewAt({0, 0, 250, 50}), false);
  scroll.SetScrolledView(&flat, CScrollControlView::kVertical);
  EXPECT_EQ(scroll.GetNumSteps(), 1);
  scroll.SetValue(0);
  EXPECT_TRUE(flat.scrolled.empty());

  // 250 pixels in a 100-pixel view: 3 pages; the top of the range shows the end.
  list.AddSubView(ViewAt({80, 0, 250, 50}), false);
  scroll.SetScrolledView(&list, CScrollControlView::kVertical);
  EXPECT_EQ(scroll.GetNumSteps(), 3);
  EXPECT_EQ(scroll.GetValue(), INT32_MIN);
  scroll.SetValue(INT32_MAX);
  Rect content;
  list.GetContentBounds(&content);
  EXPECT_EQ(content.bottom, visible.bottom);
  scroll.SetStep(1);
  list.GetContentBounds(&content);
  EXPECT_EQ(content.top, -75);
  scroll.SetStep(0);
  list.GetContentBounds(&content);
  EXPECT_EQ(content.top, 0);
  // Rebinding reads the offset back as a value.
  list.ScrollContents(0, -150);
  scroll.SetScrolledView(&list, CScrollControlView::kVertical);
  EXPECT_EQ(scroll.GetValue(), INT32_MAX);
}

TEST(ControlViewTest, PictureViewsSharePicturesThroughTheCache) {
  ViewWorld world;
  const RGBColor red{0xFFFF, 0, 0}, blue{0, 0, 0xFFFF};
  world.writeResource("PICT", 1000, Picture(red));
  world.writeResource("PICT", 11000, Picture(red));
  world.writeResource("PICT", 1001, Picture(blue));
  world.writeResource("PICT", 2000, {'Z', 'P', 'I', 'C', 0, 9}); // malformed

  {
    CCachedPictureManager manager;
    EXPECT_EQ(manager.GetCount(), 0);
    CCachedPicture* first = manager.AcquireLoaded(1000);
    CCachedPicture* again = manager.Acquire(1000);
    EXPECT_EQ(first, again);
    EXPECT_EQ(first->GetUseCount(), 2);
    CCachedPicture* missing = manager.AcquireLoaded(1002);
    EXPECT_EQ(missing->GetID(), -1);
    EXPECT_NE(manager.AcquireLoaded(1002), missing); // never found by id again
    EXPECT_EQ(manager.AcquireLoaded(2000)->GetID(), -1);
    manager.Release(first);
    EXPECT_EQ(manager.GetCount(), 4);
    manager.Release(again);
    EXPECT_EQ(manager.GetCount(), 3);
    CCachedPicture stranger;
    manager.Release(&stranger); // not held: left alone
    EXPECT_EQ(manager.GetCount(), 3);
  }

  CCustomView root;
  Rect r{0, 0, 100, 100};
  root.SetRect(&r);
  auto* one = new CPictureView;
  auto* two = new CPictureView;
  Rect r1{10, 10, 20, 20}, r2{30, 10, 40, 20};
  one->SetRect(&r1);
  two->SetRect(&r2);
  root.AddSubView(one, false);
  root.AddSubView(two, false);
  root.SetViewPort(&world.port());
  one->SetEnabled(true);
  one->SetPicture(CPictureView::kNormal, 1000);
  two->SetPicture(CPictureView::kNormal, 1000);
  CCachedPictureManager* cache = CPictureView::GetPictureManager();
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(one->GetPicture(0), two->GetPicture(0));
  EXPECT_EQ(one->GetPicture(0)->GetUseCount(), 2);
  EXPECT_EQ(cache->GetCount(), 2); // 1000 and its second picture 11000

  // A new id for one view leaves the other view's picture as it was.
  one->SetPicture(CPictureView::kNormal, 1001);
  EXPECT_EQ(two->GetPicture(0)->GetID(), 1000);
  EXPECT_EQ(two->GetPicture(0)->GetUseCount(), 1);
  EXPECT_EQ(one->GetPicture(0)->GetID(), 1001);
  root.Update(nullptr);
  EXPECT_EQ(world.port().pixel(15, 15), blue);
  EXPECT_EQ(world.port().pixel(15, 35), red);

  // Disabled and clicked pictures show by state.
  one->SetPicture(CPictureView::kDisabled, 1000);
  one->SetEnabled(false);
  EXPECT_EQ(world.port().pixel(15, 15), red);
  one->SetPicture(CPictureView::kDisabled, -1);
  EXPECT_EQ(one->GetCurrentPicture()->GetID(), 1001);

  // Ids whose second picture would leave 16 bits are refused.
  EXPECT_EQ(ErrorOf([&] { one->SetPicture(CPictureView::kNormal, 22768); }), -7400);
  EXPECT_EQ(ErrorOf([&] { one->SetPicture(3, 1000); }), -7400);
  EXPECT_EQ(one->GetPicture(0)->GetID(), 1001);

  two->SetPicture(CPictureView::kClicked, -1); // a state without pictures: nothing to release
  root.RemoveSubView(one);
  delete one;
  EXPECT_EQ(CPictureView::GetPictureManager(), cache);
  root.RemoveSubView(two);
  delete two; // the last pictures go, and the cache with them
  EXPECT_EQ(CPictureView::GetPictureManager(), nullptr);
}

TEST(ControlViewTest, PlatformControlViewsLiveWithThePortAndTrackTheMouse) {
  ViewWorld world;
  CCustomView root;
  Rect r{0, 0, 200, 300};
  root.SetRect(&r);
  auto* button = new CButtonView;
  SItemDescriptor item = Item({10, 10, 30, 80});
  item.data[0] = 2;
  item.data[1] = 'O';
  item.data[2] = 'K';
  button->InitFromItem(&item);
  root.AddSubView(button, false);
  EXPECT_EQ(button->GetControl(), nullptr);
  root.SetViewPort(&world.port());
  ASSERT_NE(button->GetControl(), nullptr);
  EXPECT_EQ(button->GetControl()->title(), "OK");
  root.Update(nullptr);
  EXPECT_TRUE(button->GetControl()->isVisible());

  world.dragAlong({{20, 20}, {25, 40}});
  EventRecord press;
  press.what = kMouseDownEvent;
  press.where = {20, 20};
  root.HandleMouseDown(&press);
  EXPECT_EQ(button->GetLastPart(), platform::PortControl::kInButton);
  world.dragAlong({{20, 20}, {100, 200}});
  root.HandleMouseDown(&press);
  EXPECT_EQ(button->GetLastPart(), platform::PortControl::kNoPart);

  button->MoveBy(5, 7);
  EXPECT_EQ(button->GetControl()->bounds(), (Rect{17, 15, 37, 85}));

  // A control resource: the view takes its size at its own place.
  std::vector<uint8_t> cntl = {0, 0, 0, 0, 0, 16, 0, 90, 0, 1, 0, 1, 0, 1, 0, 0, 0, 1, 4, 'M', 'u', 't', 'e'};
  world.writeResource("CNTL", 130, cntl);
  auto* res = new CResControlView;
  SItemDescriptor resItem = Item({50, 20, 60, 30});
  resItem.data[0] = 2;
  resItem.data[2] = 130;
  res->InitFromItem(&resItem);
  root.AddSubView(res, false);
  res->SetViewPort(&world.port());
  EXPECT_EQ(res->GetBounds(), (Rect{50, 20, 66, 110}));
  EXPECT_EQ(res->GetControl()->kind(), platform::PortControl::kCheckBox);
  EXPECT_EQ(res->GetControl()->value(), 1);

  // Controls that cannot be made are left out; the alert handler hears why,
  // once per view, and nothing is thrown at the host.
  std::vector<std::string> alerts;
  platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
  CResControlView unset, missing;
  EXPECT_EQ(ErrorOf([&] { unset.SetViewPort(&world.port()); }), 0);
  missing.SetResourceID(131);
  EXPECT_EQ(ErrorOf([&] { missing.SetViewPort(&world.port()); }), 0);
  EXPECT_EQ(ErrorOf([&] { missing.SetViewPort(&world.port()); }), 0);
  CMacControlView plain;
  EXPECT_EQ(ErrorOf([&] { plain.SetViewPort(&world.port()); }), 0);
  platform::setAlertHandler(nullptr);
  EXPECT_EQ(unset.GetControl(), nullptr);
  EXPECT_EQ(missing.GetControl(), nullptr);
  EXPECT_EQ(plain.GetControl(), nullptr);
  ASSERT_EQ(alerts.size(), 3u);
  EXPECT_NE(alerts[0].find("-7400"), std::string::npos) << alerts[0];
  EXPECT_NE(alerts[1].find("131"), std::string::npos) << alerts[1];
  EXPECT_NE(alerts[1].find("-7053"), std::string::npos) << alerts[1];

  root.SetViewPort(nullptr);
  EXPECT_EQ(button->GetControl(), nullptr);
}
