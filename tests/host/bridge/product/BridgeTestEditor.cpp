#include "tests/host/bridge/product/BridgeTestEditor.h"

#include "gui/Knob.h"
#include "host/bridge/PluginInstanceFactory.h"
#include "platform/PngWriter.h"
#include "tests/host/bridge/product/BridgeTestProduct.h"

#include <atomic>
#include <vector>

namespace bridgetest {

namespace {
std::atomic<int> sAlive{0};
} // namespace

BridgeTestEditor::BridgeTestEditor(std::unique_ptr<gui::UserInterface> userInterface, BridgeTestProduct* product,
                                   InterfaceListener* listener, const std::string& background)
    : GenericPluginInterface(std::move(userInterface), product, listener, background, 1.0f) {
  auto* style = new gui::Knob::Style(ui.get());
  style->loadFromResource("BridgeTestKnob.png", "BridgeTestPointer.png", "BridgeTestKnob.png",
                          "BridgeTestPointer.png", "BridgeTestPointer.png", "BridgeTestPointer.png");
  setControl(product->level, createKnob(kLevelKnobX, kLevelKnobY, style));
  setControl(product->offset, createKnob(kOffsetKnobX, kOffsetKnobY, style));
  initialize();
  ++sAlive;
}

BridgeTestEditor::~BridgeTestEditor() { --sAlive; }

int BridgeTestEditor::alive() { return sAlive.load(); }

// A diagonal gradient, so that every row and column differs from its
// neighbours.
std::vector<unsigned char> backgroundPicture() {
  std::vector<uint8_t> rgba(size_t(kEditorWidth) * kEditorHeight * 4);
  for (int y = 0; y < kEditorHeight; ++y)
    for (int x = 0; x < kEditorWidth; ++x) {
      uint8_t* p = &rgba[(size_t(y) * kEditorWidth + x) * 4];
      p[0] = static_cast<uint8_t>(x * 255 / (kEditorWidth - 1));
      p[1] = static_cast<uint8_t>(y * 255 / (kEditorHeight - 1));
      p[2] = 96;
      p[3] = 255;
    }
  return encodePng(kEditorWidth, kEditorHeight, rgba.data(), true);
}

std::vector<unsigned char> knobPicture(bool pointer) {
  std::vector<uint8_t> rgba(size_t(kKnobSize) * kKnobSize * 4);
  for (int y = 0; y < kKnobSize; ++y)
    for (int x = 0; x < kKnobSize; ++x) {
      uint8_t* p = &rgba[(size_t(y) * kKnobSize + x) * 4];
      const int dx = 2 * x + 1 - kKnobSize, dy = 2 * y + 1 - kKnobSize;
      const bool inside = dx * dx + dy * dy <= kKnobSize * kKnobSize;
      const bool mark = pointer && x >= kKnobSize / 2 - 1 && x <= kKnobSize / 2 && y < kKnobSize / 2;
      p[0] = p[1] = p[2] = mark ? 250 : 30;
      p[3] = (pointer ? mark : inside) ? 255 : 0;
    }
  return encodePng(kKnobSize, kKnobSize, rgba.data(), true);
}

} // namespace bridgetest

GenericPluginInterface* createPluginInterfaceInstance(std::unique_ptr<gui::UserInterface> ui, GenericPlugin* plugin,
                                                      GenericPluginInterface::InterfaceListener* listener) {
  return new bridgetest::BridgeTestEditor(std::move(ui), static_cast<bridgetest::BridgeTestProduct*>(plugin), listener,
                                          bridgetest::productOptions().editorBackground);
}
