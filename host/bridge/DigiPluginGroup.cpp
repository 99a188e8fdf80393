#include "host/bridge/DigiPluginGroup.h"

#include "base/PlatformPaths.h"
#include "base/PlatformUtils.h"
#include "base/PreferencesSerializer.h"
#include "base/VersionInfo.h"
#include "gui/ShiftStateMapping.h"
#include "host/CEffectType.h"
#include "host/bridge/DigiRTASPluginAdapter.h"
#include "host/bridge/DigiViewAdapter.h"
#include "host/bridge/PluginInstanceFactory.h"
#include "plugin/GenericPlugin.h"

#include <memory>

namespace {

constexpr const char* kManufacturerName = "Quorvane";
constexpr int32_t kGroupGestalt = 14;
constexpr int32_t kTypeGestalts[] = {8, ePlugInGestalt_VariableQuantum, 55};
constexpr int32_t kSampleRateSupport = 6;

} // namespace

DigiPluginGroup::DigiPluginGroup() {
  uint32_t version = 1;
  {
    // The first plug-in of the process: it makes the objects every instance
    // shares and releases them again when it goes. It is asked only who it
    // is, so it leaves the preset library for the real instances to read.
    std::unique_ptr<GenericPlugin> plugin;
    {
      GenericPlugin::IdentityOnlyScope identityOnly;
      plugin.reset(createPluginInstance());
    }
    fCategory = plugin->getCategory();
    fChannelCount = plugin->getChannelCount();
    fSideChain = plugin->hasSideChain();
    fPluginIdentifier = plugin->getIdentifier();
    fShortProductName = GenericPlugin::sVersionInfo->getShortProductName();
    fPluginType = plugin->getType();
    version = static_cast<uint32_t>(GenericPlugin::sVersionInfo->getVersion().major);

    std::unique_ptr<SettingSerializer> settings(createSettingReader(GenericPlugin::sVersionInfo->getSettingsPath()));
    if (settings) fHostShortcuts = settings->serializeBool("UseProToolsShortcuts", true, true);
    if (fHostShortcuts) {
      // The host's own shortcuts claim command-click (fine) and option-click
      // (reset to default); the editor's widgets follow the host for the
      // whole process.
      gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeReset, gui::cOptionBit);
      gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeFine, gui::cCommandBit);
      gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeLinked, gui::cShiftBit);
      gui::shiftStateMapping.setPurposeShiftState(gui::cPurposeFineLinked, gui::cShiftBit | gui::cCommandBit);
    }
  }
  // The host picks the longest variant that fits its field.
  fGroupNames = std::string(kManufacturerName) + " " + fShortProductName + "\n" + fShortProductName;
  DefinePlugInNamesAndVersion(fGroupNames.c_str(), version);
  DefineManufacturerNamesAndID(kManufacturerName, getQuorvaneId());
  AddGestalt(kGroupGestalt);
  // The host's view of an instance names this keyword in its description.
  CCustomView::AddNewViewProc(getPluginViewName(fShortProductName).c_str(), createDigiViewAdapter);
}

DigiPluginGroup::~DigiPluginGroup() = default;

uint32_t DigiPluginGroup::GetCategoryBits(int32_t type, int32_t category) {
  if (type == 0) return 0x800; // an instrument, whatever its category
  switch (category) {
  case 1: return 0x800;
  case 3: return 0x10;
  case 4: return 0x2;
  default: return 0x2000; // 0 and 2, and categories this system does not know
  }
}

void DigiPluginGroup::CreateEffectTypes() {
  const uint32_t bits = GetCategoryBits(fPluginType, fCategory);
  const uint32_t id = getTypeIdentifier(ePluginStems_Native);
  auto* native = new CEffectTypeRTAS(id, id, bits);
  initializeEffectType(native, ePluginStems_Native, createDigiRTASPluginAdapter);
  AddEffectType(native);

  if (fPluginType == 1 && fChannelCount >= 2) {
    const uint32_t monoId = getTypeIdentifier(ePluginStems_MonoToStereo);
    auto* mono = new CEffectTypeRTAS(monoId, monoId, bits);
    initializeEffectType(mono, ePluginStems_MonoToStereo, createDigiRTASPluginAdapterMonoToStereo);
    AddEffectType(mono);
  }
}

uint32_t DigiPluginGroup::getTypeIdentifier(PluginStems stems) const {
  // Characters are bytes from 0 to 255: a signed byte would spread its sign
  // over the characters before it.
  auto at = [this](size_t i) -> uint32_t {
    return i < fPluginIdentifier.size() ? static_cast<unsigned char>(fPluginIdentifier[i]) : 0u;
  };
  const uint32_t last = stems == ePluginStems_MonoToStereo ? static_cast<uint32_t>('1') : at(3);
  return (at(0) << 24) | (at(1) << 16) | (at(2) << 8) | last;
}

void DigiPluginGroup::initializeEffectType(CEffectType* type, PluginStems stems, ProcessCreator creator) {
  EPlugIn_StemFormat input = ePlugIn_StemFormat_Stereo, output = ePlugIn_StemFormat_Stereo;
  if (stems == ePluginStems_MonoToStereo) {
    input = ePlugIn_StemFormat_Mono;
  } else if (fChannelCount == 1) {
    input = output = ePlugIn_StemFormat_Mono;
  }
  type->DefineTypeNames(fGroupNames.c_str());
  for (int32_t gestalt : kTypeGestalts) type->AddGestalt(gestalt);
  type->DefineSampleRateSupport(kSampleRateSupport);
  if (fSideChain) type->AddGestalt(ePlugInGestalt_SideChainInput);
  type->DefineStemFormats(input, output, ePlugIn_StemFormat_Mono);
  type->AttachEffectProcessCreator(creator, nullptr);
}

std::string getPluginViewName(const std::string& name) { return "Qrv" + name + "View"; }

CProcessGroupInterface* CreateDigiPluginGroup(const std::string& bundleIdentifier) {
  if (PlatformStringRef id = createCFString(bundleIdentifier)) {
    // A bundle that cannot be found registers no bundle: lookups then fall
    // back to the process's main bundle.
    registerModuleInstance(platform::Bundle::findByIdentifier(getStringFromCFString(id)));
    releasePlatformString(id);
  }
  return new DigiPluginGroup;
}
