// The drawing port and what it stands on: regions against a pixel model,
// drawing that stays inside the clip, scrolling, pictures, resources by
// name, platform controls and pop-up menus with a definition of their own.

#include "platform/ControlManager.h"
#include "platform/DrawPort.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/MenuManager.h"
#include "platform/PortPicture.h"
#include "platform/Resources.h"
#include "platform/TextEdit.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

using namespace platform;

namespace {

PortRect RandomRect(std::mt19937& rng, int size) {
  std::uniform_int_distribution<int> d(-2, size + 2);
  int a = d(rng), b = d(rng), c = d(rng), e = d(rng);
  return {int16_t(std::min(a, b)), int16_t(std::min(c, e)), int16_t(std::max(a, b)), int16_t(std::max(c, e))};
}

std::set<std::pair<int, int>> Pixels(const PortRect& r) {
  std::set<std::pair<int, int>> s;
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) s.insert({h, v});
  return s;
}

const PortColor kWhite{0xFFFF, 0xFFFF, 0xFFFF}, kRed{0xFFFF, 0, 0}, kBlue{0, 0, 0xFFFF};

} // namespace

TEST(DrawPortTest, RegionsAgreeWithAPixelModel) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    Region region;
    std::set<std::pair<int, int>> model;
    for (int step = 0; step < 6; ++step) {
      PortRect r = RandomRect(rng, 20);
      std::set<std::pair<int, int>> px = Pixels(r), next;
      switch (rng() % 3) {
      case 0:
        region.unite(r);
        model.insert(px.begin(), px.end());
        break;
      case 1:
        region.subtract(r);
        for (auto p : model)
          if (!px.count(p)) next.insert(p);
        model = next;
        break;
      default:
        region.intersect(r);
        for (auto p : model)
          if (px.count(p)) next.insert(p);
        model = next;
      }
    }
    // Same pixels, no rectangle overlapping another, bounds that fit.
    ASSERT_EQ(region.area(), static_cast<int>(model.size()));
    for (auto [h, v] : model) ASSERT_TRUE(region.contains({int16_t(v), int16_t(h)}));
    for (size_t i = 0; i < region.rects().size(); ++i)
      for (size_t j = i + 1; j < region.rects().size(); ++j) ASSERT_FALSE(region.rects()[i].meets(region.rects()[j]));
    for (auto [h, v] : model) ASSERT_TRUE(region.bounds().contains({int16_t(v), int16_t(h)}));
  }
}

TEST(DrawPortTest, EveryDrawingCallStaysInsideTheClip) {
  std::mt19937 rng(3);
  DrawPort port(40, 30);
  port.setOrigin(-5, -3); // local coordinates start at (-5, -3)
  const std::vector<uint8_t> icon(128, 0xFF);
  PortPicture picture(2, 2, std::vector<uint8_t>(16, 200));
  for (int round = 0; round < 60; ++round) {
    Region clip(RandomRect(rng, 30));
    clip.subtract(RandomRect(rng, 30));
    port.setClip(clip);
    port.setBackColor(kWhite);
    port.setForeColor(kWhite);
    port.setClip(Region(port.bounds()));
    port.paintRect(port.bounds());
    port.setClip(clip);
    port.setForeColor(kRed);
    port.setBackColor(kBlue);
    port.setPenSize(1 + round % 3, 1 + round % 2);
    PortRect r = RandomRect(rng, 30);
    switch (round % 9) {
    case 0: port.paintRect(r); break;
    case 1: port.eraseRect(r); break;
    case 2: port.frameRect(r); break;
    case 3: port.paintOval(r); break;
    case 4: port.frameOval(r); break;
    case 5: port.moveTo(r.left, r.top); port.lineTo(r.right, r.bottom); break;
    case 6: port.plotIcon(r, icon.data()); break;
    case 7: port.drawPicture(picture, r); break;
    default: port.moveTo(r.left, r.bottom); port.drawString("Wg"); break;
    }
    for (int v = -3; v < 27; ++v)
      for (int h = -5; h < 35; ++h)
        if (!clip.contains({int16_t(v), int16_t(h)})) {
          ASSERT_EQ(port.pixel(h, v), kWhite) << round << " " << h << "," << v;
        }
  }
  // Without a clip in the way, a filled rectangle covers exactly itself.
  port.setClip(Region(port.bounds()));
  port.setForeColor(kWhite);
  port.paintRect(port.bounds());
  port.setForeColor(kRed);
  port.paintRect({2, 3, 5, 9});
  int red = 0;
  for (int v = -3; v < 27; ++v)
    for (int h = -5; h < 35; ++h) red += port.pixel(h, v) == kRed;
  EXPECT_EQ(red, 3 * 6);
}

