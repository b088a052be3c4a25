#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

#include "plot/ColumnSpans.h"

namespace quorvel {

// Found by argument lookup from the standard library's comparisons.
bool operator==(const TColumnSpan& a, const TColumnSpan& b) {
  return a.Column == b.Column && a.Top == b.Top && a.Bottom == b.Bottom;
}

void PrintTo(const TColumnSpan& s, std::ostream* os) {
  *os << "{" << s.Column << ", " << s.Top << ".." << s.Bottom << "}";
}

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ColumnSpans, TableOfLines) {
  const TPixelArea area{0, 0, 20, 20};
  struct Case {
    const char* what;
    std::vector<TPlotPoint> points;
    std::vector<TColumnSpan> spans;
    std::vector<std::size_t> flat;
  } cases[] = {
      {"nothing", {}, {}, {}},
      {"one point: no segment", {{3.5, 4.5}}, {}, {}},
      {"a vertical stroke: every row from one end's to the other's",
       {{3.5, 2.25}, {3.5, 7.875}},
       {{3, 2, 7}},
       {}},
      {"drawn upwards: the same rows", {{3.5, 7.875}, {3.5, 2.25}}, {{3, 2, 7}}, {}},
      {"a steep stroke into the next column: split where it crosses",
       {{3.25, 2.5}, {4.75, 10.5}},
       {{3, 2, 5}, {4, 6, 10}},
       {}},
      {"down, up and down again over two columns: one run each",
       {{3.125, 5.5}, {3.625, 15.5}, {4.25, 1.5}, {4.75, 12.5}},
       {{3, 5, 15}, {4, 1, 12}},
       {}},
      {"flat segments are left to the pen",
       {{1.5, 3.5}, {6.5, 4.5}, {7, 14}},
       {{6, 4, 13}, {7, 14, 14}},
       {0}},
      {"cut to the area: rows and columns outside are dropped",
       {{18.5, -40}, {19.5, 60}, {30, 62}, {31, 80}},
       {{18, 0, 9}, {19, 10, 19}},
       {1}},
      {"a far end costs nothing and lands nowhere", {{5.5, 1e300}, {5.625, 3.5}}, {{5, 3, 19}}, {}},
      {"points between the 1/64 pixel steps are taken on them",
       {{3.25 + 1e-9, 2.5}, {4.75 + 1e-9, 10.5 - 1e-9}},
       {{3, 2, 5}, {4, 6, 10}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TColumnSpan> spans{{99, 99, 99}};
    std::vector<std::size_t> flat{99};
    EXPECT_TRUE(LineColumnSpans(c.points, area, spans, flat));
    EXPECT_EQ(spans, c.spans);
    EXPECT_EQ(flat, c.flat);
  }
}

TEST(ColumnSpans, OnlyFinitePointsLeftToRight) {
  const TPixelArea area{0, 0, 20, 20};
  const std::vector<std::vector<TPlotPoint>> refused = {
      {{5, 5}, {4, 9}},
      {{5, 5}, {kNaN, 9}},
      {{5, 5}, {6, std::numeric_limits<double>::infinity()}},
  };
  for (const auto& points : refused) {
    std::vector<TColumnSpan> spans{{1, 1, 1}};
    std::vector<std::size_t> flat{1};
    EXPECT_FALSE(LineColumnSpans(points, area, spans, flat));
    EXPECT_TRUE(spans.empty());
    EXPECT_TRUE(flat.empty());
  }
}

// Every row of a steep segment lit once, in the column its middle crosses,
// for many slopes: the runs hold exactly those pixels.
TEST(ColumnSpans, RunsHoldTheRowsOfEachSteepStroke) {
  const TPixelArea area{0, 0, 400, 400};
  for (int k = 1; k < 200; ++k) {
    SCOPED_TRACE(k);
    // On the 1/64 pixel steps, where points are taken as they are.
    const double x0 = 100 + k * 0.375, y0 = 10.25 + (k % 7);
    const double x1 = x0 + (k % 2 ? 1 : -1) * k * 0.875, y1 = y0 + 1.0 + k * 1.5;
    std::vector<TColumnSpan> spans;
    std::vector<std::size_t> flat;
    const std::vector<TPlotPoint> line = x1 >= x0 ? std::vector<TPlotPoint>{{x0, y0}, {x1, y1}}
                                                  : std::vector<TPlotPoint>{{x1, y1}, {x0, y0}};
    ASSERT_TRUE(LineColumnSpans(line, area, spans, flat));
    ASSERT_TRUE(flat.empty());
    std::vector<std::vector<int>> want(400);
    const double slope = (x1 - x0) / (y1 - y0);
    for (int r = static_cast<int>(std::floor(y0)); r <= static_cast<int>(std::floor(y1)); ++r)
      want[static_cast<std::size_t>(std::floor(x0 + (r + 0.5 - y0) * slope))].push_back(r);
    std::vector<TColumnSpan> expected;
    for (int c = 0; c < 400; ++c) {
      const auto& rows = want[static_cast<std::size_t>(c)];
      if (!rows.empty()) expected.push_back({c, rows.front(), rows.back()});
    }
    EXPECT_EQ(spans, expected);
  }
}

}  // namespace
}  // namespace quorvel
