// The minimal control panel as a host shows it: labels, pop-ups and
// typed-value editors bound to the process, driven with the mouse and read
// back from the window's pixels.

#include "host/CProcess.h"
#include "host/services/CPluginControl_Continuous.h"
#include "host/services/CPluginControl_Discrete.h"
#include "host/services/CSliderControlEditor.h"
#include "host/services/MinimalGUI.h"
#include "host/services/MinimalGUIViews.h"
#include "tests/host/services/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

using namespace viewtest;

namespace {

template <class V> std::vector<V*> ChildrenOf(CPlugInView& parent) {
  std::vector<V*> found;
  for (CPlugInView* c = parent.GetFirstChild(); c; c = c->GetNextSibling())
    if (auto* v = dynamic_cast<V*>(c)) found.push_back(v);
  return found;
}

std::string ValueText(const CProcess& process, int32_t index) {
  unsigned char text[256] = {};
  process.GetControlValueString(index, process.GetControlValue(index), 255, text);
  return std::string(reinterpret_cast<char*>(text + 1), text[0]);
}

int CountPixels(const platform::DrawPort& port, const Rect& r, RGBColor c) {
  int n = 0;
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) n += port.pixel(h, v) == c;
  return n;
}

} // namespace

TEST(MinimalGUITest, RowsShowLabelsAndEditorsBoundToTheProcessControls) {
  ViewWorld world;
  CProcess process;
  process.AddControl(new CPluginControl_List(fourCharCode("wave"), "Waveform of osc", {"Saw", "Square", "Sine"}, 0, true));
  process.AddControl(new CPluginControl_Linear(fourCharCode("gain"), "Gain", 0, 1, 0.01, 0.5, true, kPrefixNone,
                                               kPrefixExa));
  std::unique_ptr<CNoResourceView> panel(CreateMinimalGUI(&process, nullptr, nullptr));
  panel->SetViewPort(&world.port());
  panel->Attach();

  // No row fell back to the text of its description.
  for (CStaticTextView* text : ChildrenOf<CStaticTextView>(*panel))
    EXPECT_NE(text->GetTextString().substr(0, 1), "!") << text->GetTextString();

  std::vector<CStyledTextView*> labels = ChildrenOf<CStyledTextView>(*panel);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0]->GetTextString(), "Waveform of osc");
  EXPECT_EQ(labels[1]->GetTextString(), "Gain");
  EXPECT_EQ(labels[0]->GetJustification(), CStaticTextView::kJustCenter);
  EXPECT_EQ(labels[0]->GetTextFont(), 21);
  EXPECT_EQ(labels[0]->GetTextSize(), 12);
  EXPECT_EQ(labels[0]->GetTextFace(), 1);
  EXPECT_TRUE(labels[0]->GetStyle().engraved);
  EXPECT_FALSE(labels[0]->IsEnabled());

  std::vector<CStyledTextPopupEditor*> popups = ChildrenOf<CStyledTextPopupEditor>(*panel);
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0]->GetBounds(), (Rect{10, 120, 27, 319}));
  EXPECT_EQ(popups[0]->GetItemTexts(), (std::vector<std::string>{"Saw", "Square", "Sine"}));
  ASSERT_EQ(ChildrenOf<CSliderControlEditor>(*panel).size(), 1u);

  std::vector<CStyledTextControlEditor*> typed = ChildrenOf<CStyledTextControlEditor>(*panel);
  ASSERT_EQ(typed.size(), 2u);
  ASSERT_NE(typed[1]->GetTextView(), nullptr);
  EXPECT_EQ(typed[1]->GetTextView()->GetTextString(), ValueText(process, 2));
  EXPECT_EQ(typed[0]->GetTextView()->GetTextString(), "Saw");

  // Choosing in the pop-up sets the process's control; the typed-value
  // editor of the row follows.
  world.server().chooseInNextMenu({"Sine"});
  world.dragAlong({});
  EventRecord press;
  press.what = kMouseDownEvent;
  press.where = {18, 200};
  panel->HandleMouseDown(&press);
  EXPECT_EQ(process.GetControlValue(1), popups[0]->StepToValue(2));
  EXPECT_EQ(typed[0]->GetTextView()->GetTextString(), "Sine");

  // The typed value shows in amber on its dark face, in a port as wide as
  // the panel.
  platform::DrawPort wide(400, 60);
  panel->SetViewPort(&wide);
  panel->Update(nullptr);
  const RGBColor amber{0xFFFF, 0xCCCC, 0x3333}, face{0x2222, 0x2222, 0x2222};
  const Rect value = typed[0]->GetBounds();
  EXPECT_GT(CountPixels(wide, value, amber), 5);
  EXPECT_GT(CountPixels(wide, value, face), value.width() * value.height() / 2);
  EXPECT_GT(CountPixels(wide, labels[0]->GetBounds(), {0, 0, 0}), 5); // the label's text
  // The labels are centred: the short one's text leaves as much room on the
  // left as on the right (within a pixel of rounding and the bearings of
  // its first and last glyphs).
  const Rect label = labels[1]->GetBounds();
  int first = label.right, last = label.left - 1;
  for (int h = label.left; h < label.right; ++h)
    if (CountPixels(wide, {label.top, static_cast<int16_t>(h), label.bottom, static_cast<int16_t>(h + 1)}, {0, 0, 0})) {
      first = std::min(first, h);
      last = h;
    }
  ASSERT_LT(first, last);
  EXPECT_NEAR(first - label.left, label.right - 1 - last, 3);
  panel->Detach();
  panel->SetViewPort(nullptr);
}

TEST(MinimalGUITest, StyleListsRefuseWordsWithoutTheirValues) {
  ViewWorld world;
  RegisterMinimalGUIViews();
  CNoResourceView root;
  root.SetSize(300, 100);
  // A colour with a component out of range, and a size without a number,
  // leave the row to static text; a well-formed one makes the view.
  for (const char* bad : {"!StaticCustomText[('NoID' `x`)(FontColor 0 0 256)]",
                          "!StaticCustomText[('NoID' `x`)(FontSize)]",
                          "!StaticCustomText[('NoID' `x`)(FontSize 9)(FontSize 9)]",
                          "!GainMeterView[('mtr1')(center)]"}) {
    CPlugInView* v = root.AddView2(bad, 0, 0, 100, 14, false);
    EXPECT_EQ(dynamic_cast<CStyledTextView*>(v), nullptr) << bad;
    EXPECT_EQ(dynamic_cast<CGainMeterView*>(v), nullptr) << bad;
  }
  auto* ok = dynamic_cast<CStyledTextView*>(root.AddView2("!StaticCustomText[('NoID' `x`)(FontColor 0 0 255)]", 0, 0, 100, 14, false));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->GetStyle().color, (RGBColor{0, 0, 0xFFFF}));
  auto* meter = dynamic_cast<CGainMeterView*>(root.AddView2("!GainMeterView[('mtr1')(labels)]", 0, 20, 100, 14, true));
  ASSERT_NE(meter, nullptr);
  EXPECT_TRUE(meter->HasLabels());
  EXPECT_EQ(meter->GetViewType(), fourCharCode("mtr1"));
  // A half level lights the left half of the bar.
  root.SetViewPort(&world.port());
  meter->SetLevel(1073741824);
  root.Update(nullptr);
  const RGBColor green{0, 0xCCCC, 0};
  EXPECT_EQ(world.port().pixel(40, 30), green);
  EXPECT_NE(world.port().pixel(60, 30), green);
  root.SetViewPort(nullptr);
}
