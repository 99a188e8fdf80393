#include "editor/zarn/ModulationControls.h"
#include "editor/zarn/ModulationDragStage.h"
#include "editor/zarn/ModulationMatrixPluginInterface.h"
#include "editor/zarn/SlotOrder.h"
#include "gui/Bitmap.h"
#include "gui/MacInterface.h"
#include "plugin/FloatPluginParameter.h"
#include "platform/Clock.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/PngWriter.h"
#include "synth/ModulationMatrixPlugin.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using gui::Point;

namespace {

// A picture of one colour; with a disc, only the disc is opaque.
std::string picture(int size, uint8_t r, uint8_t g, uint8_t b, bool disc = false) {
  std::vector<uint8_t> rgba(size_t(size) * size_t(size) * 4);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      uint8_t* p = &rgba[(size_t(y) * size_t(size) + size_t(x)) * 4];
      const int dx = 2 * x + 1 - size, dy = 2 * y + 1 - size;
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = !disc || dx * dx + dy * dy <= size * size ? 255 : 0;
    }
  const std::vector<unsigned char> png = encodePng(size, size, rgba.data(), true);
  return std::string(png.begin(), png.end());
}

class MatrixPlugin : public ModulationMatrixPlugin {
public:
  MatrixPlugin() : ModulationMatrixPlugin(0) {
    createModMatrixParameters();
    initialize("Matrix Editor Tester", 64);
  }
  ~MatrixPlugin() override { finalize(); }
  std::string getIdentifier() override { return "QMtx"; }
  int getInterfaceWidth() override { return 400; }
  int getInterfaceHeight() override { return 300; }

  FloatPluginParameter ring{this, "Ring"};
  FloatPluginParameter inner{this, "Inner"};
  FloatPluginParameter other{this, "Other"};
};

// Logs what the editor asks of it.
class RecordingOrderStage : public SlotOrderStage {
public:
  using SlotOrderStage::SlotOrderStage;
  void beginOrder(const Point& p, SlotOrderButton* b) override {
    log.push_back("begin " + std::to_string(p.x) + "," + std::to_string(p.y) + " slot " +
                  std::to_string(b->getSlotIndex()) + (b->parent.get() == this ? " lifted" : ""));
    visible = true;
  }
  void updateOrder(const Point& p) override { log.push_back("update " + std::to_string(p.x) + "," + std::to_string(p.y)); }
  void endOrder() override {
    log.push_back("end");
    visible = false;
  }
  std::vector<std::string> log;
};

// Two source icons (LFO 1 and 2) at the top; a ring knob (target 1) around
// an inner knob (target 0) in a container at (100, 100); a knob for target
// 5 at the right; slots in banks of eight whose line ends lie along the
// bottom; a slot order button for slot 2.
class MatrixEditor : public ModulationMatrixPluginInterface {
public:
  MatrixEditor(std::unique_ptr<gui::UserInterface> userInterface, MatrixPlugin* plugin)
      : ModulationMatrixPluginInterface(std::move(userInterface), plugin, nullptr, "Background.png", 1.0f) {
    auto* knobStyle = new gui::Knob::Style(ui.get());
    knobStyle->loadFromResource("Knob.png", "Pointer.png", "Knob.png", "Pointer.png", "Pointer.png", "Pointer.png");
    auto* ringStyle = new gui::Knob::Style(ui.get());
    ringStyle->loadFromResource("Ring.png", "RingPointer.png", "Ring.png", "RingPointer.png", "RingPointer.png",
                               "RingPointer.png");
    sourceButtonStyle->loadFromResource("Source.png", "Source.png", "Source.png", "", "Mark.png");
    dragStage->getDot()->loadFromResource("Dot.png");
    auto* orderStyle = new gui::Button::Style(ui.get());
    orderStyle->loadFromResource("Source.png", "Source.png", "Source.png", "", "");

    lfo1 = createSourceButton(0, 20, 20);
    lfo2 = createSourceButton(1, 60, 20);
    container = createContainer(100, 100, 200, 100);
    setActiveContainer(container);
    ring = createTargetKnob(110, 110, ringStyle);
    inner = createTargetKnob(118, 118, knobStyle);
    setControl(plugin->ring, 1, ring);
    setControl(plugin->inner, 0, inner);
    setActiveContainer(nullptr);
    other = createTargetKnob(300, 40, knobStyle);
    setControl(plugin->other, 5, other);
    orderButton = createSlotOrderButton(10, 260, orderStyle, 2);
    orderStage = new RecordingOrderStage(this);
    orderStage->parent = ui->getWindow();
    initialize();
  }

