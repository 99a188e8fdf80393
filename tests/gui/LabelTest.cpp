// The passive controls: labels sizing themselves to their text, image
// labels to their image and wrapped text, and lights going out on time.

#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/Light.h"
#include "gui/Text.h"
#include "tests/gui/GuiScene.h"
#include "tests/gui/Widgets.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zarn::test;

TEST(LabelTest, LabelsTakeTheirTextsSizeOrAlignInsideFixedBounds) {
  GuiScene s;
  gui::Label label(s.ui);
  label.parent = s.root;
  label.setPosition(gui::Point(10, 20));
  gui::Text* t = label.getText();
  t->text = "Cutoff";
  const int w = t->getWidth(), h = t->getHeight();
  ASSERT_GT(w, 0);
  EXPECT_EQ(label.bounds.get(), gui::Rect(gui::Point(10, 20), w, h));
  label.fillColor = gui::Color(255, 255, 255, 255);
  label.resizeLabel();
  EXPECT_EQ(label.bounds.get(), gui::Rect(gui::Point(10, 20), w + 6, h + 2));
  t->text = "Cutoff frequency";
  EXPECT_EQ(label.getClientRect().width(), t->getWidth() + 6);

  // Fixed bounds: the text is placed inside them, here at the bottom right.
  label.autoSize = false;
  label.setBounds(10, 20, 200, 40);
  label.horizontalAlignment = 2;
  label.verticalAlignment = 2;
  t->text = "Q";
  EXPECT_EQ(label.getClientRect(), gui::Rect(200, 40));
  label.fillColor = gui::Color(0, 0, 0, 255);
  label.borderColor = gui::Color(0, 0, 0, 255);
  t->color = gui::Color(255, 255, 255, 255);
  s.runMs(60);
  int lit = 0, litLeft = 0, litAbove = 0;
  for (int y = 20; y < 60; ++y)
    for (int x = 10; x < 210; ++x)
      if ((s.screen(x, y) & 0xFF) > 128) {
        ++lit;
        litLeft += x < 10 + 200 - t->getWidth();
        litAbove += y < 20 + 40 - t->getHeight();
      }
  EXPECT_GT(lit, 0);
  EXPECT_EQ(litLeft, 0);
  EXPECT_EQ(litAbove, 0);
  // Exactly: the text's own mask, white over the black fill, with its box
  // in the corner the alignment names, or centred within a pixel.
  auto textAt = [&](int left, int top) {
    gui::Bitmap* mask = t->getBitmap();
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 200; ++x) {
        const gui::Point m(x - left, y - top);
        const uint32_t a = mask->getBounds().contains(m) ? mask->getPixel(m).a : 0;
        if (s.screen(10 + x, 20 + y) != (a << 16 | a << 8 | a)) return false;
      }
    return true;
  };
  const int tw = t->getWidth(), th = t->getHeight();
  EXPECT_TRUE(textAt(200 - tw, 40 - th));
  label.horizontalAlignment = 0;
  label.verticalAlignment = 0;
  s.runMs(60);
  EXPECT_TRUE(textAt(0, 0));
  label.horizontalAlignment = 1;
  label.verticalAlignment = 1;
  s.runMs(60);
  bool centred = false;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) centred = centred || textAt((200 - tw) / 2 + dx, (40 - th) / 2 + dy);
  EXPECT_TRUE(centred);
  label.horizontalAlignment = 2;
  label.verticalAlignment = 2;

  // Every look property repaints.
  s.server.takePaintLog();
  for (auto change : std::vector<std::function<void()>>{
           [&] { label.fillColor = gui::Color(1, 2, 3, 255); }, [&] { label.borderColor = gui::Color(9, 9, 9, 128); },
           [&] { label.borderWidth = 3; }, [&] { label.horizontalAlignment = 1; },
           [&] { label.verticalAlignment = 1; }}) {
    change();
    s.runMs(60);
    EXPECT_FALSE(s.server.takePaintLog().empty());
  }

  // A border of 3 on every side, the fill inside it (the text sits in the
  // middle, away from the rows and columns looked at).
  label.borderColor = gui::Color(255, 0, 0, 255);
  label.fillColor = gui::Color(0, 0, 255, 255);
  s.runMs(60);
  for (int i = 0; i < 4; ++i) {
    const uint32_t want = i < 3 ? 0xFF0000u : 0x0000FFu;
    EXPECT_EQ(s.screen(10 + i, 28), want) << i;
    EXPECT_EQ(s.screen(10 + 199 - i, 28), want) << i;
    EXPECT_EQ(s.screen(40, 20 + i), want) << i;
    EXPECT_EQ(s.screen(40, 20 + 39 - i), want) << i;
  }
}

