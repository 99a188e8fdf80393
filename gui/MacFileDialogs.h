#pragma once

// The file dialogs on the window server. A start folder that is not an
// existing folder is not passed on, so the server opens its default one.

#include "gui/FileDialogs.h"

namespace gui {

class MacSaveDialog : public SaveDialog {
public:
  bool execute() override;
  // Stores folder + name in fileName, with "." + extension appended unless
  // the path already ends in it (byte for byte).
  void updateFileName(const std::string& folder, const std::string& name);
};

class MacSelectFolderDialog : public SelectFolderDialog {
public:
  bool execute() override;
};

// `path` when it names an existing folder, else empty.
std::string dialogStartFolder(const std::string& path);

} // namespace gui
