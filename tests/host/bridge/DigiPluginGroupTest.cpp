// The plug-in group: the identity it reads from the product and the process
// types it defines for instruments and effects.

#include "platform/PreferencesStore.h"
#include "base/VersionInfo.h"
#include "host/PlugInGlobals.h"
#include "host/bridge/DigiPluginGroup.h"
#include "gui/ShiftStateMapping.h"
#include "tests/host/bridge/BridgeTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace bridgetest;

namespace {

struct TypeInfo {
  uint32_t id, id2, category;
  int32_t input, output, third;
};

TypeInfo TypeOf(simhost::SimHost& host, int32_t type) {
  TypeInfo t{};
  host.processTypeIDs(type, t.id, t.id2, t.category);
  host.processTypeStems(type, t.input, t.output, t.third);
  return t;
}

DigiPluginGroup* Group() { return dynamic_cast<DigiPluginGroup*>(gProcessGroup); }

// Stores "UseProToolsShortcuts" in the test product's settings, or removes
// it, for the group made next.
void StoreShortcutSetting(int value) {
  BridgeTestProduct product{ProductOptions()};
  platform::PreferencesStore store(GenericPlugin::sVersionInfo->getSettingsPath());
  if (value < 0)
    store.remove("UseProToolsShortcuts");
  else
    store.setInteger("UseProToolsShortcuts", value);
  ASSERT_TRUE(store.synchronize());
}

} // namespace

TEST(DigiPluginGroupTest, AnnouncesTheProductsIdentity) {
  InProcessHost h;
  EXPECT_EQ(h->groupName(255), "Quorvane BridgeTest");
  EXPECT_EQ(h->groupName(12), "BridgeTest");
  EXPECT_EQ(h->manufacturerName(31), "Quorvane");
  EXPECT_EQ(h->manufacturerID(), 0x5176726Eu); // 'Qvrn'
  // The major part of the bundle's version "3.12".
  EXPECT_EQ(h->version(), 3u);
  EXPECT_EQ(h->groupGestalt(14), 1);
  ASSERT_NE(Group(), nullptr);
  EXPECT_EQ(Group()->GetPluginIdentifier(), "QBrt");
  EXPECT_EQ(Group()->GetShortProductName(), "BridgeTest");
  EXPECT_EQ(Group()->GetGroupNames(), "Quorvane BridgeTest\nBridgeTest");
}

TEST(DigiPluginGroupTest, AnInstrumentOffersOneTypeWhateverItsCategory) {
  for (int category = 0; category <= 4; ++category) {
    ProductOptions o;
    o.type = 0;
    o.category = category;
    InProcessHost h(o);
    ASSERT_EQ(h->numProcessTypes(), 1) << category;
    TypeInfo t = TypeOf(h.host(), 1);
    EXPECT_EQ(t.id, 0x51427274u) << category; // 'QBrt'
    EXPECT_EQ(t.id2, t.id);
    EXPECT_EQ(t.category, 0x800u) << category;
    EXPECT_EQ(t.input, ePlugIn_StemFormat_Stereo);
    EXPECT_EQ(t.output, ePlugIn_StemFormat_Stereo);
    EXPECT_EQ(t.third, ePlugIn_StemFormat_Mono);
    EXPECT_EQ(h->processTypeName(1, 63), "Quorvane BridgeTest");
    EXPECT_EQ(h->processTypeRates(1), 6);
    for (int32_t gestalt : {8, 48, 55}) EXPECT_EQ(h->processTypeGestalt(1, gestalt), 1) << gestalt;
    EXPECT_EQ(h->processTypeGestalt(1, ePlugInGestalt_SideChainInput), 0);
  }
}

TEST(DigiPluginGroupTest, EffectCategoriesMapToTheHostsCategoryBits) {
  const uint32_t expected[] = {0x2000, 0x800, 0x2000, 0x10, 0x2};
  for (int category = 0; category <= 4; ++category) {
    ProductOptions o;
    o.type = 1;
    o.category = category;
    InProcessHost h(o);
    TypeInfo t = TypeOf(h.host(), 1);
    EXPECT_EQ(t.category, expected[category]) << category;
  }
  EXPECT_EQ(DigiPluginGroup::GetCategoryBits(1, 7), 0x2000u);
  EXPECT_EQ(DigiPluginGroup::GetCategoryBits(0, 3), 0x800u);
}

