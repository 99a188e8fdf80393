#pragma once

// Keeping a user's file that is about to be replaced: a damaged settings
// file, or one this version cannot read whole, is set aside under another
// name beside it before the new one takes its place, so the user loses
// nothing that was in it.

#include <string>

namespace platform {

// Makes copyPath hold what path holds now (a copy made beside it earlier is
// replaced); path itself stays as it is. The copy is written whole or not
// at all by the one writer of a user's file (platform/ReplacingFile.h): a
// link at copyPath is followed, and what it leads to must be a regular file
// or nothing. False, with the reason, when it could not be done.
bool keepCopyBeside(const std::string& path, const std::string& copyPath, std::string* reason = nullptr);

} // namespace platform
