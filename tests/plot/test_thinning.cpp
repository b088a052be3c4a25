#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <vector>

#include "plot/Thinning.h"

namespace quorvel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A full buffer holding `points` (oldest first) whose storage starts
// `wrap` slots in, as a buffer that has been pushing out old points does.
TARollingBuffer Ring(const std::vector<TRollingBuffer>& points, int wrap) {
  const auto n = static_cast<std::int32_t>(points.size());
  TARollingBuffer b(n);
  for (int i = 0; i < wrap; ++i) b.ShiftTowardsFront();
  for (std::int32_t i = 0; i < n; ++i) b[i] = points[static_cast<std::size_t>(i)];
  return b;
}

// Set field by field: the point may carry more than its time and value.
TRollingBuffer Point(double x, double y) {
  TRollingBuffer p;
  p.X = x;
  p.Y = y;
  return p;
}

std::vector<TRollingBuffer> Line(const std::vector<double>& xs, const std::vector<double>& ys) {
  std::vector<TRollingBuffer> points;
  for (std::size_t i = 0; i < xs.size(); ++i) points.push_back(Point(xs[i], ys[i]));
  return points;
}

std::vector<double> Iota(int n) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(i);
  return v;
}

struct ThinCase {
  const char* name;
  std::vector<double> xs, ys;
  double lo, hi;
  int columns;
  std::size_t maxPlain;
  std::vector<std::int32_t> expected;
  bool thinned;
};

void ExpectExtent(const TPlotExtent& got, const TPlotExtent& want) {
  EXPECT_EQ(got.Empty, want.Empty);
  EXPECT_EQ(got.MinX, want.MinX);
  EXPECT_EQ(got.MaxX, want.MaxX);
  EXPECT_EQ(got.HaveY, want.HaveY);
  EXPECT_EQ(got.MinY, want.MinY);
  EXPECT_EQ(got.MaxY, want.MaxY);
}

// ScanAndThin against ScanExtent and ThinForDrawing over the extent.
void ExpectOnePassAsTwo(const TARollingBuffer& b, int columns, std::size_t maxPlain) {
  const TPlotExtent want = ScanExtent(b, b.Length());
  std::vector<std::int32_t> wantPositions;
  const bool wantThinned = !want.Empty && ThinForDrawing(b, b.Length(), want.MinX, want.MaxX,
                                                         columns, maxPlain, wantPositions, &want);
  TPlotExtent got;
  got.MinY = 99;
  std::vector<std::int32_t> positions{99};
  EXPECT_EQ(ScanAndThin(b, b.Length(), columns, maxPlain, positions, got), wantThinned);
  EXPECT_EQ(positions, wantPositions);
  ExpectExtent(got, want);
  EXPECT_EQ(got.Drawable, want.Drawable);
  EXPECT_EQ(got.DrawableAscending, want.DrawableAscending);
}

