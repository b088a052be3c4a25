#include "device/SimPhysics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Angles.h"
#include "device/Commands.h"
#include "measure/ComputeCore.h"

namespace quorvel {

namespace {

constexpr double kDeg = kPi / 180.0;
constexpr double kSecondsPerDay = 86400.0;
constexpr double kMinute = 1.0 / 1440.0;

std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t Mix(std::uint64_t seed, std::uint64_t stream, std::int64_t index) {
  return SplitMix(SplitMix(seed ^ SplitMix(stream)) ^ static_cast<std::uint64_t>(index));
}

double Square(double x) {
  return x * x;
}

// Kasten and Young: finite down to the horizon.
double AirMass(double elevationRad) {
  const double deg = elevationRad / kDeg;
  return 1.0 / (std::sin(elevationRad) + 0.50572 * std::pow(deg + 6.07995, -1.6364));
}

std::int64_t SecondIndex(TDateTime utc) {
  return static_cast<std::int64_t>(std::floor(utc * kSecondsPerDay + 1e-6));
}

}  // namespace

double SimUniform(std::uint64_t seed, std::uint64_t stream, std::int64_t index) {
  return static_cast<double>(Mix(seed, stream, index) >> 11) * (1.0 / 9007199254740992.0);
}

double SimNormal(std::uint64_t seed, std::uint64_t stream, std::int64_t index) {
  // Box-Muller on two independent uniforms of the same index.
  const double u1 = std::max(SimUniform(seed, stream, index), 1e-300);
  const double u2 = SimUniform(seed, stream ^ 0x5bd1e995u, index);
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

double SimpleSunElevation(double latitudeRad, double longitudeWestRad, TDateTime utc) {
  const double n = utc + 2415018.5 - 2451545.0;  // days from J2000.0
  const double L = (280.460 + 0.9856474 * n) * kDeg;
  const double g = (357.528 + 0.9856003 * n) * kDeg;
  const double lambda = L + (1.915 * std::sin(g) + 0.020 * std::sin(2 * g)) * kDeg;
  const double eps = (23.439 - 0.0000004 * n) * kDeg;
  const double ra = std::atan2(std::cos(eps) * std::sin(lambda), std::cos(lambda));
  const double dec = std::asin(std::sin(eps) * std::sin(lambda));
  const double gmst = std::fmod(280.46061837 + 360.98564736629 * n, 360.0) * kDeg;
  const double hourAngle = gmst - longitudeWestRad - ra;
  return std::asin(std::sin(latitudeRad) * std::sin(dec) +
                   std::cos(latitudeRad) * std::cos(dec) * std::cos(hourAngle));
}

TSimPhysics::TSimPhysics(TSimPhysicsConfig config) : config_(std::move(config)) {
  if (!config_.SunElevation) {
    config_.SunElevation = [](TDateTime utc) {
      return SimpleSunElevation(45.5 * kDeg, -3.5 * kDeg, utc);
    };
  }
}

double TSimPhysics::NominalZenithSeeing(double x) const {
  const TSimPhysicsConfig& c = config_;
  const double p = c.PeakDayFraction;
  if (x <= p)
    return c.SeeingMorning + (c.SeeingMidday - c.SeeingMorning) * std::exp(-Square((x - p) / 0.22));
  return c.SeeingAfternoon +
         (c.SeeingMidday - c.SeeingAfternoon) * std::exp(-Square((x - p) / 0.25));
}

// The day around an instant: the solar noon within 12 hours of it, and the
// sunrise and sunset of that noon, found on the elevation function itself.
const TSimPhysics::TDayFrame& TSimPhysics::Frame(TDateTime utc) {
  if (frame_.valid && utc >= frame_.from && utc < frame_.to) return frame_;
  TDayFrame f;
  // Coarse search for the highest Sun within +-12 h, then golden section.
  TDateTime best = utc;
  double bestE = -std::numeric_limits<double>::infinity();
  for (int k = -72; k <= 72; ++k) {
    const TDateTime t = utc + k * 10 * kMinute;
    const double e = Elevation(t);
    if (e > bestE) {
      bestE = e;
      best = t;
    }
  }
  double a = best - 10 * kMinute, b = best + 10 * kMinute;
  const double r = (std::sqrt(5.0) - 1) / 2;
  for (int i = 0; i < 40 && b - a > 0.5 / kSecondsPerDay; ++i) {
    const double c1 = b - r * (b - a), c2 = a + r * (b - a);
    if (Elevation(c1) > Elevation(c2))
      b = c2;
    else
      a = c1;
  }
  f.noon = (a + b) / 2;
  f.from = f.noon - 0.5;
  f.to = f.noon + 0.5;
  f.sunEverUp = Elevation(f.noon) > 0;
  // Horizon crossings: step out from noon, then bisect.
  auto crossing = [this, &f](double dir) {
    TDateTime inside = f.noon;
    for (int k = 1; k <= 72; ++k) {
      const TDateTime t = f.noon + dir * k * 10 * kMinute;
      if (Elevation(t) <= 0) {
        TDateTime outside = t;
        for (int i = 0; i < 40 && std::fabs(outside - inside) > 0.5 / kSecondsPerDay; ++i) {
          const TDateTime mid = (inside + outside) / 2;
          if (Elevation(mid) > 0)
            inside = mid;
          else
            outside = mid;
        }
        return (inside + outside) / 2;
      }
      inside = t;
    }
    return f.noon + dir * 0.5;  // the Sun never sets
  };
  if (f.sunEverUp) {
    f.sunrise = crossing(-1);
    f.sunset = crossing(+1);
  }
  f.valid = true;
  frame_ = f;
  return frame_;
}

// Clouds start at random in 10-minute slots; each one dims the light with a
// sin^2 profile over 1 to 8 minutes and makes it flicker.
double TSimPhysics::Cloud(TDateTime utc, double& flicker) const {
  flicker = 0;
  if (config_.CloudsPerHour <= 0) return 1.0;
  const double slotSeconds = 600;
  const double seconds = utc * kSecondsPerDay;
  const auto slot = static_cast<std::int64_t>(std::floor(seconds / slotSeconds));
  const double chance = std::min(1.0, config_.CloudsPerHour * slotSeconds / 3600.0);
  double transmission = 1.0;
  for (std::int64_t s = slot - 1; s <= slot; ++s) {
    if (SimUniform(config_.Seed, 11, s) >= chance) continue;
    const double start =
        static_cast<double>(s) * slotSeconds + SimUniform(config_.Seed, 12, s) * slotSeconds;
    const double duration = 60 + SimUniform(config_.Seed, 13, s) * 420;
    const double strength = 0.3 + 0.7 * SimUniform(config_.Seed, 14, s);
    const double phase = (seconds - start) / duration;
    if (phase <= 0 || phase >= 1) continue;
    const double shape = Square(std::sin(kPi * phase));
    transmission *= 1 - strength * config_.CloudMaxDepth * shape;
    flicker = std::max(flicker, config_.CloudFlicker * strength * shape);
  }
  return transmission;
}

double TSimPhysics::CloudTransmission(TDateTime utc) const {
  double flicker = 0;
  return Cloud(utc, flicker);
}

TSimTruth TSimPhysics::Evaluate(TDateTime utc) {
  const TSimPhysicsConfig& c = config_;
  const TDayFrame& f = Frame(utc);
  const std::int64_t sec = SecondIndex(utc);
  TSimTruth t;
  t.Utc = utc;
  t.ElevationRad = Elevation(utc);
  t.SunUp = t.ElevationRad > 0;
  t.NbSamples = c.NbSamples;

  // Seeing course of the day, with slow and fast random variation.
  double x = std::numeric_limits<double>::quiet_NaN();
  if (f.sunEverUp) x = std::clamp((utc - f.sunrise) / (f.sunset - f.sunrise), 0.0, 1.0);
  t.DayFraction = t.SunUp ? x : std::numeric_limits<double>::quiet_NaN();
  t.NominalZenithSeeing = NominalZenithSeeing(std::isnan(x) ? 0.0 : x);
  const double knot = utc * kSecondsPerDay / 120.0;
  const auto k0 = static_cast<std::int64_t>(std::floor(knot));
  const double w = knot - static_cast<double>(k0);
  const double smooth = w * w * (3 - 2 * w);
  const double slow =
      (1 - smooth) * SimNormal(c.Seed, 1, k0) + smooth * SimNormal(c.Seed, 1, k0 + 1);
  const double fast = SimNormal(c.Seed, 2, sec);
  t.SeeingZenith =
      t.NominalZenithSeeing * std::exp(c.SeeingSlowSigma * slow + c.SeeingFastSigma * fast);

  // Box temperature: the day's swing plus sunshine on the box.
  double flicker = 0;
  t.CloudTransmission = Cloud(utc, flicker);
  const double hoursFromNoon = (utc - f.noon) * 24.0;
  t.TempBoxC = (c.TempMin + c.TempMax) / 2 +
               (c.TempMax - c.TempMin) / 2 * std::cos(2 * kPi * (hoursFromNoon - 2.5) / 24.0) +
               c.SunHeating * std::max(0.0, std::sin(t.ElevationRad)) * t.CloudTransmission +
               0.05 * SimNormal(c.Seed, 3, sec);

  const double k = kVoltsPerADU;
  const TSimHardware& hw = c.Hardware;
  if (t.SunUp) {
    t.ClearSkySignalV =
        c.TopOfAtmosphereV * std::pow(0.7, std::pow(AirMass(t.ElevationRad), 0.678));
    t.SignalV =
        t.ClearSkySignalV * t.CloudTransmission * (1 + 3 * flicker * SimNormal(c.Seed, 4, sec));
    // The program divides the seeing by airmass^0.6 with airmass 1/sin(e):
    // multiply by exactly that so its zenith value is the simulated one.
    t.SeeingLineOfSight = t.SeeingZenith * std::pow(1.0 / std::sin(t.ElevationRad), 0.6);
    t.ApparentSeeing = std::hypot(t.SeeingLineOfSight, kSeeingScale * flicker);
    // Invert seeing = 1900 / Gain_Filtered * V_rms / V_signal.
    t.ScintRmsV = t.ApparentSeeing * hw.GainFiltered * t.SignalV / kSeeingScale;
  } else {
    t.DayFraction = std::numeric_limits<double>::quiet_NaN();
  }
  const double meanADU = (t.SignalV + hw.OffsetV) * hw.GainNotFilt / k;
  t.MeanADU_NF = static_cast<float>(std::clamp(meanADU, 0.0, kConverterFullScaleADU));
  const double scintADU =
      t.SunUp ? t.ScintRmsV / k : c.ReadNoiseADU * std::fabs(SimNormal(c.Seed, 5, sec));
  t.PowerScintADU = static_cast<float>(scintADU);
  const double unfilteredScintADU = t.ScintRmsV / hw.GainFiltered * hw.GainNotFilt / k;
  t.EC_ADU_NF = static_cast<float>(std::hypot(c.ReadNoiseADU, unfilteredScintADU));
  t.MeanADU_F = static_cast<float>(c.FilteredBiasADU + c.ReadNoiseADU * SimNormal(c.Seed, 6, sec));
  t.TempInsideBox = static_cast<float>(t.TempBoxC);
  return t;
}

}  // namespace quorvel
