// Reads results files back: one measurement per data line, time from the
// Julian-day column (the two date columns follow whatever regional format the
// writing computer had, so they are never parsed). Plain C++, streams only.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::history {

struct TMeasurement {
  double julianDay = 0;    // UTC
  double unixSeconds = 0;  // the same instant, seconds since 1970-01-01 UTC
  double signalMv = 0;
  double seeing = 0;  // line of sight, arcsec
  double r0 = 0;      // mm
  double azimuth = 0;
  double elevation = 0;
  double seeingZenith = 0;
  double r0Zenith = 0;
};

// What a read skipped, beside the measurements it delivered.
struct TReadCounts {
  std::uint64_t measurements = 0;
  std::uint64_t headers = 0;
  std::uint64_t torn = 0;  // cut short: fewer than ten fields or no closing '|'
  std::uint64_t bad = 0;   // whole, but a number that does not read or a time out of range
  std::uint64_t blank = 0;
  std::uint64_t Skipped() const { return torn + bad; }
  TReadCounts& operator+=(const TReadCounts& o);
};

enum class TLineKind { Measurement, Header, Torn, Bad, Blank };

// One line without its line end (a trailing CR is accepted).
TLineKind ParseResultLine(std::string_view line, TMeasurement& out);

// Reads every line of `in`, calling `onMeasurement` for each data line in file
// order. Memory stays bounded whatever the input: an overlong line (binary
// junk without line ends) is skipped as bad without being kept.
TReadCounts ReadResults(std::istream& in,
                        const std::function<void(const TMeasurement&)>& onMeasurement);

double UnixSecondsFromJulianDay(double jd);

// A calendar date; valid when year != 0.
struct TDate {
  int year = 0, month = 0, day = 0;
  bool Valid() const { return year != 0; }
  std::string Iso() const;  // "2026-05-03"
  friend bool operator<(const TDate& a, const TDate& b) {
    return a.year != b.year     ? a.year < b.year
           : a.month != b.month ? a.month < b.month
                                : a.day < b.day;
  }
  friend bool operator==(const TDate& a, const TDate& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
  }
  friend bool operator<=(const TDate& a, const TDate& b) { return !(b < a); }
};

// "2026_ 5_ 3_Results.txt" (also zero-padded or unpadded month and day, and a
// leading folder) -> 2026-05-03; anything else -> nothing.
std::optional<TDate> DateFromResultFileName(std::string_view fileName);
// "2026-05-03" -> the date; anything else (or an impossible date) -> nothing.
std::optional<TDate> ParseIsoDate(std::string_view text);
// The calendar date of `unixSeconds` + `offsetSeconds`.
TDate DateOfUnixSeconds(double unixSeconds, int offsetSeconds);
// "2026-05-03T12:07:09.01Z", rounded to the centisecond.
std::string IsoUtc(double unixSeconds);

}  // namespace quorvel::history
