// UTC instants as text, read and written the same way by every program of
// the suite: "YYYY-MM-DDTHH:MM:SS" with an optional ".m" to ".mmm", an
// optional "Z", and a "t" or a blank accepted in place of the "T".
#pragma once

#include <string>
#include <string_view>

#include "common/DateTime.h"

namespace quorvel {

// The shape named in error messages.
inline constexpr char kUtcTextShape[] = "YYYY-MM-DDTHH:MM:SS[.mmm]";

// Raises EConvertError with a message for the user: an unreadable text, a
// year outside 1..9999, or a date or time that does not exist.
TDateTime ParseUtcText(std::string_view text);

// "2024-03-20T12:00:00.000"
std::string FormatUtcText(TDateTime utc);

}  // namespace quorvel
