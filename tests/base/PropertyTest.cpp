#include "base/Property.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

class Unit : public PropertyOwner {
public:
  Property<int> mode{this, 3};
  Property<std::string> name{this, "Init"};
  Property<bool> enabled{this};
  LimitedProperty<float> level{this, 0.0f, 1.0f, 0.5f};
  std::vector<const AbstractProperty*> changes;

  void propertyChange(const AbstractProperty* p) override {
    changes.push_back(p);
    // The owner sees the new value already stored.
    if (p == &mode) seenMode = mode;
  }
  int seenMode = -1;
};

} // namespace

TEST(PropertyTest, ChangedValueNotifiesOwnerWithItsAddress) {
  Unit u;
  EXPECT_EQ(3, u.mode.get());
  EXPECT_EQ("Init", u.name.get());
  EXPECT_FALSE(u.enabled);

  u.mode = 4;
  u.enabled = true;
  u.name = std::string("Bass");
  ASSERT_EQ(3u, u.changes.size());
  EXPECT_EQ(&u.mode, u.changes[0]);
  EXPECT_EQ(&u.enabled, u.changes[1]);
  EXPECT_EQ(&u.name, u.changes[2]);
  EXPECT_EQ(4, u.seenMode);
  EXPECT_EQ(4, u.mode);
}

TEST(PropertyTest, EqualValueNotifiesNobody) {
  Unit u;
  u.mode = 3;
  std::string same = "In";
  same += "it"; // equal content in another buffer
  u.name = same;
  u.enabled = false;
  EXPECT_TRUE(u.changes.empty());
}

TEST(PropertyTest, PropertyWithoutOwnerOnlyStores) {
  Property<std::string> text;
  EXPECT_EQ(nullptr, text.getOwner());
  text = "Lead";
  EXPECT_EQ("Lead", text.get());

  Unit u;
  text.setOwner(&u);
  text = "Pad";
  ASSERT_EQ(1u, u.changes.size());
  EXPECT_EQ(&text, u.changes[0]);
}

TEST(PropertyTest, AssigningAnotherPropertyCopiesItsValueNotItsOwner) {
  Unit a, b;
  b.mode = 7;
  b.changes.clear();
  a.mode = b.mode;
  EXPECT_EQ(7, a.mode);
  ASSERT_EQ(1u, a.changes.size());
  EXPECT_EQ(&a.mode, a.changes[0]);
  EXPECT_TRUE(b.changes.empty());
  EXPECT_EQ(&a, a.mode.getOwner());
}

TEST(LimitedPropertyTest, ClampsAndNotifiesOnlyRealChanges) {
  Unit u;
  u.level = 2.0f;
  EXPECT_EQ(1.0f, u.level);
  ASSERT_EQ(1u, u.changes.size());
  EXPECT_EQ(&u.level, u.changes[0]);

  u.level = 1.5f; // clamps to the stored value
  EXPECT_EQ(1u, u.changes.size());

  u.level = -3.0f;
  EXPECT_EQ(0.0f, u.level);
  u.level = 0.25f;
  EXPECT_EQ(0.25f, u.level);
  EXPECT_EQ(3u, u.changes.size());
  EXPECT_EQ(0.0f, u.level.getMin());
  EXPECT_EQ(1.0f, u.level.getMax());
}

TEST(LimitedPropertyTest, NotANumberIsIgnored) {
  Unit u;
  u.level = std::nanf("");
  EXPECT_EQ(0.5f, u.level);
  EXPECT_TRUE(u.changes.empty());
}

TEST(LimitedPropertyTest, NewLimitsApplyFromTheNextAssignment) {
  LimitedProperty<float> glide(nullptr, 0.0f, 10.0f, 8.0f);
  glide.setLimits(0.0f, 5.0f);
  EXPECT_EQ(8.0f, glide);
  glide = 9.0f;
  EXPECT_EQ(5.0f, glide);
}
