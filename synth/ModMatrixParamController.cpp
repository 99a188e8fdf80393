#include "synth/ModMatrixParamController.h"

#include "plugin/GenericPlugin.h"
#include "synth/ModulationMatrixParameterSet.h"

namespace {

// Brackets parameter changes as one batch of the plug-in.
class Batch {
public:
  explicit Batch(GenericPlugin* plugin) : mPlugin(plugin) { mPlugin->beginParameterUpdate(); }
  ~Batch() { mPlugin->endParameterUpdate(); }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

private:
  GenericPlugin* mPlugin;
};

} // namespace

ModMatrixParamController::ModMatrixParamController(GenericPlugin* plugin, ModulationMatrixParameterSet* parameters)
    : mPlugin(plugin), mParameters(parameters) {}

bool ModMatrixParamController::isSlot(int slot) { return mParameters && slot >= 0 && slot < getNumSlots(); }

int ModMatrixParamController::getNumSlots() { return mParameters ? mParameters->getNumSlots() : 0; }

int ModMatrixParamController::getSlotSource(int slot) {
  return isSlot(slot) ? mParameters->at(slot).source.getSource() : -1;
}

int ModMatrixParamController::getSlotTarget(int slot) {
  return isSlot(slot) ? mParameters->at(slot).target.getTarget() : -1;
}

bool ModMatrixParamController::getSlotBypassed(int slot) {
  return isSlot(slot) && mParameters->at(slot).bypassed.isOn();
}

void ModMatrixParamController::getSourceSlots(int source, std::vector<int>& slots) {
  slots.clear();
  for (int s = 0; s < getNumSlots(); ++s)
    if (getSlotSource(s) == source) slots.push_back(s);
}

void ModMatrixParamController::getTargetSlots(int target, std::vector<int>& slots) {
  slots.clear();
  for (int s = 0; s < getNumSlots(); ++s)
    if (getSlotTarget(s) == target) slots.push_back(s);
}

bool ModMatrixParamController::hasSourceSlots(int source) {
  for (int s = 0; s < getNumSlots(); ++s)
    if (getSlotSource(s) == source) return true;
  return false;
}

bool ModMatrixParamController::isSlotValid(int slot) {
  if (!isSlot(slot)) return false;
  ModulationMatrix::SlotConfig slots[ModulationMatrix::cNumSlots];
  mParameters->getSlotConfigs(slots);
  ModulationMatrix::Analysis analysis;
  ModulationMatrix::analyze(slots, analysis);
  return analysis.valid[slot];
}

int ModMatrixParamController::selectFreeSlot(int first, int last) {
  if (first > last) return -1;
  if (first < 0) first = 0;
  if (last > getNumSlots() - 1) last = getNumSlots() - 1;
  for (int s = first; s <= last; ++s)
    if (getSlotSource(s) == -1 && getSlotTarget(s) == -1) return s;
  for (int s = first; s <= last; ++s)
    if (!isSlotValid(s)) return s;
  return -1;
}

void ModMatrixParamController::makeConnection(int slot, int source, int target) {
  if (!isSlot(slot)) return;
  if (source != -1 && !ModulationMatrix::isSourceIndex(source)) return;
  if (target != -1 && !ModulationMatrix::isTargetIndex(target)) return;
  ModulationMatrixParameterSet::SlotParameters& p = mParameters->at(slot);
  Batch batch(mPlugin);
  p.source.setValue(static_cast<float>(source + 1), 0);
  p.target.setValue(static_cast<float>(target + 1), 0);
  p.level.setValue(0.5f, 0);
  p.bypassed.setValue(0.0f, 0);
  p.inverted.setValue(0.0f, 0);
}

void ModMatrixParamController::clearSlot(int slot) {
  if (!isSlot(slot)) return;
  ModulationMatrixParameterSet::SlotParameters& p = mParameters->at(slot);
  Batch batch(mPlugin);
  p.source.setValue(p.source.getDefault(), 0);
  p.inverted.setValue(p.inverted.getDefault(), 0);
  p.bypassed.setValue(p.bypassed.getDefault(), 0);
  p.level.setValue(p.level.getDefault(), 0);
  p.target.setValue(p.target.getDefault(), 0);
}

void ModMatrixParamController::moveSlot(int from, int to) {
  if (!isSlot(from) || !isSlot(to) || from == to) return;
  constexpr int n = ModulationMatrix::cNumSlots;
  struct Values {
    float source, inverted, bypassed, level, target;
  };
  Values old[n];
  for (int s = 0; s < n; ++s) {
    const ModulationMatrixParameterSet::SlotParameters& p = mParameters->at(s);
    old[s] = Values{p.source.getValue(), p.inverted.getValue(), p.bypassed.getValue(), p.level.getValue(),
                    p.target.getValue()};
  }
  // order[i]: the slot that ends up at place i; place[s]: where slot s goes.
  int order[n];
  int count = 0;
  for (int s = 0; s < n; ++s)
    if (s != from) order[count++] = s;
  for (int i = n - 1; i > to; --i) order[i] = order[i - 1];
  order[to] = from;
  int place[n];
  for (int i = 0; i < n; ++i) place[order[i]] = i;

  Batch batch(mPlugin);
  for (int i = 0; i < n; ++i) {
    const Values& v = old[order[i]];
    // A target that is a slot's level follows that slot to its new place
    // (the value is the target index + 1).
    float target = v.target;
    const int t = static_cast<int>(target) - 1;
    if (t >= ModulationMatrix::cTargetSlotLevel && t < ModulationMatrix::cNumTargets)
      target = static_cast<float>(ModulationMatrix::cTargetSlotLevel + 1 +
                                  place[t - ModulationMatrix::cTargetSlotLevel]);
    ModulationMatrixParameterSet::SlotParameters& p = mParameters->at(i);
    p.source.setValue(v.source, 0);
    p.inverted.setValue(v.inverted, 0);
    p.bypassed.setValue(v.bypassed, 0);
    p.level.setValue(v.level, 0);
    p.target.setValue(target, 0);
  }
}
