#pragma once

// The user's standard folders on this system, after the XDG base-directory
// rules: data ($XDG_DATA_HOME, else ~/.local/share), configuration
// ($XDG_CONFIG_HOME, else ~/.config), cache ($XDG_CACHE_HOME, else
// ~/.cache) and documents ($XDG_DOCUMENTS_DIR, else the user's
// "user-dirs.dirs", else ~/Documents). A variable that is unset, empty or
// relative is ignored, as the rules say.
//
// The user's folders are found whether or not they exist yet: a fresh
// account (a server, a CI box, a new container) has a home but none of them,
// and whoever writes there creates what it needs below the home. Nothing
// here creates a folder, and nothing outside the user's home is offered for
// user data unless an XDG variable points there.

#include <string>

namespace platform {

enum class StandardFolder {
  documents,          // the user's documents
  applications,       // /opt when it exists (programs, never user data)
  applicationSupport, // the user's data folder
  audioSupport,       // the user's data folder
  configuration,      // the user's configuration folder
  cache               // the user's cache folder
};

// The folder's path without a trailing '/'. False when the system knows no
// home for the user and no XDG variable names the folder (and, for the
// applications folder, when /opt does not exist).
bool findStandardFolder(StandardFolder which, std::string& path);

// The user's home folder ($HOME, else the account's entry); "" when unknown.
std::string homeFolder();

} // namespace platform
