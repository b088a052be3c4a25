#include "ephemeris/Obliquity.h"

#include <cmath>

#include "ephemeris/Calendar.h"

namespace quorvel::ephem {

namespace {

// Mean obliquity at J2000.0, arcseconds (IAU 1976, Lieske et al. 1977).
constexpr double kEps0Arcsec = 84381.448;

// IAU 1976 rates, arcseconds per Julian century^1..3.
constexpr double kIau76T1 = -46.815;
constexpr double kIau76T2 = -0.00059;
constexpr double kIau76T3 = 0.001813;

// Laskar (1986), arcseconds per (10 000 Julian years)^1..10, highest first.
constexpr double kLaskar[10] = {2.45e-10,   5.79e-9,   2.787e-7, 7.12e-7, -3.905e-5,
                                -0.0024967, -0.005138, 1.99925,  -0.0155, -468.093};

// Beyond this many centuries from J2000 the IAU 1976 cubic drifts; Laskar's
// expansion takes over.
constexpr double kShortRegimeCenturies = 2.0;

}  // namespace

void Ecliptic_Obliquity(double Julian, double& eps, double& coseps, double& sineps) {
  const double T = CenturiesFromJ2000(Julian);
  double arcsec;
  if (std::fabs(T) < kShortRegimeCenturies) {
    arcsec = ((kIau76T3 * T + kIau76T2) * T + kIau76T1) * T + kEps0Arcsec;
  } else {
    const double tau = T / 10.0;
    double poly = kLaskar[0];
    for (int k = 1; k < 10; ++k) poly = poly * tau + kLaskar[k];
    arcsec = poly * tau + kEps0Arcsec;
  }
  eps = arcsec * kArcsecToRad;
  coseps = std::cos(eps);
  sineps = std::sin(eps);
}

}  // namespace quorvel::ephem
