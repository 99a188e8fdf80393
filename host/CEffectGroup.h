#pragma once

// The group of an effect (or instrument) plug-in: the identity it defines in
// its constructor and the process types it defines in CreateEffectTypes,
// which the group start-up calls once the engine libraries are bound.

#include "host/CProcessGroup.h"

class CEffectType;

class CEffectGroup : public CDSPProcessGroup {
public:
  // names: variants separated by newlines, longest first.
  void DefinePlugInNamesAndVersion(const char* names, uint32_t version) { SetNamesAndVersion(names, version); }
  void DefineManufacturerNamesAndID(const char* names, uint32_t id) { SetManufacturer(names, id); }
  void AddGestalt(int32_t selector) { AddGroupGestalt(selector); }
  // The group owns the type.
  void AddEffectType(CEffectType* type);

  void CreateProcessTypes() override { CreateEffectTypes(); }
  virtual void CreateEffectTypes() = 0;
};

// The group of a plug-in that takes MIDI.
class CEffectGroupMIDI : public virtual CEffectGroup {};
