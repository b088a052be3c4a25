#include "ColumnSpans.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace quorvel {

namespace {

// Runs per column of the area, grown as segments light pixels.
class TRuns {
 public:
  explicit TRuns(const TPixelArea& area)
      : area_(area), top_(Width(), INT_MAX), bottom_(Width(), INT_MIN) {}

  // Rows from..to of column c, cut to the area.
  void Light(long long c, long long from, long long to) {
    if (c < area_.Left || c >= area_.Right) return;
    from = std::max<long long>(from, area_.Top);
    to = std::min<long long>(to, area_.Bottom - 1);
    if (from > to) return;
    const std::size_t i = static_cast<std::size_t>(c - area_.Left);
    top_[i] = std::min(top_[i], static_cast<int>(from));
    bottom_[i] = std::max(bottom_[i], static_cast<int>(to));
  }

  void Emit(std::vector<TColumnSpan>& spans) const {
    for (std::size_t i = 0; i < top_.size(); ++i)
      if (top_[i] <= bottom_[i])
        spans.push_back({area_.Left + static_cast<int>(i), top_[i], bottom_[i]});
  }

 private:
  std::size_t Width() const {
    return area_.Right > area_.Left ? static_cast<std::size_t>(area_.Right - area_.Left) : 0;
  }

  TPixelArea area_;
  std::vector<int> top_, bottom_;
};

// Far enough outside any area for a floor to stay in range, near enough for
// the slope across the cut to stay what it was to the eye.
double Bound(double v) {
  constexpr double kFar = 1 << 24;
  return std::clamp(v, -kFar, kFar);
}

// For values within Bound(): inline, where std::floor is a library call.
long long Floor(double v) {
  const long long t = static_cast<long long>(v);
  return t - (static_cast<double>(t) > v ? 1 : 0);
}

double OnGrid(double v) {
  return static_cast<double>(static_cast<long long>(Bound(v) * 64)) / 64;
}

// One pixel per row, in the column the line crosses the row's middle; rows
// cut to the area first, so that a far end costs nothing.
void LightSteep(TPlotPoint a, TPlotPoint b, const TPixelArea& area, TRuns& runs) {
  if (a.Y > b.Y) std::swap(a, b);
  const double slope = (b.X - a.X) / (b.Y - a.Y);
  const long long first = std::max<long long>(Floor(a.Y), area.Top);
  const long long last = std::min<long long>(Floor(b.Y), area.Bottom - 1);
  const auto columnAt = [&](long long row) {
    return Floor(a.X + (static_cast<double>(row) + 0.5 - a.Y) * slope);
  };
  if (first > last) return;
  // Most strokes of a thinned line stay in one column.
  if (columnAt(first) == columnAt(last)) {
    runs.Light(columnAt(first), first, last);
    return;
  }
  // The column changes at most once a row and keeps its direction: each
  // stretch of rows in one column ends where the line crosses the column's
  // edge, worked out, then made exact against columnAt.
  long long row = first;
  while (row <= last) {
    const long long column = columnAt(row);
    const double edge = static_cast<double>(slope > 0 ? column + 1 : column);
    long long next =
        std::clamp<long long>(Floor(Bound((edge - a.X) / slope + a.Y - 0.5)), row + 1, last + 1);
    while (next > row + 1 && columnAt(next - 1) != column) --next;
    while (next <= last && columnAt(next) == column) ++next;
    runs.Light(column, row, next - 1);
    row = next;
  }
}

}  // namespace

bool LineColumnSpans(const std::vector<TPlotPoint>& points, const TPixelArea& area,
                     std::vector<TColumnSpan>& spans, std::vector<std::size_t>& flat) {
  spans.clear();
  flat.clear();
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!std::isfinite(points[i].X) || !std::isfinite(points[i].Y)) return false;
    if (i > 0 && points[i].X < points[i - 1].X) return false;
  }
  TRuns runs(area);
  for (std::size_t i = 1; i < points.size(); ++i) {
    const TPlotPoint a{OnGrid(points[i - 1].X), OnGrid(points[i - 1].Y)};
    const TPlotPoint b{OnGrid(points[i].X), OnGrid(points[i].Y)};
    if (std::fabs(b.Y - a.Y) > std::fabs(b.X - a.X))
      LightSteep(a, b, area, runs);
    else
      flat.push_back(i - 1);
  }
  runs.Emit(spans);
  return true;
}

}  // namespace quorvel
