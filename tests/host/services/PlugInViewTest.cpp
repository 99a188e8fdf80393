// The host-drawn view base: the tree, drawing state that survives throwing
// views, the overlay and its deferred redraws, focus keys, tracking and
// dragging, and invalidation when views move.

#include "host/services/CDAEError.h"
#include "host/services/CPlugInView.h"
#include "tests/host/services/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace viewtest;

namespace {

// A view that paints its rectangle in its own colour and records what it
// was asked to draw, its clicks and its edits.
class Probe : public CCustomView {
public:
  Probe(Rect r, RGBColor colour, std::string* log = nullptr, char name = '?')
      : fColour(colour), fLog(log), fName(name) {
    SetRect(&r);
    SetEnabled(true);
  }
  ~Probe() override {
    if (fLog) *fLog += std::string("~") + fName;
  }
  void DrawContents(Rect* area) override {
    drawn.push_back(*area);
    if (throwInDraw) throw CDAEError(-1);
    platform::currentPort()->setForeColor(fColour);
    platform::currentPort()->paintRect(fRect);
  }
  bool WantsFocus() override { return focusable; }
  void BeginEdit() override { *fLog += std::string("B") + fName; }
  void EndEdit(bool accept) override { *fLog += std::string(accept ? "E" : "X") + fName; }
  void HandleKey(char key, bool* handled) override {
    *fLog += key;
    *handled = true;
  }
  void SetClicked(bool clicked) override {
    if (clicked != GetClicked()) clicks += clicked ? '+' : '-';
    CCustomView::SetClicked(clicked);
  }

  std::vector<Rect> drawn;
  std::string clicks;
  bool throwInDraw = false;
  bool focusable = false;

private:
  RGBColor fColour;
  std::string* fLog;
  char fName;
};

constexpr RGBColor kRed{0xFFFF, 0, 0}, kBlue{0, 0, 0xFFFF}, kGreen{0, 0xFFFF, 0}, kSentinel{0x1111, 0x2222, 0x3333};

EventRecord Key(char c, uint16_t modifiers = 0) {
  EventRecord e;
  e.what = kKeyDownEvent;
  e.message = static_cast<uint8_t>(c);
  e.modifiers = modifiers;
  return e;
}

EventRecord Press(Point p, uint16_t modifiers = 0) {
  EventRecord e;
  e.what = kMouseDownEvent;
  e.where = p;
  e.modifiers = modifiers;
  return e;
}

} // namespace

TEST(PlugInViewTest, TreeNestsFindsAndOwnsItsViews) {
  std::string log;
  auto* root = new Probe({0, 0, 200, 300}, kRed, &log, 'r');
  auto* outer = new Probe({10, 10, 100, 100}, kRed, &log, 'o');
  auto* inner = new Probe({20, 20, 80, 80}, kRed, &log, 'i');
  auto* deep = new Probe({30, 30, 40, 40}, kRed, &log, 'd');
  auto* side = new Probe({90, 90, 150, 150}, kRed, &log, 's'); // overlaps outer, not inside it
  for (CPlugInView* v : {static_cast<CPlugInView*>(outer), static_cast<CPlugInView*>(inner),
                         static_cast<CPlugInView*>(deep), static_cast<CPlugInView*>(side)})
    root->AddSubView(v, true);
  EXPECT_EQ(inner->GetParent(), outer);
  EXPECT_EQ(deep->GetParent(), inner); // nested at any depth
  EXPECT_EQ(side->GetParent(), root);
  EXPECT_EQ(root->FindSubViewAt({35, 35}), deep);
  EXPECT_EQ(root->FindSubViewAt({95, 95}), outer); // the first child in chain order
  EXPECT_EQ(root->FindSubViewAt({120, 120}), side);
  EXPECT_EQ(root->FindSubViewAt({190, 290}), root);
  EXPECT_EQ(root->FindSubViewAt({250, 10}), nullptr);

  deep->SetViewType(fourCharCode("Deep"));
  side->SetViewType(fourCharCode("Side"));
  EXPECT_EQ(root->FindViewByType(fourCharCode("Deep")), deep);
  EXPECT_EQ(root->FindViewByType(fourCharCode("Side")), side);
  EXPECT_EQ(root->FindViewByType(CPlugInView::kNoType), nullptr); // even though views carry it

  root->RemoveSubView(side);
  EXPECT_EQ(side->GetParent(), nullptr);
  EXPECT_EQ(root->FindViewByType(fourCharCode("Side")), nullptr);
  delete side;
  log.clear();
  delete root;
  EXPECT_EQ(log, "~r~o~i~d"); // children first to last, each with its own
}

