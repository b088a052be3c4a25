// Local apparent sidereal time.
#pragma once

#include "ephemeris/Nutation.h"

namespace quorvel::ephem {

// Local apparent sidereal time in seconds of time, [0, 86400), at the Julian
// day Julian_day taken as UT, for a longitude in degrees, east positive.
// Greenwich mean sidereal time of the IAU 1982 expression plus the equation of
// the equinoxes (IAU 1980 nutation, mean obliquity).
double Calcule_Sideral(double Julian_day, double longitude);
// The same with the nutation and obliquity of Julian_day already formed.
double Calcule_Sideral(double Julian_day, double longitude, const TNutationOfDate& nut);

}  // namespace quorvel::ephem
