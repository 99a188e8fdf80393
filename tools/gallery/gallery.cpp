// zarn-gallery OUT.png [--zoom N]
//
// Every widget of the toolkit in its states, on one sheet: knobs across
// their range, highlighted, under the mouse, with the pointer grabbed and
// turned; buttons in their three faces, toggled, with a shortened caption,
// a menu button and a radio group; switches of two and three stops and a
// vertical one; lamps; labels, a hint window, an image and a shape. The
// skins are generated (tools/gallery/Skins.h). Everything runs in the
// headless window server on the virtual clock: states that need the mouse
// are made with the mouse and copied from the screen.
//
// Then a knob drag is replayed and printed, one line per gesture event:
//   <ms> <event> [position up=<pixels above the press>]
// slow one-pixel steps 50 ms apart (accelerated down to 0.28 of the full
// rate), quick 20-pixel steps (full rate), a fine drag with shift, a reset
// with command and a linked press with option.

#include "gui/Button.h"
#include "gui/Image.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/Light.h"
#include "gui/MacControl.h"
#include "gui/MacInterface.h"
#include "gui/SelectButton.h"
#include "gui/Switch.h"
#include "gui/Text.h"
#include "gui/ToggleButton.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/PngWriter.h"
#include "platform/SignalCleanup.h"
#include "tools/CommandHelp.h"
#include "tools/gallery/Skins.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using gui::Color;
using gui::Point;
using gui::Rect;

constexpr int cWidth = 760, cHeight = 470, cKnob = 52;
const Color cPanel(58, 56, 53, 255), cCaption(214, 208, 196, 255);

class Gallery {
public:
  Gallery() {
    platform::useVirtualClock(true);
    platform::WindowServer::setCurrent(&server);
    window = server.createWindow({40, 40, 40 + cWidth, 40 + cHeight}, true, "gallery");
    ui = new gui::MacInterface(window, 0, Rect(cWidth, cHeight));
    root = ui->getRoot();
    auto* panel = new gui::Shape(ui, cPanel);
    panel->setBounds(0, 0, cWidth, cHeight);
    panel->parent = root;
  }
  ~Gallery() {
    delete ui;
    platform::WindowServer::setCurrent(nullptr);
    platform::useVirtualClock(false);
  }

  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
  platform::ScreenPoint at(Point p) const { return {40 + p.x, 40 + p.y}; }

  gui::Label* caption(int x, int y, const std::string& text, int size = 8, bool bold = false) {
    auto* l = new gui::Label(ui);
    l->setPosition(Point(x, y));
    l->parent = root;
    l->getText()->color = cCaption;
    l->getText()->size = size;
    l->getText()->bold = bold;
    l->getText()->text = text;
    return l;
  }
  template <class W>
  W* place(W* w, int x, int y) {
    w->setPosition(Point(x, y));
    w->parent = root;
    return w;
  }

  // The screen as it is now.
  std::vector<unsigned char> screen() {
    runMs(60);
    std::vector<unsigned char> rgba(size_t(cWidth) * cHeight * 4);
    for (int y = 0; y < cHeight; ++y)
      for (int x = 0; x < cWidth; ++x) {
        unsigned char* p = &rgba[(size_t(y) * cWidth + x) * 4];
        server.pixel(window, x, y, p);
        p[3] = 255;
      }
    return rgba;
  }
  // Copies r of the screen as it is now into sheet.
  void copy(const Rect& r, std::vector<unsigned char>& sheet) {
    const std::vector<unsigned char> now = screen();
    for (int y = r.top; y < r.bottom; ++y)
      std::memcpy(&sheet[(size_t(y) * cWidth + r.left) * 4], &now[(size_t(y) * cWidth + r.left) * 4],
                  size_t(r.width()) * 4);
  }

  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window;
  gui::MacInterface* ui;
  gui::MacControl* root;
};

Rect boundsOf(gui::Control* c) { return c->bounds.get(); }

