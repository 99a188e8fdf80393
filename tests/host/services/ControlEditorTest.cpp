// Control editors: dial and slider arithmetic and dragging, the default on
// Option-click, touches released however tracking ends, scripted pop-up
// choices and radio groups.

#include "host/CProcess.h"
#include "host/services/CDAEError.h"
#include "host/services/CDialControlEditor.h"
#include "host/services/CPluginControl_Discrete.h"
#include "host/services/CRadioGroupControlEditor.h"
#include "host/services/CSliderControlEditor.h"
#include "host/services/CTextEditEditor.h"
#include "host/services/CTextControlEditor.h"
#include "host/services/CTextPopupControlEditor.h"
#include "host/services/CViewPopupControlEditor.h"
#include "host/services/HostViewTypes.h"
#include "platform/Clock.h"
#include "tests/host/services/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace viewtest;

namespace {

constexpr int64_t kSpan = 0xFFFFFFFFLL;

// A process whose idle time records the touch of its control and can fail.
class TrackedProcess : public CProcess {
public:
  TrackedProcess() { AddControl(new CPluginControl_List(fourCharCode("wave"), "Wave", {"Saw", "Square", "Sine", "Noise"}, 0, true)); }
  void Idle() override {
    maxTouch = std::max(maxTouch, GetTouchCount(1));
    if (throwInIdle) throw CDAEError(-7400);
  }
  int32_t maxTouch = 0;
  bool throwInIdle = false;
};

// A control view whose value cannot be set.
class Stubborn : public CControlView {
public:
  void SetValue(int32_t) override { throw CDAEError(-7053); }
};

// A window with a root view, a control view of type 'Ctl1' and editors.
struct Panel {
  explicit Panel(ViewWorld& world, CControlView* control = new CControlView) : control(control) {
    Rect r{0, 0, 200, 300};
    root.SetRect(&r);
    control->SetViewType(fourCharCode("Ctl1"));
    Rect none{0, 0, 0, 0};
    control->SetRect(&none);
    root.AddSubView(control, false);
    root.SetViewPort(&world.port());
  }
  template <class E> E* add(Rect r) {
    E* e = new E;
    e->SetRect(&r);
    e->SetEnabled(true);
    e->SetControlType(fourCharCode("Ctl1"));
    root.AddSubView(e, false);
    e->SetViewPort(root.GetPort());
    e->Initialize();
    e->Attach();
    return e;
  }
  void click(Point p, uint16_t modifiers = 0) {
    EventRecord e;
    e.what = kMouseDownEvent;
    e.where = p;
    e.modifiers = modifiers;
    root.HandleMouseDown(&e);
  }
  // Builds the view a description names and attaches it like add does.
  template <class E> E* describe(const std::string& text, Rect r) {
    SItemDescriptor item = Item(r);
    item.data[0] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), item.data + 1);
    unsigned char ok = 2;
    CPlugInView* view = CCustomView::NewCustomItem(&item, &ok);
    auto* e = dynamic_cast<E*>(view);
    if (!e) {
      delete view;
      return nullptr;
    }
    e->SetEnabled(true);
    root.AddSubView(e, false);
    e->SetViewPort(root.GetPort());
    e->Initialize();
    e->Attach();
    return e;
  }
  CCustomView root;
  CControlView* control;
};

// A control that records the texts it is asked to read and reads only
// whole numbers of the control's range.
class Reader : public CControlView {
public:
  bool GetValueFromString(int32_t* value, const char* text) override {
    read.push_back(text);
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (!*text || *end || n < -32768 || n > 32767) return false;
    *value = static_cast<int32_t>(n * 65536);
    return true;
  }
  void AcceptsKey(int16_t, unsigned char* accept) override { *accept = 1; }
  std::vector<std::string> read;
};

// A view that counts the synthetic presses it hears.
int sSyntheticPresses = 0;
class PressProbe : public CCustomView {
public:
  void TrackClick(EventRecord* event, bool synthetic) override {
    if (synthetic && event->modifiers == 128) ++sSyntheticPresses;
  }
};
CPlugInView* CreatePressProbe() { return new PressProbe; }

