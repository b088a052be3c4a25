// Precession, obliquity, nutation, sidereal time and the vector helpers,
// checked against published worked examples and their own identities.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "ephemeris/Calendar.h"
#include "ephemeris/Directions.h"
#include "ephemeris/Nutation.h"
#include "ephemeris/Obliquity.h"
#include "ephemeris/Precession.h"
#include "ephemeris/Sidereal.h"

namespace quorvel::ephem {
namespace {

TVector3 Unit(double raDeg, double decDeg) {
  const double a = raDeg * kDegToRad, d = decDeg * kDegToRad;
  return {std::cos(d) * std::cos(a), std::cos(d) * std::sin(a), std::sin(d)};
}

double RaDeg(const TVector3& v) {
  return mod360(std::atan2(v[1], v[0]) * kRadToDeg);
}
double DecDeg(const TVector3& v) {
  return std::asin(v[2]) * kRadToDeg;
}

TEST(Precession, IdentityAtJ2000InBothDirections) {
  for (auto dir : {TdirPrecess::J2000_to_JNOW, TdirPrecess::JNOW_to_J2000}) {
    TVector3 v = {0.3, -0.4, 0.8660254};
    Precession_Apply(v, kJ2000, dir);
    EXPECT_EQ(v, (TVector3{0.3, -0.4, 0.8660254}));
  }
}

// Meeus, Astronomical Algorithms, example 21.b (theta Persei, mean place of
// J2000 with its proper motion applied, to 2028 Nov 13.19).
TEST(Precession, RigorousWorkedExample) {
  TVector3 v = Unit(41.054063, 49.227750);
  Precession_Apply(v, 2462088.69, TdirPrecess::J2000_to_JNOW);
  EXPECT_NEAR(RaDeg(v), 41.547214, 2e-6);
  EXPECT_NEAR(DecDeg(v), 49.348483, 2e-6);
}

// Both regimes: the IAU 1976 angles within two centuries (the boundary
// |T| = 2 included), Laskar's expansions beyond, up to the year 9999.
TEST(Precession, ForwardThenBackReturnsTheVector) {
  const double centuries[] = {-0.25, 1.0, -2.0, 2.0, 2.5, -5.0, 20.0, -19.0, 79.9};
  for (double T : centuries) {
    const double J = kJ2000 + T * kDaysPerJulianCentury;
    const TVector3 v0 = Unit(123.4, -33.3);
    TVector3 v = v0;
    Precession_Apply(v, J, TdirPrecess::J2000_to_JNOW);
    // It really moves: about 50 arcseconds a year in longitude.
    const double moved = std::acos(v[0] * v0[0] + v[1] * v0[1] + v[2] * v0[2]) * kRadToArcsec;
    EXPECT_GT(moved, 2000 * std::fabs(T)) << T;
    Precession_Apply(v, J, TdirPrecess::JNOW_to_J2000);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(v[k], v0[k], 1e-14) << "T=" << T << " k=" << k;
  }
}

// The two regimes describe the same motion: just inside and just outside the
// boundary they agree to well under an arcsecond.
TEST(Precession, RegimesMeetAtTwoCenturies) {
  const double J = kJ2000 + 2.0 * kDaysPerJulianCentury;
  TVector3 inside = Unit(10, 20), outside = Unit(10, 20);
  Precession_Apply(inside, J, TdirPrecess::J2000_to_JNOW);
  Precession_Apply(outside, J + 1e-6, TdirPrecess::J2000_to_JNOW);
  const double sep =
      std::acos(inside[0] * outside[0] + inside[1] * outside[1] + inside[2] * outside[2]) *
      kRadToArcsec;
  EXPECT_LT(sep, 0.5);
}

TEST(Precession, ObjectForOneDateMatchesTheFunction) {
  for (double J : {2460390.0, 2378495.0, 2524595.0, 2000000.0, kJ2000}) {
    const TPrecessionOfDate prec(J);
    for (auto dir : {TdirPrecess::J2000_to_JNOW, TdirPrecess::JNOW_to_J2000}) {
      TVector3 a = Unit(200, 10), b = a;
      Precession_Apply(a, J, dir);
      prec.Apply(b, dir);
      EXPECT_EQ(a, b) << J;
    }
  }
}

TEST(Obliquity, J2000AndWorkedExample) {
  double eps, c, s;
  Ecliptic_Obliquity(kJ2000, eps, c, s);
  EXPECT_DOUBLE_EQ(eps, 0.40909280422232897);
  EXPECT_DOUBLE_EQ(eps * kRadToArcsec, 84381.448);
  EXPECT_DOUBLE_EQ(c, std::cos(eps));
  EXPECT_DOUBLE_EQ(s, std::sin(eps));
  // Meeus example 22.a, 1987 April 10: 23 deg 26' 27.407".
  Ecliptic_Obliquity(2446895.5, eps, c, s);
  EXPECT_NEAR(eps * kRadToArcsec, 84387.407, 0.001);
}

TEST(Obliquity, LongExpansionBeyondTwoCenturies) {
  // At |T| = 2 exactly the long expansion is already in use; it stays within
  // a fraction of an arcsecond of the cubic there.
  const double J = kJ2000 - 2.0 * kDaysPerJulianCentury;  // 2378495.0
  double eps, c, s;
  Ecliptic_Obliquity(J, eps, c, s);
  const double T = -2.0;
  const double cubic = ((0.001813 * T - 0.00059) * T - 46.815) * T + 84381.448;
  EXPECT_NE(eps * kRadToArcsec, cubic);
  EXPECT_NEAR(eps * kRadToArcsec, cubic, 0.5);
  // About 22.6 degrees eight thousand years from now (Laskar).
  Ecliptic_Obliquity(kJ2000 + 79.0 * kDaysPerJulianCentury, eps, c, s);
  EXPECT_NEAR(eps * kRadToDeg, 22.6, 0.3);
}

TEST(Nutation, TableHoldsThePublishedSeries) {
  const std::int16_t first[9] = {0, 0, 0, 0, 2, 2062, 2, -895, 5};
  const std::int16_t second[9] = {-2, 0, 2, 0, 1, 46, 0, -24, 0};
  const std::int16_t eighth[9] = {0, 0, 2, -2, 2, -13187, -16, 5736, -31};
  const std::int16_t ninth[9] = {0, 1, 0, 0, 0, 1426, -34, 54, -1};
  const std::int16_t last[9] = {0, 1, 0, 1, 0, 1, 0, 0, 0};
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(Nt[0][k], first[k]);
    EXPECT_EQ(Nt[1][k], second[k]);
    EXPECT_EQ(Nt[7][k], eighth[k]);
    EXPECT_EQ(Nt[8][k], ninth[k]);
    EXPECT_EQ(Nt[kNutationRows - 1][k], last[k]);
  }
  int withRates = 0;
  long sumA = 0, sumC = 0;
  for (const auto& row : Nt) {
    withRates += (row[6] != 0 || row[8] != 0);
    sumA += std::abs(row[5]);
    sumC += std::abs(row[7]);
  }
  EXPECT_EQ(withRates, 14);
  // Checksums of the amplitude columns, against typing errors in the table.
  EXPECT_EQ(sumA, 22372);
  EXPECT_EQ(sumC, 8737);
}

// Meeus example 22.a, 1987 April 10 0h: delta psi -3.788", delta epsilon +9.443".
TEST(Nutation, WorkedExample) {
  double nutl, nuto;
  Nutation(2446895.5, nutl, nuto);
  EXPECT_NEAR(nutl * kRadToArcsec, -3.788, 0.001);
  EXPECT_NEAR(nuto * kRadToArcsec, 9.443, 0.001);
}

TEST(Nutation, PrincipalTermDominatesAtJ2000) {
  double nutl, nuto;
  Nutation(kJ2000, nutl, nuto);
  const double principal = -17.1996 * std::sin(125.0445222 * kDegToRad);
  EXPECT_NEAR(principal, -14.0814, 1e-4);
  // The other 105 terms add less than 1.5 arcseconds.
  EXPECT_NEAR(nutl * kRadToArcsec, principal, 1.5);
}

TEST(Nutation, MultipleAngleRecurrence) {
  TMultipleAngles ss = {}, cc = {};
  sscc(2, 0.7, 4, ss, cc);
  for (int n = 0; n < 4; ++n) {
    EXPECT_NEAR(ss[2][n], std::sin((n + 1) * 0.7), 1e-15) << n;
    EXPECT_NEAR(cc[2][n], std::cos((n + 1) * 0.7), 1e-15) << n;
  }
  // Columns 0 and 1 are always filled.
  sscc(4, -1.1, 1, ss, cc);
  EXPECT_NEAR(ss[4][1], std::sin(-2.2), 1e-15);
  EXPECT_NEAR(cc[4][1], std::cos(-2.2), 1e-15);
}

TEST(Nutation, NutateKeepsLengthAndMovesByDeltaPsi) {
  const double J = 2446895.5;
  double nutl, nuto;
  Nutation(J, nutl, nuto);
  // A point at the mean equinox moves along the ecliptic by delta psi: its
  // right ascension changes by about delta psi * cos(eps).
  TVector3 p = {1, 0, 0};
  nutate(J, p);
  EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0, 1e-15);
  double eps, c, s;
  Ecliptic_Obliquity(J, eps, c, s);
  EXPECT_NEAR(std::atan2(p[1], p[0]), nutl * c, 1e-9);
  // The shared form gives the same vector.
  TVector3 q = {0.2, 0.5, -0.3}, r = q;
  nutate(J, q);
  nutate(NutationOfDate(J), r);
  EXPECT_EQ(q, r);
}

