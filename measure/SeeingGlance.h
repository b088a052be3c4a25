// What the big seeing read-out says: the quality class of a seeing value, its
// trend, and why there is no value. Plain C++.
#pragma once

#include <string>

namespace quorvel {

// The limits of the quality classes, in arcseconds, and whether they are
// meant for zenith-corrected or for line-of-sight values. Kept in the
// settings file beside the five values of the setup dialog.
struct TSeeingClasses {
  double Excellent = 1.0;  // up to this: excellent
  double Good = 2.0;       // up to this: good
  double Fair = 3.0;       // up to this: fair; above: poor
  bool Zenith = true;      // classify (and show) the zenith-corrected seeing
};
extern TSeeingClasses SeeingClasses;

// Limits the program can work with: finite, positive, increasing.
bool SeeingClassesValid(const TSeeingClasses& c);

enum class TSeeingQuality { Excellent, Good, Fair, Poor };
TSeeingQuality ClassifySeeing(double arcsec, const TSeeingClasses& c);
// "excellent", "good", "fair", "poor".
const char* QualityName(TSeeingQuality q);

// One-minute mean against five-minute mean. Seeing in arcseconds: smaller is
// better. A change under kTrendThreshold of the five-minute mean is steady.
enum class TSeeingTrend { Unknown, Better, Steady, Worse };
constexpr double kTrendThreshold = 0.05;
TSeeingTrend SeeingTrend(double mean60, bool have60, double mean300, bool have300);

// Why the read-out holds a value or not.
enum class TGlanceState {
  NoMeasurement,  // nothing measured yet, or acquisition stopped
  Value,          // a valid seeing in this cycle
  Night,          // the Sun is below the horizon
  NoSunlight,     // the Sun is up but its light is too weak: clouds
  NotValid,       // a signal, but no valid seeing from it
};

struct TSeeingGlance {
  TGlanceState State = TGlanceState::NoMeasurement;
  double Seeing = 0;  // arcsec, zenith-corrected or line of sight (Zenith)
  double R0 = 0;      // mm, of the same kind
  bool Zenith = true;
  TSeeingQuality Quality = TSeeingQuality::Poor;
  TSeeingTrend Trend = TSeeingTrend::Unknown;
  // The reason shown in place of a value (empty with a value).
  std::string Reason;
};

// The read-out of one cycle's outcome. `sunElevationDeg` decides between
// night and clouds when the light is too low.
TSeeingGlance GlanceTooLittleLight(double sunElevationDeg);
TSeeingGlance GlanceNotValid();
TSeeingGlance GlanceStopped(const std::string& why);
TSeeingGlance GlanceValue(double seeingLos, double r0Los, double seeingZen, double r0Zen,
                          TSeeingTrend trend, const TSeeingClasses& c);

// The seeing trigger's state as the read-out shows it beside the seeing; None
// hides it.
enum class TReadoutTrigger { None, Good, Bad, Unknown };

}  // namespace quorvel
