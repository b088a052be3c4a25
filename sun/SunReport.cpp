#include "sun/SunReport.h"

#include <cctype>
#include <cmath>
#include <istream>
#include <ostream>

#include "common/Errors.h"
#include "common/Format.h"
#include "ephemeris/Calendar.h"
#include "ephemeris/SunPosition.h"

namespace quorvel::ephem {

namespace {

constexpr const char* kTool = "quorvel-sun";
// Angles are written with this many decimals (1e-7 degree is 0.4 milliarcsecond).
constexpr int kAngleDecimals = 7;
// Longitudes are taken modulo the full turn, but a value beyond one turn is
// more likely a typing error than a site.
constexpr double kLongitudeLimit = 360.0;

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width)
    s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Reads exactly `count` digits at pos.
std::string Quoted(std::string_view s) {
  return "\"" + std::string(s) + "\"";
}

// The hh:mm of a UT time with a note on the day it falls in.
std::string UtWithDay(double hours, bool nextDay, bool previousDay) {
  std::string s = FormatHoursMinutes(hours) + " UT";
  if (nextDay) s += " (next day)";
  if (previousDay) s += " (previous day)";
  return s;
}

std::string RiseSetText(double hours, std::uint16_t flags, bool nextDay, bool previousDay) {
  if (!std::isnan(hours)) return UtWithDay(hours, nextDay, previousDay);
  if (flags & kCircumpolar) return "--  (circumpolar: above the horizon all day)";
  if (flags & kNeverRises) return "--  (below the horizon all day)";
  return "--  (does not cross the horizon on this day)";
}

}  // namespace

TSunReport ComputeSunReport(TDateTime utc, const TSunSite& site) {
  // The engine takes radians with the longitude WEST positive. The hourly
  // speeds are not reported, so the hour-later evaluation is not made (it would
  // also refuse the last hour of 9999-12-31).
  const TPlanetparamsOUT sun = GetEphemSunAt(utc, -site.LongitudeEastDeg * kDegToRad,
                                             site.LatitudeDeg * kDegToRad, site.AltitudeM);
  constexpr double kHoursPerRadian = 12.0 / kPi;
  TSunReport r;
  r.Utc = utc;
  r.Site = site;
  r.AzimuthDeg = sun.Topocentric_Azimuth * kRadToDeg;
  r.ElevationDeg = sun.Topocentric_Altitude * kRadToDeg;
  r.RefractionDeg = sun.Atmospheric_refraction;
  r.RightAscensionH = sun.Geocentric_ra * kHoursPerRadian;
  r.DeclinationDeg = sun.Geocentric_dec * kRadToDeg;
  r.TransitUtH = sun.approx_local_meridian_transit * kHoursPerRadian;
  r.RiseUtH = sun.rises_approx * kHoursPerRadian;
  r.SetUtH = sun.sets_approx * kHoursPerRadian;
  r.RiseSetFlags = sun.rises_set_Id;
  return r;
}

std::string FormatHoursMinutes(double hours) {
  if (!std::isfinite(hours)) return "";
  const long long minutes = std::llround(hours * 60.0);
  return Pad(static_cast<int>(minutes / 60), 2) + ":" + Pad(static_cast<int>(minutes % 60), 2);
}

double ParseSunNumber(std::string_view text, std::string_view what) {
  const auto v = ParseFloat(Trim(text));
  if (!v || !std::isfinite(*v))
    throw EConvertError(std::string(what) + " " + Quoted(text) + " is not a number");
  return *v;
}

void CheckSunSite(const TSunSite& site) {
  if (!(std::fabs(site.LatitudeDeg) <= 90.0))
    throw EConvertError("latitude " + FormatGeneral(site.LatitudeDeg) +
                        " is beyond -90..90 degrees");
  if (!(std::fabs(site.LongitudeEastDeg) <= kLongitudeLimit))
    throw EConvertError("longitude " + FormatGeneral(site.LongitudeEastDeg) +
                        " is outside -360..360 degrees");
  if (!std::isfinite(site.AltitudeM))
    throw EConvertError("altitude " + FormatGeneral(site.AltitudeM) + " is not a number");
}

