#pragma once

// Opens web pages and documents with the desktop's default handler:
// xdg-open from PATH, started with posix_spawn (the host's process is never
// forked) and without a shell, the URL its only argument. Tests replace the
// launcher to record what would have been opened.

#include <functional>
#include <string>

namespace platform {

// The file URL of an absolute path: "file://" and the path with every byte
// but letters, digits, "-._~" and '/' percent-encoded ("Zarn Help" gives
// "Zarn%20Help").
std::string fileUrl(const std::string& path);

// True when the text is an absolute URL with a scheme ("https://...",
// "mailto:...", "file:///...") and no control characters or blanks.
bool isValidUrl(const std::string& url);

// Starts the default handler for the URL; false when the URL is invalid or
// the handler could not be started. Does not wait for it.
bool openUrl(const std::string& url);

// Replaces the launcher (null restores xdg-open); returns whether it started.
using UrlLauncher = std::function<bool(const std::string& url)>;
void setUrlLauncher(UrlLauncher launcher);

} // namespace platform
