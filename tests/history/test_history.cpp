// The reader and the statistics against figures computed independently
// (numpy.percentile, default "linear" method, on the fixture values).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "history/Export.h"
#include "history/Report.h"
#include "history/ResultReader.h"
#include "history/Statistics.h"
#include "measure/Declarations.h"
#include "records/RegionalFormat.h"
#include "records/ResultFile.h"

namespace {

using namespace quorvel::history;

const std::string kFixtures = QUORVEL_HISTORY_FIXTURES;

TPeriodStats DayOf(const std::string& path, TReadCounts* lines = nullptr) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  TReportBuilder b([](double) { return 7200; }, 2.0, false);
  b.BeginDay("day");
  const auto counts = b.Read(in);
  if (lines) *lines = counts;
  return b.EndDay().stats;
}

void ExpectSummary(const TSummary& s, std::uint64_t n, const std::array<double, 8>& want) {
  EXPECT_EQ(s.n, n);
  const double got[] = {s.min, s.p10, s.p25, s.median, s.p75, s.p90, s.max, s.mean};
  const char* names[] = {"min", "p10", "p25", "median", "p75", "p90", "max", "mean"};
  for (int i = 0; i < 8; ++i)
    EXPECT_NEAR(got[i], want[static_cast<std::size_t>(i)], 1e-9) << names[i];
}

// Ten measurements with ties (1.25 three times, 2.00 twice), one zenith
// seeing NAN, under three regional date formats; the C-locale file also has
// an unreadable line and a torn last line.
TEST(HistoryStatistics, FixtureDayAgreesWithAnIndependentComputationUnderEveryLocale) {
  for (const char* locale : {"locale-c", "locale-de", "locale-us"}) {
    SCOPED_TRACE(locale);
    TReadCounts lines;
    const auto d = DayOf(kFixtures + "/" + locale + "/2026_ 5_ 3_Results.txt", &lines);
    EXPECT_EQ(d.count, 10u);
    EXPECT_EQ(lines.headers, 1u);
    const bool c = std::string(locale) == "locale-c";
    EXPECT_EQ(lines.bad, c ? 1u : 0u);
    EXPECT_EQ(lines.torn, c ? 1u : 0u);
    ExpectSummary(d.seeing, 10, {0.98, 0.998, 1.25, 1.375, 2.0, 3.2099999999999995, 4.2, 1.853});
    ExpectSummary(d.seeingZenith, 9, {0.8, 0.88, 1.05, 1.3, 1.8, 2.78, 3.5, 1.6388888888888888});
    ExpectSummary(d.r0, 10, {27.0, 35.64, 56.7, 83.2, 90.8, 113.64, 115.8, 75.42});
    ExpectSummary(d.r0Zenith, 10, {0.0, 29.16, 48.45, 76.95, 103.825, 127.43, 139.4, 76.55});
    const double fractions[] = {0.2, 0.6, 0.8, 0.8};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(d.fractionBelow[i], fractions[i]);
    // 12:00:00 to 12:00:09 UTC is 14h local at +2 h.
    ASSERT_EQ(d.hourlyMedianSeeing.size(), 1u);
    EXPECT_DOUBLE_EQ(d.hourlyMedianSeeing.at(14), 1.375);
    EXPECT_NEAR(d.hours * 3600, 10.0, 0.01);  // 9 one-second spans + the last second
  }
}

TEST(HistoryStatistics, SingleLineAndEmptyDay) {
  const auto one = DayOf(kFixtures + "/2026_ 5_ 4_Results.txt");
  EXPECT_EQ(one.count, 1u);
  ExpectSummary(one.seeing, 1, {1.75, 1.75, 1.75, 1.75, 1.75, 1.75, 1.75, 1.75});
  EXPECT_DOUBLE_EQ(one.fractionBelow[2], 1.0);  // 1.75 <= 2
  EXPECT_DOUBLE_EQ(one.fractionBelow[1], 0.0);
  EXPECT_TRUE(one.bestWindows.empty());

  const auto none = DayOf(kFixtures + "/2026_ 5_ 5_Results.txt");
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.seeing.n, 0u);
  EXPECT_TRUE(std::isnan(none.seeing.median));
  EXPECT_TRUE(std::isnan(none.fractionBelow[0]));
  EXPECT_TRUE(none.hourlyMedianSeeing.empty());
  EXPECT_EQ(none.hours, 0.0);
}