void ParseSunBatchRow(std::string_view line, TDateTime& utc, TSunSite& site) {
  std::string_view fields[4];
  std::size_t count = 0;
  std::string_view rest = line;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    if (count < 4) fields[count] = Trim(field);
    ++count;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (count != 4)
    throw EConvertError("expected 4 fields utc,lat_deg,lon_deg,alt_m, found " +
                        std::to_string(count));
  utc = ParseUtcText(fields[0]);
  site.LatitudeDeg = ParseSunNumber(fields[1], "latitude");
  site.LongitudeEastDeg = ParseSunNumber(fields[2], "longitude");
  site.AltitudeM = ParseSunNumber(fields[3], "altitude");
  CheckSunSite(site);
}

std::string SunCsvHeader() {
  return "utc,lat_deg,lon_deg,alt_m,az_deg,el_deg,refraction_deg,ra_h,dec_deg,transit_ut,rise_ut,"
         "set_ut";
}

std::string FormatSunCsvRow(const TSunReport& r) {
  std::string s = FormatUtcText(r.Utc);
  for (double v : {r.Site.LatitudeDeg, r.Site.LongitudeEastDeg, r.Site.AltitudeM})
    s += "," + FormatGeneral(v);
  for (double v :
       {r.AzimuthDeg, r.ElevationDeg, r.RefractionDeg, r.RightAscensionH, r.DeclinationDeg})
    s += "," + FormatFixed(v, kAngleDecimals);
  s += "," + FormatHoursMinutes(r.TransitUtH);
  s += "," + FormatHoursMinutes(r.RiseUtH);
  s += "," + FormatHoursMinutes(r.SetUtH);
  return s;
}

std::string FormatSunText(const TSunReport& r) {
  const auto angle = [](double v) {
    std::string s = FormatFixed(v, kAngleDecimals);
    if (s.size() < 13) s.insert(0, 13 - s.size(), ' ');
    return s;
  };
  const std::uint16_t f = r.RiseSetFlags;
  std::string s;
  s += "Sun at " + FormatUtcText(r.Utc) + " UTC\n";
  s += "Site:            latitude " + FormatGeneral(r.Site.LatitudeDeg) +
       " deg (north +), longitude " + FormatGeneral(r.Site.LongitudeEastDeg) +
       " deg (east +), altitude " + FormatGeneral(r.Site.AltitudeM) + " m\n";
  s += "Azimuth:         " + angle(r.AzimuthDeg) + " deg (from north through east)\n";
  s += "Elevation:       " + angle(r.ElevationDeg) + " deg (refraction included)\n";
  s += "Refraction:      " + angle(r.RefractionDeg) + " deg\n";
  s += "Right ascension: " + angle(r.RightAscensionH) +
       " h (apparent geocentric, true equinox of date)\n";
  s += "Declination:     " + angle(r.DeclinationDeg) + " deg\n";
  s += "Transit:         " + UtWithDay(r.TransitUtH, f & kTransitAfter24h, f & kTransitBefore0h) +
       "\n";
  s += "Rise:            " + RiseSetText(r.RiseUtH, f, f & kRiseAfter24h, f & kRiseBefore0h) + "\n";
  s += "Set:             " + RiseSetText(r.SetUtH, f, f & kSetAfter24h, f & kSetBefore0h) + "\n";
  return s;
}

std::string SunToolUsage(const TSunSite& defaultSite) {
  return std::string("usage: quorvel-sun [--utc ") + kUtcTextShape +
         "] [--lat DEG] [--lon DEG] [--alt M] [--csv]\n"
         "       quorvel-sun --batch < rows.csv\n"
         "\n"
         "Prints the Sun's azimuth (from north through east) and elevation (refraction for\n"
         "1010 mb and 10 C included), the refraction, the apparent geocentric right\n"
         "ascension (hours) and declination, and the transit, rise and set times (UT).\n"
         "\n"
         "  --utc TIME  the instant, UTC (default: now)\n"
         "  --lat DEG   latitude in degrees, NORTH positive\n"
         "  --lon DEG   longitude in degrees, EAST positive\n"
         "  --alt M     altitude in metres\n"
         "  --csv       one CSV header line and one data line\n"
         "  --batch     read rows utc,lat_deg,lon_deg,alt_m from standard input (a first\n"
         "              line starting with \"utc\" is skipped) and write one CSV line each\n"
         "  --help      this text\n"
         "\n"
         "\n"
         "Without --lat/--lon/--alt the site is the one set in quorvel's Setup dialog\n"
         "(now " +
         FormatGeneral(defaultSite.LatitudeDeg) + " N, " +
         FormatGeneral(defaultSite.LongitudeEastDeg) + " E, " +
         FormatGeneral(defaultSite.AltitudeM) +
         " m; negative values are south and west).\n"
         "\n"
         "Exit status: 0, or 2 after bad input (reported on standard error).\n";
}

int RunSunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err, const TSunSite& defaultSite) {
  bool csv = false, batch = false, help = false;
  bool siteGiven = false;
  std::string utcText;
  TSunSite site = defaultSite;

  const auto fail = [&](const std::string& what) {
    err << kTool << ": " << what << "\n";
    return 2;
  };

  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string name = args[k];
    std::string value;
    bool inlineValue = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    const bool takesValue =
        name == "--utc" || name == "--lat" || name == "--lon" || name == "--alt";
    const bool flag = name == "--help" || name == "-h" || name == "--csv" || name == "--batch";
    if (!takesValue && !flag) return fail("unknown option " + Quoted(args[k]) + " (see --help)");
    if (takesValue && !inlineValue) {
      if (k + 1 >= args.size()) return fail(name + " needs a value (see --help)");
      value = args[++k];
    } else if (!takesValue && inlineValue) {
      return fail(name + " takes no value (see --help)");
    }
    try {
      if (name == "--help" || name == "-h") {
        help = true;
      } else if (name == "--csv") {
        csv = true;
      } else if (name == "--batch") {
        batch = true;
      } else if (name == "--utc") {
        ParseUtcText(value);  // reported here, naming the option
        utcText = value;
      } else if (name == "--lat") {
        site.LatitudeDeg = ParseSunNumber(value, "latitude");
        siteGiven = true;
      } else if (name == "--lon") {
        site.LongitudeEastDeg = ParseSunNumber(value, "longitude");
        siteGiven = true;
      } else if (name == "--alt") {
        site.AltitudeM = ParseSunNumber(value, "altitude");
        siteGiven = true;
      }
      if (name == "--lat" || name == "--lon" || name == "--alt") CheckSunSite(site);
    } catch (const EConvertError& e) {
      return fail(name + ": " + e.what());
    }
  }

  if (help) {
    out << SunToolUsage(defaultSite);
    return 0;
  }

  if (batch) {
    if (siteGiven || !utcText.empty())
      return fail(
          "--batch reads the instants and sites from standard input; "
          "--utc, --lat, --lon and --alt do not apply");
    int status = 0;
    out << SunCsvHeader() << "\n";
    std::string line;
    long long lineNo = 0;
    bool first = true;
    while (std::getline(in, line)) {
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string_view row = Trim(line);
      if (row.empty()) continue;
      // Only the first line can be a header; "utc..." further down is a bad row.
      const bool header = first && row.rfind("utc", 0) == 0;
      first = false;
      if (header) continue;
      try {
        TDateTime utc;
        TSunSite rowSite;
        ParseSunBatchRow(row, utc, rowSite);
        out << FormatSunCsvRow(ComputeSunReport(utc, rowSite)) << "\n";
      } catch (const Exception& e) {
        err << kTool << ": line " << lineNo << " " << Quoted(row) << ": " << e.what() << "\n";
        status = 2;
      }
    }
    return status;
  }

  try {
    const TDateTime utc = utcText.empty() ? Service_DATE_TIME_UTC() : ParseUtcText(utcText);
    const TSunReport report = ComputeSunReport(utc, site);
    if (csv)
      out << SunCsvHeader() << "\n" << FormatSunCsvRow(report) << "\n";
    else
      out << FormatSunText(report);
  } catch (const Exception& e) {
    return fail(e.what());
  }
  return 0;
}

}  // namespace quorvel::ephem