// An image lands pixel for pixel where the port and its clip (a region of
// several rectangles) hold it, wherever the origin and the image sit, and
// nowhere else; every byte of the image counts, and the port's pixel is opaque.
TEST(DrawPortTest, ImagesLandOnlyInsideTheClip) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> place(-12, 28), size(0, 14), origin(-4, 4);
  for (int round = 0; round < 80; ++round) {
    DrawPort port(24, 18);
    port.setOrigin(origin(rng), origin(rng));
    port.setClip(Region(port.bounds()));
    port.setForeColor(kWhite);
    port.paintRect(port.bounds());
    Region clip(RandomRect(rng, 24));
    clip.unite(RandomRect(rng, 24));
    clip.subtract(RandomRect(rng, 24));
    port.setClip(clip);
    const int width = size(rng), height = size(rng), h = place(rng), v = place(rng);
    // Every other round the image is the left part of a wider one, whose
    // rows the port must step over.
    const int stride = width + (round % 2) * (1 + round % 5);
    std::vector<uint8_t> image(static_cast<size_t>(stride * height) * 4);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
    if (stride == width)
      port.drawImage(image.data(), width, height, h, v);
    else
      port.drawImage(image.data(), width, height, h, v, stride);
    const PortRect b = port.bounds();
    for (int y = b.top; y < b.bottom; ++y)
      for (int x = b.left; x < b.right; ++x) {
        PortColor want = kWhite;
        if (x >= h && x < h + width && y >= v && y < v + height && clip.contains({int16_t(y), int16_t(x)})) {
          const uint8_t* s = &image[(static_cast<size_t>(y - v) * stride + (x - h)) * 4];
          want = {static_cast<uint16_t>(s[0] * 0x101), static_cast<uint16_t>(s[1] * 0x101),
                  static_cast<uint16_t>(s[2] * 0x101)};
        }
        ASSERT_EQ(port.pixel(x, y), want) << round << " at " << x << "," << y;
      }
  }
}

TEST(DrawPortTest, ScrollingMovesPixelsAndErasesWhatItExposes) {
  DrawPort port(20, 20);
  port.setForeColor(kRed);
  port.paintRect({5, 5, 10, 10});
  port.setBackColor(kBlue);
  Region exposed = port.scrollRect({0, 0, 20, 20}, 3, -2);
  EXPECT_EQ(port.pixel(8, 3), kRed);
  EXPECT_EQ(port.pixel(12, 7), kRed);
  EXPECT_EQ(port.pixel(7, 8), kWhite); // where the square was and is no more
  EXPECT_EQ(exposed.area(), 20 * 20 - 17 * 18);
  for (const PortRect& r : exposed.rects()) EXPECT_EQ(port.pixel(r.left, r.top), kBlue);
}

TEST(DrawPortTest, PicturesResourcesControlsAndMenus) {
  // Pictures round-trip; anything malformed is refused.
  std::vector<uint8_t> rgba(3 * 2 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> bytes = PortPicture(3, 2, rgba).encode();
  std::optional<PortPicture> back = PortPicture::decode(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->encode(), bytes);
  for (size_t cut : {size_t{0}, size_t{7}, bytes.size() - 1}) EXPECT_FALSE(PortPicture::decode({bytes.begin(), bytes.begin() + long(cut)}));
  bytes[0] = 'X';
  EXPECT_FALSE(PortPicture::decode(bytes));
  EXPECT_EQ(resourceFileName(fourCharCode("STR#"), -128), "STR#.-128");
  EXPECT_FALSE(getResource(fourCharCode("PICT"), 1)); // the application's own map holds none

  HeadlessWindowServer server;
  WindowServer* previous = &WindowServer::current();
  WindowServer::setCurrent(&server);
  DrawPort port(100, 100);
  port.setWindow(server.createWindow({10, 10, 110, 110}, false, "t"), {10, 10});

  // A control tracks the mouse and answers where it was let go.
  std::unique_ptr<PortControl> box =
      PortControl::create(&port, {10, 10, 30, 60}, "Box", true, 5, 0, 1, PortControl::kCheckBox, nullptr);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->value(), 1); // clamped
  server.holdButtonAlong({{30, 30}, {200, 200}, {40, 25}});
  EXPECT_EQ(box->track({20, 20}), PortControl::kInCheckBox);
  EXPECT_FALSE(box->isHighlighted());
  server.holdButtonAlong({{30, 30}, {200, 200}});
  EXPECT_EQ(box->track({20, 20}), PortControl::kNoPart);
  EXPECT_FALSE(PortControl::create(&port, {}, "", true, 0, 0, 1, 7, nullptr));

  // A menu placed by its definition, chosen by the script.
  struct Definition : MenuDefinition {
    void size(CustomMenu& m) override {
      m.width = 50;
      m.height = static_cast<int16_t>(10 * m.items.size());
    }
    PortRect place(const CustomMenu& m, PortPoint click, int16_t item) override {
      int16_t top = static_cast<int16_t>(click.v - 10 * (item - 1));
      return {top, click.h, static_cast<int16_t>(top + m.height), static_cast<int16_t>(click.h + m.width)};
    }
  } definition;
  CustomMenu menu{1000, {"One", "Two", "Three"}, 0, 0, &definition};
  PortRect shownAt;
  server.chooseInNextMenu({"Three"});
  EXPECT_EQ(popUpMenuSelect(menu, {100, 200}, 2, [&](const PortRect& r) { shownAt = r; }), 3);
  EXPECT_EQ(shownAt, (PortRect{90, 200, 120, 250}));
  EXPECT_EQ(server.shownMenus().back().at, (ScreenPoint{200, 90}));
  EXPECT_TRUE(server.shownMenus().back().menu.children[1].checked);
  server.chooseInNextMenu({"Four"});
  EXPECT_EQ(popUpMenuSelect(menu, {100, 200}, 1), 0);
  WindowServer::setCurrent(previous);
}

