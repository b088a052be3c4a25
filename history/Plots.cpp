#include "history/Plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quorvel::history {

namespace {

constexpr TRgb kBlack{0, 0, 0};
constexpr TRgb kGrey{120, 120, 120};
constexpr TRgb kGrid{225, 225, 225};
constexpr TRgb kCompareColor{120, 120, 120};
constexpr std::array<TRgb, 4> kClassColors{
    {{40, 160, 60}, {120, 170, 40}, {200, 150, 0}, {200, 50, 40}}};

std::string Fixed(double v, int decimals) {
  if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0;  // no "-0"
  char s[32];
  std::snprintf(s, sizeof s, "%.*f", decimals, v);
  return s;
}

// Ticks at 1, 2 or 5 times a power of ten, about `want` of them.
std::vector<double> NiceTicks(double lo, double hi, int want, int& decimals) {
  std::vector<double> out;
  decimals = 0;
  if (!(hi > lo)) return out;
  const double raw = (hi - lo) / want;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  double step = mag;
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * mag >= raw) {
      step = m * mag;
      break;
    }
  decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  for (double t = std::ceil(lo / step - 1e-9) * step; t <= hi + step * 1e-9; t += step)
    out.push_back(t);
  return out;
}

// Plot area inside the margins and the mapping from data to pixels.
struct TFrame {
  double left, top, right, bottom;
  double x0, x1, y0, y1;
  double X(double v) const { return left + (v - x0) / (x1 - x0) * (right - left); }
  double Y(double v) const { return bottom - (v - y0) / (y1 - y0) * (bottom - top); }
};

TFrame MakeFrame(int width, int height, double x0, double x1, double y0, double y1) {
  if (!(x1 > x0)) x1 = x0 + 1;
  if (!(y1 > y0)) y1 = y0 + 1;
  return TFrame{70, 40, width - 20.0, height - 55.0, x0, x1, y0, y1};
}

void DrawTitle(TCanvas& c, int width, const std::string& title) {
  c.Text(width / 2.0, 24, title, 15, TAnchor::Middle, kBlack);
}

void DrawYAxis(TCanvas& c, const TFrame& f, const std::string& label) {
  int decimals = 0;
  for (double t : NiceTicks(f.y0, f.y1, 6, decimals)) {
    const double y = f.Y(t);
    c.Polyline({{f.left, y}, {f.right, y}}, kGrid, 1, false);
    c.Text(f.left - 6, y + 4, Fixed(t, decimals), 11, TAnchor::End, kBlack);
  }
  c.Text(18, (f.top + f.bottom) / 2, label, 12, TAnchor::Middle, kBlack, true);
}

void DrawXAxis(TCanvas& c, const TFrame& f,
               const std::vector<std::pair<double, std::string>>& ticks, const std::string& label,
               int height) {
  for (const auto& [v, text] : ticks) {
    const double x = f.X(v);
    c.Polyline({{x, f.top}, {x, f.bottom}}, kGrid, 1, false);
    c.Text(x, f.bottom + 16, text, 11, TAnchor::Middle, kBlack);
  }
  c.Text((f.left + f.right) / 2, height - 12.0, label, 12, TAnchor::Middle, kBlack);
}

void DrawBox(TCanvas& c, const TFrame& f) {
  c.Rect(f.left, f.top, f.right - f.left, f.bottom - f.top, std::nullopt, kBlack);
}

void Legend(TCanvas& c, const TFrame& f, const std::vector<std::pair<std::string, TRgb>>& items,
            bool bottom = false) {
  const double top = bottom ? f.bottom - 16.0 * static_cast<double>(items.size()) - 16 : f.top;
  c.Rect(f.right - 196, top + 4, 190, 16.0 * static_cast<double>(items.size()) + 6,
         TRgb{255, 255, 255}, TRgb{200, 200, 200});
  double y = top + 16;
  for (const auto& [text, color] : items) {
    c.Polyline({{f.right - 190, y - 4}, {f.right - 166, y - 4}}, color, 2.5, false);
    c.Text(f.right - 160, y, text, 11, TAnchor::Start, kBlack);
    y += 16;
  }
}

