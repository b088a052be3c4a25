#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/Clock.h"
#include "common/DateTime.h"
#include "common/Errors.h"

namespace quorvel {
namespace {

TEST(DateTime, KnownDates) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1999, 3, 3), 36222);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(2024, 3, 20), 45371);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixDateDelta);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
}

TEST(DateTime, EveryDayRoundTripsAcrossTheWholeRange) {
  // Walk every day from 0001-01-01 to 9999-12-31 and compare with a counter.
  double expected = EncodeDate(1, 1, 1);
  int y, m, d;
  for (int year = 1; year <= 9999; ++year)
    for (int month = 1; month <= 12; ++month)
      for (int day = 1; day <= DaysInMonth(year, month); ++day) {
        ASSERT_EQ(EncodeDate(year, month, day), expected) << year << "-" << month << "-" << day;
        DecodeDate(expected, y, m, d);
        ASSERT_TRUE(y == year && m == month && d == day) << expected;
        expected += 1;
      }
}

TEST(DateTime, ImpossibleDatesAndTimesRaise) {
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(10000, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
}

TEST(DateTime, TimeOfDayIsTruncatedAndNeverRollsOver) {
  int h, m, s, ms;
  const double v = EncodeDateTime(2026, 12, 31, 23, 59, 59, 999);
  DecodeTime(v, h, m, s, ms);
  EXPECT_EQ(h * 10000000 + m * 100000 + s * 1000 + ms, 235959999);
  int y, mo, d;
  DecodeDate(v, y, mo, d);
  EXPECT_EQ(d, 31);
  // Every millisecond of a few seconds around noon survives the float.
  for (int k = 0; k < 3000; ++k) {
    const double t = EncodeDate(2024, 3, 20) + EncodeTime(12, 0, k / 1000, k % 1000);
    DecodeTime(t, h, m, s, ms);
    ASSERT_EQ(s * 1000 + ms, k);
  }
}

TEST(DateTime, NegativeValuesCountTheTimeForward) {
  const double v = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_DOUBLE_EQ(v, -1.25);
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(v, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(y * 10000 + mo * 100 + d, 18991229);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(UnixMsFromDateTime(v), UnixMsFromDateTime(DateTimeFromUnixMs(UnixMsFromDateTime(v))));
}

TEST(DateTime, UnixMillisecondsRoundTrip) {
  for (std::int64_t ms : {0LL, 1LL, 1710936000123LL, -1LL, -2209161600000LL, 253402300799999LL}) {
    EXPECT_EQ(UnixMsFromDateTime(DateTimeFromUnixMs(ms)), ms) << ms;
  }
  EXPECT_DOUBLE_EQ(DateTimeFromUnixMs(1710936000000LL), 45371.5);  // 2024-03-20 12:00 UTC
}

TEST(Clock, VirtualClockDrivesUtcAndLocalTime) {
  ::setenv("TZ", "Europe/Paris", 1);
  ::tzset();
  VirtualClock clock(1710936000000LL);  // 2024-03-20 12:00:00 UTC, 13:00 in Paris
  ScopedClock use(clock);
  EXPECT_DOUBLE_EQ(NowUTC(), 45371.5);
  EXPECT_NEAR(Now(), 45371.5 + 1.0 / 24, 1e-9);
  // End of summer time: 2024-10-27 01:00 UTC, local clock goes back 03:00 -> 02:00.
  clock.Set(1729990800000LL - 1000);
  const double before = Now();
  clock.Advance(2000);
  EXPECT_LT(Now(), before);
  TSystemTime st;
  GetSystemTime(st);
  EXPECT_EQ(st.wHour, 1);
  EXPECT_EQ(st.wSecond, 1);
  ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// The zone's file changes under a running program (an administrator sets
// another zone): local time follows at the next look, without a restart.
TEST(TimeZone, AChangedZoneFileIsLoadedAgain) {
  const std::string utc = "/usr/share/zoneinfo/UTC";
  const std::string east = "/usr/share/zoneinfo/Etc/GMT-14";
  if (!std::filesystem::exists(utc) || !std::filesystem::exists(east))
    GTEST_SKIP() << "tzdata is not installed";
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorvel_tz_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto zone = dir / "localtime";
  std::filesystem::copy_file(utc, zone);
  const char* saved = std::getenv("TZ");
  const std::string keep = saved ? saved : "";
  ::setenv("TZ", zone.c_str(), 1);
  ::tzset();
  VirtualClock clock(UnixMsFromDateTime(EncodeDateTime(2026, 5, 3, 11, 0, 0, 0)));
  ScopedClock scoped(clock);
  RefreshTimeZone();  // the first look only notes the zone
  EXPECT_EQ(LocalUtcOffsetSeconds(clock.UtcMs()), 0);

  std::filesystem::copy_file(east, dir / "new");
  std::filesystem::rename(dir / "new", zone);
  clock.Advance(5000);
  EXPECT_FALSE(RefreshTimeZone(10000)) << "looked again too soon";
  clock.Advance(5000);
  EXPECT_TRUE(RefreshTimeZone(10000));
  EXPECT_EQ(LocalUtcOffsetSeconds(clock.UtcMs()), 14 * 3600);
  int y, mo, d;
  DecodeDate(Now(), y, mo, d);
  EXPECT_EQ(d, 4);
  clock.Advance(20000);
  EXPECT_FALSE(RefreshTimeZone(10000)) << "nothing changed since";

  if (saved)
    ::setenv("TZ", keep.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvel
