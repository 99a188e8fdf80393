#pragma once

// Looking at a program file before the loader maps it. The loader maps the
// parts a shared object's program headers name straight from the file; a
// file cut short (a download or a copy that stopped, a full disk during an
// install) still has all its headers, and the pages past its end are mapped
// without complaint. The first touch of one ends the process with SIGBUS,
// inside the loader, before anything could say why. So the headers are
// read first and every part they name is checked to lie within the file.
//
// Thread: any; nothing here is shared.

#include <string>

namespace platform {

// True when path is a shared object of this system's kind whose every part
// lies within the file, or a file of another kind, which the loader refuses
// by itself without mapping it. False with reason, in words for the user,
// when the file cannot be read or is cut short.
bool checkSharedObjectWhole(const std::string& path, std::string& reason);

} // namespace platform