TEST(DigiPluginGroupTest, AStereoEffectAlsoOffersMonoInStereoOut) {
  ProductOptions o;
  o.type = 1;
  o.category = 3;
  InProcessHost h(o);
  ASSERT_EQ(h->numProcessTypes(), 2);
  TypeInfo native = TypeOf(h.host(), 1), mono = TypeOf(h.host(), 2);
  EXPECT_EQ(native.id, 0x51427274u);
  EXPECT_EQ(native.category, 0x10u);
  EXPECT_EQ(native.input, ePlugIn_StemFormat_Stereo);
  EXPECT_EQ(native.output, ePlugIn_StemFormat_Stereo);
  EXPECT_EQ(mono.id, 0x51427231u); // 'QBr1'
  EXPECT_EQ(mono.id2, mono.id);
  EXPECT_EQ(mono.category, 0x10u);
  EXPECT_EQ(mono.input, ePlugIn_StemFormat_Mono);
  EXPECT_EQ(mono.output, ePlugIn_StemFormat_Stereo);
  EXPECT_EQ(h->processTypeGestalt(2, 48), 1);
}

TEST(DigiPluginGroupTest, AMonoEffectOffersOneMonoType) {
  ProductOptions o;
  o.type = 1;
  o.channels = 1;
  InProcessHost h(o);
  ASSERT_EQ(h->numProcessTypes(), 1);
  TypeInfo t = TypeOf(h.host(), 1);
  EXPECT_EQ(t.input, ePlugIn_StemFormat_Mono);
  EXPECT_EQ(t.output, ePlugIn_StemFormat_Mono);
}

TEST(DigiPluginGroupTest, ASideChainIsAnnouncedOnEveryType) {
  ProductOptions o;
  o.type = 1;
  o.sideChain = true;
  InProcessHost h(o);
  ASSERT_EQ(h->numProcessTypes(), 2);
  // The side-chain port follows the main inputs.
  EXPECT_EQ(h->processTypeGestalt(1, ePlugInGestalt_SideChainInput), 3);
  EXPECT_EQ(h->processTypeGestalt(2, ePlugInGestalt_SideChainInput), 2);
}

TEST(DigiPluginGroupTest, IdentifierCharactersAreUnsignedBytes) {
  ProductOptions o;
  o.identifier = "Q\xE9r\xFF";
  o.type = 1;
  InProcessHost h(o);
  EXPECT_EQ(TypeOf(h.host(), 1).id, 0x51E972FFu);
  EXPECT_EQ(TypeOf(h.host(), 2).id, 0x51E97231u);
}

TEST(DigiPluginGroupTest, HostShortcutsFollowTheStoredSettingAndRemapTheModifiers) {
  // Reset, fine, linked and fine + linked, as the widgets look them up.
  auto purposes = [] {
    std::vector<int> p;
    for (int s : std::vector<int>{gui::cCommandBit, gui::cShiftBit, gui::cOptionBit, gui::cShiftBit | gui::cOptionBit,
                  gui::cShiftBit | gui::cCommandBit})
      p.push_back(gui::shiftStateMapping.getPurpose(s));
    return p;
  };
  const std::vector<int> ownKeys{1, 2, 4, 6, 0}, hostKeys{2, 4, 1, 0, 6};
  for (int stored : {-1, 0, 1}) {
    gui::shiftStateMapping = gui::ShiftStateMapping();
    StoreShortcutSetting(stored);
    InProcessHost h;
    ASSERT_NE(Group(), nullptr);
    const bool expected = stored != 0; // missing means true
    EXPECT_EQ(Group()->UsesHostShortcuts(), expected) << stored;
    EXPECT_EQ(purposes(), expected ? hostKeys : ownKeys) << stored;
    EXPECT_EQ(gui::shiftStateMapping.entries.size(), 4u);
  }
  gui::shiftStateMapping = gui::ShiftStateMapping();
}

TEST(DigiPluginGroupTest, TheViewNameJoinsPrefixNameAndSuffix) {
  EXPECT_EQ(getPluginViewName("Zarn"), "QrvZarnView");
  EXPECT_EQ(getPluginViewName(""), "QrvView");
}
