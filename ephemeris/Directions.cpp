#include "ephemeris/Directions.h"

#include <cmath>
#include <limits>

#include "ephemeris/Calendar.h"

namespace quorvel::ephem {

namespace {

// Below this length a vector has no usable direction for the first-order formulas.
constexpr double kTinyLength = 1e-7;
// Above this squared relative separation the first-order formulas lose accuracy.
constexpr double kFirstOrderLimit = 5e-7;
// Stands for an infinite right-ascension rate (the largest float32).
constexpr double kHugeRate = 3.4028234663852886e38;

double Dot(const TVector3& a, const TVector3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace

void showrd(const TVector3& p, TVector3& pol) {
  const double r = std::sqrt(Dot(p, p));
  pol = {zatan2(p[0], p[1]), std::asin(p[2] / r), r};
}

void Deltap(const TVector3& p0, const TVector3& p1, double& dr, double& dd) {
  const double P = Dot(p0, p0);
  const double Q = Dot(p1, p1);
  const TVector3 dp = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
  const double z = Dot(dp, dp);
  const double A = std::sqrt(P);
  const double B = std::sqrt(Q);

  if (A < kTinyLength || B < kTinyLength || z / (P + Q) > kFirstOrderLimit) {
    dr = zatan2(p1[0], p1[1]) - zatan2(p0[0], p0[1]);
    if (!std::isfinite(dr)) dr = std::numeric_limits<double>::quiet_NaN();
    while (dr < -kPi) dr += kTwoPi;
    while (dr > kPi) dr -= kTwoPi;
    dd = std::asin(p1[2] / B) - std::asin(p0[2] / A);
    return;
  }

  const double x = p0[0];
  const double y = p0[1];
  if (x == 0) {
    dr = kHugeRate;
  } else {
    const double yx = y / x;
    dr = (dp[1] - dp[0] * yx) / (x * (1.0 + yx * yx));
  }
  const double s = p0[2] / A;
  dd = (p1[2] / B - s) / std::sqrt(1.0 - s * s);
}

}  // namespace quorvel::ephem
