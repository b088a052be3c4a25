#include "ChartSeries.h"

#include <QDateTime>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "common/DateTime.h"
#include "common/Errors.h"
#include "plot/Thinning.h"

namespace quorvel {

namespace {

constexpr int kMaxPointsWithMarkers = 5000;

// Milliseconds between the local wall time of a date-time value and UTC.
double LocalOffsetMs(double localDateTime) {
  const qint64 wallMs = UnixMsFromDateTime(localDateTime);
  const QDateTime asUtc = QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC);
  const QDateTime asLocal(asUtc.date(), asUtc.time(), Qt::LocalTime);
  return static_cast<double>(asLocal.offsetFromUtc()) * 1000.0;
}

double ChartMs(double x, double offsetMs) {
  return (x - kUnixDateDelta) * kMSecsPerDay - offsetMs;
}

bool SameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

TChartSeries::TChartSeries(QChart* chart, QLineSeries* series, QDateTimeAxis* timeAxis,
                           QValueAxis* valueAxis)
    : chart_(chart), series_(series), timeAxis_(timeAxis), valueAxis_(valueAxis) {
  // A wider or narrower plot has other pixel columns to thin for.
  connect(chart_, &QChart::plotAreaChanged, this, [this](const QRectF&) {
    if (thinned_ && Columns() != drawnColumns_) {
      dirty_ = true;
      ScheduleFlush();
    }
  });
}

void TChartSeries::Attach(const TARollingBuffer* buffer) {
  attached_ = buffer;
  Clear();
}

void TChartSeries::Clear() {
  source_ = attached_;
  count_ = 0;
  own_ = TARollingBuffer();
  ScheduleFlush();
}

void TChartSeries::KeepOwnCopy() {
  if (source_ == &own_) return;
  TARollingBuffer copy(count_);
  for (std::int32_t i = 0; i < count_; ++i) copy[i] = (*source_)[i];
  own_ = std::move(copy);
  source_ = &own_;
}

void TChartSeries::Append(double x, double y) {
  if (count_ == 0) offsetMs_ = LocalOffsetMs(x);
  // The usual case: the buffer's next position already holds the point.
  if (source_ != nullptr && source_ != &own_ && count_ < source_->Length()) {
    const TRollingBuffer& next = (*source_)[count_];
    if (SameValue(next.X, x) && SameValue(next.Y, y)) {
      ++count_;
      ScheduleFlush();
      return;
    }
  }
  KeepOwnCopy();
  if (count_ == own_.Length()) own_.SetLength(std::max(16, 2 * own_.Length()));
  TRollingBuffer& p = own_[count_];
  p.X = x;
  p.Y = y;
  ++count_;
  ScheduleFlush();
}

void TChartSeries::ReplaceAll(const TARollingBuffer& buffer, std::int32_t count) {
  if (count > 0) CheckIndex(count - 1, buffer.Length());
  if (&buffer != &own_) own_ = TARollingBuffer();
  source_ = &buffer;
  count_ = std::max<std::int32_t>(count, 0);
  if (count_ > 0) offsetMs_ = LocalOffsetMs(buffer[count_ - 1].X);
  ScheduleFlush();
}

void TChartSeries::ScheduleFlush() {
  dirty_ = true;
  if (flushScheduled_) return;
  flushScheduled_ = true;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  const qint64 wait =
      std::clamp<qint64>(lastFlushMs_ + kMinFlushIntervalMs - now, 0, kMinFlushIntervalMs);
  QTimer::singleShot(static_cast<int>(wait), this, [this] { Flush(); });
}

int TChartSeries::Columns() const {
  qreal ratio = 1;
  if (chart_->scene() != nullptr && !chart_->scene()->views().isEmpty())
    ratio = chart_->scene()->views().first()->devicePixelRatioF();
  const double width = std::ceil(chart_->plotArea().width() * ratio);
  return width >= 1 && width < 1e5 ? static_cast<int>(width) : kBuckets;
}

void TChartSeries::Flush() {
  flushScheduled_ = false;
  if (!dirty_) return;
  dirty_ = false;
  lastFlushMs_ = QDateTime::currentMSecsSinceEpoch();
  const TPlotExtent extent =
      source_ != nullptr && count_ > 0 ? ScanExtent(*source_, count_) : TPlotExtent{};
  double lo = extent.MinX, hi = extent.MaxX;
  if (zoomed_) {
    const auto toX = [this](const QDateTime& t) {
      return (static_cast<double>(t.toMSecsSinceEpoch()) + offsetMs_) / kMSecsPerDay +
             kUnixDateDelta;
    };
    lo = toX(timeAxis_->min());
    hi = toX(timeAxis_->max());
  }
  // The series is drawn in ascending time; points stamped after the local
  // clock went back (the end of summer time) take their place by time, and
  // values that are not numbers have no place on the value axis.
  drawnColumns_ = Columns();
  thinned_ = false;
  positions_.clear();
  if (!extent.Empty)
    thinned_ = ThinForDrawing(*source_, count_, lo, hi, drawnColumns_, kMaxDrawnPoints, positions_);
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(positions_.size()));
  for (const std::int32_t position : positions_) {
    const TRollingBuffer& p = (*source_)[position];
    points.append(QPointF(ChartMs(p.X, offsetMs_), p.Y));
  }
  // Markers on tens of thousands of points turn the line into a smear and
  // cost most of the repaint: they are drawn only while the chart holds few.
  const bool markers = !thinned_ && points.size() <= kMaxPointsWithMarkers;
  if (!zoomed_) {
    // Qt Charts lays a line out again at every range change of either axis
    // while the series holds points: emptied first, the series is laid out
    // once per flush, by replace().
    if (series_->count() > 0) series_->clear();
    RescaleAxes(extent);
  }
  if (series_->pointsVisible() != markers) series_->setPointsVisible(markers);
  series_->replace(points);
}

