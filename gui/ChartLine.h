// A chart's line, drawn by the program over a QChart's plot area instead of
// by a QLineSeries: Qt Charts lays a series out again at every change (with
// an outline stroked around the whole line for hit-testing), which cost more
// than drawing it. The series stays on the chart, empty, for its style (pen,
// markers), its name and the zoom, which Qt Charts does through it.
#pragma once

#include <QGraphicsItem>
#include <QImage>
#include <QLineF>
#include <QList>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <vector>

#include "plot/ColumnSpans.h"
#include "plot/PlotMapping.h"

QT_BEGIN_NAMESPACE
class QChart;
class QLineSeries;
class QDateTimeAxis;
class QValueAxis;
QT_END_NAMESPACE

namespace quorvel {

class TChartLine final : public QGraphicsItem {
 public:
  // A child of `chart`, drawn with the pen and markers of `style`, on the
  // ranges of the two axes.
  TChartLine(QChart* chart, QLineSeries* style, QDateTimeAxis* timeAxis, QValueAxis* valueAxis);

  // The points in chart values (milliseconds since the epoch, value), in the
  // order the line joins them. A line thinned to a point or two per pixel
  // column is filled column by column instead of stroked segment by segment:
  // the same line to the eye, at a fraction of the cost.
  void SetPoints(QList<QPointF> points, bool thinned = false);
  bool Thinned() const { return thinned_; }
  // Whether the last paint filled columns (rather than stroking segments).
  bool LastPaintFilled() const { return lastPaintFilled_; }
  const QList<QPointF>& Points() const { return points_; }

  // The mapping from chart values to pixels of the item, from the axes'
  // ranges and the plot area now.
  TPlotMapping Mapping() const;
  // The points as drawn, in the item's pixels (the item lies on the plot
  // area's top left corner). Empty when the axes give no mapping.
  QPolygonF MappedPoints() const;

  QRectF boundingRect() const override;
  // No outline for hit-testing: the line takes no mouse events.
  QPainterPath shape() const override;
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

 private:
  void FollowPlotArea();
  // Fills the line's steep stretches column by column and strokes its flat
  // ones. False, with nothing drawn, when the painter does more than shift by
  // whole pixels or the points do not run left to right.
  bool PaintColumns(QPainter* painter, const QPolygonF& mapped, const QRectF& clip,
                    const QPen& pen);

  QChart* chart_;
  QLineSeries* style_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  QList<QPointF> points_;
  QSizeF size_;
  bool thinned_ = false;
  bool lastPaintFilled_ = false;
  // Reused from paint to paint.
  std::vector<TPlotPoint> devicePoints_;
  std::vector<TColumnSpan> spans_;
  std::vector<std::size_t> flat_;
  QImage layer_;
  std::vector<int> columnTop_, columnBottom_;
  std::vector<QLineF> lines_;
};

}  // namespace quorvel
