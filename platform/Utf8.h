#pragma once

// Text arrives as bytes. Our file names and preset names are UTF-8, the
// system's own texts ASCII; a byte that does not belong to a well-formed
// UTF-8 sequence (a stray continuation byte, a truncated or overlong
// sequence, a surrogate, a value beyond U+10FFFF) stands for itself as a
// Latin-1 character, so no text is ever refused or loses a character.

#include <string>

namespace platform {

std::u32string decodeUtf8(const std::string& bytes);
// The length of the well-formed UTF-8 sequence that begins at bytes[at]
// (1 for ASCII), with its code point in code; 0 when the byte there begins
// none (decodeUtf8 then takes it as Latin-1; a printer may show it as a
// byte instead).
size_t utf8SequenceAt(const std::string& bytes, size_t at, char32_t& code);
std::string encodeUtf8(const std::u32string& text);

} // namespace platform
