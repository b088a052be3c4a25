// quorvel-report run in-process on small fixtures: its options, its files,
// and the outputs read back by what users open them with (astropy, a
// browser, image and XML readers).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "history/ResultReader.h"
#include "report/ReportTool.h"
#include "tests/setup/QtTestSupport.h"

namespace {

using namespace quorvel::report;
namespace fs = std::filesystem;

const std::string kFixtures = QUORVEL_HISTORY_FIXTURES;

struct TRun {
  int status = -1;
  std::string out, err;
};

TRun RunTool(std::vector<std::string> args) {
  std::ostringstream out, err;
  TRun r;
  int code = 0;
  // A fixed site and station: the tests do not read the user's settings.
  args.insert(args.begin(), {"--site", "45.5,3.5,0", "--station", "test-station"});
  const auto request = ParseReportArgs(args, out, err, code);
  r.status = request ? RunReport(*request, out, err) : code;
  r.out = out.str();
  r.err = err.str();
  return r;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A folder holding the fixture days 2026-05-03 (C locale, with a bad and a
// torn line), 05-04 (one line) and 05-05 (header only).
class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    data_ = (fs::path(tmp_.path().toStdString()) / "data").string();
    fs::create_directories(data_);
    for (const char* f :
         {"locale-c/2026_ 5_ 3_Results.txt", "2026_ 5_ 4_Results.txt", "2026_ 5_ 5_Results.txt"})
      fs::copy_file(kFixtures + "/" + f, fs::path(data_) / fs::path(f).filename());
    std::ofstream(fs::path(data_) / "notes.txt") << "not a results file\n";
  }
  std::string Path(const std::string& name) const {
    return (fs::path(tmp_.path().toStdString()) / name).string();
  }
  QTemporaryDir tmp_;
  std::string data_;
};

TEST_F(ReportTest, JsonHasTheDocumentedShape) {
  const auto r = RunTool({"--tz", "Europe/Paris", "--json", Path("r.json"), data_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("1 cut short, 1 unreadable"), std::string::npos) << r.err;
  QJsonParseError error;
  const auto doc =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadAll(Path("r.json"))), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  const auto days = doc.object()["days"].toArray();
  ASSERT_EQ(days.size(), 3);
  const auto d = days[0].toObject();
  EXPECT_EQ(d["date"].toString(), "2026-05-03");
  EXPECT_EQ(d["count"].toInt(), 10);
  for (const char* key : {"seeing_arcsec", "seeing_zenith_arcsec", "r0_mm", "r0_zenith_mm"}) {
    const auto s = d[key].toObject();
    for (const char* k : {"min", "p10", "p25", "median", "p75", "p90", "max", "mean"})
      EXPECT_TRUE(s[k].isDouble()) << key << "." << k;
  }
  EXPECT_DOUBLE_EQ(d["seeing_arcsec"].toObject()["median"].toDouble(), 1.375);
  EXPECT_DOUBLE_EQ(d["seeing_arcsec"].toObject()["p90"].toDouble(), 3.21);
  EXPECT_DOUBLE_EQ(d["seeing_fraction_below"].toObject()["1.5"].toDouble(), 0.6);
  // 12:00 UTC is 14 h in Paris in May.
  EXPECT_DOUBLE_EQ(d["hourly_median_seeing_arcsec"].toObject()["14"].toDouble(), 1.375);
  EXPECT_TRUE(d["best_windows"].isArray());
  const auto empty = days[2].toObject();
  EXPECT_EQ(empty["count"].toInt(), 0);
  EXPECT_TRUE(empty["seeing_arcsec"].toObject()["median"].isNull());
  const auto overall = doc.object()["overall"].toObject();
  EXPECT_FALSE(overall.contains("date"));
  EXPECT_EQ(overall["count"].toInt(), 11);
  // 11 values: the ten of May 3 and 1.75.
  EXPECT_DOUBLE_EQ(overall["seeing_arcsec"].toObject()["median"].toDouble(), 1.5);
  EXPECT_EQ(doc.object()["station"].toString(), "test-station");
}

TEST_F(ReportTest, FromAndToSelectDaysAndTheTableGoesToStandardOutput) {
  const auto r = RunTool({"--from", "2026-05-04", "--to", "2026-05-04", data_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2026-05-04"), std::string::npos);
  EXPECT_EQ(r.out.find("2026-05-03"), std::string::npos);
  EXPECT_NE(r.out.find("1 measurements read"), std::string::npos) << r.out;
  // --json - puts JSON alone on standard output.
  const auto j = RunTool({"--json", "-", "--from", "2026-05-05", data_});
  ASSERT_EQ(j.status, 0);
  EXPECT_EQ(j.out.rfind("{\"days\": [", 0), 0u) << j.out;
}

TEST_F(ReportTest, BadOptionsAreRefusedWithStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--from", "2026-13-01", "x"},
      {"--to", "yesterday", "x"},
      {"--from", "2026-05-04", "--to", "2026-05-03", "x"},
      {"--tz", "Mars/Olympus", "x"},
      {"--window-level", "0", "x"},
      {"--window-level", "abc", "x"},
      {"--site", "91,3,0", "x"},
      {"--site", "45,3", "x"},
      {"--json"},
      {"--frobnicate", "x"},
      {"--json", "-", "--export-csv", "-", "x"},
  };
  for (const auto& args : cases) {
    std::ostringstream out, err;
    int code = -1;
    EXPECT_FALSE(ParseReportArgs(args, out, err, code).has_value());
    EXPECT_EQ(code, 2);
    EXPECT_EQ(err.str().rfind("quorvel-report: ", 0), 0u) << err.str();
  }
  std::ostringstream out, err;
  int code = -1;
  EXPECT_FALSE(ParseReportArgs({"--help"}, out, err, code).has_value());
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out.str(), ReportUsage());
}

TEST_F(ReportTest, AnUnreadableInputIsNamedAndTheRestStillDone) {
  const auto r = RunTool({"--json", Path("r.json"), Path("absent.txt"), data_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read " + Path("absent.txt")), std::string::npos) << r.err;
  EXPECT_NE(ReadAll(Path("r.json")).find("\"2026-05-03\""), std::string::npos);
  // An output that cannot be written.
  const auto w = RunTool({"--html", Path("no/such/folder/r.html"), data_});
  EXPECT_EQ(w.status, 1);
  EXPECT_NE(w.err.find("cannot write"), std::string::npos) << w.err;
}

// A file named otherwise takes the local date of its first measurement; the
// DST day gets no 02 h in Paris.
TEST_F(ReportTest, DaylightSavingDayInParisAndAFileWithoutADateName) {
  const std::string file = Path("spring.txt");
  std::ofstream out(file, std::ios::binary);
  for (int i = 0; i < 18; ++i) {
    // 30 s past each ten minutes: clear of the Julian day's rounding at the change.
    const double jd = 2440587.5 + (1774746000.0 - 5400 + 30 + 600.0 * i) / 86400.0;
    char line[200];
    std::snprintf(
        line, sizeof line,
        "x | y | %.7f | 300.0 | %.2f | 50.0 | 100.000 | 30.000 | 1.00     | 80.0     |\r\n", jd,
        1.0 + i);
    out << line;
  }
  out.close();
  const auto r = RunTool({"--tz", "Europe/Paris", "--json", Path("r.json"), file});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(ReadAll(Path("r.json"))));
  const auto days = doc.object()["days"].toArray();
  ASSERT_EQ(days.size(), 1);
  EXPECT_EQ(days[0].toObject()["date"].toString(), "2026-03-29");
  const auto hourly = days[0].toObject()["hourly_median_seeing_arcsec"].toObject();
  EXPECT_EQ(hourly.keys(), (QStringList{"00", "01", "03", "04"}));
  EXPECT_DOUBLE_EQ(hourly["03"].toDouble(), 12.5);
}

TEST_F(ReportTest, PlotsArePngAndSvgFiles) {
  const auto r = RunTool({"--plots", Path("plots"), data_});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"seeing-2026-05-03", "seeing-2026-05-04", "seeing-2026-05-05",
                           "histogram", "cumulative", "hourly"}) {
    SCOPED_TRACE(name);
    const QImage png(QString::fromStdString(Path("plots/") + name + ".png"));
    EXPECT_EQ(png.size(), QSize(900, 400));
    QFile svg(QString::fromStdString(Path("plots/") + name + ".svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int polylines = 0;
    bool noData = false;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == QLatin1String("polyline")) ++polylines;
      if (xml.name() == QLatin1String("text") && xml.readElementText() == "no measurements")
        noData = true;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    // The header-only day draws its frame and says so.
    if (std::string(name) == "seeing-2026-05-05")
      EXPECT_TRUE(noData);
    else
      EXPECT_GT(polylines, 0);
  }
}

TEST_F(ReportTest, CsvExportHasEveryMeasurement) {
  const auto r = RunTool({"--export-csv", Path("e.csv"), data_});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream in(ReadAll(Path("e.csv")));
  int comments = 0, rows = 0;
  std::string header;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#", 0) == 0)
      ++comments;
    else if (header.empty())
      header = line;
    else
      ++rows;
  }
  EXPECT_EQ(rows, 11);
  EXPECT_GE(comments, 2);
  EXPECT_EQ(header,
            "utc,julian_day,signal_mV,seeing_arcsec,r0_mm,azimuth_deg,elevation_deg,seeing_zenith_"
            "arcsec,r0_zenith_mm");
}