TEST(PlugInViewTest, DrawingStateIsPoppedEvenWhenDrawingThrows) {
  ViewWorld world;
  Probe root({0, 0, 200, 300}, kRed);
  auto* child = new Probe({10, 10, 50, 50}, kBlue);
  root.AddSubView(child, false);
  root.SetViewPort(&world.port());
  platform::PortRect fullClip = world.port().clip().bounds();

  child->throwInDraw = true;
  // More throws than the stack has room for: each leaves nothing pushed.
  for (int i = 0; i < 6; ++i) {
    EXPECT_THROW(root.Update(nullptr), CDAEError);
    EXPECT_EQ(root.GetDrawDepth(), 0);
    EXPECT_EQ(platform::currentPort(), nullptr);
    EXPECT_EQ(world.port().clip().bounds(), fullClip);
  }
  child->throwInDraw = false;
  root.Update(nullptr);
  EXPECT_EQ(world.port().pixel(20, 20), kBlue);

  // The stack's own limits still hold.
  for (int i = 0; i < CPlugInView::kMaxDrawDepth; ++i) root.BeginDraw(nullptr);
  try {
    root.BeginDraw(nullptr);
    FAIL();
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), -7400);
  }
  for (int i = 0; i < CPlugInView::kMaxDrawDepth; ++i) root.EndDraw();
  try {
    root.EndDraw();
    FAIL();
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), -7400);
  }
  Probe portless({0, 0, 10, 10}, kRed);
  try {
    portless.BeginDraw(nullptr);
    FAIL();
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), -7053);
  }

  // An update that misses the view draws nothing and pushes nothing.
  child->drawn.clear();
  Rect away{150, 150, 190, 190};
  child->Update(&away);
  EXPECT_TRUE(child->drawn.empty());
}

TEST(PlugInViewTest, OverlayKeepsViewsOffItAndRedrawsThemOnceWhenItGoes) {
  ViewWorld world;
  platform::DrawPort& port = world.port();
  Probe root({0, 0, 200, 300}, kGreen);
  auto* a = new Probe({10, 10, 60, 60}, kRed);
  auto* b = new Probe({10, 100, 60, 160}, kBlue);
  auto* c = new Probe({100, 10, 150, 60}, kBlue); // away from the overlay
  root.AddSubView(a, false);
  root.AddSubView(b, false);
  root.AddSubView(c, false);
  root.SetViewPort(&port);

  // A floating menu over parts of a and b; what it shows stands in the port.
  Rect menu{20, 40, 50, 120};
  port.setForeColor(kSentinel);
  port.paintRect(menu);
  platform::DrawPort menuPort(1, 1);
  platform::setCurrentPort(&port);
  CPlugInView::SetOverlay(&menuPort, &menu);
  platform::setCurrentPort(nullptr);

  Rect top{10, 10, 30, 60}, bottom{40, 10, 60, 60};
  a->Update(&top);
  a->Update(&bottom);
  b->Update(nullptr);
  c->Update(nullptr);
  // No pixel of the menu was painted over; the rest of the views were.
  for (int v = menu.top; v < menu.bottom; ++v)
    for (int h = menu.left; h < menu.right; ++h) ASSERT_EQ(port.pixel(h, v), kSentinel) << h << "," << v;
  EXPECT_EQ(port.pixel(15, 15), kRed);
  EXPECT_EQ(port.pixel(150, 15), kBlue);
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 2); // a (widened) and b; c was never clipped

  // A view deleted while waiting leaves the list.
  root.RemoveSubView(b);
  delete b;
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 1);

  a->drawn.clear();
  CPlugInView::SetOverlay(nullptr, nullptr);
  EXPECT_EQ(CPlugInView::GetDeferredCount(), 0);
  ASSERT_EQ(a->drawn.size(), 1u);
  EXPECT_EQ(a->drawn[0], (Rect{10, 10, 60, 60})); // the union of both clipped updates
  EXPECT_EQ(port.pixel(45, 30), kRed);           // the part the menu covered
}

