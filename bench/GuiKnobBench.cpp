// Turning a knob: how many times per second a 52 x 52 knob can be moved to a
// new angle and painted again, pointer rotation included (every step of a
// drag does this), and the same when the angle moves too little to render
// the pointer again.

#include "gui/Bitmap.h"
#include "gui/Knob.h"
#include "gui/MacControl.h"
#include "gui/MacInterface.h"
#include "platform/HeadlessWindowServer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// A face disc and a pointer bar, both with shaped alpha.
void makeSkin(gui::Knob::Style& style, int size) {
  const double c = size / 2.0;
  std::vector<gui::Color> row(static_cast<size_t>(size));
  style.background->resize(size, size);
  style.pointer->resize(size, size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double r = std::hypot(x + 0.5 - c, y + 0.5 - c);
      row[size_t(x)] = r < c - 4 ? gui::Color(70, 68, 64, 255) : gui::Color(0, 0, 0, 0);
    }
    style.background->writeLine(y, row.data());
    for (int x = 0; x < size; ++x)
      row[size_t(x)] = std::fabs(x + 0.5 - c) < 1.5 && y > 6 && y < c ? gui::Color(240, 235, 220, 255)
                                                                         : gui::Color(0, 0, 0, 0);
    style.pointer->writeLine(y, row.data());
  }
  style.background->transparent = true;
  style.pointer->transparent = true;
  for (gui::Bitmap* b : {style.activePointer, style.grabPointer, style.dragPointer}) b->resize(size, size);
  style.deriveRadius();
}

void turnKnob(benchmark::State& state) {
  const int stepSize = static_cast<int>(state.range(0));
  platform::RunLoop loop;
  platform::HeadlessWindowServer server(loop);
  platform::WindowServer::setCurrent(&server);
  const platform::WindowId window = server.createWindow({0, 0, 200, 200}, true, "bench");
  {
    gui::MacInterface ui(window, 0, gui::Rect(200, 200));
    gui::Knob::Style style(&ui);
    makeSkin(style, 52);
    gui::Knob knob(&ui, &style);
    knob.maximum = 65536;
    knob.setPosition(gui::Point(20, 20));
    knob.parent = ui.getRoot();
    int p = 0;
    for (auto _ : state) {
      p = (p + stepSize) % 65536;
      knob.position = p;
      ui.drawCurrentPort(nullptr);
    }
    state.SetItemsProcessed(state.iterations());
    knob.parent = nullptr;
  }
  server.destroyWindow(window);
  platform::WindowServer::setCurrent(nullptr);
}

} // namespace

// 300 positions: 0.0038 turn a step, the pointer is rendered every time;
// 10 positions: below 0.001 turn, only every few steps.
BENCHMARK(turnKnob)->Arg(300)->Arg(10);
