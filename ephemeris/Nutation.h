// Nutation in longitude and obliquity (IAU 1980 theory).
#pragma once

#include <cstdint>

#include "ephemeris/Vector3.h"

namespace quorvel::ephem {

// The periodic terms of the IAU 1980 nutation series after the principal one.
// Each row: multiples of M' (Moon's mean anomaly), M (Sun's mean anomaly), F
// (Moon's argument of latitude), D (Moon's mean elongation), Omega (longitude
// of the Moon's ascending node); then a, b for the longitude, a * 1e-4 +
// b * 1e-5 * T arcseconds times the sine of the argument, and c, d for the
// obliquity, c * 1e-4 + d * 1e-5 * T arcseconds times its cosine.
constexpr int kNutationRows = 105;
extern const std::int16_t Nt[kNutationRows][9];

// Multiple-angle tables: row k for one argument, column n holding
// sin((n + 1) * arg) and cos((n + 1) * arg).
using TMultipleAngles = double[5][8];

// Fills row k of ss and cc for arg with columns 0 .. max(n, 2) - 1 by the
// angle-addition recurrence (columns 0 and 1 always).
void sscc(int k, double arg, int n, TMultipleAngles& ss, TMultipleAngles& cc);

// Nutation of date `Julian`: nutl = delta psi, nuto = delta epsilon, radians.
void Nutation(double Julian, double& nutl, double& nuto);

// Moves p from the mean to the true equator and equinox of date J.
void nutate(double J, TVector3& p);

}  // namespace quorvel::ephem
