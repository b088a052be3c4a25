#include "history/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>

#include "common/JsonText.h"

namespace quorvel::history {

namespace {

const char* const kLimitKeys[] = {"1.0", "1.5", "2.0", "3.0"};

std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  char s[40];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

std::string Hour2(int h) {
  char s[4];
  std::snprintf(s, sizeof s, "%02d", h);
  return s;
}

void JsonSummary(std::ostream& out, const TSummary& s) {
  out << "{\"n\": " << s.n << ", \"min\": " << JsonNumber(s.min)
      << ", \"p10\": " << JsonNumber(s.p10) << ", \"p25\": " << JsonNumber(s.p25)
      << ", \"median\": " << JsonNumber(s.median) << ", \"p75\": " << JsonNumber(s.p75)
      << ", \"p90\": " << JsonNumber(s.p90) << ", \"max\": " << JsonNumber(s.max)
      << ", \"mean\": " << JsonNumber(s.mean) << "}";
}

void JsonLines(std::ostream& out, const TReadCounts& l) {
  out << "{\"measurements\": " << l.measurements << ", \"torn\": " << l.torn
      << ", \"bad\": " << l.bad << "}";
}

void JsonPeriod(std::ostream& out, const TPeriodStats& p, const TReadCounts& lines,
                const char* indent) {
  out << "{";
  if (!p.date.empty()) out << "\"date\": " << JsonString(p.date) << ", ";
  out << "\"count\": " << p.count << ", \"hours\": " << JsonNumber(p.hours) << ",\n" << indent;
  const std::pair<const char*, const TSummary*> quantities[] = {
      {"seeing_arcsec", &p.seeing},
      {"seeing_zenith_arcsec", &p.seeingZenith},
      {"r0_mm", &p.r0},
      {"r0_zenith_mm", &p.r0Zenith}};
  for (const auto& [key, s] : quantities) {
    out << "\"" << key << "\": ";
    JsonSummary(out, *s);
    out << ",\n" << indent;
  }
  out << "\"seeing_fraction_below\": {";
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i)
    out << (i ? ", " : "") << "\"" << kLimitKeys[i] << "\": " << JsonNumber(p.fractionBelow[i]);
  out << "},\n" << indent << "\"hourly_median_seeing_arcsec\": {";
  bool first = true;
  for (const auto& [h, m] : p.hourlyMedianSeeing) {
    out << (first ? "" : ", ") << "\"" << Hour2(h) << "\": " << JsonNumber(m);
    first = false;
  }
  out << "},\n" << indent << "\"best_windows\": [";
  for (std::size_t i = 0; i < p.bestWindows.size(); ++i) {
    const auto& w = p.bestWindows[i];
    out << (i ? ", " : "") << "{\"start_utc\": " << JsonString(IsoUtc(w.startUnix))
        << ", \"end_utc\": " << JsonString(IsoUtc(w.endUnix))
        << ", \"minutes\": " << JsonNumber(w.Minutes()) << "}";
  }
  out << "],\n" << indent << "\"lines\": ";
  JsonLines(out, lines);
  out << "}";
}

std::string Percent(double f) {
  return std::isfinite(f) ? TableNumber(100.0 * f, 0) + "%" : "-";
}

std::string WindowText(const TWindow& w, int offset) {
  // Local clock times of the window.
  const auto hm = [&](double t) {
    const long long s = static_cast<long long>(std::llround(t)) + offset;
    const long long sod = ((s % 86400) + 86400) % 86400;
    char b[8];
    std::snprintf(b, sizeof b, "%02lld:%02lld", sod / 3600, sod / 60 % 60);
    return std::string(b);
  };
  return hm(w.startUnix) + "-" + hm(w.endUnix) + " (" + TableNumber(w.Minutes(), 0) + " min)";
}

// A period's figures as the columns after the label of the text table.
std::string TextFigures(const TPeriodStats& p) {
  const auto q = [](const TSummary& s, int d) {
    if (s.n == 0) return std::string("-");
    return TableNumber(s.median, d) + " [" + TableNumber(s.p25, d) + "-" + TableNumber(s.p75, d) +
           "]";
  };
  std::string fr;
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i)
    fr += (i ? " " : "") + Percent(p.fractionBelow[i]);
  char row[512];
  std::snprintf(row, sizeof row, "%7llu %6s  %-19s %-19s %-19s %-19s %s",
                static_cast<unsigned long long>(p.count), TableNumber(p.hours, 2).c_str(),
                q(p.seeing, 2).c_str(), q(p.seeingZenith, 2).c_str(), q(p.r0, 1).c_str(),
                q(p.r0Zenith, 1).c_str(), fr.c_str());
  return row;
}

