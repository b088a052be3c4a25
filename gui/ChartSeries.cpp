#include "ChartSeries.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
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
#include "gui/TimeTicks.h"

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

}  // namespace

TChartSeries::TChartSeries(QChart* chart, QLineSeries* series, QDateTimeAxis* timeAxis,
                           QValueAxis* valueAxis)
    : chart_(chart), series_(series), timeAxis_(timeAxis), valueAxis_(valueAxis) {
  note_ = new QGraphicsSimpleTextItem(chart_);
  QFont f = note_->font();
  f.setBold(true);
  note_->setFont(f);
  note_->setBrush(QColor(0x50, 0x50, 0x50));
  note_->setZValue(100);
  QObject::connect(chart_, &QChart::plotAreaChanged, this, [this] { UpdateNote(); });
  UpdateNote();
}

QString TChartSeries::NoteText() const {
  return note_->isVisible() ? note_->text() : QString();
}

void TChartSeries::UpdateNote() {
  // An empty chart would show its default range: ten identical times and a
  // "-0.00"; it says that it waits for points instead. Nothing is touched
  // when nothing changed: every change repaints the chart.
  const bool empty = series_->count() == 0 && !zoomed_;
  if (timeAxis_->labelsVisible() == empty) timeAxis_->setLabelsVisible(!empty);
  if (valueAxis_->labelsVisible() == empty) valueAxis_->setLabelsVisible(!empty);
  QString text;
  if (zoomed_)
    text = QStringLiteral("Zoomed: new points are not followed \u2014 right button follows again");
  else if (empty)
    text = QStringLiteral("No points yet");
  if (note_->text() != text) note_->setText(text);
  if (note_->isVisible() == text.isEmpty()) note_->setVisible(!text.isEmpty());
  if (text.isEmpty()) return;
  const QRectF plot = chart_->plotArea();
  const QRectF box = note_->boundingRect();
  note_->setPos(
      zoomed_ ? QPointF(plot.right() - box.width() - 6, plot.top() + 4)
              : QPointF(plot.center().x() - box.width() / 2, plot.center().y() - box.height() / 2));
}

QPointF TChartSeries::ToChart(double x, double y) const {
  return QPointF((x - kUnixDateDelta) * kMSecsPerDay - offsetMs_, y);
}

void TChartSeries::Clear() {
  points_.clear();
  empty_ = true;
  ordered_ = true;
  ScheduleFlush();
}

void TChartSeries::Append(double x, double y) {
  if (empty_) offsetMs_ = LocalOffsetMs(x);
  const QPointF p = ToChart(x, y);
  if (!empty_ && p.x() < points_.last().x()) ordered_ = false;
  points_.append(p);
  if (empty_) {
    minX_ = maxX_ = p.x();
    haveY_ = false;
    empty_ = false;
  } else {
    minX_ = std::min(minX_, p.x());
    maxX_ = std::max(maxX_, p.x());
  }
  if (std::isfinite(y)) {
    minY_ = haveY_ ? std::min(minY_, y) : y;
    maxY_ = haveY_ ? std::max(maxY_, y) : y;
    haveY_ = true;
  }
  ScheduleFlush();
}

