#include "synth/ModulationMatrixPlugin.h"

#include "synth/ModMatrixParamController.h"
#include "synth/ModulationMatrixParameterSet.h"

ModulationMatrixPlugin::ModulationMatrixPlugin(int channelCount) : GenericPlugin(channelCount) {}

ModulationMatrixPlugin::~ModulationMatrixPlugin() = default;

ModulationMatrix::Controller* ModulationMatrixPlugin::getModMatrixController() {
  if (!mModMatrixController)
    mModMatrixController = std::make_unique<ModMatrixParamController>(this, mModMatrixParameters.get());
  return mModMatrixController.get();
}

ModulationMatrixParameterSet& ModulationMatrixPlugin::createModMatrixParameters() {
  if (!mModMatrixParameters) mModMatrixParameters = std::make_unique<ModulationMatrixParameterSet>(this);
  return *mModMatrixParameters;
}
