// Continuous parameters that drive smoothed engine values.

#include "plugin/FloatParamPluginParameter.h"

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/RecordingParameterOwner.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace parametertest;

namespace {

float broken(float x) { return x > 0.9f ? std::log(-x) : x; }

class FloatParamPluginParameterTest : public ::testing::Test {
protected:
  FloatParamPluginParameterTest() {
    a.setLimits(-1000.0f, 1000.0f);
    b.setLimits(-1000.0f, 1000.0f);
    bus.getParameter().setLimits(-1000.0f, 1000.0f);
    parameter.getTransform().setRange(100.0f, 200.0f);
  }

  RecordingParameterOwner owner;
  wave::Environment env{64};
  wave::FloatParameter a{&env, 0.0f};
  wave::FloatParameter b{&env, 0.0f};
  wave::FloatParameterBus bus{&env, 0.0f};
  FloatParamPluginParameter parameter{&owner, "Pitch"};
};

} // namespace

TEST_F(FloatParamPluginParameterTest, EveryBoundEngineValueGlidesToTheTransformedValue) {
  parameter.addParameter(&a);
  parameter.addParameter(&bus);
  parameter.addParameter(&b);
  ASSERT_EQ(parameter.getEngineValues().size(), 3u);
  EXPECT_EQ(parameter.getEngineValues()[1], &bus.getParameter());

  parameter.setValue(0.5f, 0);
  EXPECT_EQ(a.getTarget(), 0.0f);
  // The argument is not used: the stored value is.
  parameter.updateValue(0.0f);
  EXPECT_FLOAT_EQ(a.getTarget(), 150.0f);
  EXPECT_FLOAT_EQ(b.getTarget(), 150.0f);
  EXPECT_FLOAT_EQ(bus.getParameter().getTarget(), 150.0f);
  // The assignment glides rather than jumps.
  EXPECT_GT(a.getGlideLength(), 0);
}

TEST_F(FloatParamPluginParameterTest, RemovingUnbindsEveryOccurrenceAndKeepsTheOrder) {
  parameter.addParameter(&a);
  parameter.addParameter(&b);
  parameter.addParameter(&a);
  parameter.addParameter(&bus);
  parameter.removeParameter(&a);
  EXPECT_EQ(parameter.getEngineValues(), (std::vector<wave::FloatParameter*>{&b, &bus.getParameter()}));
  parameter.removeParameter(&bus);
  EXPECT_EQ(parameter.getEngineValues(), (std::vector<wave::FloatParameter*>{&b}));
  // Removing what is not bound changes nothing.
  parameter.removeParameter(&a);
  EXPECT_EQ(parameter.getEngineValues().size(), 1u);

  parameter.setValue(1.0f, 0);
  parameter.updateValue(1.0f);
  EXPECT_FLOAT_EQ(b.getTarget(), 200.0f);
  EXPECT_EQ(a.getTarget(), 0.0f);
  EXPECT_EQ(bus.getParameter().getTarget(), 0.0f);
}

TEST_F(FloatParamPluginParameterTest, ACurveThatYieldsNoNumberLeavesTheEngineAlone) {
  parameter.addParameter(&a);
  parameter.setValue(0.5f, 0);
  parameter.updateValue(0.5f);
  parameter.getTransform().setFunction(broken);
  parameter.setValue(1.0f, 0);
  parameter.updateValue(1.0f);
  EXPECT_FLOAT_EQ(a.getTarget(), 150.0f);
}

TEST_F(FloatParamPluginParameterTest, TextsGoThroughTheTransform) {
  parameter.getTransform().setDisplayFormat("%.1f");
  parameter.getTransform().setDisplayUnit("cents");
  EXPECT_EQ(parameter.convertValueToString(0.25f), "125.0 cents");
}

TEST_F(FloatParamPluginParameterTest, ThePluginHandsQueuedChangesToTheEngine) {
  genericplugintest::BareProduct plugin;
  FloatParamPluginParameter cutoff(&plugin, "Cutoff");
  cutoff.setLimits(0.0f, 1.0f, 0.0f);
  cutoff.getTransform().setRange(100.0f, 200.0f);
  cutoff.addParameter(&a);
  cutoff.setValue(0.25f, cParameterChangeFromHost);
  EXPECT_EQ(a.getTarget(), 0.0f);
  plugin.processParameterChangeEvents();
  EXPECT_FLOAT_EQ(a.getTarget(), 125.0f);

  // updateParameters hands the current value over even without a change.
  a = 0.0f;
  plugin.updateParameters();
  EXPECT_FLOAT_EQ(a.getTarget(), 125.0f);
}