TEST(Thinning, TableOfCases) {
  const std::vector<double> flat(12, 1.0);
  const ThinCase cases[] = {
      {"empty", {}, {}, 0, 10, 100, 4000, {}, false},
      {"single point", {5}, {2}, 5, 5, 100, 4000, {0}, false},
      {"single point before the range is its left edge", {1}, {2}, 5, 9, 100, 4000, {0}, false},
      {"values that are not finite are left out",
       {0, 1, 2, 3, 4},
       {1, kNaN, kInf, -kInf, 2},
       0,
       4,
       100,
       4000,
       {0, 4},
       false},
      {"a time that is not finite is left out",
       {0, kNaN, 2},
       {1, 1, 1},
       0,
       2,
       100,
       4000,
       {0, 2},
       false},
      {"clock went back: drawn by time, equal times in arrival order",
       {10, 11, 12, 8, 9, 10},
       {1, 2, 3, 4, 5, 6},
       8,
       12,
       100,
       4000,
       {3, 4, 0, 5, 1, 2},
       false},
      {"zoomed between points: one neighbour beyond each end",
       Iota(10),
       std::vector<double>(10, 1.0),
       3.5,
       6.5,
       100,
       4000,
       {3, 4, 5, 6, 7},
       false},
      {"zoomed onto points: the ends are in, their neighbours too",
       Iota(10),
       std::vector<double>(10, 1.0),
       3,
       6,
       100,
       4000,
       {2, 3, 4, 5, 6, 7},
       false},
      {"a neighbour without a value gives way to the next one",
       Iota(10),
       {1, 1, 1, kNaN, 1, 1, 1, 1, kInf, 1},
       3.5,
       7.5,
       100,
       4000,
       {2, 4, 5, 6, 7, 9},
       false},
      {"nothing in the range: the line still crosses it",
       {0, 10},
       {1, 2},
       4,
       6,
       100,
       4000,
       {0, 1},
       false},
      {"per column the lowest and the highest point in time order",
       Iota(8),
       {5, 1, 2, 9, 3, 3, 7, 0},
       0,
       8,
       4,
       2,
       {0, 1, 2, 3, 4, 6, 7},
       true},
      {"thinned with a value that is not a number",
       Iota(8),
       {5, kNaN, 2, 9, kNaN, 3, 7, 0},
       0,
       8,
       4,
       2,
       {0, 2, 3, 5, 6, 7},
       true},
      {"thinned after the clock went back: columns by time",
       {4, 5, 6, 7, 0, 1, 2, 3},
       {5, 1, 2, 9, 3, 8, 7, 0},
       0,
       8,
       4,
       2,
       {4, 5, 6, 7, 0, 1, 2, 3},
       true},
      {"thinned zoom: neighbours at the edges, the end time in the last column",
       Iota(12),
       {0, 1, 4, 3, 2, 5, 6, 6, 8, 7, 9, 3},
       2,
       10,
       4,
       3,
       {1, 2, 3, 4, 5, 6, 9, 10, 11},
       true},
      {"one column only", Iota(6), {3, 1, 4, 1, 5, 9}, 0, 5, 1, 2, {1, 5}, true},
      {"a range narrower than its columns",
       {0, 0, 5e-324, 5e-324},
       {1, 2, 3, 4},
       0,
       5e-324,
       4,
       2,
       {0, 1, 2, 3},
       true},
      {"no thinning over an empty time range",
       {3, 3, 3, 3},
       {1, 2, 3, 4},
       3,
       3,
       4,
       2,
       {0, 1, 2, 3},
       false},
  };
  for (const ThinCase& c : cases) {
    // Every case with the ring's storage starting at each possible place.
    for (int wrap = 0; wrap < std::max<int>(1, static_cast<int>(c.xs.size())); ++wrap) {
      SCOPED_TRACE(testing::Message() << c.name << ", wrap " << wrap);
      const TARollingBuffer b = Ring(Line(c.xs, c.ys), wrap);
      std::vector<std::int32_t> out{99};
      const bool thinned = ThinForDrawing(b, b.Length(), c.lo, c.hi, c.columns, c.maxPlain, out);
      EXPECT_EQ(out, c.expected);
      EXPECT_EQ(thinned, c.thinned);
      // The same with the points' extent at hand (it saves a pass where the
      // range holds them all).
      const TPlotExtent extent = ScanExtent(b, b.Length());
      std::vector<std::int32_t> known{99};
      EXPECT_EQ(ThinForDrawing(b, b.Length(), c.lo, c.hi, c.columns, c.maxPlain, known, &extent),
                c.thinned);
      EXPECT_EQ(known, c.expected);
      // And over exactly the extent, as a chart that follows its points.
      if (!extent.Empty) {
        std::vector<std::int32_t> all, allKnown;
        const bool a =
            ThinForDrawing(b, b.Length(), extent.MinX, extent.MaxX, c.columns, c.maxPlain, all);
        EXPECT_EQ(ThinForDrawing(b, b.Length(), extent.MinX, extent.MaxX, c.columns, c.maxPlain,
                                 allKnown, &extent),
                  a);
        EXPECT_EQ(allKnown, all);
      }
      ExpectOnePassAsTwo(b, c.columns, c.maxPlain);
    }
  }
}

TEST(Thinning, CountBeyondTheBufferIsARangeError) {
  TARollingBuffer b(3);
  std::vector<std::int32_t> out;
  EXPECT_THROW(ThinForDrawing(b, 4, 0, 1, 10, 100, out), std::exception);
  EXPECT_THROW(ScanExtent(b, 4), std::exception);
  // Fewer than the buffer holds: the positions beyond are not looked at.
  b[0] = Point(1, 1);
  b[1] = Point(2, kNaN);
  b[2] = Point(100, 100);
  ThinForDrawing(b, 2, 0, 200, 10, 100, out);
  EXPECT_EQ(out, (std::vector<std::int32_t>{0}));
}

