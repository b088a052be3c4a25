#include "ChartSeries.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
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
#include "gui/TimeTicks.h"
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
    : chart_(chart),
      series_(series),
      timeAxis_(timeAxis),
      valueAxis_(valueAxis),
      line_(new TChartLine(chart, series, timeAxis, valueAxis)) {
  // A wider or narrower plot has other pixel columns to thin for.
  connect(chart_, &QChart::plotAreaChanged, this, [this](const QRectF&) {
    if (thinned_ && Columns() != drawnColumns_) {
      dirty_ = true;
      ScheduleFlush();
    }
  });
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
  const bool empty = line_->Points().isEmpty() && !zoomed_;
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
  drawnColumns_ = Columns();
  thinned_ = false;
  positions_.clear();
  TPlotExtent extent;
  if (source_ != nullptr && count_ > 0) {
    if (zoomed_)
      extent = ScanExtent(*source_, count_);
    else
      thinned_ = ScanAndThin(*source_, count_, drawnColumns_, kMaxDrawnPoints, positions_, extent);
  }
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
  if (zoomed_ && !extent.Empty)
    thinned_ = ThinForDrawing(*source_, count_, lo, hi, drawnColumns_, kMaxDrawnPoints, positions_,
                              &extent);
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(positions_.size()));
  for (const std::int32_t position : positions_) {
    const TRollingBuffer& p = (*source_)[position];
    points.append(QPointF(ChartMs(p.X, offsetMs_), p.Y));
  }
  // Markers on tens of thousands of points turn the line into a smear and
  // cost most of the repaint: they are drawn only while the chart holds few.
  const bool markers = !thinned_ && points.size() <= kMaxPointsWithMarkers;
  if (!zoomed_) RescaleAxes(extent);
  if (series_->pointsVisible() != markers) series_->setPointsVisible(markers);
  line_->SetPoints(std::move(points), thinned_);
  UpdateNote();
}

int TChartSeries::drawnPointCount() const {
  return static_cast<int>(line_->Points().size());
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

void TChartSeries::RescaleAxes(const TPlotExtent& extent) {
  if (extent.Empty) return;
  // Ticks on round local times.
  // The chart thins out ticks whose unturned labels would not fit side by
  // side, which would put them off the round times: ask for no more.
  int maxTicks = kMaxTimeTicks;
  const qreal plotWidth = chart_->plotArea().width();
  if (plotWidth > 0) {
    const int label = QFontMetrics(timeAxis_->labelsFont()).horizontalAdvance("00:00:00") + 8;
    maxTicks = std::clamp(static_cast<int>(plotWidth / label), 3, kMaxTimeTicks);
  }
  const TTimeTicks ticks = RoundTimeTicks(ChartMs(extent.MinX, offsetMs_),
                                          ChartMs(extent.MaxX, offsetMs_), offsetMs_, maxTicks);
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ticks.minMs)),
                      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ticks.maxMs)));
  if (timeAxis_->tickCount() != ticks.count) timeAxis_->setTickCount(ticks.count);
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
