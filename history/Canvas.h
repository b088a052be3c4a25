// A minimal drawing surface for the report's plots, so that the same plot
// code draws SVG text (here, plain C++) and raster images or widgets (Qt,
// report/ and history/ui/). Coordinates in pixels, y downwards.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/MarkupText.h"

namespace quorvel::history {

struct TRgb {
  unsigned char r = 0, g = 0, b = 0;
};

enum class TAnchor { Start, Middle, End };

using TPolyline = std::vector<std::pair<double, double>>;

class TCanvas {
 public:
  virtual ~TCanvas() = default;
  virtual void Rect(double x, double y, double w, double h, std::optional<TRgb> fill,
                    std::optional<TRgb> stroke) = 0;
  virtual void Polyline(const TPolyline& points, TRgb color, double width, bool dashed) = 0;
  // `y` is the text's baseline; `upright` turns it a quarter left (axis titles).
  virtual void Text(double x, double y, const std::string& utf8, double size, TAnchor anchor,
                    TRgb color, bool upright = false) = 0;
};

// Collects SVG elements; Svg() returns the whole document.
class TSvgCanvas : public TCanvas {
 public:
  TSvgCanvas(int width, int height);
  void Rect(double x, double y, double w, double h, std::optional<TRgb> fill,
            std::optional<TRgb> stroke) override;
  void Polyline(const TPolyline& points, TRgb color, double width, bool dashed) override;
  void Text(double x, double y, const std::string& utf8, double size, TAnchor anchor, TRgb color,
            bool upright) override;
  // With the XML declaration for a file of its own, without for inline HTML.
  std::string Svg(bool standalone = true) const;

 private:
  int width_, height_;
  std::string body_;
};

}  // namespace quorvel::history
