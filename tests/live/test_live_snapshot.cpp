#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "live/LiveSnapshot.h"

namespace quorvel {
namespace {

constexpr std::int64_t kNoon = 1782043200000LL;  // 2026-06-21 12:00:00 UTC

TLiveSnapshot Valid() {
  TLiveSnapshot s;
  s.utcMs = kNoon + 7;
  s.valid = true;
  s.reason = TInvalidReason::None;
  s.seeingArcsec = 1.2305236;
  s.r0Mm = 92.19;
  s.seeingZenithArcsec = 1.1;
  s.r0ZenithMm = 103.84;
  s.signalMv = 605.0477;
  s.sunAzimuthDeg = 180.0004;
  s.sunElevationDeg = 67.9456;
  s.serialNumber = 4294900475u;
  s.station = DefaultStationName(s.serialNumber);
  s.latitudeDeg = 45.5;
  s.longitudeEastDeg = 3.5;
  s.altitudeM = 420;
  s.trigger = TTriggerState::Good;
  return s;
}

bool Has(const std::string& json, const std::string& part) {
  return json.find(part) != std::string::npos;
}

TEST(LiveSnapshot, JsonCarriesTheFileDecimalsAndTheSite) {
  const std::string j = SnapshotJson(Valid());
  for (const char* part :
       {"\"utc\":\"2026-06-21T12:00:00.007Z\"", "\"valid\":true", "\"reason\":null",
        "\"seeing_arcsec\":1.23", "\"r0_mm\":92.2", "\"seeing_zenith_arcsec\":1.10",
        "\"r0_zenith_mm\":103.8", "\"seeing_1min_arcsec\":null", "\"seeing_5min_arcsec\":null",
        "\"signal_mV\":605.0", "\"sun_azimuth_deg\":180.000", "\"sun_elevation_deg\":67.946",
        "\"trigger\":\"good\"", "\"station\":\"quorvel-4294900475\"", "\"latitude_deg\":45.5",
        "\"longitude_deg\":3.5", "\"altitude_m\":420", "\"serial_number\":4294900475"})
    EXPECT_TRUE(Has(j, part)) << part << " in " << j;
  EXPECT_EQ(j.front(), '{');
  EXPECT_EQ(j.back(), '}');
}

// A value that does not exist is null, never a number: NaN and infinities
// included, which JSON cannot carry.
TEST(LiveSnapshot, MissingAndNonFiniteValuesAreNull) {
  TLiveSnapshot s;
  s.utcMs = kNoon;
  s.reason = TInvalidReason::LowLight;
  s.station = DefaultStationName(std::nullopt);
  s.signalMv = std::numeric_limits<double>::quiet_NaN();
  s.sunElevationDeg = std::numeric_limits<double>::infinity();
  const std::string j = SnapshotJson(s);
  for (const char* key :
       {"seeing_arcsec", "r0_mm", "seeing_zenith_arcsec", "r0_zenith_mm", "seeing_1min_arcsec",
        "seeing_5min_arcsec", "signal_mV", "sun_azimuth_deg", "sun_elevation_deg", "serial_number"})
    EXPECT_TRUE(Has(j, std::string("\"") + key + "\":null")) << key << " in " << j;
  EXPECT_TRUE(Has(j, "\"valid\":false"));
  EXPECT_TRUE(Has(j, "\"reason\":\"low_light\""));
  EXPECT_TRUE(Has(j, "\"trigger\":\"unknown\""));
  EXPECT_TRUE(Has(j, "\"station\":\"quorvel\""));
  EXPECT_FALSE(Has(j, "nan"));
  EXPECT_FALSE(Has(j, "NAN"));
  EXPECT_FALSE(Has(j, "INF"));
}

TEST(LiveSnapshot, MeasurementIsTheLineAndAlwaysTheSameText) {
  TLiveSnapshot s = Valid();
  TLiveMeasurement m;
  m.utcMs = s.utcMs;
  m.julianDay = 2461213.0000001;
  m.signalMv = 605.0477;
  m.seeingArcsec = 1.2305236;
  m.r0Mm = 92.19;
  m.sunAzimuthDeg = 180.0004;
  m.sunElevationDeg = 67.9456;
  m.seeingZenithArcsec = 1.1;
  m.r0ZenithMm = 103.84;
  s.measurement = m;
  const std::string j = MeasurementJson(s);
  for (const char* part :
       {"\"utc\":\"2026-06-21T12:00:00.007Z\"", "\"jd\":2461213.0000001", "\"seeing_arcsec\":1.23",
        "\"r0_mm\":92.2", "\"seeing_zenith_arcsec\":1.10", "\"r0_zenith_mm\":103.8",
        "\"signal_mV\":605.0", "\"sun_azimuth_deg\":180.000", "\"sun_elevation_deg\":67.946",
        "\"station\":\"quorvel-4294900475\"", "\"latitude_deg\":45.5"})
    EXPECT_TRUE(Has(j, part)) << part << " in " << j;
  // What changes from cycle to cycle but is not the line stays out of it.
  s.trigger = TTriggerState::Bad;
  s.seeing1MinArcsec = 3;
  EXPECT_EQ(MeasurementJson(s), j);
  EXPECT_FALSE(Has(j, "trigger"));
}

TEST(LiveSnapshot, JsonStringsAreEscapedAndValidUtf8) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line\nfeed\ttab\r", "\"line\\nfeed\\ttab\\r\""},
      {std::string("\x01", 1), "\"\\u0001\""},
      {"Puy-de-D\xC3\xB4me", "\"Puy-de-D\xC3\xB4me\""},
      {"\xE2\x80\xB3", "\"\xE2\x80\xB3\""},                          // double prime, 3 bytes
      {"\xF0\x9F\x8C\x9E", "\"\xF0\x9F\x8C\x9E\""},                  // 4 bytes
      {"\xFF", "\"\xEF\xBF\xBD\""},                                  // never valid
      {"\xC3", "\"\xEF\xBF\xBD\""},                                  // cut short
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

TEST(LiveSnapshot, NamesOfStatesAndReasons) {
  EXPECT_STREQ(TriggerStateName(TTriggerState::Good), "good");
  EXPECT_STREQ(TriggerStateName(TTriggerState::Bad), "bad");
  EXPECT_STREQ(TriggerStateName(TTriggerState::Unknown), "unknown");
  EXPECT_STREQ(InvalidReasonName(TInvalidReason::NoInstrument), "no_instrument");
  EXPECT_STREQ(InvalidReasonName(TInvalidReason::FailedRead), "failed_read");
  EXPECT_STREQ(InvalidReasonName(TInvalidReason::CalibrationMissing), "calibration_missing");
  EXPECT_STREQ(InvalidReasonName(TInvalidReason::SeeingOutOfRange), "seeing_out_of_range");
  EXPECT_EQ(FormatIsoUtcMs(0), "1970-01-01T00:00:00.000Z");
}

}  // namespace
}  // namespace quorvel
