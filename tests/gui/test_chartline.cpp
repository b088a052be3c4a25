// The line the charts draw themselves against the line a QLineSeries draws:
// the same pixels, on the same chart.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <cstdint>
#include <functional>

#include "gui/ChartLine.h"
#include "tests/app/AppTestSupport.h"

namespace quorvel {
namespace {

using test::App;

constexpr double kT0 = 1782036000000.0;  // 2026-06-21 10:00:00 UTC, chart ms

struct Chart {
  QGraphicsScene scene;
  QChart* chart = new QChart;
  QLineSeries* series = new QLineSeries;
  QDateTimeAxis* time = new QDateTimeAxis;
  QValueAxis* value = new QValueAxis;

  // Styled as the window's seeing chart.
  Chart(QSizeF size, bool markers) {
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    QPen pen(QColor(0, 128, 128));
    pen.setWidth(1);
    series->setPen(pen);
    series->setBrush(QColor(0, 128, 64));
    series->setMarkerSize(2);
    series->setPointsVisible(markers);
    chart->addSeries(series);
    time->setLabelsAngle(-90);
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(value, Qt::AlignLeft);
    series->attachAxis(time);
    series->attachAxis(value);
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), size));
  }
  void SetRange(double loMs, double hiMs, double lo, double hi) {
    time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(loMs)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(hiMs)));
    value->setRange(lo, hi);
  }
  QImage Render() {
    QImage image(chart->size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    scene.render(&painter, QRectF(image.rect()), chart->geometry());
    return image;
  }
};

int DifferentPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

TEST(ChartLine, DrawsThePixelsOfALineSeries) {
  App();
  struct Case {
    const char* what;
    QSizeF size;
    bool markers;
    int points;
    std::function<double(int)> y;
    // Axis ranges relative to the points: a zoomed chart cuts the line.
    double loMs, hiMs, lo, hi;
  } cases[] = {
      {"few points with markers",
       {1270, 421},
       true,
       300,
       [](int i) { return 2 + std::sin(i * 0.1); },
       0,
       300e3,
       0.9,
       3.1},
      {"a thinned band: each column's lowest and highest point",
       {1270, 421},
       false,
       2412,
       [](int i) { return 2.0 + (i % 2 ? 0.8 : 0) + (i % 7) * 0.01; },
       0,
       2412e3,
       1.9,
       2.9},
      {"zoomed in: the line runs out of the plot area on every side",
       {602, 300},
       false,
       500,
       [](int i) { return 1100.0 + (i % 23) * 3; },
       100e3,
       250e3,
       1120,
       1150},
      {"markers cut at the plot area's edges",
       {602, 300},
       true,
       60,
       [](int i) { return 5.0 + (i % 5); },
       0,
       59e3,
       5,
       9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QList<QPointF> points;
    for (int i = 0; i < c.points; ++i) points.append(QPointF(kT0 + i * 1000.0, c.y(i)));

    Chart reference(c.size, c.markers);
    reference.SetRange(kT0 + c.loMs, kT0 + c.hiMs, c.lo, c.hi);
    reference.series->replace(points);

    Chart own(c.size, c.markers);
    own.SetRange(kT0 + c.loMs, kT0 + c.hiMs, c.lo, c.hi);
    auto* line = new TChartLine(own.chart, own.series, own.time, own.value);
    line->SetPoints(points);

    const QImage want = reference.Render(), got = own.Render();
    // The line is there at all: the picture differs from an empty chart.
    Chart empty(c.size, c.markers);
    empty.SetRange(kT0 + c.loMs, kT0 + c.hiMs, c.lo, c.hi);
    EXPECT_GT(DifferentPixels(empty.Render(), want), c.points / 2);
    EXPECT_EQ(DifferentPixels(got, want), 0);
    EXPECT_FALSE(line->LastPaintFilled());
    EXPECT_EQ(line->MappedPoints().size(), c.points);
    EXPECT_EQ(line->pos(), own.chart->plotArea().topLeft());
  }
}

TEST(ChartLine, FollowsTheAxesAndThePlotArea) {
  App();
  Chart own({602, 300}, false);
  auto* line = new TChartLine(own.chart, own.series, own.time, own.value);
  line->SetPoints({QPointF(kT0, 1), QPointF(kT0 + 10e3, 3)});
  own.SetRange(kT0, kT0 + 10e3, 1, 3);
  const QSizeF plot = own.chart->plotArea().size();
  QPolygonF mapped = line->MappedPoints();
  ASSERT_EQ(mapped.size(), 2);
  EXPECT_EQ(mapped[0], QPointF(0, plot.height()));
  EXPECT_EQ(mapped[1], QPointF(plot.width(), 0));
  // A new range (and the plot area its labels leave) moves the line with it.
  own.SetRange(kT0 - 10e3, kT0 + 10e3, 1, 5);
  const QRectF moved = own.chart->plotArea();
  mapped = line->MappedPoints();
  EXPECT_DOUBLE_EQ(mapped[0].x(), moved.width() / 2);
  EXPECT_DOUBLE_EQ(mapped[1].y(), moved.height() / 2);
  EXPECT_EQ(line->pos(), moved.topLeft());
  // No points: the chart is an empty chart.
  line->SetPoints({});
  EXPECT_TRUE(line->MappedPoints().isEmpty());
  Chart empty({602, 300}, false);
  empty.SetRange(kT0 - 10e3, kT0 + 10e3, 1, 5);
  EXPECT_EQ(DifferentPixels(own.Render(), empty.Render()), 0);
}

// Pixels lit in `a` with no lit pixel of `b` next to them or under them.
int StrayPixels(const QImage& a, const QImage& b, const QImage& background) {
  const auto lit = [&](const QImage& image, int x, int y) {
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
           image.pixel(x, y) != background.pixel(x, y);
  };
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      if (!lit(a, x, y) || lit(b, x, y)) continue;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy)
        for (int dx = -1; dx <= 1 && !near; ++dx) near = lit(b, x + dx, y + dy);
      n += !near;
    }
  return n;
}

