#pragma once

// Keeping a user's file that is about to be replaced: a damaged settings
// file, or one this version cannot read whole, is set aside under another
// name beside it before the new one takes its place, so the user loses
// nothing that was in it. A copy kept once is the user's too: a file
// damaged again later is kept under a name of its own, never over it.

#include <string>

namespace platform {

// How many names a copy tries: copyName and copyName-2 to copyName-100.
constexpr int cMaxKeptCopies = 100;

// Makes a new file hold what path holds now, at the first free one of
// copyName, copyName-2, copyName-3, ... (a name is free when nothing, not
// even a link, stands there); keptAt gets the name taken. A name that holds
// these very bytes already (a regular file, not a link) is taken as it is:
// a file kept once is not kept twice. path itself stays as it is. The copy
// is written whole or not at all by the one writer of a user's file
// (platform/ReplacingFile.h), and put at its name only while that name is
// still free, so that nothing another process made there meanwhile is
// replaced. False, with the reason, when it could not be done. path is read
// whole into memory: it is a settings file, not a recording.
bool keepCopyBeside(const std::string& path, const std::string& copyName, std::string& keptAt,
                    std::string* reason = nullptr);

} // namespace platform
