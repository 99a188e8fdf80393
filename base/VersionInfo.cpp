#include "base/VersionInfo.h"

#include "base/Folders.h"
#include "base/PathUtils.h"
#include "base/PlatformUtils.h"
#include "base/TextUtils.h"

namespace {
const char* const cVendor = "Quorvane";
}

bool VersionNumber::setText(const std::string& text) {
  int newMajor, newMinor, newRevision;
  const std::string::size_type d = text.find('.');
  if (d != std::string::npos && d + 2 < text.size()) {
    newMajor = strToIntDef(text.substr(0, d), -1);
    newMinor = strToIntDef(text.substr(d + 1, 1), -1);
    newRevision = strToIntDef(text.substr(d + 2, 1), 0);
  } else {
    newMajor = strToIntDef(text, -1);
    newMinor = 0;
    newRevision = 0;
  }
  int newBeta = 0;
  const std::string::size_type b = text.find("beta ");
  if (b != std::string::npos) newBeta = strToIntDef(text.substr(b + 5, 2), 0);

  if (newMajor < 1 || newMinor < 0) return false;
  major = newMajor;
  minor = newMinor;
  revision = newRevision;
  beta = newBeta;
  press = text.find("press") != std::string::npos;
  return true;
}

std::string VersionNumber::getText() const {
  std::string text = intToStr(major) + "." + intToStr(minor) + intToStr(revision);
  if (beta > 0) text += " beta " + intToStr(beta);
  if (press) text += " (press preview)";
  return text;
}

VersionInfo::VersionInfo(const std::string& name) : shortName(name) {
  version.setText(getVersionInformation(viVersion, ""));
  copyright = getVersionInformation(viCopyright, "");
  productName = std::string(cVendor) + " " + shortName;
  const char delimiter = getPathDelimiter();
  // No folder of the user's, no data folder: "/Quorvane/..." would be a
  // system folder.
  const std::string applicationData = getApplicationDataFolder();
  if (!applicationData.empty()) dataFolder = applicationData + delimiter + cVendor + delimiter + shortName;
}

std::string VersionInfo::getVendorName() const { return cVendor; }

void VersionInfo::setBuildDate(int day, int month, int year) {
  buildDate = tm{};
  buildDate.tm_mday = day;
  buildDate.tm_mon = month - 1;
  buildDate.tm_year = year - 1900;
}

std::string VersionInfo::getBuildDate() const { return dateToStr(buildDate); }

std::string VersionInfo::getDefaultPresetFolder() const { return getProductDefaultPresetFolder(shortName); }

std::string VersionInfo::getSettingsPath() const { return getProductSettingsPath(shortName, version.major); }

void VersionInfo::serializeCurrentVersion(SettingSerializer* s) {
  const std::string running = version.getText();
  if (firstRunPending && s->isWriter()) {
    s->serializeString("CurrentVersion", storedVersion, "");
    firstRun = true;
    return;
  }
  const std::string stored = s->serializeString("CurrentVersion", running, "");
  if (!s->isWriter()) storedVersion = stored;
  firstRun = stored != running || firstRunRequired;
}
