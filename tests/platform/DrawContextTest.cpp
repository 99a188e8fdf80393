#include "platform/DrawContext.h"

#include <gtest/gtest.h>

#include <vector>

using Box = platform::DrawContext::Box;

namespace {

struct Surface {
  int w, h;
  std::vector<uint8_t> bytes;
  Surface(int w, int h, uint8_t fill = 0) : w(w), h(h), bytes(w * h * 4, fill) {}
  platform::Pixels pixels() { return platform::Pixels(bytes.data(), w, h, w); }
  const uint8_t* at(int x, int y) const { return &bytes[(y * w + x) * 4]; }
  // The box of pixels whose red byte is v.
  Box boxOf(uint8_t v) const {
    Box b{w, h, 0, 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (at(x, y)[0] == v) b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1), std::max(b.bottom, y + 1)};
    return b;
  }
};

bool same(const Box& a, const Box& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST(DrawContextTest, TransformsAndClipsFollowTheStateStack) {
  Surface s(40, 30);
  platform::DrawContext c(s.pixels());
  c.translate(5, 30);
  c.scale(1, -1); // y upwards from the bottom edge, as a mirrored context
  c.fillRect({0, 0, 10, 4}, 200, 0, 0);
  EXPECT_TRUE(same(s.boxOf(200), {5, 26, 15, 30}));
  c.saveState();
  c.clipToRect({2, 0, 100, 100});
  c.translate(10, 0);
  EXPECT_EQ(c.savedStates(), 1);
  c.fillRect({-20, 10, 3, 12}, 150, 0, 0); // clipped at user x 2 of the saved space
  EXPECT_TRUE(same(s.boxOf(150), {7, 18, 18, 20}));
  c.restoreState();
  c.restoreState(); // nothing saved: no effect
  c.fillRect({-100, -100, 100, 100}, 100, 0, 0);
  EXPECT_TRUE(same(s.boxOf(100), {0, 0, 40, 30})) << "restored clip is the whole surface";
  // Translucent fills blend colour bytes; the fourth byte is never touched.
  Surface t(2, 1, 0);
  platform::DrawContext d(t.pixels());
  d.fillRect({0, 0, 2, 1}, 255, 255, 255, 128);
  EXPECT_EQ(t.at(0, 0)[0], 128);
  EXPECT_EQ(t.at(1, 0)[3], 0);
}

TEST(DrawContextTest, ImagesLandUprightOrMirroredWithTheTransform) {
  Surface img(2, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) {
      uint8_t* p = &img.bytes[(y * 2 + x) * 4];
      p[0] = static_cast<uint8_t>(10 * y + x + 1);
      p[3] = 0; // ignored unless asked for
    }
  Surface s(10, 10, 255);
  platform::DrawContext c(s.pixels());
  c.drawImage({4, 2, 6, 5}, img.pixels());
  EXPECT_EQ(s.at(4, 2)[0], 1);
  EXPECT_EQ(s.at(5, 4)[0], 22);
  EXPECT_EQ(s.at(5, 4)[3], 255);
  c.drawImage({4, 2, 6, 5}, img.pixels(), true); // fully transparent: no change
  EXPECT_EQ(s.at(4, 2)[0], 1);
  // Mirrored vertically: row 0 at the bottom; stretched twice as wide.
  c.translate(0, 10);
  c.scale(1, -1);
  c.clipToRect({0, 0, 1, 100}); // only device column 0
  c.drawImage({0, 0, 4, 3}, img.pixels());
  EXPECT_EQ(s.at(0, 9)[0], 1);
  EXPECT_EQ(s.at(0, 7)[0], 21);
  EXPECT_EQ(s.at(1, 9)[0], 255);
}
