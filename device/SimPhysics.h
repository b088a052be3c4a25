// What the simulated instrument sees: the Sun's light through a clear or
// cloudy sky, the seeing of a typical day and the box temperature, turned
// into the converter counts of a measurement answer. Plain C++, and every
// value is a pure function of the seed and the instant, so a run is
// reproducible whatever order the instants are asked in.
#pragma once

#include <cstdint>
#include <functional>

#include "common/DateTime.h"
#include "device/Commands.h"

namespace quorvel {

// The Sun's elevation (radians) at a UTC instant, for the simulated site.
using TSunElevationFn = std::function<double(TDateTime utc)>;

// A low-precision solar elevation (about 0.02 degrees in declination, no
// refraction) for demos and tests that run without the full ephemeris.
// Longitude west positive, like the program's site.
double SimpleSunElevation(double latitudeRad, double longitudeWestRad, TDateTime utc);

// The instrument's real electronics: converts light to counts. Also what its
// memory holds when it leaves the factory.
struct TSimHardware {
  float RShunt = kDefaultRShunt;               // ohm
  float GainFiltered = kDefaultGainFiltered;   // scintillation channel
  float GainNotFilt = kDefaultGainUnfiltered;  // mean-signal channel
  float OffsetV = kDefaultOffsetV;             // V
};

struct TSimPhysicsConfig {
  std::uint64_t Seed = 1;
  // Required for a meaningful sky; without it the site of the program's
  // defaults (45.5 N, 3.5 E) and SimpleSunElevation are used.
  TSunElevationFn SunElevation;
  TSimHardware Hardware;
  // Useful signal the photodiode would give above the atmosphere (V). The
  // clear-sky signal is this times 0.7^(airmass^0.678).
  double TopOfAtmosphereV = 1.9;
  // Daily course of the zenith seeing (arcsec): good after sunrise, worst
  // at PeakDayFraction of the daylight, partial recovery in the afternoon.
  double SeeingMorning = 1.3;
  double SeeingMidday = 3.0;
  double SeeingAfternoon = 2.0;
  double PeakDayFraction = 0.55;
  // Random variation of ln(seeing): slow (knots every 2 minutes) and fast
  // (second to second).
  double SeeingSlowSigma = 0.12;
  double SeeingFastSigma = 0.05;
  // Passing clouds: mean number per hour (0 = clear sky), deepest dimming
  // (0..1), and their flicker (relative RMS of the light at full depth).
  double CloudsPerHour = 1.0;
  double CloudMaxDepth = 0.9;
  double CloudFlicker = 0.003;
  // Box temperature (deg C): daily swing between TempMin and TempMax with
  // its maximum 2.5 h after noon, plus SunHeating in full sunshine.
  double TempMin = 8.0;
  double TempMax = 22.0;
  double SunHeating = 5.0;
  std::uint32_t NbSamples = 2000;
  double ReadNoiseADU = 1.5;         // converter noise
  double FilteredBiasADU = 32768.0;  // mean level of the AC-coupled channel
};

// The simulated truth at one instant, and the counts it produces.
struct TSimTruth {
  TDateTime Utc = 0;
  double ElevationRad = 0;
  bool SunUp = false;
  double DayFraction = 0;          // 0 at sunrise, 1 at sunset; NaN when the Sun is down
  double ClearSkySignalV = 0;      // without clouds
  double CloudTransmission = 1;    // 1 = clear
  double SignalV = 0;              // useful signal (Signal_UtileV the program should find)
  double NominalZenithSeeing = 0;  // the day's course without random variation
  double SeeingZenith = 0;         // arcsec
  double SeeingLineOfSight = 0;    // SeeingZenith * airmass^0.6
  // What the scintillation implies, cloud flicker included; equals the line
  // of sight seeing under a clear sky. The program's seeingArcSec.
  double ApparentSeeing = 0;
  double ScintRmsV = 0;  // filtered channel RMS (V)
  double TempBoxC = 0;
  // The measurement answer's fields.
  float MeanADU_NF = 0;
  float EC_ADU_NF = 0;
  float MeanADU_F = 0;
  float PowerScintADU = 0;
  std::uint32_t NbSamples = 0;
  float TempInsideBox = 0;
};

class TSimPhysics {
 public:
  explicit TSimPhysics(TSimPhysicsConfig config);
  TSimTruth Evaluate(TDateTime utc);
  // The zenith seeing course at a fraction of the daylight, without noise.
  double NominalZenithSeeing(double dayFraction) const;
  // 1 for a clear sky; the product of the passing clouds' dimming.
  double CloudTransmission(TDateTime utc) const;
  const TSimPhysicsConfig& Config() const { return config_; }

 private:
  struct TDayFrame {
    bool valid = false;
    TDateTime from = 0, to = 0;  // instants this frame serves
    TDateTime noon = 0, sunrise = 0, sunset = 0;
    bool sunEverUp = false;
  };
  const TDayFrame& Frame(TDateTime utc);
  double Elevation(TDateTime utc) const { return config_.SunElevation(utc); }
  double Cloud(TDateTime utc, double& flicker) const;

  TSimPhysicsConfig config_;
  TDayFrame frame_;
};

// Deterministic noise: a standard normal value for (seed, stream, index).
double SimNormal(std::uint64_t seed, std::uint64_t stream, std::int64_t index);
double SimUniform(std::uint64_t seed, std::uint64_t stream, std::int64_t index);

}  // namespace quorvel
