#include "ephemeris/Refraction.h"

#include <cmath>

#include "ephemeris/Calendar.h"
#include "ephemeris/Engine.h"

namespace quorvel::ephem {

namespace {

// Outside [-2, 90) degrees no refraction is applied.
constexpr double kLowestAltitude = -2.0;
constexpr double kZenith = 90.0;
// Above 15 degrees the plane-parallel formula R = 0.00452 P / ((273 + T) tan a)
// (degrees, P in millibar, T in degrees C; Explanatory Supplement) is good to
// a few arcseconds.
constexpr double kHighAltitude = 15.0;
constexpr double kHighCoefficient = 0.00452;
constexpr double kCelsiusToKelvin = 273.0;
// Below, Bennett's formula for the apparent altitude h, R = cot(h + 7.31 /
// (h + 4.4)) arcminutes, scaled for pressure and temperature, is inverted
// numerically for the true altitude by secant steps.
constexpr double kBennettA = 7.31, kBennettB = 4.4;
constexpr double kArcminPerDegree = 60.0;
constexpr double kPressureOffset = 80.0, kPressureScale = 930.0;  // (P - 80) / 930
constexpr double kTemperatureCoefficient = 0.0048;                // 60 * 0.00008 per degree C
constexpr double kReferenceTemperature = 10.0;
constexpr double kBennettRefractionOffset = 39.0;
constexpr int kSecantSteps = 4;

}  // namespace

double Refraction(double a, double P, double T) {
  if (a < kLowestAltitude || a >= kZenith) return 0;
  if (a > kHighAltitude)
    return kHighCoefficient * P / ((kCelsiusToKelvin + T) * std::tan(a * kDegToRad));

  const double pressureFactor = (P - kPressureOffset) / kPressureScale;
  const double Q = kTemperatureCoefficient * (T - kReferenceTemperature);
  double y = a;  // apparent altitude estimate
  double D = 0;  // refraction for y
  double y0 = y, D0 = D;
  for (int step = 0; step < kSecantSteps; ++step) {
    double N = y + kBennettA / (y + kBennettB);
    N = 1.0 / std::tan(N * kDegToRad);  // arcminutes
    D = N * pressureFactor / (kArcminPerDegree + Q * (N + kBennettRefractionOffset));
    const double n = y - y0;
    y0 = D - D0 - n;
    const double ynew = (n != 0 && y0 != 0) ? y - n * (a + D - y) / y0 : a + D;
    y0 = y;
    D0 = D;
    y = ynew;
  }
  return D;
}

double TEphemeridsObj::Refrac(double altitude) const {
  return Refraction(altitude, Pression_mb, Temperature);
}

}  // namespace quorvel::ephem
