// Component presets: one section's parameters written to a file of their
// own and read back into that section (or another of the same kind) and
// nowhere else.

#include "base/Preset.h"
#include "base/PresetManager.h"
#include "tests/support/TempDir.h"
#include "tests/synth/ModulationMatrixTestSupport.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <vector>

namespace {

using zarntest::Synth;

std::vector<float> values(ZarnPlugin& p) {
  std::vector<float> v;
  for (AbstractPluginParameter* x : p.getParameters()) v.push_back(x->getValue());
  return v;
}

// Moves every parameter of the collection away from its default: indexed
// ones to their last step, the others to 37% of their range.
void moveAway(ParameterCollection& c) {
  for (AbstractPluginParameter* p : c) {
    const float v = p->getType() == AbstractPluginParameter::cIndexed
                        ? p->getMax()
                        : p->getMin() + 0.37f * (p->getMax() - p->getMin());
    p->setValue(v, 0);
  }
}

std::set<const AbstractPluginParameter*> members(ParameterCollection& c) { return {c.begin(), c.end()}; }

TEST(ZarnComponentPresetTest, ASectionRoundTripsIntoItsOwnSectionOnly) {
  zarn::test::TempDir dir;
  Synth a;
  ParameterCollection& eg1 = a->getComponentCollection(3);
  moveAway(eg1);
  // Other sections of the source do not travel with it.
  moveAway(a->getComponentCollection(4));
  moveAway(a->getComponentCollection(1));
  Preset file(dir.file("Pluck.envelope"));
  ASSERT_TRUE(eg1.savePreset(&file, ZarnPlugin::cComponentPresetVersion));

  Synth b;
  modmatrixtest::RecordingAdapter adapter;
  b->registerPluginAdapter(&adapter);
  const std::vector<float> before = values(*b);
  ASSERT_TRUE(b->getComponentCollection(3).loadPreset(&file, ZarnPlugin::cComponentPresetVersion));
  b->registerPluginAdapter(nullptr);
  // One batch: the host hears of it once.
  EXPECT_EQ(adapter.indexes, (std::vector<int>{-1}));

  const std::set<const AbstractPluginParameter*> section = members(b->getComponentCollection(3));
  const std::vector<float> after = values(*b);
  const std::vector<float> source = values(*a);
  const ParameterCollection& all = b->getParameters();
  for (int i = 0; i < all.size(); ++i) {
    if (section.count(all[i]))
      EXPECT_FLOAT_EQ(after[static_cast<size_t>(i)], source[static_cast<size_t>(i)]) << all[i]->getName();
    else
      EXPECT_FLOAT_EQ(after[static_cast<size_t>(i)], before[static_cast<size_t>(i)]) << all[i]->getName();
  }
  EXPECT_NE(b->eg1.attack.getValue(), b->eg1.attack.getDefault());
  EXPECT_EQ(b->eg2.attack.getValue(), b->eg2.attack.getDefault());
}

TEST(ZarnComponentPresetTest, SectionsOfOneKindShareTheirPresets) {
  zarn::test::TempDir dir;
  Synth a;
  moveAway(a->getComponentCollection(3));
  Preset envelope(dir.file("Swell.envelope"));
  ASSERT_TRUE(a->getComponentCollection(3).savePreset(&envelope, ZarnPlugin::cComponentPresetVersion));

  // EG 1's preset into EG 2: the same six values.
  Synth b;
  ASSERT_TRUE(b->getComponentCollection(4).loadPreset(&envelope, ZarnPlugin::cComponentPresetVersion));
  EXPECT_FLOAT_EQ(b->eg2.delay.getValue(), a->eg1.delay.getValue());
  EXPECT_FLOAT_EQ(b->eg2.release.getValue(), a->eg1.release.getValue());
  EXPECT_FLOAT_EQ(b->eg2.range.getValue(), a->eg1.range.getValue());
  EXPECT_EQ(b->eg1.delay.getValue(), b->eg1.delay.getDefault());
  // Into EG Main, which has a Hold in place of the Delay and no Range.
  ASSERT_TRUE(b->getComponentCollection(2).loadPreset(&envelope, ZarnPlugin::cComponentPresetVersion));
  EXPECT_FLOAT_EQ(b->egMain.hold.getValue(), a->eg1.delay.getValue());
  EXPECT_FLOAT_EQ(b->egMain.release.getValue(), a->eg1.release.getValue());

  // A file of another version changes nothing.
  const std::vector<float> before = values(*b);
  EXPECT_FALSE(b->getComponentCollection(3).loadPreset(&envelope, ZarnPlugin::cPresetFileVersion));
  EXPECT_EQ(values(*b), before);

  for (int i = 0; i < ZarnPlugin::cComponentCount; ++i)
    EXPECT_EQ(ZarnPlugin::getComponentPresetManager(i),
              ZarnPlugin::sComponentPresetManagers[ZarnPlugin::cComponentTypes[i]])
        << i;
  EXPECT_EQ(ZarnPlugin::getComponentPresetManager(8), nullptr);
}

TEST(ZarnComponentPresetTest, AnLfoPresetFromTheLibraryReachesTheEngine) {
  Synth a;
  Synth::set(a->lfo1.waveForm, static_cast<float>(ModulationGenerator::cSampleHold));
  Synth::set(a->lfo1.polarity, static_cast<float>(ModulationGenerator::cMonoPolar));
  Synth::set(a->lfo1.frequency, 0.8f);
  PresetManager* library = ZarnPlugin::getComponentPresetManager(5);
  ASSERT_NE(library, nullptr);
  const std::string root = library->getFolderPath();
  const std::string path = root + "Wobble.lfo";
  Preset file(path);
  ASSERT_TRUE(a->getComponentCollection(5).savePreset(&file, ZarnPlugin::cComponentPresetVersion));
  library->initialize(root);
  Preset* found = library->findPresetByName("Wobble");
  ASSERT_NE(found, nullptr);

  // Into LFO 3 only, and on to its generator with the next buffer.
  Synth b;
  ASSERT_TRUE(b->getComponentCollection(7).loadPreset(found, ZarnPlugin::cComponentPresetVersion));
  b.renderSamples(zarntest::kQuantum);
  EXPECT_EQ(b->getLfo(2)->waveForm.get(), ModulationGenerator::cSampleHold);
  EXPECT_EQ(b->getLfo(2)->polarity.get(), ModulationGenerator::cMonoPolar);
  EXPECT_FLOAT_EQ(b->lfo3.frequency.getValue(), 0.8f);
  EXPECT_EQ(b->getLfo(0)->waveForm.get(), ModulationGenerator::cTriangle);
  EXPECT_EQ(b->lfo1.frequency.getValue(), b->lfo1.frequency.getDefault());
  std::remove(path.c_str());
  library->initialize(root);
}

} // namespace