  void getPreferredSlotRange(int& first, int& last) override {
    first = 8 * bank;
    last = first + 7;
  }
  SlotOrderStage* getSlotOrderStage() override { return orderStage; }
  Point getSlotSourcePos(int slot) override { return Point((slot % 8) * 40 + 30, 285); }
  Point getSlotTargetPos(int slot) override { return Point((slot % 8) * 40 + 30, 235); }
  void makeConnection(int slot, int source, int target) override {
    connections.push_back(std::to_string(slot) + ":" + std::to_string(source) + ">" + std::to_string(target));
    ModulationMatrixPluginInterface::makeConnection(slot, source, target);
  }

  int bank = 0;
  std::vector<std::string> connections;
  ModulationSourceButton* lfo1;
  ModulationSourceButton* lfo2;
  gui::Control* container;
  ModulationTargetKnob* ring;
  ModulationTargetKnob* inner;
  ModulationTargetKnob* other;
  SlotOrderButton* orderButton;
  RecordingOrderStage* orderStage;
};

struct MatrixScene {
  MatrixScene() {
    bundle.writeResource("Background.png", picture(400, 90, 90, 90));
    bundle.writeResource("Knob.png", picture(32, 20, 20, 200, true));
    // A knob takes its pointer image's size.
    bundle.writeResource("Pointer.png", picture(32, 250, 250, 250, true));
    bundle.writeResource("RingPointer.png", picture(48, 250, 250, 250, true));
    bundle.writeResource("Ring.png", picture(48, 200, 20, 20, true));
    bundle.writeResource("Source.png", picture(24, 30, 160, 30));
    bundle.writeResource("Mark.png", picture(4, 250, 250, 0));
    bundle.writeResource("Dot.png", picture(7, 255, 0, 255));
    platform::useVirtualClock(true);
    platform::WindowServer::setCurrent(&server);
    window = server.createWindow({100, 50, 500, 350}, true, "matrix");
    GenericPlugin::sSettings->showWelcomeHint = false;
    auto owned = std::make_unique<gui::MacInterface>(window, 0, gui::Rect(0, 0, 400, 300));
    ui = owned.get();
    editor = new MatrixEditor(std::move(owned), &plugin);
    controller = plugin.getModMatrixController();
    runMs(60);
  }
  ~MatrixScene() {
    delete editor;
    platform::WindowServer::setCurrent(nullptr);
    platform::useVirtualClock(false);
  }

  platform::ScreenPoint at(Point p) const { return {100 + p.x, 50 + p.y}; }
  void press(Point p, int clicks = 1) { server.press(at(p), 0, clicks); }
  void move(Point p) { server.move(at(p)); }
  void release(Point p) { server.release(at(p)); }
  void runMs(int ms) { loop.runFor(int64_t(ms) * 1000); }
  uint32_t screen(Point p) {
    uint8_t rgb[3];
    server.pixel(window, p.x, p.y, rgb);
    return uint32_t(rgb[0]) << 16 | rgb[1] << 8 | rgb[2];
  }
  // Window coordinates of a control's centre.
  static Point centre(gui::Control* c) { return c->getGlobalPosition() + c->getClientCenter(); }
  ModulationDragStage* stage() const { return editor->getDragStage(); }
  ModulationTargetLayer* layer() const { return editor->getTargetLayer(); }

  zarn::test::TestBundle bundle{"com.example.matrix-editor-test"};
  platform::RunLoop loop;
  platform::HeadlessWindowServer server{loop};
  platform::WindowId window = 0;
  MatrixPlugin plugin;
  gui::MacInterface* ui = nullptr;
  MatrixEditor* editor = nullptr;
  ModulationMatrix::Controller* controller = nullptr;
};

struct Placement {
  gui::Control* parent;
  Point position;
};

std::vector<Placement> placements(MatrixEditor* e) {
  std::vector<Placement> result;
  for (gui::Control* c : {static_cast<gui::Control*>(e->ring), static_cast<gui::Control*>(e->inner),
                          static_cast<gui::Control*>(e->other), static_cast<gui::Control*>(e->lfo1)})
    result.push_back({c->parent.get(), c->getPosition()});
  return result;
}

} // namespace

