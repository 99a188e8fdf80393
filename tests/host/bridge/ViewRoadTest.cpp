// The editor window road: the host's view, the window port, the editor on
// the window's root control, updates, ChooseControl and closing, both
// in-process (where the adapter can be looked into) and through the test
// bundle loaded as a host loads it.

#include "gui/Bitmap.h"
#include "gui/Light.h"
#include "gui/MacInterface.h"
#include "host/bridge/DigiViewAdapter.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/RootControl.h"
#include "tests/host/bridge/BridgeTestSupport.h"
#include "tests/host/bridge/product/BridgeTestEditor.h"
#include "tests/support/AllocationCounter.h"
#include "tools/host/EditorWindow.h"

#include <gtest/gtest.h>

#include <array>
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

  // The window's mouse reaches the editor's root control: a drag on the
  // Level knob is one touched, changed and released control for the host.
  h->clearAutomation();
  const platform::ScreenRect c = window.content();
  const platform::ScreenPoint knob{c.left + kLevelKnobX + half, c.top + kLevelKnobY + half};
  s.server.move(knob);
  s.server.press(knob);
  s.server.move({knob.x, knob.y - 30});
  s.server.release({knob.x, knob.y - 30});
  std::vector<simhost::AutomationEvent> events = h->automation();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().kind, simhost::AutomationEvent::Touch);
  EXPECT_EQ(events.back().kind, simhost::AutomationEvent::Release);
  for (const simhost::AutomationEvent& e : events) EXPECT_EQ(e.control, kLevel);
  EXPECT_GT(Product(*in)->level.getValue(), 0.5f);
}

TEST(ViewRoadTest, AViewThatIsNoAdapterViewIsNotUsedAsOne) {
  ServerScope s;
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  // The plug-in's keyword gone (as after an unload), its description shows
  // as static text; the host still gets a view of the editor's size.
  CCustomView::StaticFree();
  uintptr_t view = 0;
  ASSERT_EQ(h->callWith(kProcess_CreateView, in->process(), &view), 0);
  std::unique_ptr<CPlugInView> root(reinterpret_cast<CPlugInView*>(view));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Adapter(*in)->GetHostView(), nullptr);
  EXPECT_EQ(dynamic_cast<DigiViewAdapter*>(root->GetFirstChild()), nullptr);
  EXPECT_NE(root->GetFirstChild(), nullptr);
}

TEST(ViewRoadTest, TheBundlesEditorThroughTheHostLooksAsTheToolkitDrawsIt) {
  ServerScope s;
  // The toolkit's own picture, in-process.
  std::vector<uint8_t> direct;
  {
    InProcessHost h;
    simhost::Instance* in = h->createInstance();
    platform::WindowId w = s.server.createWindow({0, 0, kEditorWidth, kEditorHeight}, false, "direct");
    auto* editor = new BridgeTestEditor(
        std::make_unique<gui::MacInterface>(w, 0, gui::Rect(0, 0, kEditorWidth, kEditorHeight)), Product(*in), nullptr);
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

// An editor light through the host's view, as an idle window's ticks show
// it: a change is in the window after the next pass, with the new image,
// painted over the light's own rectangle only; a set to what it shows
// paints nothing; a warm window's pass that paints a change allocates
// nothing.
TEST(ViewRoadTest, ALightsChangeIsPaintedInItsPassAndNothingElse) {
  ServerScope s;
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  simhost::EditorWindow window(h.host(), *in, s.server);
  window.redraw();
  gui::UserInterface* ui = Adapter(*in)->GetUserInterface();
  auto* style = new gui::Light::Style(ui);
  style->offBitmap->resize(6, 4);
  style->offBitmap->fillRect(gui::Rect(0, 0, 6, 4), gui::Color(200, 10, 20, 255));
  style->onBitmap->resize(6, 4);
  style->onBitmap->fillRect(gui::Rect(0, 0, 6, 4), gui::Color(30, 220, 40, 255));
  auto* light = new gui::Light(ui, style);
  light->setBounds(20, 10, 6, 4);
  light->parent = ui->getWindow();
  s.loop.runDue();
  std::vector<uint8_t> expected = Pixels(s.server, window.window(), kEditorWidth, kEditorHeight);
  EXPECT_EQ(expected[(12 * kEditorWidth + 22) * 3], 200);
  for (int y = 10; y < 14; ++y)
    for (int x = 20; x < 26; ++x)
      std::copy_n(std::array<uint8_t, 3>{30, 220, 40}.begin(), 3, expected.begin() + (y * kEditorWidth + x) * 3);
  s.server.takePaintLog();
  light->on = true;
  s.loop.runDue();
  EXPECT_EQ(Pixels(s.server, window.window(), kEditorWidth, kEditorHeight), expected);
  const auto log = s.server.takePaintLog();
  ASSERT_FALSE(log.empty());
  for (const auto& p : log) EXPECT_LE(p.area.width() * p.area.height(), 6 * 4);
  light->on = true;
  s.loop.runDue();
  EXPECT_TRUE(s.server.takePaintLog().empty());
  long allocations = 0;
  for (int i = 0; i < 4; ++i) {
    s.server.takePaintLog(); // the log keeps its room
    zarn::test::AllocationCounter counter;
    light->on = i % 2 == 1;
    s.loop.runDue();
    allocations += counter.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(Pixels(s.server, window.window(), kEditorWidth, kEditorHeight), expected);
}
