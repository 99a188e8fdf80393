#include "platform/DrawContext.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Surface {
  int w, h;
  std::vector<uint8_t> bytes;
  Surface(int w, int h) : w(w), h(h), bytes(w * h * 4, 0) {}
  platform::Pixels pixels() { return platform::Pixels(bytes.data(), w, h, w); }
  uint8_t red(int x, int y) const { return bytes[(y * w + x) * 4]; }
  // "left,top,right,bottom" of the pixels whose red byte is v.
  std::string boxOf(uint8_t v) const {
    int l = w, t = h, r = 0, b = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (red(x, y) == v) l = std::min(l, x), t = std::min(t, y), r = std::max(r, x + 1), b = std::max(b, y + 1);
    return std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," + std::to_string(b);
  }
};

} // namespace

TEST(DrawContextTest, FillsAndImagesFollowTranslationMirroringAndTheClipStack) {
  Surface s(40, 30);
  platform::DrawContext c(s.pixels());
  c.translate(5, 30);
  c.scale(1, -1); // y upwards from the bottom edge
  c.fillRect({0, 0, 10, 4}, 200, 0, 0);
  EXPECT_EQ(s.boxOf(200), "5,26,15,30");
  c.saveState();
  c.clipToRect({2, 0, 100, 100});
  c.translate(10, 0);
  c.fillRect({-20, 10, 3, 12}, 150, 0, 0); // clipped at user x 2 of the saved space
  EXPECT_EQ(s.boxOf(150), "7,18,18,20");
  // A 2 x 3 image, stretched to twice its width and mirrored: row 0 at the
  // bottom; its alpha (0) ignored unless asked for.
  Surface img(2, 3);
  for (int i = 0; i < 6; ++i) img.bytes[i * 4] = static_cast<uint8_t>(10 + i);
  c.drawImage({0, 0, 4, 3}, img.pixels());
  EXPECT_EQ(s.boxOf(10), "15,29,17,30");
  EXPECT_EQ(s.red(17, 29), 11);
  EXPECT_EQ(s.red(15, 27), 14);
  EXPECT_EQ(s.bytes[(29 * 40 + 15) * 4 + 3], 0); // the fourth byte untouched
  c.drawImage({0, 0, 4, 3}, Surface(2, 3).pixels(), true); // fully transparent
  EXPECT_EQ(s.red(15, 29), 10);
  c.restoreState();
  c.restoreState(); // nothing saved: no effect
  c.fillRect({-100, -100, 100, 100}, 255, 255, 255, 128); // translucent, unclipped
  EXPECT_EQ(s.red(0, 0), 128);
  EXPECT_EQ(s.red(5, 29), 200 * 127 / 255 + 128);

  // Mirrored left to right: a translation moves the other way on the
  // device (user x lies at device 8 - x), and an image shows its column 0
  // at the right edge.
  Surface m(10, 10);
  platform::DrawContext d(m.pixels());
  d.scale(-1, 1);
  d.translate(-8, 2);
  Surface pair(2, 1);
  pair.bytes[0] = 10;
  pair.bytes[4] = 20;
  d.drawImage({0, 0, 2, 1}, pair.pixels());
  EXPECT_EQ(m.red(7, 2), 10);
  EXPECT_EQ(m.red(6, 2), 20);
  EXPECT_EQ(m.boxOf(10), "7,2,8,3");
  // A clip within a clip holds only what both hold: device columns 3 to 7,
  // then 2 to 6, leave 3 to 6.
  d.saveState();
  d.clipToRect({0, 0, 5, 10});
  d.clipToRect({1, 0, 6, 10});
  d.fillRect({-10, 3, 20, 4}, 50, 0, 0);
  EXPECT_EQ(m.boxOf(50), "3,5,7,6");
  d.restoreState();
  // Each term of a blend is rounded down on its own: 200 over 200 at alpha
  // 200 is 200 x 200 / 255 = 156 (156.9) plus 200 x 55 / 255 = 43 (43.1).
  d.fillRect({0, 6, 1, 7}, 200, 0, 0);
  d.fillRect({0, 6, 1, 7}, 200, 0, 0, 200);
  EXPECT_EQ(m.red(7, 8), 199);
}
