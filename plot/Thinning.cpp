#include "Thinning.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel {

namespace {

// Calls f(position, point) for positions 0..count-1 in order.
template <class F>
void ForEachPoint(const TARollingBuffer& buffer, std::int32_t count, F&& f) {
  const TARollingBuffer::TRuns runs = buffer.Runs(count);
  std::int32_t position = 0;
  for (std::size_t i = 0; i < runs.FirstCount; ++i) f(position++, runs.First[i]);
  for (std::size_t i = 0; i < runs.SecondCount; ++i) f(position++, runs.Second[i]);
}

bool Drawable(const TRollingBuffer& p) {
  return std::isfinite(p.X) && std::isfinite(p.Y);
}

struct TPicked {
  std::int32_t Position = -1;
  double X = 0, Y = 0;
};

// Time order; equal times keep the buffer's order.
bool Earlier(const TPicked& a, const TPicked& b) {
  return a.X < b.X || (a.X == b.X && a.Position < b.Position);
}

// Per pixel column, in columns that come one after the other, its lowest and
// highest point so far; a column done gives its points in time order.
class TColumnPicks {
 public:
  explicit TColumnPicks(std::vector<std::int32_t>& positions) : positions_(positions) {}

  // Points of `column`, later than any taken before, whose lowest and
  // highest values first occur at the positions given. Earlier points of
  // the same column win ties.
  void Take(std::int64_t column, std::int32_t lowAt, double low, std::int32_t highAt, double high) {
    if (column != current_) {
      Emit();
      current_ = column;
      lowAt_ = lowAt;
      highAt_ = highAt;
      low_ = low;
      high_ = high;
      return;
    }
    if (low < low_) {
      low_ = low;
      lowAt_ = lowAt;
    }
    if (high > high_) {
      high_ = high;
      highAt_ = highAt;
    }
  }

  // Times ascend, so position order is time order.
  void Emit() {
    if (lowAt_ < 0) return;
    if (lowAt_ == highAt_) {
      positions_.push_back(lowAt_);
    } else {
      positions_.push_back(std::min(lowAt_, highAt_));
      positions_.push_back(std::max(lowAt_, highAt_));
    }
    lowAt_ = highAt_ = -1;
  }

 private:
  std::vector<std::int32_t>& positions_;
  std::int64_t current_ = -1;
  std::int32_t lowAt_ = -1, highAt_ = -1;
  double low_ = 0, high_ = 0;
};

}  // namespace

TPlotExtent ScanExtent(const TARollingBuffer& buffer, std::int32_t count) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double minX = kInf, maxX = -kInf, minY = kInf, maxY = -kInf;
  TPlotExtent e;
  double lastX = 0;
  ForEachPoint(buffer, count, [&](std::int32_t, const TRollingBuffer& p) {
    if (!std::isfinite(p.X)) return;
    minX = std::min(minX, p.X);
    maxX = std::max(maxX, p.X);
    if (!std::isfinite(p.Y)) return;
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
    if (e.Drawable > 0 && p.X < lastX) e.DrawableAscending = false;
    lastX = p.X;
    ++e.Drawable;
  });
  if (minX <= maxX) {
    e.Empty = false;
    e.MinX = minX;
    e.MaxX = maxX;
  }
  if (minY <= maxY) {
    e.HaveY = true;
    e.MinY = minY;
    e.MaxY = maxY;
  }
  return e;
}