TEST(DrawPortTest, TextEditTypesOverTheSelectionAndClicksToBoundaries) {
  DrawPort port(200, 30);
  port.setTextSize(12);
  TextEdit edit(&port, {5, 10, 25, 190});
  edit.setText("Cutoff");
  edit.setSelection(0, 3);
  edit.key('X');
  EXPECT_EQ(edit.text(), "Xoff");
  edit.key(TextEdit::kBackspace);
  edit.key(TextEdit::kBackspace); // nothing before the caret
  EXPECT_EQ(edit.text(), "off");
  edit.key(TextEdit::kRightArrow);
  edit.key('-');
  edit.key(1); // control characters are not text
  EXPECT_EQ(edit.text(), "o-ff");
  // A click at the left edge is offset 0; Shift-click to the right end
  // selects everything.
  edit.click({15, 11}, false);
  EXPECT_EQ(edit.selectionStart(), 0);
  edit.click({15, 189}, true);
  EXPECT_EQ(edit.selectionEnd(), 4);
  edit.draw();
  EXPECT_EQ(port.pixel(12, 5), (PortColor{0, 0, 0})); // the selection shows inverted
  EXPECT_EQ(port.pixel(180, 15), kWhite);

  // An arrow key ends a selection at its own side; at either end of the
  // text the caret stays there.
  auto caret = [&] { return std::pair(edit.selectionStart(), edit.selectionEnd()); };
  edit.setSelection(1, 3);
  edit.key(TextEdit::kLeftArrow);
  EXPECT_EQ(caret(), std::pair(1, 1));
  edit.setSelection(1, 3);
  edit.key(TextEdit::kRightArrow);
  EXPECT_EQ(caret(), std::pair(3, 3));
  edit.setSelection(4, 4);
  edit.key(TextEdit::kRightArrow);
  EXPECT_EQ(caret(), std::pair(4, 4));
  edit.key('!');
  EXPECT_EQ(edit.text(), "o-ff!");
  edit.setSelection(0, 0);
  edit.key(TextEdit::kLeftArrow);
  EXPECT_EQ(caret(), std::pair(0, 0));
  // The bytes of a character beyond ASCII ("\xC3\xA9", e acute) are text.
  edit.key('\xC3');
  edit.key('\xA9');
  EXPECT_EQ(edit.text(), "\xC3\xA9o-ff!");
  // Shift-click to the left of the caret selects from there up to it.
  edit.setSelection(3, 3);
  edit.click({15, 11}, true);
  EXPECT_EQ(caret(), std::pair(0, 3));
}

