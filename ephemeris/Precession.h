// Precession between the mean equator and equinox of J2000 and of a date.
#pragma once

#include "ephemeris/Vector3.h"

namespace quorvel::ephem {

enum class TdirPrecess {
  J2000_to_JNOW,  // mean equator and equinox of J2000 -> of the date
  JNOW_to_J2000,  // the reverse
};

// Rotates R between J2000 and the date J (Julian day). Within two centuries of
// J2000 with the IAU 1976 angles zeta, z, theta; beyond, with Laskar's 1986
// expansions of the general precession and of the ecliptic's node and
// inclination. At exactly J2000 R is returned untouched.
void Precession_Apply(TVector3& R, double J, TdirPrecess Dir);

}  // namespace quorvel::ephem