bool ThinForDrawing(const TARollingBuffer& buffer, std::int32_t count, double lo, double hi,
                    int columns, std::size_t maxPlain, std::vector<std::int32_t>& positions,
                    const TPlotExtent* scanned) {
  positions.clear();
  // First pass: how many points the range holds, whether they ascend in time,
  // and the nearest point beyond each end. A range over the whole extent
  // holds every drawable point and has none beyond its ends.
  std::size_t inRange = 0;
  bool ascending = true;
  double lastX = 0;
  TPicked before, after;
  if (scanned != nullptr && (scanned->Empty || (lo <= scanned->MinX && hi >= scanned->MaxX))) {
    inRange = scanned->Drawable;
    ascending = scanned->DrawableAscending;
  } else {
    ForEachPoint(buffer, count, [&](std::int32_t position, const TRollingBuffer& p) {
      if (!Drawable(p)) return;
      const TPicked here{position, p.X, p.Y};
      if (p.X < lo) {
        if (before.Position < 0 || !Earlier(here, before)) before = here;
      } else if (p.X > hi) {
        if (after.Position < 0 || Earlier(here, after)) after = here;
      } else {
        if (inRange > 0 && p.X < lastX) ascending = false;
        lastX = p.X;
        ++inRange;
      }
    });
  }
  const std::size_t edges = (before.Position >= 0 ? 1 : 0) + (after.Position >= 0 ? 1 : 0);
  const bool thin = inRange + edges > maxPlain && columns > 0 && hi > lo;

  if (before.Position >= 0) positions.push_back(before.Position);
  if (!thin) {
    const std::size_t first = positions.size();
    ForEachPoint(buffer, count, [&](std::int32_t position, const TRollingBuffer& p) {
      if (Drawable(p) && p.X >= lo && p.X <= hi) positions.push_back(position);
    });
    if (!ascending) {
      const auto runs = buffer.Runs(count);
      const auto x = [&](std::int32_t position) {
        const std::size_t i = static_cast<std::size_t>(position);
        return i < runs.FirstCount ? runs.First[i].X : runs.Second[i - runs.FirstCount].X;
      };
      std::stable_sort(positions.begin() + static_cast<std::ptrdiff_t>(first), positions.end(),
                       [&](std::int32_t a, std::int32_t b) { return x(a) < x(b); });
    }
  } else {
    // Per pixel column, its lowest and its highest point, in time order.
    const double scale = columns / (hi - lo);
    const bool finiteScale = std::isfinite(scale);
    const std::size_t last = static_cast<std::size_t>(columns - 1);
    // Not negative: truncation is the floor, without a library call.
    const auto columnOf = [&](double x) {
      const double c = finiteScale ? (x - lo) * scale : (x - lo) / (hi - lo) * columns;
      return c < static_cast<double>(last) ? static_cast<std::size_t>(c) : last;
    };
    const auto emit = [&](const TPicked& l, const TPicked& h) {
      if (l.Position < 0) return;
      if (l.Position == h.Position) {
        positions.push_back(l.Position);
      } else if (Earlier(l, h)) {
        positions.push_back(l.Position);
        positions.push_back(h.Position);
      } else {
        positions.push_back(h.Position);
        positions.push_back(l.Position);
      }
    };
    if (ascending) {
      // The columns come one after the other; each is done when the next
      // begins. An equal value later in time never displaces the first.
      std::size_t current = last + 1;
      TPicked l, h;
      ForEachPoint(buffer, count, [&](std::int32_t position, const TRollingBuffer& p) {
        if (!Drawable(p) || p.X < lo || p.X > hi) return;
        const std::size_t column = columnOf(p.X);
        if (column != current) {
          emit(l, h);
          current = column;
          l = h = TPicked{position, p.X, p.Y};
          return;
        }
        if (p.Y < l.Y) l = TPicked{position, p.X, p.Y};
        if (p.Y > h.Y) h = TPicked{position, p.X, p.Y};
      });
      emit(l, h);
    } else {
      std::vector<TPicked> low(last + 1), high(last + 1);
      ForEachPoint(buffer, count, [&](std::int32_t position, const TRollingBuffer& p) {
        if (!Drawable(p) || p.X < lo || p.X > hi) return;
        const std::size_t column = columnOf(p.X);
        TPicked& l = low[column];
        TPicked& h = high[column];
        const TPicked here{position, p.X, p.Y};
        if (l.Position < 0) {
          l = h = here;
          return;
        }
        if (p.Y < l.Y || (p.Y == l.Y && Earlier(here, l))) l = here;
        if (p.Y > h.Y || (p.Y == h.Y && Earlier(here, h))) h = here;
      });
      for (std::size_t c = 0; c <= last; ++c) emit(low[c], high[c]);
    }
  }
  if (after.Position >= 0) positions.push_back(after.Position);
  return thin;
}

