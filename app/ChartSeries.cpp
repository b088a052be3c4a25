#include "ChartSeries.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "common/DateTime.h"

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
    : chart_(chart), series_(series), timeAxis_(timeAxis), valueAxis_(valueAxis) {}

QPointF TChartSeries::ToChart(double x, double y) const {
  return QPointF((x - kUnixDateDelta) * kMSecsPerDay - offsetMs_, y);
}

void TChartSeries::Clear() {
  points_.clear();
  empty_ = true;
  ScheduleFlush();
}

void TChartSeries::Append(double x, double y) {
  if (empty_) offsetMs_ = LocalOffsetMs(x);
  const QPointF p = ToChart(x, y);
  points_.append(p);
  if (empty_) {
    minX_ = maxX_ = p.x();
    minY_ = maxY_ = std::isfinite(y) ? y : 0;
    empty_ = false;
  } else {
    minX_ = std::min(minX_, p.x());
    maxX_ = std::max(maxX_, p.x());
    if (std::isfinite(y)) {
      minY_ = std::min(minY_, y);
      maxY_ = std::max(maxY_, y);
    }
  }
  ScheduleFlush();
}

void TChartSeries::ReplaceAll(const TARollingBuffer& buffer, std::int32_t count) {
  buffer.CopyOut(0, count - 1, copy_);
  points_.resize(static_cast<qsizetype>(copy_.size()));
  empty_ = copy_.empty();
  if (!empty_) offsetMs_ = LocalOffsetMs(copy_.back().X);
  bool haveY = false;
  for (std::size_t i = 0; i < copy_.size(); ++i) {
    points_[static_cast<qsizetype>(i)] = ToChart(copy_[i].X, copy_[i].Y);
    const double y = copy_[i].Y;
    if (std::isfinite(y)) {
      minY_ = haveY ? std::min(minY_, y) : y;
      maxY_ = haveY ? std::max(maxY_, y) : y;
      haveY = true;
    }
  }
  if (!haveY) minY_ = maxY_ = 0;
  if (!empty_) {
    minX_ = points_.front().x();
    maxX_ = points_.back().x();
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
  // Markers on tens of thousands of points turn the line into a smear and
  // cost most of the repaint: they are drawn only while the chart holds few.
  if (!zoomed_) RescaleAxes();
  const double lo = zoomed_ ? static_cast<double>(timeAxis_->min().toMSecsSinceEpoch()) : minX_;
  const double hi = zoomed_ ? static_cast<double>(timeAxis_->max().toMSecsSinceEpoch()) : maxX_;
  BuildDrawn(lo, hi);
  const bool markers = drawn_.size() <= kMaxPointsWithMarkers && drawn_.size() == points_.size();
  if (series_->pointsVisible() != markers) series_->setPointsVisible(markers);
  series_->replace(drawn_);
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

void TChartSeries::BuildDrawn(double lo, double hi) {
  // The points inside [lo, hi], with one neighbour on each side so the line
  // runs to the edges.
  const auto byX = [](const QPointF& p, double x) { return p.x() < x; };
  qsizetype first = std::lower_bound(points_.cbegin(), points_.cend(), lo, byX) - points_.cbegin();
  qsizetype last = std::lower_bound(points_.cbegin(), points_.cend(), hi, byX) - points_.cbegin();
  if (first > 0) --first;
  if (last < points_.size()) ++last;
  const qsizetype n = last - first;
  drawn_.clear();
  if (n <= kMaxDrawnPoints || !(hi > lo)) {
    drawn_.reserve(n);
    for (qsizetype i = first; i < last; ++i) drawn_.append(points_[i]);
    return;
  }
  drawn_.reserve(2 * kBuckets + 2);
  const double width = (hi - lo) / kBuckets;
  qsizetype i = first;
  while (i < last) {
    const double bucketEnd = lo + (std::floor((points_[i].x() - lo) / width) + 1) * width;
    qsizetype lowIdx = i, highIdx = i;
    qsizetype j = i;
    for (; j < last && points_[j].x() < bucketEnd; ++j) {
      const double y = points_[j].y();
      if (y < points_[lowIdx].y() || std::isnan(points_[lowIdx].y())) lowIdx = j;
      if (y > points_[highIdx].y() || std::isnan(points_[highIdx].y())) highIdx = j;
    }
    if (j == i) ++j;  // a point at or beyond the range end
    if (lowIdx == highIdx) {
      drawn_.append(points_[lowIdx]);
    } else {
      drawn_.append(points_[std::min(lowIdx, highIdx)]);
      drawn_.append(points_[std::max(lowIdx, highIdx)]);
    }
    i = j;
  }
}

void TChartSeries::RescaleAxes() {
  if (empty_) return;
  double lo = minX_, hi = maxX_;
  if (hi - lo < 1000) hi = lo + 1000;
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(lo)),
                      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::ceil(hi))));
  double ylo = minY_, yhi = maxY_;
  if (!std::isfinite(ylo) || !std::isfinite(yhi)) ylo = yhi = 0;
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

void TChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    chart()->zoomReset();
    series_->ResetZoom();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && chart()->isZoomed()) series_->SetZoomed(true);
}

}  // namespace quorvel
