// Nutation in longitude and obliquity (IAU 1980 theory).
#pragma once

#include <cstdint>

#include "ephemeris/NutationSeries.h"
#include "ephemeris/Vector3.h"

namespace quorvel::ephem {

// Multiple-angle tables: row k for one argument, column n holding
// sin((n + 1) * arg) and cos((n + 1) * arg).
using TMultipleAngles = double[5][8];

// Fills row k of ss and cc for arg with columns 0 .. max(n, 2) - 1 by the
// angle-addition recurrence (columns 0 and 1 always).
void sscc(int k, double arg, int n, TMultipleAngles& ss, TMultipleAngles& cc);

// Nutation of date `Julian`: nutl = delta psi, nuto = delta epsilon, radians.
void Nutation(double Julian, double& nutl, double& nuto);

// Nutation and mean obliquity of one date, formed once and shared by the
// reductions of that date (the apparent place and the sidereal time).
struct TNutationOfDate {
  double Julian = 0;
  double nutl = 0;  // delta psi, rad
  double nuto = 0;  // delta epsilon, rad
  double eps = 0;   // mean obliquity, rad
  double coseps = 0;
  double sineps = 0;
};
TNutationOfDate NutationOfDate(double Julian);

// Moves p from the mean to the true equator and equinox of date J.
void nutate(double J, TVector3& p);
// The same with the terms of that date already formed.
void nutate(const TNutationOfDate& nut, TVector3& p);

}  // namespace quorvel::ephem
