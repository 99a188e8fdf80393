#pragma once

// The temporary files through which the program replaces a file whole:
// the new bytes go to a temporary file beside the final one, which takes
// the final name when it is complete. A process killed in between leaves
// the temporary file behind, so every one is named by one scheme,
//
//     folder/.NAME.PID-N.part
//
// hidden (the leading '.'), telling which file it was to become (NAME),
// which process wrote it (PID) and which of that process's files it was
// (N). At start the program removes, in the folders it owns, those whose
// process has ended; a live process's files are never touched.
//
// Thread: any.

#include "platform/FileDescriptor.h"

#include <string>
#include <sys/types.h>

namespace platform {

// Creates a new temporary file for path under the scheme above, exclusively
// (never an existing file, never through a link) with the given mode (less
// the umask). The descriptor is open for reading and writing (a writer may
// read back what it wrote, as the WAV writer does its header); temp gets
// the name. None, with errno, when it could not be made.
FileDescriptor createTemporaryFile(const std::string& path, mode_t mode, std::string& temp);

// The writer's process id when name follows the scheme, else -1.
long temporaryFileOwner(const std::string& name);

// True when the temporary file at path (a name of the scheme) belongs to no
// live process: its process has ended, or the process now holding that
// number started after the file was last written (the number was reused).
bool isStaleTemporaryFile(const std::string& path);

// Removes the stale temporary files (regular files only) in folder whose
// NAME begins with namePrefix ("" for all), and in its sub-folders down to
// depth levels; links to folders, hidden folders and other disks are not
// entered, and at most 1000 folders are looked at. Returns how many files
// were removed.
int removeStaleTemporaryFiles(const std::string& folder, const std::string& namePrefix = "", int depth = 0);

} // namespace platform
