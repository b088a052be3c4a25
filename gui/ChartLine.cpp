#include "ChartLine.h"

#include <QDateTime>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <climits>
#include <cmath>
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

void TChartLine::SetPoints(QList<QPointF> points, bool thinned) {
  points_ = std::move(points);
  thinned_ = thinned;
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
  painter->setClipRect(clip);
  // Filled runs match a stroke only for an opaque, solid, one-pixel pen
  // without antialiasing; anything else is stroked.
  const bool filled =
      thinned_ && pen.widthF() <= 1 && pen.style() == Qt::SolidLine && pen.color().alpha() == 255 &&
      !painter->testRenderHint(QPainter::Antialiasing) && PaintColumns(painter, mapped, clip, pen);
  lastPaintFilled_ = filled;
  if (!filled) {
    painter->setPen(pen);
    // One call for the whole line, segment by segment: the same pixels as a
    // line drawn one segment at a time, without the cost of a call each.
    std::vector<QLineF> segments;
    segments.reserve(static_cast<std::size_t>(mapped.size()));
    for (qsizetype i = 1; i < mapped.size(); ++i) segments.emplace_back(mapped[i - 1], mapped[i]);
    if (!segments.empty()) painter->drawLines(segments.data(), static_cast<int>(segments.size()));
  }
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

bool TChartLine::PaintColumns(QPainter* painter, const QPolygonF& mapped, const QRectF& clip,
                              const QPen& pen) {
  const QTransform device = painter->deviceTransform();
  if (device.type() > QTransform::TxScale || device.m11() <= 0 || device.m22() <= 0) return false;
  devicePoints_.clear();
  devicePoints_.reserve(static_cast<std::size_t>(mapped.size()));
  for (const QPointF& p : mapped) {
    const QPointF d = device.map(p);
    devicePoints_.push_back({d.x(), d.y()});
  }
  // The clip in device pixels, a pixel wider each way: what falls outside
  // it is cut by the painter's clip anyway.
  const QRectF area = device.mapRect(clip);
  const TPixelArea pixels{static_cast<int>(std::floor(area.left())) - 1,
                          static_cast<int>(std::floor(area.top())) - 1,
                          static_cast<int>(std::ceil(area.right())) + 1,
                          static_cast<int>(std::ceil(area.bottom())) + 1};
  if (!LineColumnSpans(devicePoints_, pixels, spans_, flat_)) return false;
  // The runs go onto device pixels: without any transform of ours the
  // painter must be left with a whole-pixel shift only (not so on a
  // high-density screen, whose scale it keeps).
  painter->save();
  painter->resetTransform();
  const QTransform base = painter->deviceTransform();
  const qreal bx = base.dx(), by = base.dy();
  if (base.type() > QTransform::TxTranslate || bx != std::floor(bx) || by != std::floor(by)) {
    painter->restore();
    return false;
  }
  if (!spans_.empty()) {
    // The runs are written into an image of their bounding box, drawn at
    // once: the raster engine fills a one-pixel-wide rect row by row, a call
    // a row, which costs several times the blend of the whole box.
    int top = spans_.front().Top, bottom = spans_.front().Bottom;
    for (const TColumnSpan& s : spans_) {
      top = std::min(top, s.Top);
      bottom = std::max(bottom, s.Bottom);
    }
    const int left = spans_.front().Column;
    const int width = spans_.back().Column - left + 1, height = bottom - top + 1;
    if (layer_.width() < width || layer_.height() < height)
      layer_ = QImage(std::max(width, layer_.width()), std::max(height, layer_.height()),
                      QImage::Format_ARGB32_Premultiplied);
    columnTop_.assign(static_cast<std::size_t>(width), INT_MAX);
    columnBottom_.assign(static_cast<std::size_t>(width), INT_MIN);
    for (const TColumnSpan& s : spans_) {
      columnTop_[static_cast<std::size_t>(s.Column - left)] = s.Top;
      columnBottom_[static_cast<std::size_t>(s.Column - left)] = s.Bottom;
    }
    // Row by row, every pixel of the box written once, lit or clear: in the
    // order of memory, which column by column is not.
    const QRgb rgb = pen.color().rgba();
    const int* tops = columnTop_.data();
    const int* bottoms = columnBottom_.data();
    for (int r = top; r <= bottom; ++r) {
      auto* line = reinterpret_cast<QRgb*>(layer_.scanLine(r - top));
      for (int c = 0; c < width; ++c) line[c] = tops[c] <= r && r <= bottoms[c] ? rgb : 0u;
    }
    painter->drawImage(QPointF(left - bx, top - by), layer_, QRectF(0, 0, width, height));
  }
  painter->restore();
  // The flat stretches, a pixel or so a column, as the pen strokes them.
  lines_.clear();
  lines_.reserve(flat_.size());
  for (const std::size_t i : flat_) {
    const auto at = static_cast<qsizetype>(i);
    lines_.emplace_back(mapped[at], mapped[at + 1]);
  }
  painter->setPen(pen);
  if (!lines_.empty()) painter->drawLines(lines_.data(), static_cast<int>(lines_.size()));
  return true;
}

}  // namespace quorvel
