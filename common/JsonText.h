// JSON text shared by every output that writes JSON.
#pragma once

#include <string>

namespace quorvel {

// A JSON string literal with the needed escapes; bytes that are not valid
// UTF-8 become U+FFFD, so the output is always valid UTF-8.
std::string JsonString(const std::string& text);

}  // namespace quorvel
