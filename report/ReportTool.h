// quorvel-report: statistics, plots, reports and exports from results files.
// The program's whole work, callable in-process (tests, the History window).
#pragma once

#include <QTimeZone>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "history/Report.h"
#include "history/ResultReader.h"

namespace quorvel::report {

struct TResultFileRef {
  std::string path;
  history::TDate date;  // from the name; invalid: from the first measurement
};

// The results files of a folder (by their names), sorted by date then name.
// Returns false with `error` when the folder cannot be listed.
bool ResultFilesIn(const std::string& folder, std::vector<TResultFileRef>& out, std::string& error);

// Offset of `zone` from UTC at an instant.
history::TUtcOffsetFn ZoneOffset(const QTimeZone& zone);

struct TReportRequest {
  std::vector<std::string> inputs;  // files and folders
  std::optional<history::TDate> from, to;
  QTimeZone zone = QTimeZone::systemTimeZone();
  double windowLevel = 2.0;
  std::string json, html, plotsDir, ecsv, csv;  // empty: not wanted; json "-": standard output
  bool table = true;                            // the text table on standard output
  history::TReportMeta meta;
  // The network archive instead of files, through a libpq connection
  // string ("": the PG* variables).
  bool fromArchive = false;
  std::string postgres;
  std::string station;  // --station as given; "all" with postgres: each station
  bool siteGiven = false;
};

// Where one report's outputs go (empty: not wanted).
struct TRequestOutputs {
  std::string json, html, plotsDir, ecsv, csv;
};

// Parses the command line (without the program name). Returns nothing after
// writing the reason to `err` (or the help/version to `out`, then `exitCode`
// is 0).
std::optional<TReportRequest> ParseReportArgs(const std::vector<std::string>& args,
                                              std::ostream& out, std::ostream& err, int& exitCode);

// Runs a request: 0 success, 1 when an input could not be read or an output
// not written (everything else is still done), messages on `err`.
int RunReport(const TReportRequest& request, std::ostream& out, std::ostream& err);

std::string ReportUsage();

// The site of quorvel's settings (its settings file or QUORVEL_SETTINGS),
// read into the program's site first: for the command-line tool only.
void SiteFromSettings(history::TReportMeta& meta);
// The site the running program holds (SetupLocation), read only.
void SiteOfProgram(history::TReportMeta& meta);
void SetSite(history::TReportMeta& meta, double latDeg, double lonEastDeg, double altM);

// Writes the overall plots (histogram, cumulative, hourly medians) into a
// folder as PNG and SVG; returns the error texts.
std::vector<std::string> WriteSummaryPlots(const std::string& dir,
                                           const history::TReportBuilder& report);
std::vector<std::string> WriteDayPlot(const std::string& dir, const history::TDayCurve& curve,
                                      const history::TUtcOffsetFn& offset);

}  // namespace quorvel::report
