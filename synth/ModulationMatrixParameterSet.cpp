#include "synth/ModulationMatrixParameterSet.h"

#include "base/TextUtils.h"
#include "hints/ZarnHints.h"

#include <string>

namespace {

std::string slotName(int slot, const char* what) { return "Slot " + std::to_string(slot + 1) + " " + what; }

std::string sourceNames() {
  std::string names = "< Source >";
  for (int s = 0; s < ModulationMatrix::cNumSources; ++s)
    names += std::string(",") + ModulationMatrix::getSourceName(s);
  return names;
}

std::string targetNames() {
  std::string names = "< Target >";
  for (int t = 0; t < ModulationMatrix::cNumTargets; ++t) {
    names += ',';
    names += ModulationMatrix::getTargetName(t);
  }
  return names;
}

} // namespace

ModulationMatrixParameterSet::SourceParameter::SourceParameter(GenericParameterOwner* owner,
                                                               ModulationMatrixParameterSet* set, int slot)
    : IndexedPluginParameter<int>(owner, slotName(slot, "Source")), mSet(set), mSlot(slot) {
  static const std::string names = sourceNames();
  configure(0, ModulationMatrix::cNumSources, 0, names);
  setHintText(cHintSlotSource);
}

void ModulationMatrixParameterSet::SourceParameter::updateValue(float /*natural*/) {
  if (ModulationMatrix* matrix = mSet->getMatrix()) matrix->setSlotSource(mSlot, getSource());
}

ModulationMatrixParameterSet::TargetParameter::TargetParameter(GenericParameterOwner* owner,
                                                               ModulationMatrixParameterSet* set, int slot)
    : IndexedPluginParameter<int>(owner, slotName(slot, "Target")), mSet(set), mSlot(slot) {
  static const std::string names = targetNames();
  configure(0, ModulationMatrix::cNumTargets, 0, names);
  setHintText(cHintSlotTarget);
}

void ModulationMatrixParameterSet::TargetParameter::updateValue(float /*natural*/) {
  if (ModulationMatrix* matrix = mSet->getMatrix()) matrix->setSlotTarget(mSlot, getTarget());
}

ModulationMatrixParameterSet::SwitchParameter::SwitchParameter(GenericParameterOwner* owner,
                                                               ModulationMatrixParameterSet* set, int slot, Role role)
    : IndexedPluginParameter<bool>(owner, slotName(slot, role == cInverted ? "Inverted" : "Bypassed")), mSet(set),
      mSlot(slot), mRole(role) {
  configure(0, 1, false, "Off,On");
  setHintText(role == cInverted ? cHintSlotInvert : cHintSlotByPass);
}

void ModulationMatrixParameterSet::SwitchParameter::updateValue(float /*natural*/) {
  ModulationMatrix* matrix = mSet->getMatrix();
  if (!matrix) return;
  if (mRole == cInverted)
    matrix->setSlotInverted(mSlot, isOn());
  else
    matrix->setSlotBypassed(mSlot, isOn());
}

ModulationMatrixParameterSet::LevelParameter::LevelParameter(GenericParameterOwner* owner,
                                                             ModulationMatrixParameterSet* set, int slot)
    : FloatPluginParameter(owner, slotName(slot, "Level")), mSet(set), mSlot(slot) {
  setLimits(0.0f, 1.0f, cDefaultLevel);
  setHintText(cHintSlotLevel);
}

std::string ModulationMatrixParameterSet::LevelParameter::convertValueToString(float natural) const {
  return floatToStr(natural, "%.3f");
}

void ModulationMatrixParameterSet::LevelParameter::updateValue(float /*natural*/) {
  if (ModulationMatrix* matrix = mSet->getMatrix()) matrix->setSlotLevel(mSlot, getValue());
}

ModulationMatrixParameterSet::SlotParameters::SlotParameters(GenericParameterOwner* owner,
                                                             ModulationMatrixParameterSet* set, int slot)
    : source(owner, set, slot), inverted(owner, set, slot, SwitchParameter::cInverted),
      bypassed(owner, set, slot, SwitchParameter::cBypassed), level(owner, set, slot), target(owner, set, slot) {}

ModulationMatrixParameterSet::ModulationMatrixParameterSet(GenericParameterOwner* owner) {
  mSlots.reserve(ModulationMatrix::cNumSlots);
  for (int s = 0; s < ModulationMatrix::cNumSlots; ++s)
    mSlots.push_back(std::make_unique<SlotParameters>(owner, this, s));
}

void ModulationMatrixParameterSet::getSlotConfigs(ModulationMatrix::SlotConfig* slots) const {
  for (int s = 0; s < ModulationMatrix::cNumSlots; ++s) {
    const SlotParameters& p = at(s);
    slots[s].source = p.source.getSource();
    slots[s].target = p.target.getTarget();
    slots[s].inverted = p.inverted.isOn();
    slots[s].bypassed = p.bypassed.isOn();
  }
}

void ModulationMatrixParameterSet::bind(ModulationMatrix* matrix) {
  mMatrix.store(matrix, std::memory_order_release);
  if (!matrix) return;
  for (int s = 0; s < ModulationMatrix::cNumSlots; ++s) {
    const SlotParameters& p = at(s);
    matrix->setSlotSource(s, p.source.getSource());
    matrix->setSlotTarget(s, p.target.getTarget());
    matrix->setSlotInverted(s, p.inverted.isOn());
    matrix->setSlotBypassed(s, p.bypassed.isOn());
    matrix->setSlotLevel(s, p.level.getValue(), false);
  }
}
