#include "tests/host/services/ViewTestSupport.h"

#include "host/PlugInEntryPoints.h"
#include "host/PlugInGlobals.h"
#include "platform/Resources.h"

#include <gtest/gtest.h>

#include <algorithm>

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() { return new viewtest::TestGroup; }

namespace viewtest {

namespace {
int sBundles = 0;
} // namespace

ViewWorld::ViewWorld()
    : mPrevious(&platform::WindowServer::current()),
      mBundle("com.quorvane.viewtest." + std::to_string(++sBundles)) {
  platform::WindowServer::setCurrent(&mServer);
  mWindow = mServer.createWindow({kWindowAt.x, kWindowAt.y, kWindowAt.x + 300, kWindowAt.y + 200}, false, "views");
  mPort = std::make_unique<platform::DrawPort>(300, 200);
  mPort->setWindow(mWindow, kWindowAt);
  EXPECT_EQ(NewMachOPlugIn(mBundle.bundle()->path().c_str()), 0);
}

ViewWorld::~ViewWorld() {
  CloseMachOPlugIn();
  platform::setCurrentPort(nullptr);
  platform::WindowServer::setCurrent(mPrevious);
}

TestGroup& ViewWorld::group() { return *static_cast<TestGroup*>(gProcessGroup); }

void ViewWorld::writeResource(const char (&type)[5], int16_t id, const std::vector<uint8_t>& bytes) {
  mBundle.writeResource(platform::resourceFileName(platform::fourCharCode(type), id),
                        std::string(bytes.begin(), bytes.end()));
}

void ViewWorld::dragAlong(const std::vector<Point>& path) {
  std::vector<platform::ScreenPoint> screen;
  for (Point p : path) screen.push_back(global(p));
  mServer.holdButtonAlong(screen);
}

Elem Code(const char (&code)[5]) { return {kElemCode, static_cast<intptr_t>(platform::fourCharCode(code)), {}, {}}; }
Elem Num(int32_t n) { return {kElemNumber, n, {}, {}}; }
Elem Attr(int32_t code) { return {kElemAttribute, code, {}, {}}; }
Elem Str(const std::string& s) { return {kElemString, 0, s, {}}; }
Elem List(std::vector<Elem> items) { return {kElemList, 0, {}, std::move(items)}; }

Description::Description(std::vector<Elem> groups) {
  mParser.elements = build({{kElemMarker, 0, {}, {}}, {kElemView, 1, {}, {}}, List(std::move(groups))});
}

SCustomParseElem* Description::build(const std::vector<Elem>& items) {
  SCustomParseElem* first = nullptr;
  SCustomParseElem* last = nullptr;
  for (const Elem& e : items) {
    unsigned char* text = nullptr;
    if (e.kind == kElemString) {
      text = mParser.poolCursor;
      text[0] = static_cast<unsigned char>(e.text.size());
      std::copy(e.text.begin(), e.text.end(), text + 1);
      mParser.poolCursor += 1 + e.text.size();
    }
    SCustomParseElem* inner = e.kind == kElemList ? build(e.items) : nullptr;
    SCustomParseElem* made = mParser.NewElem(e.kind, static_cast<int32_t>(e.value));
    if (text) SetElemTarget(made, text);
    if (e.kind == kElemList) SetElemTarget(made, inner);
    if (last)
      last->next = made;
    else
      first = made;
    last = made;
  }
  return first;
}

SItemDescriptor Item(Rect r, bool enabled) {
  SItemDescriptor item;
  item.rect = r;
  item.type = enabled ? 0 : kItemDisabled;
  return item;
}

SItemDescriptor ItemWith(const std::string& text) {
  SItemDescriptor item = Item({10, 20, 60, 220});
  item.data[0] = static_cast<uint8_t>(text.size());
  std::copy(text.begin(), text.end(), item.data + 1);
  return item;
}

std::unique_ptr<CPlugInView> Make(const std::string& text) {
  SItemDescriptor item = ItemWith(text);
  unsigned char ok = 2;
  std::unique_ptr<CPlugInView> view(CCustomView::NewCustomItem(&item, &ok));
  EXPECT_EQ(ok != 0, view != nullptr) << text;
  return view;
}

} // namespace viewtest
