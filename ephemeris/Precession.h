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

// The precession between J2000 and one date, its rotation formed once and
// applied in either direction (the reverse rotation is the transpose). Gives
// the same results as Precession_Apply for that date.
class TPrecessionOfDate {
 public:
  explicit TPrecessionOfDate(double J);
  void Apply(TVector3& R, TdirPrecess Dir) const;

 private:
  enum class Regime { Identity, Iau1976, Laskar1986 };
  double J_;
  double T_;
  Regime regime_;
  double m_[3][3] = {};  // J2000 -> date, IAU 1976 regime
};

}  // namespace quorvel::ephem
