// The editor window road: the host's view, the window port, the editor on
// the window's root control, updates, ChooseControl and closing, both
// in-process (where the adapter can be looked into) and through the test
// bundle loaded as a host loads it.

#include "gui/MacInterface.h"
#include "host/bridge/DigiViewAdapter.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/RootControl.h"
#include "tests/host/bridge/BridgeTestSupport.h"
#include "tests/host/bridge/product/BridgeTestEditor.h"
#include "tools/host/EditorWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace bridgetest;

namespace {

struct ServerScope {
  ServerScope() { platform::WindowServer::setCurrent(&server); }
  ~ServerScope() { platform::WindowServer::setCurrent(nullptr); }
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
};

std::vector<uint8_t> Pixels(platform::HeadlessWindowServer& server, platform::WindowId window, int w, int h) {
  std::vector<uint8_t> out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t rgb[3];
      server.pixel(window, x, y, rgb);
      out.insert(out.end(), rgb, rgb + 3);
    }
  return out;
}

} // namespace

TEST(ViewRoadTest, TheEditorOpensReopensAndClosesAnyNumberOfTimesInEitherOrder) {
  ServerScope s;
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  DigiRTASPluginAdapter* a = Adapter(*in);
  SHostRect rect{};
  ASSERT_EQ(h->callWith(kProcess_GetViewRect, in->process(), &rect), 0);
  EXPECT_EQ(rect.bottom, kEditorHeight);
  EXPECT_EQ(rect.right, kEditorWidth);

  for (int round = 0; round < 3; ++round) {
    simhost::EditorWindow window(h.host(), *in, s.server);
    ASSERT_NE(a->GetEditor(), nullptr);
    EXPECT_EQ(a->GetHostView(), window.view()->GetFirstChild());
    // A second port replaces the editor instead of adding one.
    EXPECT_EQ(window.reopen(), 0);
    EXPECT_EQ(BridgeTestEditor::alive(), 1);
    // The adapter view and the root are the editor's full size.
    Rect root, view;
    window.view()->GetRect(&root);
    a->GetHostView()->GetRect(&view);
    EXPECT_EQ(root, (Rect{0, 0, kEditorHeight, kEditorWidth}));
    EXPECT_EQ(view, root);
  }
  EXPECT_EQ(BridgeTestEditor::alive(), 0);
  EXPECT_EQ(a->GetEditor(), nullptr);
  EXPECT_EQ(a->GetUserInterface(), nullptr);
  EXPECT_EQ(a->GetHostView(), nullptr);

  // The host deletes the instance while the editor is open and keeps its
  // view; then the view goes. And the other way round.
  for (bool viewFirst : {false, true}) {
    simhost::Instance* other = h->createInstance();
    DigiRTASPluginAdapter* b = Adapter(*other);
    uintptr_t view = 0;
    ASSERT_EQ(h->callWith(kProcess_CreateView, other->process(), &view), 0);
    platform::WindowId w = s.server.createWindow({0, 0, kEditorWidth, kEditorHeight}, false, "x");
    auto* hostView = reinterpret_cast<CPlugInView*>(view);
    hostView->SetViewPort(s.server.windowPort(w));
    ASSERT_EQ(h->callWith(kProcess_SetViewPort, other->process(), platform::opaqueFromPort(s.server.windowPort(w))), 0);
    ASSERT_NE(b->GetEditor(), nullptr);
    if (viewFirst) {
      delete hostView;
      EXPECT_EQ(b->GetHostView(), nullptr);
      h->deleteInstance(other);
    } else {
      h->deleteInstance(other);
      Rect all{0, 0, kEditorHeight, kEditorWidth};
      hostView->Update(&all); // draws nothing, touches no adapter
      delete hostView;
    }
    EXPECT_EQ(BridgeTestEditor::alive(), 0);
    s.server.destroyWindow(w);
  }
}

