// The Sun position service end to end.
#include <gtest/gtest.h>

#include <cmath>

#include "MessageCapture.h"
#include "common/DateTime.h"
#include "common/Errors.h"
#include "ephemeris/Calendar.h"
#include "ephemeris/Engine.h"
#include "ephemeris/SunPosition.h"

namespace quorvel::ephem {
namespace {

// 45.5 N, 3.5 E (west-positive radians for the engine), sea level.
constexpr double kLat = 45.5 * kDegToRad;
constexpr double kLon = -0.061086523819801536;
constexpr TDateTime kReference = 45371.5;  // 2024-03-20 12:00:00 UTC

double Hours(double angle) {
  return angle / kTwoPi * 24.0;
}
int Minutes(double angle) {
  return static_cast<int>(std::lround(Hours(angle) * 60.0));
}

TEST(SunPosition, ReferenceCase) {
  MessageCapture capture;
  const TPlanetparamsOUT sun = GetEphemSunBasic(kReference, kLon, kLat, 0.0);
  EXPECT_EQ(sun.Julian_Day, 2460390.0);
  EXPECT_NEAR(sun.Geocentric_ra * kRadToDeg / 15.0, 0.02263, 5e-6);
  EXPECT_NEAR(sun.Geocentric_dec * kRadToDeg, 0.1471, 5e-5);
  EXPECT_NEAR(sun.Atmospheric_refraction, 0.01635, 5e-6);
  EXPECT_NEAR(sun.Topocentric_Azimuth * kRadToDeg, 182.348, 0.001);
  EXPECT_NEAR(sun.Topocentric_Altitude * kRadToDeg, 44.638, 0.001);

  // Transit 11:53, rise 05:48, set 17:59 UT, no flag.
  EXPECT_EQ(Minutes(sun.approx_local_meridian_transit), 11 * 60 + 53);
  EXPECT_EQ(Minutes(sun.rises_approx), 5 * 60 + 48);
  EXPECT_EQ(Minutes(sun.sets_approx), 17 * 60 + 59);
  EXPECT_EQ(sun.rises_set_Id, 0);

  // The Sun's right ascension gains ~0.91 deg a day and its declination
  // ~0.39 deg; the refracted topocentric place of the next hour adds the
  // change of refraction as the Sun goes down.
  EXPECT_NEAR(sun.Speed_RA * 24 * kRadToDeg, 0.95, 0.1);
  EXPECT_NEAR(sun.Speed_DEC * 24 * kRadToDeg, 0.395, 0.05);

  // Ranges of the angles, and the apparent longitude just past the equinox.
  EXPECT_GE(sun.Geocentric_ra, 0.0);
  EXPECT_LT(sun.Geocentric_ra, kTwoPi);
  EXPECT_GE(sun.Topocentric_RA_Now, 0.0);
  EXPECT_LT(sun.Topocentric_RA_Now, kTwoPi);
  EXPECT_NEAR(mod360(sun.Apparent_longitude * kRadToDeg), 0.37, 0.02);
  // Pressure/temperature refraction at 44.6 deg moves the Sun ~59" north.
  EXPECT_NEAR(sun.Atmospheric_refraction_dc, 0.01635 * 3600 * 0.999, 2.0);
  EXPECT_TRUE(capture.errors.empty());

  double az = 0, elv = 0;
  calcul_SUN_AZ_Elevation(kReference, kLon, kLat, 0.0, az, elv);
  EXPECT_EQ(az, sun.Topocentric_Azimuth);
  EXPECT_EQ(elv, sun.Topocentric_Altitude);
}

// The transit, rise and set of the reference case are those of the Sun's
// daily motions 0.9113 deg in right ascension and 0.3950 deg in declination,
// which the service derives from the light time.
TEST(SunPosition, DailyMotionsOfTheReferenceCase) {
  const TPlanetparamsOUT sun = GetEphemSunBasic(kReference, kLon, kLat, 0.0);
  TEphemeridsObj site;
  site.InitEphemeridsEngine(0.0, 10.0, 1010.0, kLat, kLon);
  double transit, rise, set;
  std::uint16_t flags;
  site.transit_time(sun.Julian_Day, sun.Local_apparent_sidereal_time - sun.Geocentric_ra,
                    sun.Geocentric_dec, 0.9113 * kDegToRad, 0.3950 * kDegToRad, transit, rise, set,
                    flags);
  EXPECT_NEAR(transit, sun.approx_local_meridian_transit, 1e-6);
  EXPECT_NEAR(rise, sun.rises_approx, 1e-6);
  EXPECT_NEAR(set, sun.sets_approx, 1e-6);
  EXPECT_EQ(flags, sun.rises_set_Id);
  // Without them the estimate is off by more than 20 seconds.
  site.transit_time(sun.Julian_Day, sun.Local_apparent_sidereal_time - sun.Geocentric_ra,
                    sun.Geocentric_dec, 0, 0, transit, rise, set, flags);
  EXPECT_GT(std::fabs(rise - sun.rises_approx), kTwoPi / 4320);
}

// At the estimated transit the Sun is due south and at its highest; at the
// estimated rise it is east of north, its centre just below the horizon.
TEST(SunPosition, TransitAndRiseOfTheDay) {
  const TPlanetparamsOUT day = GetEphemSunBasic(kReference, kLon, kLat, 0.0);
  const TDateTime midnight = std::floor(kReference);
  const TDateTime transit = midnight + Hours(day.approx_local_meridian_transit) / 24.0;
  double az, elv, azBefore, elvBefore, azAfter, elvAfter;
  calcul_SUN_AZ_Elevation(transit, kLon, kLat, 0, az, elv);
  calcul_SUN_AZ_Elevation(transit - 10.0 / 1440, kLon, kLat, 0, azBefore, elvBefore);
  calcul_SUN_AZ_Elevation(transit + 10.0 / 1440, kLon, kLat, 0, azAfter, elvAfter);
  EXPECT_NEAR(az * kRadToDeg, 180.0, 0.1);
  EXPECT_GT(elv, elvBefore);
  EXPECT_GT(elv, elvAfter);
  EXPECT_NEAR(elv * kRadToDeg, 90 - 45.5 + 0.0 + 0.02, 0.3);

  const TDateTime rise = midnight + Hours(day.rises_approx) / 24.0;
  calcul_SUN_AZ_Elevation(rise, kLon, kLat, 0, az, elv);
  EXPECT_GT(az, 0.0);
  EXPECT_LT(az, kPi);
  // Centre 50' below the geometric horizon, lifted ~0.6 deg by refraction.
  EXPECT_NEAR(elv * kRadToDeg, -0.833 + 0.62, 0.15);
}

// Without the hour-later evaluation every field is the same, the speeds 0.
TEST(SunPosition, SingleEvaluationGivesTheSamePlace) {
  for (TDateTime t : {kReference, 45371.0, 18000.25, -20000.75, 2958465.99}) {
    const TPlanetparamsOUT at = GetEphemSunAt(t, kLon, kLat, 250.0);
    if (t > 2958465.9) {
      // The last hour of 9999: only the hour-later evaluation is out of range.
      EXPECT_THROW(GetEphemSunBasic(t, kLon, kLat, 250.0), EConvertError);
      EXPECT_FALSE(std::isnan(at.Topocentric_Altitude));
      continue;
    }
    const TPlanetparamsOUT full = GetEphemSunBasic(t, kLon, kLat, 250.0);
    EXPECT_NE(full.Speed_DEC, 0.0);
    EXPECT_EQ(at.Speed_RA, 0.0);
    EXPECT_EQ(at.Speed_DEC, 0.0);
    using F = double TPlanetparamsOUT::*;
    for (F f :
         {&TPlanetparamsOUT::Julian_Day, &TPlanetparamsOUT::Apparent_longitude,
          &TPlanetparamsOUT::Geocentric_ra, &TPlanetparamsOUT::Geocentric_dec,
          &TPlanetparamsOUT::Local_apparent_sidereal_time,
          &TPlanetparamsOUT::Atmospheric_refraction, &TPlanetparamsOUT::Atmospheric_refraction_ra,
          &TPlanetparamsOUT::Atmospheric_refraction_dc, &TPlanetparamsOUT::Topocentric_Altitude,
          &TPlanetparamsOUT::Topocentric_Azimuth, &TPlanetparamsOUT::Topocentric_RA_Now,
          &TPlanetparamsOUT::Topocentric_Dec_now, &TPlanetparamsOUT::Topocentric_RA_2000,
          &TPlanetparamsOUT::Topocentric_DEC_2000, &TPlanetparamsOUT::Topocentric_RA_2000_norefract,
          &TPlanetparamsOUT::Topocentric_DEC_2000_norefract,
          &TPlanetparamsOUT::approx_local_meridian_transit})
      EXPECT_EQ(at.*f, full.*f) << t;
    EXPECT_EQ(at.rises_set_Id, full.rises_set_Id);
    // Rise and set may be NaN (not computed) in both.
    EXPECT_TRUE(at.rises_approx == full.rises_approx ||
                (std::isnan(at.rises_approx) && std::isnan(full.rises_approx)));
    double az, elv;
    calcul_SUN_AZ_Elevation(t, kLon, kLat, 250.0, az, elv);
    EXPECT_EQ(az, at.Topocentric_Azimuth);
    EXPECT_EQ(elv, at.Topocentric_Altitude);
  }
}

TEST(SunPosition, NoRefractionWellBelowTheHorizon) {
  const TPlanetparamsOUT night = GetEphemSunBasic(45371.0, kLon, kLat, 0.0);  // midnight
  EXPECT_LT(night.Topocentric_Altitude * kRadToDeg, -30.0);
  EXPECT_EQ(night.Atmospheric_refraction, 0.0);
  EXPECT_NEAR(night.Atmospheric_refraction_dc, 0.0, 1e-6);
}

TEST(SunPosition, AltitudeRaisesTheHorizonOnlySlightly) {
  double az0, elv0, az3, elv3;
  calcul_SUN_AZ_Elevation(kReference, kLon, kLat, 0, az0, elv0);
  calcul_SUN_AZ_Elevation(kReference, kLon, kLat, 3000, az3, elv3);
  // Parallax changes with the distance from the Earth's centre: micro-degrees.
  EXPECT_NE(elv0, elv3);
  EXPECT_NEAR(elv0, elv3, 1e-7);
}

TEST(SunPosition, YearOutsideTheRangeRaises) {
  for (TDateTime t : {-693594.0 - 10, 2958466.0}) {  // year 0, year 10000
    double az, elv;
    try {
      calcul_SUN_AZ_Elevation(t, kLon, kLat, 0, az, elv);
      ADD_FAILURE() << t;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(),
                   "Error, conversion Julian <-> date, current date must be between 1.0 et "
                   "9999.0 !");
    }
  }
}

TEST(SunPosition, NotANumberSitePropagates) {
  const double nan = std::nan("");
  double az, elv;
  calcul_SUN_AZ_Elevation(kReference, kLon, nan, 0, az, elv);
  EXPECT_TRUE(std::isnan(az));
  EXPECT_TRUE(std::isnan(elv));
  calcul_SUN_AZ_Elevation(kReference, nan, kLat, 0, az, elv);
  EXPECT_TRUE(std::isnan(az));
  EXPECT_TRUE(std::isnan(elv));
  calcul_SUN_AZ_Elevation(kReference, kLon, kLat, nan, az, elv);
  EXPECT_TRUE(std::isnan(elv));
}

// An absurd altitude puts the observer far out: the diurnal aberration then
// moves the right ascension by ~1e287 turns. The request still ends, with
// angles within their turn.
TEST(SunPosition, AbsurdAltitudeStillEnds) {
  for (double altitude : {1e300, -1e300, 8.9e88, 1e30, 1e12}) {
    const TPlanetparamsOUT sun = GetEphemSunBasic(kReference, kLon, kLat, altitude);
    EXPECT_GE(sun.Topocentric_Azimuth, 0) << altitude;
    EXPECT_LE(sun.Topocentric_Azimuth, kTwoPi) << altitude;
    EXPECT_LE(std::fabs(sun.Atmospheric_refraction_ra), 12 * 3600) << altitude;
  }
  double a = 1e200;
  Remet2Pi(a);
  EXPECT_TRUE(a >= 0 && a < kTwoPi) << a;
  const double b = Inside2pi(-3e150);
  EXPECT_TRUE(b >= 0 && b <= kTwoPi) << b;
}

// The hourly speed is a plain difference: it jumps by -2 pi when the
// topocentric right ascension passes 0 within the hour (about 03:45 UT on the
// day of the 2024 March equinox; the site has the Sun high then).
TEST(SunPosition, SpeedJumpsWhenRightAscensionWraps) {
  const double lon = -124.0 * kDegToRad;  // 124 E
  int wraps = 0;
  for (int h = 0; h < 8; ++h) {
    const TPlanetparamsOUT s = GetEphemSunBasic(45371.0 + h / 24.0, lon, 0.0, 0.0);
    if (s.Speed_RA < -kPi) {
      ++wraps;
      EXPECT_NEAR(s.Speed_RA + kTwoPi, 0.0007, 0.0003) << h;
    } else {
      EXPECT_NEAR(s.Speed_RA, 0.0007, 0.0003) << h;
    }
  }
  EXPECT_EQ(wraps, 1);
}

// Before 1899-12-30 a date-time value's fraction counts the other way; the
// hour after is still one hour later, so the speeds keep their sign.
TEST(SunPosition, HourlySpeedBeforeNineteenHundred) {
  const TDateTime old = EncodeDateTime(1850, 5, 1, 12, 0, 0, 0);
  const TDateTime recent = EncodeDateTime(1950, 5, 1, 12, 0, 0, 0);
  ASSERT_LT(old, 0.0);
  const TPlanetparamsOUT a = GetEphemSunBasic(old, kLon, kLat, 0.0);
  const TPlanetparamsOUT b = GetEphemSunBasic(recent, kLon, kLat, 0.0);
  EXPECT_GT(a.Speed_DEC, 0.0);  // declination rising towards June
  EXPECT_NEAR(a.Speed_RA, b.Speed_RA, 2e-5);
  EXPECT_NEAR(a.Speed_DEC, b.Speed_DEC, 2e-5);
}

}  // namespace
}  // namespace quorvel::ephem
