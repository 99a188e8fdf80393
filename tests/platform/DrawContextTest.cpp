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
}