// Whatever the gesture (a click, a press that moves 4 pixels, drops on a
// knob or beside every knob, a double click and leaving), pressing the icon
// lifts the knobs above the veil at their places on screen, and afterwards
// every knob and the icon are back under their parents at their old places
// with the veil and stage gone.
TEST(ModulationEditorTest, EveryGestureLiftsTheTargetsAndPutsThemBack) {
  MatrixScene s;
  const auto before = placements(s.editor);
  const Point icon = MatrixScene::centre(s.editor->lfo1), ringOnScreen = MatrixScene::centre(s.editor->ring);
  const std::vector<std::vector<Point>> gestures = {
      {},                                                    // click
      {icon + Point(4, 4)},                                  // too short for a drag
      {icon + Point(5, 0), MatrixScene::centre(s.editor->other)}, // a drop on a knob
      {icon + Point(0, 5), Point(250, 180)},                 // a drop beside every knob
  };
  for (size_t g = 0; g <= gestures.size(); ++g) {
    SCOPED_TRACE(g);
    s.move(icon);
    s.press(icon);
    if (g == gestures.size()) { // a double click, then leaving the icon
      s.release(icon);
      s.press(icon, 2);
      EXPECT_EQ(s.stage()->mode, 1);
    }
    EXPECT_TRUE(s.layer()->visible.get());
    EXPECT_EQ(s.editor->ring->parent.get(), s.layer());
    EXPECT_EQ(MatrixScene::centre(s.editor->ring), ringOnScreen);
    EXPECT_EQ(s.editor->lfo1->parent.get(), s.stage());
    Point last = icon;
    if (g < gestures.size())
      for (Point p : gestures[g]) s.move(last = p);
    s.release(last);
    if (g == gestures.size()) s.move(Point(200, 280));
    s.runMs(1000);
    const auto after = placements(s.editor);
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(after[i].parent, before[i].parent) << i;
      EXPECT_EQ(after[i].position, before[i].position) << i;
    }
    EXPECT_FALSE(s.layer()->visible.get());
    EXPECT_FALSE(s.stage()->visible.get());
    EXPECT_FALSE(s.editor->other->highlighted.get());
    EXPECT_EQ(s.editor->lfo1->getMode(), 0);
  }
  EXPECT_EQ(s.editor->connections, std::vector<std::string>{"0:0>5"});
}

// A 4-pixel move does not start a drag, 5 pixels do; the drop writes one
// connection on the first free slot of the visible bank (else of all
// slots), whose lines stay on screen for 800 ms; the icon shows its in-use
// mark from then on.
TEST(ModulationEditorTest, DropConnectsOnTheChosenSlotAndLingers) {
  MatrixScene s;
  ModulationSourceButton* icon = s.editor->lfo2;
  const Point from = MatrixScene::centre(icon), knob = MatrixScene::centre(s.editor->inner);
  const uint32_t markOff = s.screen(icon->getPosition());
  s.editor->bank = 1;
  s.press(from);
  s.move(from + Point(-4, 4));
  EXPECT_EQ(s.stage()->mode, 2);
  s.move(from + Point(-5, 0));
  EXPECT_EQ(s.stage()->mode, 3);
  EXPECT_EQ(s.stage()->getSlot(), 8);
  s.move(knob);
  EXPECT_TRUE(s.editor->inner->highlighted.get());
  s.release(knob);
  EXPECT_EQ(s.editor->connections, std::vector<std::string>{"8:1>0"});
  EXPECT_EQ(s.controller->getSlotSource(8), 1);
  EXPECT_EQ(s.controller->getSlotTarget(8), 0);
  EXPECT_TRUE(s.controller->isSlotValid(8));
  s.runMs(799);
  EXPECT_TRUE(s.stage()->visible.get());
  EXPECT_EQ(s.screen(s.editor->getSlotSourcePos(8)), 0xFF00FFu); // the dot at the slot's end
  s.runMs(2);
  EXPECT_FALSE(s.stage()->visible.get());
  s.runMs(60);
  EXPECT_NE(s.screen(s.editor->getSlotSourcePos(8)), 0xFF00FFu);
  EXPECT_EQ(s.screen(icon->getPosition()), 0xFAFA00u);
  EXPECT_NE(markOff, 0xFAFA00u);

  // Bank B full: the search goes over all slots.
  for (int slot = 9; slot < 16; ++slot) s.controller->makeConnection(slot, 1, 5);
  s.press(from);
  s.move(from + Point(10, 10));
  EXPECT_EQ(s.stage()->getSlot(), 0);
  s.move(Point(250, 180));
  s.release(Point(250, 180));
  EXPECT_FALSE(s.stage()->visible.get()); // a drop beside the knobs hides at once
  EXPECT_EQ(s.editor->connections.size(), 1u);
}

// With every slot in use the drag draws and highlights nothing, and the
// drop writes nothing and says why.
TEST(ModulationEditorTest, NoFreeSlotShowsTheMessage) {
  MatrixScene s;
  for (int slot = 0; slot < 24; ++slot) s.controller->makeConnection(slot, 2, 5);
  const Point from = MatrixScene::centre(s.editor->lfo1), knob = MatrixScene::centre(s.editor->other);
  s.press(from);
  s.move(knob);
  EXPECT_EQ(s.stage()->getSlot(), -1);
  EXPECT_FALSE(s.editor->other->highlighted.get());
  s.runMs(20);
  EXPECT_NE(s.screen(s.editor->getSlotSourcePos(0)), 0xFF00FFu);
  s.release(knob);
  EXPECT_TRUE(s.editor->connections.empty());
  EXPECT_EQ(s.server.alerts(),
            std::vector<std::string>{"No free slots are available. Clear one or more slots and try again."});
}

