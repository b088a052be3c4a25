// The site geometry, refraction, the transit/rise/set estimate and the
// horizontal coordinates of the engine.
#include <gtest/gtest.h>

#include <cmath>

#include "ephemeris/Calendar.h"
#include "ephemeris/Engine.h"
#include "ephemeris/Refraction.h"
#include "ephemeris/Sidereal.h"

namespace quorvel::ephem {
namespace {

TEphemeridsObj EngineAt(double latDeg, double lonEastDeg, double altitudeM = 0) {
  TEphemeridsObj e;
  e.InitEphemeridsEngine(altitudeM, 10.0, 1010.0, latDeg * kDegToRad, -lonEastDeg * kDegToRad);
  return e;
}

TEST(Site, GeocentricLatitudeAndDistance) {
  const TEphemeridsObj equator = EngineAt(0, 0);
  EXPECT_EQ(equator.t_latitude, 0.0);
  EXPECT_NEAR(equator.Distance_centre_terre, 1.000000000, 1e-12);
  const TEphemeridsObj pole = EngineAt(90, 0);
  EXPECT_NEAR(pole.t_latitude, 90.0, 1e-12);
  EXPECT_NEAR(pole.Distance_centre_terre, 0.996647108, 1e-12);
  // 45 degrees: the geocentric latitude is 11.5' lower; 6378.16 m add 0.001.
  const TEphemeridsObj mid = EngineAt(45, 0, 6378.16);
  EXPECT_NEAR(mid.geodesic_latitude - mid.t_latitude, 0.19242861 - 0.00000072, 1e-12);
  EXPECT_NEAR(mid.Distance_centre_terre, 0.998327073 - 0.000003519 * -1 + 0.001, 1e-9);
}

TEST(Site, LongitudeHeldEastPositiveInDegrees) {
  TEphemeridsObj e;
  e.InitEphemeridsEngine(0, 10, 1010, 0.7941248096574199, -0.061086523819801536);
  EXPECT_NEAR(e.longitude, 3.5, 1e-12);
  EXPECT_NEAR(e.geodesic_latitude, 45.5, 1e-12);
  EXPECT_EQ(e.Pression_mb, 1010.0);
  EXPECT_EQ(e.Temperature, 10.0);
}

TEST(Refraction, StandardAtmosphere) {
  struct Case {
    double altitude, refraction, tolerance;
  };
  const Case cases[] = {
      {-2.0, 0.86496, 5e-6},  {0.0, 0.48222, 5e-6},       {5.0, 0.16059, 5e-6},
      {15.0, 0.06036, 5e-6},  {15.000001, 0.06020, 5e-6}, {30.0, 0.02794, 5e-6},
      {45.0, 0.016131, 5e-7}, {90.0, 0.0, 0.0},           {-2.0001, 0.0, 0.0},
      {120.0, 0.0, 0.0},      {-90.0, 0.0, 0.0},
  };
  const TEphemeridsObj e = EngineAt(45, 0);
  for (const Case& c : cases) {
    EXPECT_NEAR(e.Refrac(c.altitude), c.refraction, c.tolerance) << c.altitude;
    EXPECT_EQ(e.Refrac(c.altitude), Refraction(c.altitude, 1010, 10));
  }
}

TEST(Refraction, FollowsPressureAndTemperature) {
  // Thinner, warmer air refracts less, on both sides of 15 degrees.
  for (double a : {1.0, 10.0, 20.0}) {
    EXPECT_LT(Refraction(a, 700, 10), Refraction(a, 1010, 10)) << a;
    EXPECT_LT(Refraction(a, 1010, 30), Refraction(a, 1010, 10)) << a;
  }
  EXPECT_TRUE(std::isnan(Refraction(std::nan(""), 1010, 10)));
}

// The sine of the rise altitude against the declination decides: rise and set,
// always up, or never up (the Sun, declination +-23.44 degrees).
TEST(TransitTime, RiseSetCircumpolarAndNeverRises) {
  struct Case {
    double latDeg, decDeg;
    std::uint16_t flags;
    bool riseSetWritten;
  };
  const Case cases[] = {
      {45.5, 23.44, 0, true},
      {66.0, 23.44, 0, false},  // not circumpolar by the test, but y < -1
      {70.0, 23.44, kCircumpolar, false},
      {70.0, -23.44, kNeverRises, false},
      {-70.0, -23.44, kCircumpolar, false},
      {-70.0, 23.44, kNeverRises, false},
      {-45.5, -23.44, 0, true},
      {0.0, 0.0, 0, true},
  };
  for (const Case& c : cases) {
    TEphemeridsObj e = EngineAt(c.latDeg, 0);
    e.Numero_objet = 0;
    double transit = -1, rise = -1, set = -1;
    std::uint16_t flags = 0xFFFF;
    // 12h UT, the body on the meridian, no motion.
    e.transit_time(2460390.0, 0.0, c.decDeg * kDegToRad, 0, 0, transit, rise, set, flags);
    EXPECT_EQ(flags, c.flags) << c.latDeg << " " << c.decDeg;
    EXPECT_NEAR(transit, kPi, 1e-12);
    EXPECT_EQ(rise != -1, c.riseSetWritten) << c.latDeg << " " << c.decDeg;
    EXPECT_EQ(set != -1, c.riseSetWritten) << c.latDeg << " " << c.decDeg;
    if (c.riseSetWritten) {
      // Symmetric about the transit; the semi-diurnal arc of the Sun's centre
      // at -50' is longer than 6 h at the equinox.
      EXPECT_NEAR((rise + set) / 2, transit, 1e-12);
      EXPECT_GT(set - rise, kPi);
    }
  }
}

TEST(TransitTime, DayBoundaryFlags) {
  TEphemeridsObj e = EngineAt(45.5, 0);
  double transit, rise, set;
  std::uint16_t flags;
  // Just after 0h UT with the body 3h east of the meridian: rise the day before.
  e.transit_time(2460389.5 + 0.01, -3 * kPi / 12, 0.0, 0, 0, transit, rise, set, flags);
  EXPECT_EQ(flags, kRiseBefore0h);
  EXPECT_GE(rise, 0.0);
  EXPECT_LE(rise, kTwoPi);
  // Just before 24h UT with the body 3h west: set the next day... and a transit
  // before that day's 0h is flagged the same way.
  e.transit_time(2460389.5 + 0.99, 3 * kPi / 12, 0.0, 0, 0, transit, rise, set, flags);
  EXPECT_EQ(flags, kSetAfter24h);
  e.transit_time(2460389.5 + 0.01, 1.0, 0.0, 0, 0, transit, rise, set, flags);
  EXPECT_TRUE(flags & kTransitBefore0h);
  e.transit_time(2460389.5 + 0.99, -1.0, 0.0, 0, 0, transit, rise, set, flags);
  EXPECT_TRUE(flags & kTransitAfter24h);
}

TEST(Parallax, OnlyForNearbyBodies) {
  const TEphemeridsObj e = EngineAt(45.5, 3.5);
  double ra = 1.0, dec = 0.3;
  e.Diurnal_parallax(2.0, 1758.9, ra, dec);
  EXPECT_EQ(ra, 1.0);
  EXPECT_EQ(dec, 0.3);
  // At 1 AU: at most the solar parallax, 8.8 arcseconds.
  e.Diurnal_parallax(2.0, 1.0, ra, dec);
  const double shift = std::hypot((ra - 1.0) * std::cos(0.3), dec - 0.3) * kRadToArcsec;
  EXPECT_GT(shift, 1.0);
  EXPECT_LT(shift, 8.8);
}

// Horizontal coordinates of a far body placed on purpose: on the meridian
// south or north of the zenith, or six hours east on the equator.
TEST(Horizontal, AzimuthFromNorthThroughEast) {
  const double J = 2460390.0;
  const TEphemeridsObj e = EngineAt(45.5, 3.5);
  const double last = Calcule_Sideral(J, 3.5) * kDegToRad / 240.0;
  struct Case {
    double raOffset, decDeg, azDeg, altDeg;
  };
  const Case cases[] = {
      {0.0, 10.0, 180.0, 54.5},     // due south
      {0.0, 80.0, 0.0, 55.5},       // due north, above the pole
      {kPi / 2, 0.0, 90.0, 0.0},    // rising due east
      {-kPi / 2, 0.0, 270.0, 0.0},  // setting due west
  };
  for (const Case& c : cases) {
    TAltazResult out;
    const TVector3 pol = {last + c.raOffset, c.decDeg * kDegToRad, 1e6};
    e.Altaz_Loc(pol, 3.5, J, 0, 0, out);
    const double az = out.Topocentric_Azimuth * kRadToDeg;
    const double azError = std::remainder(az - c.azDeg, 360.0);
    EXPECT_NEAR(azError, 0.0, 1e-3) << c.azDeg;
    const double alt = out.Topocentric_Altitude * kRadToDeg - out.Atmospheric_refraction;
    EXPECT_NEAR(alt, c.altDeg, 1e-3) << c.azDeg;
    EXPECT_EQ(out.Atmospheric_refraction, Refraction(alt, 1010, 10));
  }
}

TEST(Horizontal, RefractionRaisesTheRefractedPlace) {
  const double J = 2460390.0;
  const TEphemeridsObj e = EngineAt(45.5, 3.5);
  const double last = Calcule_Sideral(J, 3.5) * kDegToRad / 240.0;
  TAltazResult out;
  // Low in the south-east.
  e.Altaz_Loc({last + 0.8, -20 * kDegToRad, 1e6}, 3.5, J, 0, 0, out);
  EXPECT_GT(out.Atmospheric_refraction, 0.05);
  // Raising a south-eastern body moves it north and towards the meridian.
  EXPECT_GT(out.Atmospheric_refraction_dc, 0.0);
  EXPECT_LT(out.Atmospheric_refraction_ra, 0.0);
  EXPECT_GT(out.Topocentric_Dec, -20 * kDegToRad);
  // The J2000 places are the places of date rotated by the precession: the
  // refraction keeps its size between them.
  const auto sep = [](double ra1, double dec1, double ra2, double dec2) {
    return std::acos(std::sin(dec1) * std::sin(dec2) +
                     std::cos(dec1) * std::cos(dec2) * std::cos(ra1 - ra2));
  };
  const double nowSep = sep(out.Topocentric_RA, out.Topocentric_Dec,
                            out.Topocentric_RA - out.Atmospheric_refraction_ra * 15 / kRadToArcsec,
                            out.Topocentric_Dec - out.Atmospheric_refraction_dc / kRadToArcsec);
  const double j2000Sep =
      sep(out.LocalRA_2000, out.LocalDEC_2000, out.LocalRA_2000_nfr, out.LocalDEC_2000_nfr);
  EXPECT_NEAR(j2000Sep, nowSep, 1e-9);
  EXPECT_GT(std::fabs(out.LocalRA_2000 - out.Topocentric_RA), 0.001);  // ~0.34 deg of precession
  EXPECT_GE(out.LocalRA_2000, 0.0);
  EXPECT_LE(out.LocalRA_2000, kTwoPi);
}

}  // namespace
}  // namespace quorvel::ephem
