#include "Thinning.h"

#include <algorithm>
#include <cmath>

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
  TPlotExtent e;
  ForEachPoint(buffer, count, [&](std::int32_t, const TRollingBuffer& p) {
    if (!std::isfinite(p.X)) return;
    e.MinX = e.Empty ? p.X : std::min(e.MinX, p.X);
    e.MaxX = e.Empty ? p.X : std::max(e.MaxX, p.X);
    e.Empty = false;
    if (!std::isfinite(p.Y)) return;
    e.MinY = e.HaveY ? std::min(e.MinY, p.Y) : p.Y;
    e.MaxY = e.HaveY ? std::max(e.MaxY, p.Y) : p.Y;
    e.HaveY = true;
  });
  return e;
}

bool ThinForDrawing(const TARollingBuffer& buffer, std::int32_t count, double lo, double hi,
                    int columns, std::size_t maxPlain, std::vector<std::int32_t>& positions) {
  positions.clear();
  // First pass: how many points the range holds, whether they ascend in time,
  // and the nearest point beyond each end.
  std::size_t inRange = 0;
  bool ascending = true;
  double lastX = 0;
  TPicked before, after;
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
    // Per pixel column, its lowest and its highest point.
    std::vector<TPicked> low(static_cast<std::size_t>(columns));
    std::vector<TPicked> high(static_cast<std::size_t>(columns));
    const double scale = columns / (hi - lo);
    ForEachPoint(buffer, count, [&](std::int32_t position, const TRollingBuffer& p) {
      if (!Drawable(p) || p.X < lo || p.X > hi) return;
      const double c = std::floor((p.X - lo) * scale);
      const std::size_t column =
          c >= columns ? static_cast<std::size_t>(columns - 1) : static_cast<std::size_t>(c);
      const TPicked here{position, p.X, p.Y};
      TPicked& l = low[column];
      TPicked& h = high[column];
      if (l.Position < 0) {
        l = h = here;
        return;
      }
      if (p.Y < l.Y || (p.Y == l.Y && Earlier(here, l))) l = here;
      if (p.Y > h.Y || (p.Y == h.Y && Earlier(here, h))) h = here;
    });
    for (std::size_t c = 0; c < low.size(); ++c) {
      const TPicked& l = low[c];
      const TPicked& h = high[c];
      if (l.Position < 0) continue;
      if (l.Position == h.Position) {
        positions.push_back(l.Position);
      } else if (Earlier(l, h)) {
        positions.push_back(l.Position);
        positions.push_back(h.Position);
      } else {
        positions.push_back(h.Position);
        positions.push_back(l.Position);
      }
    }
  }
  if (after.Position >= 0) positions.push_back(after.Position);
  return thin;
}

}  // namespace quorvel
