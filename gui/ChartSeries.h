// A rolling buffer's chart: a line on a date-time axis and an automatically
// scaled value axis, fed through the IPlotSeries interface.
#pragma once

#include <QObject>
#include <QtCharts/QChartView>
#include <vector>

#include "gui/ChartLine.h"
#include "measure/RollingBuffer.h"
#include "plot/Thinning.h"

QT_BEGIN_NAMESPACE
class QChart;
class QLineSeries;
class QDateTimeAxis;
class QValueAxis;
class QRubberBand;
class QGraphicsSimpleTextItem;
QT_END_NAMESPACE

namespace quorvel {

// The chart draws straight from the rolling buffer it is attached to: it
// keeps no copy of the points, only how many positions of the buffer it
// shows. The line (TChartLine, over the plot area; the QLineSeries stays
// empty and gives its style) is given the points to draw at once, at most
// kMinFlushIntervalMs apart: a faster-than-real-time run would repaint for
// nothing.
// A chart a thousand pixels wide cannot show 65535 points: beyond
// kMaxDrawnPoints the series gets, per pixel column of the visible range, the
// lowest and the highest point in time order, which draws the same line.
// Zooming in redraws from all the points in the new range.
class TChartSeries final : public QObject, public IPlotSeries {
 public:
  TChartSeries(QChart* chart, QLineSeries* series, QDateTimeAxis* timeAxis, QValueAxis* valueAxis);

  // The buffer whose positions Append() extends (the window's own). A point
  // appended that is not the buffer's next position (a caller without a
  // buffer) is kept by the chart itself. nullptr detaches; the buffer must
  // outlive the attachment, as a buffer given to ReplaceAll() must outlive
  // the next ReplaceAll() or Clear().
  void Attach(const TARollingBuffer* buffer);

  void Clear() override;
  void Append(double x, double y) override;
  void ReplaceAll(const TARollingBuffer& buffer, std::int32_t count) override;

  // Pushes pending points to the chart now (also done by itself shortly after
  // every change).
  void Flush();

  // The chart's series: its pen, markers and name style the line, and the
  // zoom goes through it; it holds no points.
  QLineSeries* series() const { return series_; }
  // The points drawn since the last flush, in chart values (milliseconds
  // since the epoch, value), in the order the line joins them.
  const QList<QPointF>& drawnPoints() const { return line_->Points(); }
  TChartLine* line() const { return line_; }
  // Points held (the chart shows them after the next flush).
  int pointCount() const { return static_cast<int>(count_); }

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
  // Pixel columns thinned for while the chart has not been laid out yet.
  static constexpr int kBuckets = 1500;

 private:
  void ScheduleFlush();
  void KeepOwnCopy();
  void RescaleAxes(const TPlotExtent& extent);
  int Columns() const;
  void UpdateNote();

  QChart* chart_;
  QLineSeries* series_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  TChartLine* line_;
  const TARollingBuffer* attached_ = nullptr;
  // What is drawn: positions 0 .. count_-1 of source_.
  const TARollingBuffer* source_ = nullptr;
  std::int32_t count_ = 0;
  // Points appended without a buffer behind them.
  TARollingBuffer own_;
  // Offset between the local date-time values of the points and the chart's
  // UTC milliseconds, taken from the newest point.
  double offsetMs_ = 0;
  bool dirty_ = false;
  bool flushScheduled_ = false;
  qint64 lastFlushMs_ = 0;
  bool zoomed_ = false;
  bool thinned_ = false;
  int drawnColumns_ = 0;
  std::vector<std::int32_t> positions_;
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