void TChartSeries::ReplaceAll(const TARollingBuffer& buffer, std::int32_t count) {
  buffer.CopyOut(0, count - 1, copy_);
  points_.resize(static_cast<qsizetype>(copy_.size()));
  empty_ = copy_.empty();
  if (!empty_) offsetMs_ = LocalOffsetMs(copy_.back().X);
  haveY_ = false;
  ordered_ = true;
  for (std::size_t i = 0; i < copy_.size(); ++i) {
    const QPointF p = ToChart(copy_[i].X, copy_[i].Y);
    points_[static_cast<qsizetype>(i)] = p;
    if (i == 0) {
      minX_ = maxX_ = p.x();
    } else {
      if (p.x() < points_[static_cast<qsizetype>(i) - 1].x()) ordered_ = false;
      minX_ = std::min(minX_, p.x());
      maxX_ = std::max(maxX_, p.x());
    }
    const double y = copy_[i].Y;
    if (std::isfinite(y)) {
      minY_ = haveY_ ? std::min(minY_, y) : y;
      maxY_ = haveY_ ? std::max(maxY_, y) : y;
      haveY_ = true;
    }
  }
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

void TChartSeries::Flush() {
  flushScheduled_ = false;
  if (!dirty_) return;
  dirty_ = false;
  lastFlushMs_ = QDateTime::currentMSecsSinceEpoch();
  if (!zoomed_) RescaleAxes();
  const double lo = zoomed_ ? static_cast<double>(timeAxis_->min().toMSecsSinceEpoch()) : minX_;
  const double hi = zoomed_ ? static_cast<double>(timeAxis_->max().toMSecsSinceEpoch()) : maxX_;
  // The series is drawn in ascending time. Points stamped after the local
  // clock went back (the end of summer time) take their place by time in the
  // drawing; the held points keep the buffer's order.
  if (ordered_) {
    BuildDrawn(points_, lo, hi);
  } else {
    sorted_ = points_;
    std::stable_sort(sorted_.begin(), sorted_.end(),
                     [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    BuildDrawn(sorted_, lo, hi);
  }
  // Markers on tens of thousands of points turn the line into a smear and
  // cost most of the repaint: they are drawn only while the chart holds few.
  const bool markers = !decimated_ && drawn_.size() <= kMaxPointsWithMarkers;
  if (series_->pointsVisible() != markers) series_->setPointsVisible(markers);
  series_->replace(drawn_);
  UpdateNote();
}

int TChartSeries::drawnPointCount() const {
  return static_cast<int>(series_->count());
}

void TChartSeries::SetZoomed(bool zoomed) {
  zoomed_ = zoomed;
  UpdateNote();
  dirty_ = true;
  ScheduleFlush();
}

void TChartSeries::ResetZoom() {
  SetZoomed(false);
}

void TChartSeries::BuildDrawn(const QList<QPointF>& points, double lo, double hi) {
  // The points inside [lo, hi], with one neighbour on each side so the line
  // runs to the edges. A value that is not a number (an infinite signal) has
  // no place on the value axis and is left out of the drawing.
  const auto byX = [](const QPointF& p, double x) { return p.x() < x; };
  qsizetype first = std::lower_bound(points.cbegin(), points.cend(), lo, byX) - points.cbegin();
  qsizetype last = std::lower_bound(points.cbegin(), points.cend(), hi, byX) - points.cbegin();
  if (first > 0) --first;
  if (last < points.size()) ++last;
  const qsizetype n = last - first;
  const auto drawable = [](const QPointF& p) { return std::isfinite(p.y()); };
  drawn_.clear();
  decimated_ = n > kMaxDrawnPoints && hi > lo;
  if (!decimated_) {
    drawn_.reserve(n);
    for (qsizetype i = first; i < last; ++i)
      if (drawable(points[i])) drawn_.append(points[i]);
    return;
  }
  // Per time slice, its lowest and highest point in time order.
  drawn_.reserve(2 * kBuckets + 2);
  const double width = (hi - lo) / kBuckets;
  qsizetype i = first;
  while (i < last) {
    const double bucketEnd = lo + (std::floor((points[i].x() - lo) / width) + 1) * width;
    qsizetype lowIdx = -1, highIdx = -1;
    qsizetype j = i;
    for (; j < last && points[j].x() < bucketEnd; ++j) {
      if (!drawable(points[j])) continue;
      const double y = points[j].y();
      if (lowIdx < 0 || y < points[lowIdx].y()) lowIdx = j;
      if (highIdx < 0 || y > points[highIdx].y()) highIdx = j;
    }
    if (j == i) ++j;  // a point at or beyond the range end
    if (lowIdx >= 0) {
      drawn_.append(points[std::min(lowIdx, highIdx)]);
      if (lowIdx != highIdx) drawn_.append(points[std::max(lowIdx, highIdx)]);
    }
    i = j;
  }
}

void TChartSeries::RescaleAxes() {
  if (empty_) return;
  // Ticks on round local times.
  // The chart thins out ticks whose unturned labels would not fit side by
  // side, which would put them off the round times: ask for no more.
  int maxTicks = kMaxTimeTicks;
  const qreal plotWidth = chart_->plotArea().width();
  if (plotWidth > 0) {
    const int label = QFontMetrics(timeAxis_->labelsFont()).horizontalAdvance("00:00:00") + 8;
    maxTicks = std::clamp(static_cast<int>(plotWidth / label), 3, kMaxTimeTicks);
  }
  const TTimeTicks ticks = RoundTimeTicks(minX_, maxX_, offsetMs_, maxTicks);
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ticks.minMs)),
                      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ticks.maxMs)));
  if (timeAxis_->tickCount() != ticks.count) timeAxis_->setTickCount(ticks.count);
  double ylo = haveY_ ? minY_ : 0, yhi = haveY_ ? maxY_ : 0;
  if (yhi - ylo < 1e-9) {
    ylo -= 0.5;
    yhi += 0.5;
  } else {
    const double pad = (yhi - ylo) * 0.05;
    ylo -= pad;
    yhi += pad;
  }
  valueAxis_->setRange(ylo, yhi);
  // Ticks on round values from zero: no "-0.00" from a rounding error.
  const TValueTicks v = NiceValueTicks(ylo, yhi, kMaxValueTicks);
  // Set only what changed: each setter relays out and repaints the chart.
  if (valueAxis_->tickType() != QValueAxis::TicksDynamic) {
    valueAxis_->setTickType(QValueAxis::TicksDynamic);
    valueAxis_->setTickAnchor(0);
  }
  if (valueAxis_->tickInterval() != v.step) valueAxis_->setTickInterval(v.step);
  const QString format = QStringLiteral("%.") + QString::number(v.decimals) + QStringLiteral("f");
  if (valueAxis_->labelFormat() != format) valueAxis_->setLabelFormat(format);
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
