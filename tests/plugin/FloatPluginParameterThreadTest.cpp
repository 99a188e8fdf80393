// Parameters set on one thread while the render thread applies their
// changes to the model: the model only ever sees values of the parameter's
// range and ends on the last one set.

#include "plugin/LimFloatPropPluginParameter.h"
#include "plugin/PropPluginParameter.h"

#include "tests/plugin/GenericPluginTestDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Notified on the render thread; remembers the extremes it saw.
class RangeOwner : public PropertyOwner {
public:
  explicit RangeOwner(const LimitedProperty<float>* level, const Property<int>* mode) : level(level), mode(mode) {}
  void propertyChange(const AbstractProperty* property) override {
    if (property == level) {
      const float v = level->get();
      if (v < lowest) lowest = v;
      if (v > highest) highest = v;
    } else if (property == mode) {
      const int m = mode->get();
      if (m < lowestMode) lowestMode = m;
      if (m > highestMode) highestMode = m;
    }
    ++changes;
  }

  const LimitedProperty<float>* level;
  const Property<int>* mode;
  float lowest = 1e9f, highest = -1e9f;
  int lowestMode = 1000, highestMode = -1000;
  int changes = 0;
};

} // namespace

TEST(FloatPluginParameterThreadTest, TheRenderThreadSeesOnlyValuesOfTheRangeAndEndsOnTheLast) {
  genericplugintest::BareProduct plugin;
  LimFloatPropPluginParameter level(&plugin, "Level");
  level.setLimits(0.0f, 1.0f, 0.5f);
  level.getTransform().setRange(-60.0f, 0.0f);
  PropPluginParameter<int> mode(&plugin, "Mode");
  mode.configure(0, 3, 0, "");

  LimitedProperty<float> levelProperty(nullptr, -60.0f, 0.0f, -30.0f);
  Property<int> modeProperty(nullptr, 0);
  RangeOwner owner(&levelProperty, &modeProperty);
  levelProperty.setOwner(&owner);
  modeProperty.setOwner(&owner);
  level.addProperty(&levelProperty);
  mode.addProperty(&modeProperty);

  std::atomic<bool> done{false};
  std::thread render([&] {
    while (!done.load()) plugin.processParameterChangeEvents();
    plugin.processParameterChangeEvents();
  });

  constexpr int cRounds = 20000;
  for (int i = 0; i < cRounds; ++i) {
    // Out of range, not numbers, and ordinary values, from the host.
    const float x = static_cast<float>(i % 37) / 12.0f - 1.0f;
    level.setValue(i % 11 == 0 ? std::nanf("") : x, cParameterChangeFromHost);
    mode.setValue(static_cast<float>(i % 7) - 2.0f, cParameterChangeFromHost);
  }
  level.setValue(0.25f, 0);
  mode.setValue(2.0f, 0);
  done.store(true);
  render.join();

  EXPECT_GT(owner.changes, 0);
  EXPECT_GE(owner.lowest, -60.0f);
  EXPECT_LE(owner.highest, 0.0f);
  EXPECT_GE(owner.lowestMode, 0);
  EXPECT_LE(owner.highestMode, 3);
  EXPECT_FLOAT_EQ(levelProperty.get(), -45.0f);
  EXPECT_EQ(modeProperty.get(), 2);
}