TEST(LabelTest, ImageLabelsAreTwoThirdsOfTheirImageUnlessTheTextNeedsMore) {
  GuiScene s;
  gui::ImageLabel hint(s.ui);
  hint.parent = s.root;
  solid(hint.getBitmap(), 300, 90, gui::Color(250, 240, 200, 255));
  hint.getBitmap()->fillRect(gui::Rect(0, 87, 300, 90), gui::Color(90, 80, 70, 255));
  EXPECT_EQ(hint.getClientRect(), gui::Rect(300, 60));
  // Shorter than its image, the box still ends in the image's bottom edge.
  s.runMs(60);
  EXPECT_EQ(s.screen(150, 59), 0x5A5046u);
  EXPECT_EQ(s.screen(150, 56), 0xFAF0C8u);
  gui::Text* t = hint.getText();
  EXPECT_EQ(t->maxWidth, 290);
  std::string words;
  for (int i = 0; i < 12; ++i) words += "Drag the knob up or down to change the value. ";
  t->text = words;
  ASSERT_GT(t->getHeight() + 10, 60); // wrapped into many lines
  EXPECT_LE(t->getWidth(), 290);
  EXPECT_EQ(hint.getClientRect(), gui::Rect(300, t->getHeight() + 10));
  hint.margins = gui::Rect(20, 5, 20, 15);
  EXPECT_EQ(t->maxWidth, 260);
  EXPECT_EQ(hint.getClientRect(), gui::Rect(300, t->getHeight() + 20));
  // The text starts inside the margins: the columns left of it look like
  // the right margin's, and the top rows like the image's top.
  s.runMs(60);
  const int height = std::min(200, t->getHeight() + 20); // the root's height at most
  int inked = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(s.screen(x, y), s.screen(299 - x, y)) << x << "," << y;
    for (int x = 20; x < 280; ++x) inked += s.screen(x, y) != s.screen(299, y);
  }
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 300; ++x) ASSERT_EQ(s.screen(x, y), 0xFAF0C8u) << x << "," << y;
  EXPECT_GT(inked, 100);
  t->text = "";
  EXPECT_EQ(hint.getClientRect(), gui::Rect(300, 60));

  gui::Image image(s.ui);
  image.setPosition(gui::Point(5, 6));
  solid(image.getBitmap(), 33, 17, gui::Color(0, 0, 0, 255));
  EXPECT_EQ(image.bounds.get(), gui::Rect(gui::Point(5, 6), 33, 17));
}

TEST(LabelTest, LightsGoOutWhenTheirPulseEnds) {
  GuiScene s;
  gui::Light::Style style(s.ui);
  solid(style.offBitmap, 12, 12, gui::Color(30, 0, 0, 255));
  solid(style.onBitmap, 12, 12, gui::Color(255, 0, 0, 255));
  gui::Light light(s.ui, &style);
  light.parent = s.root;
  EXPECT_EQ(light.getClientRect(), gui::Rect(12, 12));
  light.pulse(200);
  s.runMs(100);
  light.pulse(200); // restarts the full time
  s.runMs(195);
  EXPECT_TRUE(light.on);
  EXPECT_EQ(s.screen(5, 5), 0xFF0000u);
  s.runMs(10);
  EXPECT_FALSE(light.on);
  EXPECT_EQ(s.screen(5, 5), 0x1E0000u);
  // No time at all still goes out, at the next tick.
  light.pulse(0);
  EXPECT_TRUE(light.on);
  s.runMs(5);
  EXPECT_FALSE(light.on);
}
