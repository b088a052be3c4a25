#include "report/ReportTool.h"

#include <QDateTime>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "archive/ArchiveSql.h"
#include "history/Export.h"
#include "history/Plots.h"
#include "measure/Declarations.h"
#include "pgarchive/PgArchive.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"
#include "report/QtCanvas.h"

namespace quorvel::report {

namespace fs = std::filesystem;
using namespace history;

namespace {

constexpr double kRadToDeg = 57.29577951308232;

bool ParseDouble(const std::string& s, double& v) {
  char* end = nullptr;
  errno = 0;
  v = std::strtod(s.c_str(), &end);
  return !s.empty() && end == s.c_str() + s.size() && errno == 0 && std::isfinite(v);
}

// The local date of the first measurement of a file whose name carries none
// (read through the bounded reader: any file, any line length).
std::optional<TDate> FirstMeasurementDate(const std::string& path, const TUtcOffsetFn& offset) {
  std::ifstream in(path, std::ios::binary);
  std::optional<TDate> date;
  ReadResults(in, [&](const TMeasurement& m) {
    if (!date) date = DateOfUnixSeconds(m.unixSeconds, offset(m.unixSeconds));
  });
  return date;
}

// Opens an output file or standard output; reports its failures once.
class TOutput {
 public:
  TOutput(const std::string& path, std::ostream& stdOut) : path_(path) {
    if (path == "-") {
      out_ = &stdOut;
    } else {
      file_ = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
      out_ = file_.get();
    }
  }
  std::ostream& Stream() { return *out_; }
  bool Ok() const { return out_->good(); }
  // Closes; false with a message when anything failed.
  bool Close(std::ostream& err) {
    if (file_) file_->close();
    if (!out_->good() || (file_ && file_->fail())) {
      err << "quorvel-report: cannot write " << path_ << ": " << std::strerror(errno ? errno : EIO)
          << "\n";
      return false;
    }
    out_->flush();
    return true;
  }

