#include "ChartLine.h"

#include <QDateTime>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

// Above the grid and the axes, where Qt Charts puts its own lines.
constexpr qreal kLineZ = 4;

}  // namespace

TChartLine::TChartLine(QChart* chart, QLineSeries* style, QDateTimeAxis* timeAxis,
                       QValueAxis* valueAxis)
    : QGraphicsItem(chart),
      chart_(chart),
      style_(style),
      timeAxis_(timeAxis),
      valueAxis_(valueAxis) {
  setZValue(kLineZ);
  setAcceptedMouseButtons(Qt::NoButton);
  setAcceptHoverEvents(false);
  QObject::connect(chart_, &QChart::plotAreaChanged, chart_, [this] { FollowPlotArea(); });
  QObject::connect(timeAxis_, &QDateTimeAxis::rangeChanged, chart_, [this] { update(); });
  QObject::connect(valueAxis_, &QValueAxis::rangeChanged, chart_, [this] { update(); });
  QObject::connect(style_, &QXYSeries::penChanged, chart_, [this] { update(); });
  FollowPlotArea();
}

void TChartLine::FollowPlotArea() {
  const QRectF plot = chart_->plotArea();
  if (plot.size() != size_) {
    prepareGeometryChange();
    size_ = plot.size();
  }
  setPos(plot.topLeft());
  update();
}

void TChartLine::SetPoints(QList<QPointF> points) {
  points_ = std::move(points);
  update();
}

TPlotMapping TChartLine::Mapping() const {
  TPlotMapping m;
  m.MinX = static_cast<double>(timeAxis_->min().toMSecsSinceEpoch());
  m.MaxX = static_cast<double>(timeAxis_->max().toMSecsSinceEpoch());
  m.MinY = valueAxis_->min();
  m.MaxY = valueAxis_->max();
  m.Width = size_.width();
  m.Height = size_.height();
  return m;
}

QPolygonF TChartLine::MappedPoints() const {
  QPolygonF mapped;
  const TPlotMapping m = Mapping();
  if (!m.Valid()) return mapped;
  mapped.reserve(points_.size());
  for (const QPointF& p : points_) {
    const TPlotPoint at = m.Map(p.x(), p.y());
    mapped.append(QPointF(at.X, at.Y));
  }
  return mapped;
}

QRectF TChartLine::boundingRect() const {
  // The clip takes in a line along the plot area's edges.
  const qreal margin = 1;
  return QRectF(QPointF(0, 0), size_).adjusted(-margin, -margin, margin, margin);
}

QPainterPath TChartLine::shape() const {
  return QPainterPath();
}

void TChartLine::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  const QPolygonF mapped = MappedPoints();
  if (mapped.isEmpty()) return;
  const QPen pen = style_->pen();
  // The plot area, widened by the half pixel that takes in a line along its
  // edges, as Qt Charts clips its lines.
  QRectF clip(QPointF(0, 0), size_);
  const qreal x1 = pos().x() - int(pos().x());
  const qreal y1 = pos().y() - int(pos().y());
  const qreal x2 = (clip.width() + 0.5) - int(clip.width() + 0.5);
  const qreal y2 = (clip.height() + 0.5) - int(clip.height() + 0.5);
  clip.adjust(-x1, -y1, std::max(x1, x2), std::max(y1, y2));

  painter->save();
  painter->setPen(pen);
  painter->setClipRect(clip);
  // One call for the whole line, segment by segment: the same pixels as a
  // line drawn one segment at a time, without the cost of a call each.
  std::vector<QLineF> segments;
  segments.reserve(static_cast<std::size_t>(mapped.size()));
  for (qsizetype i = 1; i < mapped.size(); ++i) segments.emplace_back(mapped[i - 1], mapped[i]);
  if (!segments.empty()) painter->drawLines(segments.data(), static_cast<int>(segments.size()));
  if (style_->pointsVisible()) {
    // Round markers of the series' marker size as radius, in the line's
    // colour, cut at the plot area as the line is.
    const qreal radius = style_->markerSize();
    painter->setPen(Qt::NoPen);
    painter->setBrush(pen.color());
    for (const QPointF& p : mapped) painter->drawEllipse(p, radius, radius);
  }
  painter->restore();
}

}  // namespace quorvel
