#pragma once

// A name the user made (a preset's file or folder, a parameter or a file
// named on the command line) as zarn-host prints it in a line of text. Such
// a name is bytes: it may hold a newline, which would forge a line of its
// own, a terminal's control sequence, or bytes that are no UTF-8 at all (a
// file named on another system), which a terminal shows as something else
// or as nothing. Every such byte is written as an escape, "\xFF", so that
// what is printed tells the bytes apart and a reader can type them again;
// a backslash is doubled, so an escape is never ambiguous. Printable UTF-8
// (accents, other scripts) is kept as it is.
//
// Escaped: bytes that do not belong to a well-formed UTF-8 sequence (a
// stray continuation byte, a sequence cut short, an overlong form, a
// surrogate, a value past U+10FFFF), the C0 controls and DEL (a newline as
// "\n"), the C1 controls, the line and paragraph separators and the
// formatting characters that turn the direction of text (which can make a
// line read other than it is), each of those by its bytes.
//
// Threads: any; no state.

#include <string>

namespace simhost {

std::string printableName(const std::string& name);

} // namespace simhost
