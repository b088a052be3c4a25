// The quorvel-sun command: parsing, output formats, exit status.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "common/Clock.h"
#include "common/Errors.h"
#include "sun/SunReport.h"

namespace quorvel::ephem {
namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "",
                const TSunSite& site = kDefaultSunSite) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunSunTool(args, in, out, err, site);
  return {status, out.str(), err.str()};
}

const char* const kHeader =
    "utc,lat_deg,lon_deg,alt_m,az_deg,el_deg,refraction_deg,ra_h,dec_deg,transit_ut,rise_ut,"
    "set_ut";

TEST(SunReport, HoursAndMinutes) {
  EXPECT_EQ(FormatHoursMinutes(11.88862), "11:53");
  EXPECT_EQ(FormatHoursMinutes(17.98328), "17:59");  // to the nearest minute
  EXPECT_EQ(FormatHoursMinutes(5.80755), "05:48");
  EXPECT_EQ(FormatHoursMinutes(0.0), "00:00");
  EXPECT_EQ(FormatHoursMinutes(std::nan("")), "");
}

TEST(SunReport, ReferenceCaseAsCsv) {
  const ToolRun r =
      RunTool({"--utc", "2024-03-20T12:00:00", "--lat", "45.5", "--lon", "3.5", "--csv"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, std::string(kHeader) +
                       "\n2024-03-20T12:00:00.000,45.5,3.5,0,182.3481208,44.6377442,0.0163461,"
                       "0.0226257,0.1471352,11:53,05:48,17:59\n");
}

TEST(SunReport, TextReportNamesEverything) {
  const ToolRun r = RunTool({"--utc=2024-03-20T12:00:00"});
  EXPECT_EQ(r.status, 0);
  for (const char* part :
       {"Sun at 2024-03-20T12:00:00.000 UTC", "latitude 45.5 deg (north +)",
        "longitude 3.5 deg (east +)", "182.3481208 deg", "44.6377442 deg", "0.0163461 deg",
        "0.0226257 h", "0.1471352 deg", "Transit:         11:53 UT", "Rise:            05:48 UT",
        "Set:             17:59 UT"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

TEST(SunReport, NoRiseOrSetIsExplained) {
  struct Case {
    const char* lat;
    const char* note;
  };
  const Case cases[] = {{"70", "circumpolar"},
                        {"-70", "below the horizon all day"},
                        {"66", "does not cross the horizon"}};
  for (const Case& c : cases) {
    const ToolRun text = RunTool({"--utc", "2024-06-21T12:00:00", "--lat", c.lat});
    EXPECT_NE(text.out.find(c.note), std::string::npos) << c.lat << "\n" << text.out;
    const ToolRun csv = RunTool({"--utc", "2024-06-21T12:00:00", "--lat", c.lat, "--csv"});
    // Rise and set fields empty, transit given.
    EXPECT_EQ(csv.out.substr(csv.out.size() - 9), ",11:48,,\n") << csv.out;
  }
}

TEST(SunReport, DefaultsAreTheClockAndTheGivenSite) {
  VirtualClock clock(1710936000123LL);  // 2024-03-20 12:00:00.123 UTC
  ScopedClock use(clock);
  const ToolRun r = RunTool({"--csv"}, "", TSunSite{-33.9, 18.4, 10});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find(std::string(kHeader) + "\n2024-03-20T12:00:00.123,-33.9,18.4,10,"), 0u)
      << r.out;
}

TEST(SunReport, HelpSaysWhichWayIsPositive) {
  const ToolRun r = RunTool({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("EAST positive"), std::string::npos);
  EXPECT_NE(r.out.find("NORTH positive"), std::string::npos);
  EXPECT_NE(r.out.find("--batch"), std::string::npos);
}

TEST(SunReport, BadOptionsExitWithStatusTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--lat", "95"}, "quorvel-sun: --lat: latitude 95 is beyond -90..90 degrees\n"},
      {{"--lat", "-90.5"}, "quorvel-sun: --lat: latitude -90.5 is beyond -90..90 degrees\n"},
      {{"--lat", "north"}, "quorvel-sun: --lat: latitude \"north\" is not a number\n"},
      {{"--lat", "45,5"}, "quorvel-sun: --lat: latitude \"45,5\" is not a number\n"},
      {{"--lon", "NAN"}, "quorvel-sun: --lon: longitude \"NAN\" is not a number\n"},
      {{"--lon", "400"}, "quorvel-sun: --lon: longitude 400 is outside -360..360 degrees\n"},
      {{"--alt", "INF"}, "quorvel-sun: --alt: altitude \"INF\" is not a number\n"},
      {{"--utc", "yesterday"},
       "quorvel-sun: --utc: invalid UTC time \"yesterday\" (expected "
       "YYYY-MM-DDTHH:MM:SS[.mmm])\n"},
      {{"--utc", "0000-01-01T00:00:00"},
       "quorvel-sun: --utc: year 0 of \"0000-01-01T00:00:00\" is outside 1..9999\n"},
      {{"--lat"}, "quorvel-sun: --lat needs a value (see --help)\n"},
      {{"--csv=yes"}, "quorvel-sun: --csv takes no value (see --help)\n"},
      {{"--frobnicate"}, "quorvel-sun: unknown option \"--frobnicate\" (see --help)\n"},
      {{"--batch", "--lat", "10"}, "quorvel-sun: --batch reads the instants and sites"},
  };
  for (const Case& c : cases) {
    const ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
  }
}

TEST(SunReport, BatchGoesOnAfterBadRows) {
  const std::string input =
      "utc,lat_deg,lon_deg,alt_m\r\n"
      "2024-03-20T12:00:00,45.5,3.5,0\r\n"
      "2024-03-20T12:00:00,95,3.5,0\n"
      "\n"
      "2024-02-30T12:00:00,45.5,3.5,0\n"
      "2024-03-20T12:00:00,45.5,east,0\n"
      "2024-03-20T12:00:00,45.5,3.5\n"
      "utc,lat_deg,lon_deg,alt_m\n"
      " 2000-01-01T12:00:00 , -33.9 , 18.4 , 10 \n";
  const ToolRun r = RunTool({"--batch"}, input);
  EXPECT_EQ(r.status, 2);
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line)) rows.push_back(line);
  ASSERT_EQ(rows.size(), 3u) << r.out;
  EXPECT_EQ(rows[0], kHeader);
  EXPECT_EQ(rows[1].rfind("2024-03-20T12:00:00.000,45.5,3.5,0,182.3481208,44.6377442,", 0), 0u);
  EXPECT_EQ(rows[2].rfind("2000-01-01T12:00:00.000,-33.9,18.4,10,", 0), 0u);
  EXPECT_EQ(r.err,
            "quorvel-sun: line 3 \"2024-03-20T12:00:00,95,3.5,0\": latitude 95 is beyond -90..90 "
            "degrees\n"
            "quorvel-sun: line 5 \"2024-02-30T12:00:00,45.5,3.5,0\": no such date or time: "
            "\"2024-02-30T12:00:00\"\n"
            "quorvel-sun: line 6 \"2024-03-20T12:00:00,45.5,east,0\": longitude \"east\" is not a "
            "number\n"
            "quorvel-sun: line 7 \"2024-03-20T12:00:00,45.5,3.5\": expected 4 fields "
            "utc,lat_deg,lon_deg,alt_m, found 3\n"
            "quorvel-sun: line 8 \"utc,lat_deg,lon_deg,alt_m\": invalid UTC time \"utc\" "
            "(expected YYYY-MM-DDTHH:MM:SS[.mmm])\n");
}

TEST(SunReport, BatchOfGoodRowsExitsZero) {
  const ToolRun r = RunTool({"--batch"},
                            "2024-03-20T12:00:00,45.5,3.5,0\n"
                            "9999-12-31T23:59:59.999,0,0,0\n"  // the last instant there is
                            "0001-01-01T00:00:00,0,0,0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const ToolRun empty = RunTool({"--batch"}, "");
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out, std::string(kHeader) + "\n");
}

}  // namespace
}  // namespace quorvel::ephem