TEST(ViewRoadTest, AWindowWithoutRootControlOrAFailedEditorLeavesNoEditor) {
  ServerScope s;
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  DigiRTASPluginAdapter* a = Adapter(*in);
  // An offscreen port belongs to no window: no root control can be made.
  platform::DrawPort offscreen(kEditorWidth, kEditorHeight);
  EXPECT_EQ(a->SetViewPort(platform::opaqueFromPort(&offscreen)), platform::kCannotEmbed);
  EXPECT_EQ(a->GetEditor(), nullptr);
  EXPECT_EQ(a->GetUserInterface(), nullptr);
  EXPECT_EQ(BridgeTestEditor::alive(), 0);
  // With its picture missing the editor cannot be built: the error comes
  // back as a status, and nothing stays open, also when it was open before.
  platform::WindowId w = s.server.createWindow({0, 0, kEditorWidth, kEditorHeight}, false, "x");
  OpaqueGrafPtr* port = platform::opaqueFromPort(s.server.windowPort(w));
  ASSERT_EQ(a->SetViewPort(port), 0);
  ASSERT_NE(a->GetEditor(), nullptr);
  productOptions().editorBackground = "Missing.png";
  EXPECT_EQ(a->SetViewPort(port), kPlugInErr_Unexpected);
  EXPECT_EQ(a->GetEditor(), nullptr);
  EXPECT_EQ(a->GetUserInterface(), nullptr);
  EXPECT_EQ(BridgeTestEditor::alive(), 0);
  productOptions().editorBackground = ProductOptions().editorBackground;
  EXPECT_EQ(a->SetViewPort(port), 0);
  EXPECT_EQ(BridgeTestEditor::alive(), 1);
  EXPECT_EQ(a->SetViewPort(nullptr), 0);
  EXPECT_EQ(BridgeTestEditor::alive(), 0);
  s.server.destroyWindow(w);
}

TEST(ViewRoadTest, ChooseControlNamesTheParameterUnderAPoint) {
  ServerScope s;
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  SHostPoint none{5, 5};
  int32_t control = -1;
  EXPECT_EQ(Adapter(*in)->ChooseControl(none, &control), 0);
  EXPECT_EQ(control, 0); // no editor
  simhost::EditorWindow window(h.host(), *in, s.server, {30, 20});
  const int half = kKnobSize / 2;
  EXPECT_EQ(window.chooseControl(kLevelKnobX + half, kLevelKnobY + half), kLevel);
  EXPECT_EQ(window.chooseControl(kOffsetKnobX + half, kOffsetKnobY + kKnobSize - 2), kOffset);
  EXPECT_EQ(window.chooseControl(kLevelKnobX - 1, kLevelKnobY + half), 0);
  EXPECT_EQ(window.chooseControl(kEditorWidth - 1, kEditorHeight - 1), 0);
}

TEST(ViewRoadTest, TheBundlesEditorThroughTheHostLooksAsTheToolkitDrawsIt) {
  ServerScope s;
  // The toolkit's own picture, in-process.
  std::vector<uint8_t> direct;
  {
    InProcessHost h;
    simhost::Instance* in = h->createInstance();
    platform::WindowId w = s.server.createWindow({0, 0, kEditorWidth, kEditorHeight}, false, "direct");
    auto* ui = new gui::MacInterface(w, 0, gui::Rect(0, 0, kEditorWidth, kEditorHeight));
    auto* editor = new BridgeTestEditor(ui, Product(*in), nullptr);
    s.server.updateWindow(w);
    direct = Pixels(s.server, w, kEditorWidth, kEditorHeight);
    // The gradient: the first and the last pixel differ.
    ASSERT_NE(std::vector<uint8_t>(direct.begin(), direct.begin() + 3), std::vector<uint8_t>(direct.end() - 3, direct.end()));
    delete editor;
    s.server.destroyWindow(w);
  }
  // The bundle loaded by the host, twice over: the host draws its view
  // over the whole window, then the window's controls paint.
  simhost::SimHost host;
  ASSERT_EQ(host.load(BridgeTestBundlePath()), 0);
  simhost::Instance* in = host.createInstance();
  for (int round = 0; round < 2; ++round) {
    simhost::EditorWindow window(host, *in, s.server, {50, 40});
    window.redraw();
    EXPECT_EQ(Pixels(s.server, window.window(), kEditorWidth, kEditorHeight), direct) << round;
    // The host's own drawing alone reaches the last row and column.
    Rect all{0, 0, kEditorHeight, kEditorWidth};
    window.port()->setClip(platform::Region(all));
    window.port()->setForeColor({0, 0, 0});
    window.port()->paintRect(all);
    window.view()->Update(&all);
    EXPECT_EQ(Pixels(s.server, window.window(), kEditorWidth, kEditorHeight), direct) << round;
  }
}
