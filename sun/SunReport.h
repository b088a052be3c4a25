// The Sun position report of the quorvel-sun command: option and row parsing,
// the computation in the user's units, and the text and CSV output. The
// command's main only hands over its arguments and standard streams.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "common/DateTime.h"
#include "common/UtcText.h"

namespace quorvel::ephem {

// An observing site in the user's units: degrees, north and EAST positive, metres.
struct TSunSite {
  double LatitudeDeg = 0;
  double LongitudeEastDeg = 0;
  double AltitudeM = 0;
};

// The site used when the command line names none.
constexpr TSunSite kDefaultSunSite{45.5, 3.5, 0.0};

struct TSunReport {
  TDateTime Utc = 0;
  TSunSite Site;
  double AzimuthDeg = 0;    // from north through east
  double ElevationDeg = 0;  // refraction included
  double RefractionDeg = 0;
  double RightAscensionH = 0;  // apparent geocentric, true equator and equinox of date
  double DeclinationDeg = 0;
  double TransitUtH = 0;  // UT hours of the day, [0, 24]
  double RiseUtH = 0;     // NaN where not computed
  double SetUtH = 0;      // NaN where not computed
  std::uint16_t RiseSetFlags = 0;
};

TSunReport ComputeSunReport(TDateTime utc, const TSunSite& site);

// "hh:mm" rounded to the minute; "" for NaN.
std::string FormatHoursMinutes(double hours);

// Checks a site and raises EConvertError naming the offending value.
void CheckSunSite(const TSunSite& site);
// Parses a number field; raises EConvertError "<what> "<text>" is not a number".
double ParseSunNumber(std::string_view text, std::string_view what);

// One row "utc,lat_deg,lon_deg,alt_m" (blanks around fields are ignored).
void ParseSunBatchRow(std::string_view line, TDateTime& utc, TSunSite& site);

// utc,lat_deg,lon_deg,alt_m,az_deg,el_deg,refraction_deg,ra_h,dec_deg,transit_ut,rise_ut,set_ut
std::string SunCsvHeader();
std::string FormatSunCsvRow(const TSunReport& report);
std::string FormatSunText(const TSunReport& report);
std::string SunToolUsage(const TSunSite& defaultSite = kDefaultSunSite);

// Runs the command: args without the program name. Returns the exit status:
// 0, or 2 after bad input (reported on err, naming the option or the row; a bad
// batch row does not stop the rows after it).
int RunSunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err, const TSunSite& defaultSite = kDefaultSunSite);

}  // namespace quorvel::ephem
