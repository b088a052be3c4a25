// The plots of history/ drawn with QPainter: into PNG files and widgets.
#pragma once

#include <QPainter>
#include <functional>
#include <string>

#include "history/Canvas.h"

namespace quorvel::report {

class TQtCanvas : public history::TCanvas {
 public:
  explicit TQtCanvas(QPainter& p) : p_(p) {}
  void Rect(double x, double y, double w, double h, std::optional<history::TRgb> fill,
            std::optional<history::TRgb> stroke) override;
  void Polyline(const history::TPolyline& points, history::TRgb color, double width,
                bool dashed) override;
  void Text(double x, double y, const std::string& utf8, double size, history::TAnchor anchor,
            history::TRgb color, bool upright) override;

 private:
  QPainter& p_;
};

using TDrawFn = std::function<void(history::TCanvas&)>;

// Draws into a white width x height image and saves it as PNG. Needs a
// QGuiApplication (any platform, offscreen included). Returns an error text,
// empty on success.
std::string SavePng(const std::string& path, int width, int height, const TDrawFn& draw);
// The same drawing as an SVG file.
std::string SaveSvg(const std::string& path, int width, int height, const TDrawFn& draw);

}  // namespace quorvel::report
