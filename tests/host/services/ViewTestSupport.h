#pragma once

// A small world for host-drawn views: the headless window server as the
// current one, a plug-in bundle whose resources tests write, the process
// group of the bundle (whose idle time tests can hook), a window with its
// port, and view descriptions built element by element.

#include "host/CProcessGroup.h"
#include "host/services/CCustomView.h"
#include "platform/HeadlessWindowServer.h"
#include "tests/support/TestBundle.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace viewtest {

// The group tests get from the bundle: idle time can be hooked.
class TestGroup : public CProcessGroup {
public:
  int32_t Initialize() override { return 0; }
  void IdleHost() override {
    ++idles;
    if (onIdle) onIdle();
  }
  int idles = 0;
  std::function<void()> onIdle;
};

class ViewWorld {
public:
  static constexpr platform::ScreenPoint kWindowAt{100, 50};

  ViewWorld();
  ~ViewWorld();

  TestGroup& group();
  platform::HeadlessWindowServer& server() { return mServer; }
  platform::DrawPort& port() { return *mPort; }
  const zarn::test::TestBundle& bundle() const { return mBundle; }
  // Writes resource type.id into the bundle.
  void writeResource(const char (&type)[5], int16_t id, const std::vector<uint8_t>& bytes);
  // The screen point of a port point.
  platform::ScreenPoint global(Point p) const { return {p.h + kWindowAt.x, p.v + kWindowAt.y}; }
  // A drag the next tracking loop polls, through port points.
  void dragAlong(const std::vector<Point>& path);

private:
  platform::HeadlessWindowServer mServer;
  platform::WindowServer* mPrevious;
  zarn::test::TestBundle mBundle;
  platform::WindowId mWindow;
  std::unique_ptr<platform::DrawPort> mPort;
};

// One element of a description under construction.
struct Elem {
  int16_t kind = kElemNumber;
  intptr_t value = 0;
  std::string text;
  std::vector<Elem> items;
};
Elem Code(const char (&code)[5]);
Elem Num(int32_t n);
Elem Attr(int32_t code);
Elem Str(const std::string& s);
Elem List(std::vector<Elem> items);

// A view description: the marker, a view keyword and the groups, kept
// alive as long as the object.
class Description {
public:
  explicit Description(std::vector<Elem> groups);
  SCustomParser* parser() { return &mParser; }

private:
  SCustomParseElem* build(const std::vector<Elem>& items);

  SCustomParser mParser;
};

// A plain item with a rectangle.
SItemDescriptor Item(Rect r, bool enabled = true);
// An item at (10, 20, 60, 220) whose text is text.
SItemDescriptor ItemWith(const std::string& text);
// The view the description makes; null when it fails.
std::unique_ptr<CPlugInView> Make(const std::string& text);

} // namespace viewtest
