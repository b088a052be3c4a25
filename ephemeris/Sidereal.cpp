#include "ephemeris/Sidereal.h"

#include <cmath>

#include "ephemeris/Calendar.h"
#include "ephemeris/Nutation.h"

namespace quorvel::ephem {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Seconds of time per radian (240 s per degree).
constexpr double kTimeSecondsPerRadian = 13750.987083139757;
// Seconds of time per degree of longitude.
constexpr double kTimeSecondsPerDegree = 240.0;

// Greenwich mean sidereal time at 0 h UT, seconds (IAU 1982, Aoki et al.),
// coefficients of T0^0..3, T0 in Julian centuries of UT from J2000.
constexpr double kGmst0 = 24110.54841, kGmst1 = 8640184.812866, kGmst2 = 0.093104, kGmst3 = -6.2e-6;
// Its derivative, seconds per century, coefficients of T0^0..2; divided by the
// seconds of a Julian century it gives the ratio of sidereal to solar time.
constexpr double kGmstRate0 = 8640184.812866, kGmstRate1 = 0.186208, kGmstRate2 = -1.86e-5;
constexpr double kSecondsPerCentury = 3155760000.0;

}  // namespace

double Calcule_Sideral(double Julian_day, double longitude) {
  return Calcule_Sideral(Julian_day, longitude, NutationOfDate(Julian_day));
}

double Calcule_Sideral(double Julian_day, double longitude, const TNutationOfDate& nut) {
  // Julian day of the preceding 0 h UT and the UT seconds since.
  double jd0 = std::floor(Julian_day);
  double secs = Julian_day - jd0;
  if (secs >= 0.5) {
    jd0 += 0.5;
    secs -= 0.5;
  } else {
    jd0 -= 0.5;
    secs += 0.5;
  }
  secs *= kSecondsPerDay;
  const double T0 = CenturiesFromJ2000(jd0);

  // Equation of the equinoxes, seconds of time.
  const double eqeq = kTimeSecondsPerRadian * nut.nutl * nut.coseps;

  const double gmst = ((kGmst3 * T0 + kGmst2) * T0 + kGmst1) * T0 + kGmst0;
  const double msday =
      1.0 + ((kGmstRate2 * T0 + kGmstRate1) * T0 + kGmstRate0) / kSecondsPerCentury;
  const double s = gmst + msday * secs + eqeq + kTimeSecondsPerDegree * longitude;
  return s - kSecondsPerDay * std::floor(s / kSecondsPerDay);
}

}  // namespace quorvel::ephem