std::vector<uint8_t> BigEndianRect(Rect r) {
  std::vector<uint8_t> out;
  for (int16_t c : {r.top, r.left, r.bottom, r.right}) out.insert(out.end(), {uint8_t(c >> 8), uint8_t(c)});
  return out;
}

// An item list of static-text items holding descriptions.
std::vector<uint8_t> ItemList(const std::vector<std::pair<Rect, std::string>>& items) {
  std::vector<uint8_t> list{0, static_cast<uint8_t>(items.size() - 1)};
  for (const auto& [r, text] : items) {
    list.insert(list.end(), {0, 0, 0, 0});
    std::vector<uint8_t> rect = BigEndianRect(r);
    list.insert(list.end(), rect.begin(), rect.end());
    list.push_back(8);
    list.push_back(static_cast<uint8_t>(text.size()));
    list.insert(list.end(), text.begin(), text.end());
    if (text.size() % 2) list.push_back(0);
  }
  return list;
}

// Dialog 400, 60 x 120, with item list 401.
void WriteDialog(ViewWorld& world, const std::vector<uint8_t>& items) {
  std::vector<uint8_t> dialog = BigEndianRect({40, 40, 100, 160});
  dialog.resize(20, 0);
  dialog[18] = 401 >> 8;
  dialog[19] = 401 & 0xFF;
  world.writeResource("DLOG", 400, dialog);
  world.writeResource("DITL", 401, items);
}

} // namespace

TEST(ControlEditorTest, DialAnglesAndLinearMovesMapOntoTheRange) {
  CDialControlEditor dial;
  Rect r{0, 0, 40, 80}; // not square: angles are taken relative to the rect
  dial.SetRect(&r);
  EXPECT_EQ(dial.PointToAngle({0, 40}), 0);
  EXPECT_EQ(dial.PointToAngle({20, 80}), 90);
  EXPECT_EQ(dial.PointToAngle({40, 40}), 180);
  EXPECT_EQ(dial.PointToAngle({0, 80}), 45);

  // Non-cyclic: +-144 degrees cover the range, beyond that the ends hold.
  EXPECT_EQ(dial.AngleToValue(150), INT32_MAX);
  EXPECT_EQ(dial.AngleToValue(-150), INT32_MIN);
  EXPECT_EQ(dial.AngleToValue(0), 0);
  for (int a = -143; a <= 144; ++a) ASSERT_GT(dial.AngleToValue(a), dial.AngleToValue(a - 1)) << a;
  EXPECT_EQ(dial.AngleToValue(72), 1073741824); // half of the upper half
  dial.SetCyclic(true);
  EXPECT_EQ(dial.AngleToValue(150), static_cast<int32_t>(150 * 2147483648LL / 180));
  EXPECT_EQ(dial.AngleToValue(180), INT32_MAX);
  EXPECT_EQ(dial.AngleToValue(181), dial.AngleToValue(-179));
  dial.SetReverse(true);
  EXPECT_EQ(dial.AngleToValue(90), -1073741824);

  // Linear: one pixel is 28,585,472, a quarter of that with Command.
  EXPECT_EQ(dial.MoveLinear(0, 1, 0, false), 28585472);
  EXPECT_EQ(dial.MoveLinear(0, 0, 1, true), 7146368);
  EXPECT_EQ(dial.MoveLinear(0, 3, 2, false), 5 * 28585472);
  EXPECT_EQ(dial.MoveLinear(0, 3, -2, false), 3 * 28585472); // against the larger move: dropped
  EXPECT_EQ(dial.MoveLinear(0, -1, -4, false), -5 * 28585472);
  EXPECT_EQ(dial.MoveLinear(INT32_MAX - 5, 1, 0, false), INT32_MAX);
  EXPECT_EQ(dial.MoveLinear(INT32_MIN + 5, -100, 0, false), INT32_MIN);
}

