#include "Calendar.h"

#include <cmath>
#include <limits>

#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel::ephem {

TDateTime SYSTEMTIME_To_DateTime(const TSystemTime& st) {
  return DateTimeFromSystemTime(st);
}

TDateTime Service_DATE_TIME_UTC() {
  TSystemTime st;
  GetSystemTime(st);
  return SYSTEMTIME_To_DateTime(st);
}

namespace {

[[noreturn]] void RaiseYearRange() {
  throw EConvertError(
      Format("Error, conversion Julian <-> date, current date must be between %1.1f et %1.1f !",
             {YearMin, Yearmax}));
}

// 1999-03-03 is date-time value 36222 and Julian day 2451240.5.
constexpr double kDate19990303 = 36222.0;
constexpr double kJulian19990303 = 2451240.5;

// The Julian day of `date`, the date-time value of the calendar date whose
// day of the month is trunc(ddday), plus the fraction of ddday.
double JulianDayOf(TDateTime date, double ddday, double wholeDay) {
  return date + (ddday - wholeDay) - kDate19990303 + kJulian19990303;
}

}  // namespace

double ConvertDate2Julian(std::int32_t Year, std::int32_t Month, double ddday) {
  if (Year > Yearmax || Year < YearMin) RaiseYearRange();
  const double wholeDay = std::trunc(ddday);
  return JulianDayOf(EncodeDate(Year, Month, static_cast<int>(wholeDay)), ddday, wholeDay);
}

double Convert_TdateTime2Julian_day(TDateTime DateTime) {
  // NaN, or so far out that no calendar year can be formed: out of range too.
  if (!(std::fabs(DateTime) <= 1e7)) RaiseYearRange();
  int year, month, dd, h, m, s, ss;
  DecodeDateTime(DateTime, year, month, dd, h, m, s, ss);
  if (year > Yearmax || year < YearMin) RaiseYearRange();
  const double d = (((ss / 1000.0 + s) / 60.0 + m) / 60.0 + h) / 24.0;
  // ConvertDate2Julian(year, month, dd + d) without encoding the date back:
  // d < 1, so the day is dd and its date-time value the whole part of DateTime.
  const double ddday = dd + d;
  const double date = static_cast<double>(static_cast<std::int64_t>(std::trunc(DateTime)));
  return JulianDayOf(date, ddday, std::trunc(ddday));
}

double ReduceManyTurns(double a, double period) {
  constexpr double kManyTurns = 1024;
  return std::fabs(a) > kManyTurns * period ? std::fmod(a, period) : a;
}

void Remet2Pi(double& Angle) {
  if (std::fabs(Angle) > 100) Angle -= kTwoPi * std::trunc(Angle / kTwoPi);
  // Non-finite angles would loop for ever; leave them as they stand.
  if (!std::isfinite(Angle)) return;
  // What the subtraction leaves of a huge angle is its rounding error.
  Angle = ReduceManyTurns(Angle, kTwoPi);
  while (Angle < 0) Angle += kTwoPi;
  while (Angle >= kTwoPi) Angle -= kTwoPi;
}

double modtp(double x) {
  // The turn count is a 32-bit integer; beyond that range x is returned as is.
  const double turns = std::floor(x / kTwoPi);
  if (!(turns >= -2147483648.0 && turns <= 2147483647.0)) return x;
  double y = x - kTwoPi * turns;
  while (y < 0) y += kTwoPi;
  while (y >= kTwoPi) y -= kTwoPi;
  return y;
}

double Inside2pi(double y) {
  if (!std::isfinite(y)) return y;
  y = ReduceManyTurns(y, kTwoPi);
  while (y < 0) y += kTwoPi;
  while (y > kTwoPi) y -= kTwoPi;
  return y;
}

double mod360(double x) {
  if (!std::isfinite(x)) return x;
  double y = ReduceManyTurns(x - 360.0 * std::trunc(x / 360.0), 360.0);
  while (y < 0) y += 360.0;
  while (y > 360.0) y -= 360.0;
  return y;
}

double zatan2(double x, double y) {
  if (x == 0) {
    if (y == 0) return 0;
    if (y > 0) return kPi / 2;
    if (y < 0) return 3 * kPi / 2;
    return y;  // NaN
  }
  if (y == 0) {
    if (x > 0) return 0;
    if (x < 0) return -kPi;
  }
  if (x > 0) return std::atan(y / x);
  if (x < 0) return kPi + std::atan(y / x);
  return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace quorvel::ephem