void NoData(TCanvas& c, const TFrame& f) {
  c.Text((f.left + f.right) / 2, (f.top + f.bottom) / 2, "no measurements", 14, TAnchor::Middle,
         kGrey);
}

void ClassLimits(TCanvas& c, const TFrame& f) {
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i) {
    const double v = kSeeingLimits[i];
    if (v > f.y1) continue;
    c.Polyline({{f.left, f.Y(v)}, {f.right, f.Y(v)}}, kClassColors[i], 1.2, true);
    c.Text(f.right - 4, f.Y(v) - 3, Fixed(v, 1) + "\u2033", 10, TAnchor::End, kClassColors[i]);
  }
}

// The same limits on a seeing axis along x.
void ClassLimitsAlongX(TCanvas& c, const TFrame& f) {
  double lastLabel = -1e9;
  for (std::size_t i = 0; i < kSeeingLimits.size(); ++i) {
    const double v = kSeeingLimits[i];
    if (v > f.x1) continue;
    c.Polyline({{f.X(v), f.top}, {f.X(v), f.bottom}}, kClassColors[i], 1.2, true);
    if (f.X(v) - lastLabel < 30) continue;  // labels that would overlap
    c.Text(f.X(v) + 3, f.top + 12, Fixed(v, 1) + "\u2033", 10, TAnchor::Start, kClassColors[i]);
    lastLabel = f.X(v);
  }
}

// Splits a curve into lines at gaps of more than kMaxGapSeconds.
std::vector<TPolyline> CurveLines(const TFrame& f, const std::vector<TSeeingPoint>& pts,
                                  double shift, bool zenith) {
  std::vector<TPolyline> lines(1);
  double lastT = -std::numeric_limits<double>::infinity();
  for (const auto& p : pts) {
    const double v = zenith ? p.seeingZenith : p.seeing;
    if (!std::isfinite(v)) continue;
    if (p.t - lastT > kMaxGapSeconds && !lines.back().empty()) lines.emplace_back();
    lines.back().push_back({f.X(p.t + shift), f.Y(std::min(v, f.y1))});
    lastT = p.t;
  }
  return lines;
}

std::string HourMinute(double localSeconds) {
  const long long s = static_cast<long long>(std::llround(localSeconds));
  const long long sod = ((s % 86400) + 86400) % 86400;
  char t[8];
  std::snprintf(t, sizeof t, "%02lld:%02lld", sod / 3600, sod / 60 % 60);
  return t;
}

double UpperSeeing(double top) {
  return std::max(4.0, std::ceil(top));
}

}  // namespace

TDayCurve ThinCurve(const std::string& date, const std::vector<TSeeingPoint>& sorted,
                    std::size_t slices) {
  TDayCurve out{date, {}};
  if (sorted.size() <= 4 * slices) {
    out.points = sorted;
    return out;
  }
  const double t0 = sorted.front().t, t1 = sorted.back().t;
  const double width = (t1 - t0) / static_cast<double>(slices);
  std::size_t i = 0;
  while (i < sorted.size()) {
    const auto slice = std::min(slices - 1, static_cast<std::size_t>((sorted[i].t - t0) / width));
    std::size_t j = i;
    std::size_t pick[4] = {i, i, i, i};  // min/max line of sight, min/max zenith
    while (j < sorted.size() &&
           std::min(slices - 1, static_cast<std::size_t>((sorted[j].t - t0) / width)) == slice) {
      const auto& p = sorted[j];
      if (p.seeing < sorted[pick[0]].seeing) pick[0] = j;
      if (p.seeing > sorted[pick[1]].seeing) pick[1] = j;
      if (p.seeingZenith < sorted[pick[2]].seeingZenith) pick[2] = j;
      if (p.seeingZenith > sorted[pick[3]].seeingZenith) pick[3] = j;
      ++j;
    }
    std::sort(std::begin(pick), std::end(pick));
    for (std::size_t k = 0; k < 4; ++k)
      if (k == 0 || pick[k] != pick[k - 1]) out.points.push_back(sorted[pick[k]]);
    i = j;
  }
  return out;
}