TEST(PlugInViewTest, FocusMovesWithTabAndShiftTabAndEndsWithReturnOrEscape) {
  ViewWorld world;
  std::string log;
  Probe root({0, 0, 200, 300}, kGreen, &log, 'r');
  Probe* views[4];
  const char names[] = "abcd";
  for (int i = 0; i < 4; ++i) {
    views[i] = new Probe({10, static_cast<int16_t>(10 + 40 * i), 30, static_cast<int16_t>(40 + 40 * i)}, kRed, &log,
                         names[i]);
    views[i]->focusable = i != 1; // b never takes the focus
    root.AddSubView(views[i], false);
  }
  views[3]->SetEnabled(false); // nor does a disabled d
  root.SetViewPort(&world.port());
  root.Activate();

  EventRecord click = Press({20, 20});
  root.HandleMouseDown(&click);
  EXPECT_EQ(root.GetFocus(), views[0]);
  bool handled = false;
  EventRecord key = Key('x');
  root.HandleKeyEvent(&key, &handled);
  EXPECT_TRUE(handled);
  EventRecord tab = Key(9), shiftTab = Key(9, kShiftKeyBit);
  root.HandleKeyEvent(&tab, &handled);
  EXPECT_EQ(root.GetFocus(), views[2]);
  root.HandleKeyEvent(&tab, &handled); // wraps round to a
  EXPECT_EQ(root.GetFocus(), views[0]);
  root.HandleKeyEvent(&shiftTab, &handled); // nothing before a: the last after it
  EXPECT_EQ(root.GetFocus(), views[2]);
  EventRecord enter = Key(3), ret = Key(13), escape = Key(27);
  root.HandleKeyEvent(&enter, &handled);
  EXPECT_EQ(root.GetFocus(), views[2]);
  root.HandleKeyEvent(&ret, &handled);
  EXPECT_EQ(root.GetFocus(), nullptr);
  EXPECT_EQ(log, "xEaBcEcBaEaBcEcBcEc");

  root.HandleMouseDown(&click);
  log.clear();
  root.HandleKeyEvent(&escape, &handled);
  EXPECT_EQ(log, "Xa");
  EXPECT_EQ(root.GetFocus(), nullptr);
  handled = true;
  root.HandleKeyEvent(&key, &handled); // nobody has the focus
  EXPECT_FALSE(handled);

  // Alone among its siblings, a focus that tabs away clears.
  views[2]->focusable = false;
  root.HandleMouseDown(&click);
  root.HandleKeyEvent(&tab, &handled);
  EXPECT_EQ(root.GetFocus(), nullptr);
  EXPECT_EQ(root.GetDrawDepth(), 0);
}

TEST(PlugInViewTest, TrackingHighlightsWhileInsideAndDraggingStaysInTheParent) {
  ViewWorld world;
  Probe root({0, 0, 200, 300}, kGreen);
  auto* button = new Probe({10, 10, 40, 60}, kRed);
  auto* handle = new Probe({100, 100, 120, 130}, kBlue);
  root.AddSubView(button, false);
  root.AddSubView(handle, false);
  handle->SetDraggable(true);
  root.SetViewPort(&world.port());

  world.dragAlong({{20, 20}, {20, 25}, {100, 250}, {30, 30}, {150, 150}});
  int idles = world.group().idles;
  EventRecord press = Press({20, 20});
  root.HandleMouseDown(&press);
  EXPECT_EQ(button->clicks, "+-+-"); // in, out, in, out, then released
  EXPECT_GE(world.group().idles - idles, 5);

  // A click the program posts itself is not tracked.
  world.dragAlong({{20, 20}, {30, 30}});
  press.message = kSyntheticClickMessage;
  button->clicks.clear();
  root.HandleMouseDown(&press);
  EXPECT_EQ(button->clicks, "");
  while (platform::DrawPort::stillDown()) {
  }

  // Dragged far beyond the parent, the handle stops 1 pixel inside it.
  world.dragAlong({{110, 110}, {150, 180}, {400, 500}});
  EventRecord grab = Press({105, 105});
  root.HandleMouseDown(&grab);
  EXPECT_EQ(handle->GetBounds(), (Rect{179, 269, 199, 299}));
  EXPECT_FALSE(handle->IsDragging());
  EXPECT_FALSE(handle->GetClicked());
  EXPECT_EQ(world.port().pixel(280, 190), kBlue);
  EXPECT_EQ(world.port().pixel(115, 105), kGreen); // its old place was repainted
}

TEST(PlugInViewTest, MovingInvalidatesTheOldAndNewPlaces) {
  ViewWorld world;
  Probe root({0, 0, 200, 300}, kGreen);
  auto* v = new Probe({10, 10, 20, 30}, kRed);
  root.AddSubView(v, false);
  root.SetViewPort(&world.port());
  world.port().takeInvalidated();
  v->MoveBy(0, 0);
  EXPECT_TRUE(world.port().takeInvalidated().empty());
  v->MoveTo(50, 40);
  EXPECT_EQ(v->GetBounds(), (Rect{40, 50, 50, 70}));
  EXPECT_EQ(world.port().takeInvalidated(), (std::vector<Rect>{{10, 10, 20, 30}, {40, 50, 50, 70}}));
  EXPECT_TRUE(world.server().hasInvalidArea(world.port().window()));
}