 private:
  std::string path_;
  std::unique_ptr<std::ofstream> file_;
  std::ostream* out_;
};

std::string SiteText(double lat, double lon, double alt) {
  char s[96];
  std::snprintf(s, sizeof s, "%.4f %c %.4f %c %.0f m", std::fabs(lat), lat < 0 ? 'S' : 'N',
                std::fabs(lon), lon < 0 ? 'W' : 'E', alt);
  return s;
}

}  // namespace

std::string ReportUsage() {
  return "Usage: quorvel-report [options] FILE|FOLDER...\n"
         "       quorvel-report [options] --postgres CONNINFO --station NAME|all\n"
         "Statistics of seeing and r0 from Quorvel's results files: per day and over the\n"
         "whole selection, as a table on standard output, and optionally as JSON, an HTML\n"
         "report, plots and a table of every measurement. A FOLDER stands for the results\n"
         "files in it (YYYY_M_D_Results.txt).\n"
         "\n"
         "  --from YYYY-MM-DD     first day to take (by the file's day)\n"
         "  --to YYYY-MM-DD       last day to take\n"
         "  --tz ZONE             time zone of the local hours, e.g. Europe/Paris\n"
         "                        (default: the system's)\n"
         "  --window-level ARCSEC level of the best windows: the longest periods in which\n"
         "                        the 5-minute running mean of zenith seeing stays at or\n"
         "                        below it (default 2)\n"
         "  --json FILE|-         the statistics as JSON (- for standard output, which then\n"
         "                        gets no table)\n"
         "  --html FILE           one self-contained HTML report with tables and plots\n"
         "  --plots DIR           plots as PNG and SVG: each day's seeing, histogram,\n"
         "                        cumulative distribution, hourly medians\n"
         "  --export-ecsv FILE    every measurement as ECSV (units and metadata; astropy)\n"
         "  --export-csv FILE     every measurement as CSV\n"
         "  --station NAME        station name for reports and exports (default: host name);\n"
         "                        with --postgres the station to read, or all: each\n"
         "                        station in turn, its files named FILE-NAME.EXT, DIR/NAME,\n"
         "                        then the stations side by side (in FILE and DIR)\n"
         "  --postgres CONNINFO   read the network archive (quorvel-collect's PostgreSQL\n"
         "                        database; a libpq connection string, \"\" for the PG*\n"
         "                        variables) instead of files; days are local dates\n"
         "  --site LAT,LON,ALT    site in degrees north, degrees EAST and metres (default:\n"
         "                        the site set in quorvel's Setup, or the archive's)\n"
         "  --help                this text\n"
         "  --version             the program's version\n"
         "\n"
         "Exit status: 0 done, 1 an input could not be read or an output not written\n"
         "(all else is still done), 2 a bad option.\n";
}

void SetSite(TReportMeta& meta, double latDeg, double lonEastDeg, double altM) {
  meta.latitudeDeg = latDeg;
  meta.longitudeEastDeg = lonEastDeg;
  meta.altitudeM = altM;
  meta.siteKnown = true;
  meta.site = SiteText(latDeg, lonEastDeg, altM);
}

void SiteFromSettings(TReportMeta& meta) {
  TDatabaseRegistry settings;
  ReadStartupSettings(settings);
  SiteOfProgram(meta);
}

void SiteOfProgram(TReportMeta& meta) {
  SetSite(meta, SetupLocation.Latitude * kRadToDeg, -SetupLocation.Longitude * kRadToDeg,
          SetupLocation.AltitudeM);
}

TUtcOffsetFn ZoneOffset(const QTimeZone& zone) {
  return [zone](double unixSeconds) {
    const auto ms = static_cast<qint64>(std::floor(unixSeconds)) * 1000;
    return zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
  };
}

bool ResultFilesIn(const std::string& folder, std::vector<TResultFileRef>& out,
                   std::string& error) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  std::vector<TResultFileRef> found;
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    const auto date = DateFromResultFileName(name);
    std::error_code ec2;
    if (date && entry.is_regular_file(ec2)) found.push_back({entry.path().string(), *date});
  }
  std::sort(found.begin(), found.end(), [](const TResultFileRef& a, const TResultFileRef& b) {
    return a.date == b.date ? a.path < b.path : a.date < b.date;
  });
  out.insert(out.end(), found.begin(), found.end());
  return true;
}

