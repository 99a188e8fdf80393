#include "platform/HeadlessWindowServer.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

using platform::HeadlessWindowServer;
using platform::MenuEntry;

namespace {

MenuEntry entry(const std::string& text, bool enabled = true, bool visible = true) {
  MenuEntry e;
  e.text = text;
  e.enabled = enabled;
  e.visible = visible;
  e.divider = text == "-";
  return e;
}

MenuEntry sampleMenu() {
  MenuEntry root;
  root.children = {entry("Load"), entry("Save", false), entry("-"), entry("Load"), entry("Hidden", true, false),
                   entry("Banks")};
  root.children[5].children = {entry("Bass"), entry("Lead")};
  return root;
}

// Paints a solid colour so the framebuffer shows what was painted.
struct Solid : platform::ViewPainter {
  uint8_t value = 0;
  void paintView(platform::ViewSurface& s, const platform::ScreenRect&) override {
    std::vector<uint8_t> px(40 * 30 * 4, value);
    s.drawImage(px.data(), 40, 30, {0, 0});
  }
};

} // namespace

TEST(HeadlessWindowServerTest, MenuResponderChoosesByTextAndCancelsWhatCannotBeChosen) {
  HeadlessWindowServer server;
  const std::vector<std::pair<std::vector<std::string>, std::vector<int>>> cases = {
      {{"Load"}, {0}},           // the first of two enabled matches
      {{"Banks", "Lead"}, {5, 1}}, // a submenu
      {{"Save"}, {}},            // disabled
      {{"-"}, {}},               // divider
      {{"Hidden"}, {}},          // hidden
      {{"Banks"}, {}},           // a submenu title is no choice
      {{"Nothing"}, {}},
  };
  for (const auto& [path, expected] : cases) {
    server.chooseInNextMenu(path);
    EXPECT_EQ(server.popUpMenu(sampleMenu(), {1, 2}), expected) << path[0];
  }
  EXPECT_TRUE(server.popUpMenu(sampleMenu(), {1, 2}).empty()); // nothing scripted cancels
  ASSERT_EQ(server.shownMenus().size(), cases.size() + 1);
  EXPECT_EQ(server.shownMenus()[1].chosen, (std::vector<int>{5, 1}));
  EXPECT_EQ(server.shownMenus()[1].menu.children[5].children[1].text, "Lead");
}

// A window at a global offset with a view nested in a parent view: presses
// reach the handler chain newest first and end at the host; a menu opened
// during the press swallows its release; only invalidated areas are painted,
// at the view's place in the window.
TEST(HeadlessWindowServerTest, RoutesEventsAndPaintsOnlyInvalidAreas) {
  HeadlessWindowServer server;
  const platform::WindowId w = server.createWindow({100, 50, 300, 250}, false, "test");
  const platform::ViewId host = server.createView(w, 0, {10, 20, 150, 150}, nullptr);
  Solid painter;
  painter.value = 200;
  const platform::ViewId v = server.createView(w, host, {5, 6, 45, 36}, &painter);
  EXPECT_EQ(server.viewOrigin(v), (platform::ScreenPoint{15, 26}));

  std::vector<std::string> order;
  server.addMouseHandler(w, [&](const platform::MouseEvent&, const std::function<bool()>& next) {
    order.push_back("first");
    return next();
  });
  server.addMouseHandler(w, [&](const platform::MouseEvent& e, const std::function<bool()>& next) {
    order.push_back("second");
    if (e.kind == platform::MouseEvent::Kind::down) server.popUpMenu(sampleMenu(), e.global);
    return next();
  });
  server.press({120, 80});
  EXPECT_FALSE(server.buttonStillDown());
  server.release({120, 80});
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
  ASSERT_EQ(server.hostEvents(w).size(), 1u);
  EXPECT_EQ(server.hostEvents(w)[0].global, (platform::ScreenPoint{120, 80}));

  server.runLoop().runDue(); // a new view is painted whole
  EXPECT_EQ(server.takePaintLog().at(0).area, (platform::ScreenRect{0, 0, 40, 30}));
  painter.value = 90;
  server.invalidateView(v, {2, 3, 4, 5});
  server.invalidateWindow(w, {0, 0, 16, 27}); // touches only the view's top-left pixel
  server.runLoop().runDue();
  const auto log = server.takePaintLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].area, (platform::ScreenRect{2, 3, 4, 5}));
  EXPECT_EQ(log[1].area, (platform::ScreenRect{0, 0, 1, 1}));
  uint8_t rgb[3];
  server.pixel(w, 17, 29, rgb);
  EXPECT_EQ(rgb[0], 90);
  server.pixel(w, 15, 26, rgb);
  EXPECT_EQ(rgb[1], 90);
  server.pixel(w, 16, 26, rgb); // invalidated by neither
  EXPECT_EQ(rgb[2], 200);
  server.pixel(w, 14, 26, rgb); // outside the view
  EXPECT_EQ(rgb[2], 0);
  // A view's invalidation stays inside the view: the window's neighbours
  // of it are not drawn again.
  std::vector<platform::ScreenRect> updated;
  server.setUpdateHandler(w, [&](const platform::ScreenRect& r) { updated.push_back(r); });
  server.invalidateView(v, {-5, -5, 100, 100});
  server.runLoop().runDue();
  EXPECT_EQ(updated, (std::vector<platform::ScreenRect>{{15, 26, 55, 56}}));
  server.setUpdateHandler(w, nullptr);

  // Where windows overlap, a press reaches the one opened last, in front.
  const platform::WindowId front = server.createWindow({250, 200, 400, 300}, false, "front");
  server.press({260, 210});
  server.release({260, 210});
  EXPECT_EQ(server.hostEvents(front).size(), 2u);
  EXPECT_EQ(server.hostEvents(w).size(), 1u);

  zarn::test::TempDir dir;
  ASSERT_TRUE(server.writeSnapshot(w, dir.file("w.png")));
  std::ifstream f(dir.file("w.png"), std::ios::binary);
  char sig[8] = {};
  f.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
}

// A close asked for by the user reaches the window's owner, who may destroy
// the window from inside; a window without a handler stays.
TEST(HeadlessWindowServerTest, CloseRequestsReachTheOwner) {
  HeadlessWindowServer server;
  const platform::WindowId kept = server.createWindow({0, 0, 50, 50}, false, "kept");
  const platform::WindowId closing = server.createWindow({60, 0, 110, 50}, false, "closing");
  int closes = 0;
  server.setCloseHandler(closing, [&] {
    ++closes;
    server.destroyWindow(closing);
  });
  server.requestClose(kept);
  server.requestClose(closing);
  server.requestClose(closing);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(server.contentArea(closing), platform::ScreenRect{});
  EXPECT_EQ(server.contentArea(kept), (platform::ScreenRect{0, 0, 50, 50}));
}
