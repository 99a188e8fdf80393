#pragma once

// Reading a whole small file that a user named on the command line: a song,
// a state, a script. Anything may be at that name: a FIFO (a plain open
// would wait for a writer for ever), a device (read for ever), a folder, a
// file far larger than any the program makes. So the file is opened
// without waiting and read only when it is a regular file within the
// caller's bound; one that shrinks meanwhile is taken as it now ends, one
// that grows past the bound is refused.
//
// Thread: any; nothing here is shared.

#include <cstddef>
#include <string>

namespace renderio {

// The bytes of the file at path, at most maxBytes of them. False with a
// one-line reason naming the path: "cannot open P: why", "P is not a file",
// "P is too large for KIND (N bytes)" or "cannot read P: why".
bool readSmallFile(const std::string& path, size_t maxBytes, const std::string& kind, std::string& bytes,
                   std::string& error);

} // namespace renderio