// Prints every gesture event of one knob with the clock and the last y.
class DragPrinter {
public:
  DragPrinter(gui::Knob* knob) : knob(knob) {
    knob->onStartChange = NotifyEvent::bind(this, &DragPrinter::start);
    knob->onChange = NotifyEvent::bind(this, &DragPrinter::change);
    knob->onLink = NotifyEvent::bind(this, &DragPrinter::link);
    knob->onEndChange = NotifyEvent::bind(this, &DragPrinter::end);
  }
  void note(const char* what) { std::printf("# %s\n", what); }
  int y = 0;

private:
  void line(const char* what, bool withPosition) {
    const long ms = long((platform::microseconds() - t0) / 1000);
    if (withPosition)
      std::printf("%6ld %-6s %5d up=%d\n", ms, what, int(knob->position), y);
    else
      std::printf("%6ld %s\n", ms, what);
  }
  void start(void*) { line("start", true); }
  void change(void*) { line("change", true); }
  void link(void*) { line("link", false); }
  void end(void*) { line("end", true); }

  gui::Knob* knob;
  int64_t t0 = platform::microseconds();
};

// Asked for (--help): on standard output, success; otherwise an error.
int usage(bool asked = false) { return zarn::tools::usage(asked, "usage: zarn-gallery OUT.png [--zoom N]\n"); }

} // namespace

