// Date and time texts in the user's regional formats (numbers never: those
// always use "." through common/Format.h).
//
// Date-time text = the short date format, one blank, and the long time format
// without its time-zone part (a results-file time is a plain local or UTC
// clock reading; a zone name after it would be wrong for the UTC column).
// At exactly 00:00:00.000 the blank and the time are left out.
#pragma once

#include <string>
#include <string_view>

#include "common/DateTime.h"

namespace quorvel {

// With the system locale (LC_ALL / LC_TIME / LANG).
std::string RegionalDateTimeText(TDateTime value);
std::string RegionalShortDateText(TDateTime value);

// With a named locale ("C", "de_DE", "en_US.UTF-8"); for tests and tools.
std::string RegionalDateTimeText(TDateTime value, const std::string& localeName);
std::string RegionalShortDateText(TDateTime value, const std::string& localeName);

// A Qt time format without its time-zone fields ("t"), outside quoted text,
// and without the blanks that held them: "h:mm:ss AP t" -> "h:mm:ss AP".
std::string TimeFormatWithoutZone(std::string_view qtTimeFormat);

}  // namespace quorvel