bool ScanAndThin(const TARollingBuffer& buffer, std::int32_t count, int columns,
                 std::size_t maxPlain, std::vector<std::int32_t>& positions, TPlotExtent& extent) {
  const auto twoPasses = [&] {
    extent = ScanExtent(buffer, count);
    positions.clear();
    return !extent.Empty && ThinForDrawing(buffer, count, extent.MinX, extent.MaxX, columns,
                                           maxPlain, positions, &extent);
  };
  const TARollingBuffer::TRuns runs = buffer.Runs(count);
  if (static_cast<std::size_t>(count) <= maxPlain || columns <= 0) return twoPasses();
  // Times that never go back put the extent at the first and the last
  // finite time; the pass below checks that they never do.
  const auto at = [&](std::size_t i) -> const TRollingBuffer& {
    return i < runs.FirstCount ? runs.First[i] : runs.Second[i - runs.FirstCount];
  };
  const std::size_t n = static_cast<std::size_t>(count);
  std::size_t firstTimed = 0, endTimed = n;
  while (firstTimed < n && !std::isfinite(at(firstTimed).X)) ++firstTimed;
  while (endTimed > firstTimed && !std::isfinite(at(endTimed - 1).X)) --endTimed;
  if (endTimed <= firstTimed) return twoPasses();
  const double lo = at(firstTimed).X, hi = at(endTimed - 1).X;
  if (!(hi > lo)) return twoPasses();

  // As ThinForDrawing's columns, so that both give the same points.
  const double scale = columns / (hi - lo);
  if (!std::isfinite(scale)) return twoPasses();
  const std::int64_t lastColumn = columns - 1;
  const double lastColumnValue = static_cast<double>(lastColumn);
  positions.clear();
  TColumnPicks picks(positions);
  std::size_t drawable = 0;
  double minY = std::numeric_limits<double>::infinity(), maxY = -minY;
  double previousX = lo;
  bool ascending = true;
  // Stretch by stretch of points in one column: its end found by galloping
  // and bisection on the times, which holds while they ascend; then one pass
  // over the stretch checks that they do and finds the lowest and highest
  // value without a chain of dependent comparisons; then where each first
  // occurs. Where that fails (a time out of order or not finite inside, an
  // infinite value), the stretch is its first point alone.
  std::int32_t base = 0;
  for (int run = 0; run < 2 && ascending; ++run) {
    const TRollingBuffer* p = run == 0 ? runs.First : runs.Second;
    const std::size_t size = run == 0 ? runs.FirstCount : runs.SecondCount;
    std::size_t i = 0;
    while (i < size) {
      const double x0 = p[i].X, y0 = p[i].Y;
      if (!std::isfinite(x0)) {
        ++i;
        continue;
      }
      if (x0 < previousX) {
        ascending = false;
        break;
      }
      previousX = x0;
      if (!std::isfinite(y0)) {
        ++i;
        continue;
      }
      const double c0 = (x0 - lo) * scale;
      const std::int64_t column = c0 < lastColumnValue ? static_cast<std::int64_t>(c0) : lastColumn;
      const double end = column == lastColumn ? std::numeric_limits<double>::infinity()
                                              : static_cast<double>(column + 1);
      const auto inColumn = [&](std::size_t k) { return (p[k].X - lo) * scale < end; };
      std::size_t in = i, out = i + 1;
      while (out < size && inColumn(out)) {
        in = out;
        out = i + 2 * (out - i);
      }
      out = std::min(out, size);
      while (in + 1 < out) {
        const std::size_t mid = in + (out - in) / 2;
        if (inColumn(mid))
          in = mid;
        else
          out = mid;
      }
      std::size_t j = out;
      double lowest = y0, highest = y0;
      bool ascends = true;
      std::size_t missing = 0;
      for (std::size_t k = i + 1; k < j; ++k) {
        const double y = p[k].Y;
        ascends &= p[k].X >= p[k - 1].X;
        missing += y != y;
        // Comparisons with NaN are false: a missing value is passed over.
        lowest = y < lowest ? y : lowest;
        highest = y > highest ? y : highest;
      }
      std::size_t lowK = i, highK = i;
      if (!ascends || !std::isfinite(lowest) || !std::isfinite(highest)) {
        j = i + 1;
        lowest = highest = y0;
        missing = 0;
      } else {
        while (p[lowK].Y != lowest) ++lowK;
        while (p[highK].Y != highest) ++highK;
      }
      drawable += j - i - missing;
      minY = std::min(minY, lowest);
      maxY = std::max(maxY, highest);
      previousX = p[j - 1].X;
      picks.Take(column, base + static_cast<std::int32_t>(lowK), lowest,
                 base + static_cast<std::int32_t>(highK), highest);
      i = j;
    }
    base += static_cast<std::int32_t>(size);
  }
  if (!ascending || drawable <= maxPlain) return twoPasses();
  picks.Emit();
  extent = TPlotExtent{};
  extent.Empty = false;
  extent.MinX = lo;
  extent.MaxX = hi;
  extent.HaveY = drawable > 0;
  extent.MinY = minY;
  extent.MaxY = maxY;
  extent.Drawable = drawable;
  extent.DrawableAscending = true;
  return true;
}

}  // namespace quorvel
