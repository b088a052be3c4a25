// The Earth's orbit: the root finder with its failure messages, the element
// and perturbation procedures and the general orbit routine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "MessageCapture.h"
#include "ephemeris/Calendar.h"
#include "ephemeris/Engine.h"
#include "ephemeris/KeplerSolver.h"
#include "ephemeris/Obliquity.h"

namespace quorvel::ephem {
namespace {

TEST(Muller, SolvesKeplersEquationToTheThreshold) {
  MessageCapture capture;
  for (double e : {0.0, 0.0167, 0.2, 0.9}) {
    for (double M : {1e-6, 0.3, 1.0, 3.0, 3.14159, 5.0, 6.28}) {
      std::array<double, 4> p = {0, M / 2, M, 0};
      double E = -1;
      EXPECT_TRUE(MullerResolving("t", MaxIter, 1e-14, e, M, p, FunctionKepler0_1, E));
      EXPECT_LE(std::fabs(FunctionKepler0_1(E, e, M)), 1e-14) << "e=" << e << " M=" << M;
      EXPECT_EQ(p[2], E);  // the caller's working points follow the iteration
    }
  }
  EXPECT_TRUE(capture.errors.empty());
}

double NoRealRoot(double x, double, double) {
  return x * x + 1;
}

// Each failure is shown with the caller's label, the iteration, the reason and
// the working points; the result is 0 and false.
TEST(Muller, FailuresAreReportedWithTheirState) {
  struct Case {
    std::array<double, 4> p;
    std::int32_t iterMax;
    TKeplerFunction f;
    double M;
    const char* text;
  };
  const Case cases[] = {
      // M = 0: all three starting points coincide, d = 0.
      {{0, 0, 0, 0},
       MaxIter,
       FunctionKepler0_1,
       0.0,
       "Caller : X Iteration=0 ->Floating point division by zero P0= 0 P1= 0 P2= 0 P3= 0 d= 0"},
      // The parabola through the points has no real root.
      {{-1, 0, 1, 7},
       MaxIter,
       NoRealRoot,
       0.0,
       "Caller : X Iteration=0 ->Determinant <0 P0= -1 P1= 0 P2= 1 P3= 7 d= -2"},
      // One iteration is not enough for 1e-14.
      {{0, 0.5, 1, 0},
       1,
       FunctionKepler0_1,
       1.0,
       "Caller : X Iteration=1 ->Seuil depassé ou I>Itermax P0= 0.5 P1= 1 P2= "},
  };
  for (const Case& c : cases) {
    MessageCapture capture;
    std::array<double, 4> p = c.p;
    double solve = 99;
    EXPECT_FALSE(MullerResolving("Caller : X", c.iterMax, 1e-14, 0.0167, c.M, p, c.f, solve));
    EXPECT_EQ(solve, 0);
    ASSERT_EQ(capture.errors.size(), 1u) << c.text;
    EXPECT_EQ(capture.errors[0].rfind(c.text, 0), 0u) << capture.errors[0];
  }
}

TEST(EarthElements, AtNineteenHundredAndJ2000) {
  TEphemeridsObj engine;
  engine.InitOrbites();
  TOrbit& o = engine.orbit_earth;
  engine.oearth(o, 2415020.0);  // T = 0
  EXPECT_DOUBLE_EQ(o.M, 358.47583);
  EXPECT_DOUBLE_EQ(o.ecc, 0.01675104);
  EXPECT_DOUBLE_EQ(o.i, -0.0130762);
  EXPECT_DOUBLE_EQ(o.w_, 287.511505);
  EXPECT_DOUBLE_EQ(o.Wo, 175.105679);
  EXPECT_NEAR(o.L, 101.093014, 1e-9);
  EXPECT_EQ(o.a, 1.0000002);
  EXPECT_EQ(o.equinox, 2451545.0);
  EXPECT_EQ(o.epoch, 2415020.0);
  EXPECT_EQ(engine.Sav_T, 0.0);
  EXPECT_EQ(engine.Sav_M, o.M);

  engine.oearth(o, 2451545.0);  // T = 1
  EXPECT_NEAR(o.i, 0.000000044, 1e-15);
  EXPECT_EQ(engine.Sav_T, 1.0);
}

TEST(EarthElements, InitialRecord) {
  TEphemeridsObj engine;
  engine.InitOrbites();
  const TOrbit& o = engine.orbit_earth;
  EXPECT_STREQ(o.obname, "Earth");
  EXPECT_EQ(o.epoch, 2446800.5);
  EXPECT_EQ(o.w_, 102.884);
  EXPECT_EQ(o.a, 0.999999);
  EXPECT_EQ(o.dm, 0.985611);
  EXPECT_EQ(o.ecc, 0.016713);
  EXPECT_EQ(o.M, 1.1791);
  EXPECT_EQ(o.mag, -3.86);
  EXPECT_TRUE(o.xoelmnt);
  EXPECT_TRUE(o.oelmnt == &TEphemeridsObj::oearth);
  EXPECT_FALSE(o.xcelmnt1);
  EXPECT_TRUE(o.xcelmnt2);
  EXPECT_TRUE(o.celmnt2 == &TEphemeridsObj::cearth);
  EXPECT_EQ(o.plat, 0.0);
  EXPECT_STREQ(engine.orbit_Jupiter.obname, "Jupiter");
  EXPECT_STREQ(engine.orbit_pluton.obname, "Pluto");
}

// The Earth's heliocentric place for a few dates: rect is the ecliptic polar
// position turned to the J2000 equator (no precession), the distance stays
// within the perturbation terms of the unperturbed ellipse, and the mean
// longitude follows the year.
TEST(Kepler, EarthPositionIsConsistent) {
  MessageCapture capture;
  double eps, coseps, sineps;
  Ecliptic_Obliquity(kJ2000, eps, coseps, sineps);
  for (double jd : {2415020.0, 2433282.5, 2451545.0, 2460390.0, 2469807.5, 2488069.5}) {
    TEphemeridsObj engine;
    engine.InitEphemeridsEngine(0, 10, 1010, 0, 0);
    TVector3 rect, polar;
    EXPECT_TRUE(engine.Kepler("Test", jd, kKeplerThreshold, rect, polar, engine.orbit_earth));
    const double lon = polar[0], lat = polar[1], r = polar[2];
    const double x = r * std::cos(lat) * std::cos(lon), y = r * std::cos(lat) * std::sin(lon),
                 z = r * std::sin(lat);
    EXPECT_NEAR(rect[0], x, 1e-15);
    EXPECT_NEAR(rect[1], coseps * y - sineps * z, 1e-15);
    EXPECT_NEAR(rect[2], sineps * y + coseps * z, 1e-15);
    // The orbit is tilted on the J2000 ecliptic by at most 0.0131 degree.
    EXPECT_LT(std::fabs(lat), 0.0131 * kDegToRad);
    EXPECT_GT(r, 0.983);
    EXPECT_LT(r, 1.017);

    // The same record without its perturbation procedure.
    TOrbit bare = engine.orbit_earth;
    bare.xcelmnt2 = false;
    TVector3 rect0, polar0;
    engine.Kepler("Test", jd, kKeplerThreshold, rect0, polar0, bare);
    EXPECT_LE(std::fabs(polar[2] - polar0[2]), 0.0000775) << jd;
    EXPECT_LE(std::fabs(lon - polar0[0]) * kRadToDeg, 0.00845) << jd;
    EXPECT_NE(polar[2], polar0[2]);
  }
  EXPECT_TRUE(capture.errors.empty());
}

// A mean anomaly of exactly 0 defeats the root finder; the failure is shown
// with the body and the date, and the computation goes on with E = 0, which is
// the right root: the body is at perihelion.
TEST(Kepler, ZeroMeanAnomalyIsReportedAndComputationGoesOn) {
  MessageCapture capture;
  TEphemeridsObj engine;
  TOrbit probe{};
  std::snprintf(probe.obname, sizeof probe.obname, "Probe");
  probe.epoch = kJ2000;
  probe.a = 2.0;
  probe.dm = 0.5;
  probe.ecc = 0.1;
  probe.M = 0;
  probe.w_ = 30;
  probe.equinox = kJ2000;
  TVector3 rect, polar;
  EXPECT_TRUE(engine.Kepler("Test", kJ2000, kKeplerThreshold, rect, polar, probe));
  ASSERT_EQ(capture.errors.size(), 1u);
  EXPECT_EQ(capture.errors[0],
            "Caller : Test   S_1448ProbeS_14490.1 JD= 2451545 Iteration=0 ->Floating point "
            "division by zero P0= 0 P1= 0 P2= 0 P3= 0 d= 0");
  EXPECT_NEAR(polar[0], 30 * kDegToRad, 1e-15);
  EXPECT_EQ(polar[1], 0.0);
  EXPECT_NEAR(polar[2], 2.0 * (1 - 0.1), 1e-15);
}

// A record without elements (the empty asteroid record) cannot give a daily
// motion; the failure is shown and nothing is thrown.
TEST(Kepler, EmptyRecordIsReported) {
  MessageCapture capture;
  TEphemeridsObj engine;
  engine.InitOrbites();
  TVector3 rect, polar;
  EXPECT_TRUE(engine.Kepler("Test", kJ2000, kKeplerThreshold, rect, polar, engine.orbit_Asteroid));
  ASSERT_FALSE(capture.errors.empty());
  EXPECT_EQ(capture.errors.back(), "Test [] ->Floating point division by zero");
}

}  // namespace
}  // namespace quorvel::ephem