int LitPixels(const QImage& image, const QImage& background) {
  return DifferentPixels(image, background);
}

TEST(ChartLine, AThinnedLineFilledByColumnsIsTheSameLineToTheEye) {
  App();
  // Points as thinning gives them: a column's lowest and highest point in
  // time order, one column a second on a chart some 1200 pixels wide.
  std::uint32_t seed = 12345;
  const auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
  };
  struct Case {
    const char* what;
    std::function<QList<QPointF>()> points;
    double loMs, hiMs, lo, hi;
  } cases[] = {
      {"a noisy band",
       [&] {
         QList<QPointF> p;
         for (int i = 0; i < 1200; ++i) {
           const double a = 1.5 + noise(), b = 1.5 + noise();
           p.append(QPointF(kT0 + i * 1000.0 + 100, std::min(a, b)));
           p.append(QPointF(kT0 + i * 1000.0 + 600, std::max(a, b)));
         }
         return p;
       },
       0, 1200e3, 1.4, 2.6},
      {"a smooth slow line: flat strokes",
       [] {
         QList<QPointF> p;
         for (int i = 0; i < 2400; ++i)
           p.append(QPointF(kT0 + i * 500.0, 2 + 0.3 * std::sin(i * 0.003)));
         return p;
       },
       0, 1200e3, 1.6, 2.4},
      {"a band, a night without points, a band",
       [&] {
         QList<QPointF> p;
         for (int i = 0; i < 1200; ++i) {
           if (i >= 300 && i < 800) continue;
           p.append(QPointF(kT0 + i * 1000.0 + 100, 1.6 + 0.3 * noise()));
           p.append(QPointF(kT0 + i * 1000.0 + 600, 2.1 + 0.3 * noise()));
         }
         return p;
       },
       0, 1200e3, 1.4, 2.6},
      {"zoomed: the band runs out of the plot area on every side",
       [&] {
         QList<QPointF> p;
         for (int i = 0; i < 1200; ++i) {
           p.append(QPointF(kT0 + i * 1000.0 + 100, 1.0 + noise()));
           p.append(QPointF(kT0 + i * 1000.0 + 600, 2.0 + noise()));
         }
         return p;
       },
       200e3, 900e3, 1.5, 2.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QList<QPointF> points = c.points();
    Chart reference({1270, 421}, false);
    reference.SetRange(kT0 + c.loMs, kT0 + c.hiMs, c.lo, c.hi);
    reference.series->replace(points);
    Chart own({1270, 421}, false);
    own.SetRange(kT0 + c.loMs, kT0 + c.hiMs, c.lo, c.hi);
    auto* line = new TChartLine(own.chart, own.series, own.time, own.value);
    line->SetPoints(points, true);
    Chart empty({1270, 421}, false);
    empty.SetRange(kT0 + c.loMs, kT0 + c.hiMs, c.lo, c.hi);

    const QImage want = reference.Render(), got = own.Render(), none = empty.Render();
    ASSERT_TRUE(line->LastPaintFilled());
    const int lit = LitPixels(want, none);
    ASSERT_GT(lit, 1000);
    // No pixel lit away from the other line, either way, and few pixels
    // differ at all: the ends of a column's run.
    EXPECT_EQ(StrayPixels(got, want, none), 0);
    EXPECT_EQ(StrayPixels(want, got, none), 0);
    const int differing = DifferentPixels(got, want);
    EXPECT_LT(differing, lit / 100);
  }
}

}  // namespace
}  // namespace quorvel
