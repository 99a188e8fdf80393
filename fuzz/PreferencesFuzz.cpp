// The preferences file of a settings domain as the store reads it when the
// first instance starts, then every key the plug-in asks for.

#include "fuzz/FuzzSupport.h"
#include "platform/PreferencesStore.h"

#include <filesystem>

namespace {

const char* const cDomain = "com.quorvane.Zarn.1";
const char* const cKeys[] = {"HelpFileName",  "SavePresetItemEnabled", "ViewProgramNumbersEnabled",
                             "showInteractiveHelp", "showWelcomeHint", "PresetFolder",
                             "CurrentVersion", "UseProToolsShortcuts", ""};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    std::filesystem::create_directories(platform::PreferencesStore::folder());
    return platform::PreferencesStore(cDomain).filePath();
  }();
  fuzz::writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
  platform::PreferencesStore store(cDomain);
  for (const char* key : cKeys) {
    int32_t number = 0;
    std::string text;
    store.getInteger(key, number);
    store.getString(key, text);
  }
  return 0;
}

void writeSeeds(const std::string& folder) {
  platform::PreferencesStore store(cDomain);
  store.setString("HelpFileName", "Zarn Help");
  store.setInteger("SavePresetItemEnabled", 1);
  store.setInteger("showWelcomeHint", 0);
  store.setString("PresetFolder", "/home/user/.local/share/Presets/Quorvane/Quorvane Zarn/");
  store.setString("CurrentVersion", "1.0.0");
  store.setString("odd key\twith %", "a value\nover two lines");
  if (store.synchronize()) fuzz::copyFile(store.filePath(), folder, "preferences.txt");
}