TEST(ControlEditorTest, DraggingADialFollowsTheMouseAroundItsCentre) {
  ViewWorld world;
  Panel panel(world);
  auto* dial = panel.add<CDialControlEditor>({20, 20, 60, 60});
  auto* twin = panel.add<CDialControlEditor>({20, 100, 60, 140});
  EXPECT_EQ(dial->GetControlView(), panel.control);
  EXPECT_EQ(twin->GetControlView(), panel.control);

  world.dragAlong({{30, 40}, {40, 60}});
  panel.click({30, 40});
  EXPECT_EQ(panel.control->GetValue(), 1342177280); // 90 degrees x 10/8 of 180
  world.dragAlong({{40, 59}, {40, 20}});
  panel.click({40, 59});
  EXPECT_EQ(panel.control->GetValue(), -1342177280);
  EXPECT_FALSE(dial->GetClicked());
  // The twin's pointer was redrawn: the face's top-right quadrant of the
  // twin is plain face where the old pointer (pointing right) stood.
  panel.root.Update(nullptr);
  platform::PortColor face{0xAAAA, 0xAAAA, 0xAAAA};
  EXPECT_EQ(world.port().pixel(128, 40), face);
  EXPECT_NE(world.port().pixel(110, 40), face); // the pointer now points left

  dial->SetAngleMode(false);
  world.dragAlong({{40, 40}, {40, 42}, {41, 42}}); // 2 right, then 1 down
  panel.click({40, 40}, kCommandKeyBit);
  EXPECT_EQ(panel.control->GetValue(), -1342177280 + 7146368);
}

TEST(ControlEditorTest, SliderKnobTravelsOverTheRangeAndCommandIsSixTimesFiner) {
  ViewWorld world;
  Panel panel(world);
  auto* slider = panel.add<CSliderControlEditor>({100, 20, 120, 220});
  CCustomView* knob = slider->GetKnob();
  ASSERT_NE(knob, nullptr);
  EXPECT_EQ(knob->GetViewType(), CSliderControlEditor::kKnobType);
  EXPECT_TRUE(slider->IsHorizontal());
  EXPECT_EQ(slider->KnobLength(), 15);
  EXPECT_EQ(slider->Travel(), 185);
  panel.control->SetValue(INT32_MIN);
  EXPECT_EQ(knob->GetBounds(), (Rect{100, 20, 120, 35}));

  // The knob always lies inside the slider, further right for larger values.
  int lastLeft = 0;
  for (int64_t v = INT32_MIN; v <= INT32_MAX; v += kSpan / 64) {
    Rect k = slider->KnobRect(static_cast<int32_t>(v));
    ASSERT_TRUE(slider->GetBounds().encloses(k));
    ASSERT_GE(k.left, lastLeft);
    lastLeft = k.left;
  }
  EXPECT_EQ(slider->KnobRect(INT32_MAX).right, 220);

  world.dragAlong({{110, 25}, {110, 62}});
  panel.click({110, 25});
  int32_t coarse = panel.control->GetValue();
  EXPECT_EQ(coarse, static_cast<int32_t>(INT32_MIN + 37 * kSpan / 185));
  EXPECT_EQ(knob->GetBounds().left, 57); // the knob moved with the value
  EXPECT_EQ(world.port().pixel(60, 105), CCustomView::fPlateColor[0][2]);
  EXPECT_FALSE(knob->GetClicked());

  panel.control->SetValue(INT32_MIN);
  world.dragAlong({{110, 25}, {110, 25 + 6 * 37}});
  panel.click({110, 25}, kCommandKeyBit);
  EXPECT_EQ(panel.control->GetValue(), coarse); // six times the travel, same change

  // Reversed, the knob starts at the far end and moves the other way.
  slider->SetReverse(true);
  EXPECT_EQ(slider->KnobRect(INT32_MIN).right, 220);

  // A slider without length has no travel: nothing divides by it.
  EXPECT_EQ(CSliderControlEditor::OffsetOfValue(12345, 0), 0);
  EXPECT_EQ(CSliderControlEditor::ValueOfOffset(10, 0), INT32_MIN);
  CSliderControlEditor empty;
  empty.InitializeTree();
  EXPECT_EQ(empty.Travel(), 0);
  empty.SetValue(INT32_MAX);
  EXPECT_TRUE(empty.GetKnob()->GetBounds().empty());
}

