#pragma once

// The one shared record of what the product is: names, vendor, version,
// build date, copyright line, data folder, default preset folder, settings
// domain, and whether this version runs for the first time on this machine.

#include "base/SettingSerializer.h"

#include <ctime>
#include <string>

// A version as the bundle's information gives it: "1.01", "1.01 beta 3",
// "1.01 (press preview)". Minor and revision are one digit each.
class VersionNumber {
public:
  // "1.01" gives 1, 0, 1; "1.25" gives 1, 2, 5; "1.1" is read as the one
  // number 1; "beta N" anywhere sets beta, "press" anywhere sets press.
  // False, with nothing changed, when major < 1 or minor < 0.
  bool setText(const std::string& text);
  std::string getText() const;

  int beta = 0; // 0: not a beta
  int major = 1;
  int minor = 0;
  bool press = false; // press-preview build
  int revision = 0;
};

class VersionInfo {
public:
  // Reads the version and the copyright line from the bundle's information;
  // missing or unreadable entries give "" and the version 1.00.
  explicit VersionInfo(const std::string& shortName);
  virtual ~VersionInfo() = default;

  std::string getProductName() const { return productName; }
  std::string getShortProductName() const { return shortName; }
  std::string getCopyrightString() const { return copyright; }
  // application data folder + "/Quorvane/" + short name, no trailing '/';
  // "" when the system knows no application data folder of the user's.
  std::string getDataFolder() const { return dataFolder; }
  std::string getVendorName() const;
  VersionNumber& getVersion() { return version; }
  const VersionNumber& getVersion() const { return version; }

  // month 1-12, year in full.
  void setBuildDate(int day, int month, int year);
  // "January 5, 2009"
  std::string getBuildDate() const;

  std::string getDefaultPresetFolder() const;
  // The preferences domain of the product.
  std::string getSettingsPath() const;

  // Passes the running version's text as "CurrentVersion". Reading, it
  // tells whether the version stored at the last save differs from the
  // running one (nothing stored counts as different); writing, it stores the
  // running version and the first run is over.
  void serializeCurrentVersion(SettingSerializer* s);
  bool isFirstRun() const { return firstRun; }
  // The first run's installation did not complete: writing then stores the
  // version text that was read at start-up instead of the running one, so
  // that the next start is a first run again and installs what is missing.
  void keepFirstRunPending() { firstRunPending = true; }
  bool isFirstRunPending() const { return firstRunPending; }
  // What the first run installs is missing whatever the stored version says
  // (the settings name a library that never held anything): the start is a
  // first run.
  void requireFirstRun() { firstRunRequired = firstRun = true; }

  tm buildDate{};
  std::string copyright;
  std::string dataFolder;
  bool firstRun = true;
  std::string productName;
  std::string shortName;
  VersionNumber version;

private:
  bool firstRunPending = false;
  bool firstRunRequired = false;
  std::string storedVersion; // as read; "" when nothing was stored
};
