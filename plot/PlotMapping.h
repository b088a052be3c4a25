// Where a chart value lands on a plot area: the linear mapping Qt Charts
// applies to its own lines, so that a line drawn by the program lies on the
// very pixels a line series would take. Plain C++.
#pragma once

namespace quorvel {

struct TPlotPoint {
  double X = 0, Y = 0;
};

// The axes' ranges and the plot area's size in pixels. Pixel x grows to the
// right from MinX, pixel y downwards from MaxY, relative to the plot area's
// top left corner.
struct TPlotMapping {
  double MinX = 0, MaxX = 1, MinY = 0, MaxY = 1;
  double Width = 0, Height = 0;

  // Finite, non-empty ranges on a plot with some area; nothing maps otherwise.
  bool Valid() const;
  // The same arithmetic as Qt Charts' domain, term by term: the same doubles.
  TPlotPoint Map(double x, double y) const {
    const double dx = Width / (MaxX - MinX);
    const double dy = Height / (MaxY - MinY);
    return {(x - MinX) * dx, Height - (y - MinY) * dy};
  }
};

}  // namespace quorvel