// A full day of one point a second with the clock going back an hour in the
// middle: each pixel column drawn has the same lowest and highest value as
// all the points that fall in it, and the drawing ascends in time.
TEST(Thinning, FullBufferDrawsTheSameColumnsFromFewPoints) {
  const int n = 65535;
  std::vector<TRollingBuffer> points(static_cast<std::size_t>(n));
  unsigned seed = 7;
  for (int i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double x = i < 30000 ? i : i - 3600;
    const double y = (i % 997 == 0) ? kNaN : 2.0 + ((seed >> 16) % 1000) / 500.0;
    points[static_cast<std::size_t>(i)] = Point(x, y);
  }
  const TARollingBuffer b = Ring(points, 12345);
  struct Zoom {
    double lo, hi;
    int columns;
    std::size_t maxPlain;
  } zooms[] = {{0, n - 3601, 1200, 4000}, {20000, 40000, 617, 4000}, {29000.5, 29999.5, 300, 1000}};
  for (const Zoom& z : zooms) {
    SCOPED_TRACE(z.lo);
    std::vector<std::int32_t> out;
    ASSERT_TRUE(ThinForDrawing(b, n, z.lo, z.hi, z.columns, z.maxPlain, out));
    EXPECT_LE(out.size(), static_cast<std::size_t>(2 * z.columns + 2));
    const auto column = [&](double x) {
      return std::min(z.columns - 1,
                      static_cast<int>(std::floor((x - z.lo) * z.columns / (z.hi - z.lo))));
    };
    std::map<int, std::pair<double, double>> all, drawn;
    const auto widen = [](std::map<int, std::pair<double, double>>& m, int c, double y) {
      auto it = m.find(c);
      if (it == m.end()) {
        m[c] = {y, y};
      } else {
        it->second.first = std::min(it->second.first, y);
        it->second.second = std::max(it->second.second, y);
      }
    };
    for (const TRollingBuffer& p : points) {
      if (std::isfinite(p.Y) && p.X >= z.lo && p.X <= z.hi) widen(all, column(p.X), p.Y);
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
      const TRollingBuffer& p = points[static_cast<std::size_t>(out[i])];
      ASSERT_TRUE(std::isfinite(p.Y));
      if (i > 0) {
        EXPECT_LE(points[static_cast<std::size_t>(out[i - 1])].X, p.X);
      }
      if (p.X >= z.lo && p.X <= z.hi) widen(drawn, column(p.X), p.Y);
    }
    EXPECT_EQ(drawn, all);
    // Zoomed in, the line runs on to a point beyond each edge.
    if (z.lo > 0) {
      EXPECT_LT(points[static_cast<std::size_t>(out.front())].X, z.lo);
      EXPECT_GT(points[static_cast<std::size_t>(out.back())].X, z.hi);
    }
  }
}

// The one-pass scan over full buffers whose times ascend, stop or go back,
// with times and values missing at the ends and inside.
TEST(Thinning, OnePassGivesWhatTwoPassesGive) {
  const int n = 20000;
  struct Case {
    const char* name;
    std::function<double(int)> x, y;
  } cases[] = {
      {"ascending", [](int i) { return 1000.0 + i; }, [](int i) { return std::sin(i * 0.37); }},
      {"times missing at both ends and inside",
       [](int i) { return i < 7 || i > n - 5 || i % 101 == 0 ? kNaN : 1000.0 + i; },
       [](int i) { return std::cos(i * 0.11); }},
      {"values missing, equal values in a column", [](int i) { return 1000.0 + i; },
       [](int i) { return i % 13 == 0 ? kNaN : static_cast<double>(i % 4); }},
      {"equal times", [](int i) { return 1000.0 + i / 50; }, [](int i) { return (i * 7) % 11; }},
      {"the clock went back", [](int i) { return i < 12000 ? 1000.0 + i : 1000.0 + i - 3600; },
       [](int i) { return std::sin(i * 0.01); }},
      {"a time out of order without a value", [](int i) { return i == 9000 ? 0.0 : 1000.0 + i; },
       [](int i) { return i == 9000 ? kNaN : std::sin(i * 0.01); }},
      {"few values among many points", [](int i) { return 1000.0 + i; },
       [](int i) { return i % 10 == 0 ? 1.0 * i : kNaN; }},
      {"no value at all", [](int i) { return 1000.0 + i; }, [](int) { return kNaN; }},
      {"infinite times and values inside columns",
       [](int i) { return i % 401 == 5 ? (i % 2 ? kInf : -kInf) : 1000.0 + i; },
       [](int i) { return i % 97 == 3 ? (i % 2 ? kInf : -kInf) : std::sin(i * 0.2); }},
      {"a time that is not a number inside a column",
       [](int i) { return i % 37 == 20 ? kNaN : 1000.0 + i; },
       [](int i) { return std::sin(i * 0.2); }},
      {"one time only", [](int) { return 1000.0; }, [](int i) { return 1.0 * (i % 3); }},
  };
  for (const Case& c : cases) {
    std::vector<TRollingBuffer> points;
    for (int i = 0; i < n; ++i) points.push_back(Point(c.x(i), c.y(i)));
    for (const int wrap : {0, 777}) {
      for (const int columns : {1, 617, 1200}) {
        SCOPED_TRACE(testing::Message() << c.name << ", wrap " << wrap << ", " << columns);
        ExpectOnePassAsTwo(Ring(points, wrap), columns, 4000);
      }
    }
  }
}

TEST(Thinning, ExtentOfTimesAndOfFiniteValues) {
  struct Case {
    const char* name;
    std::vector<double> xs, ys;
    TPlotExtent expected;
  } cases[] = {
      {"empty", {}, {}, TPlotExtent{}},
      {"single point", {3}, {7}, TPlotExtent{false, 3, 3, true, 7, 7}},
      {"values that are not numbers widen the time only",
       {5, 1, 9, 4},
       {kNaN, 2, kInf, -1},
       TPlotExtent{false, 1, 9, true, -1, 2}},
      {"no finite value", {2, 3}, {kNaN, -kInf}, TPlotExtent{false, 2, 3, false, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TARollingBuffer b = Ring(Line(c.xs, c.ys), static_cast<int>(c.xs.size()) / 2);
    ExpectExtent(ScanExtent(b, b.Length()), c.expected);
  }
}

}  // namespace
}  // namespace quorvel
