// zarn-view-render builds its views as the host does: control editors find
// their control once the root is initialized, and views that cannot be
// built are named with their status.

#include "host/CProcessGroup.h"
#include "host/services/CSliderControlEditor.h"
#include "host/services/CTextControlEditor.h"
#include "tools/views/ViewRender.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
class RenderGroup : public CProcessGroup {
public:
  int32_t Initialize() override { return 0; }
};
} // namespace

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() { return new RenderGroup; }

TEST(ViewRenderTest, EditorsShowTheControlTheyNameAndBrokenViewsAreNamed) {
  std::unique_ptr<CNoResourceView> root(CreateCNoResourceView());
  root->SetSize(320, 200);
  std::string problems;
  ASSERT_TRUE(viewrender::buildViews(*root,
                                     {"0,0,320,10:!ProcessControl[('ctl1')(`Gain` 5 2147483647 0)]",
                                      "10,20,200,14:!Slider[('NoID')('ctl1')()]",
                                      "10,50,80,20:!TextEditor[('NoID')('ctl1')]"},
                                     problems))
      << problems;
  CPlugInView* views[2] = {};
  int n = 0;
  for (CPlugInView* c = root->GetFirstChild(); c; c = c->GetNextSibling())
    if (dynamic_cast<CSliderControlEditor*>(c) || dynamic_cast<CTextControlEditor*>(c)) views[n++] = c;
  ASSERT_EQ(n, 2);
  auto* slider = static_cast<CSliderControlEditor*>(views[0]);
  auto* text = static_cast<CTextControlEditor*>(views[1]);
  // The control holds the top of the range: the knob sits at the right end
  // of the 200-pixel slider, and the text shows the value's upper 16 bits.
  ASSERT_NE(slider->GetControlView(), nullptr);
  EXPECT_EQ(slider->GetValue(), 2147483647);
  Rect knob;
  slider->GetKnob()->GetRect(&knob);
  EXPECT_EQ(knob.right, 210);
  ASSERT_NE(text->GetTextView(), nullptr);
  EXPECT_EQ(text->GetTextView()->GetTextString(), "32767");

  platform::DrawPort port(320, 200);
  viewrender::drawViews(*root, port);
  EXPECT_EQ(root->GetPort(), nullptr);

  std::unique_ptr<CNoResourceView> other(CreateCNoResourceView());
  other->SetSize(100, 100);
  problems.clear();
  EXPECT_FALSE(viewrender::buildViews(*other, {"!ItemList[('NoID')(128)]", "!Background[('NoID')]"}, problems));
  EXPECT_NE(problems.find("no view for !ItemList[('NoID')(128)] (error -7"), std::string::npos) << problems;
  ASSERT_NE(other->GetFirstChild(), nullptr);
  EXPECT_EQ(other->GetFirstChild()->GetNextSibling(), nullptr);
}
