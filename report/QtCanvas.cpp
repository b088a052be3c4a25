#include "report/QtCanvas.h"

#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QString>

namespace quorvel::report {

namespace {
QColor ToQ(history::TRgb c) {
  return QColor(c.r, c.g, c.b);
}
}  // namespace

void TQtCanvas::Rect(double x, double y, double w, double h, std::optional<history::TRgb> fill,
                     std::optional<history::TRgb> stroke) {
  p_.save();
  p_.setPen(stroke ? QPen(ToQ(*stroke), 1) : QPen(Qt::NoPen));
  p_.setBrush(fill ? QBrush(ToQ(*fill)) : QBrush(Qt::NoBrush));
  p_.drawRect(QRectF(x, y, w, h));
  p_.restore();
}

void TQtCanvas::Polyline(const history::TPolyline& points, history::TRgb color, double width,
                         bool dashed) {
  if (points.size() < 2) return;
  QPolygonF poly;
  poly.reserve(static_cast<int>(points.size()));
  for (const auto& [x, y] : points) poly << QPointF(x, y);
  p_.save();
  QPen pen(ToQ(color), width);
  if (dashed) pen.setDashPattern({6 / width, 4 / width});
  p_.setPen(pen);
  p_.setBrush(Qt::NoBrush);
  p_.drawPolyline(poly);
  p_.restore();
}

void TQtCanvas::Text(double x, double y, const std::string& utf8, double size,
                     history::TAnchor anchor, history::TRgb color, bool upright) {
  p_.save();
  QFont font("DejaVu Sans");
  font.setPixelSize(static_cast<int>(size + 0.5));
  p_.setFont(font);
  p_.setPen(ToQ(color));
  const QString text = QString::fromStdString(utf8);
  const double w = p_.fontMetrics().horizontalAdvance(text);
  const double dx = anchor == history::TAnchor::Start    ? 0
                    : anchor == history::TAnchor::Middle ? -w / 2
                                                         : -w;
  p_.translate(x, y);
  if (upright) p_.rotate(-90);
  p_.drawText(QPointF(dx, 0), text);
  p_.restore();
}

std::string SavePng(const std::string& path, int width, int height, const TDrawFn& draw) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    TQtCanvas c(p);
    draw(c);
  }
  QSaveFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::WriteOnly) || !image.save(&f, "PNG") || !f.commit())
    return "cannot write " + path + ": " + f.errorString().toStdString();
  return {};
}

std::string SaveSvg(const std::string& path, int width, int height, const TDrawFn& draw) {
  history::TSvgCanvas c(width, height);
  draw(c);
  const std::string svg = c.Svg(true);
  QSaveFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::WriteOnly) ||
      f.write(svg.data(), static_cast<qint64>(svg.size())) != static_cast<qint64>(svg.size()) ||
      !f.commit())
    return "cannot write " + path + ": " + f.errorString().toStdString();
  return {};
}

}  // namespace quorvel::report
