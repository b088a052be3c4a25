// A rolling buffer's chart: a QLineSeries on a date-time axis and an
// automatically scaled value axis, fed through the IPlotSeries interface.
#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QtCharts/QChartView>
#include <vector>

#include "measure/RollingBuffer.h"

QT_BEGIN_NAMESPACE
class QChart;
class QLineSeries;
class QDateTimeAxis;
class QValueAxis;
class QRubberBand;
class QGraphicsSimpleTextItem;
QT_END_NAMESPACE

namespace quorvel {

// The points are kept here and handed to the chart in one replace() call,
// at most kMinFlushIntervalMs apart: appending point by point to a chart of
// tens of thousands of points costs time in proportion to its size at every
// append, and a faster-than-real-time run would repaint for nothing.
// A chart a thousand pixels wide cannot show 65535 points: beyond
// kMaxDrawnPoints the chart is given, for each of kBuckets time slices of the
// visible range, the lowest and the highest point in time order, which draws
// the same line at a fraction of the cost. Zooming in redraws from all points.
class TChartSeries final : public QObject, public IPlotSeries {
 public:
  TChartSeries(QChart* chart, QLineSeries* series, QDateTimeAxis* timeAxis, QValueAxis* valueAxis);

  void Clear() override;
  void Append(double x, double y) override;
  void ReplaceAll(const TARollingBuffer& buffer, std::int32_t count) override;

  // Pushes pending points to the chart now (also done by itself shortly after
  // every change).
  void Flush();

  QLineSeries* series() const { return series_; }
  // Points held (the chart shows them after the next flush).
  int pointCount() const { return static_cast<int>(points_.size()); }
  const QList<QPointF>& points() const { return points_; }

  // Points actually handed to the chart at the last flush.
  int drawnPointCount() const;
  // Back to the automatic range after a rubber-band zoom.
  void ResetZoom();
  void SetZoomed(bool zoomed);
  bool Zoomed() const { return zoomed_; }

  // The line written over the chart: why it is empty, or that it is zoomed
  // and no longer follows new points. Empty when there is nothing to say.
  QString NoteText() const;
  static constexpr int kMaxTimeTicks = 12;
  static constexpr int kMaxValueTicks = 8;

  static constexpr int kMinFlushIntervalMs = 100;
  static constexpr int kMaxDrawnPoints = 4000;
  static constexpr int kBuckets = 1500;

 private:
  QPointF ToChart(double x, double y) const;
  void ScheduleFlush();
  void RescaleAxes();
  void BuildDrawn(const QList<QPointF>& points, double lo, double hi);
  void UpdateNote();

  QChart* chart_;
  QLineSeries* series_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  // Offset between the local date-time values of the points and the chart's
  // UTC milliseconds, taken from the newest point.
  double offsetMs_ = 0;
  double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
  bool empty_ = true;
  bool haveY_ = false;  // a finite value among the points
  bool dirty_ = false;
  bool flushScheduled_ = false;
  qint64 lastFlushMs_ = 0;
  bool zoomed_ = false;
  // Whether the held points ascend in time, and whether the last drawing
  // was thinned out.
  bool ordered_ = true;
  bool decimated_ = false;
  QList<QPointF> points_;
  QList<QPointF> sorted_;
  QList<QPointF> drawn_;
  std::vector<TRollingBuffer> copy_;
  QGraphicsSimpleTextItem* note_ = nullptr;
};

// The chart view: a silver, cross-hatched rubber band zooms in (the automatic
// range stops), the right mouse button goes back to the automatic range. The
// axes glide to a new range on these two gestures only: animating every
// second's rescale would keep the chart repainting all the time.
class TChartView final : public QChartView {
 public:
  TChartView(QChart* chart, TChartSeries* series) : QChartView(chart), series_(series) {}

  static constexpr int kZoomAnimationMs = 250;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AnimateNextRangeChange();

  TChartSeries* series_;
  QRubberBand* band_ = nullptr;
};

}  // namespace quorvel
