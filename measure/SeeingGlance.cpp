#include "SeeingGlance.h"

#include <cmath>

namespace quorvel {

TSeeingClasses SeeingClasses;

bool SeeingClassesValid(const TSeeingClasses& c) {
  return std::isfinite(c.Excellent) && std::isfinite(c.Good) && std::isfinite(c.Fair) &&
         c.Excellent > 0 && c.Excellent < c.Good && c.Good < c.Fair && c.Fair <= 100;
}

TSeeingQuality ClassifySeeing(double arcsec, const TSeeingClasses& c) {
  if (arcsec <= c.Excellent) return TSeeingQuality::Excellent;
  if (arcsec <= c.Good) return TSeeingQuality::Good;
  if (arcsec <= c.Fair) return TSeeingQuality::Fair;
  return TSeeingQuality::Poor;  // NaN too: never shown as good
}

const char* QualityName(TSeeingQuality q) {
  switch (q) {
    case TSeeingQuality::Excellent:
      return "excellent";
    case TSeeingQuality::Good:
      return "good";
    case TSeeingQuality::Fair:
      return "fair";
    case TSeeingQuality::Poor:
      break;
  }
  return "poor";
}

TSeeingTrend SeeingTrend(double mean60, bool have60, double mean300, bool have300) {
  if (!have60 || !have300 || !std::isfinite(mean60) || !std::isfinite(mean300) || mean300 <= 0)
    return TSeeingTrend::Unknown;
  const double change = (mean60 - mean300) / mean300;
  if (change < -kTrendThreshold) return TSeeingTrend::Better;
  if (change > kTrendThreshold) return TSeeingTrend::Worse;
  return TSeeingTrend::Steady;
}

TSeeingGlance GlanceTooLittleLight(double sunElevationDeg) {
  TSeeingGlance g;
  if (sunElevationDeg < 0) {
    g.State = TGlanceState::Night;
    g.Reason = "Night: the Sun is below the horizon";
  } else {
    g.State = TGlanceState::NoSunlight;
    g.Reason = "No sunlight on the instrument: clouds?";
  }
  return g;
}

TSeeingGlance GlanceNotValid() {
  TSeeingGlance g;
  g.State = TGlanceState::NotValid;
  g.Reason = "No valid seeing (scintillation too low or too high)";
  return g;
}

TSeeingGlance GlanceStopped(const std::string& why) {
  TSeeingGlance g;
  g.State = TGlanceState::NoMeasurement;
  g.Reason = why;
  return g;
}

TSeeingGlance GlanceValue(double seeingLos, double r0Los, double seeingZen, double r0Zen,
                          TSeeingTrend trend, const TSeeingClasses& c) {
  TSeeingGlance g;
  g.State = TGlanceState::Value;
  g.Zenith = c.Zenith;
  g.Seeing = c.Zenith ? seeingZen : seeingLos;
  g.R0 = c.Zenith ? r0Zen : r0Los;
  g.Quality = ClassifySeeing(g.Seeing, c);
  g.Trend = trend;
  return g;
}

}  // namespace quorvel
