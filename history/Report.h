// A report over results files: per-day and overall statistics, built by
// streaming each day's files through once, and its text, JSON and HTML forms.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "history/Plots.h"
#include "history/ResultReader.h"
#include "history/Statistics.h"

namespace quorvel::history {

// Where the measurements come from; written into exports and reports.
struct TReportMeta {
  std::string station;
  std::string site;  // free text, e.g. "45.5000 N 3.5000 E 0 m"
  double latitudeDeg = 0, longitudeEastDeg = 0, altitudeM = 0;
  bool siteKnown = false;
  std::string timeZone;  // IANA name of the local hours
  double windowLevel = 2.0;
  std::string generator = "quorvel-report";
};

struct TDayReport {
  TPeriodStats stats;
  TReadCounts lines;
};

class TReportBuilder {
 public:
  // keepCurves: keep each day's thinned curve for plots and HTML.
  TReportBuilder(TUtcOffsetFn offset, double windowLevel, bool keepCurves);
  ~TReportBuilder();

  void BeginDay(const std::string& date);
  // Reads one file of the current day; `each` also sees every measurement.
  TReadCounts Read(std::istream& in, const std::function<void(const TMeasurement&)>& each = {});
  // One measurement of the current day from elsewhere than a file (the
  // network archive): counted as a data line read.
  void Add(const TMeasurement& m);
  // Ends the day; returns its figures. The day's full curve (sorted) is
  // available until the next BeginDay.
  const TDayReport& EndDay();
  const std::vector<TSeeingPoint>& LastDaySeries() const;

  // Ends the selection. Call once, after the last EndDay.
  const TPeriodStats& Finish();

  const std::vector<TDayReport>& Days() const { return days_; }
  const std::vector<TDayCurve>& Curves() const { return curves_; }
  const TPeriodStats& Overall() const { return overall_; }
  const TPeriodAccumulator& OverallValues() const { return all_; }
  TReadCounts Lines() const { return lines_; }

 private:
  TUtcOffsetFn offset_;
  double level_;
  bool keepCurves_;
  std::unique_ptr<TPeriodAccumulator> day_;
  std::string dayDate_;
  TReadCounts dayLines_, lines_;
  TPeriodAccumulator all_;
  std::vector<TDayReport> days_;
  std::vector<TDayCurve> curves_;
  TPeriodStats overall_;
};

// The figures as text for a terminal.
void WriteTextReport(std::ostream& out, const std::vector<TDayReport>& days,
                     const TPeriodStats& overall, const TReadCounts& lines,
                     const TReportMeta& meta);

// {"days": [...], "overall": {...}, ...}; NaN and missing figures are null.
void WriteJsonReport(std::ostream& out, const std::vector<TDayReport>& days,
                     const TPeriodStats& overall, const TReadCounts& lines,
                     const TReportMeta& meta);

// One HTML page with everything inline (tables, SVG plots, style); no
// scripts, no external resources. Day curves for at most kHtmlMaxDayCurves
// days.
inline constexpr std::size_t kHtmlMaxDayCurves = 31;
void WriteHtmlReport(std::ostream& out, const TReportBuilder& report, const TReportMeta& meta,
                     const TUtcOffsetFn& offset);

// One station's whole selection, for reports that set stations side by
// side.
struct TStationSummary {
  TReportMeta meta;
  std::size_t days = 0;
  std::string firstDay, lastDay;
  TPeriodStats overall;
  TReadCounts lines;
  std::string htmlFile;  // the station's own HTML report, for a link ("": none)
};
TStationSummary SummaryOf(const TReportBuilder& report, const TReportMeta& meta);

// Each station's figures in one table, one row per station, in the form of
// the "All" row of its own report.
void WriteTextComparison(std::ostream& out, const std::vector<TStationSummary>& stations);
// {"stations": [{"station": ..., "overall": {...}}, ...], ...}: each
// "overall" as in the station's own JSON report.
void WriteJsonComparison(std::ostream& out, const std::vector<TStationSummary>& stations);
// One HTML page: the stations' figures side by side and their hourly
// medians in one plot.
void WriteHtmlComparison(std::ostream& out, const std::vector<TStationSummary>& stations);

// Figures formatted for tables: "1.23", "-" for NaN.
std::string TableNumber(double v, int decimals);

}  // namespace quorvel::history
