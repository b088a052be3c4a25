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

double ConvertDate2Julian(std::int32_t Year, std::int32_t Month, double ddday) {
  if (Year > Yearmax || Year < YearMin)
    throw EConvertError(
        Format("Error, conversion Julian <-> date, current date must be between %1.1f et %1.1f !",
               {YearMin, Yearmax}));
  const double wholeDay = std::trunc(ddday);
  // 1999-03-03 is date-time value 36222 and Julian day 2451240.5.
  return EncodeDate(Year, Month, static_cast<int>(wholeDay)) + (ddday - wholeDay) -
         EncodeDate(1999, 3, 3) + 2451240.5;
}

double Convert_TdateTime2Julian_day(TDateTime DateTime) {
  int year, month, dd, h, m, s, ss;
  DecodeDateTime(DateTime, year, month, dd, h, m, s, ss);
  const double d = (((ss / 1000.0 + s) / 60.0 + m) / 60.0 + h) / 24.0;
  return ConvertDate2Julian(year, month, dd + d);
}

void Remet2Pi(double& Angle) {
  // Cut huge angles exactly first: the product below would leave a
  // remainder too large for the loops to ever finish.
  if (std::fabs(Angle) > 1e6) Angle = std::fmod(Angle, kTwoPi);
  if (std::fabs(Angle) > 100) Angle -= kTwoPi * std::trunc(Angle / kTwoPi);
  // Non-finite angles would loop for ever; leave them as they stand.
  if (!std::isfinite(Angle)) return;
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
  if (std::fabs(y) > 1e6) y = std::fmod(y, kTwoPi);
  while (y < 0) y += kTwoPi;
  while (y > kTwoPi) y -= kTwoPi;
  return y;
}

double mod360(double x) {
  if (!std::isfinite(x)) return x;
  double y = x - 360.0 * std::trunc(x / 360.0);
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