TEST(DrawPortTest, HugeShapesDrawTheirVisiblePart) {
  // Shapes as large as a rectangle can be, seen through a small port: what
  // shows is what the geometry says, and drawing them costs what shows.
  DrawPort port(40, 30);
  port.setOrigin(-20, -15);
  const PortRect huge{-32768, -32768, 32767, 32767};
  const PortRect clip{-10, -12, 10, 12};
  auto clear = [&] {
    port.setClip(Region(port.bounds()));
    port.setForeColor(kWhite);
    port.paintRect(port.bounds());
    port.setClip(Region(clip));
    port.setForeColor(kRed);
  };
  auto inClip = [&](int h, int v) { return h >= clip.left && h < clip.right && v >= clip.top && v < clip.bottom; };

  // The oval's centre is near (0, 0) and its radii are 32767: every pixel
  // of the port is inside it, and its one-pixel frame is far outside.
  clear();
  port.paintOval(huge);
  for (int v = -15; v < 15; ++v)
    for (int h = -20; h < 20; ++h) ASSERT_EQ(port.pixel(h, v), inClip(h, v) ? kRed : kWhite) << h << "," << v;
  clear();
  port.frameOval(huge);
  for (int v = -15; v < 15; ++v)
    for (int h = -20; h < 20; ++h) ASSERT_EQ(port.pixel(h, v), kWhite) << h << "," << v;

  // A 2 x 2 picture over it: its columns meet at h = 0, its rows at v = 0.
  const uint8_t quads[16] = {255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255, 255, 0, 0, 255};
  clear();
  port.drawPicture(PortPicture(2, 2, std::vector<uint8_t>(quads, quads + 16)), huge);
  for (int v = -15; v < 15; ++v)
    for (int h = -20; h < 20; ++h) {
      const PortColor expected = ((h >= 0) != (v >= 0)) ? kBlue : kRed;
      ASSERT_EQ(port.pixel(h, v), inClip(h, v) ? expected : kWhite) << h << "," << v;
    }

  // An icon whose right half is set: pixels from h = 0 rightward.
  std::vector<uint8_t> icon;
  for (int row = 0; row < 32; ++row) icon.insert(icon.end(), {0, 0, 0xFF, 0xFF});
  clear();
  port.plotIcon(huge, icon.data());
  for (int v = -15; v < 15; ++v)
    for (int h = -20; h < 20; ++h) ASSERT_EQ(port.pixel(h, v), inClip(h, v) && h >= 0 ? kRed : kWhite) << h << "," << v;
}

