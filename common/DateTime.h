// Date-time values: a float64 counting days since 1899-12-30 00:00, the
// fraction being the time of day. Exact proleptic Gregorian conversion for the
// years 1 to 9999. Before 1899-12-30 the value is negative and, as usual for
// this representation, its fraction still counts forward from midnight in
// absolute value (-1.25 is 1899-12-29 06:00).
#pragma once

#include <cstdint>

namespace quorvel {

using TDateTime = double;

// The broken-down time record of the platform clock.
struct TSystemTime {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;
};

constexpr double kMSecsPerDay = 86400000.0;
// Date-time value of 1970-01-01, the Unix epoch.
constexpr double kUnixDateDelta = 25569.0;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Whole days from 1899-12-30 to the date; throws EConvertError for an
// impossible date or a year outside 1..9999.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
// Fraction of a day; throws EConvertError for an impossible time.
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// Date plus time with the sign convention described above.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);

// Splits a date-time value. The millisecond is truncated (with a tolerance for
// the float's own rounding), so 23:59:59.999 never rolls over to the next day.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

TDateTime DateTimeFromSystemTime(const TSystemTime& st);
TSystemTime SystemTimeFromDateTime(TDateTime value);

// Milliseconds since 1970-01-01 00:00 (no leap seconds) <-> date-time value.
TDateTime DateTimeFromUnixMs(std::int64_t ms);
std::int64_t UnixMsFromDateTime(TDateTime value);

}  // namespace quorvel