TEST(HistoryStatistics, PercentileTable) {
  struct Case {
    std::vector<double> x;
    double p, want;
  } cases[] = {
      {{1, 2, 3, 4}, 50, 2.5},  {{1, 2, 3, 4}, 25, 1.75},   {{1, 2, 3, 4}, 10, 1.3},
      {{1, 2, 3, 4}, 0, 1},     {{1, 2, 3, 4}, 100, 4},     {{5}, 90, 5},
      {{2, 2, 2, 7}, 75, 3.25}, {{1, 1, 1, 1, 9}, 90, 5.8},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(Percentile(c.x, c.p), c.want, 1e-12) << c.p;
    TValueCounts counts;
    for (double v : c.x) counts.Add(v);
    EXPECT_NEAR(Percentile(counts.Sorted(), counts.Count(), c.p), c.want, 1e-12) << c.p;
  }
  EXPECT_TRUE(std::isnan(Percentile(std::vector<double>{}, 50)));
}

// The distinct-value counts give what sorting every value gives, ties and all.
TEST(HistoryStatistics, CountedPercentilesEqualSortedOnes) {
  std::mt19937 rng(7);
  std::lognormal_distribution<double> seeing(0.8, 0.4);
  std::vector<double> all;
  TValueCounts counts;
  for (int i = 0; i < 20000; ++i) {
    const double v = std::round(seeing(rng) * 100) / 100;
    all.push_back(v);
    counts.Add(v);
  }
  counts.Add(std::nan(""));
  std::sort(all.begin(), all.end());
  const auto sorted = counts.Sorted();
  for (double p : {0.0, 1.0, 10.0, 25.0, 33.3, 50.0, 75.0, 90.0, 99.9, 100.0})
    EXPECT_DOUBLE_EQ(Percentile(sorted, counts.Count(), p), Percentile(all, p)) << p;
  EXPECT_EQ(counts.Count(), all.size());
}

std::vector<TSeeingPoint> Steady(double t0, int seconds, double zenith) {
  std::vector<TSeeingPoint> v;
  for (int i = 0; i < seconds; ++i) v.push_back({t0 + i, zenith * 1.3, zenith});
  return v;
}

TEST(HistoryStatistics, BestWindowsFollowTheFiveMinuteMean) {
  // 10 minutes at 1.5", then 3.0": the trailing mean is within 2" from the
  // 300th second to t = 699 (100 of 300 values at 3.0 give exactly 2.0).
  auto pts = Steady(0, 600, 1.5);
  const auto rest = Steady(600, 600, 3.0);
  pts.insert(pts.end(), rest.begin(), rest.end());
  auto w = BestWindows(pts, 2.0);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_DOUBLE_EQ(w[0].startUnix, 299);
  EXPECT_DOUBLE_EQ(w[0].endUnix, 699);

  // A gap of more than two minutes starts a new run, whose mean needs five
  // minutes again; the longer period comes first.
  pts = Steady(0, 400, 1.0);
  const auto after = Steady(1000, 900, 1.0);
  pts.insert(pts.end(), after.begin(), after.end());
  w = BestWindows(pts, 2.0);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_DOUBLE_EQ(w[0].startUnix, 1299);
  EXPECT_DOUBLE_EQ(w[0].endUnix, 1899);
  EXPECT_DOUBLE_EQ(w[1].startUnix, 299);
  EXPECT_DOUBLE_EQ(w[1].endUnix, 399);

  // Nothing within the level, and runs too short for a 5-minute mean.
  EXPECT_TRUE(BestWindows(Steady(0, 1000, 2.5), 2.0).empty());
  EXPECT_TRUE(BestWindows(Steady(0, 250, 1.0), 2.0).empty());
  // A NaN zenith value (Sun below the horizon) is no value.
  pts = Steady(0, 700, 1.0);
  pts[350].seeingZenith = std::nan("");
  EXPECT_EQ(BestWindows(pts, 2.0).size(), 1u);
}

TEST(HistoryStatistics, CoveredTimeCountsShortSpansAndOneSecondPerIsolatedPoint) {
  auto pts = Steady(0, 60, 1.0);
  const auto later = Steady(1000, 10, 1.0);
  pts.insert(pts.end(), later.begin(), later.end());
  EXPECT_DOUBLE_EQ(CoveredSeconds(pts), 59 + 1 + 9 + 1);
  EXPECT_DOUBLE_EQ(CoveredSeconds({}), 0);
}

