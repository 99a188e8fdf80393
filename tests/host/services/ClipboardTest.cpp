// The clipboard as a user reaches it from the host-drawn text views: keys
// typed into a focused editor copy to and paste from the window server's
// clipboard, which tests set and read like another program would.

#include "host/CProcess.h"
#include "host/services/CPluginControl_Discrete.h"
#include "host/services/CStaticTextView.h"
#include "host/services/CTextEditEditor.h"
#include "host/services/ScrapText.h"
#include "tests/host/services/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace viewtest;

namespace {

// A static text that takes the focus, as the text views of a dialog do.
class EditableText : public CStaticTextView {
public:
  bool WantsFocus() override { return true; }
};

struct Window {
  explicit Window(ViewWorld& world) : world(world) {
    Rect r{0, 0, 200, 300};
    root.SetRect(&r);
    root.SetViewPort(&world.port());
    root.Activate();
  }
  template <class V> V* add(V* v, Rect r) {
    v->SetRect(&r);
    v->SetEnabled(true);
    root.AddSubView(v, false);
    v->SetViewPort(root.GetPort());
    v->Initialize();
    v->Attach();
    return v;
  }
  // Clicks the view (which takes the focus) and opens its edit with Enter.
  void edit(Point p) {
    world.dragAlong({});
    EventRecord e;
    e.what = kMouseDownEvent;
    e.where = p;
    root.HandleMouseDown(&e);
    key(3);
  }
  bool key(char c) {
    EventRecord e;
    e.what = kKeyDownEvent;
    e.message = static_cast<uint8_t>(c);
    bool handled = false;
    root.HandleKeyEvent(&e, &handled);
    return handled;
  }
  ViewWorld& world;
  CCustomView root;
};

} // namespace

TEST(ClipboardTest, StaticTextPastesOneLineNeverCutInsideACharacterAndCopiesItsSelection) {
  ViewWorld world;
  Window window(world);
  auto* text = window.add(new EditableText, {10, 10, 30, 200});
  text->SetTextString("old");
  platform::WindowServer& server = world.server();

  server.setClipboardText("Grüße\nsecond line");
  window.edit({20, 50});
  ASSERT_TRUE(text->IsEditing());
  EXPECT_TRUE(window.key(scrap::kOptionV));
  EXPECT_FALSE(text->IsModified());
  window.key(13);
  EXPECT_EQ(text->GetTextString(), "Grüße");

  // The edit selects everything: Option+C puts it on the clipboard.
  window.edit({20, 50});
  window.key(scrap::kOptionC);
  EXPECT_EQ(server.clipboardText(), "Grüße");

  // 128 two-byte characters: the 256th byte would split the last one, so
  // 127 characters arrive.
  std::string accents;
  for (int i = 0; i < 128; ++i) accents += "é";
  server.setClipboardText(accents + "tail");
  window.key(scrap::kShiftOptionV);
  EXPECT_EQ(text->GetEditRecord()->text(), accents.substr(0, 254));

  // A caret selects nothing and leaves the clipboard alone.
  text->GetEditRecord()->setText("caret");
  text->GetEditRecord()->setSelection(2, 2);
  window.key(scrap::kShiftOptionC);
  EXPECT_EQ(server.clipboardText(), accents + "tail");
  text->GetEditRecord()->setSelection(1, 4);
  window.key(scrap::kShiftOptionC);
  EXPECT_EQ(server.clipboardText(), "are");
  EXPECT_EQ(text->GetEditRecord()->text(), "caret"); // copying changes nothing
  window.key(13);
  window.root.Detach();
}

TEST(ClipboardTest, ValueEditorCopiesItsValueAndTakesAPastedOne) {
  ViewWorld world;
  CProcess process;
  process.AddControl(new CPluginControl_List(fourCharCode("wave"), "Wave", {"Saw", "Square", "Sine", "Noise"}, 0, true));
  Window window(world);
  auto* control = new CProcessControlView;
  control->SetViewType(fourCharCode("Ctl1"));
  Rect none{0, 0, 0, 0};
  control->SetRect(&none);
  window.root.AddSubView(control, false);
  control->SetControl(&process, 1);
  auto* editor = new CTextEditEditor;
  editor->SetControlType(fourCharCode("Ctl1"));
  window.add(editor, {10, 100, 30, 180});

  window.edit({20, 140});
  ASSERT_TRUE(editor->IsEditing());
  window.key(scrap::kOptionC);
  EXPECT_EQ(world.server().clipboardText(), "Saw");

  // A pasted value is taken when the edit ends, as a typed one.
  world.server().setClipboardText("Sine");
  EXPECT_TRUE(window.key(scrap::kOptionV));
  EXPECT_EQ(editor->GetEditRecord()->text(), "Sine");
  window.key(13);
  EXPECT_EQ(control->GetStep(), 2);
  EXPECT_EQ(process.GetControlValue(1), control->StepToValue(2));

  // Pasting an empty clipboard changes nothing.
  world.server().setClipboardText("");
  window.edit({20, 140});
  window.key(scrap::kOptionV);
  EXPECT_EQ(editor->GetEditRecord()->text(), "Sine");
  EXPECT_FALSE(editor->IsModified());
  window.key(13);
  EXPECT_EQ(control->GetStep(), 2);
  window.root.Detach();
}