std::optional<TReportRequest> ParseReportArgs(const std::vector<std::string>& args,
                                              std::ostream& out, std::ostream& err, int& exitCode) {
  TReportRequest r;
  exitCode = 2;
  bool siteGiven = false, stationGiven = false;
  const auto fail = [&](const std::string& why) {
    err << "quorvel-report: " << why << "\nTry 'quorvel-report --help'.\n";
    return std::nullopt;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string value;
    bool hasValue = false;
    if (a.rfind("--", 0) == 0) {
      const auto eq = a.find('=');
      if (eq != std::string::npos) {
        value = a.substr(eq + 1);
        a = a.substr(0, eq);
        hasValue = true;
      }
    }
    const auto need = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      out << ReportUsage();
      exitCode = 0;
      return std::nullopt;
    }
    if (a == "--version") {
      out << "quorvel-report " << QUORVEL_REPORT_VERSION << "\n";
      exitCode = 0;
      return std::nullopt;
    }
    static const char* const kValued[] = {"--from",       "--to",      "--tz",    "--window-level",
                                          "--json",       "--html",    "--plots", "--export-ecsv",
                                          "--export-csv", "--station", "--site",  "--postgres"};
    const bool valued = std::find_if(std::begin(kValued), std::end(kValued),
                                     [&](const char* k) { return a == k; }) != std::end(kValued);
    if (valued) {
      if (!need() || (value.empty() && a != "--postgres"))
        return fail("option " + a + " needs a value");
      if (a == "--from" || a == "--to") {
        const auto d = ParseIsoDate(value);
        if (!d) return fail("not a date (YYYY-MM-DD) for " + a + ": " + value);
        (a == "--from" ? r.from : r.to) = d;
      } else if (a == "--tz") {
        const QTimeZone z(QByteArray::fromStdString(value));
        if (!z.isValid()) return fail("unknown time zone: " + value);
        r.zone = z;
      } else if (a == "--window-level") {
        double v = 0;
        if (!ParseDouble(value, v) || v <= 0 || v > 100)
          return fail("--window-level takes arcseconds above 0 (up to 100): " + value);
        r.windowLevel = v;
      } else if (a == "--json") {
        r.json = value;
      } else if (a == "--html") {
        r.html = value;
      } else if (a == "--plots") {
        r.plotsDir = value;
      } else if (a == "--export-ecsv") {
        r.ecsv = value;
      } else if (a == "--export-csv") {
        r.csv = value;
      } else if (a == "--station") {
        r.meta.station = value;
        r.station = value;
        stationGiven = true;
      } else if (a == "--postgres") {
        r.postgres = value;
        r.fromArchive = true;
      } else if (a == "--site") {
        double v[3];
        std::size_t start = 0;
        int n = 0;
        for (; n < 3; ++n) {
          const auto comma = value.find(',', start);
          const std::string part =
              value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
          if (!ParseDouble(part, v[n])) break;
          if (comma == std::string::npos) {
            ++n;
            break;
          }
          start = comma + 1;
        }
        if (n != 3 || std::count(value.begin(), value.end(), ',') != 2 || std::fabs(v[0]) > 90 ||
            std::fabs(v[1]) > 360 || v[2] < -500 || v[2] > 10000)
          return fail("--site takes LAT,LON,ALT (degrees north, degrees east, metres): " + value);
        SetSite(r.meta, v[0], v[1], v[2]);
        siteGiven = true;
      }
      continue;
    }
    if (a.rfind("-", 0) == 0 && a != "-") return fail("unknown option: " + a);
    r.inputs.push_back(args[i]);
  }
  if (r.fromArchive) {
    if (!r.inputs.empty()) return fail("--postgres reads the archive, not files");
    if (!stationGiven) return fail("--postgres needs --station NAME or --station all");
  } else if (r.inputs.empty()) {
    return fail("no results file or folder given");
  }
  r.siteGiven = siteGiven;
  const int toStdout = (r.json == "-") + (r.html == "-") + (r.ecsv == "-") + (r.csv == "-");
  if (toStdout > 1) return fail("only one output can go to standard output (-)");
  if (r.from && r.to && *r.to < *r.from) return fail("--to is before --from");
  if (!stationGiven) r.meta.station = QSysInfo::machineHostName().toStdString();
  if (!siteGiven && !r.fromArchive) SiteFromSettings(r.meta);
  r.meta.windowLevel = r.windowLevel;
  r.meta.timeZone = r.zone.id().toStdString();
  r.table = toStdout == 0;
  exitCode = 0;
  return r;
}

std::vector<std::string> WriteSummaryPlots(const std::string& dir, const TReportBuilder& report) {
  const auto& all = report.OverallValues();
  const std::pair<std::string, TDrawFn> plots[] = {
      {"histogram",
       [&](TCanvas& c) {
         DrawHistogram(c, kPlotWidth, kPlotHeight, all.Seeing(), all.SeeingZenith(),
                       "Histogram of seeing");
       }},
      {"cumulative",
       [&](TCanvas& c) {
         DrawCumulative(c, kPlotWidth, kPlotHeight, all.Seeing(), all.SeeingZenith(),
                        "Cumulative distribution of seeing");
       }},
      {"hourly",
       [&](TCanvas& c) {
         DrawHourlyMedians(c, kPlotWidth, kPlotHeight, report.Overall().hourlyMedianSeeing,
                           "Median line-of-sight seeing per local hour");
       }},
  };
  std::vector<std::string> errors;
  for (const auto& [name, draw] : plots) {
    const std::string base = (fs::path(dir) / name).string();
    for (const auto& e : {SavePng(base + ".png", kPlotWidth, kPlotHeight, draw),
                          SaveSvg(base + ".svg", kPlotWidth, kPlotHeight, draw)})
      if (!e.empty()) errors.push_back(e);
  }
  return errors;
}

