#pragma once

// Calls into the platform: user-interface settings, the help viewer, web
// pages, the plug-in's own bundle and its information keys.

#include "platform/Bundle.h"

#include <string>

unsigned getDoubleClickInterval(); // milliseconds
int getDoubleClickDistance();      // pixels
float getDefaultGammaCorrection();
void sleepCurrentThread(int milliseconds);

// A bracket around loops that convert many floats to integers; nothing to do
// on this platform.
int initFloor();
void doneFloor(int state);

// The plug-in's bundle, registered once when the host bridge starts.
void registerModuleInstance(BundleRef module);
BundleRef getModuleInstance();
// The registered bundle, or the main bundle of the process.
BundleRef getBundle();

void openHelpFile(const std::string& bookName);
void openWebPage(const std::string& url);

enum VersionInformation {
  viUnused0 = 0,
  viUnused1 = 1,
  viUnused2 = 2,
  viCopyright = 3,
  viUnused4 = 4,
  viVersion = 5,
  viUnused6 = 6,
  viUnused7 = 7
};

// Text under the bundle's information key for which (copyright or version);
// "" for any other value or a missing key. name is not used.
std::string getVersionInformation(VersionInformation which, const std::string& name);
