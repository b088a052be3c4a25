#include "history/Canvas.h"

#include <cstdio>

namespace quorvel::history {

namespace {

std::string Num(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.1f", v);
  return s;
}

std::string Color(TRgb c) {
  char s[8];
  std::snprintf(s, sizeof s, "#%02x%02x%02x", c.r, c.g, c.b);
  return s;
}

}  // namespace

TSvgCanvas::TSvgCanvas(int width, int height) : width_(width), height_(height) {}

void TSvgCanvas::Rect(double x, double y, double w, double h, std::optional<TRgb> fill,
                      std::optional<TRgb> stroke) {
  body_ += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" +
           Num(h) + "\" fill=\"" + (fill ? Color(*fill) : "none") + "\"";
  if (stroke) body_ += " stroke=\"" + Color(*stroke) + "\"";
  body_ += "/>\n";
}

void TSvgCanvas::Polyline(const TPolyline& points, TRgb color, double width, bool dashed) {
  if (points.size() < 2) return;
  body_ += "<polyline fill=\"none\" stroke=\"" + Color(color) + "\" stroke-width=\"" + Num(width) +
           "\"" + (dashed ? " stroke-dasharray=\"6 4\"" : "") + " points=\"";
  for (const auto& [x, y] : points) body_ += Num(x) + "," + Num(y) + " ";
  body_.back() = '"';
  body_ += "/>\n";
}

void TSvgCanvas::Text(double x, double y, const std::string& utf8, double size, TAnchor anchor,
                      TRgb color, bool upright) {
  const char* a = anchor == TAnchor::Start ? "start" : anchor == TAnchor::Middle ? "middle" : "end";
  body_ += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + Num(size) +
           "\" text-anchor=\"" + a + "\" fill=\"" + Color(color) + "\"";
  if (upright) body_ += " transform=\"rotate(-90 " + Num(x) + " " + Num(y) + ")\"";
  body_ += ">" + XmlEscape(utf8) + "</text>\n";
}

std::string TSvgCanvas::Svg(bool standalone) const {
  std::string w = std::to_string(width_), h = std::to_string(height_);
  std::string out = standalone ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" : "";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
         "\" viewBox=\"0 0 " + w + " " + h +
         "\" font-family=\"DejaVu Sans, Liberation Sans, Arial, sans-serif\">\n";
  out += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
  out += body_;
  out += "</svg>\n";
  return out;
}

}  // namespace quorvel::history
