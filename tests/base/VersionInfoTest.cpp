#include "base/VersionInfo.h"

#include "base/Folders.h"
#include "base/PreferencesSerializer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

namespace {

std::tuple<int, int, int, int, bool> fields(const VersionNumber& v) {
  return {v.major, v.minor, v.revision, v.beta, v.press};
}

} // namespace

TEST(VersionInfoTest, ParsesAndPrintsVersionTexts) {
  struct Case {
    const char* text;
    std::tuple<int, int, int, int, bool> expected;
    const char* printed;
  };
  const Case cases[] = {
      {"1.01", {1, 0, 1, 0, false}, "1.01"},
      {"1.25", {1, 2, 5, 0, false}, "1.25"},
      {"1.1", {1, 0, 0, 0, false}, "1.00"}, // read as the one number 1
      {"2.0.5", {2, 0, 0, 0, false}, "2.00"},
      {"1.01 beta 12", {1, 0, 1, 12, false}, "1.01 beta 12"},
      {"1.01 beta 3", {1, 0, 1, 3, false}, "1.01 beta 3"},
      {"1.01 press", {1, 0, 1, 0, true}, "1.01 (press preview)"},
      {"3", {3, 0, 0, 0, false}, "3.00"},
      {"10.42", {10, 4, 2, 0, false}, "10.42"},
  };
  for (const Case& c : cases) {
    VersionNumber v;
    EXPECT_TRUE(v.setText(c.text)) << c.text;
    EXPECT_EQ(fields(v), c.expected) << c.text;
    EXPECT_EQ(v.getText(), c.printed) << c.text;
  }
  // Printed texts read back as the same version.
  VersionNumber v;
  ASSERT_TRUE(v.setText("1.01 beta 12 press"));
  VersionNumber w;
  ASSERT_TRUE(w.setText(v.getText()));
  EXPECT_EQ(fields(w), fields(v));

  for (const char* bad : {"0.9", "", "beta 2", "-1.00", "1.x0"}) {
    VersionNumber keep;
    keep.setText("1.23 beta 4");
    EXPECT_FALSE(keep.setText(bad)) << bad;
    EXPECT_EQ(fields(keep), std::make_tuple(1, 2, 3, 4, false)) << bad;
  }
  VersionNumber fresh;
  EXPECT_EQ(fields(fresh), std::make_tuple(1, 0, 0, 0, false));
  EXPECT_EQ(fresh.getText(), "1.00");
}

TEST(VersionInfoTest, ReadsTheBundleInformation) {
  zarn::test::TestBundle bundle("com.quorvane.test.versioninfo",
                                "CFBundleShortVersionString=2.13 beta 2\n"
                                "NSHumanReadableCopyright=Copyright 2026 Quorvane\n");
  zarn::test::TempDir data;
  zarn::test::ScopedEnvironment env("XDG_DATA_HOME", data.path());
  VersionInfo info("Zarn");
  EXPECT_EQ(info.getProductName(), "Quorvane Zarn");
  EXPECT_EQ(info.getShortProductName(), "Zarn");
  EXPECT_EQ(info.getVendorName(), "Quorvane");
  EXPECT_EQ(info.getCopyrightString(), "Copyright 2026 Quorvane");
  EXPECT_EQ(info.getVersion().getText(), "2.13 beta 2");
  EXPECT_EQ(info.getSettingsPath(), "com.quorvane.Zarn.2");
  EXPECT_EQ(info.getDataFolder(), data.path() + "/Quorvane/Zarn");
  EXPECT_EQ(info.getDefaultPresetFolder(), data.path() + "/Presets/Quorvane/Quorvane Zarn/");
  EXPECT_TRUE(info.isFirstRun());

  info.setBuildDate(5, 1, 2009);
  EXPECT_EQ(info.getBuildDate(), "January 5, 2009");
  EXPECT_EQ(info.buildDate.tm_mon, 0);
  EXPECT_EQ(info.buildDate.tm_year, 109);
  EXPECT_EQ(info.buildDate.tm_hour, 0);
  info.setBuildDate(31, 12, 2025);
  EXPECT_EQ(info.getBuildDate(), "December 31, 2025");
}

TEST(VersionInfoTest, MissingInformationGivesDefaults) {
  zarn::test::TestBundle bundle("com.quorvane.test.versioninfo.bare", "CFBundleShortVersionString=beta\n");
  VersionInfo info("Zarn");
  EXPECT_EQ(info.getVersion().getText(), "1.00");
  EXPECT_EQ(info.getCopyrightString(), "");
  EXPECT_EQ(info.getSettingsPath(), "com.quorvane.Zarn.1");
}

TEST(VersionInfoTest, FirstRunIsDecidedByTheStoredVersion) {
  zarn::test::TestBundle bundle("com.quorvane.test.versioninfo.firstrun", "CFBundleShortVersionString=1.23\n");
  zarn::test::TempDir config;
  zarn::test::ScopedEnvironment env("XDG_CONFIG_HOME", config.path());

  VersionInfo info("Zarn");
  // A fresh installation stores nothing: the first run.
  {
    std::unique_ptr<SettingSerializer> r(createSettingReader(info.getSettingsPath()));
    info.serializeCurrentVersion(r.get());
    EXPECT_TRUE(info.isFirstRun());
  }
  // Saving stores the running version; the first run is over.
  {
    std::unique_ptr<SettingSerializer> w(createSettingWriter(info.getSettingsPath()));
    info.serializeCurrentVersion(w.get());
    EXPECT_FALSE(info.isFirstRun());
  }
  VersionInfo next("Zarn");
  EXPECT_TRUE(next.isFirstRun());
  {
    std::unique_ptr<SettingSerializer> r(createSettingReader(next.getSettingsPath()));
    next.serializeCurrentVersion(r.get());
    EXPECT_FALSE(next.isFirstRun());
  }
  // An older version stored: this one runs for the first time.
  {
    std::unique_ptr<SettingSerializer> w(createSettingWriter(next.getSettingsPath()));
    w->serializeString("CurrentVersion", "1.22");
  }
  {
    std::unique_ptr<SettingSerializer> r(createSettingReader(next.getSettingsPath()));
    next.serializeCurrentVersion(r.get());
    EXPECT_TRUE(next.isFirstRun());
  }
}