TEST(ControlEditorTest, OptionClickSetsTheDefaultOnAnyEditor) {
  ViewWorld world;
  Panel panel(world);
  panel.control->SetDefaultValue(123456);
  auto* dial = panel.add<CDialControlEditor>({20, 20, 60, 60});
  auto* slider = panel.add<CSliderControlEditor>({100, 20, 120, 220});
  (void)dial;
  (void)slider;
  world.dragAlong({{40, 59}, {40, 20}});
  panel.click({40, 59}, kOptionKeyBit); // the mouse moves, but the default wins
  EXPECT_EQ(panel.control->GetValue(), 123456);
  panel.control->SetValue(0);
  world.dragAlong({{110, 150}});
  panel.click({110, 150}, kOptionKeyBit);
  EXPECT_EQ(panel.control->GetValue(), 123456);
}

TEST(ControlEditorTest, ATouchIsReleasedHoweverTrackingEnds) {
  ViewWorld world;
  TrackedProcess process;
  auto* control = new CProcessControlView;
  Panel panel(world, control);
  control->SetControl(&process, 1);
  auto* dial = panel.add<CDialControlEditor>({20, 20, 60, 60});

  world.dragAlong({{30, 40}, {40, 60}, {50, 40}});
  panel.click({30, 40});
  EXPECT_EQ(process.maxTouch, 1); // touched while tracking
  EXPECT_EQ(process.GetTouchCount(1), 0);
  EXPECT_NE(process.GetControlValue(1), INT32_MIN);

  process.throwInIdle = true;
  world.dragAlong({{30, 40}, {40, 60}});
  EXPECT_THROW(panel.click({30, 40}), CDAEError);
  EXPECT_EQ(process.GetTouchCount(1), 0);
  EXPECT_FALSE(dial->GetClicked());
  EXPECT_EQ(panel.root.GetDrawDepth(), 0);
  while (platform::DrawPort::stillDown()) {
  }
}

TEST(ControlEditorTest, TextPopupChoosesAStepByScriptAndAlwaysClearsTheOverlay) {
  ViewWorld world;
  TrackedProcess process;
  auto* control = new CProcessControlView;
  Panel panel(world, control);
  control->SetControl(&process, 1);
  auto* popup = panel.add<CTextPopupControlEditor>({10, 100, 30, 180});
  EXPECT_EQ(popup->GetItemTexts(), (std::vector<std::string>{"Saw", "Square", "Sine", "Noise"}));

  world.server().chooseInNextMenu({"Sine"});
  world.dragAlong({});
  panel.click({20, 140});
  EXPECT_EQ(control->GetStep(), 2);
  const auto& shown = world.server().shownMenus().back();
  ASSERT_EQ(shown.menu.children.size(), 4u);
  EXPECT_TRUE(shown.menu.children[0].checked); // the step current when it popped up
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);
  EXPECT_FALSE(popup->GetClicked());

  world.server().chooseInNextMenu({});
  panel.click({20, 140});
  EXPECT_EQ(control->GetStep(), 2); // cancelled

  // A choice that fails still takes the overlay away.
  ViewWorld other;
  auto* stubborn = new Stubborn;
  stubborn->SetNumSteps(3);
  Panel failing(other, stubborn);
  failing.add<CTextPopupControlEditor>({10, 100, 30, 180});
  other.server().chooseInNextMenu({"32767"});
  EXPECT_THROW(failing.click({20, 140}), CDAEError);
  failing.root.Update(nullptr);
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);
}

TEST(ControlEditorTest, RadioGroupOptionsStandForSteps) {
  ViewWorld world;
  Panel panel(world);
  panel.control->SetNumSteps(3);
  auto* group = panel.add<CRadioGroupControlEditor>({100, 100, 140, 220});
  for (int i = 0; i < 3; ++i) {
    auto* option = new CCustomView;
    Rect r{100, static_cast<int16_t>(100 + 40 * i), 140, static_cast<int16_t>(140 + 40 * i)};
    option->SetRect(&r);
    group->AddSubView(option, false);
  }
  group->SetViewPort(&world.port());
  panel.control->SetStep(0);
  group->Refresh();
  EXPECT_TRUE(group->GetOption(0)->GetClicked());

  panel.click({120, 190}); // the third option
  EXPECT_EQ(panel.control->GetStep(), 2);
  EXPECT_FALSE(group->GetOption(0)->GetClicked());
  EXPECT_TRUE(group->GetOption(2)->GetClicked());
  EXPECT_EQ(group->GetCenter(), (Point{120, 200}));
  EXPECT_EQ(group->GetOption(3), nullptr);
}