std::vector<std::string> WriteDayPlot(const std::string& dir, const TDayCurve& curve,
                                      const TUtcOffsetFn& offset) {
  const TDrawFn draw = [&](TCanvas& c) { DrawDayCurve(c, kPlotWidth, kPlotHeight, curve, offset); };
  const std::string base = (fs::path(dir) / ("seeing-" + curve.date)).string();
  std::vector<std::string> errors;
  for (const auto& e : {SavePng(base + ".png", kPlotWidth, kPlotHeight, draw),
                        SaveSvg(base + ".svg", kPlotWidth, kPlotHeight, draw)})
    if (!e.empty()) errors.push_back(e);
  return errors;
}

namespace {

// What a report's days come from: calls `day` for each day in date order,
// which reads that day's measurements into the builder; returns 1 when an
// input could not be read.
using TDayFeed =
    std::function<int(TReportBuilder& report, const std::function<void(const TMeasurement&)>& each,
                      const std::function<void(const TDate&)>& dayDone)>;

// `summary`, when given, gets the selection's figures for a comparison.
int Produce(const TReportRequest& r, const TReportMeta& meta, const TRequestOutputs& to,
            const TDayFeed& feed, std::ostream& out, std::ostream& err,
            TStationSummary* summary = nullptr) {
  int status = 0;
  const TUtcOffsetFn offset = ZoneOffset(r.zone);
  if (!to.plotsDir.empty()) {
    std::error_code ec;
    fs::create_directories(to.plotsDir, ec);
    if (ec) {
      err << "quorvel-report: cannot make folder " << to.plotsDir << ": " << ec.message() << "\n";
      status = 1;
    }
  }
  std::unique_ptr<TOutput> ecsvOut, csvOut;
  std::unique_ptr<TExportWriter> ecsv, csv;
  if (!to.ecsv.empty()) {
    ecsvOut = std::make_unique<TOutput>(to.ecsv, out);
    ecsv = std::make_unique<TExportWriter>(ecsvOut->Stream(), TExportFormat::Ecsv, meta);
  }
  if (!to.csv.empty()) {
    csvOut = std::make_unique<TOutput>(to.csv, out);
    csv = std::make_unique<TExportWriter>(csvOut->Stream(), TExportFormat::Csv, meta);
  }

  TReportBuilder report(offset, r.windowLevel, !to.html.empty());
  const auto each = [&](const TMeasurement& m) {
    if (ecsv) ecsv->Add(m);
    if (csv) csv->Add(m);
  };
  status |= feed(report, each, [&](const TDate& date) {
    if (to.plotsDir.empty()) return;
    for (const auto& e :
         WriteDayPlot(to.plotsDir, ThinCurve(date.Iso(), report.LastDaySeries()), offset)) {
      err << "quorvel-report: " << e << "\n";
      status = 1;
    }
  });
  report.Finish();
  if (report.Days().empty()) err << "quorvel-report: no results file in the selection\n";
  if (summary) *summary = SummaryOf(report, meta);

  for (auto* o : {ecsvOut.get(), csvOut.get()})
    if (o && !o->Close(err)) status = 1;
  if (r.table) WriteTextReport(out, report.Days(), report.Overall(), report.Lines(), meta);
  if (!to.json.empty()) {
    TOutput o(to.json, out);
    WriteJsonReport(o.Stream(), report.Days(), report.Overall(), report.Lines(), meta);
    if (!o.Close(err)) status = 1;
  }
  if (!to.html.empty()) {
    TOutput o(to.html, out);
    WriteHtmlReport(o.Stream(), report, meta, offset);
    if (!o.Close(err)) status = 1;
  }
  if (!to.plotsDir.empty())
    for (const auto& e : WriteSummaryPlots(to.plotsDir, report)) {
      err << "quorvel-report: " << e << "\n";
      status = 1;
    }
  return status;
}

TRequestOutputs OutputsOf(const TReportRequest& r) {
  return {r.json, r.html, r.plotsDir, r.ecsv, r.csv};
}

// "out.json" -> "out-north.json"; standard output stays.
std::string ForStation(const std::string& path, const std::string& station) {
  if (path.empty() || path == "-") return path;
  const fs::path p(path);
  return (p.parent_path() / (p.stem().string() + "-" + station + p.extension().string())).string();
}

// The stations side by side: in the text, in FILE.json and FILE.html
// themselves (each station's own being FILE-NAME.EXT) and in DIR.
int WriteComparison(const TReportRequest& r, const std::vector<TStationSummary>& stations,
                    std::ostream& out, std::ostream& err) {
  int status = 0;
  if (r.table) {
    out << "\n== Stations side by side ==\n";
    WriteTextComparison(out, stations);
  }
  if (!r.json.empty()) {
    TOutput o(r.json, out);
    WriteJsonComparison(o.Stream(), stations);
    if (!o.Close(err)) status = 1;
  }
  if (!r.html.empty()) {
    TOutput o(r.html, out);
    WriteHtmlComparison(o.Stream(), stations);
    if (!o.Close(err)) status = 1;
  }
  if (!r.plotsDir.empty()) {
    std::vector<std::pair<std::string, std::map<int, double>>> hourly;
    for (const auto& s : stations) hourly.push_back({s.meta.station, s.overall.hourlyMedianSeeing});
    const TDrawFn draw = [&](TCanvas& c) {
      DrawHourlyMediansByStation(c, kPlotWidth, kPlotHeight, hourly,
                                 "Median line-of-sight seeing per local hour, by station");
    };
    const std::string base = (fs::path(r.plotsDir) / "hourly-by-station").string();
    for (const auto& e : {SavePng(base + ".png", kPlotWidth, kPlotHeight, draw),
                          SaveSvg(base + ".svg", kPlotWidth, kPlotHeight, draw)})
      if (!e.empty()) {
        err << "quorvel-report: " << e << "\n";
        status = 1;
      }
  }
  return status;
}

int ArchiveReport(const TReportRequest& r, std::ostream& out, std::ostream& err) {
  archive::TPgArchive db(r.postgres);
  std::string error;
  if (!archive::TPgArchive::CheckConninfo(r.postgres, error) || !db.Connect(error)) {
    err << "quorvel-report: cannot reach the database at " << db.Where() << ": " << error << "\n";
    return 1;
  }
  const std::string only = r.station == "all" ? "" : r.station;
  struct TStation {
    std::string name;
    double lat = 0, lon = 0, alt = 0;
  };
  std::vector<TStation> stations;
  auto res = db.Query(
      archive::SelectStations(only),
      [&](const std::vector<const char*>& v) {
        stations.push_back({v[0], std::strtod(v[1], nullptr), std::strtod(v[2], nullptr),
                            std::strtod(v[3], nullptr)});
      },
      error);
  if (res != archive::TDbResult::Ok) {
    err << "quorvel-report: cannot read the archive: " << error << "\n";
    return 1;
  }
  if (stations.empty()) {
    err << "quorvel-report: no station " << (only.empty() ? "" : "'" + only + "' ")
        << "in the archive\n";
    return 1;
  }
  const TUtcOffsetFn offset = ZoneOffset(r.zone);
  int status = 0;
  std::vector<TStationSummary> summaries;
  for (const auto& st : stations) {
    TReportMeta meta = r.meta;
    meta.station = st.name;
    if (!r.siteGiven) SetSite(meta, st.lat, st.lon, st.alt);
    TRequestOutputs to = OutputsOf(r);
    if (stations.size() > 1 || r.station == "all") {
      for (auto* path : {&to.json, &to.html, &to.ecsv, &to.csv}) *path = ForStation(*path, st.name);
      if (!to.plotsDir.empty()) to.plotsDir = (fs::path(to.plotsDir) / st.name).string();
      if (r.table) out << (&st == &stations.front() ? "" : "\n") << "== " << st.name << " ==\n";
    }
    const TDayFeed feed = [&](TReportBuilder& report,
                              const std::function<void(const TMeasurement&)>& each,
                              const std::function<void(const TDate&)>& dayDone) {
      std::optional<TDate> day;
      std::string qerror;
      const auto endDay = [&] {
        if (!day) return;
        report.EndDay();
        dayDone(*day);
      };
      const auto q = db.Query(
          archive::SelectMeasurements(st.name),
          [&](const std::vector<const char*>& v) {
            TMeasurement m;
            double* const f[] = {&m.julianDay, &m.signalMv,  &m.seeing,       &m.r0,
                                 &m.azimuth,   &m.elevation, &m.seeingZenith, &m.r0Zenith};
            for (std::size_t k = 0; k < 8; ++k) *f[k] = std::strtod(v[k + 1], nullptr);
            m.unixSeconds = UnixSecondsFromJulianDay(m.julianDay);
            const TDate d = DateOfUnixSeconds(m.unixSeconds, offset(m.unixSeconds));
            if ((r.from && d < *r.from) || (r.to && *r.to < d)) return;
            if (!day || !(*day == d)) {
              endDay();
              day = d;
              report.BeginDay(d.Iso());
            }
            report.Add(m);
            each(m);
          },
          qerror);
      if (q != archive::TDbResult::Ok) {
        err << "quorvel-report: cannot read the archive: " << qerror << "\n";
        return 1;
      }
      endDay();
      return 0;
    };
    if (r.station != "all") {
      status |= Produce(r, meta, to, feed, out, err);
      continue;
    }
    summaries.emplace_back();
    status |= Produce(r, meta, to, feed, out, err, &summaries.back());
    if (!to.html.empty() && to.html != "-")
      summaries.back().htmlFile = fs::path(to.html).filename().string();
  }
  if (r.station == "all") status |= WriteComparison(r, summaries, out, err);
  return status;
}

}  // namespace

