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

}  // namespace quorvel