TEST(ControlEditorTest, TypedTextAndArrowKeysGoThroughTheControl) {
  ViewWorld world;
  TrackedProcess process;
  auto* control = new CProcessControlView;
  Panel panel(world, control);
  control->SetControl(&process, 1);
  auto* editor = panel.add<CTextEditEditor>({10, 100, 30, 180});
  panel.root.Activate();
  auto key = [&](char c) {
    EventRecord e;
    e.what = kKeyDownEvent;
    e.message = static_cast<uint8_t>(c);
    bool handled = false;
    panel.root.HandleKeyEvent(&e, &handled);
    return handled;
  };
  bool handled = true;
  editor->HandleKey('1', &handled);
  EXPECT_FALSE(handled); // not editing

  world.dragAlong({});
  panel.click({20, 140}); // takes the focus
  EXPECT_EQ(panel.root.GetFocus(), editor);
  key(3); // Enter: edit
  ASSERT_TRUE(editor->IsEditing());
  EXPECT_EQ(editor->GetEditRecord()->text(), "Saw");
  EXPECT_FALSE(editor->IsModified());
  key('S');
  key('q');
  EXPECT_EQ(editor->GetEditRecord()->text(), "Sq");
  EXPECT_TRUE(editor->IsModified());
  key(13); // Return hands the text to the control, which reads it as "Square"
  EXPECT_FALSE(editor->IsEditing());
  EXPECT_EQ(control->GetStep(), 1);

  panel.click({20, 140});
  key(3);
  control->SetStep(3);
  EXPECT_EQ(editor->GetEditRecord()->text(), "Noise");
  EXPECT_TRUE(key(CTextEditEditor::kUpArrow)); // already the last step
  EXPECT_EQ(control->GetStep(), 3);
  key(CTextEditEditor::kDownArrow);
  EXPECT_EQ(control->GetStep(), 2);
  key('S');
  key(27); // Escape drops what was typed
  EXPECT_FALSE(editor->IsEditing());
  EXPECT_EQ(control->GetStep(), 2);
  EXPECT_EQ(editor->GetValueText(), "Sine");
}

TEST(ControlEditorTest, TextEditorShowsTheValueInItsTextChildAndReadsWhatIsTyped) {
  ViewWorld world;
  auto* reader = new Reader;
  Panel panel(world, reader);
  reader->SetValue(3 * 65536);
  auto* editor = panel.describe<CTextControlEditor>("!TextEditor[('Edit')('Ctl1')]", {10, 100, 30, 180});
  ASSERT_NE(editor, nullptr);
  CStaticTextView* text = editor->GetTextView();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetBounds(), editor->GetBounds());
  EXPECT_EQ(text->GetTextString(), "3");
  reader->SetValue(4 * 65536); // a change elsewhere reaches the child
  EXPECT_EQ(text->GetTextString(), "4");
  panel.root.Activate();
  auto key = [&](char c) {
    EventRecord e;
    e.what = kKeyDownEvent;
    e.message = static_cast<uint8_t>(c);
    bool handled = false;
    panel.root.HandleKeyEvent(&e, &handled);
  };
  auto edit = [&] {
    world.dragAlong({});
    panel.click({20, 140});
    key(3);
  };

  edit();
  ASSERT_TRUE(editor->IsEditing());
  EXPECT_TRUE(text->GetClicked());
  EXPECT_EQ(editor->GetEditRecord()->text(), "4");
  key('7');
  key('2');
  panel.root.Update(nullptr); // the edit record drawn over the child
  key(13);
  EXPECT_FALSE(editor->IsEditing());
  EXPECT_FALSE(text->GetClicked());
  EXPECT_EQ(reader->GetValue(), 72 * 65536);
  EXPECT_EQ(text->GetTextString(), "72");

  // Untouched, or emptied: nothing is read, the value stays shown.
  edit();
  key(13);
  edit();
  key('5');
  key(platform::TextEdit::kBackspace);
  EXPECT_EQ(editor->GetEditRecord()->text(), "");
  key(13);
  EXPECT_EQ(reader->read.size(), 1u);
  EXPECT_EQ(reader->GetValue(), 72 * 65536);

  // Not understood: the shown value comes back. Only 30 characters go.
  edit();
  for (int i = 0; i < 40; ++i) key(static_cast<char>('0' + i % 10));
  key('x');
  key(13);
  ASSERT_EQ(reader->read.size(), 2u);
  EXPECT_EQ(reader->read.back(), "012345678901234567890123456789");
  EXPECT_EQ(reader->GetValue(), 72 * 65536);
  EXPECT_EQ(text->GetTextString(), "72");

  // Escape drops a readable text.
  edit();
  key('9');
  key(27);
  EXPECT_EQ(reader->read.size(), 2u);
  EXPECT_EQ(reader->GetValue(), 72 * 65536);
}

