#include "ephemeris/Nutation.h"

#include <cmath>

#include "ephemeris/Calendar.h"
#include "ephemeris/Obliquity.h"

namespace quorvel::ephem {

namespace {

// Fundamental arguments (IAU 1980 theory of nutation, polynomials in degrees of
// T, Julian centuries from J2000), in the order of the table's columns.
struct Polynomial3 {
  double c0, c1, c2, c3;
  double operator()(double T) const { return c0 + c1 * T + c2 * T * T + c3 * T * T * T; }
};
constexpr Polynomial3 kMoonAnomaly{134.9629814, 477198.8673981, 0.0086972, 0.00001778};
constexpr Polynomial3 kSunAnomaly{357.5277233, 35999.05034, -0.0001603, -0.00000333};
constexpr Polynomial3 kMoonLatitude{93.2719103, 483202.0175381, -0.0036825, 0.000003056};
constexpr Polynomial3 kMoonElongation{297.8503631, 445267.11148, -0.0019142, 0.000005278};
constexpr Polynomial3 kMoonNode{125.0445222, -1934.1362608, 0.00207833, 0.00000222};

// Largest multiple of each argument in the table.
constexpr int kMaxMultiple[5] = {3, 2, 4, 4, 2};

// Principal term (0 0 0 0 1) of the series, arcseconds and arcseconds per century.
constexpr double kPsi0 = -17.1996, kPsi0Rate = -0.01742;
constexpr double kEps0 = 9.2025, kEps0Rate = 0.00089;

// Units of the table's coefficients, arcseconds.
constexpr double kTermUnit = 0.0001;
constexpr double kRateUnit = 0.00001;

double ArgumentRad(const Polynomial3& poly, double T) {
  return mod360(poly(T)) * kDegToRad;
}

}  // namespace

void sscc(int k, double arg, int n, TMultipleAngles& ss, TMultipleAngles& cc) {
  const double su = std::sin(arg);
  const double cu = std::cos(arg);
  ss[k][0] = su;
  cc[k][0] = cu;
  double sv = 2.0 * su * cu;
  double cv = cu * cu - su * su;
  ss[k][1] = sv;
  cc[k][1] = cv;
  for (int i = 2; i < n; ++i) {
    const double s = cu * sv + su * cv;
    cv = cu * cv - su * sv;
    sv = s;
    ss[k][i] = sv;
    cc[k][i] = cv;
  }
}

void Nutation(double Julian, double& nutl, double& nuto) {
  const double T = CenturiesFromJ2000(Julian);
  const double args[5] = {ArgumentRad(kMoonAnomaly, T), ArgumentRad(kSunAnomaly, T),
                          ArgumentRad(kMoonLatitude, T), ArgumentRad(kMoonElongation, T),
                          ArgumentRad(kMoonNode, T)};
  TMultipleAngles ss, cc;
  for (int k = 0; k < 5; ++k) sscc(k, args[k], kMaxMultiple[k], ss, cc);

  const double omega = args[4];
  double sumPsi = (kPsi0 + kPsi0Rate * T) * std::sin(omega);
  double sumEps = (kEps0 + kEps0Rate * T) * std::cos(omega);

  for (const auto& row : Nt) {
    double sv = 0, cv = 0;
    bool first = true;
    for (int m = 0; m < 5; ++m) {
      const int j = row[m];
      if (j == 0) continue;
      const int col = (j < 0 ? -j : j) - 1;
      const double su = j < 0 ? -ss[m][col] : ss[m][col];
      const double cu = cc[m][col];
      if (first) {
        sv = su;
        cv = cu;
        first = false;
      } else {
        const double s = su * cv + cu * sv;
        cv = cu * cv - su * sv;
        sv = s;
      }
    }
    double f = row[5] * kTermUnit;
    if (row[6] != 0) f += row[6] * kRateUnit * T;
    double g = row[7] * kTermUnit;
    if (row[8] != 0) g += row[8] * kRateUnit * T;
    sumPsi += f * sv;
    sumEps += g * cv;
  }

  nutl = sumPsi * kDegToRad / 3600.0;
  nuto = sumEps * kDegToRad / 3600.0;
}

void nutate(double J, TVector3& p) {
  double nutl, nuto;
  Nutation(J, nutl, nuto);
  double eps, coseps, sineps;
  Ecliptic_Obliquity(J, eps, coseps, sineps);

  const double ce = std::cos(eps + nuto);  // true obliquity
  const double se = std::sin(eps + nuto);
  const double so = std::sin(nuto);
  const double cl = std::cos(nutl);
  const double sl = std::sin(nutl);

  const double x = cl * p[0] - sl * coseps * p[1] - sl * sineps * p[2];
  const double y = sl * ce * p[0] + (cl * coseps * ce + sineps * se) * p[1] -
                   (so + (1.0 - cl) * sineps * ce) * p[2];
  const double z = sl * se * p[0] + (so + (cl - 1.0) * se * coseps) * p[1] +
                   (cl * sineps * se + coseps * ce) * p[2];
  p = {x, y, z};
}

}  // namespace quorvel::ephem