std::string PaddedLeft(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

void JsonSite(std::ostream& out, const TReportMeta& meta) {
  out << "\"station\": " << JsonString(meta.station) << ", \"site\": " << JsonString(meta.site);
  if (meta.siteKnown)
    out << ", \"site_latitude_deg\": " << JsonNumber(meta.latitudeDeg)
        << ", \"site_longitude_east_deg\": " << JsonNumber(meta.longitudeEastDeg)
        << ", \"site_altitude_m\": " << JsonNumber(meta.altitudeM);
}

const char* const kHtmlStyle =
    "<style>\n"
    "body{font-family:'DejaVu "
    "Sans',Arial,sans-serif;margin:1.5em;color:#222;max-width:960px}\n"
    "table{border-collapse:collapse;margin:0.5em 0 1.5em 0;font-size:0.9em}\n"
    "th,td{border:1px solid #bbb;padding:3px 7px;text-align:right}\n"
    "th{background:#eef2f7}td:first-child,th:first-child{text-align:left}\n"
    "svg{max-width:100%;height:auto;display:block;margin:0.5em 0}\n"
    ".note{font-size:0.85em;color:#444;border-top:1px solid "
    "#bbb;margin-top:2em;padding-top:0.5em}\n"
    "</style>\n";

const char* const kSummaryHeader =
    "<th>n</th><th>min</th><th>10 %</th><th>25 %</th><th>median</th>"
    "<th>75 %</th><th>90 %</th><th>max</th><th>mean</th></tr>\n";

void HtmlSummaryCells(std::ostream& out, const TSummary& s, int d) {
  out << "<td>" << s.n << "</td><td>" << TableNumber(s.min, d) << "</td><td>"
      << TableNumber(s.p10, d) << "</td><td>" << TableNumber(s.p25, d) << "</td><td>"
      << TableNumber(s.median, d) << "</td><td>" << TableNumber(s.p75, d) << "</td><td>"
      << TableNumber(s.p90, d) << "</td><td>" << TableNumber(s.max, d) << "</td><td>"
      << TableNumber(s.mean, d + 1) << "</td>";
}

std::string SvgOf(int w, int h, const std::function<void(TCanvas&)>& draw) {
  TSvgCanvas c(w, h);
  draw(c);
  return c.Svg(false);
}

}  // namespace

std::string TableNumber(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  char s[40];
  std::snprintf(s, sizeof s, "%.*f", decimals, v);
  return s;
}

TReportBuilder::TReportBuilder(TUtcOffsetFn offset, double windowLevel, bool keepCurves)
    : offset_(std::move(offset)),
      level_(windowLevel),
      keepCurves_(keepCurves),
      all_(offset_, false) {}

TReportBuilder::~TReportBuilder() = default;

void TReportBuilder::BeginDay(const std::string& date) {
  day_ = std::make_unique<TPeriodAccumulator>(offset_, true);
  dayDate_ = date;
  dayLines_ = {};
}

TReadCounts TReportBuilder::Read(std::istream& in,
                                 const std::function<void(const TMeasurement&)>& each) {
  if (!day_) BeginDay(dayDate_);
  const auto counts = ReadResults(in, [&](const TMeasurement& m) {
    day_->Add(m);
    if (each) each(m);
  });
  dayLines_ += counts;
  return counts;
}

void TReportBuilder::Add(const TMeasurement& m) {
  if (!day_) BeginDay(dayDate_);
  day_->Add(m);
  ++dayLines_.measurements;
}

const TDayReport& TReportBuilder::EndDay() {
  if (!day_) BeginDay(dayDate_);
  TDayReport r{day_->Finish(dayDate_, level_), dayLines_};
  all_.MergeDay(*day_, r.stats);
  lines_ += dayLines_;
  if (keepCurves_) curves_.push_back(ThinCurve(dayDate_, day_->Series()));
  days_.push_back(std::move(r));
  return days_.back();
}

const std::vector<TSeeingPoint>& TReportBuilder::LastDaySeries() const {
  static const std::vector<TSeeingPoint> kNone;
  return day_ ? day_->Series() : kNone;
}