TEST(ControlEditorTest, ViewPopupShowsItsDialogAndChoosesAStepByScript) {
  ViewWorld world;
  CCustomView::AddNewViewProc("PressProbe", CreatePressProbe);
  WriteDialog(world, ItemList({{{0, 0, 20, 50}, "!Background[('Vw01')]"},
                               {{0, 60, 20, 120}, "!TextPopup[('Vw02')('Ctl9')]"},
                               {{20, 40, 40, 80}, "!PressProbe[('Prob')]"}}));

  TrackedProcess process;
  auto* control = new CProcessControlView;
  Panel panel(world, control);
  control->SetControl(&process, 1);
  auto* popup = panel.describe<CViewPopupControlEditor>("!ViewPopup[('Pop1')('Ctl1')(400 'Vw01' 'Vw02' 'None')]",
                                                       {10, 100, 30, 180});
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetDialogID(), 400);
  ASSERT_NE(popup->GetDialogView(), nullptr);
  Rect bounds = popup->GetDialogView()->GetBounds();
  EXPECT_EQ(bounds.bottom - bounds.top, 60);
  EXPECT_EQ(bounds.right - bounds.left, 120);
  ASSERT_NE(popup->GetView(0), nullptr);
  EXPECT_EQ(popup->GetView(0)->GetViewType(), fourCharCode("Vw01"));
  auto* inner = dynamic_cast<CTextPopupControlEditor*>(popup->GetView(1));
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->GetControlView(), nullptr);
  EXPECT_EQ(popup->GetView(2), nullptr);
  EXPECT_EQ(panel.root.FindViewByType(fourCharCode("Ctl9")), nullptr); // no control made for the dialog's views

  sSyntheticPresses = 0;
  world.server().chooseInNextMenu({"Sine"});
  world.dragAlong({});
  panel.click({20, 140});
  EXPECT_EQ(control->GetStep(), 2);
  EXPECT_EQ(sSyntheticPresses, 1); // the probe lies under the click
  // The dialog stood at the menu, around the click.
  Rect shown = popup->GetDialogView()->GetBounds();
  platform::ScreenPoint click = world.global({20, 140});
  EXPECT_TRUE(shown.contains(Point{static_cast<int16_t>(click.y), static_cast<int16_t>(click.x)}));
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);
  EXPECT_FALSE(popup->GetClicked());

  world.server().chooseInNextMenu({});
  panel.click({20, 140});
  EXPECT_EQ(control->GetStep(), 2); // cancelled
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);

  // A choice that fails still takes the overlay away.
  auto* stubborn = new Stubborn;
  stubborn->SetNumSteps(3);
  ViewWorld other;
  WriteDialog(other, ItemList({{{0, 0, 20, 50}, "!Background[('Vw01')]"}}));
  Panel failing(other, stubborn);
  ASSERT_NE(failing.describe<CViewPopupControlEditor>("!ViewPopup[('Pop1')('Ctl1')(400)]", {10, 100, 30, 180}), nullptr);
  other.server().chooseInNextMenu({"32767"});
  EXPECT_THROW(failing.click({20, 140}), CDAEError);
  failing.root.Update(nullptr);
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);

  // A dialog that is not there cannot be shown.
  Panel missing(other);
  EXPECT_THROW(missing.describe<CViewPopupControlEditor>("!ViewPopup[('Pop2')('Ctl1')(402)]", {10, 100, 30, 180}),
               CDAEError);
}

