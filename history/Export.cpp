#include "history/Export.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace quorvel::history {

namespace {

struct TColumn {
  const char* name;
  const char* unit;  // astropy unit text; empty for none
  const char* description;
};

constexpr std::array<TColumn, 9> kColumns{{
    {"utc", "", "UTC time of the measurement, ISO 8601"},
    {"julian_day", "d", "Julian day of the UTC time"},
    {"signal", "mV", "useful photodiode signal"},
    {"seeing", "arcsec", "seeing along the line of sight"},
    {"r0", "mm", "Fried parameter r0 along the line of sight"},
    {"azimuth", "deg", "Sun azimuth from north through east"},
    {"elevation", "deg", "Sun elevation, refraction included"},
    {"seeing_zenith", "arcsec", "seeing corrected to the zenith"},
    {"r0_zenith", "mm", "r0 corrected to the zenith"},
}};

// Shortest text that reads back as the same double; nan/inf as Python and
// numpy read them.
std::string Value(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char s[40];
  for (int precision = 6; precision <= 17; ++precision) {
    std::snprintf(s, sizeof s, "%.*g", precision, v);
    if (std::strtod(s, nullptr) == v) break;
  }
  return s;
}

// YAML single-quoted scalar.
std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "''";
    else if (static_cast<unsigned char>(c) < 0x20)
      out += ' ';
    else
      out += c;
  }
  return out + "'";
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

TExportWriter::TExportWriter(std::ostream& out, TExportFormat format, const TReportMeta& meta)
    : out_(out), format_(format) {
  if (format_ == TExportFormat::Ecsv) {
    out_ << "# %ECSV 1.0\n# ---\n# datatype:\n";
    for (const auto& c : kColumns) {
      out_ << "# - {name: " << c.name;
      if (*c.unit) out_ << ", unit: " << c.unit;
      out_ << ", datatype: " << (c.name == std::string("utc") ? "string" : "float64")
           << ", description: " << Quoted(c.description) << "}\n";
    }
    out_ << "# meta:\n";
    out_ << "#   station: " << Quoted(meta.station) << "\n";
    if (meta.siteKnown) {
      out_ << "#   site_latitude_deg: " << Value(meta.latitudeDeg) << "\n";
      out_ << "#   site_longitude_east_deg: " << Value(meta.longitudeEastDeg) << "\n";
      out_ << "#   site_altitude_m: " << Value(meta.altitudeM) << "\n";
    }
    out_ << "#   site: " << Quoted(meta.site) << "\n";
    out_ << "#   source: " << Quoted(meta.generator) << "\n";
    for (std::size_t i = 0; i < kColumns.size(); ++i) out_ << (i ? " " : "") << kColumns[i].name;
    out_ << "\n";
  } else {
    out_ << "# station: " << meta.station << "\n# site: " << meta.site << "\n";
    if (meta.siteKnown)
      out_ << "# site_latitude_deg: " << Value(meta.latitudeDeg)
           << "\n# site_longitude_east_deg: " << Value(meta.longitudeEastDeg)
           << "\n# site_altitude_m: " << Value(meta.altitudeM) << "\n";
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
      // The unit goes into the name, except the Julian day's "d".
      std::string name = kColumns[i].name;
      if (*kColumns[i].unit && i != 1) name += std::string("_") + kColumns[i].unit;
      out_ << (i ? "," : "") << CsvField(name);
    }
    out_ << "\n";
  }
}

void TExportWriter::Add(const TMeasurement& m) {
  const char sep = format_ == TExportFormat::Ecsv ? ' ' : ',';
  char jd[32];
  std::snprintf(jd, sizeof jd, "%.7f", m.julianDay);
  out_ << IsoUtc(m.unixSeconds) << sep << jd;
  for (double v : {m.signalMv, m.seeing, m.r0, m.azimuth, m.elevation, m.seeingZenith, m.r0Zenith})
    out_ << sep << Value(v);
  out_ << '\n';
  ++rows_;
}

}  // namespace quorvel::history
