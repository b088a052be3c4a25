#include "history/Statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel::history {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Lerp(double a, double b, double t) {
  return t == 0 ? a : a + t * (b - a);
}
}  // namespace

void TValueCounts::Add(double v) {
  if (!std::isfinite(v)) return;
  ++counts_[v];
  ++n_;
  sum_ += v;
}

void TValueCounts::Merge(const TValueCounts& other) {
  for (const auto& [v, c] : other.counts_) counts_[v] += c;
  n_ += other.n_;
  sum_ += other.sum_;
}

std::vector<std::pair<double, std::uint64_t>> TValueCounts::Sorted() const {
  std::vector<std::pair<double, std::uint64_t>> out(counts_.begin(), counts_.end());
  std::sort(out.begin(), out.end());
  return out;
}

double TValueCounts::FractionAtOrBelow(double limit) const {
  if (n_ == 0) return kNaN;
  std::uint64_t below = 0;
  for (const auto& [v, c] : counts_)
    if (v <= limit) below += c;
  return static_cast<double>(below) / static_cast<double>(n_);
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return kNaN;
  const double h = static_cast<double>(sorted.size() - 1) * p / 100.0;
  const auto lo = static_cast<std::size_t>(std::floor(h));
  if (lo + 1 >= sorted.size()) return sorted.back();
  return Lerp(sorted[lo], sorted[lo + 1], h - static_cast<double>(lo));
}

double Percentile(const std::vector<std::pair<double, std::uint64_t>>& sortedCounts,
                  std::uint64_t n, double p) {
  if (n == 0 || sortedCounts.empty()) return kNaN;
  const double h = static_cast<double>(n - 1) * p / 100.0;
  const auto lo = static_cast<std::uint64_t>(std::floor(h));
  // x[k] for the rank k: the value whose cumulative count first exceeds k.
  std::uint64_t cumulative = 0;
  std::size_t i = 0;
  for (; i < sortedCounts.size(); ++i) {
    cumulative += sortedCounts[i].second;
    if (cumulative > lo) break;
  }
  if (i == sortedCounts.size()) return sortedCounts.back().first;
  const double a = sortedCounts[i].first;
  const double t = h - static_cast<double>(lo);
  if (t == 0 || lo + 1 >= n) return a;
  const double b = cumulative > lo + 1 ? a : sortedCounts[i + 1].first;
  return Lerp(a, b, t);
}

TSummary::TSummary()
    : min(kNaN), p10(kNaN), p25(kNaN), median(kNaN), p75(kNaN), p90(kNaN), max(kNaN), mean(kNaN) {}

TSummary Summarise(const TValueCounts& values) {
  TSummary s;
  s.n = values.Count();
  if (s.n == 0) return s;
  const auto sorted = values.Sorted();
  s.min = sorted.front().first;
  s.max = sorted.back().first;
  s.p10 = Percentile(sorted, s.n, 10);
  s.p25 = Percentile(sorted, s.n, 25);
  s.median = Percentile(sorted, s.n, 50);
  s.p75 = Percentile(sorted, s.n, 75);
  s.p90 = Percentile(sorted, s.n, 90);
  s.mean = values.Sum() / static_cast<double>(s.n);
  return s;
}

double CoveredSeconds(const std::vector<TSeeingPoint>& sorted) {
  double total = 0;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    const double gap = i + 1 < sorted.size() ? sorted[i + 1].t - sorted[i].t : kMaxGapSeconds + 1;
    total += gap <= kMaxGapSeconds ? gap : 1.0;
  }
  return total;
}

void KeepLongest(std::vector<TWindow>& windows, std::size_t maxCount) {
  std::stable_sort(windows.begin(), windows.end(), [](const TWindow& a, const TWindow& b) {
    const double la = a.endUnix - a.startUnix, lb = b.endUnix - b.startUnix;
    return la != lb ? la > lb : a.startUnix < b.startUnix;
  });
  if (windows.size() > maxCount) windows.resize(maxCount);
}

