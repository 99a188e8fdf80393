#pragma once

// The user's standard folders on this system (XDG locations). A folder that
// does not exist is "not found", so callers' fallbacks apply; nothing here
// creates a folder.

#include <string>

namespace platform {

enum class StandardFolder {
  documents,          // XDG documents folder, else ~/Documents
  applications,       // /opt when it exists
  applicationSupport, // XDG data home, else ~/.local/share
  audioSupport        // XDG data home, else ~/.local/share
};

// The folder's path without a trailing '/'; false when the system does not
// know it or it does not exist.
bool findStandardFolder(StandardFolder which, std::string& path);

} // namespace platform