const TPeriodStats& TReportBuilder::Finish() {
  overall_ = all_.Finish("", level_);
  return overall_;
}

void WriteTextReport(std::ostream& out, const std::vector<TDayReport>& days,
                     const TPeriodStats& overall, const TReadCounts& lines,
                     const TReportMeta& meta) {
  out << "Seeing statistics, " << meta.station << (meta.site.empty() ? "" : ", " + meta.site)
      << "; local hours in " << meta.timeZone << "\n";
  out << "Seeing and r0: median [25th-75th percentile]; share of line-of-sight seeing at or below "
         "1/1.5/2/3 arcsec\n\n";
  char row[512];
  std::snprintf(row, sizeof row, "%-10s %7s %6s  %-19s %-19s %-19s %-19s %-19s\n", "Day", "Count",
                "Hours", "Seeing \"", "Zenith seeing \"", "r0 mm", "Zenith r0 mm",
                "<=1 / 1.5 / 2 / 3\"");
  out << row;
  const auto line = [&](const std::string& label, const TPeriodStats& p) {
    out << PaddedLeft(label, 10) << " " << TextFigures(p) << "\n";
  };
  for (const auto& d : days) line(d.stats.date, d.stats);
  line("All", overall);
  out << "\nMedian line-of-sight seeing per local hour (all days):\n";
  for (const auto& [h, m] : overall.hourlyMedianSeeing)
    out << "  " << Hour2(h) << "h  " << TableNumber(m, 2) << "\n";
  if (overall.hourlyMedianSeeing.empty()) out << "  -\n";
  out << "\nBest windows (5-minute mean of zenith seeing at or below "
      << TableNumber(meta.windowLevel, 2) << "\"), UTC:\n";
  for (const auto& w : overall.bestWindows)
    out << "  " << IsoUtc(w.startUnix).substr(0, 19) << " to " << IsoUtc(w.endUnix).substr(11, 8)
        << "  " << TableNumber(w.Minutes(), 0) << " min\n";
  if (overall.bestWindows.empty()) out << "  none\n";
  out << "\n" << lines.measurements << " measurements read";
  if (lines.Skipped() > 0)
    out << "; " << lines.Skipped() << " lines skipped (" << lines.torn << " cut short, "
        << lines.bad << " unreadable)";
  out << "\n";
}

void WriteJsonReport(std::ostream& out, const std::vector<TDayReport>& days,
                     const TPeriodStats& overall, const TReadCounts& lines,
                     const TReportMeta& meta) {
  out << "{\"days\": [";
  for (std::size_t i = 0; i < days.size(); ++i) {
    out << (i ? ",\n  " : "\n  ");
    JsonPeriod(out, days[i].stats, days[i].lines, "   ");
  }
  out << "],\n \"overall\": ";
  JsonPeriod(out, overall, lines, "   ");
  out << ",\n ";
  JsonSite(out, meta);
  out << ",\n \"time_zone\": " << JsonString(meta.timeZone)
      << ", \"window_level_arcsec\": " << JsonNumber(meta.windowLevel)
      << ", \"percentiles\": \"linear interpolation between closest ranks\"}\n";
}

