#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iomanip>
#include <random>
#include <vector>

#include "common/Clock.h"
#include "common/DateTime.h"
#include "common/Errors.h"
#include "ephemeris/Calendar.h"

namespace quorvel::ephem {
namespace {

TEST(JulianDay, ReferenceInstants) {
  EXPECT_EQ(Convert_TdateTime2Julian_day(36526.5), 2451545.0);
  EXPECT_EQ(Convert_TdateTime2Julian_day(45371.5), 2460390.0);
  EXPECT_EQ(ConvertDate2Julian(2000, 1, 1.5), 2451545.0);
  // 1 January of year 1 at 0h is JD 1721425.5 in the proleptic Gregorian calendar.
  EXPECT_EQ(ConvertDate2Julian(1, 1, 1.0), 1721425.5);
}

// The conversion of a date-time value is that of its calendar date and time
// of day, to the bit: split, day of the month plus the fraction built from the
// truncated millisecond, Julian day of that date. Every day of the month (the
// sum's rounding depends on it), both signs of date-time value, years 1 to 9999.
TEST(JulianDay, DateTimeValueAsItsCalendarDate) {
  std::mt19937_64 gen(20261210);
  const double first = EncodeDate(1, 1, 1), end = EncodeDate(9999, 12, 31) + 1;
  std::vector<double> values = {first, end - 1e-9, 0.0, -0.25, -1.75, 36526.5, 45371.99999999999};
  for (int i = 0; i < 20000; ++i)
    values.push_back(first + (end - first) * (static_cast<double>(gen() >> 11) * 0x1.0p-53));
  for (int day = 1; day <= 31; ++day) values.push_back(EncodeDate(2024, 1, day) + 0.123456789);
  for (double v : values) {
    int y, mo, dd, h, mi, s, ms;
    DecodeDateTime(v, y, mo, dd, h, mi, s, ms);
    const double d = (((ms / 1000.0 + s) / 60.0 + mi) / 60.0 + h) / 24.0;
    const double want = ConvertDate2Julian(y, mo, dd + d);
    const double got = Convert_TdateTime2Julian_day(v);
    ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0)
        << std::setprecision(17) << v << ": " << got << " instead of " << want;
  }
}

TEST(JulianDay, LastMillisecondStaysOnItsDay) {
  const double v = EncodeDateTime(2024, 3, 20, 23, 59, 59, 999);
  const double jd = Convert_TdateTime2Julian_day(v);
  EXPECT_LT(jd, 2460390.5);
  EXPECT_NEAR(jd, 2460389.5 + 86399.999 / 86400.0, 1e-9);
}

TEST(JulianDay, YearOutsideRangeRaisesTheRangeMessage) {
  for (int year : {0, 10000, -5}) {
    try {
      ConvertDate2Julian(year, 1, 1.0);
      ADD_FAILURE() << year;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(),
                   "Error, conversion Julian <-> date, current date must be between 1.0 et "
                   "9999.0 !");
    }
  }
  // Date-time values that hold no year at all.
  for (double v : {std::nan(""), 1e300, -1e300, HUGE_VAL}) {
    try {
      Convert_TdateTime2Julian_day(v);
      ADD_FAILURE() << v;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(),
                   "Error, conversion Julian <-> date, current date must be between 1.0 et "
                   "9999.0 !");
    }
  }
}

TEST(UtcClock, ReadsTheInjectedClockToTheMillisecond) {
  VirtualClock clock(1710936000123LL);
  ScopedClock use(clock);
  EXPECT_DOUBLE_EQ(Service_DATE_TIME_UTC(), 45371.5 + 123 / 86400000.0);
}

TEST(Angles, Normalisations) {
  double a = 1000;
  Remet2Pi(a);
  EXPECT_NEAR(a, 1000 - 159 * kTwoPi, 1e-12);
  EXPECT_NEAR(a, 0.97353, 1e-5);
  a = -0.5;
  Remet2Pi(a);
  EXPECT_DOUBLE_EQ(a, kTwoPi - 0.5);
  a = kTwoPi;
  Remet2Pi(a);
  EXPECT_EQ(a, 0);

  EXPECT_EQ(modtp(kTwoPi), 0);
  EXPECT_EQ(modtp(1e12), 1e12);  // turns beyond 32 bits: unchanged
  EXPECT_EQ(Inside2pi(kTwoPi), kTwoPi);
  EXPECT_DOUBLE_EQ(Inside2pi(-0.1), kTwoPi - 0.1);
  EXPECT_EQ(mod360(-30), 330);
  EXPECT_EQ(mod360(360), 0);
  EXPECT_EQ(mod360(720.5), 0.5);
}

// One period is below the resolution of these values: stepping by it would
// never end. They come out in range all the same.
TEST(Angles, HugeAnglesComeOutInRange) {
  for (double big : {1e300, -1e300, 3e20, -7.5e17, 1e6}) {
    double a = big;
    Remet2Pi(a);
    EXPECT_GE(a, 0) << big;
    EXPECT_LT(a, kTwoPi) << big;
    const double in = Inside2pi(big);
    EXPECT_GE(in, 0) << big;
    EXPECT_LE(in, kTwoPi) << big;
    const double deg = mod360(big);
    EXPECT_GE(deg, 0) << big;
    EXPECT_LE(deg, 360) << big;
  }
}

TEST(Angles, Zatan2Quadrants) {
  struct Case {
    double x, y, expected;
  } cases[] = {
      {0, 0, 0},       {0, 2, kPi / 2},   {0, -2, 4.71238898038469}, {1, 0, 0},
      {-1, 0, -kPi},   {1, -1, -kPi / 4}, {-1, -1, 5 * kPi / 4},     {-1, 1, 3 * kPi / 4},
      {1, 1, kPi / 4},
  };
  for (const auto& c : cases) EXPECT_NEAR(zatan2(c.x, c.y), c.expected, 1e-14) << c.x << "," << c.y;
  EXPECT_TRUE(std::isnan(zatan2(std::nan(""), 1)));
}

}  // namespace
}  // namespace quorvel::ephem
