#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plot/PlotMapping.h"

namespace quorvel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PlotMapping, ValuesLandOnThePlotArea) {
  // A time axis in chart milliseconds (18 hours from 2026-06-21 00:00 UTC)
  // over 1260 pixels, a value axis over 300.
  const double t0 = 1782000000000.0, day = 18 * 3600e3;
  const TPlotMapping m{t0, t0 + day, 1.5, 3.5, 1260, 300};
  ASSERT_TRUE(m.Valid());
  struct Case {
    const char* what;
    double x, y;
    double px, py;
  } cases[] = {
      {"oldest time, lowest value: bottom left", t0, 1.5, 0, 300},
      {"newest time, highest value: top right", t0 + day, 3.5, 1260, 0},
      {"the middle", t0 + day / 2, 2.5, 630, 150},
      {"a second in: a fraction of a pixel", t0 + 1000, 1.5, 1260 / 64800.0, 300},
      {"before the range: left of the area", t0 - day / 4, 2.5, -315, 150},
      {"above the range: above the area", t0 + day, 4.5, 1260, -150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TPlotPoint p = m.Map(c.x, c.y);
    EXPECT_NEAR(p.X, c.px, 1e-6);
    EXPECT_NEAR(p.Y, c.py, 1e-9);
  }
}

TEST(PlotMapping, OnlyARealRangeOnARealAreaMaps) {
  struct Case {
    const char* what;
    TPlotMapping m;
    bool valid;
  } cases[] = {
      {"usual", {0, 10, -1, 1, 100, 50}, true},
      {"no time span", {5, 5, -1, 1, 100, 50}, false},
      {"no value span", {0, 10, 2, 2, 100, 50}, false},
      {"reversed", {10, 0, -1, 1, 100, 50}, false},
      {"not a number", {0, kNaN, -1, 1, 100, 50}, false},
      {"infinite", {-kInf, 10, -1, 1, 100, 50}, false},
      {"a span too small to divide by", {0, 1e-320, -1, 1, 100, 50}, false},
      {"not laid out yet", {0, 10, -1, 1, 0, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.m.Valid(), c.valid);
  }
}

}  // namespace
}  // namespace quorvel