namespace {

// The desktop and the clock a long menu is tried under; both restored.
struct SmallDesktop {
  explicit SmallDesktop(Rect area) : saved(platform::desktopBounds()) {
    platform::setDesktopBounds(area);
    platform::useVirtualClock(true);
  }
  ~SmallDesktop() {
    platform::setDesktopBounds(saved);
    platform::useVirtualClock(false);
  }
  Rect saved;
};

int BlackIn(const platform::DrawPort& port, int left, int top, int right, int bottom) {
  int n = 0;
  for (int v = top; v < bottom; ++v)
    for (int h = left; h < right; ++h) n += port.pixel(h, v) == RGBColor{0, 0, 0};
  return n;
}

} // namespace

TEST(ControlEditorTest, TextPopupTallerThanTheDesktopIsCutAndScrollsToItsLastItem) {
  ViewWorld world;
  SmallDesktop desktop({0, 0, 300, 600}); // menus stay inside 5..295 down
  std::vector<std::string> names;
  for (int i = 1; i <= 40; ++i) names.push_back("Item " + std::to_string(i));
  CProcess process;
  process.AddControl(new CPluginControl_List(fourCharCode("long"), "Long", names, 0, true));
  auto* control = new CProcessControlView;
  Panel panel(world, control);
  control->SetControl(&process, 1);
  auto* popup = panel.add<CTextPopupControlEditor>({170, 100, 187, 180});

  // Rows as high as the editor's font line plus 4: 40 of them do not fit
  // the 290 pixels, so the menu covers the area and is cut at its bottom.
  platform::DrawPort measure(1, 1);
  measure.setTextFont(3);
  measure.setTextSize(9);
  const platform::DrawPort::FontInfo fi = measure.fontInfo();
  const int row = fi.ascent + fi.descent + 4;
  ASSERT_GT(40 * row, 290);
  const platform::ScreenPoint click = world.global({178, 140});
  const int x = click.x;
  std::vector<platform::ScreenPoint> path{{x, 100}};
  for (int i = 0; i < 40; ++i) path.push_back({x, 290}); // resting on the bottom strip
  world.server().holdButtonAlong(path);
  const uint32_t before = platform::ticks();
  panel.click({178, 140});

  // It scrolled the 40 rows up to the last one, which the release chose.
  EXPECT_EQ(control->GetStep(), 39);
  EXPECT_EQ(process.GetControlValue(1), control->StepToValue(39));
  const Rect frame = popup->GetMenuFrame();
  EXPECT_EQ(frame.top, 5);
  EXPECT_EQ(frame.bottom, 295);
  EXPECT_EQ(popup->GetMenuContent().bottom, 295);
  EXPECT_EQ(popup->GetMenuContent().top, 295 - 40 * row);
  EXPECT_EQ(popup->GetMenuArrows(), popupmenu::ScrollingMenu::kArrowTop);
  // Each step moved at most 16 pixels and paused 10 ticks.
  const int steps = (40 * row - 290 + 15) / 16;
  EXPECT_GE(platform::ticks() - before, static_cast<uint32_t>(10 * steps - 1));

  // Opened, a triangle marked the bottom strip and none the top; closed,
  // the other way round, with the chosen last row highlighted at the
  // bottom.
  const platform::DrawPort* opened = world.server().drawnMenuOpened();
  const platform::DrawPort* closed = world.server().drawnMenuClosed();
  ASSERT_TRUE(opened && closed);
  const int mid = (frame.left + frame.right) / 2;
  EXPECT_GE(BlackIn(*opened, mid - 6, 283, mid + 7, 295), 20);
  EXPECT_EQ(BlackIn(*opened, frame.left, 283, mid - 6, 295), 0); // the strip holds nothing else
  int inked = 0; // the first row's text
  for (int h = frame.left; h < frame.right; ++h)
    for (int v = 5; v < 5 + row; ++v) inked += opened->pixel(h, v) != popupmenu::ScrollingMenu::kMenuBack;
  EXPECT_GT(inked, 10);
  EXPECT_GE(BlackIn(*closed, mid - 6, 5, mid + 7, 17), 20);
  EXPECT_EQ(BlackIn(*closed, frame.left, 5, mid - 6, 17), 0);
  EXPECT_EQ(closed->pixel(frame.left + 1, 293), (RGBColor{0x0000, 0x6666, 0xFFFF}));
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);

  // A release on a strip chooses nothing.
  world.server().holdButtonAlong({{x, 100}, {x, 10}});
  panel.click({178, 140});
  EXPECT_EQ(control->GetStep(), 39);
}