int main(int argc, char** argv) {
  // A signal that ends the tool while a picture is written removes the
  // temporary file; the picture at the name stays as it was.
  const platform::SignalCleanup cleanup;
  if (zarn::tools::helpAsked(argc, argv)) return usage(true);
  // An option where the picture's name belongs is no name to write to.
  if (argc < 2 || argv[1][0] == '-') return usage();
  int zoom = 1;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--zoom") && i + 1 < argc) {
      if (!zarn::tools::wholeNumberOption("zarn-gallery", "--zoom", argv[++i], 1, 8, zoom)) return usage();
    } else {
      return usage();
    }
  }

  Gallery g;
  gui::UserInterface* ui = g.ui;

  // Styles.
  auto* knobStyle = new gui::Knob::Style(ui);
  gallery::makeKnobSkin(*knobStyle, cKnob);
  auto* buttonStyle = new gui::Button::Style(ui);
  gallery::makeButtonSkin(*buttonStyle, 22);
  auto* menuStyle = new gui::Button::Style(ui);
  gallery::makeMenuButtonSkin(*menuStyle, 22);
  auto* switchStyle = new gui::Switch::Style(ui);
  gallery::makeSwitchSkin(*switchStyle, 40, 18, false);
  auto* verticalStyle = new gui::Switch::Style(ui);
  gallery::makeSwitchSkin(*verticalStyle, 40, 18, true);
  auto* lightStyle = new gui::Light::Style(ui);
  gallery::makeLightSkin(*lightStyle, 14);

  // Knobs.
  g.caption(12, 8, "Knobs", 10, true);
  std::vector<gui::Knob*> knobs;
  const char* knobCaptions[] = {"minimum", "quarter", "centre", "maximum", "highlighted",
                                "mouse over", "over pointer", "turning"};
  const int knobPositions[] = {0, 1024, 2048, 4096, 2800, 1400, 2048, 2048};
  for (int i = 0; i < 8; ++i) {
    auto* k = g.place(new gui::Knob(ui, knobStyle), 16 + i * 92, 30);
    k->position = knobPositions[i];
    g.caption(16 + i * 92, 30 + cKnob + 4, knobCaptions[i]);
    knobs.push_back(k);
  }
  knobs[4]->highlighted = true;

  // Buttons.
  const int by = 130;
  g.caption(12, by - 22, "Buttons", 10, true);
  const char* buttonCaptions[] = {"normal", "hover", "pressed", "toggle off", "toggle on"};
  for (int i = 0; i < 5; ++i) {
    auto* b = g.place(new gui::Button(ui, buttonStyle), 16 + i * 100, by);
    b->setBounds(16 + i * 100, by, 86, 22);
    b->getText()->text = buttonCaptions[i];
    b->textOffset = i >= 3 ? 6 : 0;
    if (i == 1) b->setState(gui::Button::cHover);
    if (i == 2) b->setState(gui::Button::cPressed);
    if (i >= 3) b->toggle = true;
    if (i == 4) b->selected = true;
  }
  // A caption button without overlays: its text may use the whole width.
  auto* plainStyle = new gui::Button::Style(ui);
  gallery::makeButtonSkin(*plainStyle, 22);
  plainStyle->overlayOff->resize(0, 0);
  plainStyle->overlayOn->resize(0, 0);
  auto* longCaption = g.place(new gui::Button(ui, plainStyle), 516, by);
  longCaption->setBounds(516, by, 110, 22);
  longCaption->getText()->text = "Warm Analogue Strings Ensemble";
  g.caption(516, by + 26, "shortened caption");

  auto* select = g.place(new gui::SelectButton(ui, menuStyle), 16, by + 44);
  select->setBounds(16, by + 44, 120, 22);
  for (const char* w : {"Sawtooth", "Square", "Triangle", "Sine", "Noise"}) select->addItem(w);
  select->maximum = 4;
  select->position = 1;
  g.caption(16, by + 70, "menu button");

  auto* radio = g.place(new gui::ToggleButton(ui, buttonStyle), 160, by + 44);
  radio->setBounds(160, by + 44, 56, 22);
  radio->alignment = 1;
  radio->margin = 0;
  std::vector<gui::Button*> members{radio};
  for (int i = 1; i < 4; ++i) {
    auto* m = g.place(new gui::Button(ui, buttonStyle), 160 + i * 60, by + 44);
    m->setBounds(160 + i * 60, by + 44, 56, 22);
    m->alignment = 1;
    m->margin = 0;
    radio->addRadioButton(m);
    members.push_back(m);
  }
  radio->position = 2;
  g.caption(160, by + 70, "radio group at 2");

  // Switches and lamps.
  const int sy = 240;
  g.caption(12, sy - 22, "Switches and lamps", 10, true);
  g.place(new gui::Switch(ui, switchStyle), 16, sy);
  auto* on = g.place(new gui::Switch(ui, switchStyle), 76, sy);
  on->position = 1;
  auto* three = g.place(new gui::Switch(ui, switchStyle), 136, sy);
  three->maximum = 2;
  three->position = 1;
  auto* vertical = g.place(new gui::Switch(ui, verticalStyle), 226, sy - 10);
  vertical->position = 1;
  auto* hovered = g.place(new gui::Switch(ui, switchStyle), 266, sy);
  g.caption(16, sy + 24, "0");
  g.caption(76, sy + 24, "1");
  g.caption(136, sy + 24, "1 of 0..2");
  g.caption(216, sy + 34, "vertical");
  g.caption(266, sy + 24, "mouse over");
  auto* lampOff = g.place(new gui::Light(ui, lightStyle), 370, sy + 2);
  auto* lampOn = g.place(new gui::Light(ui, lightStyle), 400, sy + 2);
  lampOn->on = true;
  (void)lampOff;
  g.caption(366, sy + 24, "off    on");
  auto* shape = g.place(new gui::Shape(ui, Color(176, 58, 46, 255)), 460, sy);
  shape->setBounds(460, sy, 60, 18);
  g.caption(460, sy + 24, "shape");

  // Labels and pictures.
  const int ly = 330;
  g.caption(12, ly - 22, "Labels and pictures", 10, true);
  g.caption(16, ly, "plain label");
  auto* framed = g.caption(110, ly, "filled, bordered");
  framed->getText()->color = Color(20, 20, 20, 255);
  framed->fillColor = Color(236, 226, 200, 255);
  framed->borderColor = Color(20, 20, 20, 255);
  framed->horizontalAlignment = 1;
  framed->verticalAlignment = 1;
  framed->resizeLabel();
  const char* aligns[] = {"left", "centre", "right"};
  for (int i = 0; i < 3; ++i) {
    auto* l = g.caption(16 + i * 96, ly + 30, aligns[i]);
    l->autoSize = false;
    l->setBounds(16 + i * 96, ly + 30, 90, 36);
    l->borderColor = Color(150, 145, 135, 255);
    l->fillColor = Color(40, 38, 36, 255);
    l->horizontalAlignment = i;
    l->verticalAlignment = i;
  }
  auto* hint = g.place(new gui::ImageLabel(ui), 320, ly);
  gallery::makeHintImage(hint->getBitmap(), 260, 60);
  hint->getText()->size = 8;
  hint->getText()->color = Color(40, 34, 20, 255);
  hint->getText()->text =
      "Cutoff: the corner frequency of the filter. Drag up or down; hold shift for fine steps, "
      "command to return to the default.";
  auto* picture = g.place(new gui::Image(ui), 600, ly);
  {
    // The knob face itself, as a plain picture.
    gui::Bitmap* b = picture->getBitmap();
    b->resize(cKnob, cKnob);
    std::vector<Color> row(cKnob);
    for (int y = 0; y < cKnob; ++y) {
      for (int x = 0; x < cKnob; ++x) row[size_t(x)] = knobStyle->background->getPixel(Point(x, y));
      b->writeLine(y, row.data());
    }
    b->transparent = true;
  }
  g.caption(600, ly + cKnob + 4, "image");

  // The sheet: the surface at rest, then the states made with the mouse.
  std::vector<unsigned char> sheet = g.screen();
  gui::Knob* over = knobs[5];
  g.server.move(g.at(boundsOf(over).topLeft() + Point(14, cKnob - 16)));
  g.copy(boundsOf(over), sheet);
  gui::Knob* grab = knobs[6];
  const Point pointer = boundsOf(grab).topLeft() + Point(cKnob / 2, 10);
  g.server.move(g.at(pointer));
  g.copy(boundsOf(grab), sheet);
  gui::Knob* turning = knobs[7];
  const Point tip = boundsOf(turning).topLeft() + Point(cKnob / 2, 10);
  g.server.move(g.at(tip));
  g.runMs(60);
  g.server.press(g.at(tip));
  g.server.move(g.at(boundsOf(turning).topLeft() + Point(cKnob - 8, cKnob / 2)));
  g.copy(boundsOf(turning), sheet);
  g.server.release(g.at(boundsOf(turning).topLeft() + Point(cKnob - 8, cKnob / 2)));
  g.server.move(g.at(boundsOf(hovered).topLeft() + Point(8, 8)));
  g.copy(boundsOf(hovered), sheet);
  g.server.move(g.at(Point(cWidth - 2, cHeight - 2)));
  g.runMs(60);

  const int outWidth = cWidth * zoom, outHeight = cHeight * zoom;
  std::vector<unsigned char> out(size_t(outWidth) * outHeight * 4);
  for (int y = 0; y < outHeight; ++y)
    for (int x = 0; x < outWidth; ++x)
      std::memcpy(&out[(size_t(y) * outWidth + x) * 4], &sheet[(size_t(y / zoom) * cWidth + x / zoom) * 4], 4);
  if (std::string error; !writePngFile(argv[1], outWidth, outHeight, out.data(), false, &error)) {
    std::fprintf(stderr, "zarn-gallery: %s\n", error.c_str());
    return 1;
  }

  // The knob drag, replayed on the centre knob.
  gui::Knob* k = knobs[2];
  k->position = 0;
  k->defaultPosition = 2048;
  DragPrinter print(k);
  const Point grip = boundsOf(k).topLeft() + Point(cKnob - 16, cKnob - 18); // right of the centre
  g.server.move(g.at(grip));
  g.runMs(60);
  auto press = [&](int dy, uint32_t mods) {
    print.y = -dy;
    g.server.press(g.at(grip + Point(0, dy)), mods);
  };
  auto drag = [&](int dy, uint32_t mods) {
    print.y = -dy;
    g.server.move(g.at(grip + Point(0, dy)), mods);
  };
  print.note("slow: 1 px up every 50 ms");
  press(0, 0);
  for (int i = 1; i <= 10; ++i) {
    g.runMs(50);
    drag(-i, 0);
  }
  print.note("quick: 20 px up every 20 ms");
  for (int i = 1; i <= 5; ++i) {
    g.runMs(20);
    drag(-10 - 20 * i, 0);
  }
  g.server.release(g.at(grip + Point(0, -110)));
  print.note("fine (shift): 10 px down in 1 px steps");
  press(0, platform::kShiftKey);
  for (int i = 1; i <= 10; ++i) {
    g.runMs(50);
    drag(i, platform::kShiftKey);
  }
  g.server.release(g.at(grip + Point(0, 10)));
  print.note("reset (command)");
  press(0, platform::kCommandKey);
  g.server.release(g.at(grip));
  print.note("linked (option): 4 px up");
  press(0, platform::kOptionKey);
  g.runMs(20);
  drag(-4, platform::kOptionKey);
  g.server.release(g.at(grip + Point(0, -4)));
  return 0;
}
