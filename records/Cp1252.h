// The 8-bit character set of the results file (Windows-1252, the Western
// "ANSI" code page): the degree sign is the single byte 0xB0.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// UTF-8 text to Windows-1252 bytes. Characters the set cannot hold, and bytes
// that are not valid UTF-8, become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// The same, but false (and `out` unspecified) as soon as a character does
// not fit or the text is not valid UTF-8.
bool Utf8ToCp1252Exact(std::string_view utf8, std::string& out);

// Windows-1252 bytes to UTF-8; the five unassigned bytes become U+FFFD.
std::string Cp1252ToUtf8(std::string_view cp1252);

}  // namespace quorvel
