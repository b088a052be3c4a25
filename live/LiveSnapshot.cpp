#include "live/LiveSnapshot.h"

#include <cmath>

#include "common/DateTime.h"
#include "common/Format.h"
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

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20)
            out += "\\u00" + FormatHex(c, 2);
          else
            out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A whole, shortest-form UTF-8 sequence is copied; anything else is
    // replaced, so the output is always valid UTF-8.
    std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) ok = (p[i + k] & 0xC0) == 0x80;
    if (ok && len == 3) {
      const unsigned cp = ((c & 0x0Fu) << 12) | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu);
      ok = cp >= 0x800 && !(cp >= 0xD800 && cp <= 0xDFFF);
    }
    if (ok && len == 4) {
      const unsigned cp = ((c & 0x07u) << 18) | ((p[i + 1] & 0x3Fu) << 12) |
                          ((p[i + 2] & 0x3Fu) << 6) | (p[i + 3] & 0x3Fu);
      ok = cp >= 0x10000 && cp <= 0x10FFFF;
    }
    if (ok) {
      out.append(text, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out + "\"";
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
