#pragma once

// The editor base of plug-ins with a modulation matrix. On top of the
// generic editor it connects a modulation source to a target by drag and
// drop:
// - the derived editor makes source icons (createSourceButton) and
//   modulatable knobs (createTargetKnob, bound with the three-argument
//   setControl, which registers the knob's modulation target);
// - pressing a source icon dims the window with a veil (the target layer)
//   and lifts every registered knob above it; dragging the icon 5 pixels
//   draws lines to the slot the new connection will use; releasing it over
//   a lifted knob writes that slot through the matrix controller in one
//   parameter batch, and the lines stay for 800 ms;
// - a double click on a source icon or a target knob shows the existing
//   connections of that source or into that target instead.
// After every gesture, connected or not, the knobs are back under their own
// parents at their old places.
//
// Where slots and their line ends sit on screen is the derived editor's
// (getSlotSourcePos, getSlotTargetPos, getPreferredSlotRange), and so is the
// stage on which slots are reordered (getSlotOrderStage).
//
// The target layer and the drag stage cover the whole window; initialize()
// puts them above every control made before, so a derived editor calls it
// last, instead of GenericPluginInterface::initialize.

#include "editor/GenericPluginInterface.h"
#include "gui/Button.h"
#include "gui/Knob.h"

#include <memory>
#include <string>
#include <vector>

class ModulationDragStage;
class ModulationMatrixPlugin;
class ModulationSourceButton;
class ModulationTargetKnob;
class ModulationTargetLayer;
class SlotOrderButton;
class SlotOrderStage;

class ModulationMatrixPluginInterface : public GenericPluginInterface {
public:
  ModulationMatrixPluginInterface(std::unique_ptr<gui::UserInterface> userInterface, ModulationMatrixPlugin* plugin,
                                  InterfaceListener* listener, const std::string& backgroundName, float contrast);
  ~ModulationMatrixPluginInterface() override;

  // ---- what a derived editor adds or narrows
  // A source icon was pressed / its gesture ended.
  virtual void beginModulationView() {}
  virtual void endModulationView() {}
  // The slots a new connection prefers (all of them here).
  virtual void getPreferredSlotRange(int& first, int& last);
  virtual SlotOrderStage* getSlotOrderStage() = 0;
  // Window points where a slot's source line ends and its target line
  // starts.
  virtual gui::Point getSlotSourcePos(int slot) = 0;
  virtual gui::Point getSlotTargetPos(int slot) = 0;
  // The registered knob's connection point; (0, 0) when none.
  virtual gui::Point getDragTargetPos(int target);
  // The centre of the source icon; (0, 0) when none.
  virtual gui::Point getSourceButtonPos(int source);
  virtual void makeConnection(int slot, int source, int target);

  // ---- building
  ModulationSourceButton* createSourceButton(int source, int x, int y);
  ModulationTargetKnob* createTargetKnob(int x, int y, gui::Knob::Style* style);
  SlotOrderButton* createSlotOrderButton(int x, int y, gui::Button::Style* style, int slot);
  using GenericPluginInterface::setControl;
  // Registers the knob for the modulation target (null unregisters the
  // target), then binds it to the parameter.
  void setControl(const AbstractPluginParameter& parameter, int target, gui::Knob* knob);
  // Lifts the layer and the stage above everything made so far, then the
  // generic initialize.
  void initialize();

  // The generic update, then every source icon repaints its in-use mark.
  void updateParameterControl(int index) override;

  ModulationDragStage* getDragStage() const { return dragStage; }
  ModulationTargetLayer* getTargetLayer() const { return targetLayer; }
  ModulationMatrixPlugin* getModulationPlugin() const { return matrixPlugin; }
  gui::Button::Style* getSourceButtonStyle() const { return sourceButtonStyle; }
  const std::vector<ModulationSourceButton*>& getSourceButtons() const { return sourceButtons; }

protected:
  ModulationDragStage* dragStage;
  ModulationMatrixPlugin* matrixPlugin;
  // Made without images; the derived editor loads them. Its overlayOn image
  // marks a source that feeds at least one slot.
  gui::Button::Style* sourceButtonStyle;
  ModulationTargetLayer* targetLayer;
  std::vector<ModulationSourceButton*> sourceButtons;
};
