#include "DateTime.h"

#include <cmath>

#include "Errors.h"
#include "Format.h"

namespace quorvel {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(y + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

constexpr std::int64_t kDaysUnixTo1899 = -25569;  // 1899-12-30 relative to 1970-01-01

// Milliseconds of the time of day, truncated; the small tolerance absorbs the
// float's rounding so that an exact millisecond is not read as the one before.
std::int64_t MsOfDay(TDateTime value) {
  double frac = std::fabs(value - std::trunc(value));
  double ms = std::floor(frac * kMSecsPerDay + 1e-2);
  if (ms >= kMSecsPerDay) ms = kMSecsPerDay - 1;
  if (ms < 0) ms = 0;
  return static_cast<std::int64_t>(ms);
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  out = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kDaysUnixTo1899);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime out = 0;
  if (!TryEncodeDate(year, month, day, out)) throw EConvertError("Invalid argument to date encode");
  return out;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    throw EConvertError("Invalid argument to time encode");
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMSecsPerDay;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  return date < 0 ? date - time : date + time;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  return ComposeDateTime(EncodeDate(year, month, day), EncodeTime(hour, minute, second, msec));
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  const auto days = static_cast<std::int64_t>(std::trunc(value));
  CivilFromDays(days + kDaysUnixTo1899, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  std::int64_t ms = MsOfDay(value);
  msec = static_cast<int>(ms % 1000);
  ms /= 1000;
  second = static_cast<int>(ms % 60);
  ms /= 60;
  minute = static_cast<int>(ms % 60);
  hour = static_cast<int>(ms / 60);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, msec);
}

int DayOfWeek(TDateTime value) {
  // 1899-12-30 was a Saturday.
  const auto days = static_cast<std::int64_t>(std::trunc(value));
  std::int64_t r = (days + 6) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

TDateTime DateTimeFromSystemTime(const TSystemTime& st) {
  const TDateTime date = EncodeDate(st.wYear, st.wMonth, st.wDay);
  const double ms =
      st.wHour * 3600000.0 + st.wMinute * 60000.0 + st.wSecond * 1000.0 + st.wMilliseconds;
  if (st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999)
    throw EConvertError("Invalid argument to time encode");
  return ComposeDateTime(date, ms / kMSecsPerDay);
}

TSystemTime SystemTimeFromDateTime(TDateTime value) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(value, y, mo, d, h, mi, s, ms);
  TSystemTime st;
  st.wYear = static_cast<std::uint16_t>(y);
  st.wMonth = static_cast<std::uint16_t>(mo);
  st.wDay = static_cast<std::uint16_t>(d);
  st.wHour = static_cast<std::uint16_t>(h);
  st.wMinute = static_cast<std::uint16_t>(mi);
  st.wSecond = static_cast<std::uint16_t>(s);
  st.wMilliseconds = static_cast<std::uint16_t>(ms);
  st.wDayOfWeek = static_cast<std::uint16_t>(DayOfWeek(value) - 1);
  return st;
}

TDateTime DateTimeFromUnixMs(std::int64_t ms) {
  std::int64_t days = ms / 86400000;
  std::int64_t rem = ms % 86400000;
  if (rem < 0) {
    rem += 86400000;
    --days;
  }
  const double date = static_cast<double>(days - kDaysUnixTo1899);
  return ComposeDateTime(date, static_cast<double>(rem) / kMSecsPerDay);
}

std::int64_t UnixMsFromDateTime(TDateTime value) {
  const auto days = static_cast<std::int64_t>(std::trunc(value));
  return (days + kDaysUnixTo1899) * 86400000 + MsOfDay(value);
}

}  // namespace quorvel