// What a shape, a picture, an icon or a string covers, pixel by pixel, as
// worked out from its geometry; and where the port's local coordinates lie
// on the screen and in its window.
TEST(DrawPortTest, ShapesPicturesIconsAndTextCoverWhatTheirGeometrySays) {
  DrawPort port(40, 40);
  auto clear = [&] {
    port.setForeColor(kWhite);
    port.paintRect(port.bounds());
    port.setForeColor(kRed);
  };

  // A line with no pixel centre as near to one side as to the other: each
  // column takes the row nearest to y = x / 3.
  clear();
  port.setPenSize(1, 1);
  port.moveTo(0, 0);
  port.lineTo(6, 2);
  for (int v = 0; v < 4; ++v)
    for (int h = 0; h < 8; ++h)
      EXPECT_EQ(port.pixel(h, v), h <= 6 && v == (h + 1) / 3 ? kRed : kWhite) << h << "," << v;
  EXPECT_EQ(port.pen(), (PortPoint{2, 6}));

  // A frame as thick as the pen: two columns at the sides, one row at the
  // top and the bottom.
  clear();
  port.setPenSize(2, 1);
  port.frameRect({2, 3, 10, 12});
  for (int v = 0; v < 14; ++v)
    for (int h = 0; h < 16; ++h) {
      const bool inside = v >= 2 && v < 10 && h >= 3 && h < 12;
      const bool border = v < 3 || v >= 9 || h < 5 || h >= 10;
      EXPECT_EQ(port.pixel(h, v), inside && border ? kRed : kWhite) << h << "," << v;
    }

  // An oval frame 20 x 10 with a pen 3 wide and 1 high: its inner edge is
  // the oval of the rectangle inset by 3 and 1, whose half axes are 7 and 4
  // about the centre (10, 5). Pixel centres just outside and just inside
  // that edge, on each side:
  clear();
  port.setPenSize(3, 1);
  port.frameOval({0, 0, 10, 20});
  for (auto [h, v] : {std::pair{2, 4}, {17, 4}, {10, 0}, {10, 9}}) EXPECT_EQ(port.pixel(h, v), kRed) << h << "," << v;
  for (auto [h, v] : {std::pair{3, 4}, {16, 4}, {10, 1}, {10, 8}}) EXPECT_EQ(port.pixel(h, v), kWhite) << h << "," << v;
  port.setPenSize(1, 1);

  // A picture's mask: a mostly transparent pixel is not drawn, a mostly
  // opaque one is. A picture 1 wide and 2 high stretched to 2 x 4: each
  // of its pixels covers two rows.
  clear();
  const uint8_t masked[8] = {0, 0, 255, 64, 0, 0, 255, 192};
  port.drawPicture(PortPicture(2, 1, std::vector<uint8_t>(masked, masked + 8)), {0, 0, 1, 2});
  EXPECT_EQ(port.pixel(0, 0), kWhite);
  EXPECT_EQ(port.pixel(1, 0), kBlue);
  const uint8_t tall[8] = {255, 0, 0, 255, 0, 0, 255, 255};
  port.drawPicture(PortPicture(1, 2, std::vector<uint8_t>(tall, tall + 8)), {4, 0, 8, 2});
  for (int v = 4; v < 8; ++v)
    for (int h = 0; h < 2; ++h) EXPECT_EQ(port.pixel(h, v), v < 6 ? kRed : kBlue) << h << "," << v;

  // An icon's rows are 4 bytes, the leftmost pixel in each byte's top bit.
  clear();
  std::vector<uint8_t> icon(128, 0);
  icon[0] = 0xC0; // row 0: pixels 0 and 1
  icon[3] = 0x01; // row 0: pixel 31
  port.plotIcon({0, 0, 32, 32}, icon.data());
  for (int h = 0; h < 32; ++h) EXPECT_EQ(port.pixel(h, 0), h < 2 || h == 31 ? kRed : kWhite) << h;
  EXPECT_EQ(port.pixel(0, 1), kWhite);

  // Text sits on its baseline: an "H" inks the row just above the pen and
  // nothing from the pen's row down, nor above its size.
  port.setTextSize(12);
  const DrawPort::FontInfo info = port.fontInfo();
  EXPECT_GT(info.ascent, info.descent);
  EXPECT_GT(info.descent, 0);
  EXPECT_GE(info.ascent + info.descent, 12);
  EXPECT_LE(info.ascent + info.descent, 18);
  clear();
  port.setForeColor({0, 0, 0});
  port.moveTo(5, 20);
  port.drawString("H");
  int inkedAbove = 0;
  for (int v = 0; v < 40; ++v)
    for (int h = 0; h < 40; ++h) {
      const bool inked = port.pixel(h, v) != kWhite;
      if (v >= 20 || v < 20 - 12) {
        EXPECT_FALSE(inked) << h << "," << v;
      }
      if (v == 19) inkedAbove += inked;
    }
  EXPECT_GT(inkedAbove, 0);
  // A grey ink blends with white by each pixel's coverage, which the black
  // string shows, to the nearest level.
  std::vector<int> coverage;
  for (int v = 0; v < 40; ++v)
    for (int h = 0; h < 40; ++h) coverage.push_back(255 - port.pixel(h, v).red / 0x101);
  clear();
  port.setForeColor({0x8080, 0x8080, 0x8080});
  port.moveTo(5, 20);
  port.drawString("H");
  for (int v = 0; v < 40; ++v)
    for (int h = 0; h < 40; ++h) {
      const int c = coverage[static_cast<size_t>(v * 40 + h)];
      const double exact = (128.0 * c + 255.0 * (255 - c)) / 255.0;
      EXPECT_NEAR(port.pixel(h, v).red / 0x101, exact, 0.5) << h << "," << v;
    }
  // A string is as wide as drawing it moves the pen, at every size.
  for (int16_t size = 9; size <= 16; ++size) {
    port.setTextSize(size);
    for (const char* s : {"Cutoff", "Resonance", "LFO 2 Rate", "Wg", "i"}) {
      port.moveTo(3, 30);
      port.drawString(s);
      EXPECT_EQ(port.pen().h, 3 + port.textWidth(s)) << s << " at " << size;
    }
  }

  // Local coordinates with the origin at (-5, -3), the port's top-left on
  // the screen at (10, 10), where its window's content starts: local (0, 0)
  // is on the screen at (15, 13) and in the window at (5, 3).
  HeadlessWindowServer server;
  const WindowId w = server.createWindow({10, 10, 50, 50}, false, "t");
  DrawPort local(40, 40);
  local.setWindow(w, {10, 10}, &server);
  local.setOrigin(-5, -3);
  EXPECT_EQ(local.localToGlobal({0, 0}), (PortPoint{13, 15}));
  EXPECT_EQ(local.globalToLocal({13, 15}), (PortPoint{0, 0}));
  server.move({17, 14});
  EXPECT_EQ(local.mouse(), (PortPoint{1, 2}));
  std::vector<ScreenRect> updated;
  server.setUpdateHandler(w, [&](const ScreenRect& r) { updated.push_back(r); });
  server.runLoop().runDue();
  updated.clear();
  local.invalidate({0, 0, 4, 4});
  server.runLoop().runDue();
  EXPECT_EQ(updated, (std::vector<ScreenRect>{{5, 3, 9, 7}}));
}
