// What a chart draws of a rolling buffer, read in place: the span of the
// points for the axes, and the few points that draw the same line as all of
// them on a plot some hundreds of pixels wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/RollingBuffer.h"

namespace quorvel {

// Positions 0..count-1 of a buffer, as a chart's axes need them.
struct TPlotExtent {
  bool Empty = true;  // no point with a finite time
  double MinX = 0, MaxX = 0;
  bool HaveY = false;  // a point with a finite value
  double MinY = 0, MaxY = 0;
  // Points with a finite time and value, and whether they come in
  // ascending time.
  std::size_t Drawable = 0;
  bool DrawableAscending = true;
};
TPlotExtent ScanExtent(const TARollingBuffer& buffer, std::int32_t count);

// The positions (0 = oldest) of the points to draw of positions 0..count-1 for
// the time range [lo, hi] on a plot `columns` pixels wide, in ascending time
// (points stamped after the local clock went back take their place by time):
// every point in the range and the nearest point beyond each end, so that the
// line runs to the edges. Where these are more than `maxPlain`, each pixel
// column of the range gives only its lowest and its highest point, in time
// order, which draws the same line. Points whose value or time is not finite
// are never drawn. Returns whether the points were thinned. `scanned`, the
// extent of the same points, saves a pass over them when [lo, hi] holds
// them all.
bool ThinForDrawing(const TARollingBuffer& buffer, std::int32_t count, double lo, double hi,
                    int columns, std::size_t maxPlain, std::vector<std::int32_t>& positions,
                    const TPlotExtent* scanned = nullptr);

// ScanExtent and then ThinForDrawing over exactly the extent found (a chart
// following its points), with the same results, in a single pass over the
// points where their times never go back: a full buffer then costs one read.
// `positions` is left empty when the extent is.
bool ScanAndThin(const TARollingBuffer& buffer, std::int32_t count, int columns,
                 std::size_t maxPlain, std::vector<std::int32_t>& positions, TPlotExtent& extent);

}  // namespace quorvel