// Meeus example 12.a: 1987 April 10 0h UT, apparent sidereal time at
// Greenwich 13h 10m 46.1351s; example 12.b, 19h 21m UT, mean 8h 34m 57.0896s
// (the equation of the equinoxes, -0.232 s that day, comes on top).
TEST(Sidereal, WorkedExamples) {
  EXPECT_NEAR(Calcule_Sideral(2446895.5, 0.0), 47446.1351, 0.0005);
  EXPECT_NEAR(Calcule_Sideral(2446896.30625, 0.0), 30897.0896 - 0.232, 0.01);
}

TEST(Sidereal, LongitudeAndDayBoundaries) {
  for (double J : {2460390.0, 2460390.3}) {
    // Modulo a day: at 2460390.0 Greenwich is at 23h50m sidereal.
    const double d = Calcule_Sideral(J, 3.5) - Calcule_Sideral(J, 0.0);
    EXPECT_NEAR(std::fmod(d + 86400.0, 86400.0), 840.0, 1e-6) << J;
  }
  // Noon (JD ending in .0) is 43200 UT seconds after that day's 0 h (.5).
  const double at0h = Calcule_Sideral(2460389.5, 0.0);
  const double atNoon = Calcule_Sideral(2460390.0, 0.0);
  const double expected = std::fmod(at0h + 43200.0 * 1.00273790935, 86400.0);
  EXPECT_NEAR(atNoon, expected, 0.01);
  for (double jd : {2460389.5, 2460390.0, 2460390.25, 2451545.0}) {
    const double s = Calcule_Sideral(jd, -170.0);
    EXPECT_GE(s, 0.0);
    EXPECT_LT(s, 86400.0);
  }
}

