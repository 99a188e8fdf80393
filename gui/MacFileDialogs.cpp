#include "gui/MacFileDialogs.h"

#include "platform/WindowServer.h"

#include <sys/stat.h>

namespace gui {

std::string dialogStartFolder(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  return path;
}

bool MacSaveDialog::execute() {
  const auto answer =
      platform::WindowServer::current().askSaveName(dialogStartFolder(location), "." + extension.get(), filter);
  if (!answer) return false;
  updateFileName(answer->folder, answer->name);
  return true;
}

void MacSaveDialog::updateFileName(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  fileName = platform::withSuffix(path, "." + extension.get());
}

bool MacSelectFolderDialog::execute() {
  const auto answer = platform::WindowServer::current().askFolder(dialogStartFolder(folder), title);
  if (!answer) return false;
  folder = *answer;
  return true;
}

} // namespace gui
