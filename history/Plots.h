// The report's plots, drawn on any TCanvas: a day's seeing curve with the
// class limits, the histogram and the cumulative distribution of seeing, and
// the median per local hour.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "history/Canvas.h"
#include "history/Statistics.h"

namespace quorvel::history {

inline constexpr int kPlotWidth = 900;
inline constexpr int kPlotHeight = 400;

// A day's curve reduced for drawing: for each of `slices` time slices the
// points of lowest and highest seeing (line of sight and zenith), in time
// order. Draws the same picture as every point at a fraction of the size.
struct TDayCurve {
  std::string date;
  std::vector<TSeeingPoint> points;
};
TDayCurve ThinCurve(const std::string& date, const std::vector<TSeeingPoint>& sorted,
                    std::size_t slices = 1000);

// `offset` labels the time axis in local time.
void DrawDayCurve(TCanvas& c, int width, int height, const TDayCurve& curve,
                  const TUtcOffsetFn& offset, const TDayCurve* compare = nullptr);
void DrawHistogram(TCanvas& c, int width, int height, const TValueCounts& seeing,
                   const TValueCounts& seeingZenith, const std::string& title);
void DrawCumulative(TCanvas& c, int width, int height, const TValueCounts& seeing,
                    const TValueCounts& seeingZenith, const std::string& title);
void DrawHourlyMedians(TCanvas& c, int width, int height, const std::map<int, double>& medians,
                       const std::string& title);

// One line per station of its median line-of-sight seeing per local hour.
void DrawHourlyMediansByStation(
    TCanvas& c, int width, int height,
    const std::vector<std::pair<std::string, std::map<int, double>>>& stations,
    const std::string& title);

// "Seeing (arcsec)" axis labels etc. use these two colours throughout.
inline constexpr TRgb kLineOfSightColor{31, 119, 180};
inline constexpr TRgb kZenithColor{230, 120, 20};

}  // namespace quorvel::history