// Debian's python3 (the PATH may lead to another interpreter without astropy).
QString PythonWithAstropy() {
  for (const QString& python : {QString("/usr/bin/python3"), QString("python3")}) {
    QProcess p;
    p.start(python, {"-c", "import astropy"});
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
      return python;
  }
  return {};
}

TEST_F(ReportTest, EcsvReadsInAstropyWithUnitsAndMetadata) {
  const QString python = PythonWithAstropy();
  if (python.isEmpty()) GTEST_SKIP() << "astropy is not installed (Debian package python3-astropy)";
  const auto r = RunTool({"--export-ecsv", Path("e.ecsv"), data_});
  ASSERT_EQ(r.status, 0) << r.err;
  const char* script = R"py(
import sys, math
from astropy.table import Table
t = Table.read(sys.argv[1], format="ascii.ecsv")
assert len(t) == 11, len(t)
assert str(t["seeing"].unit) == "arcsec", t["seeing"].unit
assert str(t["r0_zenith"].unit) == "mm"
assert str(t["signal"].unit) == "mV"
assert t.meta["station"] == "test-station", t.meta
assert t.meta["site_latitude_deg"] == 45.5
assert t["utc"][0] == "2026-05-03T12:00:00.00Z", t["utc"][0]
assert abs(t["seeing"][0] - 1.25) < 1e-12
assert math.isnan(t["seeing_zenith"][5])
print("ok")
)py";
  QProcess p;
  p.start(python, {"-c", script, QString::fromStdString(Path("e.ecsv"))});
  ASSERT_TRUE(p.waitForFinished(120000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(p.readAllStandardOutput().trimmed().toStdString(), "ok");
}

// Headless Chromium: every console message is logged on standard error as
// "...:CONSOLE(...)"; a page without scripts should have none.
struct TBrowserRun {
  bool ran = false;
  std::string dom, log;
};

TBrowserRun OpenInChromium(const QString& chromium, const std::string& html,
                           const QString& profile) {
  QProcess p;
  p.start(chromium,
          {"--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run",
           "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0", "--dump-dom",
           QString::fromStdString("file://" + html)});
  TBrowserRun r;
  r.ran = p.waitForFinished(120000) && p.exitCode() == 0;
  r.dom = p.readAllStandardOutput().toStdString();
  r.log = p.readAllStandardError().toStdString();
  return r;
}

TEST_F(ReportTest, HtmlOpensInHeadlessChromiumWithoutConsoleErrors) {
  const QString chromium = QStandardPaths::findExecutable("chromium");
  if (chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
  const auto r = RunTool({"--html", Path("r.html"), "--tz", "Europe/Paris", data_});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = ReadAll(Path("r.html"));
  // Self-contained: nothing to fetch.
  for (const char* outside :
       {"src=", "http://www.w3.org/1999", "https:", "<script", "@import", "url("})
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;

  // The detector first sees a page that does log an error.
  const std::string control = Path("control.html");
  std::ofstream(control) << "<!DOCTYPE html><html><head><title>c</title></head><body><script>"
                            "console.error('control error')</script></body></html>";
  const auto bad = OpenInChromium(chromium, control, QString::fromStdString(Path("profile1")));
  ASSERT_TRUE(bad.ran) << bad.log;
  ASSERT_NE(bad.log.find("CONSOLE"), std::string::npos)
      << "chromium no longer logs console messages:\n"
      << bad.log;

  const auto run =
      OpenInChromium(chromium, Path("r.html"), QString::fromStdString(Path("profile2")));
  ASSERT_TRUE(run.ran) << run.log;
  EXPECT_EQ(run.log.find("CONSOLE"), std::string::npos) << run.log;
  EXPECT_NE(run.dom.find("<h1>Seeing report</h1>"), std::string::npos);
  EXPECT_NE(run.dom.find("<svg"), std::string::npos);
  EXPECT_NE(run.dom.find("1887"), std::string::npos) << "the footnote on the method";
}

}  // namespace
