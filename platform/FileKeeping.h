#pragma once

// Keeping a user's file that is about to be replaced: a damaged settings
// file, or one this version cannot read whole, is set aside under another
// name beside it before the new one takes its place, so the user loses
// nothing that was in it.

#include <string>

namespace platform {

// Makes copyPath hold what path holds now (a copy made beside it earlier is
// replaced); path itself stays as it is. A hard link where the file system
// allows it, else a copy written whole or not at all. False, with the
// system's reason, when it could not be done.
bool keepCopyBeside(const std::string& path, const std::string& copyPath, std::string* reason = nullptr);

} // namespace platform
