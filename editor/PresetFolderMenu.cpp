#include "editor/PresetFolderMenu.h"

#include "base/PathUtils.h"
#include "base/Preset.h"
#include "base/PresetFolder.h"
#include "base/PresetListener.h"

PresetMenuItem::PresetMenuItem(const std::string& text, Preset* preset, PresetListener* listener)
    : gui::MenuItem(text), listener(listener), preset(preset) {}

void PresetMenuItem::click() {
  if (listener) listener->presetClick(preset);
}

void fillPresetFolderMenu(const PresetFolder& folder, gui::Menu* menu, PresetListener* listener, int options,
                          const std::string& currentPath) {
  menu->clear();
  if (folder.getFolderCount() == 0 && folder.getPresetCount() == 0) {
    auto* none = new gui::MenuItem("(No Presets)");
    none->enabled = false;
    menu->add(none);
    return;
  }
  for (unsigned i = 0; i < folder.getFolderCount(); ++i) {
    const PresetFolder& sub = *folder.getFolder(i);
    auto* item = new gui::MenuItem(sub.getName());
    // With the separator: "Pads/" is not a prefix of "Pads Extra/x.qvp".
    const std::string subPath = includeTrailingPathDelimiter(sub.getFolderPath());
    const bool onTheWay = !currentPath.empty() && !subPath.empty() && currentPath.compare(0, subPath.size(), subPath) == 0;
    item->checkMark = onTheWay;
    fillPresetFolderMenu(sub, item, listener, options, onTheWay ? currentPath : std::string());
    menu->add(item);
  }
  for (unsigned i = 0; i < folder.getPresetCount(); ++i) {
    Preset* preset = folder.getPreset(i);
    const std::string& text =
        (options & cPresetViewProgramNumbers) ? preset->getProgramName() : preset->getName();
    auto* item = new PresetMenuItem(text, preset, listener);
    item->checkMark = !currentPath.empty() && currentPath == preset->getPath();
    menu->add(item);
  }
}