void DrawDayCurve(TCanvas& c, int width, int height, const TDayCurve& curve,
                  const TUtcOffsetFn& offset, const TDayCurve* compare) {
  DrawTitle(c, width, "Seeing on " + curve.date + (compare ? " and " + compare->date : ""));
  if (curve.points.empty()) {
    const TFrame f = MakeFrame(width, height, 0, 1, 0, 4);
    DrawBox(c, f);
    NoData(c, f);
    return;
  }
  const int off = offset ? offset(curve.points.front().t) : 0;
  // Time of day, local, in seconds; the compared day is laid over it by its
  // own time of day.
  const auto dayStart = [&](const TDayCurve& d, int o) {
    return std::floor((d.points.front().t + o) / 86400.0) * 86400.0 - o;
  };
  const double base = dayStart(curve, off);
  double shiftCompare = 0;
  double t0 = curve.points.front().t, t1 = curve.points.back().t;
  double top = 0;
  for (const auto& p : curve.points)
    top = std::max({top, std::isfinite(p.seeing) ? p.seeing : 0.0});
  if (compare && !compare->points.empty()) {
    const int co = offset ? offset(compare->points.front().t) : 0;
    shiftCompare = base - dayStart(*compare, co);
    t0 = std::min(t0, compare->points.front().t + shiftCompare);
    t1 = std::max(t1, compare->points.back().t + shiftCompare);
    for (const auto& p : compare->points)
      top = std::max({top, std::isfinite(p.seeing) ? p.seeing : 0.0});
  }
  const TFrame f = MakeFrame(width, height, t0, t1, 0, UpperSeeing(top));
  DrawYAxis(c, f, "Seeing (arcsec)");
  std::vector<std::pair<double, std::string>> ticks;
  const double span = t1 - t0;
  const double step = span > 8 * 3600   ? 7200
                      : span > 3 * 3600 ? 3600
                      : span > 3600     ? 1800
                      : span > 900      ? 300
                                        : 60;
  for (double t = std::ceil((t0 + off) / step) * step - off; t <= t1; t += step)
    ticks.push_back({t, HourMinute(t + off)});
  DrawXAxis(c, f, ticks, "Local time", height);
  ClassLimits(c, f);
  if (compare)
    for (const auto& line : CurveLines(f, compare->points, shiftCompare, false))
      c.Polyline(line, kCompareColor, 1, false);
  for (const auto& line : CurveLines(f, curve.points, 0, false))
    c.Polyline(line, kLineOfSightColor, 1, false);
  for (const auto& line : CurveLines(f, curve.points, 0, true))
    c.Polyline(line, kZenithColor, 1, false);
  DrawBox(c, f);
  std::vector<std::pair<std::string, TRgb>> legend{{"line of sight", kLineOfSightColor},
                                                   {"zenith", kZenithColor}};
  if (compare) legend.push_back({compare->date + ", line of sight", kCompareColor});
  Legend(c, f, legend);
}

