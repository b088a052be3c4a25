// Wide device strings (what HID reports) as UTF-8 for the rest of the program.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Code points above U+10FFFF and lone surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

}  // namespace quorvel
