// What every live output (the live file, the network outputs) receives once
// per acquisition cycle: one immutable record of the cycle, and its JSON form.
// Plain C++, no Qt, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/JsonText.h"

namespace quorvel {

// The seeing trigger's state as outputs name it.
enum class TTriggerState { Unknown, Good, Bad };
// "unknown", "good", "bad"
const char* TriggerStateName(TTriggerState state);

// Why a cycle has no valid seeing.
enum class TInvalidReason {
  None,                // valid
  NoInstrument,        // no instrument attached, or acquisition stopped
  FailedRead,          // no answer, or not a measurement
  CalibrationMissing,  // the instrument's calibration is erased
  LowLight,            // signal at or below the minimum (night, clouds)
  SeeingOutOfRange,    // light enough, but the seeing is not valid
};
// "no_instrument", "failed_read", "calibration_missing", "low_light",
// "seeing_out_of_range"; "" for None.
const char* InvalidReasonName(TInvalidReason reason);

// The values of one results-file line, as the line prints them.
struct TLiveMeasurement {
  std::int64_t utcMs = 0;
  double julianDay = 0;
  double signalMv = 0;
  double seeingArcsec = 0;
  double r0Mm = 0;
  double sunAzimuthDeg = 0;
  double sunElevationDeg = 0;
  double seeingZenithArcsec = 0;
  double r0ZenithMm = 0;
};

struct TLiveSnapshot {
  std::int64_t utcMs = 0;  // the cycle's UTC instant
  bool valid = false;
  TInvalidReason reason = TInvalidReason::NoInstrument;
  // The cycle's instant values (line of sight and zenith); set when valid.
  std::optional<double> seeingArcsec, r0Mm, seeingZenithArcsec, r0ZenithMm;
  // The 1- and 5-minute means of the line-of-sight seeing and their zenith
  // values, once the buffer covers the interval.
  std::optional<double> seeing1MinArcsec, seeing5MinArcsec;
  std::optional<double> seeing1MinZenithArcsec, seeing5MinZenithArcsec;
  // Whenever the report was decoded.
  std::optional<double> signalMv;
  std::optional<double> sunAzimuthDeg, sunElevationDeg;
  // The instrument's serial number, once read.
  std::optional<std::uint32_t> serialNumber;
  // The station's name (outputs may be configured with one; by default it
  // comes from the serial number, see DefaultStationName).
  std::string station;
  // The site: degrees, north and EAST positive, metres.
  double latitudeDeg = 0;
  double longitudeEastDeg = 0;
  double altitudeM = 0;
  TTriggerState trigger = TTriggerState::Unknown;
  // The results line written in this cycle, if any.
  std::optional<TLiveMeasurement> measurement;
};

// "quorvel-<serial>" or "quorvel" before a serial number is known.
std::string DefaultStationName(std::optional<std::uint32_t> serialNumber);

// "2026-06-21T09:30:00.000Z"
std::string FormatIsoUtcMs(std::int64_t utcMs);

// The snapshot as one JSON object (UTF-8, no newline). Values that do not
// exist are null, never a number. Values carry the decimals of the results
// file (seeing 2, r0 1, signal 1, angles 3), so a reader compares them with
// the file's line exactly.
std::string SnapshotJson(const TLiveSnapshot& snapshot);

// The measurement of the cycle under the snapshot's keys plus "jd"; the
// same measurement always gives the same text. Requires `measurement`.
std::string MeasurementJson(const TLiveSnapshot& snapshot);

}  // namespace quorvel
