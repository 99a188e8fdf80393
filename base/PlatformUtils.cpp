#include "base/PlatformUtils.h"

#include "base/PathUtils.h"
#include "platform/Opener.h"

#include <atomic>
#include <thread>
#include <chrono>

namespace {

std::atomic<BundleRef> sModule{nullptr};

// The double-click time in ticks of 1/60 s (500 ms on this system).
constexpr unsigned cDoubleClickTicks = 30;

} // namespace

unsigned getDoubleClickInterval() { return cDoubleClickTicks * 100 / 6; }
int getDoubleClickDistance() { return 4; }
float getDefaultGammaCorrection() { return 1.8f; }

void sleepCurrentThread(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int initFloor() { return 0; }
void doneFloor(int) {}

void registerModuleInstance(BundleRef module) { sModule.store(module); }
BundleRef getModuleInstance() { return sModule.load(); }

BundleRef getBundle() {
  BundleRef b = sModule.load();
  return b ? b : platform::Bundle::main();
}

void openHelpFile(const std::string& bookName) {
  // The help book is a folder of HTML pages among the bundle's resources;
  // its start page is "index.html".
  BundleRef bundle = getBundle();
  if (!bundle || bookName.empty()) return;
  std::string folder = bundle->resourcePath(bookName);
  if (folder.empty()) return;
  std::string page = includeTrailingPathDelimiter(folder) + "index.html";
  // The folder's name holds a blank ("Zarn Help"): a raw path is no URL.
  if (fileExists(page)) platform::openUrl(platform::fileUrl(page));
}

void openWebPage(const std::string& url) {
  if (platform::isValidUrl(url)) platform::openUrl(url);
}

std::string getVersionInformation(VersionInformation which, const std::string&) {
  const char* key = nullptr;
  if (which == viCopyright)
    key = "NSHumanReadableCopyright";
  else if (which == viVersion)
    key = "CFBundleShortVersionString";
  BundleRef bundle = getBundle();
  std::string value;
  if (!key || !bundle || !bundle->infoString(key, value)) return {};
  return value;
}
