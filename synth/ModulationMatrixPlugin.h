#pragma once

// The base of a plug-in with a modulation matrix: it holds the slot
// parameters and the editing controller the editor works through.
//
// The product calls createModMatrixParameters in its constructor at the
// place where the slot parameters belong in its parameter order (before
// initialize), builds a ModulationMatrix on its environment and binds the
// parameters to it (ModulationMatrixParameterSet::bind).

#include "plugin/GenericPlugin.h"
#include "synth/ModulationMatrix.h"

#include <memory>

class ModulationMatrixParameterSet;

class ModulationMatrixPlugin : public GenericPlugin {
public:
  explicit ModulationMatrixPlugin(int channelCount);
  ~ModulationMatrixPlugin() override;

  // The plug-in's controller (a ModMatrixParamController), made on first
  // use and kept. Main thread.
  ModulationMatrix::Controller* getModMatrixController();
  // Null until createModMatrixParameters.
  ModulationMatrixParameterSet* getModMatrixParameters() const { return mModMatrixParameters.get(); }

protected:
  // Registers the 120 slot parameters now; a second call returns the set
  // made by the first.
  ModulationMatrixParameterSet& createModMatrixParameters();

private:
  std::unique_ptr<ModulationMatrixParameterSet> mModMatrixParameters;
  std::unique_ptr<ModulationMatrix::Controller> mModMatrixController;
};
