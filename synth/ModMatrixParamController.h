#pragma once

// The modulation matrix's editing interface over the slot parameters: every
// question is answered from the parameters' current values, and every edit
// sets parameters inside one parameter-update batch of the plug-in, so the
// host and the editor hear of it once and the render thread takes it
// through the usual parameter hand-off. Main thread.

#include "synth/ModulationMatrix.h"

#include <vector>

class GenericPlugin;
class ModulationMatrixParameterSet;

class ModMatrixParamController : public ModulationMatrix::Controller {
public:
  // Neither is owned; a null set gives a matrix without slots.
  ModMatrixParamController(GenericPlugin* plugin, ModulationMatrixParameterSet* parameters);

  int getNumSlots() override;
  int getSlotSource(int slot) override;
  int getSlotTarget(int slot) override;
  bool getSlotBypassed(int slot) override;
  void getSourceSlots(int source, std::vector<int>& slots) override;
  void getTargetSlots(int target, std::vector<int>& slots) override;
  bool hasSourceSlots(int source) override;
  bool isSlotValid(int slot) override;
  int selectFreeSlot(int first, int last) override;
  // Nothing happens for a slot outside the range or a source or target
  // that is neither -1 nor an index of one.
  void makeConnection(int slot, int source, int target) override;
  void clearSlot(int slot) override;
  void moveSlot(int from, int to) override;

private:
  bool isSlot(int slot);

  GenericPlugin* mPlugin;
  ModulationMatrixParameterSet* mParameters;
};
