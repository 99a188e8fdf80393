#pragma once

// The host parameters of the modulation matrix's slots: five per slot, 120
// in all, registered one after another in this order for each slot:
//   "Slot n Source"    indexed, "< Source >" then the 11 sources
//   "Slot n Inverted"  switch, "Off,On"
//   "Slot n Bypassed"  switch, "Off,On"
//   "Slot n Level"     continuous 0..1, default 0.5
//   "Slot n Target"    indexed, "< Target >" then the 62 targets
// so slot 0's Source and slot 23's Target are the first and the last of
// them. A Source or Target value is the source or target index + 1; 0 is
// unset.
//
// When bound to a ModulationMatrix, each value that reaches the engine
// (updateValue, on the render thread) is written into the matrix's slot.

#include "plugin/FloatPluginParameter.h"
#include "plugin/IndexedPluginParameter.h"
#include "synth/ModulationMatrix.h"

#include <atomic>
#include <memory>
#include <vector>

class GenericParameterOwner;

class ModulationMatrixParameterSet {
public:
  static constexpr int cParametersPerSlot = 5;
  static constexpr float cDefaultLevel = 0.5f;

  class SourceParameter : public IndexedPluginParameter<int> {
  public:
    SourceParameter(GenericParameterOwner* owner, ModulationMatrixParameterSet* set, int slot);
    // The source index, -1 when unset.
    int getSource() const { return getCurrentIndex() - 1; }
    void updateValue(float natural) override;

  private:
    ModulationMatrixParameterSet* mSet;
    int mSlot;
  };

  class TargetParameter : public IndexedPluginParameter<int> {
  public:
    TargetParameter(GenericParameterOwner* owner, ModulationMatrixParameterSet* set, int slot);
    // The target index, -1 when unset.
    int getTarget() const { return getCurrentIndex() - 1; }
    void updateValue(float natural) override;

  private:
    ModulationMatrixParameterSet* mSet;
    int mSlot;
  };

  // Inverted or Bypassed.
  class SwitchParameter : public IndexedPluginParameter<bool> {
  public:
    enum Role { cInverted, cBypassed };
    SwitchParameter(GenericParameterOwner* owner, ModulationMatrixParameterSet* set, int slot, Role role);
    bool isOn() const { return getTypedValue(); }
    void updateValue(float natural) override;

  private:
    ModulationMatrixParameterSet* mSet;
    int mSlot;
    Role mRole;
  };

  class LevelParameter : public FloatPluginParameter {
  public:
    LevelParameter(GenericParameterOwner* owner, ModulationMatrixParameterSet* set, int slot);
    using FloatPluginParameter::operator=;
    void updateValue(float natural) override;
    // Three decimals, as the other 0..1 levels read.
    std::string convertValueToString(float natural) const override;

  private:
    ModulationMatrixParameterSet* mSet;
    int mSlot;
  };

  // The five parameters of one slot, declared in registration order.
  struct SlotParameters {
    SlotParameters(GenericParameterOwner* owner, ModulationMatrixParameterSet* set, int slot);
    SourceParameter source;
    SwitchParameter inverted;
    SwitchParameter bypassed;
    LevelParameter level;
    TargetParameter target;
  };

  // Registers the 120 parameters with the owner, now and in order.
  explicit ModulationMatrixParameterSet(GenericParameterOwner* owner);
  ModulationMatrixParameterSet(const ModulationMatrixParameterSet&) = delete;
  ModulationMatrixParameterSet& operator=(const ModulationMatrixParameterSet&) = delete;

  int getNumSlots() const { return ModulationMatrix::cNumSlots; }
  // slot 0..23; not checked.
  SlotParameters& at(int slot) { return *mSlots[static_cast<size_t>(slot)]; }
  const SlotParameters& at(int slot) const { return *mSlots[static_cast<size_t>(slot)]; }
  // The parameter index of slot 0's Source and of slot 23's Target.
  int getFirstIndex() const { return at(0).source.getIndex(); }
  int getLastIndex() const { return at(ModulationMatrix::cNumSlots - 1).target.getIndex(); }

  // The slots' current settings, as the rules read them.
  void getSlotConfigs(ModulationMatrix::SlotConfig* slots) const;

  // Binds the matrix (null unbinds) and writes every slot's current values
  // into it at once, levels without a glide. Before rendering, or on the
  // render thread.
  void bind(ModulationMatrix* matrix);
  ModulationMatrix* getMatrix() const { return mMatrix.load(std::memory_order_acquire); }

private:
  std::vector<std::unique_ptr<SlotParameters>> mSlots;
  std::atomic<ModulationMatrix*> mMatrix{nullptr};
};
