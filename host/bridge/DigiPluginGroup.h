#pragma once

// The plug-in group: what the host meets first in a bundle built on the
// bridge. It reads who the plug-in is from a temporary plug-in instance
// (names, version, four-character identifiers, category, channel layout,
// side chain), announces that to the host and defines the process types
// whose creators build the per-instance adapters. Everything comes from the
// plug-in, so one bridge serves any product built on GenericPlugin.
//
// The bundle supplies CProcessGroup::CreateProcessGroup and builds its group
// with CreateDigiPluginGroup, giving its own bundle identifier.

#include "host/CEffectGroup.h"

#include <cstdint>
#include <string>

class CEffectProcess;
class CEffectType;

// The channel layout of one process type.
enum PluginStems : int32_t {
  ePluginStems_Native = 0,      // the plug-in's own layout
  ePluginStems_MonoToStereo = 1 // mono in, stereo out
};

class DigiPluginGroup : public CEffectGroupMIDI {
public:
  using ProcessCreator = CEffectProcess* (*)();

  // Reads the plug-in's identity from a temporary instance and defines the
  // group's names, version and manufacturer. Exceptions (the temporary
  // instance's included) propagate to the host layer.
  DigiPluginGroup();
  ~DigiPluginGroup() override;

  // One type for the plug-in's own layout; an effect of two or more channels
  // also gets a mono-in, stereo-out type.
  void CreateEffectTypes() override;
  void initializeEffectType(CEffectType* type, PluginStems stems, ProcessCreator creator);
  // The plug-in identifier's four characters, most significant byte first;
  // the mono-to-stereo type ends in '1' instead of the fourth character.
  uint32_t getTypeIdentifier(PluginStems stems) const;

  // The host's category bits of a plug-in type (0 instrument, 1 effect) and
  // category (0 to 4).
  static uint32_t GetCategoryBits(int32_t type, int32_t category);

  int32_t GetCategory() const { return fCategory; }
  int32_t GetChannelCount() const { return fChannelCount; }
  bool HasSideChain() const { return fSideChain; }
  const std::string& GetPluginIdentifier() const { return fPluginIdentifier; }
  const std::string& GetShortProductName() const { return fShortProductName; }
  const std::string& GetGroupNames() const { return fGroupNames; }
  int32_t GetPluginType() const { return fPluginType; }
  // The setting "UseProToolsShortcuts" (true when missing): whether the
  // editor's modifier keys follow the host's conventions. Read once, when
  // the group is made, which then remaps gui::shiftStateMapping for the
  // process.
  bool UsesHostShortcuts() const { return fHostShortcuts; }

private:
  int32_t fCategory = 0;
  int32_t fChannelCount = 0;
  bool fSideChain = false;
  std::string fPluginIdentifier;
  std::string fShortProductName;
  std::string fGroupNames;
  int32_t fPluginType = 1;
  bool fHostShortcuts = true;
};

// "Qrv" + name + "View": the name under which the plug-in's host-drawn view
// is registered.
std::string getPluginViewName(const std::string& name);

// The bundle's group factory: registers the bundle with that identifier as
// the module whose resources and information the plug-in reads (before any
// plug-in object exists), then builds the group.
CProcessGroupInterface* CreateDigiPluginGroup(const std::string& bundleIdentifier);
