// zarn-text-sheet OUT.png
//
// Draws a sheet of the toolkit's text: each size from 8 to 16 plain, bold,
// italic and underlined, names shortened with an ellipsis at several widths,
// and a hint text wrapped at several widths, each on a light plate and on a
// dark one. Every measured box (getWidth x getHeight) is outlined, so the
// sheet shows at a glance whether the measures hold their glyphs.

#include "gui/MacBitmap.h"
#include "gui/MacText.h"

#include "platform/PngWriter.h"
#include "platform/SignalCleanup.h"
#include "tools/CommandHelp.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const gui::Color cPaper(238, 236, 230, 255);
const gui::Color cPanel(46, 43, 40, 255);
const gui::Color cInk(20, 20, 24, 255);
const gui::Color cLegend(214, 210, 200, 255);
const gui::Color cBox(90, 170, 230, 255);

void outline(gui::Canvas* c, const gui::Rect& r, gui::Color colour) {
  c->fillRect(gui::Rect(r.left - 1, r.top - 1, r.right + 1, r.top), colour);
  c->fillRect(gui::Rect(r.left - 1, r.bottom, r.right + 1, r.bottom + 1), colour);
  c->fillRect(gui::Rect(r.left - 1, r.top, r.left, r.bottom), colour);
  c->fillRect(gui::Rect(r.right, r.top, r.right + 1, r.bottom), colour);
}

// Draws t at p with its measured box outlined; returns the box.
gui::Rect place(gui::Canvas* c, gui::MacText& t, gui::Point p) {
  const gui::Rect box(p, t.getWidth(), t.getHeight());
  outline(c, box, cBox);
  c->drawText(&t, p, 255);
  return box;
}

bool writePng(const std::string& path, gui::Bitmap& b, std::string& error) {
  // MacCompatibleBitmap pixels are red, green, blue, alpha in memory.
  return writePngFile(path, b.getWidth(), b.getHeight(), reinterpret_cast<const uint8_t*>(b.getPixels()), false,
                      &error);
}

} // namespace

int main(int argc, char** argv) {
  // A signal that ends the tool while a picture is written removes the
  // temporary file; the picture at the name stays as it was.
  const platform::SignalCleanup cleanup;
  // An option where the picture's name belongs is no name to write to.
  if (const int status = zarn::tools::checkOneName(argc, argv, "usage: zarn-text-sheet OUT.png\n"); status >= 0)
    return status;
  const int width = 900, height = 540, half = width / 2;
  gui::MacBitmap sheet;
  sheet.resize(width, height);
  gui::Canvas* c = sheet.getCanvas();
  c->fillRect(gui::Rect(0, 0, half, height), cPaper);
  c->fillRect(gui::Rect(half, 0, width, height), cPanel);

  // Both plates get the same texts, dark ink on the light one and light
  // legends on the dark one.
  for (int plate = 0; plate < 2; ++plate) {
    const int x0 = plate * half + 10;
    const gui::Color ink = plate == 0 ? cInk : cLegend;
    int y = 10;
    for (int size = 8; size <= 16; ++size) {
      int x = x0;
      const char* styles[] = {("\xC3\x89" "cho 1.25 kHz"), "Bold", "Italic", "Underline"};
      for (int s = 0; s < 4; ++s) {
        gui::MacText t;
        t.size = size;
        t.color = ink;
        t.bold = s == 1;
        t.italic = s == 2;
        t.underline = s == 3;
        t.text = s == 0 ? std::to_string(size) + ": " + styles[0] : styles[s];
        x = place(c, t, gui::Point(x, y)).right + 8;
        if (s == 3) y += t.getHeight() + 6;
      }
    }
    y += 8;
    // Shortened names: a preset name with accents at falling widths.
    for (int limit : {160, 110, 80, 50, 24, 6}) {
      gui::MacText t;
      t.size = 9;
      t.color = ink;
      t.text = "Br\xC3\xBC" "ckenpfeiler Pad \xE2\x80\x93 Soft";
      t.overflowMode = gui::Text::cOverflowShorten;
      t.maxWidth = limit;
      const gui::Rect box = place(c, t, gui::Point(x0, y));
      gui::MacText label;
      label.size = 7;
      label.color = ink;
      label.text = "max " + std::to_string(limit);
      place(c, label, gui::Point(x0 + 170, y));
      y = box.bottom + 5;
    }
    y += 8;
    // A hint text wrapped at two widths, side by side.
    int x = x0;
    int bottom = y;
    for (int limit : {250, 150}) {
      gui::MacText t;
      t.size = 9;
      t.color = ink;
      t.text = "Cutoff frequency of filter 1.\n\nDrag up or down to change it; hold the shift key for fine steps. "
               "Double-click to return to the default. Supercalifragilisticexpialidocious words break inside.";
      t.overflowMode = gui::Text::cOverflowWrap;
      t.maxWidth = limit;
      const gui::Rect box = place(c, t, gui::Point(x, y));
      x = box.right + 12;
      bottom = std::max(bottom, box.bottom);
    }
  }
  if (std::string error; !writePng(argv[1], sheet, error)) {
    std::fprintf(stderr, "zarn-text-sheet: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