int RunReport(const TReportRequest& r, std::ostream& out, std::ostream& err) {
  if (r.fromArchive) return ArchiveReport(r, out, err);
  int status = 0;
  const TUtcOffsetFn offset = ZoneOffset(r.zone);
  // Files grouped by their day, in date order.
  std::map<TDate, std::vector<std::string>> days;
  for (const auto& input : r.inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      std::vector<TResultFileRef> files;
      std::string error;
      if (!ResultFilesIn(input, files, error)) {
        err << "quorvel-report: cannot read folder " << input << ": " << error << "\n";
        status = 1;
        continue;
      }
      for (const auto& f : files) days[f.date].push_back(f.path);
      continue;
    }
    std::ifstream probe(input, std::ios::binary);
    if (!probe) {
      err << "quorvel-report: cannot read " << input << ": " << std::strerror(errno) << "\n";
      status = 1;
      continue;
    }
    auto date = DateFromResultFileName(input);
    if (!date) date = FirstMeasurementDate(input, offset);
    if (!date) {
      err << "quorvel-report: " << input
          << ": no measurement and no date in the file name; left out\n";
      continue;
    }
    days[*date].push_back(input);
  }

  const TDayFeed feed = [&](TReportBuilder& report,
                            const std::function<void(const TMeasurement&)>& each,
                            const std::function<void(const TDate&)>& dayDone) {
    int readStatus = 0;
    for (const auto& [date, files] : days) {
      if ((r.from && date < *r.from) || (r.to && *r.to < date)) continue;
      report.BeginDay(date.Iso());
      for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
          err << "quorvel-report: cannot read " << path << ": " << std::strerror(errno) << "\n";
          readStatus = 1;
          continue;
        }
        const auto counts = report.Read(in, each);
        if (in.bad()) {
          err << "quorvel-report: read error in " << path << "\n";
          readStatus = 1;
        }
        if (counts.Skipped() > 0)
          err << "quorvel-report: " << path << ": " << counts.Skipped() << " line(s) skipped ("
              << counts.torn << " cut short, " << counts.bad << " unreadable)\n";
      }
      report.EndDay();
      dayDone(date);
    }
    return readStatus;
  };
  return status | Produce(r, r.meta, OutputsOf(r), feed, out, err);
}

}  // namespace quorvel::report
