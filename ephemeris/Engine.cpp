// The observing site as the engine holds it.
#include "ephemeris/Engine.h"

#include <cmath>

#include "ephemeris/Calendar.h"

namespace quorvel::ephem {

namespace {

// Geocentric latitude minus geodetic latitude and the geocentric radius, as
// series in the geodetic latitude phi for the reference ellipsoid of
// flattening 1/298.25 (IAU 1964): degrees, and equatorial radii.
constexpr double kLatSin2 = -0.19242861, kLatSin4 = 0.00032314, kLatSin6 = -0.00000072;
constexpr double kRho0 = 0.998327073, kRhoCos2 = 0.001676438, kRhoCos4 = -0.000003519,
                 kRhoCos6 = 0.000000008;
// Equatorial radius of that ellipsoid, metres.
constexpr double kEarthEquatorialRadiusM = 6378160.0;

}  // namespace

void TEphemeridsObj::InitEphemeridsEngine(double Altitude, double Temperature_in,
                                          double Pression_mb_in, double latitude_in,
                                          double longitude_in) {
  InitSite(Altitude, Temperature_in, Pression_mb_in, latitude_in, longitude_in);
  InitOrbites();
}

void TEphemeridsObj::InitSite(double Altitude, double Temperature_in, double Pression_mb_in,
                              double latitude_in, double longitude_in) {
  longitude = -longitude_in * kRadToDeg;
  geodesic_latitude = latitude_in * kRadToDeg;
  Pression_mb = Pression_mb_in;
  Temperature = Temperature_in;

  const double phi = geodesic_latitude * kDegToRad;
  t_latitude = geodesic_latitude + kLatSin2 * std::sin(2 * phi) + kLatSin4 * std::sin(4 * phi) +
               kLatSin6 * std::sin(6 * phi);
  Distance_centre_terre = kRho0 + kRhoCos2 * std::cos(2 * phi) + kRhoCos4 * std::cos(4 * phi) +
                          kRhoCos6 * std::cos(6 * phi) + Altitude / kEarthEquatorialRadiusM;
}

}  // namespace quorvel::ephem