// 2026-03-29 in Central Europe: clocks go from 02:00 to 03:00 at 01:00 UTC.
TEST(HistoryStatistics, HourlyMediansAcrossTheSpringDaylightSavingChange) {
  const double change = 1774746000;  // 2026-03-29T01:00:00Z
  const auto paris = [change](double t) { return t < change ? 3600 : 7200; };
  TPeriodAccumulator day(paris);
  // One measurement every 10 minutes from 23:30 UTC the day before to 02:20 UTC.
  for (int i = 0; i < 18; ++i) {
    TMeasurement m;
    m.unixSeconds = change - 5400 + 600.0 * i;
    m.seeing = 1.0 + i;
    m.seeingZenith = m.r0 = m.r0Zenith = 1;
    day.Add(m);
  }
  const auto s = day.Finish("2026-03-29", 2.0);
  // Local 00:30-00:50 (3 values), 01:00-01:50 (6), no 02 h, 03:00-03:50 (6), 04:00-04:20 (3).
  ASSERT_EQ(s.hourlyMedianSeeing.size(), 4u);
  EXPECT_EQ(s.hourlyMedianSeeing.count(2), 0u);
  EXPECT_DOUBLE_EQ(s.hourlyMedianSeeing.at(0), 2.0);
  EXPECT_DOUBLE_EQ(s.hourlyMedianSeeing.at(1), 6.5);
  EXPECT_DOUBLE_EQ(s.hourlyMedianSeeing.at(3), 12.5);
  EXPECT_DOUBLE_EQ(s.hourlyMedianSeeing.at(4), 17.0);
  EXPECT_DOUBLE_EQ(s.hours * 3600, 18.0) << "10-minute spans are gaps: one second each";
}

// A line stamped on the hour whose Julian day (7 decimals) reads 2.9 ms
// before it: the measurement belongs to that hour, and to the new day at
// local midnight.
TEST(HistoryReader, ALineOnTheHourStaysInItsHourAndDay) {
  struct Case {
    const char* line;
    int offsetSeconds;
    const char* utc;
    int localHour;
    const char* localDay;
  } cases[] = {
      {"21 Jun 2026 11:00:00 | 21 Jun 2026 11:00:00 | 2461212.9583333 | 400.0 | 2.00 | 50.0 | "
       "100.000 | 50.000 | 1.80     | 56.0     |",
       0, "2026-06-21T11:00:00.00Z", 11, "2026-06-21"},
      {"22 Jun 2026 00:00:00 | 21 Jun 2026 23:00:00 | 2461213.4583333 | 400.0 | 2.00 | 50.0 | "
       "100.000 | 50.000 | 1.80     | 56.0     |",
       3600, "2026-06-21T23:00:00.00Z", 0, "2026-06-22"},
      {"21 Jun 2026 10:00:00 | 21 Jun 2026 10:00:00 | 2461212.9166667 | 400.0 | 2.00 | 50.0 | "
       "100.000 | 50.000 | 1.80     | 56.0     |",
       0, "2026-06-21T10:00:00.00Z", 10, "2026-06-21"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utc);
    TMeasurement m;
    ASSERT_EQ(ParseResultLine(c.line, m), TLineKind::Measurement);
    EXPECT_EQ(IsoUtc(m.unixSeconds), c.utc);
    EXPECT_EQ(DateOfUnixSeconds(m.unixSeconds, c.offsetSeconds).Iso(), c.localDay);
    const int offset = c.offsetSeconds;
    TPeriodAccumulator day([offset](double) { return offset; });
    day.Add(m);
    const auto stats = day.Finish(c.localDay, 2.0);
    ASSERT_EQ(stats.hourlyMedianSeeing.size(), 1u);
    EXPECT_EQ(stats.hourlyMedianSeeing.begin()->first, c.localHour);
  }
}

TEST(HistoryReader, LineKinds) {
  const std::string good =
      "3 May 2026 14:07:09 | 3 May 2026 12:07:09 | 2461164.0049653 | 412.3 | 1.25 | 85.3 | 135.500 "
      "| "
      "52.250 | 1.13     | 103.8     |";
  struct Case {
    std::string line;
    TLineKind kind;
  } cases[] = {
      {good, TLineKind::Measurement},
      {good + "\r", TLineKind::Measurement},
      {"Local Date          | UTC Date  ...", TLineKind::Header},
      {"", TLineKind::Blank},
      {"\r", TLineKind::Blank},
      {good.substr(0, 60), TLineKind::Torn},
      {good.substr(0, good.size() - 1), TLineKind::Torn},
      {good + " extra", TLineKind::Bad},
      {"a | b | 2461164.0049653 | 412.3 | 1,25 | 85.3 | 135.5 | 52.2 | 1.13 | 103.8 |",
       TLineKind::Bad},
      {"a | b | 12.5 | 412.3 | 1.25 | 85.3 | 135.5 | 52.2 | 1.13 | 103.8 |", TLineKind::Bad},
      {"a | b | NAN | 412.3 | 1.25 | 85.3 | 135.5 | 52.2 | 1.13 | 103.8 |", TLineKind::Bad},
      {"a | b | 2461164.0049653 | 412.3 | 1.25 | 85.3 | 135.5 | 52.2 | NAN | INF |",
       TLineKind::Measurement},
      {std::string("\x00\xff\xfe||||||||||", 13), TLineKind::Bad},
  };
  for (const auto& c : cases) {
    TMeasurement m;
    EXPECT_EQ(ParseResultLine(c.line, m), c.kind) << c.line;
  }
  TMeasurement m;
  ASSERT_EQ(ParseResultLine(good, m), TLineKind::Measurement);
  EXPECT_DOUBLE_EQ(m.seeing, 1.25);
  EXPECT_DOUBLE_EQ(m.r0Zenith, 103.8);
  EXPECT_EQ(IsoUtc(m.unixSeconds), "2026-05-03T12:07:09.00Z");
}