void WriteHtmlReport(std::ostream& out, const TReportBuilder& report, const TReportMeta& meta,
                     const TUtcOffsetFn& offset) {
  const auto& days = report.Days();
  const auto& overall = report.Overall();
  const auto esc = [](const std::string& s) { return XmlEscape(s); };
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<link rel=\"icon\" href=\"data:,\">\n"
         "<title>Seeing report - "
      << esc(meta.station) << "</title>\n"
      << kHtmlStyle << "</head>\n<body>\n";
  out << "<h1>Seeing report</h1>\n<p>Station: " << esc(meta.station);
  if (!meta.site.empty()) out << "; site: " << esc(meta.site);
  const std::string first = days.empty() ? "" : days.front().stats.date;
  const std::string last = days.empty() ? "" : days.back().stats.date;
  out << ".<br>Days: " << days.size()
      << (days.empty() ? "" : " (" + esc(first) + " to " + esc(last) + ")")
      << "; measurements: " << overall.count << "; local hours in " << esc(meta.timeZone) << ".";
  const auto lines = report.Lines();
  if (lines.Skipped() > 0)
    out << "<br>Lines skipped: " << lines.Skipped() << " (" << lines.torn << " cut short, "
        << lines.bad << " unreadable).";
  out << "</p>\n";

  const auto summaryRows = [&](const TPeriodStats& p) {
    out << "<table>\n<tr><th>Quantity</th>" << kSummaryHeader;
    const std::tuple<const char*, const TSummary*, int> rows[] = {
        {"Seeing, line of sight (arcsec)", &p.seeing, 2},
        {"Seeing, zenith (arcsec)", &p.seeingZenith, 2},
        {"r0, line of sight (mm)", &p.r0, 1},
        {"r0, zenith (mm)", &p.r0Zenith, 1}};
    for (const auto& [name, s, d] : rows) {
      out << "<tr><td>" << name << "</td>";
      HtmlSummaryCells(out, *s, d);
      out << "</tr>\n";
    }
    out << "</table>\n";
  };

  out << "<h2>All days</h2>\n";
  summaryRows(overall);
  out << "<table>\n<tr><th>Line-of-sight seeing at or below</th>";
  for (double l : kSeeingLimits) out << "<th>" << TableNumber(l, 1) << "&Prime;</th>";
  out << "</tr>\n<tr><td>Share of measurements</td>";
  for (double f : overall.fractionBelow) out << "<td>" << Percent(f) << "</td>";
  out << "</tr>\n</table>\n";
  out << SvgOf(kPlotWidth, kPlotHeight, [&](TCanvas& c) {
    DrawHistogram(c, kPlotWidth, kPlotHeight, report.OverallValues().Seeing(),
                  report.OverallValues().SeeingZenith(), "Histogram of seeing, all days");
  });
  out << SvgOf(kPlotWidth, kPlotHeight, [&](TCanvas& c) {
    DrawCumulative(c, kPlotWidth, kPlotHeight, report.OverallValues().Seeing(),
                   report.OverallValues().SeeingZenith(),
                   "Cumulative distribution of seeing, all days");
  });
  out << SvgOf(kPlotWidth, kPlotHeight, [&](TCanvas& c) {
    DrawHourlyMedians(c, kPlotWidth, kPlotHeight, overall.hourlyMedianSeeing,
                      "Median line-of-sight seeing per local hour, all days");
  });
  out << "<h3>Best windows</h3>\n<p>Longest periods in which the 5-minute running mean of zenith "
         "seeing "
         "stays at or below "
      << TableNumber(meta.windowLevel, 2)
      << "&Prime;.</p>\n<table>\n<tr><th>Start (UTC)</th><th>End (UTC)</th>"
      << "<th>Minutes</th></tr>\n";
  for (const auto& w : overall.bestWindows)
    out << "<tr><td>" << IsoUtc(w.startUnix).substr(0, 19) << "</td><td>"
        << IsoUtc(w.endUnix).substr(0, 19) << "</td><td>" << TableNumber(w.Minutes(), 0)
        << "</td></tr>\n";
  if (overall.bestWindows.empty()) out << "<tr><td colspan=\"3\">none</td></tr>\n";
  out << "</table>\n";

  out << "<h2>Day by day</h2>\n<table>\n<tr><th>Day</th><th>Count</th><th>Hours</th><th>Median "
         "seeing "
         "(&Prime;)</th><th>Median zenith seeing (&Prime;)</th><th>Median r0 (mm)</th>";
  for (double l : kSeeingLimits) out << "<th>&le; " << TableNumber(l, 1) << "&Prime;</th>";
  out << "<th>Longest window</th></tr>\n";
  for (const auto& d : days) {
    const auto& p = d.stats;
    out << "<tr><td>" << esc(p.date) << "</td><td>" << p.count << "</td><td>"
        << TableNumber(p.hours, 2) << "</td><td>" << TableNumber(p.seeing.median, 2) << "</td><td>"
        << TableNumber(p.seeingZenith.median, 2) << "</td><td>" << TableNumber(p.r0.median, 1)
        << "</td>";
    for (double f : p.fractionBelow) out << "<td>" << Percent(f) << "</td>";
    const int off = offset && !p.bestWindows.empty() ? offset(p.bestWindows.front().startUnix) : 0;
    out << "<td>" << (p.bestWindows.empty() ? "-" : WindowText(p.bestWindows.front(), off))
        << "</td></tr>\n";
  }
  out << "</table>\n";
  const auto& curves = report.Curves();
  if (curves.size() > kHtmlMaxDayCurves)
    out << "<p>The curves of single days are shown for selections of up to " << kHtmlMaxDayCurves
        << " days; <code>quorvel-report --plots DIR</code> draws one for every day.</p>\n";
  else
    for (const auto& curve : curves)
      out << SvgOf(kPlotWidth, kPlotHeight,
                   [&](TCanvas& c) { DrawDayCurve(c, kPlotWidth, kPlotHeight, curve, offset); });

  out << "<p class=\"note\">About these numbers. Quorvel measures the scintillation of the whole "
         "solar disc "
         "with one photodiode; that fluctuation comes mostly from turbulence near the ground (the "
         "lowest "
         "few hundred metres), so these figures describe the surface layer more than the whole "
         "atmosphere. "
         "The seeing formula is proportional to the Sun's diameter, which it takes as a fixed "
         "1900&Prime;; the true "
         "diameter runs from 1887&Prime; (early July) to 1952&Prime; (early January), "
         "&minus;0.7&nbsp;% to "
         "+2.7&nbsp;% from that value, so with the season the seeing is overstated by up to "
         "0.7&nbsp;% in summer "
         "and understated by up to 2.7&nbsp;% in winter. r0 is &lambda;&nbsp;/&nbsp;seeing, while "
         "the usual "
         "relation for a long-exposure image width is "
         "seeing&nbsp;=&nbsp;0.98&nbsp;&lambda;&nbsp;/&nbsp;r0: "
         "Quorvel's r0 is about 2&nbsp;% larger than that relation gives. The correction to the "
         "zenith multiplies "
         "the seeing "
         "by sin(elevation)<sup>0.6</sup> (r0 by its inverse). Percentiles interpolate linearly "
         "between the "
         "closest ranks. Lines skipped: cut short (torn) or unreadable lines of the results "
         "files.</p>\n";
  out << "<p class=\"note\">Generated by " << esc(meta.generator) << ".</p>\n</body>\n</html>\n";
}