TEST(ControlEditorTest, ViewPopupPressesItsDialogAtEveryPointTheMouseMovesTo) {
  ViewWorld world;
  CCustomView::AddNewViewProc("PressProbe", CreatePressProbe);
  // The first two views stand for the first two steps.
  WriteDialog(world, ItemList({{{0, 0, 20, 50}, "!Background[('Vw01')]"},
                               {{0, 60, 20, 120}, "!Background[('Vw02')]"},
                               {{20, 0, 60, 120}, "!PressProbe[('Prob')]"}}));
  TrackedProcess process;
  auto* control = new CProcessControlView;
  Panel panel(world, control);
  control->SetControl(&process, 1);
  auto* popup = panel.describe<CViewPopupControlEditor>("!ViewPopup[('Pop1')('Ctl1')(400 'Vw01' 'Vw02')]",
                                                       {10, 100, 30, 180});
  ASSERT_NE(popup, nullptr);

  // The 120 x 60 menu is centred on the click; a press reaches the probe at
  // each new point (not at a repeated one), and the release over the second
  // view chooses the second step.
  const platform::ScreenPoint click = world.global({20, 140});
  const int left = click.x - 60, top = click.y - 30;
  sSyntheticPresses = 0;
  world.server().holdButtonAlong({{left + 10, top + 30}, {left + 20, top + 40}, {left + 20, top + 40},
                                  {left + 30, top + 50}, {left + 80, top + 10}});
  panel.click({20, 140});
  EXPECT_EQ(popup->GetMenuFrame(), (Rect{static_cast<int16_t>(top), static_cast<int16_t>(left),
                                         static_cast<int16_t>(top + 60), static_cast<int16_t>(left + 120)}));
  EXPECT_EQ(sSyntheticPresses, 4); // the opening press (on the probe) and three moves onto it
  EXPECT_EQ(control->GetStep(), 1);
  // The menu showed the dialog: its port holds what the dialog drew.
  const platform::DrawPort* shown = world.server().drawnMenuClosed();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->bounds(), popup->GetMenuFrame());
  EXPECT_EQ(popup->GetDialogView()->GetPort(), nullptr); // it let go of the menu's port

  // Without view types the menu's rows stand for the steps, top to bottom:
  // four steps over 60 pixels, 15 each, so 50 pixels down is the fourth.
  auto* rows = panel.describe<CViewPopupControlEditor>("!ViewPopup[('Pop2')('Ctl1')(400)]", {40, 100, 60, 180});
  ASSERT_NE(rows, nullptr);
  const platform::ScreenPoint at = world.global({50, 140});
  world.server().holdButtonAlong({{at.x, at.y - 30 + 50}});
  panel.click({50, 140});
  EXPECT_EQ(rows->GetMenuFrame().top, at.y - 30);
  EXPECT_EQ(control->GetStep(), 3);
  // 44 pixels down is still the third.
  world.server().holdButtonAlong({{at.x, at.y - 30 + 44}});
  panel.click({50, 140});
  EXPECT_EQ(control->GetStep(), 2);
}