TEST(HistoryReader, OverlongJunkIsSkippedWithBoundedMemory) {
  std::string junk(1 << 20, 'x');
  std::istringstream in(junk + "\n\n" + junk);
  const auto counts = ReadResults(in, [](const TMeasurement&) { FAIL(); });
  EXPECT_EQ(counts.bad, 2u);
  EXPECT_EQ(counts.blank, 1u);
}

TEST(HistoryReader, FileNamesAndDates) {
  struct Case {
    const char* name;
    const char* iso;  // nullptr: not a results file
  } cases[] = {
      {"2026_ 5_ 3_Results.txt", "2026-05-03"},
      {"/data/x/2026_12_25_Results.txt", "2026-12-25"},
      {"2026_05_03_Results.txt", "2026-05-03"},
      {"2026_5_3_Results.txt", "2026-05-03"},
      {"2026_ 2_30_Results.txt", nullptr},
      {"2026_ 5_ 3_Results.txt.bak", nullptr},
      {"notes.txt", nullptr},
      {"_ 5_ 3_Results.txt", nullptr},
      {"2024_ 2_29_Results.txt", "2024-02-29"},
      {"2023_ 2_29_Results.txt", nullptr},
  };
  for (const auto& c : cases) {
    const auto d = DateFromResultFileName(c.name);
    EXPECT_EQ(d.has_value(), c.iso != nullptr) << c.name;
    if (d && c.iso) {
      EXPECT_EQ(d->Iso(), c.iso) << c.name;
    }
  }
  EXPECT_EQ(DateOfUnixSeconds(1774746000 - 1, 3600).Iso(), "2026-03-29");
  EXPECT_EQ(DateOfUnixSeconds(1774738800 - 1, 3600).Iso(), "2026-03-28");
}

// Lines written by the program's own writer under several regional formats
// read back to the same instants.
TEST(HistoryReader, LinesOfTheProgramsWriterUnderDifferentLocales) {
  quorvel::TDataOutMes rec{};
  rec.UTCDate = 46145.50496527778;  // 2026-05-03 12:07:09.0 UTC
  rec.CurrentDate = rec.UTCDate + 2.0 / 24;
  rec.Signal_UtileV = 0.4123;
  rec.seeingArcSec = 1.25;
  rec.R0 = 85.3;
  rec.seeingArcSecZen = 1.13;
  rec.R0Zen = 103.8;
  for (const char* locale : {"C", "de_DE", "en_US", "fr_FR", "ja_JP"}) {
    SCOPED_TRACE(locale);
    std::string line = quorvel::FormatResultLine(
        rec, [&](quorvel::TDateTime v) { return quorvel::RegionalDateTimeText(v, locale); });
    ASSERT_GE(line.size(), 2u);
    line.resize(line.size() - 2);  // the reader splits at LF and drops the CR
    TMeasurement m;
    ASSERT_EQ(ParseResultLine(line, m), TLineKind::Measurement) << line;
    EXPECT_EQ(IsoUtc(m.unixSeconds), "2026-05-03T12:07:09.00Z");
    EXPECT_DOUBLE_EQ(m.seeing, 1.25);
  }
}

TEST(HistoryExport, CsvAndEcsvRowsKeepTheValues) {
  TReportMeta meta;
  meta.station = "Pic, \"du\" Midi";
  TMeasurement m;
  m.unixSeconds = UnixSecondsFromJulianDay(2461164.0049653);
  m.julianDay = 2461164.0049653;
  m.seeing = 1.25;
  m.seeingZenith = std::nan("");
  m.r0 = 85.3;
  std::ostringstream csv, ecsv;
  TExportWriter(csv, TExportFormat::Csv, meta).Add(m);
  TExportWriter(ecsv, TExportFormat::Ecsv, meta).Add(m);
  EXPECT_NE(csv.str().find("\nutc,julian_day,signal_mV,seeing_arcsec,r0_mm,"), std::string::npos);
  EXPECT_NE(csv.str().find("2026-05-03T12:07:09.00Z,2461164.0049653,0,1.25,85.3,0,0,nan,0\n"),
            std::string::npos)
      << csv.str();
  EXPECT_NE(ecsv.str().find("#   station: 'Pic, \"du\" Midi'"), std::string::npos) << ecsv.str();
  EXPECT_EQ(ecsv.str().rfind("# %ECSV 1.0\n", 0), 0u);
}

}  // namespace
