// Statistics of seeing and r0 over a day or a selection of days. Values in
// the results files carry two (seeing) or one (r0) decimals, so a year holds
// a few thousand distinct values: counting each distinct value gives exact
// percentiles over any number of measurements in bounded memory.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "history/ResultReader.h"

namespace quorvel::history {

// Exact multiset of finite values (NaN and infinities are left out).
class TValueCounts {
 public:
  void Add(double v);
  void Merge(const TValueCounts& other);
  std::uint64_t Count() const { return n_; }
  double Sum() const { return sum_; }
  // Sorted distinct values with their counts.
  std::vector<std::pair<double, std::uint64_t>> Sorted() const;
  // Share of the values <= limit (NaN when empty).
  double FractionAtOrBelow(double limit) const;

 private:
  std::unordered_map<double, std::uint64_t> counts_;
  std::uint64_t n_ = 0;
  double sum_ = 0;
};

// Percentile `p` (0..100) of sorted values by linear interpolation between
// the closest ranks: rank h = (n - 1) p / 100, x[floor h] + (h - floor h)
// (x[floor h + 1] - x[floor h]). NaN for no values.
double Percentile(const std::vector<double>& sorted, double p);
double Percentile(const std::vector<std::pair<double, std::uint64_t>>& sortedCounts,
                  std::uint64_t n, double p);

struct TSummary {
  std::uint64_t n = 0;  // finite values; when 0 every other field is NaN
  double min, p10, p25, median, p75, p90, max, mean;
  TSummary();
};
TSummary Summarise(const TValueCounts& values);

// Line-of-sight seeing limits of the "fraction below" figures, arcsec; also
// the class limits drawn on the plots.
inline constexpr std::array<double, 4> kSeeingLimits{1.0, 1.5, 2.0, 3.0};

// Consecutive measurements further apart than this belong to separate runs
// (clouds, night, the instrument unplugged).
inline constexpr double kMaxGapSeconds = 120.0;
inline constexpr double kRunningMeanSeconds = 300.0;
inline constexpr std::size_t kMaxWindows = 5;

struct TWindow {
  double startUnix = 0, endUnix = 0;
  double Minutes() const { return (endUnix - startUnix) / 60.0; }
};

// One point of a day's curve.
struct TSeeingPoint {
  double t;  // unix seconds
  double seeing, seeingZenith;
};

// Time covered by the points (sorted by time): the spans between consecutive
// points up to kMaxGapSeconds apart, plus one second (one cycle) for a point
// that no later point follows within the gap.
double CoveredSeconds(const std::vector<TSeeingPoint>& sorted);

// The longest periods in which the trailing 5-minute running mean of zenith
// seeing stays at or below `level` (points sorted by time). The mean at a
// point takes the finite zenith values of the last 300 s and exists once its
// run (no gap over kMaxGapSeconds) has lasted 300 s. A period runs from the
// first to the last point whose mean is within the level; periods of at
// least one minute, longest first (earlier first on ties), at most `maxCount`.
std::vector<TWindow> BestWindows(const std::vector<TSeeingPoint>& sorted, double level,
                                 std::size_t maxCount = kMaxWindows);
// Keeps the `maxCount` longest of `windows`, longest first.
void KeepLongest(std::vector<TWindow>& windows, std::size_t maxCount = kMaxWindows);

// Offset of local time from UTC at an instant, seconds (the --tz zone).
using TUtcOffsetFn = std::function<int(double unixSeconds)>;

// The figures of one day or of a whole selection.
struct TPeriodStats {
  std::string date;  // "YYYY-MM-DD"; empty for a whole selection
  std::uint64_t count = 0;
  double hours = 0;
  TSummary seeing, seeingZenith, r0, r0Zenith;
  std::array<double, kSeeingLimits.size()> fractionBelow{};  // NaN without seeing values
  std::map<int, double> hourlyMedianSeeing;                  // local hour -> median
  std::vector<TWindow> bestWindows;
};

// Accumulates measurements. Keeps the distinct-value counts, and for a day
// (KeepSeries) the day's curve for windows, coverage and plots.
class TPeriodAccumulator {
 public:
  explicit TPeriodAccumulator(TUtcOffsetFn offset, bool keepSeries = true);
  void Add(const TMeasurement& m);
  // Folds a finished day into a selection: counts, covered time and windows.
  void MergeDay(const TPeriodAccumulator& day, const TPeriodStats& dayStats);
  TPeriodStats Finish(const std::string& date, double windowLevel);

  const TValueCounts& Seeing() const { return seeing_; }
  const TValueCounts& SeeingZenith() const { return seeingZenith_; }
  const std::array<TValueCounts, 24>& Hourly() const { return hourly_; }
  // Sorted by time after Finish().
  const std::vector<TSeeingPoint>& Series() const { return series_; }

 private:
  TUtcOffsetFn offset_;
  bool keepSeries_;
  std::uint64_t count_ = 0;
  double coveredSeconds_ = 0;
  TValueCounts seeing_, seeingZenith_, r0_, r0Zenith_;
  std::array<TValueCounts, 24> hourly_;
  std::vector<TSeeingPoint> series_;
  std::vector<TWindow> windows_;  // of merged days
  double lastOffsetBlock_ = -1;
  int lastOffset_ = 0;
  int LocalHour(double unixSeconds);
};

}  // namespace quorvel::history
