// What the network archive stores of one measurement message: the checks of
// a station's payload and the row they give. Plain C++, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::archive {

// One row of the measurements table, with the station's site as the
// message carried it. The numbers keep the message's own text too, so the
// database reads exactly the decimal the station printed.
struct TArchiveRow {
  std::string station;
  std::int64_t utcMs = 0;
  std::string utc;  // "2026-05-03T08:00:00.000Z"
  double jd = 0, signalMv = 0, seeing = 0, r0 = 0, azimuth = 0, elevation = 0;
  double seeingZenith = 0, r0Zenith = 0;
  double latitudeDeg = 0, longitudeEastDeg = 0, altitudeM = 0;
  // The same values as the payload wrote them, in the order of kValueKeys.
  std::string text[11];
};

// The payload's keys for TArchiveRow::text, in order: jd, signal_mV,
// seeing_arcsec, r0_mm, sun_azimuth_deg, sun_elevation_deg,
// seeing_zenith_arcsec, r0_zenith_mm, latitude_deg, longitude_deg, altitude_m.
extern const char* const kValueKeys[11];

// The station level of "<prefix>/<station>/<kind>", or nothing when the
// topic is not one of these.
std::optional<std::string> StationOfTopic(std::string_view prefix, std::string_view topic,
                                          std::string_view kind = "measurement");

// Reads a measurement payload. Returns nothing and the reason in `error`
// when it is not a JSON object, lacks a key, has a value of the wrong kind or
// out of range, or names another station than its topic.
std::optional<TArchiveRow> ParseMeasurement(std::string_view topicStation, std::string_view payload,
                                            std::string& error);

// The instrument's serial number (decimal text) of a station's retained
// state payload. Nothing with an empty `error` while the station has not
// read its instrument yet (null); nothing with the reason when the payload
// is not a JSON object, names another station than its topic, or its
// "serial_number" is not a whole number 0..4294967295.
std::optional<std::string> ParseStateInstrument(std::string_view topicStation,
                                                std::string_view payload, std::string& error);

// "2026-05-03T08:00:00.000Z" -> milliseconds since 1970; nothing when the
// text is not exactly of that form or not a real instant.
std::optional<std::int64_t> ParseIsoUtcMs(std::string_view text);

}  // namespace quorvel::archive
