#include "live/LiveSnapshot.h"

#include <cmath>

#include "common/DateTime.h"
#include "common/Format.h"
#include "common/JsonText.h"
#include "common/UtcText.h"

namespace quorvel {

namespace {

std::string Number(const std::optional<double>& v, int decimals) {
  if (!v || !std::isfinite(*v)) return "null";
  return FormatFixed(*v, decimals);
}

std::string Number(double v, int decimals) {
  return Number(std::optional<double>(v), decimals);
}

// The site is a setting, not a measurement: every digit it has.
std::string Exact(double v) {
  if (!std::isfinite(v)) return "null";
  return FormatGeneral(v, 17);
}

class TJsonObject {
 public:
  void Raw(const char* key, const std::string& json) {
    out_ += out_.empty() ? "{" : ",";
    out_ += "\"";
    out_ += key;
    out_ += "\":";
    out_ += json;
  }
  std::string Close() { return (out_.empty() ? "{" : out_) + "}"; }

 private:
  std::string out_;
};

void SiteAndStation(TJsonObject& o, const TLiveSnapshot& s) {
  o.Raw("station", JsonString(s.station));
  o.Raw("latitude_deg", Exact(s.latitudeDeg));
  o.Raw("longitude_deg", Exact(s.longitudeEastDeg));
  o.Raw("altitude_m", Exact(s.altitudeM));
}

}  // namespace

const char* TriggerStateName(TTriggerState state) {
  switch (state) {
    case TTriggerState::Good:
      return "good";
    case TTriggerState::Bad:
      return "bad";
    case TTriggerState::Unknown:
      break;
  }
  return "unknown";
}

const char* InvalidReasonName(TInvalidReason reason) {
  switch (reason) {
    case TInvalidReason::None:
      return "";
    case TInvalidReason::NoInstrument:
      return "no_instrument";
    case TInvalidReason::FailedRead:
      return "failed_read";
    case TInvalidReason::CalibrationMissing:
      return "calibration_missing";
    case TInvalidReason::LowLight:
      return "low_light";
    case TInvalidReason::SeeingOutOfRange:
      return "seeing_out_of_range";
  }
  return "";
}

std::string DefaultStationName(std::optional<std::uint32_t> serialNumber) {
  return serialNumber ? "quorvel-" + std::to_string(*serialNumber) : "quorvel";
}

std::string FormatIsoUtcMs(std::int64_t utcMs) {
  return FormatUtcText(DateTimeFromUnixMs(utcMs)) + "Z";
}

std::string SnapshotJson(const TLiveSnapshot& s) {
  TJsonObject o;
  o.Raw("utc", JsonString(FormatIsoUtcMs(s.utcMs)));
  o.Raw("valid", s.valid ? "true" : "false");
  o.Raw("reason", s.valid ? "null" : JsonString(InvalidReasonName(s.reason)));
  o.Raw("seeing_arcsec", Number(s.seeingArcsec, 2));
  o.Raw("r0_mm", Number(s.r0Mm, 1));
  o.Raw("seeing_zenith_arcsec", Number(s.seeingZenithArcsec, 2));
  o.Raw("r0_zenith_mm", Number(s.r0ZenithMm, 1));
  o.Raw("seeing_1min_arcsec", Number(s.seeing1MinArcsec, 2));
  o.Raw("seeing_5min_arcsec", Number(s.seeing5MinArcsec, 2));
  o.Raw("seeing_1min_zenith_arcsec", Number(s.seeing1MinZenithArcsec, 2));
  o.Raw("seeing_5min_zenith_arcsec", Number(s.seeing5MinZenithArcsec, 2));
  o.Raw("signal_mV", Number(s.signalMv, 1));
  o.Raw("sun_azimuth_deg", Number(s.sunAzimuthDeg, 3));
  o.Raw("sun_elevation_deg", Number(s.sunElevationDeg, 3));
  o.Raw("trigger", JsonString(TriggerStateName(s.trigger)));
  o.Raw("serial_number", s.serialNumber ? std::to_string(*s.serialNumber) : "null");
  SiteAndStation(o, s);
  return o.Close();
}

std::string MeasurementJson(const TLiveSnapshot& s) {
  const TLiveMeasurement& m = *s.measurement;
  TJsonObject o;
  o.Raw("utc", JsonString(FormatIsoUtcMs(m.utcMs)));
  o.Raw("jd", Number(m.julianDay, 7));
  o.Raw("seeing_arcsec", Number(m.seeingArcsec, 2));
  o.Raw("r0_mm", Number(m.r0Mm, 1));
  o.Raw("seeing_zenith_arcsec", Number(m.seeingZenithArcsec, 2));
  o.Raw("r0_zenith_mm", Number(m.r0ZenithMm, 1));
  o.Raw("signal_mV", Number(m.signalMv, 1));
  o.Raw("sun_azimuth_deg", Number(m.sunAzimuthDeg, 3));
  o.Raw("sun_elevation_deg", Number(m.sunElevationDeg, 3));
  SiteAndStation(o, s);
  return o.Close();
}

}  // namespace quorvel
