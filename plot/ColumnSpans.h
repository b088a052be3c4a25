// The pixels a one-pixel line lights where it is steep, gathered per pixel
// column. A line thinned to a point or two per column is mostly steep strokes
// on top of one another; filling each column's run of pixels once costs a
// fraction of stroking every segment. Plain C++.
#pragma once

#include <cstddef>
#include <vector>

#include "plot/PlotMapping.h"

namespace quorvel {

// Rows Top..Bottom (inclusive) of pixel column Column.
struct TColumnSpan {
  int Column = 0;
  int Top = 0, Bottom = 0;
};

// The pixel area the spans are cut to: columns Left..Right-1, rows
// Top..Bottom-1.
struct TPixelArea {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// The line joining `points` (device pixels, pixel (c, r) covering
// [c, c+1) x [r, r+1)), left to right, split in two:
// - each steep segment (more rows than columns) lights one pixel per row,
//   from the row of its upper end to the row of its lower end, in the column
//   the line crosses the row's middle; these pixels come out as one run per
//   column within `area`, in `spans`;
// - each flat segment, a pixel or so per column, is listed in `flat` by the
//   position of its first point, for the caller to stroke as it is.
// Points are taken on the 1/64 pixel grid a rasteriser works on, so that the
// runs end where a stroked line would. Returns false, with nothing out, when
// the points are not all finite or do not run left to right: only then could
// a column hold two separate runs.
bool LineColumnSpans(const std::vector<TPlotPoint>& points, const TPixelArea& area,
                     std::vector<TColumnSpan>& spans, std::vector<std::size_t>& flat);

}  // namespace quorvel