void DrawHistogram(TCanvas& c, int width, int height, const TValueCounts& seeing,
                   const TValueCounts& seeingZenith, const std::string& title) {
  DrawTitle(c, width, title);
  constexpr double kBin = 0.1;
  double top = 0;
  const auto bins = [&](const TValueCounts& v) {
    std::vector<double> b;
    for (const auto& [x, n] : v.Sorted()) {
      const auto i = static_cast<std::size_t>(std::max(0.0, std::floor(x / kBin + 1e-9)));
      if (i >= 200) continue;
      if (b.size() <= i) b.resize(i + 1, 0.0);
      b[i] += static_cast<double>(n);
    }
    for (double& x : b) x = 100.0 * x / static_cast<double>(std::max<std::uint64_t>(1, v.Count()));
    return b;
  };
  const auto los = bins(seeing), zen = bins(seeingZenith);
  for (double x : los) top = std::max(top, x);
  for (double x : zen) top = std::max(top, x);
  double xmax = 0;
  for (const auto* b : {&los, &zen})
    for (std::size_t i = 0; i < b->size(); ++i)
      if ((*b)[i] > 0) xmax = std::max(xmax, (static_cast<double>(i) + 1) * kBin);
  xmax = std::max(4.0, std::ceil(xmax));
  const TFrame f = MakeFrame(width, height, 0, xmax, 0, top > 0 ? top * 1.1 : 1);
  DrawYAxis(c, f, "% of measurements per 0.1\u2033");
  int decimals = 0;
  std::vector<std::pair<double, std::string>> ticks;
  for (double t : NiceTicks(0, xmax, 10, decimals)) ticks.push_back({t, Fixed(t, decimals)});
  DrawXAxis(c, f, ticks, "Seeing (arcsec)", height);
  if (seeing.Count() == 0 && seeingZenith.Count() == 0) NoData(c, f);
  const auto steps = [&](const std::vector<double>& b, TRgb color) {
    TPolyline line{{f.X(0), f.Y(0)}};
    for (std::size_t i = 0; i < b.size(); ++i) {
      line.push_back({f.X(static_cast<double>(i) * kBin), f.Y(b[i])});
      line.push_back({f.X((static_cast<double>(i) + 1) * kBin), f.Y(b[i])});
    }
    line.push_back({f.X(static_cast<double>(b.size()) * kBin), f.Y(0)});
    c.Polyline(line, color, 1.5, false);
  };
  ClassLimitsAlongX(c, f);
  steps(los, kLineOfSightColor);
  steps(zen, kZenithColor);
  DrawBox(c, f);
  Legend(c, f, {{"line of sight", kLineOfSightColor}, {"zenith", kZenithColor}});
}

void DrawCumulative(TCanvas& c, int width, int height, const TValueCounts& seeing,
                    const TValueCounts& seeingZenith, const std::string& title) {
  DrawTitle(c, width, title);
  double xmax = 4;
  for (const auto* v : {&seeing, &seeingZenith}) {
    const auto s = v->Sorted();
    if (!s.empty()) xmax = std::max(xmax, std::ceil(std::min(s.back().first, 20.0)));
  }
  const TFrame f = MakeFrame(width, height, 0, xmax, 0, 100);
  DrawYAxis(c, f, "Measurements at or below (%)");
  int decimals = 0;
  std::vector<std::pair<double, std::string>> ticks;
  for (double t : NiceTicks(0, xmax, 10, decimals)) ticks.push_back({t, Fixed(t, decimals)});
  DrawXAxis(c, f, ticks, "Seeing (arcsec)", height);
  if (seeing.Count() == 0 && seeingZenith.Count() == 0) NoData(c, f);
  ClassLimitsAlongX(c, f);
  const auto curve = [&](const TValueCounts& v, TRgb color) {
    if (v.Count() == 0) return;
    TPolyline line{{f.X(0), f.Y(0)}};
    std::uint64_t cum = 0;
    for (const auto& [x, n] : v.Sorted()) {
      const double before = 100.0 * static_cast<double>(cum) / static_cast<double>(v.Count());
      cum += n;
      const double after = 100.0 * static_cast<double>(cum) / static_cast<double>(v.Count());
      const double px = f.X(std::min(x, xmax));
      line.push_back({px, f.Y(before)});
      line.push_back({px, f.Y(after)});
    }
    line.push_back({f.X(xmax), f.Y(100)});
    c.Polyline(line, color, 1.5, false);
  };
  curve(seeing, kLineOfSightColor);
  curve(seeingZenith, kZenithColor);
  DrawBox(c, f);
  Legend(c, f, {{"line of sight", kLineOfSightColor}, {"zenith", kZenithColor}}, true);
}

