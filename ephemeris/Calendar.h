// Calendar, time and angle scales of the solar ephemeris: the UTC clock, the
// Julian day of a date-time value, and the angle normalisations in which the
// whole ephemeris is written.
#pragma once

#include <cstdint>

#include "common/Angles.h"
#include "common/DateTime.h"

namespace quorvel::ephem {

// Angle constants used throughout the ephemeris; the program's own, so that
// ephem::kPi and quorvel::kPi are one constant.
using quorvel::kDegToRad;
using quorvel::kPi;
using quorvel::kRadToDeg;
using quorvel::kTwoPi;
constexpr double kArcsecToRad = 4.84813681109536e-6;
constexpr double kRadToArcsec = 206264.80624709636;

// Year range accepted by the Julian-day conversion of the ephemeris.
constexpr double YearMin = 1.0;
constexpr double Yearmax = 9999.0;

// Julian day of J2000.0 (2000-01-01 12:00) and of 1900 January 0.5.
constexpr double kJ2000 = 2451545.0;
constexpr double kJ1900 = 2415020.0;
constexpr double kDaysPerJulianCentury = 36525.0;

// Current UTC time (the injectable clock) as a date-time value.
TDateTime Service_DATE_TIME_UTC();
TDateTime SYSTEMTIME_To_DateTime(const TSystemTime& st);

// Julian day of a calendar date whose day carries the time as its fraction.
// Raises EConvertError "Error, conversion Julian <-> date, current date must be
// between 1.0 et 9999.0 !" for a year outside YearMin..Yearmax.
double ConvertDate2Julian(std::int32_t Year, std::int32_t Month, double ddday);
double Convert_TdateTime2Julian_day(TDateTime DateTime);

// Julian centuries from J2000.0 and from 1900 January 0.5.
inline double CenturiesFromJ2000(double jd) {
  return (jd - kJ2000) / kDaysPerJulianCentury;
}
inline double CenturiesFrom1900(double jd) {
  return (jd - kJ1900) / kDaysPerJulianCentury;
}

// `a` less its whole periods (fmod) when it holds more than 1024 of them;
// otherwise `a` unchanged. The stepping loops of the normalisations below
// would take for ever on such a value, or never end once one period is below
// the float's resolution; ordinary angles keep their usual results.
double ReduceManyTurns(double a, double period);

// Brings Angle into [0, 2*pi).
void Remet2Pi(double& Angle);
// [0, 2*pi); returns x unchanged when its turns cannot be counted.
double modtp(double x);
// [0, 2*pi]: exactly 2*pi stays 2*pi.
double Inside2pi(double y);
// [0, 360].
double mod360(double x);
// Polar angle of the point (x, y) from +x towards +y, in [-pi, 3*pi/2].
double zatan2(double x, double y);

}  // namespace quorvel::ephem