TStationSummary SummaryOf(const TReportBuilder& report, const TReportMeta& meta) {
  TStationSummary s;
  s.meta = meta;
  s.days = report.Days().size();
  if (!report.Days().empty()) {
    s.firstDay = report.Days().front().stats.date;
    s.lastDay = report.Days().back().stats.date;
  }
  s.overall = report.Overall();
  s.lines = report.Lines();
  return s;
}

void WriteTextComparison(std::ostream& out, const std::vector<TStationSummary>& stations) {
  std::size_t width = 10;
  for (const auto& s : stations) width = std::max(width, s.meta.station.size());
  out << "Stations side by side, each over its whole selection"
      << (stations.empty() ? "" : "; local hours in " + stations.front().meta.timeZone) << "\n";
  out << "Seeing and r0: median [25th-75th percentile]; share of line-of-sight seeing at or below "
         "1/1.5/2/3 arcsec\n\n";
  char head[512];
  std::snprintf(head, sizeof head, "%5s %7s %6s  %-19s %-19s %-19s %-19s %-19s\n", "Days", "Count",
                "Hours", "Seeing \"", "Zenith seeing \"", "r0 mm", "Zenith r0 mm",
                "<=1 / 1.5 / 2 / 3\"");
  out << PaddedLeft("Station", width) << " " << head;
  for (const auto& s : stations) {
    char days[16];
    std::snprintf(days, sizeof days, "%5zu", s.days);
    out << PaddedLeft(s.meta.station, width) << " " << days << " " << TextFigures(s.overall)
        << "\n";
  }
  if (stations.empty()) out << "  no station\n";
  out << "\nStation sites:\n";
  for (const auto& s : stations)
    out << "  " << PaddedLeft(s.meta.station, width) << "  "
        << (s.meta.site.empty() ? "-" : s.meta.site)
        << (s.days ? "; " + s.firstDay + " to " + s.lastDay : "") << "\n";
}