TEST(Directions, ShowrdAngles) {
  TVector3 pol;
  showrd({0, -1, 0}, pol);
  EXPECT_DOUBLE_EQ(pol[0], 3 * kPi / 2);
  EXPECT_DOUBLE_EQ(pol[1], 0);
  EXPECT_DOUBLE_EQ(pol[2], 1);
  showrd({1, -1, 0}, pol);
  EXPECT_DOUBLE_EQ(pol[0], -kPi / 4);  // not normalised: the caller does it
  showrd({0, 0, 2}, pol);
  EXPECT_DOUBLE_EQ(pol[1], kPi / 2);
  EXPECT_DOUBLE_EQ(pol[2], 2);
}

TEST(Directions, DeltapBothBranches) {
  double dr, dd;
  // Identical vectors: first-order branch, exact zeros.
  Deltap({0.6, 0.7, 0.3}, {0.6, 0.7, 0.3}, dr, dd);
  EXPECT_EQ(dr, 0);
  EXPECT_EQ(dd, 0);
  // A small step (first-order formulas) agrees with the exact difference.
  const TVector3 a = Unit(100, 20), b = Unit(100.01, 20.005);
  Deltap(a, b, dr, dd);
  EXPECT_NEAR(dr * kRadToDeg, 0.01, 1e-6);
  EXPECT_NEAR(dd * kRadToDeg, 0.005, 1e-6);
  // A large step across right ascension 0 takes the exact branch, wrapped.
  Deltap(Unit(350, 0), Unit(10, 5), dr, dd);
  EXPECT_NEAR(dr * kRadToDeg, 20, 1e-9);
  EXPECT_NEAR(dd * kRadToDeg, 5, 1e-9);
  // x = 0 in the first-order branch stands for an infinite rate.
  Deltap({0, 1, 0}, {1e-6, 1, 0}, dr, dd);
  EXPECT_EQ(dr, 3.4028234663852886e38);
}

}  // namespace
}  // namespace quorvel::ephem
