// Mean obliquity of the ecliptic.
#pragma once

namespace quorvel::ephem {

// Mean obliquity of the ecliptic of date `Julian`: eps in radians with its
// cosine and sine. IAU 1976 polynomial within two centuries of J2000, Laskar's
// 1986 expansion (valid over +-10000 years) beyond.
void Ecliptic_Obliquity(double Julian, double& eps, double& coseps, double& sineps);

}  // namespace quorvel::ephem
