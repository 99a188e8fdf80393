#include "base/Preset.h"
#include "base/PresetContext.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PresetTest, NameComesFromTheFileAndNumberingBuildsTheProgramName) {
  Preset preset("/lib/Bass/Deep.Sub.qvp");
  EXPECT_EQ(preset.getPath(), "/lib/Bass/Deep.Sub.qvp");
  EXPECT_EQ(preset.getName(), "Deep.Sub");
  EXPECT_EQ(preset.getBank(), -1);
  EXPECT_EQ(preset.getProgram(), -1);
  EXPECT_EQ(preset.getProgramName(), "");

  preset.setBankAndProgram(1, 0);
  EXPECT_EQ(preset.getBank(), 1);
  EXPECT_EQ(preset.getProgram(), 0);
  EXPECT_EQ(preset.getProgramName(), "(1/0) Deep.Sub");
  // Renumbering replaces the old numbers rather than adding to them.
  preset.setBankAndProgram(12, 127);
  EXPECT_EQ(preset.getProgramName(), "(12/127) Deep.Sub");
}

namespace {

struct RecordingOwner : PropertyOwner {
  std::vector<const AbstractProperty*> changes;
  void propertyChange(const AbstractProperty* property) override { changes.push_back(property); }
};

} // namespace

TEST(PresetTest, ContextStartsEmptyAndNotifiesOnlyRealChanges) {
  PresetContext context;
  EXPECT_EQ(context.presetName.get(), "");
  EXPECT_EQ(context.presetPath.get(), "");
  EXPECT_FALSE(context.presetModified.get());
  EXPECT_EQ(context.presetName.getOwner(), nullptr);
  EXPECT_EQ(context.presetModified.getOwner(), nullptr);

  RecordingOwner owner;
  context.presetName.setOwner(&owner);
  context.presetModified.setOwner(&owner);
  context.presetName = std::string("Deep");
  context.presetName = std::string("Deep");
  context.presetModified = false;
  context.presetModified = true;
  context.presetPath = std::string("Bass/Deep.qvp"); // no owner: stored silently
  ASSERT_EQ(owner.changes.size(), 2u);
  EXPECT_EQ(owner.changes[0], &context.presetName);
  EXPECT_EQ(owner.changes[1], &context.presetModified);
  EXPECT_EQ(context.presetPath.get(), "Bass/Deep.qvp");
}