int TChartSeries::drawnPointCount() const {
  return static_cast<int>(series_->count());
}

void TChartSeries::SetZoomed(bool zoomed) {
  zoomed_ = zoomed;
  dirty_ = true;
  ScheduleFlush();
}

void TChartSeries::ResetZoom() {
  SetZoomed(false);
}

void TChartSeries::RescaleAxes(const TPlotExtent& extent) {
  if (extent.Empty) return;
  double lo = ChartMs(extent.MinX, offsetMs_), hi = ChartMs(extent.MaxX, offsetMs_);
  if (hi - lo < 1000) hi = lo + 1000;
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(lo)),
                      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::ceil(hi))));
  double ylo = extent.HaveY ? extent.MinY : 0, yhi = extent.HaveY ? extent.MaxY : 0;
  if (yhi - ylo < 1e-9) {
    ylo -= 0.5;
    yhi += 0.5;
  } else {
    const double pad = (yhi - ylo) * 0.05;
    ylo -= pad;
    yhi += pad;
  }
  valueAxis_->setRange(ylo, yhi);
}

void TChartView::mousePressEvent(QMouseEvent* event) {
  QChartView::mousePressEvent(event);
  if (band_ == nullptr) {
    band_ = findChild<QRubberBand*>();
    if (band_) band_->installEventFilter(this);
  }
}

bool TChartView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == band_ && event->type() == QEvent::Paint) {
    QPainter painter(band_);
    const QColor silver(192, 192, 192);
    painter.setPen(silver);
    painter.setBrush(QBrush(silver, Qt::DiagCrossPattern));
    painter.drawRect(band_->rect().adjusted(0, 0, -1, -1));
    return true;
  }
  return QChartView::eventFilter(watched, event);
}

void TChartView::AnimateNextRangeChange() {
  chart()->setAnimationDuration(kZoomAnimationMs);
  chart()->setAnimationOptions(QChart::GridAxisAnimations);
  QTimer::singleShot(kZoomAnimationMs + 100, this,
                     [this] { chart()->setAnimationOptions(QChart::NoAnimation); });
}

void TChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    AnimateNextRangeChange();
    chart()->zoomReset();
    series_->ResetZoom();
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton && band_ && band_->isVisible()) AnimateNextRangeChange();
  QChartView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && chart()->isZoomed()) series_->SetZoomed(true);
}

}  // namespace quorvel