std::vector<TWindow> BestWindows(const std::vector<TSeeingPoint>& all, double level,
                                 std::size_t maxCount) {
  std::vector<TSeeingPoint> pts;
  pts.reserve(all.size());
  for (const auto& p : all)
    if (std::isfinite(p.seeingZenith)) pts.push_back(p);
  std::vector<TWindow> windows;
  std::size_t runStart = 0, first = 0;
  double sum = 0;
  bool open = false;
  TWindow current;
  const auto close = [&] {
    if (open && current.Minutes() >= 1.0) windows.push_back(current);
    open = false;
  };
  for (std::size_t i = 0; i < pts.size(); ++i) {
    if (i > 0 && pts[i].t - pts[i - 1].t > kMaxGapSeconds) {
      close();
      runStart = first = i;
      sum = 0;
    }
    sum += pts[i].seeingZenith;
    while (pts[first].t <= pts[i].t - kRunningMeanSeconds) sum -= pts[first++].seeingZenith;
    // One cycle (1 s) is the span of the run's first point.
    if (pts[i].t - pts[runStart].t + 1.0 < kRunningMeanSeconds) continue;
    const double mean = sum / static_cast<double>(i - first + 1);
    if (mean <= level) {
      if (!open) current.startUnix = pts[i].t;
      current.endUnix = pts[i].t;
      open = true;
    } else {
      close();
    }
  }
  close();
  KeepLongest(windows, maxCount);
  return windows;
}

TPeriodAccumulator::TPeriodAccumulator(TUtcOffsetFn offset, bool keepSeries)
    : offset_(std::move(offset)), keepSeries_(keepSeries) {}

int TPeriodAccumulator::LocalHour(double unixSeconds) {
  // Zones change their offset on whole quarter hours: one look-up per block.
  const double block = std::floor(unixSeconds / 900.0);
  if (block != lastOffsetBlock_) {
    lastOffset_ = offset_ ? offset_(block * 900.0) : 0;
    lastOffsetBlock_ = block;
  }
  const double local = unixSeconds + lastOffset_;
  const double secondOfDay = local - 86400.0 * std::floor(local / 86400.0);
  return std::clamp(static_cast<int>(secondOfDay / 3600.0), 0, 23);
}

void TPeriodAccumulator::Add(const TMeasurement& m) {
  ++count_;
  seeing_.Add(m.seeing);
  seeingZenith_.Add(m.seeingZenith);
  r0_.Add(m.r0);
  r0Zenith_.Add(m.r0Zenith);
  if (std::isfinite(m.seeing))
    hourly_[static_cast<std::size_t>(LocalHour(m.unixSeconds))].Add(m.seeing);
  if (keepSeries_) series_.push_back({m.unixSeconds, m.seeing, m.seeingZenith});
}

void TPeriodAccumulator::MergeDay(const TPeriodAccumulator& day, const TPeriodStats& dayStats) {
  count_ += day.count_;
  coveredSeconds_ += dayStats.hours * 3600.0;
  seeing_.Merge(day.seeing_);
  seeingZenith_.Merge(day.seeingZenith_);
  r0_.Merge(day.r0_);
  r0Zenith_.Merge(day.r0Zenith_);
  for (std::size_t h = 0; h < hourly_.size(); ++h) hourly_[h].Merge(day.hourly_[h]);
  windows_.insert(windows_.end(), dayStats.bestWindows.begin(), dayStats.bestWindows.end());
  KeepLongest(windows_);
}

TPeriodStats TPeriodAccumulator::Finish(const std::string& date, double windowLevel) {
  TPeriodStats s;
  s.date = date;
  s.count = count_;
  s.seeing = Summarise(seeing_);
  s.seeingZenith = Summarise(seeingZenith_);
  s.r0 = Summarise(r0_);
  s.r0Zenith = Summarise(r0Zenith_);
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i)
    s.fractionBelow[i] = seeing_.FractionAtOrBelow(kSeeingLimits[i]);
  for (std::size_t h = 0; h < hourly_.size(); ++h)
    if (hourly_[h].Count() > 0)
      s.hourlyMedianSeeing[static_cast<int>(h)] = Summarise(hourly_[h]).median;
  if (keepSeries_) {
    std::stable_sort(series_.begin(), series_.end(),
                     [](const TSeeingPoint& a, const TSeeingPoint& b) { return a.t < b.t; });
    s.hours = CoveredSeconds(series_) / 3600.0;
    s.bestWindows = BestWindows(series_, windowLevel);
  } else {
    s.hours = coveredSeconds_ / 3600.0;
    s.bestWindows = windows_;
  }
  return s;
}

}  // namespace quorvel::history