void DrawHourlyMedians(TCanvas& c, int width, int height, const std::map<int, double>& medians,
                       const std::string& title) {
  DrawTitle(c, width, title);
  double top = 0;
  for (const auto& [h, m] : medians) top = std::max(top, m);
  const TFrame f = MakeFrame(width, height, 0, 24, 0, UpperSeeing(top));
  DrawYAxis(c, f, "Median seeing (arcsec)");
  std::vector<std::pair<double, std::string>> ticks;
  for (int h = 0; h <= 24; h += 2) ticks.push_back({static_cast<double>(h), Fixed(h, 0)});
  DrawXAxis(c, f, ticks, "Local hour", height);
  if (medians.empty()) NoData(c, f);
  ClassLimits(c, f);
  for (const auto& [h, m] : medians) {
    const double x = f.X(h + 0.15), w = f.X(h + 0.85) - x;
    c.Rect(x, f.Y(m), w, f.Y(0) - f.Y(m), kLineOfSightColor, std::nullopt);
  }
  DrawBox(c, f);
}

void DrawHourlyMediansByStation(
    TCanvas& c, int width, int height,
    const std::vector<std::pair<std::string, std::map<int, double>>>& stations,
    const std::string& title) {
  // Told apart by colour, then by dashes after the tenth station.
  static constexpr TRgb kPalette[] = {
      {31, 119, 180}, {230, 120, 20},  {44, 160, 44},   {214, 39, 40},  {148, 103, 189},
      {140, 86, 75},  {227, 119, 194}, {127, 127, 127}, {188, 189, 34}, {23, 190, 207}};
  constexpr std::size_t kColours = sizeof kPalette / sizeof kPalette[0];
  DrawTitle(c, width, title);
  double top = 0;
  bool any = false;
  for (const auto& [name, medians] : stations)
    for (const auto& [h, m] : medians) {
      top = std::max(top, m);
      any = true;
    }
  const TFrame f = MakeFrame(width, height, 0, 24, 0, UpperSeeing(top));
  DrawYAxis(c, f, "Median seeing (arcsec)");
  std::vector<std::pair<double, std::string>> ticks;
  for (int h = 0; h <= 24; h += 2) ticks.push_back({static_cast<double>(h), Fixed(h, 0)});
  DrawXAxis(c, f, ticks, "Local hour", height);
  if (!any) NoData(c, f);
  ClassLimits(c, f);
  std::vector<std::pair<std::string, TRgb>> legend;
  for (std::size_t i = 0; i < stations.size(); ++i) {
    const TRgb colour = kPalette[i % kColours];
    const bool dashed = i >= kColours;
    // A gap of an hour without measurements breaks the line.
    TPolyline line;
    int last = -2;
    for (const auto& [h, m] : stations[i].second) {
      if (h != last + 1 && line.size() > 0) {
        if (line.size() > 1) c.Polyline(line, colour, 1.5, dashed);
        line.clear();
      }
      line.push_back({f.X(h + 0.5), f.Y(m)});
      last = h;
    }
    if (line.size() > 1) c.Polyline(line, colour, 1.5, dashed);
    for (const auto& [h, m] : stations[i].second)
      c.Rect(f.X(h + 0.5) - 2, f.Y(m) - 2, 4, 4, colour, std::nullopt);
    legend.push_back({stations[i].first, colour});
  }
  DrawBox(c, f);
  if (!legend.empty() && legend.size() <= 12) Legend(c, f, legend);
}

}  // namespace quorvel::history