// A double click on an icon shows its valid connections, ended by a click;
// one on a target knob shows those into it with a dot on the source icon,
// ended by leaving the knob.
TEST(ModulationEditorTest, DoubleClicksShowConnections) {
  MatrixScene s;
  s.controller->makeConnection(3, 0, 5);
  s.controller->makeConnection(4, 1, 5);
  const Point icon = MatrixScene::centre(s.editor->lfo1);
  s.press(icon);
  s.release(icon);
  s.press(icon, 2);
  s.release(icon);
  s.runMs(600);
  EXPECT_TRUE(s.stage()->visible.get());
  EXPECT_EQ(s.screen(s.editor->getSlotSourcePos(3)), 0xFF00FFu);
  EXPECT_NE(s.screen(s.editor->getSlotSourcePos(4)), 0xFF00FFu);
  s.press(icon);
  s.release(icon);
  EXPECT_FALSE(s.stage()->visible.get());

  const Point knob = MatrixScene::centre(s.editor->other);
  const int untouched = s.editor->other->position;
  s.move(knob);
  s.press(knob);
  s.move(knob + Point(2, -2)); // a hand's tremble within the double click's slack
  s.release(knob + Point(2, -2));
  s.press(knob, 2);
  s.release(knob);
  s.runMs(60);
  EXPECT_EQ(s.editor->other->getMode(), 1);
  EXPECT_EQ(s.screen(MatrixScene::centre(s.editor->lfo2)), 0xFF00FFu);
  EXPECT_EQ(s.screen(s.editor->getSlotTargetPos(4)), 0xFF00FFu);
  s.move(Point(200, 280));
  s.runMs(60);
  EXPECT_FALSE(s.stage()->visible.get());
  EXPECT_EQ(s.editor->other->parent.get(), s.editor->getUserInterface()->getWindow());
  EXPECT_EQ(s.plugin.other.getValue(), s.plugin.other.getDefault()); // the clicks did not turn it
  EXPECT_EQ(s.editor->other->position, untouched);
}

// An inner knob registered inside a ring moves the ring's connection point
// down by (inner height + ring height) / 4 - 1; the other order moves
// nothing.
TEST(ModulationEditorTest, RingConnectionPointMovesOutFromUnderTheInnerKnob) {
  MatrixScene s;
  // The editor registered the ring first; the point is in the knob's
  // parent's coordinates until the knobs are lifted.
  const int shift = (32 + 48) / 4 - 1;
  EXPECT_EQ(s.editor->getDragTargetPos(1), s.editor->ring->getPosition() + Point(24, 24 + shift));
  EXPECT_EQ(s.editor->getDragTargetPos(0), s.editor->inner->getPosition() + Point(16, 16));
  s.layer()->prepare();
  EXPECT_EQ(s.editor->getDragTargetPos(1), Point(110 + 24, 110 + 24 + shift));
  s.layer()->restore();
  ModulationTargetLayer reversed(s.ui, 400, 300);
  reversed.registerTarget(0, s.editor->inner);
  reversed.registerTarget(1, s.editor->ring);
  EXPECT_EQ(reversed.getDragTargetPos(1), s.editor->ring->getPosition() + Point(24, 24));
  reversed.registerTarget(1, nullptr);
  EXPECT_EQ(reversed.getTargetIndex(s.editor->ring), -1);
  EXPECT_EQ(reversed.getDragTargetPos(1), Point(0, 0));
}

// The order button reports begin once, an update per move and end once,
// in window coordinates, and is back in its row afterwards.
TEST(ModulationEditorTest, SlotOrderButtonDrag) {
  MatrixScene s;
  SlotOrderButton* b = s.editor->orderButton;
  const Point home = b->getPosition();
  gui::Control* row = b->parent.get();
  s.move(Point(15, 265));
  s.press(Point(15, 265));
  s.move(Point(60, 266));
  s.move(Point(-20, 270));
  s.release(Point(-20, 270));
  EXPECT_EQ(s.editor->orderStage->log,
            (std::vector<std::string>{"begin 15,265 slot 2 lifted", "update 60,266", "update -20,270",
                                      "update -20,270", "end"}));
  EXPECT_EQ(b->parent.get(), row);
  EXPECT_EQ(b->getPosition(), home);
  EXPECT_FALSE(b->isDragging());
}
