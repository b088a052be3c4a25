// Right ascension, declination and distance of rectangular vectors.
#pragma once

#include "ephemeris/Vector3.h"

namespace quorvel::ephem {

// pol = (right ascension in [-pi, 3*pi/2], not normalised; declination; length).
void showrd(const TVector3& p, TVector3& pol);

// Right ascension and declination of p1 minus those of p0, radians. Small
// differences by first-order formulas, large or degenerate ones exactly.
void Deltap(const TVector3& p0, const TVector3& p1, double& dr, double& dd);

}  // namespace quorvel::ephem
