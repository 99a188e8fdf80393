#pragma once

// The test product's editor: the background "BridgeTestBackground.png"
// (320 x 200) with a knob for Level at (20, 40) and one for Offset at
// (200, 120), 32 x 32 each, from "BridgeTestKnob.png" and
// "BridgeTestPointer.png". bridgetest-resources writes the three pictures
// into the bundle.

#include "editor/GenericPluginInterface.h"

namespace bridgetest {

constexpr int kEditorWidth = 320;
constexpr int kEditorHeight = 200;
constexpr int kLevelKnobX = 20, kLevelKnobY = 40;
constexpr int kOffsetKnobX = 200, kOffsetKnobY = 120;
constexpr int kKnobSize = 32;

class BridgeTestProduct;

class BridgeTestEditor : public GenericPluginInterface {
public:
  BridgeTestEditor(std::unique_ptr<gui::UserInterface> userInterface, BridgeTestProduct* product,
                   InterfaceListener* listener, const std::string& background = "BridgeTestBackground.png");
  // Editors made and not yet deleted in this module.
  static int alive();
  ~BridgeTestEditor() override;
};

// The pictures, as PNG bytes.
std::vector<unsigned char> backgroundPicture();
std::vector<unsigned char> knobPicture(bool pointer);

} // namespace bridgetest