void WriteJsonComparison(std::ostream& out, const std::vector<TStationSummary>& stations) {
  out << "{\"stations\": [";
  for (std::size_t i = 0; i < stations.size(); ++i) {
    const auto& s = stations[i];
    out << (i ? ",\n  {" : "\n  {");
    JsonSite(out, s.meta);
    out << ", \"days\": " << s.days
        << ", \"first_day\": " << (s.days ? JsonString(s.firstDay) : "null")
        << ", \"last_day\": " << (s.days ? JsonString(s.lastDay) : "null") << ",\n   \"overall\": ";
    JsonPeriod(out, s.overall, s.lines, "   ");
    out << "}";
  }
  const TReportMeta meta = stations.empty() ? TReportMeta{} : stations.front().meta;
  out << "],\n \"time_zone\": " << JsonString(meta.timeZone)
      << ", \"window_level_arcsec\": " << JsonNumber(meta.windowLevel)
      << ", \"percentiles\": \"linear interpolation between closest ranks\"}\n";
}

void WriteHtmlComparison(std::ostream& out, const std::vector<TStationSummary>& stations) {
  const auto esc = [](const std::string& s) { return XmlEscape(s); };
  const TReportMeta meta = stations.empty() ? TReportMeta{} : stations.front().meta;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<link rel=\"icon\" href=\"data:,\">\n"
         "<title>Seeing report - stations side by side</title>\n"
      << kHtmlStyle << "</head>\n<body>\n";
  out << "<h1>Stations side by side</h1>\n<p>Each station over its whole selection; local hours "
         "in "
      << esc(meta.timeZone) << ".</p>\n";
  out << "<table>\n<tr><th>Station</th><th>Site</th><th>Days</th><th>Count</th><th>Hours</th>"
         "<th>Median seeing (&Prime;)</th><th>Median zenith seeing (&Prime;)</th>"
         "<th>Median r0 (mm)</th><th>Median zenith r0 (mm)</th>";
  for (double l : kSeeingLimits) out << "<th>&le; " << TableNumber(l, 1) << "&Prime;</th>";
  out << "</tr>\n";
  for (const auto& s : stations) {
    const auto& p = s.overall;
    out << "<tr><td>";
    if (s.htmlFile.empty())
      out << esc(s.meta.station);
    else
      out << "<a href=\"" << esc(s.htmlFile) << "\">" << esc(s.meta.station) << "</a>";
    out << "</td><td>" << (s.meta.site.empty() ? "-" : esc(s.meta.site)) << "</td><td>" << s.days
        << "</td><td>" << p.count << "</td><td>" << TableNumber(p.hours, 2) << "</td><td>"
        << TableNumber(p.seeing.median, 2) << "</td><td>" << TableNumber(p.seeingZenith.median, 2)
        << "</td><td>" << TableNumber(p.r0.median, 1) << "</td><td>"
        << TableNumber(p.r0Zenith.median, 1) << "</td>";
    for (double f : p.fractionBelow) out << "<td>" << Percent(f) << "</td>";
    out << "</tr>\n";
  }
  out << "</table>\n";
  std::vector<std::pair<std::string, std::map<int, double>>> hourly;
  for (const auto& s : stations) hourly.push_back({s.meta.station, s.overall.hourlyMedianSeeing});
  out << SvgOf(kPlotWidth, kPlotHeight, [&](TCanvas& c) {
    DrawHourlyMediansByStation(c, kPlotWidth, kPlotHeight, hourly,
                               "Median line-of-sight seeing per local hour, by station");
  });
  const std::tuple<const char*, TSummary TPeriodStats::*, int> quantities[] = {
      {"Seeing, line of sight (arcsec)", &TPeriodStats::seeing, 2},
      {"Seeing, zenith (arcsec)", &TPeriodStats::seeingZenith, 2},
      {"r0, line of sight (mm)", &TPeriodStats::r0, 1},
      {"r0, zenith (mm)", &TPeriodStats::r0Zenith, 1}};
  for (const auto& [name, member, d] : quantities) {
    out << "<h2>" << name << "</h2>\n<table>\n<tr><th>Station</th>" << kSummaryHeader;
    for (const auto& s : stations) {
      out << "<tr><td>" << esc(s.meta.station) << "</td>";
      HtmlSummaryCells(out, s.overall.*member, d);
      out << "</tr>\n";
    }
    out << "</table>\n";
  }
  out << "<p class=\"note\">Percentiles interpolate linearly between the closest ranks. Each "
         "station's own report has its days, plots and best windows.</p>\n";
  out << "<p class=\"note\">Generated by " << esc(meta.generator) << ".</p>\n</body>\n</html>\n";
}

}  // namespace quorvel::history
